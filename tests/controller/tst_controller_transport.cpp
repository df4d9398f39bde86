//! labels: unit gui
#include "display/Canvas.h"
#include "media/ZRStreamReadAndControl.h"
#include "player/AlarmViewer.h"
#include "player/ZRPlayerInferfaceController.h"
#include "store/IntegrityCheck.h"
#include "player/IntegrityDialog.h"
#include "tests/controller/ControllerFixture.h"
#include "tests/player/ModalScript.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zrtest;

namespace {

template<typename T> QList<T*> visibleWindows()
{
    QList<T*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible())
            out << t;
    return out;
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// The picture an image viewer shows.
QImage viewerImage(AlarmViewer* viewer)
{
    auto* label = viewer->findChild<QLabel*>(QStringLiteral("alarmViewerImage"));
    return label ? label->pixmap().toImage() : QImage();
}

// The markers of the frames the reader hands over while armed.
class MarkerRecorder : public QObject
{
public:
    explicit MarkerRecorder(ZRStreamReadAndControl* reader)
    {
        connect(reader, &ZRStreamReadAndControl::set_display_frame, this,
                [this](uint8_t* frame, int linesize, int width, int height, QString, QString, bool, int, double,
                       bool) {
                    if (armed)
                        seen << readFrameMarker(QImage(frame, width, height, linesize, QImage::Format_ARGB32));
                },
                Qt::DirectConnection);
    }
    bool armed = false;
    QList<FrameMarker> seen;
};

// Holds the integrity check's thread on a named pipe in place of the day's hash list: opening
// it blocks until a writer comes, so the check is provably still running while the test acts.
class PipeGate
{
public:
    // The real list is kept aside (outside the day folder) for restore().
    bool install(const QString& hashPath, const QString& keepPath)
    {
        path = hashPath;
        kept = keepPath;
        if (!QFile::copy(path, kept) || !QFile::remove(path)
            || ::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
            return false;
        // A thread of its own lets the blocked reader go (the GUI thread may be waiting for the
        // check then), when asked or after a while, so a check deleted too early fails the test
        // instead of hanging it. The reader then sees an empty hash list.
        releaser = std::thread([this, p = QFile::encodeName(path)] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!go.load() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            for (int i = 0; i < 2000; ++i) {
                const int fd = ::open(p.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    ::close(fd);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        return true;
    }
    void release() { go.store(true); }
    bool restore()
    {
        release();
        if (releaser.joinable())
            releaser.join();
        return QFile::remove(path) && QFile::copy(kept, path);
    }
    ~PipeGate()
    {
        release();
        if (releaser.joinable())
            releaser.join();
    }

private:
    QString path;
    QString kept;
    std::atomic<bool> go{false};
    std::thread releaser;
};

} // namespace

// The transport, snapshot and tool invokables on a real controller, reader and display over a
// generated day (one camera, recordings at 00:00, 00:01 and 00:02), judged by the frame markers
// of what the display receives.
class TestControllerTransport : public QObject
{
    Q_OBJECT

private:
    ExportGenerator gen;
    GeneratedExport ex;
    QString day;
    QString dayStamp;
    std::unique_ptr<Canvas> canvas;
    std::unique_ptr<ZRPlayerInferfaceController> c;
    std::unique_ptr<FrameCatcher> frames;
    QTemporaryDir saveDir;

    // A controller with its display, the export open and the camera chosen (nothing read yet).
    bool openController(const GeneratedExport& e)
    {
        c = std::make_unique<ZRPlayerInferfaceController>(nullptr);
        c->setCanvas(canvas.get());
        connect(c->get_reader(), &ZRStreamReadAndControl::set_display_frame, canvas.get(), &Canvas::displayFrame);
        frames = std::make_unique<FrameCatcher>(c->get_reader());
        if (c->get_available_days(e.exportPath) != e.days)
            return false;
        QStringList cameras;
        if (!openDay(*c, e.days.first(), &cameras) || cameras.isEmpty())
            return false;
        c->set_selected_camera(e.cameras.first().name);
        return true;
    }
    bool startAt(const QString& hhmmss)
    {
        c->set_zrstream_reader_read_timestamp(dayStamp + hhmmss);
        return QTest::qWaitFor([&] { return c->get_read_time() == hhmmss && frames->count > 0; }, 10000);
    }
    // Play goes on: waits for two more frames, however loaded the machine is.
    bool framesArrive()
    {
        const int before = frames->count;
        return QTest::qWaitFor([&] { return frames->count > before + 1; }, 10000);
    }
    // No frame may come while paused: only a window of time can show an absence.
    int framesDuring(int ms)
    {
        const int before = frames->count;
        QTest::qWait(ms);
        return frames->count - before;
    }
    FrameMarker shown() const { return frames->marker(); }

    static void checkSame(const FrameMarker& got, const FrameMarker& want)
    {
        QVERIFY2(got.found, "no frame marker on the picture");
        QCOMPARE(got.cameraId, want.cameraId);
        QCOMPARE(got.date, want.date);
        QCOMPARE(got.time, want.time);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(saveDir.isValid());
        ex = gen.generate({"--cameras", "1", "--minutes", "3", "--start", "00:00:00", "--size", "320x180", "--alarms",
                           "2", "--seed", "31"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        day = ex.days.first();
        dayStamp = QDate::fromString(day, "yyyy-MM-dd").toString("yyyyMMdd");
    }

    void init()
    {
        canvas = std::make_unique<Canvas>(nullptr);
        canvas->set_external_feed();
        canvas->resize(640, 360);
        canvas->show();
        QVERIFY(openController(ex));
    }

    void cleanup()
    {
        frames.reset();
        c.reset();
        canvas.reset();
        for (AlarmViewer* v : visibleWindows<AlarmViewer>())
            v->close();
        for (IntegrityDialog* d : visibleWindows<IntegrityDialog>())
            d->close();
        flushDeletes();
    }

    // Pause stops the frames and never resumes; start resumes where it stopped, without seeking.
    void pauseAndResume()
    {
        QVERIFY(startAt("000110"));
        QCOMPARE(c->get_playback_state(), 1);
        QVERIFY(framesArrive());

        c->pause_button();
        QCOMPARE(c->get_playback_state(), 2);
        const FrameMarker paused = shown();
        QCOMPARE(framesDuring(400), 0);
        c->pause_button();
        QCOMPARE(c->get_playback_state(), 2);
        QCOMPARE(framesDuring(200), 0);

        LogCatcher log;
        MarkerRecorder after(c->get_reader());
        after.armed = true;
        c->start_button();
        QCOMPARE(c->get_playback_state(), 1);
        QVERIFY(log.contains("[INFO] ZRPlayer Interface Controller :: start button"));
        QVERIFY(QTest::qWaitFor([&] { return after.seen.size() >= 3; }, 5000));
        QVERIFY(!log.contains("timeline send click get datetime"));
        // The next frame after the paused one, then onwards.
        QCOMPARE(after.seen.first().time, paused.time.addMSecs(40));
        QVERIFY(after.seen.at(2).time > after.seen.first().time);
    }

    // Stopped, start seeks to the read time, or to the day's first recording without one.
    void startWhenStopped_data()
    {
        QTest::addColumn<bool>("withReadTime");
        QTest::newRow("read time") << true;
        QTest::newRow("no read time") << false;
    }
    void startWhenStopped()
    {
        QFETCH(bool, withReadTime);
        QString expected = "000000";
        if (withReadTime) {
            expected = "000125";
            c->setTime(QTime::fromString(expected, "HHmmss"));
        }
        QCOMPARE(c->get_playback_state(), 0);
        MarkerRecorder after(c->get_reader());
        after.armed = true;
        c->start_button();
        QCOMPARE(c->get_playback_state(), 1);
        QVERIFY(QTest::qWaitFor([&] { return after.seen.size() >= 5; }, 10000));
        // The frame of the wanted time is shown, then play goes on from it.
        qsizetype at = -1;
        for (qsizetype i = 0; i < after.seen.size() && at < 0; ++i)
            if (after.seen.at(i).time == QTime::fromString(expected, "HHmmss"))
                at = i;
        QVERIFY(at >= 0);
        QVERIFY(at + 1 < after.seen.size());
        QCOMPARE(after.seen.last().date, QDate::fromString(day, "yyyy-MM-dd"));
        QVERIFY(after.seen.last().time > after.seen.at(at).time);
    }

    // Play resumed after steps goes on from the frame after the one on screen, every picture
    // whole (its marker readable).
    void checkResumesAfter(int onScreen)
    {
        MarkerRecorder after(c->get_reader());
        after.armed = true;
        c->start_button();
        QCOMPARE(c->get_playback_state(), 1);
        QVERIFY(QTest::qWaitFor([&] { return after.seen.size() >= 12; }, 10000));
        c->pause_button();
        for (qsizetype k = 0; k < after.seen.size(); ++k) {
            QVERIFY2(after.seen.at(k).found, qPrintable(QString("frame %1 after play resumed is damaged").arg(k)));
            QCOMPARE(after.seen.at(k).frameIndex, onScreen + 1 + int(k));
        }
    }

    // A step while playing pauses and shows the next (previous) frame; each further step one more;
    // play resumed after steps goes on from the frame on screen.
    void frameSteps()
    {
        QVERIFY(startAt("000110"));
        QVERIFY(framesArrive());
        const int playing = shown().frameIndex;
        QVERIFY(playing > 0);
        c->previous_frame_button();
        QCOMPARE(c->get_playback_state(), 2);
        QTRY_COMPARE(shown().frameIndex, playing - 1);
        QCOMPARE(framesDuring(300), 0);
        checkResumesAfter(playing - 1);
        if (QTest::currentTestFailed())
            return;

        // Forward steps only, then play.
        QVERIFY(startAt("000110"));
        QVERIFY(framesArrive());
        const int before = shown().frameIndex;
        c->next_frame_button();
        QTRY_COMPARE(shown().frameIndex, before + 1);
        c->next_frame_button();
        QTRY_COMPARE(shown().frameIndex, before + 2);
        checkResumesAfter(before + 2);
        if (QTest::currentTestFailed())
            return;

        // Forward from play, at another place of the day.
        QVERIFY(startAt("000140"));
        QVERIFY(framesArrive());
        LogCatcher log;
        const int start = shown().frameIndex;
        QVERIFY(start > 0);
        c->next_frame_button();
        QCOMPARE(c->get_playback_state(), 2);
        QVERIFY(log.contains("[INFO] ZRPlayer Interface Controller :: next frame button"));
        QTRY_COMPARE(shown().frameIndex, start + 1);
        c->next_frame_button();
        QTRY_COMPARE(shown().frameIndex, start + 2);
        c->previous_frame_button();
        QTRY_COMPARE(shown().frameIndex, start + 1);
        c->previous_frame_button();
        QTRY_COMPARE(shown().frameIndex, start);
        QCOMPARE(framesDuring(300), 0);
        QCOMPARE(c->get_playback_state(), 2);
        checkResumesAfter(start);
        if (QTest::currentTestFailed())
            return;
    }

    // Every rate the view offers plays in its direction and marks the controller as playing.
    void rates_data()
    {
        QTest::addColumn<int>("rate");
        for (int r : {-8, -4, -2, -1, 1, 2, 4, 8})
            QTest::newRow(qPrintable(QString::number(r) + "x")) << r;
    }
    void rates()
    {
        QFETCH(int, rate);
        QVERIFY(startAt("000130"));
        c->pause_button();
        QCOMPARE(framesDuring(200), 0);

        LogCatcher log;
        c->set_playback_rate(rate);
        QCOMPARE(c->get_playback_state(), 1);
        QCOMPARE(c->get_rate(), rate);
        QVERIFY(log.contains(QStringLiteral("[INFO] ZRPlayer Interface Controller :: set playback rate %1").arg(rate)));
        QVERIFY(framesArrive());
        const QTime before = shown().time;
        QVERIFY(before.isValid());
        const bool moved = QTest::qWaitFor([&] {
            const QTime now = shown().time;
            return now.isValid() && (rate > 0 ? now > before : now < before);
        }, 10000);
        QVERIFY2(moved, qPrintable(before.toString("HH:mm:ss.zzz") + " -> " + shown().time.toString("HH:mm:ss.zzz")));

        // Pause still works at any rate.
        c->pause_button();
        QCOMPARE(c->get_playback_state(), 2);
        QCOMPARE(framesDuring(300), 0);
    }

    // Both snapshots open a viewer on the shown frame, named after its time; saving writes that
    // frame as a JPEG; the viewer goes once closed.
    void snapshots_data()
    {
        QTest::addColumn<bool>("full");
        QTest::newRow("snapshot") << false;
        QTest::newRow("full snapshot") << true;
    }
    void snapshots()
    {
        QFETCH(bool, full);
        QVERIFY(startAt("000110"));
        c->pause_button();
        QTest::qWait(50);
        const FrameMarker want = shown();
        QVERIFY(want.found);
        const QString stamp = canvas->get_timestamp();
        QCOMPARE(stamp, want.dateTime().toString("yyyy-MM-dd HH:mm:ss.zzz"));

        full ? c->snapshot_full_button() : c->snapshot_button();
        QTRY_COMPARE(visibleWindows<AlarmViewer>().size(), 1);
        QPointer<AlarmViewer> viewer = visibleWindows<AlarmViewer>().first();
        QCOMPARE(viewer->saveName(), AlarmViewer::cleanFileName(stamp + ".jpg"));
        QCOMPARE(viewer->saveName(), want.dateTime().toString("yyyy-MM-dd HH_mm_ss.zzz") + ".jpg");
        checkSame(readFrameMarker(viewerImage(viewer)), want);

        const QString target = saveDir.filePath(QString(full ? "full" : "plain") + ".jpg");
        QString boxTitle;
        ModalScript script;
        script
            .then([target](QWidget* w) {
                auto* dialog = qobject_cast<QFileDialog*>(w);
                if (!dialog) {
                    w->close();
                    return;
                }
                QTimer::singleShot(0, dialog, [dialog, target] {
                    dialog->setDirectory(QFileInfo(target).absolutePath());
                    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(target).fileName());
                    QMetaObject::invokeMethod(dialog, "accept");
                });
            })
            .then([&boxTitle](QWidget* w) {
                boxTitle = w->windowTitle();
                QTimer::singleShot(0, w, [w] { w->close(); });
            });
        QAction* save = viewer->findChild<QAction*>(QStringLiteral("saveAction"));
        QVERIFY(save);
        QTimer::singleShot(0, save, &QAction::trigger);
        QVERIFY(waitUntil([&] { return script.pending() == 0 && (viewer.isNull() || !viewer->isVisible()); }, 20000));
        QVERIFY(!script.timedOut());
        QCOMPARE(boxTitle, QStringLiteral("Information"));

        QImageReader reader(target);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage saved = reader.read();
        QVERIFY(!saved.isNull());
        checkSame(readFrameMarker(saved), want);

        // Saving closes the viewer, which deletes itself.
        QVERIFY(waitUntil([&] {
            flushDeletes();
            return viewer.isNull();
        }));
    }

    // Before any frame the suggested name is ".jpg" alone; without a display nothing opens.
    void snapshotWithoutFrame()
    {
        c->snapshot_button();
        QTRY_COMPARE(visibleWindows<AlarmViewer>().size(), 1);
        QCOMPARE(visibleWindows<AlarmViewer>().first()->saveName(), QStringLiteral(".jpg"));
        QPointer<AlarmViewer> viewer = visibleWindows<AlarmViewer>().first();
        viewer->close();
        QVERIFY(waitUntil([&] {
            flushDeletes();
            return viewer.isNull();
        }));

        c->setCanvas(nullptr);
        c->snapshot_button();
        c->snapshot_full_button();
        QTest::qWait(50);
        QVERIFY(visibleWindows<AlarmViewer>().isEmpty());
    }

    // An alarm's thumbnail opens the full picture, named after the camera and the alarm.
    void alarmPopup()
    {
        const QVariantList alarms = c->day_alarm_list_string();
        QVERIFY(!alarms.isEmpty());
        const QString thumb = alarms.first().toMap().value("thumbnail").toString();
        const QString image = alarms.first().toMap().value("image").toString();
        QVERIFY(QFileInfo(thumb).isFile() && QFileInfo(image).isFile());

        LogCatcher log;
        c->open_alarm_popup(thumb);
        QVERIFY(log.contains("[INFO] ZRPlayer Interface Controller :: open alarm popup :: " + thumb));
        QTRY_COMPARE(visibleWindows<AlarmViewer>().size(), 1);
        AlarmViewer* viewer = visibleWindows<AlarmViewer>().first();
        QCOMPARE(viewer->saveName(), AlarmViewer::alarmSaveName(QFileInfo(thumb).fileName(), ex.cameras.first().name));
        QCOMPARE(viewerImage(viewer).size(), QImage(image).size());
        QVERIFY(QImage(image).size() != QImage(thumb).size());
    }

    // Without a folder or a real day the check would walk "/" or beyond the export: refused.
    void integrityRefused_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("date");
        QTest::newRow("no folder") << QString() << QString();
        QTest::newRow("no day") << QString("export") << QString();
        QTest::newRow("parent folder") << QString("export") << QString("..");
        QTest::newRow("not a date") << QString("export") << QString("2024-13-40");
    }
    void integrityRefused()
    {
        QFETCH(QString, root);
        QFETCH(QString, date);
        ZRPlayerInferfaceController fresh(nullptr);
        if (!root.isEmpty())
            QCOMPARE(fresh.get_available_days(ex.exportPath), ex.days);
        fresh.set_selected_date(date);
        LogCatcher log;
        fresh.check_integrity();
        QVERIFY(log.contains("[WARN] ZRPlayer Interface Controller :: check integrity :: no day selected"));
        QVERIFY(!log.contains("[INFO] Integrity check :: start"));
        QVERIFY(fresh.get_integrity_dialog() == nullptr);
        QVERIFY(fresh.get_integrity_check() == nullptr);
        QVERIFY(visibleWindows<IntegrityDialog>().isEmpty());
    }

    // One dialog at a time; once closed, its pair goes and the next call opens a new one.
    void integrityOpensOnce()
    {
        c->check_integrity();
        QPointer<IntegrityDialog> dialog = c->get_integrity_dialog();
        QPointer<IntegrityCheck> check = c->get_integrity_check();
        QVERIFY(dialog && check);
        QVERIFY(dialog->isVisible());
        c->check_integrity();
        QCOMPARE(c->get_integrity_dialog(), dialog.data());
        QCOMPARE(c->get_integrity_check(), check.data());
        QCOMPARE(visibleWindows<IntegrityDialog>().size(), 1);

        QVERIFY(waitUntil([&] { return check->isFinished(); }, 30000));
        QVERIFY(check->get_result());
        LogCatcher log;
        auto* close = dialog->findChild<QPushButton*>();
        QVERIFY(close);
        // The verdict reaches the dialog by a queued call after the thread's end.
        QTRY_COMPARE(close->text(), QStringLiteral("Fermer"));
        close->click();
        QVERIFY(log.contains("[INFO] ZRPlayer Interface Controller :: integrity check done"));
        QVERIFY(c->get_integrity_dialog() == nullptr);
        QVERIFY(waitUntil([&] {
            flushDeletes();
            return dialog.isNull() && check.isNull();
        }));

        c->check_integrity();
        QVERIFY(c->get_integrity_dialog() != nullptr);
        QVERIFY(c->get_integrity_dialog() != dialog.data());
        QCOMPARE(visibleWindows<IntegrityDialog>().size(), 1);
    }

    // The dialog closed (or the controller gone) while its check still runs: the check is asked
    // to stop and is deleted only after its thread has ended.
    void integrityClosedMidCheck_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("escape") << QString("escape");
        QTest::newRow("window closed") << QString("close");
        QTest::newRow("controller deleted") << QString("controller");
    }
    void integrityClosedMidCheck()
    {
        QFETCH(QString, how);
        const GeneratedExport small =
            gen.generate({"--cameras", "1", "--minutes", "1", "--size", "160x90", "--seed", "32"});
        QVERIFY2(small.ok, qPrintable(small.error));
        frames.reset();
        c.reset();
        QVERIFY(openController(small));

        PipeGate gate;
        QVERIFY(gate.install(small.hashFiles.first(), saveDir.filePath("hash-" + how + ".json")));
        LogCatcher log;
        c->check_integrity();
        QPointer<IntegrityDialog> dialog = c->get_integrity_dialog();
        QPointer<IntegrityCheck> check = c->get_integrity_check();
        QVERIFY(dialog && check);
        // The thread now waits on the hash list.
        QVERIFY(log.waitFor("[INFO] Integrity check :: files count in root directory", 10000));
        QVERIFY(check->isRunning());

        if (how == "controller") {
            gate.release();
            frames.reset();
            c.reset();
            QVERIFY(check.isNull());
        } else {
            if (how == "escape")
                QTest::keyClick(dialog.data(), Qt::Key_Escape);
            else
                dialog->close();
            QVERIFY(log.contains("[INFO] ZRPlayer Interface Controller :: integrity check done"));
            QVERIFY(log.contains("[INFO] Integrity check :: stopped by user"));
            QVERIFY(c->get_integrity_dialog() == nullptr);
            QVERIFY(c->get_integrity_check() == nullptr);
            // Still running: not deleted yet.
            flushDeletes();
            QTest::qWait(100);
            flushDeletes();
            QVERIFY(!check.isNull());
            QVERIFY(check->isRunning());
            gate.release();
            QVERIFY(waitUntil([&] {
                flushDeletes();
                return check.isNull();
            }, 10000));
            // A new pair opens at once and checks the day in full.
            QVERIFY(gate.restore());
            c->check_integrity();
            QVERIFY(c->get_integrity_dialog() != nullptr);
            QPointer<IntegrityCheck> next = c->get_integrity_check();
            QVERIFY(waitUntil([&] { return next->isFinished(); }, 10000));
            QVERIFY(next->get_result());
        }
        QVERIFY(waitUntil([&] {
            flushDeletes();
            return dialog.isNull();
        }));
    }
};

ZR_TEST_MAIN_GUI(TestControllerTransport)
#include "tst_controller_transport.moc"
