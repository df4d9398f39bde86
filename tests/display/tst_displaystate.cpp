//! labels: gui
#include "display/Canvas.h"
#include "display/FullScreen.h"
#include "display/new_display_thread.h"
#include "media/ZRScaler.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

extern "C" {
#include <libavutil/pixfmt.h>
}

class TestDisplayState : public QObject
{
    Q_OBJECT

private slots:
    void bandwidthText_data()
    {
        QTest::addColumn<double>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0 b";
        QTest::newRow("800 b") << 100.0 << "800 b";
        QTest::newRow("just under 1024 bits") << 127.9 << "1023 b";
        QTest::newRow("1000 bits") << 125.0 << "1e+03 b";
        QTest::newRow("1 kb") << 128.0 << "1 kb";
        QTest::newRow("11.7 kb") << 1500.0 << "11.7 kb";
        QTest::newRow("1010 kb") << 1010.0 * 128 << "1010 kb";
        QTest::newRow("2 Mb") << 262144.0 << "2 Mb";
    }
    void bandwidthText()
    {
        QFETCH(double, bytes);
        QFETCH(QString, text);
        QCOMPARE(DisplayInterface::bandwidth_text(bytes), text);
    }

    void simpleSetters()
    {
        Canvas c;
        c.set_text_size("Normal");
        QCOMPARE(c.get_text_size(), 16);
        c.set_text_size("large");
        QCOMPARE(c.get_text_size(), 20);
        c.set_text_size("tiny");
        QCOMPARE(c.get_text_size(), 8);
        c.set_text_size("huge");
        QCOMPARE(c.get_text_size(), 8);

        QCOMPARE(c.get_camera_id(), -1);
        c.set_camera_id("");
        QCOMPARE(c.get_camera_id(), -1);
        c.set_camera_id("42");
        QCOMPARE(c.get_camera_id(), 42);
        c.set_camera_id("abc");
        QCOMPARE(c.get_camera_id(), 0);

        c.set_video_quality(-1);
        QCOMPARE(c.get_video_quality(), -1);
        c.set_video_quality(0);
        QCOMPARE(c.get_video_quality(), 0);
        c.set_video_quality(-5);
        QCOMPARE(c.get_video_quality(), 0);

        QCOMPARE(c.get_ptz_speed(), 0);
        c.set_ptz_speed("x");
        QCOMPARE(c.get_ptz_speed(), 0);
        c.set_ptz_speed("7");
        QCOMPARE(c.get_ptz_speed(), 7);

        c.set_stream_codec("MJPEG");
        QCOMPARE(c.get_stream_codec(), QString("mjpeg"));

        c.set_ptz_enabled(true);
        c.set_dewarp_view(true);
        c.set_zones(QString::fromLatin1(QByteArray("zone-1").toBase64()));
        QCOMPARE(c.get_zones_text(), QString("zone-1"));
        QVERIFY(!c.is_ptz_enabled());
        QVERIFY(!c.is_dewarp_view());
    }

    void endingAndStopTimer()
    {
        Canvas c;
        c.set_ending_and_stop_timer(true);
        QVERIFY(c.is_ending());
        c.set_ending_and_stop_timer(false);
        QVERIFY(!c.is_ending());
    }

    // With frames fed from outside, a stream start renames the display, emits "connecting"
    // and leaves an idle thread object; a restart replaces it.
    void externalFeedStreamStart()
    {
        zrtest::LogCatcher log;
        Canvas c;
        c.set_external_feed();
        c.set_display_id("cam - fullscreen");
        c.set_stream_path("cam&id=12&onlyobjframes=1");
        QSignalSpy status(&c, &Canvas::send_status_message);
        c.start_video_stream();
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).toString(), QString("connecting"));
        QCOMPARE(c.get_display_id(), QString("12 - fullscreen"));
        QVERIFY(c.is_only_objects());
        QPointer<new_display_thread> first = c.get_display_thread();
        QVERIFY(first);
        QVERIFY(!first->isRunning());
        QVERIFY(log.contains("[INFO] Plugin [12 - fullscreen] :: Go() :: buffer_size_in_ms > 0 : 0"));

        c.restart_video_stream();
        QVERIFY(first.isNull()); // deleted at once: it never ran
        QVERIFY(c.get_display_thread());
        QCOMPARE(c.get_display_id(), QString("12 - fullscreen"));
        QCOMPARE(status.count(), 2);

        c.set_stream_path("cam&x=1");
        c.restart_video_stream();
        QCOMPARE(c.get_display_id(), QString());
    }

    void displayThreadScaler()
    {
        new_display_thread t;
        QVERIFY(!t.is_stopped());
        t.set_display_id("7");
        t.set_video_quality(-1);
        QCOMPARE(t.get_video_quality(), 1024);
        t.set_video_quality(4);
        QCOMPARE(t.get_video_quality(), 4);
        t.setup_scaler(64, 32, AV_PIX_FMT_YUV420P);
        QVERIFY(t.scaler()->is_ready());
        QCOMPARE(t.scaler()->get_output_width(), 64);
        QCOMPARE(t.scaler()->get_dst_pix_fmt(), int(AV_PIX_FMT_BGRA));
        t.get_duration(1234);
        QCOMPARE(t.get_paint_duration_us(), 1234LL);
        QVERIFY(t.is_previous_frame_displayed());
        t.set_pause();
        QVERIFY(t.is_paused());
    }

    void fullScreenFrame()
    {
        zrtest::LogCatcher log;
        QPointer<FullScreen> f = new FullScreen;
        QVERIFY(f->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(f->testAttribute(Qt::WA_DeleteOnClose));
        f->show();
        QTest::keyClick(f.data(), Qt::Key_A);
        QVERIFY(f->isVisible());
        QTest::keyClick(f.data(), Qt::Key_Escape);
        QVERIFY(zrtest::waitUntil([&] { return f.isNull(); }));
        QVERIFY(log.contains("[INFO] FullScreen :: Set Close event"));

        log.clear();
        QPointer<FullScreen> g = new FullScreen;
        g->show();
        g->close_fullscreen();
        QVERIFY(zrtest::waitUntil([&] { return g.isNull(); }));
        const int a = log.indexOf("[INFO] FullScreen :: close_fullscreen");
        const int b = log.indexOf("[INFO] FullScreen :: Set Close event");
        QVERIFY(a >= 0 && b > a);
    }
};

ZR_TEST_MAIN_GUI(TestDisplayState)
#include "tst_displaystate.moc"
