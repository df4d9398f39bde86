//! labels: unit gui
#include "display/Canvas.h"
#include "media/ZRStreamReadAndControl.h"
#include "player/ZRPlayerInferfaceController.h"
#include "tests/controller/ControllerFixture.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace zrtest;

// One day, two cameras, recordings at 08:00, 08:01 and 08:03 (08:02 left out), two streams and
// audio; camera 1's 08:01 recording has no seek table.
class TestControllerSeek : public QObject
{
    Q_OBJECT

private:
    ExportGenerator gen;
    GeneratedExport ex;
    QString day;       // "yyyy-MM-dd"
    QString dayStamp;  // "yyyyMMdd"
    std::unique_ptr<ZRPlayerInferfaceController> c;
    std::unique_ptr<FrameCatcher> frames;

    QString videoAt(int camera, const QString& hhmmss) const
    {
        for (const GeneratedRecording& r : ex.camera(camera)->recordingsOf(day))
            if (r.start.time().toString("HHmmss") == hhmmss)
                return QFileInfo(r.videoPath).filePath();
        return QString();
    }
    QString name(int camera) const { return ex.camera(camera)->name; }
    static int msOf(const QString& hhmmss) { return QTime::fromString(hhmmss, "HHmmss").msecsSinceStartOfDay(); }

    // The marker of the picture the reader showed last: the camera, the day and the time.
    void checkShown(int camera, const QString& hhmmss)
    {
        const FrameMarker m = frames->marker();
        QVERIFY2(m.found, "no frame marker on the shown picture");
        QCOMPARE(m.cameraId, camera);
        QCOMPARE(m.date, QDate::fromString(day, "yyyy-MM-dd"));
        QCOMPARE(m.time, QTime::fromString(hhmmss, "HHmmss"));
    }

private slots:
    void initTestCase()
    {
        ex = gen.generate({"--cameras", "2", "--minutes", "4", "--skip", "2", "--streams", "2", "--audio", "--size",
                           "320x180", "--fault", "missing-seek", "--seed", "5"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        day = ex.days.first();
        dayStamp = QDate::fromString(day, "yyyy-MM-dd").toString("yyyyMMdd");
        QVERIFY(ex.fault("missing-seek"));
        QVERIFY(ex.fault("missing-seek")->file.contains("1_" + dayStamp + "_080100"));
    }

    void init()
    {
        c = std::make_unique<ZRPlayerInferfaceController>(nullptr);
        frames = std::make_unique<FrameCatcher>(c->get_reader());
        QCOMPARE(c->get_available_days(ex.exportPath), QStringList{day});
        QVERIFY(openDay(*c, day));
    }
    void cleanup()
    {
        frames.reset();
        c.reset();
    }

    // Every accepted form of a time lands on the frame of that moment, in the right file.
    void seekForms_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("expectedTime");
        QTest::addColumn<QString>("fileTime");
        QTest::newRow("full date and time") << "@080010" << "080010" << "080000";
        QTest::newRow("time of day") << "080112" << "080112" << "080100";
        QTest::newRow("milliseconds") << QString::number(msOf("080325")) << "080325" << "080300";
        QTest::newRow("empty: first file") << "" << "080000" << "080000";
        QTest::newRow("last second of a file") << "080059" << "080059" << "080000";
    }
    void seekForms()
    {
        QFETCH(QString, form);
        QFETCH(QString, expectedTime);
        QFETCH(QString, fileTime);
        if (form.startsWith('@'))
            form = dayStamp + form.mid(1);
        c->set_selected_camera(name(2));
        QCOMPARE(c->get_camera_id(), 2);
        QCOMPARE(c->get_current_read_time_is_ms(), 0);
        QSignalSpy started(c.get(), &ZRPlayerInferfaceController::startRead);
        c->set_zrstream_reader_read_timestamp(form);
        QCOMPARE(c->get_current_file(), videoAt(2, fileTime));
        QCOMPARE(c->get_playback_state(), 1);
        QVERIFY(started.count() >= 1);
        checkShown(2, expectedTime);
        QCOMPARE(c->get_read_time(), expectedTime);
        QCOMPARE(c->get_current_read_time_is_ms(), msOf(expectedTime));
    }

    // Seeks that no file holds leave playback where it was.
    void seekWithoutFile_data()
    {
        QTest::addColumn<QString>("form");
        QTest::newRow("gap") << "080230";
        QTest::newRow("before the first file") << "075959";
        QTest::newRow("after the last file") << "080400";
        QTest::newRow("another day") << "@20300101080010";
        QTest::newRow("HHmmss before ms") << "100000";
    }
    void seekWithoutFile()
    {
        QFETCH(QString, form);
        if (form.startsWith('@'))
            form = form.mid(1);
        LogCatcher log;
        c->set_selected_camera(name(2));
        c->set_zrstream_reader_read_timestamp(dayStamp + "080010");
        const QString playing = c->get_current_file();
        QCOMPARE(playing, videoAt(2, "080000"));
        const int shown = frames->count;
        c->set_zrstream_reader_read_timestamp(form);
        QVERIFY(log.contains("[WARN] ZRPlayer Interface Controller :: timeline get datetime :: file not found"));
        QVERIFY(log.contains("[WARN] ZRPlayer Interface Controller :: fail to get datetime"));
        QCOMPARE(c->get_current_file(), playing);
        QCOMPARE(c->get_playback_state(), 1);
        QCOMPARE(frames->count, shown);
    }

    // Texts that are no time of the day: clamped to the day, or ignored.
    void outOfDayTimes_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("target");
        QTest::newRow("past midnight") << QString::number(86400000LL + 15000) << "235959";
        QTest::newRow("huge") << "99999999999" << "235959";
        QTest::newRow("negative") << "-30000" << "000000";
        QTest::newRow("not a number") << "abc" << "";
        QTest::newRow("time with colons") << "08:00:10" << "";
    }
    void outOfDayTimes()
    {
        QFETCH(QString, form);
        QFETCH(QString, target);
        LogCatcher log;
        c->set_selected_camera(name(1));
        c->set_zrstream_reader_read_timestamp(form);
        if (target.isEmpty()) {
            QVERIFY(!log.contains("timeline send click get datetime"));
            QVERIFY(c->get_current_file().isEmpty());
        } else {
            QVERIFY(log.contains("[INFO] ZRPlayer Interface Controller :: set zrstream reader create timestamp from ms "
                                 + dayStamp + target + " for camera 1"));
            QVERIFY(log.contains("timeline send click get datetime :: time " + dayStamp + target));
        }
    }

    // Before any camera is chosen, the first recording of the day decides the camera.
    void seekBeforeCameraChoice()
    {
        QCOMPARE(c->get_camera_id(), -1);
        c->set_zrstream_reader_read_timestamp("080005");
        checkShown(1, "080005");
        QCOMPARE(c->get_current_file(), videoAt(1, "080000"));
    }

    // Seeks across the files of one camera continue the same stream.
    void seekAcrossFiles()
    {
        LogCatcher log;
        c->set_selected_camera(name(2));
        c->set_zrstream_reader_read_timestamp("080030");
        checkShown(2, "080030");
        c->set_zrstream_reader_read_timestamp("080305");
        checkShown(2, "080305");
        QCOMPARE(c->get_current_file(), videoAt(2, "080300"));
        c->set_zrstream_reader_read_timestamp("080101");
        checkShown(2, "080101");
        QCOMPARE(c->get_current_file(), videoAt(2, "080100"));
        QCOMPARE(log.count("change camera :: init decoder"), 1);
        QCOMPARE(log.count("change camera :: continue decoding"), 2);
    }

    // A camera change restarts at the read time on the other camera.
    void cameraChangeAtReadTime()
    {
        QSignalSpy changed(c.get(), &ZRPlayerInferfaceController::dataChanged);
        c->set_selected_camera(name(2));
        c->set_zrstream_reader_read_timestamp("080020");
        checkShown(2, "080020");
        c->set_selected_camera(name(1));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(c->get_camera_id(), 1);
        QCOMPARE(c->get_playback_state(), 1);
        checkShown(1, "080020");
        QCOMPARE(c->get_current_file(), videoAt(1, "080000"));
    }

    // A seek right after a camera choice that finds no recording: the reader stops and the
    // display shows the disconnected state.
    void seekWithoutFileAfterCameraChoice()
    {
        Canvas canvas(nullptr);
        canvas.set_external_feed();
        c->setCanvas(&canvas);
        LogCatcher log;
        c->set_selected_camera(name(2));
        QVERIFY(log.contains("[WARN] ZRPlayer Interface Controller :: set selected camera to " + name(2)
                             + " to empty read time "));
        c->set_zrstream_reader_read_timestamp("080230");
        QVERIFY(log.contains("[WARN] ZRPlayer Interface Controller :: set zrstream reader read on empty file"));
        QVERIFY(c->get_current_file().isEmpty());
        QCOMPARE(c->get_playback_state(), 0);
        QVERIFY(c->get_reader()->get_idstream().isEmpty());
        QVERIFY(canvas.is_ending());
        c->setCanvas(nullptr);
    }

    // A minute whose video cannot be played but whose audio can: the audio file is taken.
    void audioOnlyMinute()
    {
        c->set_selected_camera(name(2));
        c->set_zrstream_reader_read_timestamp("080110");
        QCOMPARE(c->get_current_file(), videoAt(2, "080100"));
        c->set_selected_camera(name(1)); // camera 1's 08:01 video has no seek table
        QString audio;
        for (const GeneratedRecording& r : ex.camera(1)->recordingsOf(day))
            if (r.start.time() == QTime(8, 1))
                audio = QFileInfo(r.audioPath).filePath();
        QVERIFY(!audio.isEmpty());
        QCOMPARE(c->get_current_file(), audio);
        QCOMPARE(c->get_playback_state(), 1);
    }

    // The frames reach a display fed from outside, as the main window wires it.
    void framesReachTheDisplay()
    {
        Canvas canvas(nullptr);
        canvas.set_external_feed();
        canvas.resize(320, 180);
        c->setCanvas(&canvas);
        connect(c->get_reader(), &ZRStreamReadAndControl::set_display_frame, &canvas, &Canvas::displayFrame,
                Qt::QueuedConnection);
        c->set_selected_camera(name(1));
        c->set_zrstream_reader_read_timestamp(dayStamp + "080310");
        QVERIFY(waitUntil([&] { return readFrameMarker(canvas.current_image()).found; }, 10000));
        const FrameMarker m = readFrameMarker(canvas.current_image());
        QCOMPARE(m.cameraId, 1);
        QVERIFY(m.time >= QTime(8, 3, 10));
        QVERIFY(m.time < QTime(8, 3, 20));
        QCOMPARE(canvas.get_camera_label(), name(1));
        QVERIFY(canvas.is_overlay_enabled());
        c->get_reader()->stop();
        c->setCanvas(nullptr);
    }

    // The second stream: a new stream for the reader, the same moment, the smaller pictures.
    void streamChoice()
    {
        QSignalSpy streams(c.get(), &ZRPlayerInferfaceController::updateStreams);
        c->set_selected_camera(name(2));
        c->set_zrstream_reader_read_timestamp("080040");
        checkShown(2, "080040");
        QCOMPARE(frames->last.width(), 320);
        QVERIFY(streams.count() >= 1);
        QVERIFY(!c->get_videostreams_list().isEmpty());

        c->set_selected_videostream(2);
        QCOMPARE(c->get_stream_id(), 2);
        QCOMPARE(c->get_reader()->get_idstream(), QStringLiteral("2"));
        checkShown(2, "080040");
        QCOMPARE(frames->last.width(), 160);
        QCOMPARE(c->get_playback_state(), 1);

        c->set_selected_videostream(1);
        checkShown(2, "080040");
        QCOMPARE(frames->last.width(), 320);
    }

    // Next and previous file: by name when the neighbour exists, else the nearest recording of
    // the camera that can be played.
    void nextAndPreviousFile_data()
    {
        QTest::addColumn<int>("camera");
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("next");
        QTest::addColumn<QString>("to");
        QTest::newRow("next by name") << 2 << "080010" << true << "080100";
        QTest::newRow("next across a gap") << 2 << "080110" << true << "080300";
        QTest::newRow("next over a file without seek table") << 1 << "080010" << true << "080300";
        QTest::newRow("previous by name") << 2 << "080110" << false << "080000";
        QTest::newRow("previous across a gap") << 2 << "080310" << false << "080100";
        QTest::newRow("previous over a file without seek table") << 1 << "080310" << false << "080000";
        QTest::newRow("no next") << 2 << "080310" << true << "080300";
        QTest::newRow("no previous") << 2 << "080010" << false << "080000";
    }
    void nextAndPreviousFile()
    {
        QFETCH(int, camera);
        QFETCH(QString, from);
        QFETCH(bool, next);
        QFETCH(QString, to);
        c->set_selected_camera(name(camera));
        c->set_zrstream_reader_read_timestamp(from);
        QCOMPARE(c->get_current_file(), videoAt(camera, from.left(4) + "00"));
        const int before = frames->count;
        if (next)
            c->set_next_file();
        else
            c->set_previous_file();
        QCOMPARE(c->get_current_file(), videoAt(camera, to));
        if (to != from.left(4) + "00") {
            // Playing goes on from the start of the new file.
            QVERIFY(waitUntil([&] { return frames->count > before; }, 10000));
            const FrameMarker m = frames->marker();
            QCOMPARE(m.cameraId, camera);
            QVERIFY(m.time >= QTime::fromString(to, "HHmmss"));
            QVERIFY(m.time < QTime::fromString(to, "HHmmss").addSecs(5));
        }
    }

    // A recording of the day's last minute holds the times up to midnight.
    void lastMinuteOfTheDay()
    {
        ExportGenerator g;
        const GeneratedExport late = g.generate({"--start", "23:59:00", "--minutes", "1", "--size", "160x90"});
        QVERIFY2(late.ok, qPrintable(late.error));
        ZRPlayerInferfaceController lc;
        FrameCatcher shown(lc.get_reader());
        QCOMPARE(lc.get_available_days(late.exportPath), late.days);
        QVERIFY(openDay(lc, late.days.first()));
        lc.set_selected_camera(late.cameras.first().name);
        lc.set_zrstream_reader_read_timestamp(QString::number(86400000LL + 30000)); // +30 s at the end
        QCOMPARE(lc.get_current_file(), QFileInfo(late.cameras.first().recordings.first().videoPath).filePath());
        QCOMPARE(shown.marker().time, QTime(23, 59, 59));
        lc.set_zrstream_reader_read_timestamp("235930");
        QCOMPARE(shown.marker().time, QTime(23, 59, 30));
    }

    // Without a current file, moving to a neighbour does nothing.
    void neighbourWithoutFile()
    {
        LogCatcher log;
        c->set_next_file();
        QVERIFY(log.contains("[WARN] ZRPlayer Interface Controller :: set file :: current file empty :: "));
        QVERIFY(c->get_current_file().isEmpty());
    }
};

ZR_TEST_MAIN_GUI(TestControllerSeek)
#include "tst_controller_seek.moc"
