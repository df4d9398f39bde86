//! labels: gui
#include "store/Vignette.h"
#include "store/ZRFile.h"
#include "store/ZRTag.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "widgetplayer/AlarmItemDelegate.h"
#include "widgetplayer/AlarmModel.h"
#include "widgetplayer/AlarmToolbar.h"
#include "widgetplayer/TagItemDelegate.h"
#include "widgetplayer/TagsModel.h"

#include <QHeaderView>
#include <QPainter>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include <memory>

// The alarm and tag lists of the widget player, over a generated day.
class TestAlarmTagLists : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;
    zrtest::GeneratedExport ex;
    QList<Vignette> alarms;
    QList<Vignette> tags;

    static const QColor kBackground;

    static QString moment(const QString& stamp)
    {
        return QDateTime::fromString(stamp, "yyyyMMddHHmmss").toString("yyyy-MM-dd HH:mm:ss");
    }

    // Paints one entry of a list on a plain background, the way a view hands it over.
    static QImage paintEntry(QStyledItemDelegate& delegate, const QModelIndex& index, QSize size, bool hover = false)
    {
        QImage img(size, QImage::Format_ARGB32);
        img.fill(kBackground);
        QPainter p(&img);
        QStyleOptionViewItem option;
        option.rect = QRect(QPoint(0, 0), size);
        option.state = QStyle::State_Enabled;
        if (hover)
            option.state |= QStyle::State_MouseOver;
        delegate.paint(&p, option, index);
        p.end();
        return img;
    }

    static int countPixels(const QImage& img, const QRect& area, const std::function<bool(QColor)>& test)
    {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (test(img.pixelColor(x, y)))
                    ++n;
        return n;
    }

    static bool whiteish(QColor c) { return c.red() > 200 && c.green() > 200 && c.blue() > 200; }

    // The mean colour of an area.
    static QColor mean(const QImage& img, const QRect& area)
    {
        qint64 r = 0, g = 0, b = 0, n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = img.pixelColor(x, y);
                r += c.red();
                g += c.green();
                b += c.blue();
                ++n;
            }
        return QColor(int(r / n), int(g / n), int(b / n));
    }

    static bool near(QColor a, QColor b, int tolerance)
    {
        return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
            && qAbs(a.blue() - b.blue()) <= tolerance;
    }

    static QMouseEvent press(QPoint at)
    {
        return QMouseEvent(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    }

private slots:
    void initTestCase()
    {
        ex = gen.generate({"--cameras", "2", "--minutes", "2", "--size", "64x36", "--fps", "5", "--alarms", "2",
                           "--tags", "2", "--seed", "3"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        for (const zrtest::GeneratedCamera& cam : ex.cameras) {
            for (const zrtest::GeneratedAlarm& a : cam.alarms)
                alarms << Vignette(QFileInfo(a.thumb).fileName(), a.thumb, cam.name, QString::number(cam.id),
                                   a.datetime.left(8), a.datetime.mid(8));
            for (const zrtest::GeneratedTag& t : cam.tags) {
                std::unique_ptr<ZRTag> tag(ZRFile::parse_tags_file(QFileInfo(t.path)));
                QVERIFY(tag);
                tags << Vignette(QFileInfo(t.path).fileName(), QFileInfo(t.path).path(),
                                 QFileInfo(cam.recordings.first().videoPath), cam.name, tag->get_tag_datetime(),
                                 tag->get_tag_name(), tag->get_tag_description(), tag->get_tag_id(),
                                 tag->get_tag_cam_id());
            }
        }
        QCOMPARE(alarms.size(), 4);
        QCOMPARE(tags.size(), 4);
    }

    void modelsShowMomentsAndTexts()
    {
        AlarmModel am(alarms);
        TagsModel tm(tags);
        QCOMPARE(am.rowCount(), 4);
        QCOMPARE(am.columnCount(), 1);
        for (int r = 0; r < 4; ++r) {
            QCOMPARE(am.index(r, 0).data().toString(), moment(alarms.at(r).timestamp()));
            QCOMPARE(am.index(r, 0).data(Qt::BackgroundRole).toString(), alarms.at(r).file_path);
            QCOMPARE(am.get_vignette(r).file_path, alarms.at(r).file_path);
            const QStringList texts = tm.index(r, 0).data().toStringList();
            QCOMPARE(texts, QStringList({moment(tags.at(r).timestamp()), tags.at(r).tag_name, tags.at(r).tag_description}));
            QVERIFY(tm.index(r, 0).data(Qt::BackgroundRole).toString().isNull());
        }
        QVERIFY(!am.index(4, 0).data().isValid());
        QVERIFY(!am.index(0, 0).data(Qt::DecorationRole).isValid());
        QVERIFY(am.get_vignette(9).file_path.isEmpty());

        AlarmModel edge({Vignette("3_20240131_235959-thumb.jpg", "/x.jpg", "c", "3", "20240131", "235959"),
                         Vignette("", "/y.jpg", "c", "3", "", "")});
        QCOMPARE(edge.index(0, 0).data().toString(), QString("2024-01-31 23:59:59"));
        QCOMPARE(edge.index(1, 0).data().toString(), QString());
    }

    void alarmEntryPainted()
    {
        AlarmModel am(alarms);
        AlarmItemDelegate delegate;
        const QSize size(200, 150);
        const QImage img = paintEntry(delegate, am.index(0, 0), size);
        // The time in white on the first line.
        QVERIFY(countPixels(img, QRect(0, 5, 170, 15), whiteish) > 20);
        // The thumbnail fills the entry under it.
        const QImage thumb = QImage(alarms.first().file_path).convertToFormat(QImage::Format_ARGB32)
                                 .scaled(200, 125, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QVERIFY(near(mean(img, QRect(0, 25, 200, 125)), mean(thumb, thumb.rect()), 12));
        // The download button's icon in the top-right corner.
        QVERIFY(countPixels(img, QRect(175, 0, 25, 25), whiteish) > 5);
        // Hovered, the entry is lightened.
        const QImage hovered = paintEntry(delegate, am.index(0, 0), size, true);
        QVERIFY(mean(hovered, QRect(100, 60, 20, 20)).lightness() > mean(img, QRect(100, 60, 20, 20)).lightness());

        // Without a thumbnail path only the button is drawn.
        AlarmModel bare({Vignette("3_20240131_235959-thumb.jpg", QString(), "c", "3", "20240131", "235959")});
        const QImage onlyButton = paintEntry(delegate, bare.index(0, 0), size);
        QCOMPARE(countPixels(onlyButton, QRect(0, 0, 170, 150), [](QColor c) { return c != kBackground; }), 0);
        QVERIFY(countPixels(onlyButton, QRect(175, 0, 25, 25), whiteish) > 5);
    }

    void tagEntryPainted()
    {
        TagsModel tm(tags);
        TagItemDelegate delegate;
        const QImage img = paintEntry(delegate, tm.index(0, 0), QSize(300, 49));
        // Tag icon at the left, centred vertically; the two text lines right of it.
        QVERIFY(countPixels(img, QRect(0, 24 - 16, 32, 32), whiteish) > 20);
        QVERIFY(countPixels(img, QRect(40, 5, 250, 15), whiteish) > 20);
        QVERIFY(countPixels(img, QRect(40, 25, 250, 15), whiteish) > 20);
        QCOMPARE(countPixels(img, QRect(34, 0, 4, 48), whiteish), 0);
    }

    void pressesInAView_data()
    {
        QTest::addColumn<bool>("tagList");
        QTest::newRow("alarms") << false;
        QTest::newRow("tags") << true;
    }

    void pressesInAView()
    {
        QFETCH(bool, tagList);
        AlarmModel am(alarms);
        TagsModel tm(tags);
        AlarmItemDelegate ad;
        TagItemDelegate td;
        QStyledItemDelegate* delegate = tagList ? static_cast<QStyledItemDelegate*>(&td) : &ad;
        QTableView view;
        view.setModel(tagList ? static_cast<QAbstractItemModel*>(&tm) : &am);
        view.setItemDelegate(delegate);
        view.setMouseTracking(true);
        view.setShowGrid(false);
        view.horizontalHeader()->hide();
        view.verticalHeader()->hide();
        view.horizontalHeader()->setDefaultSectionSize(200);
        view.verticalHeader()->setDefaultSectionSize(tagList ? 50 : 200);
        view.horizontalHeader()->setStretchLastSection(true);
        view.resize(260, 500);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        // The entries are drawn in the view: white text on every visible row.
        const QImage shot = view.viewport()->grab().toImage();
        const QRect first = view.visualRect(view.model()->index(0, 0));
        QVERIFY(countPixels(shot, QRect(first.x() + (tagList ? 40 : 0), first.y() + 5, 150, 15), whiteish) > 20);

        QSignalSpy corner(delegate, SIGNAL(cellDownloadButtonClicked(QModelIndex)));
        QSignalSpy body(delegate, SIGNAL(cellButtonClicked(QModelIndex)));
        zrtest::LogCatcher log;
        const QModelIndex second = view.model()->index(1, 0);
        const QRect r = view.visualRect(second);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(r.x() + r.width() - 10, r.y() + 10));
        QCOMPARE(corner.count(), 1);
        QCOMPARE(corner.at(0).at(0).value<QModelIndex>().row(), 1);
        QCOMPARE(body.count(), 0);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, QPoint(r.x() + r.width() - 25, r.y() + 10));
        QCOMPARE(body.count(), 1);
        QCOMPARE(body.at(0).at(0).value<QModelIndex>().row(), 1);
        QCOMPARE(corner.count(), 1);
        QCOMPARE(log.count("[INFO] AlarmItemDelegate :: Mouse MouseButtonPress"), tagList ? 0 : 2);
    }

    void cornerEdges_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("corner");
        QTest::addColumn<bool>("handled");
        // Entry at (10, 20), 200 x 100.
        QTest::newRow("inside") << QPoint(200, 30) << true << true;
        QTest::newRow("left edge") << QPoint(185, 30) << false << false;
        QTest::newRow("right edge") << QPoint(210, 30) << false << false;
        QTest::newRow("top edge") << QPoint(200, 20) << false << false;
        QTest::newRow("bottom edge") << QPoint(200, 45) << false << false;
        QTest::newRow("just inside") << QPoint(186, 44) << true << true;
    }

    void cornerEdges()
    {
        QFETCH(QPoint, at);
        QFETCH(bool, corner);
        QFETCH(bool, handled);
        AlarmModel am(alarms);
        AlarmItemDelegate ad;
        TagItemDelegate td;
        QStyleOptionViewItem option;
        option.rect = QRect(10, 20, 200, 100);
        for (QStyledItemDelegate* d : {static_cast<QStyledItemDelegate*>(&ad), static_cast<QStyledItemDelegate*>(&td)}) {
            QSignalSpy cornerSpy(d, SIGNAL(cellDownloadButtonClicked(QModelIndex)));
            QSignalSpy bodySpy(d, SIGNAL(cellButtonClicked(QModelIndex)));
            QMouseEvent e = press(at);
            const bool result = static_cast<QAbstractItemDelegate*>(d)->editorEvent(&e, &am, option, am.index(0, 0));
            QCOMPARE(result, handled);
            QCOMPARE(cornerSpy.count(), corner ? 1 : 0);
            QCOMPARE(bodySpy.count(), corner ? 0 : 1);
            QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QVERIFY(!static_cast<QAbstractItemDelegate*>(d)->editorEvent(&release, &am, option, am.index(0, 0)));
            QCOMPARE(cornerSpy.count() + bodySpy.count(), 1);
        }
    }

    void toolbarShowsOneAlarm()
    {
        AlarmToolbar bar;
        QCOMPARE(bar.sizeHint(), QSize(140, 120));
        bar.resize(140, 120);
        QImage picture(64, 36, QImage::Format_RGB32);
        picture.fill(QColor(20, 120, 220));
        bar.set_alarm("Alarme 1", picture, alarms.first());
        QPalette pal = bar.palette();
        pal.setColor(QPalette::Window, Qt::white);
        bar.setPalette(pal);
        bar.setAutoFillBackground(true);
        const QImage img = bar.grab().toImage();
        QCOMPARE(mean(img, QRect(8, 20, 110, 80)), QColor(20, 120, 220));
        QVERIFY(countPixels(img, QRect(8, 2, 110, 15), [](QColor c) { return c.lightness() < 100; }) > 10);
        QCOMPARE(img.pixelColor(130, 110), QColor(Qt::white));

        QSignalSpy sent(&bar, &AlarmToolbar::send);
        QTest::mouseClick(&bar, Qt::RightButton, {}, QPoint(50, 50));
        QCOMPARE(sent.count(), 0);
        QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).value<Vignette>().file_path, alarms.first().file_path);

        // Without an image the placeholder stands in, and every paint says so.
        AlarmToolbar empty;
        empty.resize(140, 120);
        QImage placeholder(10, 10, QImage::Format_RGB32);
        placeholder.fill(QColor(200, 30, 30));
        empty.set_placeholder(placeholder);
        zrtest::LogCatcher log;
        const QImage first = empty.grab().toImage();
        empty.grab();
        QCOMPARE(log.count("AlarmToolbar::paintEvent << image is null"), 2);
        QCOMPARE(mean(first, QRect(8, 20, 110, 80)), QColor(200, 30, 30));
    }
};

const QColor TestAlarmTagLists::kBackground(40, 40, 40);

ZR_TEST_MAIN_GUI(TestAlarmTagLists)
#include "tst_alarm_tag_lists.moc"
