//! labels: gui
#include "app/Http_singleton.h"
#include "display/Canvas.h"
#include "display/new_display_thread.h"
#include "tests/display/CanvasTestUtil.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <vector>

using namespace canvastest;

class TestCanvas : public QObject
{
    Q_OBJECT

private slots:
    void placement_data()
    {
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QSize>("widget");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("fullscreen");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("1080p in square") << QSize(1920, 1080) << QSize(1000, 1000) << true << false << QRect(0, 218, 1000, 563);
        QTest::newRow("small centred") << QSize(320, 240) << QSize(1280, 720) << true << false << QRect(480, 240, 320, 240);
        QTest::newRow("small full screen") << QSize(320, 240) << QSize(1280, 720) << true << true << QRect(160, 0, 960, 720);
        QTest::newRow("4:3 in 16:9") << QSize(1280, 960) << QSize(1600, 900) << true << false << QRect(200, 0, 1200, 900);
        QTest::newRow("same height scaled") << QSize(1120, 720) << QSize(1280, 720) << true << false << QRect(80, 0, 1120, 720);
        QTest::newRow("4K in 1600x900") << QSize(3840, 2160) << QSize(1600, 900) << true << false << QRect(0, 0, 1600, 900);
        QTest::newRow("stretch") << QSize(640, 480) << QSize(1000, 500) << false << false << QRect(0, 0, 1000, 500);
        QTest::newRow("stretch small") << QSize(100, 50) << QSize(300, 300) << false << false << QRect(0, 0, 300, 300);
    }

    // Where the frame lands, and that the pixels follow: quadrants in place, bars black.
    void placement()
    {
        QFETCH(QSize, frame);
        QFETCH(QSize, widget);
        QFETCH(bool, keep);
        QFETCH(bool, fullscreen);
        QFETCH(QRect, expected);
        QCOMPARE(Canvas::placement(frame.width(), frame.height(), widget.width(), widget.height(), keep, fullscreen),
                 expected);

        Canvas c;
        configure_as_player(c, widget.width(), widget.height());
        c.set_keep_aspect_ratio(keep);
        c.set_fullscreen_shown(fullscreen);
        c.set_overlay_enabled(false);
        QImage img = quadrants(frame.width(), frame.height());
        feed(c, img);
        const QImage out = shot(c);
        QCOMPARE(c.get_image_rect(), expected);
        const QRect& r = expected;
        const int qx = r.width() / 4, qy = r.height() / 4;
        QVERIFY(near(out.pixel(r.x() + qx, r.y() + qy), Qt::red));
        QVERIFY(near(out.pixel(r.x() + 3 * qx, r.y() + qy), Qt::green));
        QVERIFY(near(out.pixel(r.x() + qx, r.y() + 3 * qy), Qt::blue));
        QVERIFY(near(out.pixel(r.x() + 3 * qx, r.y() + 3 * qy), Qt::white));
        // Edges of the picture and the bars beyond them.
        QVERIFY(near(out.pixel(r.x(), r.y()), Qt::red, 40));
        QVERIFY(near(out.pixel(r.right(), r.bottom()), Qt::white, 40));
        if (r.x() > 0) {
            QVERIFY(near(out.pixel(r.x() - 1, r.y() + qy), Qt::black));
            QVERIFY(near(out.pixel(0, out.height() / 2), Qt::black));
            QVERIFY(near(out.pixel(out.width() - 1, out.height() / 2), Qt::black));
        }
        if (r.y() > 0) {
            QVERIFY(near(out.pixel(r.x() + qx, r.y() - 1), Qt::black));
            QVERIFY(near(out.pixel(out.width() / 2, 0), Qt::black));
            QVERIFY(near(out.pixel(out.width() / 2, out.height() - 1), Qt::black));
        }
    }

    // The frame-time band darkens the top of the picture; "Loading ..." before any frame time.
    void frameTimeBandAndLoading()
    {
        zrtest::LogCatcher log;
        Canvas c;
        configure_as_player(c, 640, 360);
        QImage none = shot(c); // initial repaint: black
        QVERIFY(near(none.pixel(320, 180), Qt::black));
        QVERIFY(log.contains("paint event :: start decoding"));

        // A display thread but no frame time yet.
        c.set_stream_start(true);
        shot(c);
        log.clear();
        shot(c);
        QVERIFY(log.contains("draw overlay :: Loading ..."));

        QImage white = solid(640, 360, Qt::white);
        feed(c, white);
        const QImage out = shot(c);
        // Inside the band: white behind black at alpha 60.
        const QRgb band = out.pixel(630, 3);
        QVERIFY2(qRed(band) > 170 && qRed(band) < 215, qPrintable(QString::number(qRed(band))));
        QVERIFY(near(out.pixel(320, 300), Qt::white));
        // Text pixels in the band's left part are whiter than the band.
        int bright = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 200; ++x)
                bright += qRed(out.pixel(x, y)) > 240 ? 1 : 0;
        QVERIFY(bright > 20);

        // Without the overlay no band.
        c.set_overlay_enabled(false);
        QVERIFY(near(shot(c).pixel(630, 3), Qt::white));
    }

    // A frame that arrives between set_stream_start(true) and the first paint is shown.
    void firstFrameAfterStreamStartIsShown()
    {
        Canvas c;
        configure_as_player(c, 400, 300);
        c.set_overlay_enabled(false);
        QImage red = solid(400, 300, Qt::red);
        feed(c, red);
        QVERIFY(c.is_initial_repaint());
        QImage out = shot(c);
        QVERIFY(!c.is_initial_repaint());
        QVERIFY(near(out.pixel(200, 150), Qt::red));

        // A new stream start drops the old picture at once.
        c.set_stream_start(true);
        QVERIFY(c.current_image().isNull());
        out = shot(c);
        QVERIFY(near(out.pixel(200, 150), Qt::black));
        QImage blue = solid(400, 300, Qt::blue);
        feed(c, blue);
        QVERIFY(near(shot(c).pixel(200, 150), Qt::blue));
    }

    void pausedAndEndedDropFrames()
    {
        zrtest::LogCatcher log;
        Canvas c;
        configure_as_player(c, 200, 100);
        QImage red = solid(200, 100, Qt::red);
        feed(c, red, "2024-05-01 10:00:00.000", 1);
        shot(c);

        c.setPause();
        QImage green = solid(200, 100, Qt::green);
        feed(c, green, "2024-05-01 10:00:00.040", 2);
        QCOMPARE(c.get_timestamp(), QString("2024-05-01 10:00:00.000"));
        QCOMPARE(c.current_image().pixel(10, 10), QColor(Qt::red).rgb());
        c.setStart();
        feed(c, green, "2024-05-01 10:00:00.040", 2);
        QCOMPARE(c.current_image().pixel(10, 10), QColor(Qt::green).rgb());

        QSignalSpy status(&c, &Canvas::send_status_message);
        QSignalSpy stop(&c, &Canvas::display_stop);
        c.set_disconnected(true);
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).toString(), QString("disconnecting"));
        QCOMPARE(stop.count(), 1);
        QImage blue = solid(200, 100, Qt::blue);
        feed(c, blue, "2024-05-01 10:00:00.080", 3);
        QCOMPARE(c.current_image().pixel(10, 10), QColor(Qt::green).rgb());
        QVERIFY(near(shot(c).pixel(100, 50), Qt::black)); // ended: black
        QCOMPARE(log.count("[WARN] Plugin [] :: get display frame :: is pause or ending "), 2);

        c.set_stream_start(true);
        feed(c, blue, "2024-05-01 10:00:00.080", 3);
        QCOMPARE(c.current_image().pixel(10, 10), QColor(Qt::blue).rgb());
    }

    void intakeChecks()
    {
        zrtest::LogCatcher log;
        Canvas c;
        configure_as_player(c, 200, 100);
        std::vector<uint8_t> buf(2560 * 480, 0x80);

        c.displayFrame(buf.data(), 2559, 640, 480, "2024-05-01 10:00:00.000", QString(), false, 5, 25.0, true);
        QVERIFY(c.current_image().isNull());
        QVERIFY(log.contains("setFrameForDisplay bad linesize=2559 (< 2560) w=640 h=480"));
        c.displayFrame(buf.data(), 2560, 640, 480, "2024-05-01 10:00:00.040", QString(), false, 6, 25.0, true);
        QCOMPARE(c.current_image().size(), QSize(640, 480));
        QCOMPARE(c.get_codec_width(), 640);
        QCOMPARE(c.get_frame_height(), 480);
        QCOMPARE(c.get_last_frame_id(), 6);
        QCOMPARE(c.get_stream_fps(), 25.0);

        // Same size: the copy goes into the same buffer; a held snapshot of it stays intact.
        const uchar* buffer = c.current_image().constBits();
        c.displayFrame(buf.data(), 2560, 640, 480, "2024-05-01 10:00:00.040", QString(), false, 6, 25.0, true);
        QCOMPARE(c.current_image().constBits(), buffer);
        const QImage held = c.current_image();
        std::vector<uint8_t> other(2560 * 480, 0x10);
        c.displayFrame(other.data(), 2560, 640, 480, "2024-05-01 10:00:00.040", QString(), false, 6, 25.0, true);
        QCOMPARE(held.pixel(0, 0), 0xff808080u);
        QCOMPARE(c.current_image().pixel(0, 0), 0xff101010u);

        // A lower id is shown but keeps the highest; fps 0 leaves the rate.
        c.displayFrame(buf.data(), 2560, 640, 480, "2024-05-01 10:00:00.080", QString(), false, 3, 0.0, true);
        QCOMPARE(c.get_timestamp(), QString("2024-05-01 10:00:00.080"));
        QCOMPARE(c.get_last_frame_id(), 6);
        QCOMPARE(c.get_stream_fps(), 25.0);

        // Null pixels: logged, answered with a zero duration, the picture kept.
        QSignalSpy duration(&c, &Canvas::send_duration);
        c.displayFrame(nullptr, 2560, 640, 480, "2024-05-01 10:00:00.120", QString(), false, 7, 25.0, true);
        QVERIFY(log.contains("[ERROR] Plugin [] :: frame display data is NULL"));
        QCOMPARE(duration.count(), 1);
        QCOMPARE(duration.at(0).at(0).toLongLong(), 0LL);
        QCOMPARE(c.current_image().size(), QSize(640, 480));

        // Non-positive sizes are ignored; a wider line is read row by row.
        c.displayFrame(buf.data(), 2560, 0, 480, "x", QString(), false, 8, 25.0, true);
        QCOMPARE(c.get_timestamp(), QString("2024-05-01 10:00:00.080"));
        QImage padded(100, 10, QImage::Format_RGB32);
        std::vector<uint8_t> wide(500 * 10, 0);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 100; ++x)
                reinterpret_cast<uint32_t*>(wide.data() + y * 500)[x] = 0xff000000u | uint32_t(y * 20) << 16 | uint32_t(x);
        c.displayFrame(wide.data(), 500, 100, 10, "t", QString(), false, 9, 25.0, true);
        const QImage got = c.current_image();
        QCOMPARE(got.size(), QSize(100, 10));
        QCOMPARE(got.pixel(99, 9), 0xff000000u | uint32_t(180) << 16 | 99u);
        QCOMPARE(got.pixel(0, 3), 0xff000000u | uint32_t(60) << 16);
        Q_UNUSED(padded);
    }

    void replayMarker()
    {
        zrtest::LogCatcher log;
        Canvas c;
        configure_as_player(c, 200, 100);
        c.displayFrame(nullptr, 0, -99, -99, "REPLAY", QString(), false, -99, 0, false);
        QCOMPARE(log.count("force update detected"), 1);
        c.displayFrame(nullptr, 0, 5, -99, "REPLAY", QString(), false, -99, 0, false);
        QCOMPARE(log.count("force update detected"), 1);
        QImage img = solid(20, 10, Qt::red);
        feed(c, img);
        c.displayFrame(nullptr, 0, -99, -99, "REPLAY", QString(), false, -99, 0, false);
        QCOMPARE(log.count("force update detected"), 1);
        QCOMPARE(c.get_timestamp(), QString("2024-05-01 10:00:00.000"));
    }

    // Every display is counted once, however often it is ended.
    void liveDisplayCount()
    {
        Http_singleton* id = Http_singleton::instance();
        const int base = id->get_display_count();
        {
            Canvas a;
            Canvas b;
            QCOMPARE(id->get_display_count(), base + 2);
            a.set_ending();
            a.set_disconnected(true);
            a.set_ending();
            QCOMPARE(id->get_display_count(), base + 1);
            a.set_stream_start(true); // live again
            QCOMPARE(id->get_display_count(), base + 2);
            a.set_disconnected(true);
            QCOMPARE(id->get_display_count(), base + 1);
        }
        QCOMPARE(id->get_display_count(), base);
    }

    void checkEndingShowsNoVideo()
    {
        Canvas c;
        configure_as_player(c, 400, 300);
        QImage img = solid(400, 300, Qt::white);
        feed(c, img);
        shot(c);
        c.checkEnding();
        QVERIFY(c.is_error_shown());
        QCOMPARE(c.get_error_text(), QString("NO VIDEO"));
        QCOMPARE(c.get_timestamp(), QString("No Frame ... Retrying ..."));
        QVERIFY(c.is_initial_repaint());

        // Status over the picture at 30 % opacity; a black field without opacity.
        c.displayError("NO VIDEO", "VIDEO DISPLAY LIMITED", true);
        QImage out = QImage(400, 300, QImage::Format_RGB32);
        c.set_stream_start(true);
        feed(c, img);
        shot(c); // initial repaint done, frame shown
        c.displayError("NO VIDEO", "VIDEO DISPLAY LIMITED", true);
        out = shot(c);
        const int grey = qRed(out.pixel(20, out.height() - 20));
        QVERIFY2(grey > 60 && grey < 100, qPrintable(QString::number(grey)));
        c.displayError("NO VIDEO", "VIDEO DISPLAY LIMITED", false);
        out = shot(c);
        QVERIFY(near(out.pixel(20, out.height() - 20), Qt::black));
        // A frame clears the status.
        feed(c, img);
        QVERIFY(!c.is_error_shown());
    }

    // A stopped display thread shows "No Video" instead of the picture; none draws nothing.
    void noVideoWithStoppedThread()
    {
        Canvas c;
        configure_as_player(c, 400, 300);
        c.set_overlay_enabled(false);
        QImage img = solid(400, 300, Qt::red);
        feed(c, img);
        shot(c);
        new_display_thread* t = c.get_display_thread();
        QVERIFY(t);
        t->set_buffer_ms(1); // a buffered thread only flags the stop
        t->set_stop();
        QImage out = shot(c);
        QVERIFY(near(out.pixel(10, 10), Qt::black));
        int white = 0;
        for (int y = 120; y < 160; ++y)
            for (int x = 170; x < 280; ++x)
                white += qRed(out.pixel(x, y)) > 200 ? 1 : 0;
        QVERIFY(white > 5);

        // Unbuffered, the stop deletes the thread object; the display forgets it.
        t->set_buffer_ms(0);
        t->set_stop();
        QVERIFY(zrtest::waitUntil([&] { return c.get_display_thread() == nullptr; }));
        out = shot(c);
        QVERIFY(near(out.pixel(200, 150), Qt::black));
    }

    void resizeDebounced()
    {
        zrtest::LogCatcher log;
        Canvas c;
        c.resize(300, 200);
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        QTest::qWait(300);
        log.clear();
        for (int i = 0; i < 5; ++i)
            c.resize(300 + 10 * i, 200);
        QTest::qWait(400);
        QCOMPARE(log.count("Resize Done 340x200"), 1);
        QCOMPARE(log.count("Resize Done "), 2);
    }

    void bufferingAndSpeed()
    {
        Canvas c;
        c.buffering(true, 42.9);
        QVERIFY(c.is_buffering_active());
        QCOMPARE(c.get_buffering_percent(), 42);
        c.speed_receive(1234.5678);
        QCOMPARE(c.get_speed_text(), QString("1234.57"));
    }

    void trackedSecondsReport()
    {
        Canvas c;
        configure_as_player(c, 100, 100);
        c.set_track_seconds(true);
        QSignalSpy changes(&c, &Canvas::onchange_timestamp);
        QImage img = solid(10, 10, Qt::red);
        feed(c, img, "2024-05-01 10:00:00.000");
        feed(c, img, "2024-05-01 10:00:00.500");
        feed(c, img, "2024-05-01 10:00:01.000");
        QCOMPARE(changes.count(), 2);
        QCOMPARE(changes.at(1).at(0).toString(), QString("20240501100001000"));
    }

    void keyEventsForwardedToSiblings()
    {
        QWidget host;
        auto* c = new Canvas(&host);
        auto* sibling = new QWidget(&host);
        struct Counter : QObject {
            int n = 0;
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() == QEvent::KeyPress)
                    ++n;
                return false;
            }
        } counter;
        sibling->installEventFilter(&counter);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
        QCoreApplication::sendEvent(c, &press);
        QCOMPARE(counter.n, 1);
    }
};

ZR_TEST_MAIN_GUI(TestCanvas)
#include "tst_canvas.moc"
