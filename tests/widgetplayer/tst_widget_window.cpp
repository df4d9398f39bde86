//! labels: gui slow
//! libs: zr_widgetplayer
// The widget player window: its form and first state, and the operator's journey through it
// on a generated export, by clicks: the day in the tree, the hour timelines, a recorded minute,
// play, pause, frame steps, fast play both ways across a file boundary, a snapshot, an alarm and
// a tag from their lists, the integrity check and an export through the dialog. What the
// display shows is read from the markers painted on the pictures. A picture of the window is
// kept after each stage (widget-journey-*.png beside the test, or in $ZR_SCREENSHOT_DIR).
#include "display/Canvas.h"
#include "export/PopupExport.h"
#include "media/ZRStreamReadAndControl.h"
#include "player/AlarmViewer.h"
#include "player/IntegrityDialog.h"
#include "player/ZRPlayerInferfaceController.h"
#include "store/IntegrityCheck.h"
#include "tests/export/ExportedVideo.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/TestMain.h"
#include "widgetplayer/AlarmModel.h"
#include "widgetplayer/TagsModel.h"
#include "widgetplayer/TreeProxyModel.h"
#include "widgetplayer/ZRTimeline.h"
#include "widgetplayer/ZRVideoFileSystemModel.h"
#include "widgetplayer/ZR_Player_presentation.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleHints>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimeEdit>
#include <QTreeView>

#include "widgetplayer/ZRPlayer_TabWidget.h"
#include "widgetplayer/ZRSlidertimeline.h"

#include <functional>
#include <memory>

using namespace zrtest;

// The window's form, found by the widgets' names.
struct Form
{
    explicit Form(QWidget* w)
        : tabWidget(w->findChild<QTabWidget*>("tabWidget"))
        , tree(w->findChild<QTreeView*>("tree"))
        , listVignettes_view(w->findChild<QTableView*>("listVignettes_view"))
        , listTags_view(w->findChild<QTableView*>("listTags_view"))
        , slider(w->findChild<ZRSlidertimeline*>("slider"))
        , lbl_timestamp(w->findChild<QLabel*>("lbl_timestamp"))
        , exportbutton(w->findChild<QPushButton*>("exportbutton"))
        , integrityButton(w->findChild<QPushButton*>("integrityButton"))
        , video_stream_box(w->findChild<QComboBox*>("video_stream_box"))
        , snapshotButton(w->findChild<QPushButton*>("snapshotButton"))
        , stopButton(w->findChild<QPushButton*>("stopButton"))
        , backwardButton(w->findChild<QPushButton*>("backwardButton"))
        , forwardButton(w->findChild<QPushButton*>("forwardButton"))
        , playButton(w->findChild<QPushButton*>("playButton"))
        , rateBox(w->findChild<QComboBox*>("rateBox"))
        , encodeprogress(w->findChild<QProgressBar*>("encodeprogress"))
        , widget_canvas(w->findChild<QWidget*>("widget_canvas"))
    {
    }
    QTabWidget* tabWidget;
    QTreeView* tree;
    QTableView* listVignettes_view;
    QTableView* listTags_view;
    ZRSlidertimeline* slider;
    QLabel* lbl_timestamp;
    QPushButton* exportbutton;
    QPushButton* integrityButton;
    QComboBox* video_stream_box;
    QPushButton* snapshotButton;
    QPushButton* stopButton;
    QPushButton* backwardButton;
    QPushButton* forwardButton;
    QPushButton* playButton;
    QComboBox* rateBox;
    QProgressBar* encodeprogress;
    QWidget* widget_canvas;
};

class TestWidgetWindow : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    GeneratedExport ex;
    QString shotDir;

    static void pauseGap() { QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50); }

    static QWidget* visibleWindow(const char* className)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->inherits(className) && w->isVisible())
                return w;
        return nullptr;
    }
    static int visibleCount(const char* className)
    {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            n += (w->inherits(className) && w->isVisible()) ? 1 : 0;
        return n;
    }
    static void closeAll(const char* className)
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->inherits(className) && w->isVisible())
                w->close();
    }

    void shot(ZR_Player_presentation* window, const QString& stage, QWidget* other = nullptr) const
    {
        window->grab().save(shotDir + "/widget-journey-" + stage + ".png");
        if (other)
            other->grab().save(shotDir + "/widget-journey-" + stage + "-window.png");
    }

    static FrameMarker shown(ZR_Player_presentation* window)
    {
        return readFrameMarker(window->get_display()->current_image());
    }
    // Waits until the display shows a picture whose time lies within toleranceMs of ms.
    static bool showsNear(ZR_Player_presentation* window, int ms, int toleranceMs = 1000, int timeoutMs = 20000)
    {
        return QTest::qWaitFor(
            [&] {
                const FrameMarker m = shown(window);
                return m.found && std::abs(m.msOfDay() - ms) <= toleranceMs;
            },
            timeoutMs);
    }

    // A click on the tree entry of a folder, once the tree shows it.
    static void clickTreeFolder(ZR_Player_presentation* window, const QString& path)
    {
        QTreeView* tree = Form(window).tree;
        QModelIndex index;
        QVERIFY(QTest::qWaitFor(
            [&] {
                index = window->get_tree_proxy()->mapFromSource(window->get_file_model()->index(path));
                if (!index.isValid())
                    return false;
                ZR_Player_presentation::expand_parents(tree, index);
                tree->scrollTo(index);
                return tree->visualRect(index).isValid() && !tree->visualRect(index).isEmpty();
            },
            20000));
        // Folders load in the background and move the rows: the entry is clicked where it is
        // once it has stayed put.
        QRect at;
        QVERIFY(QTest::qWaitFor(
            [&] {
                pauseGap();
                index = window->get_tree_proxy()->mapFromSource(window->get_file_model()->index(path));
                tree->scrollTo(index);
                const QRect now = tree->visualRect(index);
                const bool still = now == at && now.isValid();
                at = now;
                return still;
            },
            20000));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at.center());
    }

    static void clickTab(ZR_Player_presentation* window, int tab)
    {
        QTabBar* bar = Form(window).tabWidget->tabBar();
        pauseGap();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(tab).center());
    }

    // A click on an hour timeline near a time of its hour; the time the strip reports for
    // the pixel clicked (a pixel covers several seconds).
    static QTime clickTimeline(ZRTimeline* timeline, const QTime& time)
    {
        const int seconds = (time.minute() * 60 + time.second());
        const int x = int((seconds + 0.5) * timeline->width() / 3600.0);
        QSignalSpy reported(timeline, &ZRTimeline::clicked);
        pauseGap();
        QTest::mouseClick(timeline, Qt::LeftButton, Qt::NoModifier, QPoint(x, timeline->height() / 2));
        if (reported.isEmpty())
            return QTime();
        return QTime::fromString(reported.first().first().toString(), "HH:mm:ss");
    }

    // A press on a list entry (away from its download corner), as the delegate takes it.
    static void pressEntry(QTableView* view, int row, bool corner = false)
    {
        const QRect r = view->visualRect(view->model()->index(row, 0));
        const QPoint at = corner ? QPoint(r.right() - 10, r.top() + 10) : QPoint(r.left() + 20, r.bottom() - 10);
        pauseGap();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    // Every picture the reader hands over while recording, by its marker time.
    QList<int> handedOver;
    bool recording = false;
    QList<int> recordUntil(ZRStreamReadAndControl* reader, const std::function<bool(const QList<int>&)>& done,
                           int timeoutMs = 30000)
    {
        handedOver.clear();
        recording = true;
        QMetaObject::Connection c = connect(
            reader, &ZRStreamReadAndControl::set_display_frame, this,
            [this](uint8_t* frame, int linesize, int width, int height, QString, QString, bool, int, double, bool) {
                if (!recording)
                    return;
                const FrameMarker m =
                    readFrameMarker(QImage(frame, width, height, linesize, QImage::Format_ARGB32));
                if (m.found)
                    handedOver << m.msOfDay();
            },
            Qt::DirectConnection);
        (void)QTest::qWaitFor([&] { return done(handedOver); }, timeoutMs);
        recording = false;
        disconnect(c);
        return handedOver;
    }

    // The row of a list whose moment lies at least three seconds into its recording, so that
    // the seek two seconds earlier stays in the same recording.
    static int rowAwayFromStart(QAbstractItemModel* model, const std::function<QString(int)>& stampOf)
    {
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString stamp = stampOf(row);
            if (stamp.size() == 14 && stamp.right(2).toInt() >= 3)
                return row;
        }
        return -1;
    }

private slots:
    void initTestCase()
    {
        shotDir = qEnvironmentVariableIsSet("ZR_SCREENSHOT_DIR") ? qEnvironmentVariable("ZR_SCREENSHOT_DIR")
                                                                 : QDir::currentPath();
        QDir().mkpath(shotDir);
        ex = gen.generate({"--cameras", "2", "--minutes", "3", "--start", "08:00:00", "--size", "320x180", "--tags",
                           "4", "--alarms", "4", "--seed", "31"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
    }

    // A fresh window: every widget of the form by its name, the tree tab at the home folder,
    // the rate "1.0x", the time "00:00:00:000", the progress bar hidden, and the controls, the
    // slider, the tool buttons and the other tabs locked; the title names the version.
    void freshWindow()
    {
        LogCatcher log;
        auto window = std::make_unique<ZR_Player_presentation>();
        for (const char* name :
             {"widget_browser", "tabWidget", "tab", "tree", "tab_3", "tab_2", "alarm_combobox", "listVignettes_view",
              "tab_tags", "tags_comboBox", "listTags_view", "widget_display_info", "widget_canvas", "widget_informations",
              "widget", "slider", "lbl_timestamp", "widget_4", "exportbutton", "integrityButton", "label",
              "label_video_quality", "video_stream_box", "widget_3", "snapshotButton", "stopButton", "backwardButton",
              "forwardButton", "playButton", "rateBox", "encodeprogress"})
            QVERIFY2(window->findChild<QWidget*>(name), name);
        for (const char* name : {"horizontalLayout", "verticalLayout_2", "horizontalLayout_3", "horizontalLayout_4",
                                 "verticalLayout_4", "horizontalLayout_5", "verticalLayout_5", "verticalLayout",
                                 "gridLayout", "displayLayout", "verticalLayout_3", "horizontalLayout_2", "camlayout",
                                 "camidLayout", "horizontalLayout_6"})
            QVERIFY2(window->findChild<QLayout*>(name), name);
        const Form form(window.get());
        const Form* ui = &form;
        QCOMPARE(window->windowTitle(), QStringLiteral("ZRPlayer 3.4.4"));
        QCOMPARE(ui->tabWidget->currentIndex(), 0);
        for (int i = 1; i <= 3; ++i)
            QVERIFY(!ui->tabWidget->isTabEnabled(i));
        QCOMPARE(ui->rateBox->currentText(), QStringLiteral("1.0x"));
        QCOMPARE(ui->rateBox->count(), 8);
        QCOMPARE(ui->lbl_timestamp->text(), QStringLiteral("00:00:00:000"));
        QVERIFY(ui->encodeprogress->isHidden());
        for (QWidget* w : {(QWidget*)ui->slider, (QWidget*)ui->playButton, (QWidget*)ui->stopButton,
                           (QWidget*)ui->forwardButton, (QWidget*)ui->backwardButton, (QWidget*)ui->snapshotButton,
                           (QWidget*)ui->rateBox, (QWidget*)ui->exportbutton, (QWidget*)ui->integrityButton})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QCOMPARE(ui->exportbutton->text(), QStringLiteral("Export vidéo"));
        QCOMPARE(ui->integrityButton->text(), QStringLiteral("Vérification de l'intégrité"));
        QCOMPARE(ui->slider->maximum(), 1440);
        QCOMPARE(window->get_display()->parentWidget(), ui->widget_canvas);
        const QModelIndex current = window->get_tree_proxy()->mapToSource(ui->tree->currentIndex());
        QCOMPARE(window->get_file_model()->filePath(current), QDir::homePath());
        QVERIFY(log.contains("[INFO] Zrplayer Display :: construct"));
        QVERIFY(!window->find_timeline_for_time("10:00:00"));

        // The playback state goes through one rule.
        window->set_play_state(1);
        QVERIFY(ui->stopButton->isEnabled() && ui->snapshotButton->isEnabled());
        window->set_play_state(5);
        QCOMPARE(window->get_play_state(), 1);
        window->set_play_state(0);
        QVERIFY(!ui->stopButton->isEnabled());

        // Camera and stream ids compare as whole numbers: camera 1 is not "CAMERA 12", stream 2
        // is not "Video 12".
        QComboBox* cameras = window->get_camera_combobox();
        cameras->addItems({"CAMERA 12", "CAMERA 1", "CAMERA 21"});
        cameras->setCurrentIndex(0);
        window->change_camera(QFileInfo(QDir::homePath() + "/1_20250314_080000.zrvideo"));
        QCOMPARE(cameras->currentText(), QStringLiteral("CAMERA 1"));
        QCOMPARE(window->get_current_camera_id(), QStringLiteral("1"));
        ui->video_stream_box->addItems({"Video 2", "Video 12"});
        window->change_id_stream("2");
        QCOMPARE(ui->video_stream_box->currentText(), QStringLiteral("Video 2"));
        QCOMPARE(window->findChild<QLabel*>("label")->text(), QStringLiteral("Changement automatique de qualité"));

        // The window frees what it made: the controller, the tree's proxy and file model.
        QPointer<QObject> controller = window->get_controller();
        QPointer<QObject> proxy = window->get_tree_proxy();
        QPointer<QObject> files = window->get_file_model();
        QPointer<QObject> reader = window->get_reader();
        window.reset();
        QVERIFY(log.contains("[INFO] Zrplayer Display :: destruct done"));
        QVERIFY(!controller && !proxy && !files && !reader);
    }

    // Inside a day folder two entries with the same text are both hidden; elsewhere they stay.
    void treeHidesDuplicatesInsideADay()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString day = dir.path() + "/2024-05-01";
        QVERIFY(QDir().mkpath(day + "/a") && QDir().mkpath(day + "/b/a") && QDir().mkpath(day + "/c"));
        QVERIFY(QDir().mkpath(dir.path() + "/other/x") && QDir().mkpath(dir.path() + "/other/y/x"));
        QFileSystemModel source;
        source.setRootPath(dir.path());
        TreeProxyModel proxy;
        proxy.setSourceModel(&source);
        auto rowsOf = [&](const QString& path) {
            QStringList names;
            const QModelIndex parent = proxy.mapFromSource(source.index(path));
            for (int r = 0; r < proxy.rowCount(parent); ++r)
                names << proxy.index(r, 0, parent).data().toString();
            names.sort();
            return names;
        };
        // The model lists folders in the background; children are read once asked for.
        for (const QString& p : {day, day + "/b", dir.path() + "/other", dir.path() + "/other/y"})
            source.fetchMore(source.index(p));
        QTRY_COMPARE(rowsOf(day), QStringList({"b", "c"}));
        QTRY_COMPARE(rowsOf(dir.path() + "/other"), QStringList({"x", "y"}));
    }

    // The day's last minutes, recordings three minutes apart, a tag at the very start of a
    // recording, a second day without camera files: the last hour's strip finds the recording
    // of 23:59 (its end lies past midnight), a click plays it though the timeline filler named
    // no stream, the tag is listed, a press on the slider pauses, an integrity dialog closed at
    // once lets its check end before it goes, and the day without cameras empties the choice.
    void dayEdges()
    {
        ModalAnswerer answers;
        answers.setAnswer([](QWidget* modal) { return qobject_cast<IntegrityDialog*>(modal) != nullptr; });
        const GeneratedExport late = gen.generate({"--days", "2", "--cameras", "1", "--minutes", "4", "--skip", "1,2",
                                                   "--start", "23:56:00", "--size", "320x180", "--tags", "1",
                                                   "--seed", "7"});
        QVERIFY2(late.ok, qPrintable(late.error));
        const GeneratedCamera& cam = late.cameras.first();
        const QList<GeneratedRecording> recordings = cam.recordingsOf(late.days.first());
        QCOMPARE(recordings.size(), 2);
        QCOMPARE(recordings.last().start.time(), QTime(23, 59, 0));
        // The day's tag, named at the start of the last recording.
        QString tagPath;
        for (const GeneratedTag& t : cam.tags)
            if (t.datetime.startsWith(QString(late.days.first()).remove('-')))
                tagPath = t.path;
        QVERIFY(!tagPath.isEmpty());
        QStringList tagParts = QFileInfo(tagPath).fileName().split('_');
        QCOMPARE(tagParts.size(), 4);
        tagParts[3] = "235900.zrtag";
        QVERIFY(QFile::rename(tagPath, QFileInfo(tagPath).path() + "/" + tagParts.join('_')));
        // The second day keeps its recordings but loses its camera files.
        for (const QFileInfo& f : QDir(late.dayFolders.at(1)).entryInfoList({"*.zrnfo"}, QDir::Files))
            QVERIFY(QFile::remove(f.filePath()));
        for (const QFileInfo& media : QDir(late.dayFolders.at(1)).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QFileInfo& f : QDir(media.filePath()).entryInfoList({"*.zrnfo"}, QDir::Files))
                QVERIFY(QFile::remove(f.filePath()));

        auto window = std::make_unique<ZR_Player_presentation>();
        window->resize(1258, 675);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const Form form(window.get());
        clickTreeFolder(window.get(), late.dayFolders.first());
        ZRTimeline* last = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                last = window->get_timelines().value("23:00:00 - 00:00:00");
                return last && last->minute_slot(59) == 1;
            }(),
            120000);
        QCOMPARE(window->find_timeline_for_time("23:59:30"), last);
        QCOMPARE(window->get_camera_combobox()->count(), 1);

        qDebug() << "stream choice after the timeline fill:" << form.video_stream_box->count();
        // The recording of 23:59 holds 23:59:30: found by the exact search.
        const QString dayText = QString(late.days.first()).remove('-');
        QCOMPARE(window->timeline_send_click_get_datetime("23:59:30", cam.id, 0), dayText + "235930");
        QVERIFY(showsNear(window.get(), QTime(23, 59, 0).msecsSinceStartOfDay(), 1000));
        QCOMPARE(form.video_stream_box->currentText(), QStringLiteral("Video 1"));
        QCOMPARE(QFileInfo(window->get_actual_file()).fileName(), QFileInfo(recordings.last().videoPath).fileName());
        // The reader keeps the camera's recordings of the day.
        QCOMPARE(window->get_reader()->get_files().size(), 2);
        QCOMPARE(window->get_play_state(), 1);

        // A press on the slider's handle pauses through the window's state; the release asks
        // for the chosen minute, noon, which holds no recording: play stops.
        ZRSlidertimeline* slider = form.slider;
        const QPoint middle(slider->width() / 2, slider->height() / 2);
        pauseGap();
        QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, middle);
        QCOMPARE(window->get_play_state(), 2);
        QVERIFY(!window->get_reader()->is_playing());
        QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, middle);
        QTRY_COMPARE(window->get_play_state(), 0);

        // The tag at 23:59:00 belongs to the recording that starts then.
        clickTab(window.get(), 3);
        QTRY_VERIFY(window->get_tags_model());
        QCOMPARE(window->get_tags_model()->rowCount(), 1);

        // An integrity dialog closed while its check runs: the check is asked to stop and goes
        // only once its thread has ended.
        pauseGap();
        QTest::mouseClick(form.integrityButton, Qt::LeftButton);
        QPointer<IntegrityCheck> check = window->get_integrity_check();
        QPointer<IntegrityDialog> dialog = window->get_integrity_dialog();
        QVERIFY(check && dialog);
        dialog->close();
        QVERIFY(!window->get_integrity_check());
        QTRY_VERIFY(!check);
        QTRY_VERIFY(!dialog);

        // A day without camera files: the camera choice is emptied.
        clickTab(window.get(), 0);
        clickTreeFolder(window.get(), late.dayFolders.at(1));
        QTRY_COMPARE(form.tabWidget->currentIndex(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(window->get_day_folder().contains(late.days.at(1))
                                     && window->get_camera_combobox()->count() == 0,
                                 60000);
        window.reset();
    }

    // The near search of a click keeps to the camera: camera 1 recorded only 08:00, camera 2
    // only 08:02; a click at 08:01:30 for camera 1 answers camera 1's recording, never the
    // other camera's that starts closer after the click.
    void nearSearchKeepsCamera()
    {
        const GeneratedExport two = gen.generate({"--cameras", "2", "--minutes", "3", "--start", "08:00:00", "--size",
                                                  "160x90", "--seed", "5"});
        QVERIFY2(two.ok, qPrintable(two.error));
        const QString day = two.days.first();
        auto drop = [&](int camera, int minute) {
            for (const GeneratedRecording& r : two.camera(camera)->recordingsOf(day))
                if (r.start.time().minute() == minute) {
                    QVERIFY(QFile::remove(r.videoPath));
                    QVERIFY(QFile::remove(r.seekPath));
                }
        };
        drop(1, 1);
        drop(1, 2);
        drop(2, 0);
        drop(2, 1);

        auto window = std::make_unique<ZR_Player_presentation>();
        window->resize(1258, 675);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        clickTreeFolder(window.get(), two.dayFolders.first());
        QTRY_VERIFY_WITH_TIMEOUT(window->get_timelines().size() == 24
                                     && window->get_controller()->get_day_video_list().size() == 2,
                                 120000);
        const QString dayText = QString(day).remove('-');
        QCOMPARE(window->timeline_send_click_get_datetime("08:01:30", 1, 0), QString());
        QCOMPARE(window->timeline_send_click_get_datetime("08:01:30", 1, 900), dayText + "080130");
        QVERIFY2(QFileInfo(window->get_actual_file()).fileName().startsWith("1_"), qPrintable(window->get_actual_file()));
        window.reset();
    }

    void journey()
    {
        ModalAnswerer answers;
        // The export and integrity dialogs are driven by the test; every message box gets its
        // default answer.
        answers.setAnswer([](QWidget* modal) {
            return qobject_cast<PopupExport*>(modal) != nullptr || qobject_cast<IntegrityDialog*>(modal) != nullptr;
        });
        LogCatcher log;
        auto window = std::make_unique<ZR_Player_presentation>();
        window->resize(1258, 675);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const Form form(window.get());
        const Form* ui = &form;
        ZRStreamReadAndControl* reader = window->get_reader();
        shot(window.get(), "01-start");

        // 1. The day, clicked in the tree: the timelines tab opens; a fresh export's index is
        // built for this day and its 24 hour strips then show the recorded minutes.
        const QString dayPath = ex.dayFolders.first();
        const QDate day = QDate::fromString(ex.days.first(), "yyyy-MM-dd");
        clickTreeFolder(window.get(), dayPath);
        QTRY_COMPARE(ui->tabWidget->currentIndex(), 1);
        QCOMPARE(window->get_selected_date(), day);
        QCOMPARE(QDir(window->get_day_folder()).absolutePath(), QDir(dayPath).absolutePath());
        QVERIFY(ui->exportbutton->isEnabled() && ui->integrityButton->isEnabled() && ui->tabWidget->isTabEnabled(3));
        ZRTimeline* eight = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                if (window->get_timelines().size() != 24)
                    return false;
                eight = window->get_timelines().value("08:00:00 - 09:00:00");
                return eight && eight->minute_slot(0) == 1 && eight->minute_slot(2) == 1;
            }(),
            120000);
        QCOMPARE(eight->minute_slot(3), 0);
        QCOMPARE(window->get_camera_combobox()->count(), 2);
        QVERIFY(window->get_camera_combobox()->isVisible());
        const int camera = window->get_current_camera_id().toInt();
        QVERIFY(camera == 1 || camera == 2);
        QCOMPARE(eight->get_camera_id(), camera);
        QCOMPARE(window->get_timelines().value("09:00:00 - 10:00:00")->minute_slot(0), 0);
        shot(window.get(), "02-timelines");

        // 2. A recorded minute, clicked: the display shows that time.
        const QTime clicked = clickTimeline(eight, QTime(8, 1, 20));
        QVERIFY(clicked >= QTime(8, 1, 0) && clicked < QTime(8, 2, 0));
        QVERIFY2(showsNear(window.get(), clicked.msecsSinceStartOfDay()), qPrintable(shown(window.get()).time.toString()));
        QCOMPARE(shown(window.get()).cameraId, camera);
        QCOMPARE(shown(window.get()).date, day);
        QCOMPARE(window->get_play_state(), 1);
        QVERIFY(ui->video_stream_box->count() > 0);
        QCOMPARE(ui->video_stream_box->currentText(), QStringLiteral("Video 1"));
        shot(window.get(), "03-minute");

        // 3. Two seconds of play, then pause: the picture stays.
        const int playedFrom = shown(window.get()).msOfDay();
        QVERIFY(showsNear(window.get(), playedFrom + 2000, 300));
        pauseGap();
        QTest::mouseClick(ui->playButton, Qt::LeftButton);
        QCOMPARE(window->get_play_state(), 2);
        QVERIFY(!reader->is_playing());
        const FrameMarker paused = shown(window.get());
        QVERIFY(paused.found);
        shot(window.get(), "04-paused");

        // 4. One frame forward, one back.
        pauseGap();
        QTest::mouseClick(ui->forwardButton, Qt::LeftButton);
        QTRY_COMPARE(shown(window.get()).msOfDay(), paused.msOfDay() + 40);
        pauseGap();
        QTest::mouseClick(ui->backwardButton, Qt::LeftButton);
        QTRY_COMPARE(shown(window.get()).msOfDay(), paused.msOfDay());
        QCOMPARE(window->get_play_state(), 2);
        shot(window.get(), "05-steps");

        // 5. 8x forward across the boundary at 08:02:00, then -8x back across it: the pictures
        // follow one another without a jump.
        const int boundary = QTime(8, 2, 0).msecsSinceStartOfDay();
        const QTime nearEnd = clickTimeline(eight, QTime(8, 1, 45));
        QVERIFY(nearEnd >= QTime(8, 1, 30) && nearEnd < QTime(8, 2, 0));
        QVERIFY(showsNear(window.get(), nearEnd.msecsSinceStartOfDay()));
        ui->rateBox->setCurrentIndex(7);
        emit ui->rateBox->activated(7);
        QCOMPARE(window->get_play_state(), 1);
        QList<int> times = recordUntil(reader, [&](const QList<int>& t) { return !t.isEmpty() && t.last() > boundary + 5000; });
        QVERIFY2(!times.isEmpty() && times.last() > boundary + 5000, qPrintable(QString::number(times.size())));
        for (int i = 1; i < times.size(); ++i)
            QVERIFY2(times.at(i) >= times.at(i - 1) && times.at(i) - times.at(i - 1) <= 2000,
                     qPrintable(QString("%1 -> %2").arg(times.at(i - 1)).arg(times.at(i))));
        shot(window.get(), "06-rate-8");
        ui->rateBox->setCurrentIndex(0);
        emit ui->rateBox->activated(0);
        times = recordUntil(reader, [&](const QList<int>& t) { return !t.isEmpty() && t.last() < boundary - 5000; });
        QVERIFY2(!times.isEmpty() && times.last() < boundary - 5000, qPrintable(QString::number(times.size())));
        for (int i = 1; i < times.size(); ++i)
            QVERIFY2(times.at(i) <= times.at(i - 1) && times.at(i - 1) - times.at(i) <= 2000,
                     qPrintable(QString("%1 -> %2").arg(times.at(i - 1)).arg(times.at(i))));
        shot(window.get(), "07-rate-minus-8");
        ui->rateBox->setCurrentIndex(4);
        emit ui->rateBox->activated(4);
        pauseGap();
        QTest::mouseClick(ui->playButton, Qt::LeftButton);
        QCOMPARE(window->get_play_state(), 2);

        // 6. A snapshot opens the image viewer on the shown picture.
        pauseGap();
        QTest::mouseClick(ui->snapshotButton, Qt::LeftButton);
        QPointer<QWidget> viewer;
        QTRY_VERIFY((viewer = visibleWindow("AlarmViewer")) != nullptr);
        shot(window.get(), "08-snapshot", viewer);
        viewer->close();
        QTRY_VERIFY(!viewer);

        // 7. An alarm from the alarm tab: the display shows two seconds before it.
        clickTab(window.get(), 2);
        QTRY_VERIFY(window->get_alarm_model() && window->get_alarm_model()->rowCount() > 0);
        AlarmModel* alarms = window->get_alarm_model();
        const int alarmRow = rowAwayFromStart(alarms, [&](int r) { return alarms->get_vignette(r).timestamp(); });
        QVERIFY(alarmRow >= 0);
        const QString alarmStamp = alarms->get_vignette(alarmRow).timestamp();
        ui->listVignettes_view->scrollTo(alarms->index(alarmRow, 0));
        pressEntry(ui->listVignettes_view, alarmRow);
        const int alarmMs = QTime::fromString(alarmStamp.mid(8), "HHmmss").msecsSinceStartOfDay();
        QVERIFY2(showsNear(window.get(), alarmMs - 2000), qPrintable(alarmStamp + " / " + shown(window.get()).time.toString()));
        QCOMPARE(shown(window.get()).cameraId, alarms->get_vignette(alarmRow).camera_id.toInt());
        shot(window.get(), "09-alarm");
        // Its download corner opens the alarm picture.
        pressEntry(ui->listVignettes_view, alarmRow, true);
        QTRY_VERIFY((viewer = visibleWindow("AlarmViewer")) != nullptr);
        shot(window.get(), "10-alarm-picture", viewer);
        viewer->close();
        QTRY_VERIFY(!viewer);

        // 8. A tag from the tag tab: two seconds before it too; a tag opens no picture.
        clickTab(window.get(), 3);
        QTRY_VERIFY(window->get_tags_model() && window->get_tags_model()->rowCount() > 0);
        TagsModel* tagRows = window->get_tags_model();
        const int tagRow = rowAwayFromStart(tagRows, [&](int r) { return tagRows->get_vignette(r).timestamp(); });
        QVERIFY(tagRow >= 0);
        const QString tagStamp = tagRows->get_vignette(tagRow).timestamp();
        ui->listTags_view->scrollTo(tagRows->index(tagRow, 0));
        pressEntry(ui->listTags_view, tagRow);
        const int tagMs = QTime::fromString(tagStamp.mid(8), "HHmmss").msecsSinceStartOfDay();
        QVERIFY2(showsNear(window.get(), tagMs - 2000), qPrintable(tagStamp + " / " + shown(window.get()).time.toString()));
        shot(window.get(), "11-tag");
        const int viewersBefore = visibleCount("AlarmViewer");
        pressEntry(ui->listTags_view, tagRow, true);
        QVERIFY(log.waitFor("[INFO] Zrplayer Display ::open_alarm_popup"));
        QCoreApplication::processEvents();
        QCOMPARE(visibleCount("AlarmViewer"), viewersBefore);

        // 9. The integrity check of the day.
        pauseGap();
        QTest::mouseClick(ui->integrityButton, Qt::LeftButton);
        QPointer<QWidget> integrity;
        QTRY_VERIFY((integrity = visibleWindow("IntegrityDialog")) != nullptr
                    || (integrity = window->get_integrity_dialog()) != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                if (!integrity)
                    return false;
                for (QProgressBar* bar : integrity->findChildren<QProgressBar*>())
                    if (bar->format() == QStringLiteral("Intégrité validée"))
                        return true;
                return false;
            }(),
            60000);
        shot(window.get(), "12-integrity", integrity);
        // A second press while it is open opens nothing more.
        pauseGap();
        QTest::mouseClick(ui->integrityButton, Qt::LeftButton);
        QCOMPARE(window->get_integrity_dialog(), integrity.data());
        integrity->close();
        QTRY_VERIFY(!window->get_integrity_dialog());
        QTRY_VERIFY(!window->get_integrity_check());

        // 10. Ten seconds from the shown frame exported through the dialog: the download window
        // reports it done and ffprobe reads the file.
        pauseGap();
        QTest::mouseClick(ui->playButton, Qt::LeftButton);
        if (window->get_play_state() == 1) {
            pauseGap();
            QTest::mouseClick(ui->playButton, Qt::LeftButton);
        }
        const FrameMarker before = shown(window.get());
        QVERIFY(before.found);
        pauseGap();
        QTest::mouseClick(ui->exportbutton, Qt::LeftButton);
        QPointer<PopupExport> popup = window->get_export_dialog();
        QVERIFY(popup);
        QTRY_VERIFY(popup->isVisible());
        auto* startEdit = popup->findChild<QTimeEdit*>("startTimeEdit");
        auto* endEdit = popup->findChild<QTimeEdit*>("endTimeEdit");
        QVERIFY(startEdit && endEdit);
        QCOMPARE(startEdit->time().toString("HH:mm:ss"), before.time.toString("HH:mm:ss"));
        const QTime from = QTime(before.time.hour(), before.time.minute(), before.time.second());
        endEdit->setTime(from.addSecs(5));
        const QString wanted = QDir::homePath() + "/exports/widget.mp4";
        popup->findChild<QLineEdit*>("fileNameEdit")->setText(wanted);
        shot(window.get(), "13-export-dialog", popup);
        pauseGap();
        QTest::mouseClick(popup->findChild<QPushButton*>("exportButton"), Qt::LeftButton);
        QPointer<QWidget> downloads;
        QTRY_VERIFY((downloads = visibleWindow("Download_presentation")) != nullptr);
        auto* tabs = downloads->findChild<QTabWidget*>("tabWidget");
        QVERIFY(tabs);
        QTRY_COMPARE_WITH_TIMEOUT(tabs->tabText(0), QStringLiteral("Réussis (1)"), 120000);
        shot(window.get(), "14-export-done", downloads);
        const ProbedVideo probed = probeVideo(QDir::homePath() + "/exports/widget_H264.mp4");
        QVERIFY2(probed.ok, qPrintable(probed.error));
        QCOMPARE(probed.codec, QStringLiteral("h264"));
        QVERIFY(probed.frames >= 5 * 25);
        downloads->close();
        QTRY_VERIFY(!downloads);

        // A raw copy's progress and end, as the dialog relays them: the bar shows the path and
        // the percentage and locks the button; the end closes the dialog that sent it, which
        // goes once its signal has returned, and tells the operator.
        if (popup)
            popup->close();
        pauseGap();
        QTest::mouseClick(ui->exportbutton, Qt::LeftButton);
        QPointer<PopupExport> raw = window->get_export_dialog();
        QVERIFY(raw && raw != popup);
        emit raw->valueChanged(40);
        QVERIFY(ui->encodeprogress->isVisible());
        QCOMPARE(ui->encodeprogress->value(), 40);
        QVERIFY(ui->encodeprogress->format().endsWith("  [40%]"));
        QVERIFY(!ui->exportbutton->isEnabled());
        const int boxesBefore = answers.count();
        emit raw->endingsignal();
        QVERIFY(answers.count() > boxesBefore);
        QCOMPARE(answers.last().text, QStringLiteral("Votre exportation est terminée."));
        QVERIFY(!window->get_export_dialog());
        QTRY_VERIFY(!raw);
        QVERIFY(ui->encodeprogress->isHidden());
        QVERIFY(ui->exportbutton->isEnabled());

        closeAll("AlarmViewer");
        window.reset();
        QVERIFY(log.contains("[INFO] Zrplayer Display :: destruct done"));
    }
};

ZR_TEST_MAIN_GUI(TestWidgetWindow)
#include "tst_widget_window.moc"
