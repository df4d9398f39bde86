//! labels: unit
// Playback across three consecutive generated one-minute recordings: fast play both ways and
// frame steps over the file boundaries, each shown picture checked by its frame marker.
#include "media/ZRStreamReadAndControl.h"
#include "tests/media/FrameSink.h"
#include "tests/media/PrefetchWatchedReader.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QtTest>

namespace {

// Milliseconds since midnight of a shown frame, by its marker.
int markerMs(const zrtest::ShownFrame& f)
{
    const zrtest::FrameMarker m = zrtest::readFrameMarker(f.image);
    return m.found ? m.msOfDay() : -1;
}

int stampMs(const zrtest::ShownFrame& f)
{
    return QTime::fromString(f.timestamp.mid(11), "HH:mm:ss.zzz").msecsSinceStartOfDay();
}

} // namespace

class TestGeneratedPlayback : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;
    zrtest::GeneratedExport exp;
    QList<QFileInfo> files;
    QStringList seeks;

private slots:
    void initTestCase()
    {
        exp = gen.generate({"--size", "320x180", "--minutes", "3", "--gop", "100", "--start", "10:00:00"});
        QVERIFY2(exp.ok, qPrintable(exp.error));
        for (const auto& r : exp.cameras.first().recordings) {
            files << QFileInfo(r.videoPath);
            seeks << r.seekPath;
        }
        QCOMPARE(files.size(), 3);
    }

    void fastPlayAcrossFiles_data()
    {
        QTest::addColumn<double>("rate");
        QTest::newRow("8") << 8.0;
        QTest::newRow("-8") << -8.0;
    }
    void fastPlayAcrossFiles()
    {
        QFETCH(double, rate);
        const bool forward = rate > 0;
        zrtest::LogCatcher log;
        ZRStreamReadAndControl r;
        zrtest::FrameSink sink;
        sink.attach(&r);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(seeks[forward ? 0 : 2]), "1", files));
        if (!forward)
            QVERIFY(r.continue_read(files[2].filePath(), "1", false, "previous"));
        r.change_rate(rate);
        QVERIFY(log.waitFor(forward ? "next :: end of list reached"
                                    : "prev :: no previous file available (start of list reached)",
                            20000));
        QCOMPARE(r.get_timer_interval(), -1);
        const QString crossing = forward ? "[INFO] ZRStream read & control :: next :: switching to next file (prefetched): "
                                         : "[INFO] ZRStream read & control :: prev :: switching to previous file (prefetched): ";
        QCOMPARE(log.count(crossing), 2);
        // A key frame every 4 s over three minutes, in order, 4 s apart across both boundaries.
        QCOMPARE(sink.shown.size(), 45);
        const int start = QTime(10, 0, 0).msecsSinceStartOfDay();
        for (int k = 0; k < sink.shown.size(); ++k) {
            const int expected = forward ? start + 4000 * k : start + 176000 - 4000 * k;
            QCOMPARE(stampMs(sink.shown[k]), expected);
            QCOMPARE(markerMs(sink.shown[k]), expected);
            QVERIFY(sink.shown[k].key);
        }
    }

    // Steps over both ends of the middle file: forward from its last frame into the next file,
    // backward from the first frame of that file into the middle one again.
    void stepsAcrossBoundaries()
    {
        zrtest::PrefetchWatchedReader r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(seeks[1]), "1", files));
        r.set_read_timestamp("20250314100156"); // key frame at 01:56.000, index 1400
        for (int k = 0; k < 99; ++k)
            r.read_and_display_next_frame(true); // up to index 1499, 01:59.960
        QVERIFY(zrtest::waitUntil([&] { return r.nextPrefetched(seeks[2]); }, 30000));
        r.read_and_display_next_frame(true); // into file 3: 02:00.000
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() == 101; }, 30000));
        r.read_and_display_next_frame(true); // 02:00.040
        QVERIFY(zrtest::waitUntil([&] { return r.prefetchesSettled(); }, 30000));
        r.read_and_display_previous_frame(true); // 02:00.000
        r.read_and_display_previous_frame(true); // start of file 3: starts the previous prefetch
        QVERIFY(zrtest::waitUntil([&] { return r.previousPrefetched(seeks[1]); }, 30000));
        r.read_and_display_previous_frame(true); // into file 2: 01:59.960
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() == 104; }, 30000));
        r.read_and_display_previous_frame(true); // 01:59.920

        const int base = QTime(10, 1, 56).msecsSinceStartOfDay();
        QList<int> expected;
        for (int k = 0; k < 100; ++k)
            expected << base + 40 * k;
        expected << base + 4000 << base + 4040 << base + 4000 << base + 3960 << base + 3920;
        QCOMPARE(sink.shown.size(), expected.size());
        for (int k = 0; k < expected.size(); ++k) {
            QCOMPARE(stampMs(sink.shown[k]), expected[k]);
            QCOMPARE(markerMs(sink.shown[k]), expected[k]);
        }
    }
};

ZR_TEST_MAIN_CORE(TestGeneratedPlayback)
#include "tst_generated_playback.moc"
