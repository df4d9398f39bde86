//! labels: unit
// Playback reader: pacing at every rate, stepping, and crossing between consecutive files.
#include "media/ZRStreamReadAndControl.h"
#include "tests/media/FrameSink.h"
#include "tests/media/PrefetchWatchedReader.h"
#include "tests/media/RecordingFixture.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <sys/stat.h>
#include <sys/types.h>

namespace {

const int kPerFile = 250; // 10 s at 25 fps, a key frame every second

struct Day
{
    QStringList seeks;
    QList<QFileInfo> dataFiles;
};

Day makeDay(const QString& dir, int camera, int count)
{
    Day day;
    for (int k = 0; k < count; ++k) {
        zrtest::RecordingSpec s;
        s.dir = dir;
        s.camera = camera;
        s.width = 96;
        s.height = 64;
        s.frames = kPerFile;
        s.gop = 25;
        s.start = QTime(12, 0, 0).addSecs(10 * k);
        s.indexBase = k * kPerFile;
        const QString seek = zrtest::writeRecording(s);
        day.seeks << seek;
        day.dataFiles << QFileInfo(QString(seek).replace(".zrseek", ".zrvideo"));
    }
    return day;
}

// Global picture number of a shown frame from its time stamp "2026-03-10 12:00:SS.zzz".
int globalIndex(const zrtest::ShownFrame& f)
{
    const QTime t = QTime::fromString(f.timestamp.mid(11), "HH:mm:ss.zzz");
    return QTime(12, 0, 0).msecsTo(t) / 40;
}

bool showsItsFrame(const zrtest::ShownFrame& f)
{
    return qAbs(f.grey() - zrtest::expectedGrey(globalIndex(f))) <= 2;
}

} // namespace

class TestStreamPlayback : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    Day day;

private slots:
    void initTestCase() { day = makeDay(dir.path(), 1, 3); }

    // Interval, log line, frame-rate argument, which frames and direction, for every rate.
    void rates_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("logLine");
        QTest::addColumn<bool>("backward");
        QTest::addColumn<bool>("keyOnly");
        // 250 frames over 10 s estimate 250/9 = 27.8 fps: all-frame play ticks 26 times a second.
        QTest::newRow("1") << 1.0 << 38 << "read forward (all frames) :: 26 fps" << false << false;
        QTest::newRow("2") << 2.0 << 250 << "read forward (keyframes) :: 4 fps" << false << true;
        QTest::newRow("4") << 4.0 << 125 << "read forward (keyframes) :: 8 fps" << false << true;
        QTest::newRow("8") << 8.0 << 62 << "read forward (keyframes) :: 16 fps" << false << true;
        QTest::newRow("-1") << -1.0 << 38 << "read backward :: interval 38 ms" << true << false;
        QTest::newRow("-2") << -2.0 << 250 << "read backward :: interval 250 ms" << true << true;
        QTest::newRow("-4") << -4.0 << 125 << "read backward :: interval 125 ms" << true << true;
        QTest::newRow("-8") << -8.0 << 62 << "read backward :: interval 62 ms" << true << true;
    }
    void rates()
    {
        QFETCH(double, rate);
        QFETCH(int, interval);
        QFETCH(QString, logLine);
        QFETCH(bool, backward);
        QFETCH(bool, keyOnly);
        zrtest::LogCatcher log;
        ZRStreamReadAndControl r;
        zrtest::FrameSink sink;
        sink.attach(&r);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(day.seeks[1]), "1", day.dataFiles));
        r.set_read_timestamp("20260310120015"); // middle of the file, a key frame
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() == 1; }));
        sink.shown.clear();
        r.change_rate(rate);
        QCOMPARE(r.get_timer_interval(), interval);
        QVERIFY(r.is_playing());
        QCOMPARE(r.is_playing_backward(), backward);
        QVERIFY2(log.contains("[INFO] ZRStream read & control :: " + logLine), qPrintable(log.texts().join('\n')));
        const double fps = 250.0 / 9.0;
        const double effective = rate == -1.0 ? -5.0 : rate * fps;
        QCOMPARE(r.get_effective_fps(), effective);

        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() >= 4; }, 5000));
        r.toggle_pause();
        for (int k = 0; k < sink.shown.size(); ++k) {
            const zrtest::ShownFrame& f = sink.shown[k];
            QCOMPARE(f.fps, effective);
            QVERIFY2(showsItsFrame(f), qPrintable(f.timestamp));
            if (keyOnly)
                QVERIFY(f.key);
            if (k > 0) {
                const int step = globalIndex(f) - globalIndex(sink.shown[k - 1]);
                if (keyOnly)
                    QCOMPARE(step, backward ? -25 : 25);
                else if (!backward)
                    QCOMPARE(step, 1);
                else
                    QVERIFY(step <= 0 && step >= -5);
            }
        }
    }

    // After a rate change in the middle of a group, rate 1 reports positions but shows nothing
    // until the next key frame, then shows every frame.
    void rateChangeWaitsForKeyFrame()
    {
        ZRStreamReadAndControl r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        QSignalSpy positions(&r, &ZRStreamReadAndControl::slidervalue);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(day.seeks[0]), "1", day.dataFiles));
        r.set_read_timestamp("20260310120001"); // index 25
        r.change_rate(1.0);
        r.toggle_pause();
        // Each tick by hand comes once the pictures decoded ahead are there, as a real tick
        // would after its interval.
        for (int k = 0; k < 5; ++k) {
            r.wait_decode_ahead();
            r.read_and_display_next_frame(false); // 25 (again) .. 29
        }
        QCOMPARE(sink.shown.size(), 1 + 5);
        r.change_rate(1.0);
        r.toggle_pause();
        positions.clear();
        sink.shown.clear();
        for (int k = 0; k < 25; ++k) {
            r.wait_decode_ahead();
            r.read_and_display_next_frame(false); // 30..54
        }
        QCOMPARE(positions.count(), 25);
        QCOMPARE(positions.first().at(0).toInt(), 30);
        QCOMPARE(sink.shown.size(), 5); // 50..54
        QCOMPARE(sink.shown.first().frameId, 50);
        QVERIFY(sink.shown.first().key);
        QCOMPARE(sink.shown.last().frameId, 54);
    }

    void signChangeResetsPrefetches()
    {
        zrtest::LogCatcher log;
        ZRStreamReadAndControl r;
        QVERIFY(r.init_displayer_for_stream(QFileInfo(day.seeks[1]), "1", day.dataFiles));
        r.change_rate(2.0);
        log.clear();
        r.change_rate(4.0);
        QCOMPARE(log.count("reset Forward Prefetch"), 0);
        QCOMPARE(log.count("reset backward Prefetch"), 0);
        r.change_rate(-2.0);
        QCOMPARE(log.count("reset Forward Prefetch"), 1);
        // Once by the sign change, once more when backward play restarts its prefetch.
        QCOMPARE(log.count("reset backward Prefetch"), 2);
        r.toggle_pause();
    }

    // Three consecutive files at 8 and at -8: continuous time stamps, the crossing line at each
    // boundary, and the end of the list stops play.
    void crossFiles_data()
    {
        QTest::addColumn<double>("rate");
        QTest::newRow("8") << 8.0;
        QTest::newRow("-8") << -8.0;
    }
    void crossFiles()
    {
        QFETCH(double, rate);
        const bool forward = rate > 0;
        zrtest::LogCatcher log;
        ZRStreamReadAndControl r;
        zrtest::FrameSink sink;
        sink.attach(&r);
        const int first = forward ? 0 : 2;
        QVERIFY(r.init_displayer_for_stream(QFileInfo(day.seeks[first]), "1", day.dataFiles));
        if (!forward)
            QVERIFY(r.continue_read(day.dataFiles[2].filePath(), "1", false, "previous"));
        r.change_rate(rate);
        const QString endLine = forward ? "next :: end of list reached"
                                        : "prev :: no previous file available (start of list reached)";
        QVERIFY2(log.waitFor(endLine, 15000), qPrintable(log.texts().join('\n')));
        QCOMPARE(r.get_timer_interval(), -1); // the timer is gone
        QVERIFY(!r.is_playing());
        r.toggle_pause(); // nothing to restart
        QVERIFY(!r.is_playing());

        const QString crossing = forward ? "next :: switching to next file (prefetched): "
                                         : "prev :: switching to previous file (prefetched): ";
        QCOMPARE(log.count(crossing), 2);
        QVERIFY(log.contains(crossing + QFileInfo(day.seeks[forward ? 1 : 1]).fileName()));
        QVERIFY(log.contains(crossing + QFileInfo(day.seeks[forward ? 2 : 0]).fileName()));

        // Every key frame of the day, once, in order.
        QCOMPARE(sink.shown.size(), 3 * kPerFile / 25);
        for (int k = 0; k < sink.shown.size(); ++k) {
            const int expected = forward ? 25 * k : 3 * kPerFile - 25 - 25 * k;
            QCOMPARE(globalIndex(sink.shown[k]), expected);
            QVERIFY(showsItsFrame(sink.shown[k]));
        }
    }

    // The next file holds only stream 2: the prefetched list is empty, so the synchronous
    // fallback retries with the detected stream and goes on with it.
    void nextFileOfAnotherStream()
    {
        QTemporaryDir own;
        Day d = makeDay(own.path(), 6, 1);
        zrtest::RecordingSpec s;
        s.dir = own.path();
        s.camera = 6;
        s.width = 96;
        s.height = 64;
        s.frames = kPerFile;
        s.start = QTime(12, 0, 10);
        s.indexBase = kPerFile;
        s.stream = "video2";
        const QString seek2 = zrtest::writeRecording(s);
        d.seeks << seek2;
        d.dataFiles << QFileInfo(QString(seek2).replace(".zrseek", ".zrvideo"));

        zrtest::LogCatcher log;
        ZRStreamReadAndControl r;
        zrtest::FrameSink sink;
        sink.attach(&r);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(d.seeks[0]), "1", d.dataFiles));
        r.set_read_timestamp("20260310120008");
        r.change_rate(8.0);
        QVERIFY(log.waitFor("next :: end of list reached", 10000));
        QVERIFY(log.contains("[INFO] ZRStream read & control :: next :: requested stream '1' not found, retry with detected '2'"));
        QVERIFY(log.contains("[INFO] ZRStream read & control :: next :: switched to next file (sync): "
                             + QFileInfo(seek2).fileName() + " (stream=2)"));
        QCOMPARE(r.get_idstream(), QString("2"));
        QList<int> shown;
        for (const auto& f : sink.shown) {
            shown << globalIndex(f);
            QVERIFY(showsItsFrame(f));
        }
        // The seek shows 200, and the first tick shows it again.
        QCOMPARE(shown, QList<int>({200, 200, 225, 250, 275, 300, 325, 350, 375, 400, 425, 450, 475}));
    }

    // Steps inside a group, both ways: each shown picture is the expected one.
    void stepsInsideGroup()
    {
        ZRStreamReadAndControl r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(day.seeks[0]), "1", day.dataFiles));
        r.set_read_timestamp("20260310120001"); // shows 25
        for (int k = 0; k < 3; ++k)
            r.read_and_display_next_frame(true); // 26, 27, 28
        r.read_and_display_previous_frame(true); // 27
        r.read_and_display_previous_frame(true); // 26
        r.read_and_display_previous_frame(true); // 25
        r.read_and_display_previous_frame(true); // 24: previous group, decoded from 0
        QList<int> ids;
        for (const auto& f : sink.shown) {
            ids << f.frameId;
            QVERIFY2(showsItsFrame(f), qPrintable(f.timestamp));
        }
        QCOMPARE(ids, QList<int>({25, 26, 27, 28, 27, 26, 25, 24}));
        QCOMPARE(r.get_index(), 24);
    }

    // Forward step past the end with the prefetch finished shows the next file's first frame.
    void stepForwardAcrossEnd()
    {
        zrtest::LogCatcher log;
        zrtest::PrefetchWatchedReader r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(day.seeks[0]), "1", day.dataFiles));
        r.set_read_timestamp("20260310120009"); // 225
        for (int k = 0; k < 24; ++k)
            r.read_and_display_next_frame(true); // up to 249
        QCOMPARE(sink.shown.last().frameId, 249);
        QVERIFY(zrtest::waitUntil([&] { return r.nextPrefetched(day.seeks[1]); }, 30000));
        r.read_and_display_next_frame(true);
        QVERIFY(log.contains("[INFO] next step :: switched to next (prefetched): " + QFileInfo(day.seeks[1]).fileName()));
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() == 26; }));
        QCOMPARE(sink.shown.last().frameId, 0);
        QCOMPARE(globalIndex(sink.shown.last()), 250);
        QVERIFY(showsItsFrame(sink.shown.last()));

    }

    // Forward step past the end while the prefetch is still parsing: nothing happens; once it
    // has finished the next step crosses. (The next table is a pipe that we fill late.)
    void stepWhilePrefetchRuns()
    {
        QTemporaryDir own;
        Day d = makeDay(own.path(), 2, 2);
        QFile real(d.seeks[1]);
        QVERIFY(real.open(QIODevice::ReadOnly));
        const QByteArray table = real.readAll();
        real.close();
        QVERIFY(QFile::remove(d.seeks[1]));
        QCOMPARE(mkfifo(QFile::encodeName(d.seeks[1]).constData(), 0600), 0);

        zrtest::LogCatcher log;
        auto* r = new ZRStreamReadAndControl;
        zrtest::FrameSink sink;
        sink.attach(r, Qt::DirectConnection);
        QVERIFY(r->init_displayer_for_stream(QFileInfo(d.seeks[0]), "1", d.dataFiles));
        r->set_read_timestamp("20260310120009");
        for (int k = 0; k < 24; ++k)
            r->read_and_display_next_frame(true);
        r->read_and_display_next_frame(true);
        QVERIFY(log.contains("[DBG] next step :: prefetch consistent but not finished yet"));
        QCOMPARE(sink.shown.size(), 25);

        QFile pipe(d.seeks[1]);
        QVERIFY(pipe.open(QIODevice::WriteOnly));
        pipe.write(table);
        pipe.close();
        QVERIFY(zrtest::waitUntil([&] {
            if (sink.shown.size() < 26)
                r->read_and_display_next_frame(true);
            return sink.shown.size() >= 26;
        }));
        QCOMPARE(sink.shown.size(), 26);
        QCOMPARE(globalIndex(sink.shown.last()), 250);
        QVERIFY(showsItsFrame(sink.shown.last()));
        delete r;
    }

    // Opening the next file while its prefetch is still parsing takes the prefetch's list over
    // (no second parse, no new prefetch); a forward step at that file's end then finds the
    // prefetch aimed at the old neighbour, restarts it, and crosses on a later step.
    void takeOverRunningPrefetch()
    {
        QTemporaryDir own;
        Day d = makeDay(own.path(), 5, 3);
        QFile real(d.seeks[1]);
        QVERIFY(real.open(QIODevice::ReadOnly));
        const QByteArray table = real.readAll();
        real.close();
        QVERIFY(QFile::remove(d.seeks[1]));
        QCOMPARE(mkfifo(QFile::encodeName(d.seeks[1]).constData(), 0600), 0);

        zrtest::LogCatcher log;
        zrtest::PrefetchWatchedReader r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(d.seeks[0]), "1", d.dataFiles));
        const QString fifo = d.seeks[1];
        QThread* writer = QThread::create([fifo, table] {
            QThread::msleep(200);
            QFile pipe(fifo);
            if (pipe.open(QIODevice::WriteOnly))
                pipe.write(table);
        });
        writer->start();
        log.clear();
        QVERIFY(r.continue_read(d.dataFiles[1].filePath(), "1", false, "next"));
        QVERIFY(writer->wait(5000));
        delete writer;
        QCOMPARE(r.get_frames().size(), kPerFile);
        QVERIFY(!log.contains("Triggering prefetch for"));
        QVERIFY(!log.contains("reset Forward Prefetch"));

        r.set_read_timestamp("20260310120019"); // 225 of file 2
        for (int k = 0; k < 24; ++k)
            r.read_and_display_next_frame(true);
        QCOMPARE(globalIndex(sink.shown.last()), 2 * kPerFile - 1);
        const int before = sink.shown.size();
        r.read_and_display_next_frame(true);
        QVERIFY2(log.contains("[WARN] next step :: prefetch target mismatch: expected=" + QFileInfo(d.seeks[2]).fileName()
                              + " got=" + QFileInfo(d.seeks[1]).fileName()),
                 qPrintable(log.texts().join('\n')));
        QVERIFY(log.contains("[INFO] next step :: prefetch restarted for expected next: " + QFileInfo(d.seeks[2]).fileName()));
        QCOMPARE(sink.shown.size(), before);
        QVERIFY(zrtest::waitUntil([&] { return r.nextPrefetched(d.seeks[2]); }, 30000));
        r.read_and_display_next_frame(true);
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() == before + 1; }));
        QCOMPARE(globalIndex(sink.shown.last()), 2 * kPerFile);
        QVERIFY(showsItsFrame(sink.shown.last()));
    }

    // The destructor waits for a prefetch that is still parsing (it emits on the reader when
    // it ends); the next table is a pipe filled only after the destruction has begun.
    void destructorWaitsForPrefetch()
    {
        QTemporaryDir own;
        Day d = makeDay(own.path(), 4, 2);
        QFile real(d.seeks[1]);
        QVERIFY(real.open(QIODevice::ReadOnly));
        const QByteArray table = real.readAll();
        real.close();
        QVERIFY(QFile::remove(d.seeks[1]));
        QCOMPARE(mkfifo(QFile::encodeName(d.seeks[1]).constData(), 0600), 0);

        auto* r = new ZRStreamReadAndControl;
        int streamsSeen = 0;
        connect(r, &ZRStreamReadAndControl::send_available_videostream, this, [&] { ++streamsSeen; },
                Qt::DirectConnection);
        QVERIFY(r->init_displayer_for_stream(QFileInfo(d.seeks[0]), "1", d.dataFiles));
        const QString fifo = d.seeks[1];
        QThread* writer = QThread::create([fifo, table] {
            QThread::msleep(300);
            QFile pipe(fifo);
            if (pipe.open(QIODevice::WriteOnly))
                pipe.write(table);
        });
        // Counted and timed before the writer starts: however late this thread runs next, the
        // table cannot have come yet.
        const int before = streamsSeen;
        QElapsedTimer t;
        t.start();
        writer->start();
        delete r; // blocks until the prefetch has read the pipe and emitted
        QVERIFY(t.elapsed() >= 250);
        QCOMPARE(streamsSeen, before + 1);
        QVERIFY(writer->wait(5000));
        delete writer;
    }

    // Backward step before the first frame: with the previous prefetch finished it shows the
    // previous file's last frame (not the one before it, and without crossing again).
    void stepBackwardAcrossStart()
    {
        zrtest::LogCatcher log;
        zrtest::PrefetchWatchedReader r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(day.seeks[1]), "1", day.dataFiles));
        r.set_read_timestamp("20260310120010"); // frame 0 of file 2
        // No previous prefetch yet: the first step starts it and does nothing.
        r.read_and_display_previous_frame(true);
        QVERIFY(log.contains("[DBG] prev step :: prefetch invalid"));
        QVERIFY(log.contains("[INFO] prev step :: prefetch restarted for expected prev: " + QFileInfo(day.seeks[0]).fileName()));
        QCOMPARE(sink.shown.size(), 1);
        QVERIFY(zrtest::waitUntil([&] { return r.previousPrefetched(day.seeks[0]); }, 30000));
        r.read_and_display_previous_frame(true);
        QVERIFY(log.contains("[INFO] prev step :: switched to previous (prefetched): " + QFileInfo(day.seeks[0]).fileName()));
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() == 2; }));
        QCOMPARE(sink.shown.last().frameId, 249);
        QCOMPARE(globalIndex(sink.shown.last()), 249);
        QVERIFY(showsItsFrame(sink.shown.last()));
        QCOMPARE(r.get_current_file().fileName(), QFileInfo(day.seeks[0]).fileName());
        // The next backward step goes on inside that file.
        r.read_and_display_previous_frame(true);
        QCOMPARE(globalIndex(sink.shown.last()), 248);
        QVERIFY(showsItsFrame(sink.shown.last()));
        // Forward again: the next-file prefetch still aims at file 3, the old neighbour, so the
        // step across the end restarts it for file 2 and shows nothing this time.
        r.read_and_display_next_frame(true);
        QCOMPARE(globalIndex(sink.shown.last()), 249);
        log.clear();
        const int before = sink.shown.size();
        r.read_and_display_next_frame(true);
        QVERIFY2(log.contains("[WARN] next step :: prefetch target mismatch: expected=" + QFileInfo(day.seeks[1]).fileName()
                              + " got=" + QFileInfo(day.seeks[2]).fileName()),
                 qPrintable(log.texts().join('\n')));
        QVERIFY(log.contains("[INFO] next step :: prefetch restarted for expected next: " + QFileInfo(day.seeks[1]).fileName()));
        QCoreApplication::processEvents();
        QCOMPARE(sink.shown.size(), before);
        QVERIFY(zrtest::waitUntil([&] { return r.nextPrefetched(day.seeks[1]); }, 30000));
        r.read_and_display_next_frame(true);
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() == before + 1; }));
        QCOMPARE(globalIndex(sink.shown.last()), 250);
        QVERIFY(showsItsFrame(sink.shown.last()));
    }

    // Rate -1 on a real timer: the ticks walk back and never forward. How many ticks a loaded
    // machine lets move is a matter of speed, which the playback benchmark measures.
    void backwardOneKeepsPace()
    {
        ZRStreamReadAndControl r;
        zrtest::FrameSink sink;
        sink.attach(&r);
        QSignalSpy positions(&r, &ZRStreamReadAndControl::slidervalue);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(day.seeks[2]), "1", day.dataFiles));
        QVERIFY(r.continue_read(day.dataFiles[2].filePath(), "1", false, "previous"));
        r.change_rate(-1.0);
        const int first = kPerFile - 1 - 5;
        QVERIFY(QTest::qWaitFor([&] {
            return positions.count() >= 20 && positions.last().at(0).toInt() <= first - 10;
        }, 30000));
        r.toggle_pause();
        for (int k = 1; k < positions.count(); ++k)
            QVERIFY2(positions[k].at(0).toInt() <= positions[k - 1].at(0).toInt(),
                     qPrintable(QString("tick %1 went forward").arg(k)));
        // The first tick aims five frames back from the last one. Its group may still be decoding
        // then (a loaded machine): the ticks meanwhile show nothing, and the first picture is
        // where play has come to by then, though not past that group's key frame.
        const QList<ZRFrame> frames = r.get_frames();
        int key = first;
        while (key > 0 && !frames[key].is_keyframe())
            --key;
        const int shown = positions.first().at(0).toInt();
        QVERIFY2(shown <= first && shown >= key, qPrintable(QString("first picture %1").arg(shown)));
    }

    // An unreadable key frame at -2 is passed over instead of being retried forever.
    void unreadableKeyFramePassedOver()
    {
        QTemporaryDir own;
        Day d = makeDay(own.path(), 3, 1);
        // Cut the data file inside the key frame at index 100.
        ZRStreamReadAndControl probe;
        QVERIFY(probe.init_displayer_for_stream(QFileInfo(d.seeks[0]), "1", d.dataFiles));
        const ZRFrame key = probe.get_frames()[100];
        zrtest::LogCatcher log;
        ZRStreamReadAndControl r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(d.seeks[0]), "1", d.dataFiles));
        QFile data(d.dataFiles[0].filePath());
        QVERIFY(data.open(QIODevice::ReadWrite));
        QVERIFY(data.resize(key.get_offset() + 3));
        data.close();
        // Start at 100+ (beyond the cut nothing is readable) and tick back by hand.
        r.set_read_timestamp("20260310120005"); // index 125: unreadable too
        r.change_rate(-2.0);
        r.toggle_pause();
        r.wait_decode_ahead();
        r.read_and_display_previous_frame(false); // 100: short read, passed over
        QCOMPARE(r.get_index(), 100);
        r.wait_decode_ahead();
        r.read_and_display_previous_frame(false); // 75: shown
        QCOMPARE(r.get_index(), 75);
        QCOMPARE(sink.shown.last().frameId, 75);
        QVERIFY(log.contains("[WARN] read frame :: short read 3 / "));
    }
};

ZR_TEST_MAIN_CORE(TestStreamPlayback)
#include "tst_stream_playback.moc"
