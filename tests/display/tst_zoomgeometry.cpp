//! labels: unit
#include "display/ZoomGeometry.h"
#include "tests/support/TestMain.h"

#include <QtTest>

class TestZoomGeometry : public QObject
{
    Q_OBJECT

private slots:
    void widgetToFramePoint_data()
    {
        QTest::addColumn<QPointF>("p");
        QTest::addColumn<QRect>("r");
        QTest::addColumn<QRect>("src");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("half rounds up") << QPointF(50, 50) << QRect(0, 0, 100, 100) << QRect(0, 0, 3, 3) << QPoint(2, 2);
        QTest::newRow("just under half") << QPointF(49.9, 49.9) << QRect(0, 0, 100, 100) << QRect(0, 0, 3, 3) << QPoint(1, 1);
        QTest::newRow("clamped outside") << QPointF(-10, 200) << QRect(0, 0, 100, 100) << QRect(0, 0, 3, 3) << QPoint(0, 3);
        QTest::newRow("offset source") << QPointF(580, 260) << QRect(480, 210, 640, 480) << QRect(0, 0, 640, 480) << QPoint(100, 50);
        QTest::newRow("zoomed source") << QPointF(800, 450) << QRect(0, 0, 1600, 900) << QRect(400, 225, 800, 450) << QPoint(800, 450);
        QTest::newRow("empty widget rect") << QPointF(5, 5) << QRect(0, 0, 0, 10) << QRect(7, 8, 3, 3) << QPoint(7, 8);
    }
    void widgetToFramePoint()
    {
        QFETCH(QPointF, p);
        QFETCH(QRect, r);
        QFETCH(QRect, src);
        QFETCH(QPoint, expected);
        QCOMPARE(widget_to_frame_point(p, r, src), expected);
    }

    void rectMappings_data()
    {
        QTest::addColumn<QRect>("target");
        QTest::addColumn<QRect>("source");
        QTest::addColumn<QRect>("widget");
        QTest::addColumn<QRect>("frame");
        // widget -> frame, and the frame rectangle back to the widget gives `widget` again.
        QTest::newRow("unzoomed centred") << QRect(480, 210, 640, 480) << QRect(0, 0, 640, 480)
                                         << QRect(QPoint(600, 300), QPoint(800, 450)) << QRect(QPoint(120, 90), QPoint(320, 240));
        QTest::newRow("zoom 2") << QRect(0, 0, 1600, 900) << QRect(400, 225, 800, 450) << QRect(100, 100, 11, 11)
                                << QRect(450, 275, 6, 6);
    }
    void rectMappings()
    {
        QFETCH(QRect, target);
        QFETCH(QRect, source);
        QFETCH(QRect, widget);
        QFETCH(QRect, frame);
        QCOMPARE(widget_to_frame_rect(widget, target, source), frame);
        QCOMPARE(frame_to_widget_rect(frame, target, source), widget);
    }

    void rectMappingEdges()
    {
        // Outside the target or with an empty view: empty.
        QVERIFY(widget_to_frame_rect(QRect(0, 0, 10, 10), QRect(100, 100, 50, 50), QRect(0, 0, 50, 50)).isEmpty());
        QVERIFY(widget_to_frame_rect(QRect(0, 0, 10, 10), QRect(), QRect(0, 0, 50, 50)).isEmpty());
        QVERIFY(frame_to_widget_rect(QRect(60, 60, 10, 10), QRect(0, 0, 100, 100), QRect(0, 0, 50, 50)).isEmpty());
        // Clipped to the view.
        QCOMPARE(widget_to_frame_rect(QRect(-20, -20, 40, 40), QRect(0, 0, 100, 100), QRect(0, 0, 100, 100)),
                 QRect(0, 0, 20, 20));
        // Halves round away from zero on the way back: 1 * 1.5 = 1.5 -> 2.
        QCOMPARE(frame_to_widget_rect(QRect(1, 1, 1, 1), QRect(0, 0, 3, 3), QRect(0, 0, 2, 2)), QRect(2, 2, 1, 1));
    }

    void clampRectToFrame_data()
    {
        QTest::addColumn<QRect>("r");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("inside") << QRect(10, 10, 20, 20) << QSize(100, 100) << QRect(10, 10, 20, 20);
        QTest::newRow("left edge") << QRect(-5, 10, 50, 50) << QSize(100, 100) << QRect(0, 10, 50, 50);
        QTest::newRow("bottom right") << QRect(90, 90, 50, 50) << QSize(100, 100) << QRect(50, 50, 50, 50);
        QTest::newRow("too wide") << QRect(10, 10, 200, 30) << QSize(100, 100) << QRect(0, 10, 100, 30);
        QTest::newRow("too high, negative y") << QRect(10, -3, 30, 300) << QSize(100, 100) << QRect(10, 0, 30, 100);
        QTest::newRow("exactly the frame") << QRect(0, 0, 100, 100) << QSize(100, 100) << QRect(0, 0, 100, 100);
        QTest::newRow("empty frame") << QRect(0, 0, 10, 10) << QSize(0, 100) << QRect();
    }
    void clampRectToFrame()
    {
        QFETCH(QRect, r);
        QFETCH(QSize, frame);
        QFETCH(QRect, expected);
        QCOMPARE(clamp_rect_to_frame(r, frame.width(), frame.height()), expected);
    }

    void zoomRectAround_data()
    {
        QTest::addColumn<QPoint>("p");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QSize>("widget");
        QTest::addColumn<int>("level");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("640x480 level 2") << QPoint(320, 240) << QSize(640, 480) << QSize(1600, 900) << 2 << QRect(0, 15, 640, 450);
        QTest::newRow("1080p level 1") << QPoint(960, 540) << QSize(1920, 1080) << QSize(1600, 900) << 1 << QRect(160, 90, 1600, 900);
        QTest::newRow("half rounds away") << QPoint(5, 5) << QSize(100, 100) << QSize(3, 3) << 1 << QRect(4, 4, 3, 3);
        QTest::newRow("level 0 as 1") << QPoint(5, 5) << QSize(100, 100) << QSize(3, 3) << 0 << QRect(4, 4, 3, 3);
        QTest::newRow("corner level 8") << QPoint(0, 0) << QSize(1920, 1080) << QSize(1600, 900) << 8 << QRect(0, 0, 200, 112);
        QTest::newRow("far corner level 4") << QPoint(1919, 1079) << QSize(1920, 1080) << QSize(1600, 900) << 4
                                            << QRect(1520, 855, 400, 225);
    }
    void zoomRectAround()
    {
        QFETCH(QPoint, p);
        QFETCH(QSize, frame);
        QFETCH(QSize, widget);
        QFETCH(int, level);
        QFETCH(QRect, expected);
        QCOMPARE(zoom_rect_around(p, frame.width(), frame.height(), widget.width(), widget.height(), level), expected);
    }

    void fitRectToAspect_data()
    {
        QTest::addColumn<QRect>("r");
        QTest::addColumn<double>("aspect");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("too wide") << QRect(0, 0, 100, 50) << 1.0 << QRect(24, 0, 50, 50);
        QTest::newRow("too high") << QRect(0, 0, 50, 100) << 1.0 << QRect(0, 24, 50, 50);
        QTest::newRow("already") << QRect(10, 10, 160, 90) << 16.0 / 9.0 << QRect(10, 10, 160, 90);
        QTest::newRow("truncates") << QRect(0, 0, 10, 10) << 0.75 << QRect(1, 0, 7, 10);
        QTest::newRow("1x1 unchanged") << QRect(3, 3, 1, 1) << 2.0 << QRect(3, 3, 1, 1);
        QTest::newRow("no aspect") << QRect(0, 0, 100, 50) << 0.0 << QRect(0, 0, 100, 50);
    }
    void fitRectToAspect()
    {
        QFETCH(QRect, r);
        QFETCH(double, aspect);
        QFETCH(QRect, expected);
        QCOMPARE(fit_rect_to_aspect(r, aspect), expected);
    }

    void overlap_data()
    {
        QTest::addColumn<QRect>("a");
        QTest::addColumn<QRect>("b");
        QTest::addColumn<bool>("removes");
        // 100x100 windows: 2 % is 200 pixels in common.
        QTest::newRow("2 %") << QRect(0, 0, 100, 100) << QRect(98, 0, 100, 100) << true;
        QTest::newRow("1.9 %") << QRect(0, 0, 100, 100) << QRect(99, 0, 100, 100) << false;
        QTest::newRow("apart") << QRect(0, 0, 100, 100) << QRect(200, 0, 100, 100) << false;
        QTest::newRow("small inside big") << QRect(0, 0, 1000, 1000) << QRect(10, 10, 5, 5) << true;
    }
    void overlap()
    {
        QFETCH(QRect, a);
        QFETCH(QRect, b);
        QFETCH(bool, removes);
        QCOMPARE(zoom_window_overlap(a, b) >= 0.02, removes);
        QCOMPARE(zoom_window_overlap(b, a) >= 0.02, removes);
    }

    void wheelLevels_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("base");
        QTest::addColumn<bool>("up");
        QTest::addColumn<int>("expected");
        QTest::newRow("0 up base 1") << 0 << 1 << true << 1;
        QTest::newRow("0 up base 2") << 0 << 2 << true << 2;
        QTest::newRow("1 up") << 1 << 1 << true << 2;
        QTest::newRow("2 up") << 2 << 1 << true << 4;
        QTest::newRow("4 up") << 4 << 1 << true << 8;
        QTest::newRow("8 up stays") << 8 << 1 << true << 8;
        QTest::newRow("8 down") << 8 << 1 << false << 4;
        QTest::newRow("4 down") << 4 << 1 << false << 2;
        QTest::newRow("2 down base 1") << 2 << 1 << false << 1;
        QTest::newRow("2 down base 2") << 2 << 2 << false << 0;
        QTest::newRow("1 down") << 1 << 1 << false << 0;
        QTest::newRow("0 down") << 0 << 2 << false << 0;
    }
    void wheelLevels()
    {
        QFETCH(int, current);
        QFETCH(int, base);
        QFETCH(bool, up);
        QFETCH(int, expected);
        QCOMPARE(wheel_zoom_level(current, base, up), expected);
    }

    void firstLevel()
    {
        QCOMPARE(first_zoom_level(640, 480, 1600, 900), 2);
        QCOMPARE(first_zoom_level(1600, 900, 1600, 900), 2);
        QCOMPARE(first_zoom_level(1920, 1080, 1600, 900), 1);
        QCOMPARE(first_zoom_level(1000, 1000, 1600, 900), 1);
    }

    void clampToImageRect()
    {
        const QRect r(480, 210, 640, 480);
        QCOMPARE(clamp_to_image_rect(QPoint(0, 0), r), QPoint(480, 210));
        QCOMPARE(clamp_to_image_rect(QPoint(2000, 2000), r), QPoint(1119, 689));
        QCOMPARE(clamp_to_image_rect(QPoint(500, 300), r), QPoint(500, 300));
    }

    // The region a window shows: its size from the magnification and the view's aspect,
    // its centre kept so that the region stays in the window's source.
    void zoomWindowSource()
    {
        ZoomWindow w;
        w.source_rect = QRect(100, 100, 200, 100);
        w.magnification = 2.0;
        QPointF c(200, 150);
        QRect r = zoom_window_source(w, QRect(0, 0, 200, 100), c, 640, 480);
        QCOMPARE(r.size(), QSize(100, 50));
        QCOMPARE(c, QPointF(200, 150));
        QVERIFY(w.source_rect.contains(r));

        // A centre near the corner is pulled in.
        c = QPointF(0, 0);
        r = zoom_window_source(w, QRect(0, 0, 200, 100), c, 640, 480);
        QCOMPARE(c, QPointF(150, 125));
        QVERIFY(w.source_rect.contains(r));
        QCOMPARE(r.size(), QSize(100, 50));

        // A square view narrows the region to a square.
        c = QPointF(200, 150);
        r = zoom_window_source(w, QRect(0, 0, 100, 100), c, 640, 480);
        QCOMPARE(r.size(), QSize(50, 50));

        // Magnification below 1 counts as 1: the whole source.
        w.magnification = 0.5;
        c = QPointF(10, 10);
        r = zoom_window_source(w, QRect(0, 0, 200, 100), c, 640, 480);
        QCOMPARE(r.size(), QSize(200, 100));
        QCOMPARE(c, QRectF(w.source_rect).center());

        QVERIFY(zoom_window_source(w, QRect(), c, 640, 480).isEmpty());
        QVERIFY(zoom_window_source(ZoomWindow(), QRect(0, 0, 10, 10), c, 640, 480).isEmpty());
    }
};

ZR_TEST_MAIN_CORE(TestZoomGeometry)
#include "tst_zoomgeometry.moc"
