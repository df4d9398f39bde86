//! labels: gui
#include "media/ZRSeekTable.h"
#include "store/ZRFile.h"
#include "store/ZRTag.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"
#include "widgetplayer/ZRSlidertimeline.h"
#include "widgetplayer/ZRTimeline.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>
#include <QtTest>

#include <memory>

// The day slider with the geometry its painting uses.
class ProbeSlider : public ZRSlidertimeline
{
public:
    QRect part(QStyle::SubControl sc) const
    {
        QStyleOptionSlider opt;
        initStyleOption(&opt);
        return style()->subControlRect(QStyle::CC_Slider, &opt, sc, this);
    }
};

// The hour strip and the day slider: slots, tags, pixels, hover texts and clicks.
class TestHourTimeline : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;
    zrtest::GeneratedExport ex;
    std::vector<std::unique_ptr<ZRTag>> ownedTags;
    QList<ZRTag*> tags;
    QList<QList<ZRFrame>> recordings; // frames of each generated recording
    QSet<int> recorded;               // minutes of the day

    static bool isColor(const QImage& img, int x, int y, QColor c)
    {
        return img.pixelColor(x, y).rgb() == c.rgb();
    }

    static std::unique_ptr<ZRTag> makeTag(const QString& cam, const QString& when)
    {
        auto tag = std::make_unique<ZRTag>();
        tag->set_tag_cam_id(cam);
        tag->set_tag_datetime(when);
        tag->set_tag_name("porte");
        tag->set_tag_description("ouverte");
        return tag;
    }

    static void send(QWidget* w, QEvent::Type type, int x, int y, Qt::MouseButton button = Qt::NoButton)
    {
        const QPointF at(x, y);
        QMouseEvent e(type, at, w->mapToGlobal(at), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button), Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }

private slots:
    void initTestCase()
    {
        // 08:00 .. 08:11 of camera 3, without 08:03, 08:04 and 08:07.
        ex = gen.generate({"--cameras", "1", "--first-camera", "3", "--minutes", "12", "--skip", "3,4,7",
                           "--size", "64x36", "--fps", "5", "--tags", "3", "--seed", "9"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        const zrtest::GeneratedCamera* cam = ex.camera(3);
        QVERIFY(cam);
        for (const zrtest::GeneratedRecording& rec : cam->recordings) {
            recordings << ZRSeekTable::parse_file(rec.videoPath, "1").frames;
            QVERIFY(!recordings.last().isEmpty());
            recorded.insert(rec.startMs / 60000);
        }
        QCOMPARE(recorded.size(), 9);
        for (const zrtest::GeneratedTag& t : cam->tags) {
            ownedTags.emplace_back(ZRFile::parse_tags_file(QFileInfo(t.path)));
            QVERIFY(ownedTags.back());
            tags << ownedTags.back().get();
        }
    }

    void stripSlots_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("set");
        QTest::newRow("end of hour") << 58 << 5 << QList<int>{58, 59};
        QTest::newRow("zero") << 10 << 0 << QList<int>{};
        QTest::newRow("negative") << 10 << -1 << QList<int>{};
        QTest::newRow("before start") << -2 << 4 << QList<int>{0, 1};
    }

    void stripSlots()
    {
        QFETCH(int, first);
        QFETCH(int, count);
        QFETCH(QList<int>, set);
        ZRTimeline strip("08:00:00 - 09:00:00");
        strip.set_minutes_recorded(first, count);
        QList<int> got;
        for (int m = -5; m < 70; ++m)
            if (strip.minute_slot(m))
                got << m;
        QCOMPARE(got, set);
        strip.clear_minutes(first, count);
        for (int m = 0; m < 60; ++m)
            QCOMPARE(strip.minute_slot(m), 0);
    }

    void tagsOfAnHour_data()
    {
        QTest::addColumn<QString>("strip");
        QTest::addColumn<QString>("tagCamera");
        QTest::addColumn<QString>("when");
        QTest::addColumn<int>("camera");
        QTest::addColumn<bool>("added");
        QTest::newRow("in hour") << "08:00:00 - 09:00:00" << "3" << "20240131083000" << 3 << true;
        QTest::newRow("other camera") << "08:00:00 - 09:00:00" << "3" << "20240131083000" << 4 << false;
        QTest::newRow("next hour") << "09:00:00 - 10:00:00" << "3" << "20240131083000" << 3 << false;
        QTest::newRow("last hour") << "23:00:00 - 00:00:00" << "3" << "20240131234510" << 3 << true;
        QTest::newRow("last hour, other strip") << "22:00:00 - 23:00:00" << "3" << "20240131234510" << 3 << false;
        QTest::newRow("hour start") << "09:00:00 - 10:00:00" << "3" << "20240131090000" << 3 << true;
        QTest::newRow("hour end") << "08:00:00 - 09:00:00" << "3" << "20240131090000" << 3 << false;
        QTest::newRow("empty camera") << "08:00:00 - 09:00:00" << "" << "20240131083000" << 3 << false;
        QTest::newRow("empty time") << "08:00:00 - 09:00:00" << "3" << "" << 3 << false;
    }

    void tagsOfAnHour()
    {
        QFETCH(QString, strip);
        QFETCH(QString, tagCamera);
        QFETCH(QString, when);
        QFETCH(int, camera);
        QFETCH(bool, added);
        auto tag = makeTag(tagCamera, when);
        ZRTimeline t(strip);
        t.check_and_add_tags({tag.get(), tag.get(), nullptr}, camera);
        QCOMPARE(t.get_tags().size(), added ? 1 : 0);
    }

    void stripPixelsFromGeneratedCamera()
    {
        ZRTimeline strip("08:00:00 - 09:00:00");
        strip.resize(600, 25);
        strip.set_camera_id(3);
        strip.clear_all_minutes();
        for (const QList<ZRFrame>& frames : recordings)
            strip.set_minutes_from_frames(frames);
        strip.check_and_add_tags(tags, 3);
        QCOMPARE(strip.get_tags().size(), tags.size()); // the generator's tags lie in 08:00 .. 08:11
        const QImage img = strip.grab().toImage();
        QCOMPARE(img.width(), 600);

        QSet<int> tagMinutes;
        for (ZRTag* t : tags)
            tagMinutes.insert(t->get_tag_datetime().mid(10, 2).toInt());
        for (int m = 0; m < 60; ++m) {
            if (tagMinutes.contains(m)) {
                QVERIFY2(isColor(img, 10 * m + 4, 18, Qt::green), qPrintable(QString::number(m)));
                QVERIFY(isColor(img, 10 * m + 1, 7, Qt::green));
                continue;
            }
            const bool rec = recorded.contains(8 * 60 + m);
            QVERIFY2(isColor(img, 10 * m + 5, 18, rec ? Qt::red : Qt::black), qPrintable(QString::number(m)));
        }
        // The top ten rows are left to the background away from the tag discs.
        QVERIFY(!isColor(img, 595, 4, Qt::black));
        // Marks are 1.3 minute-widths wide: two recorded neighbours join without a gap.
        QVERIFY(isColor(img, 19, 18, Qt::red) && isColor(img, 21, 18, Qt::red));
    }

    void fullStripAndPartialRepaint()
    {
        ZRTimeline strip("08:00:00 - 09:00:00");
        strip.resize(600, 25);
        strip.set_minutes_recorded(0, 60);
        QImage img = strip.grab().toImage();
        for (int x = 0; x < 600; ++x)
            QVERIFY2(isColor(img, x, 18, Qt::red), qPrintable(QString::number(x)));
        // A repaint of a small part lays the marks out on the whole strip all the same.
        strip.clear_all_minutes();
        strip.set_minutes_recorded(30, 1);
        img = strip.grab(QRect(295, 0, 20, 25)).toImage();
        QVERIFY(isColor(img, 10, 18, Qt::red));   // x = 305
        QVERIFY(isColor(img, 0, 18, Qt::black));  // x = 295
    }

    void hoverAndClick()
    {
        QWidget host;
        QLabel label("08:00:00 - 09:00:00", &host);
        auto* strip = new ZRTimeline("08:00:00 - 09:00:00", &host);
        strip->setGeometry(0, 30, 600, 25);
        strip->set_label(&label);
        strip->set_camera_id(3);
        QSignalSpy clicked(strip, &ZRTimeline::clicked);
        host.resize(620, 80);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));

        // Nothing before the strip has been painted.
        ZRTimeline fresh("08:00:00 - 09:00:00");
        QSignalSpy freshClicked(&fresh, &ZRTimeline::clicked);
        send(&fresh, QEvent::MouseButtonRelease, 300, 15, Qt::LeftButton);
        QCOMPARE(freshClicked.count(), 0);

        strip->grab();
        send(strip, QEvent::MouseMove, 300, 15);
        QCOMPARE(label.text(), QString("08:00:00 - 09:00:00 > 08:30:00"));
        send(strip, QEvent::MouseButtonRelease, 300, 15, Qt::RightButton);
        QCOMPARE(clicked.count(), 0);
        send(strip, QEvent::MouseButtonRelease, 300, 15, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toString(), QString("08:30:00"));
        QCOMPARE(clicked.at(0).at(1).toInt(), 3);
        send(strip, QEvent::MouseMove, 599, 15);
        QCOMPARE(label.text(), QString("08:00:00 - 09:00:00 > 08:59:54"));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(strip, &leave);
        QCOMPARE(label.text(), QString("08:00:00 - 09:00:00"));

        // The tool tip of a tag under the cursor.
        auto tag = makeTag("3", "20240131081500");
        strip->check_and_add_tags({tag.get()}, 3);
        strip->grab();
        QCOMPARE(tag->get_x(), 150);
        QCOMPARE(tag->get_width(), 8);
        send(strip, QEvent::MouseMove, 154, 15);
        QCOMPARE(QToolTip::text(), QString("porte - ouverte"));
        send(strip, QEvent::MouseMove, 400, 15);
        QVERIFY(zrtest::waitUntil([] { return !QToolTip::isVisible(); }));
    }

    void sliderValueTexts_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QTime>("time");
        QTest::newRow("start") << 0 << "00:00:00" << QTime(0, 0);
        QTest::newRow("morning") << 605 << "10:05:00" << QTime(10, 5);
        QTest::newRow("last minute") << 1439 << "23:59:00" << QTime(23, 59);
        QTest::newRow("end") << 1440 << "23:59:59" << QTime(23, 59, 59);
    }

    void sliderValueTexts()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        QFETCH(QTime, time);
        ZRSlidertimeline slider;
        slider.setMaximum(1440);
        slider.set_camera_id(4);
        QSignalSpy moved(&slider, &ZRSlidertimeline::slider_move);
        QSignalSpy released(&slider, &ZRSlidertimeline::change_value);
        slider.get_value_changed(value);
        QCOMPARE(slider.get_value_text(), text);
        QCOMPARE(moved.count(), 1);
        QVERIFY(moved.at(0).at(0).toTime().isValid());
        QCOMPARE(moved.at(0).at(0).toTime(), time);
        slider.release();
        QCOMPARE(released.count(), 1);
        QCOMPARE(released.at(0).at(0).toString(), text);
        QCOMPARE(released.at(0).at(1).toInt(), 4);
    }

    void sliderFollowsTheReader()
    {
        ZRSlidertimeline slider;
        slider.setMaximum(1440);
        slider.setValue(100);
        slider.setValue(0, QString());
        QCOMPARE(slider.value(), 100);
        slider.setValue(0, "20240131101530123");
        QCOMPARE(slider.value(), 615);
        slider.setValue(0, "garbage");
        QCOMPARE(slider.value(), 0);
    }

    void sliderSlotsAndTags()
    {
        ZRSlidertimeline slider;
        slider.set_minutes_recorded(1438, 5);
        slider.clear_minutes(1500, 3);
        QList<int> got;
        for (int m = 0; m < 1445; ++m)
            if (slider.minute_slot(m))
                got << m;
        QCOMPARE(got, QList<int>({1438, 1439}));
        auto last = makeTag("4", "20240131235959");
        auto before = makeTag("4", "20240131235958");
        slider.check_and_add_tags({last.get(), before.get(), before.get()}, 4);
        QCOMPARE(slider.get_tags(), QList<ZRTag*>{before.get()});
    }

    void sliderPressAndRelease()
    {
        ZRSlidertimeline slider;
        slider.setOrientation(Qt::Horizontal);
        slider.setMaximum(1440);
        slider.resize(721, 30);
        slider.set_camera_id(7);
        slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&slider));
        QSignalSpy released(&slider, &ZRSlidertimeline::change_value);
        QSignalSpy changed(&slider, &QSlider::valueChanged);
        QTest::mousePress(&slider, Qt::LeftButton, {}, QPoint(360, 15));
        // The click's own value, 1440 * 360 / 721, comes first; the style may then centre the
        // handle under the cursor.
        QVERIFY(changed.count() >= 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 1440 * 360 / 721);
        QVERIFY(qAbs(slider.value() - 719) <= 1);
        const QString expected = slider.get_value_text();
        QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(360, 15));
        QCOMPARE(released.count(), 1);
        QCOMPARE(released.at(0).at(0).toString(), expected);
        QCOMPARE(released.at(0).at(1).toInt(), 7);
    }

    void sliderPixelsFromGeneratedCamera()
    {
        ProbeSlider slider;
        slider.setOrientation(Qt::Horizontal);
        slider.setMaximum(1440);
        slider.resize(1500, 40);
        slider.set_camera_id(3);
        for (const QList<ZRFrame>& frames : recordings)
            slider.set_minutes_from_frames(frames);
        slider.check_and_add_tags(tags, 3);
        slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&slider));
        const QImage img = slider.grab().toImage();
        const QRect g = slider.part(QStyle::SC_SliderGroove);
        const int mark = (g.width() * 2 - 48) / 1440;
        QVERIFY(mark >= 1);
        const int y = g.center().y();
        QSet<int> tagMinutes;
        for (ZRTag* t : tags)
            tagMinutes.insert(8 * 60 + t->get_tag_datetime().mid(10, 2).toInt());
        // Marks are two minute-widths wide: a minute's first column also shows its predecessor.
        for (int m = 8 * 60; m < 8 * 60 + 14; ++m) {
            const int x = g.left() + 12 + (g.width() - 24) * m / 1440;
            if (tagMinutes.contains(m)) {
                QVERIFY(isColor(img, (g.width() - 24) * m / 1440 + g.left() + 12, y, Qt::green));
                continue;
            }
            if (tagMinutes.contains(m - 1) || (recorded.contains(m - 1) && !recorded.contains(m)))
                continue;
            const bool rec = recorded.contains(m);
            QVERIFY2(isColor(img, x, y, Qt::red) == rec,
                     qPrintable(QString("minute %1 x %2 y %3 colour %4 groove %5,%6 %7x%8").arg(m).arg(x).arg(y)
                                    .arg(img.pixelColor(x, y).name()).arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height())));
        }
        // The handle at 00:00 carries its grey bar.
        const QRect hr = slider.part(QStyle::SC_SliderHandle);
        QVERIFY(isColor(img, hr.center().x(), hr.center().y(), QColor("#656565")));
    }

    void narrowSliderStillShowsRecordedMinutes()
    {
        ProbeSlider slider;
        slider.setOrientation(Qt::Horizontal);
        slider.setMaximum(1440);
        slider.resize(400, 40);
        slider.set_minutes_recorded(720, 1);
        slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&slider));
        const QImage img = slider.grab().toImage();
        const QRect g = slider.part(QStyle::SC_SliderGroove);
        QVERIFY(isColor(img, g.left() + 12 + (g.width() - 24) * 720 / 1440, g.center().y(), Qt::red));
    }

    void sliderTagToolTip()
    {
        ProbeSlider slider;
        slider.setOrientation(Qt::Horizontal);
        slider.setMaximum(1440);
        slider.resize(1500, 40);
        slider.setMouseTracking(true);
        auto tag = makeTag("3", "20240131120000");
        slider.check_and_add_tags({tag.get()}, 3);
        slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&slider));
        slider.grab();
        const QRect g = slider.part(QStyle::SC_SliderGroove);
        QCOMPARE(tag->get_x(), (g.width() - 24) * 720 / 1440 + g.left() + 12);
        send(&slider, QEvent::MouseMove, tag->get_x(), 20);
        QCOMPARE(QToolTip::text(), QString("porte - ouverte"));
    }
};

ZR_TEST_MAIN_GUI(TestHourTimeline)
#include "tst_hour_timeline.moc"
