//! labels: unit
#include "display/PlayoutPacing.h"
#include "platform/PreciseSleep.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>
#include <QtTest>

#include <limits>

class TestPlayoutPacing : public QObject
{
    Q_OBJECT

private slots:
    void frameWait_data()
    {
        QTest::addColumn<double>("fps");
        QTest::addColumn<bool>("pacing");
        QTest::addColumn<bool>("compensate");
        QTest::addColumn<qint64>("paintUs");
        QTest::addColumn<bool>("late");
        QTest::addColumn<int>("skip");
        QTest::addColumn<int>("sleepMs");
        QTest::newRow("25 fps, 10 ms paint") << 25.0 << true << true << qint64(10000) << false << 0 << 25;
        QTest::newRow("25 fps, 30 ms paint is late") << 25.0 << true << true << qint64(30000) << true << 1 << 0;
        QTest::newRow("100 fps, 60 ms paint skips at most 5") << 100.0 << true << true << qint64(60000) << true << 5 << 0;
        QTest::newRow("25 fps, 50 ms paint rounds 1.25") << 25.0 << true << true << qint64(50000) << true << 1 << 0;
        QTest::newRow("25 fps, 100 ms paint: halves away from zero") << 25.0 << true << true << qint64(100000) << true << 3 << 0;
        QTest::newRow("without compensation") << 25.0 << true << false << qint64(30000) << false << 0 << 40;
        QTest::newRow("rate below 1 waits as 1") << 0.5 << true << true << qint64(0) << false << 0 << 1000;
        QTest::newRow("no pacing, no wait") << 25.0 << false << true << qint64(10000) << false << 0 << 0;
        QTest::newRow("300 fps") << 300.0 << true << true << qint64(0) << false << 0 << 3;
        QTest::newRow("not a number waits as 1") << std::numeric_limits<double>::quiet_NaN() << true << false << qint64(0) << false << 0 << 1000;
    }
    void frameWait()
    {
        QFETCH(double, fps);
        QFETCH(bool, pacing);
        QFETCH(bool, compensate);
        QFETCH(qint64, paintUs);
        QFETCH(bool, late);
        QFETCH(int, skip);
        QFETCH(int, sleepMs);
        const FrameWait w = plan_frame_wait(fps, pacing, compensate, paintUs);
        QCOMPARE(w.late, late);
        QCOMPARE(w.skip_count, skip);
        QCOMPARE(w.sleep_ms, sleepMs);
        QVERIFY(w.rate >= 1.0);
    }

    void maxListSize_data()
    {
        QTest::addColumn<double>("fps");
        QTest::addColumn<int>("bufferMs");
        QTest::addColumn<qint64>("pictureBytes");
        QTest::addColumn<int>("expected");
        QTest::newRow("25 fps, 2 s") << 25.0 << 2000 << qint64(0) << 100;
        QTest::newRow("fraction of a rate truncated") << 25.9 << 2000 << qint64(0) << 100;
        QTest::newRow("at least 3") << 1.0 << 500 << qint64(0) << 3;
        QTest::newRow("at most 200") << 60.0 << 5000 << qint64(0) << 200;
        QTest::newRow("1080p pictures fit") << 25.0 << 2000 << qint64(1920 * 1080 * 3 / 2) << 100;
        QTest::newRow("4K pictures capped by bytes") << 25.0 << 8000 << qint64(3840 * 2160 * 3 / 2) << 64;
        QTest::newRow("absurd rate") << 1e300 << 2000 << qint64(0) << 3;
    }
    void maxListSize()
    {
        QFETCH(double, fps);
        QFETCH(int, bufferMs);
        QFETCH(qint64, pictureBytes);
        QFETCH(int, expected);
        QCOMPARE(playout_max_list_size(fps, bufferMs, pictureBytes), expected);
    }

    void preciseSleep()
    {
        QCOMPARE(zrplatform::precise_sleep_interval(0), int64_t(0));
        QCOMPARE(zrplatform::precise_sleep_interval(40), int64_t(-400000));
        QCOMPARE(zrplatform::precise_sleep_interval(1000), int64_t(-10000000));
        // Never shorter than asked (the upper bound is the machine's load, not ours).
        QElapsedTimer t;
        t.start();
        zrplatform::precise_sleep(15);
        QVERIFY(t.nsecsElapsed() >= 15000000);
        zrplatform::precise_sleep(0);
    }
};

ZR_TEST_MAIN_CORE(TestPlayoutPacing)
#include "tst_playout_pacing.moc"
