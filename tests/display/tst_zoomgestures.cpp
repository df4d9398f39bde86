//! labels: gui
#include "display/Canvas.h"
#include "tests/display/CanvasTestUtil.h"
#include "tests/support/PointerInput.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

using namespace canvastest;
using namespace zrtest;

namespace {

// Every pixel names its frame coordinates: red = x & 255, green = y & 255, blue = high bits.
QImage coordinates(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb(x & 0xff, y & 0xff, ((x >> 8) << 4) | (y >> 8));
    }
    return img;
}

QPoint decode(QRgb p)
{
    return QPoint(qRed(p) | ((qBlue(p) >> 4) << 8), qGreen(p) | ((qBlue(p) & 0xf) << 8));
}

// Draws a rubber band from a to b (the band starts where the press passes the threshold).
void band(Canvas& c, QPoint a, QPoint b)
{
    press(c, a - QPoint(6, 0));
    move(c, a);
    move(c, b);
    release(c, b);
}

bool isRed(QRgb p)
{
    return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60;
}

} // namespace

class TestZoomGestures : public QObject
{
    Q_OBJECT

    // A 1600x900 player display showing a frame; the frame-time band is off so that pixels
    // at the top can be read.
    void setUpDisplay(Canvas& c, QImage& frame)
    {
        configure_as_player(c, 1600, 900);
        c.set_overlay_enabled(false);
        feed(c, frame);
        shot(c);
    }

    static QStringList names(const QSignalSpy& spy)
    {
        QStringList out;
        for (const auto& args : spy)
            out << args.at(0).toString();
        return out;
    }

private slots:
    void wheelThroughLevelsAndBack()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        QCOMPARE(c.get_image_rect(), QRect(480, 210, 640, 480));
        QSignalSpy clics(&c, &Canvas::send_clic_event);
        const QPointF centre(800, 450);

        wheel(c, centre, 120);
        QCOMPARE(c.get_zoom_level(), 2);
        QCOMPARE(c.get_zoom_rect(), QRect(0, 15, 640, 450));
        QCOMPARE(clics.last(), (QList<QVariant>{"zoom_in", 0, 15, 2}));
        QImage out = shot(c);
        QCOMPARE(c.get_image_rect(), QRect(0, 0, 1600, 900));
        // The frame point under the pointer stays under it.
        QPoint f = decode(out.pixel(800, 450));
        QVERIFY2(qAbs(f.x() - 320) <= 2 && qAbs(f.y() - 240) <= 2, qPrintable(QString("%1,%2").arg(f.x()).arg(f.y())));

        wheel(c, centre, 120);
        QCOMPARE(c.get_zoom_level(), 4);
        QCOMPARE(c.get_zoom_rect(), QRect(120, 128, 400, 225));
        shot(c);
        wheel(c, centre, 120);
        QCOMPARE(c.get_zoom_level(), 8);
        QCOMPARE(c.get_zoom_rect().size(), QSize(200, 112));
        shot(c);
        const int before = clics.count();
        wheel(c, QPointF(100, 100), 120);
        QCOMPARE(c.get_zoom_level(), 8);
        QCOMPARE(clics.count(), before + 1);
        QCOMPARE(clics.last().at(0).toString(), QString("zoom_in"));
        shot(c);

        wheel(c, centre, -120);
        QCOMPARE(c.get_zoom_level(), 4);
        shot(c);
        wheel(c, centre, -120);
        QCOMPARE(c.get_zoom_level(), 2);
        shot(c);
        wheel(c, centre, -120);
        QCOMPARE(c.get_zoom_level(), 0);
        QCOMPARE(clics.last(), (QList<QVariant>{"zoom_out", 0, 0, 1}));
        out = shot(c);
        QCOMPARE(c.get_image_rect(), QRect(480, 210, 640, 480));
        QCOMPARE(decode(out.pixel(480, 210)), QPoint(0, 0));
        QCOMPARE(decode(out.pixel(1119, 689)), QPoint(639, 479));

        // Down at level 0 still reports zoom_out; a wheel without vertical turn does nothing.
        wheel(c, centre, -120);
        QCOMPARE(clics.last().at(0).toString(), QString("zoom_out"));
        const int n = clics.count();
        wheel(c, centre, 0, 120);
        QCOMPARE(clics.count(), n);
        QCOMPARE(c.get_zoom_level(), 0);
    }

    // A frame larger than the display zooms to level 1 first: pixel for pixel.
    void levelOneIsPixelForPixel()
    {
        Canvas c;
        QImage frame = coordinates(1920, 1080);
        setUpDisplay(c, frame);
        wheel(c, QPointF(800, 450), 120);
        QCOMPARE(c.get_zoom_level(), 1);
        QCOMPARE(c.get_zoom_rect(), QRect(160, 90, 1600, 900));
        const QImage out = shot(c);
        QCOMPARE(c.get_image_rect(), QRect(0, 0, 1600, 900));
        for (QPoint p : {QPoint(0, 0), QPoint(10, 700), QPoint(1599, 899), QPoint(812, 3)})
            QCOMPARE(decode(out.pixel(p)), p + QPoint(160, 90));

        wheel(c, QPointF(800, 450), 120);
        QCOMPARE(c.get_zoom_level(), 2);
        shot(c);
        wheel(c, QPointF(800, 450), -120);
        QCOMPARE(c.get_zoom_level(), 1);
    }

    void clickZoomAndRightPress()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        QSignalSpy clics(&c, &Canvas::send_clic_event);

        // A right press reports zoom_out even when nothing is zoomed.
        press(c, QPointF(800, 450), Qt::RightButton);
        release(c, QPointF(800, 450), Qt::RightButton);
        QCOMPARE(clics.count(), 1);
        QCOMPARE(clics.last(), (QList<QVariant>{"zoom_out", 0, 0, 1}));

        click(c, QPointF(640, 330)); // frame point (160, 120)
        QCOMPARE(c.get_zoom_level(), 2);
        QCOMPARE(c.get_zoom_rect(), QRect(0, 0, 640, 450));
        QCOMPARE(clics.last(), (QList<QVariant>{"zoom_in", 0, 0, 2}));
        shot(c);

        // A click on the zoomed view re-centres at the same level.
        click(c, QPointF(1500, 850));
        QCOMPARE(c.get_zoom_level(), 2);
        QCOMPARE(c.get_zoom_rect(), QRect(0, 30, 640, 450));
        QImage out = shot(c);
        QPoint f = decode(out.pixel(800, 450));
        QVERIFY(qAbs(f.y() - 255) <= 2);

        press(c, QPointF(800, 450), Qt::RightButton);
        QCOMPARE(c.get_zoom_level(), 0);
        QVERIFY(!c.is_zoom_active());
        QCOMPARE(clics.last(), (QList<QVariant>{"zoom_out", 0, 0, 1}));
        release(c, QPointF(800, 450), Qt::RightButton);
        out = shot(c);
        QCOMPARE(c.get_image_rect(), QRect(480, 210, 640, 480));
        QCOMPARE(decode(out.pixel(480 + 100, 210 + 50)), QPoint(100, 50));
    }

    // Moves of up to 5 pixels keep a click; 6 start a rubber band instead.
    void clickThreshold_data()
    {
        QTest::addColumn<int>("dx");
        QTest::addColumn<bool>("zooms");
        QTest::newRow("5 px") << 5 << true;
        QTest::newRow("6 px") << 6 << false;
        QTest::newRow("-5 px") << -5 << true;
    }
    void clickThreshold()
    {
        QFETCH(int, dx);
        QFETCH(bool, zooms);
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        press(c, QPointF(800, 450));
        move(c, QPointF(800 + dx, 450));
        release(c, QPointF(800 + dx, 450));
        QCOMPARE(c.get_zoom_level() > 0, zooms);
        QVERIFY(c.get_zoom_windows().isEmpty()); // a 6-pixel band is too small for a window
    }

    void panStopsAtFrameEdges()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        wheel(c, QPointF(800, 450), 120);
        shot(c);
        wheel(c, QPointF(800, 450), 120);
        QCOMPARE(c.get_zoom_level(), 4);
        QCOMPARE(c.get_zoom_rect(), QRect(120, 128, 400, 225));
        shot(c);
        QSignalSpy clics(&c, &Canvas::send_clic_event);

        // A quarter of a frame pixel per widget pixel: the fourth step moves the view.
        press(c, QPointF(800, 450));
        for (int i = 1; i <= 3; ++i)
            move(c, QPointF(800 + i, 450));
        QCOMPARE(clics.count(), 0);
        QCOMPARE(c.get_zoom_rect().x(), 120);
        move(c, QPointF(804, 450));
        QCOMPARE(clics.count(), 1);
        QCOMPARE(clics.last(), (QList<QVariant>{"zoom_pan", 119, 128, 4}));

        // Far right and down: the view stops at the frame's left and top.
        move(c, QPointF(5000, 5000));
        QCOMPARE(c.get_zoom_rect(), QRect(0, 0, 400, 225));
        move(c, QPointF(9000, 9000));
        QCOMPARE(c.get_zoom_rect(), QRect(0, 0, 400, 225));
        QImage out = shot(c);
        QPoint f = decode(out.pixel(2, 2));
        QVERIFY(f.x() <= 1 && f.y() <= 1);
        // Far left and up: the right and bottom edges.
        move(c, QPointF(-9000, -9000));
        QCOMPARE(c.get_zoom_rect(), QRect(240, 255, 400, 225));
        release(c, QPointF(-9000, -9000));
        out = shot(c);
        f = decode(out.pixel(1597, 897));
        QVERIFY(f.x() >= 638 && f.y() >= 478);
        // The release ended the pan.
        move(c, QPointF(0, 0), Qt::NoButton);
        QCOMPARE(c.get_zoom_rect(), QRect(240, 255, 400, 225));
    }

    // A rubber band makes a zoom window that shows its region magnified in place.
    void rubberBandWindowMagnifies()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        QPainter(&frame).fillRect(215, 160, 10, 10, Qt::red);
        setUpDisplay(c, frame);

        // Narrower than 10 pixels: no window.
        band(c, QPoint(600, 300), QPoint(608, 450));
        QVERIFY(c.get_zoom_windows().isEmpty());
        QVERIFY(!c.is_rubber_band_active());

        band(c, QPoint(600, 300), QPoint(800, 450));
        QCOMPARE(c.get_zoom_windows().size(), 1);
        ZoomWindow w = c.get_zoom_windows().at(0);
        QCOMPARE(w.source_rect, QRect(120, 90, 201, 151));
        QCOMPARE(w.magnification, 1.5);
        QCOMPARE(c.get_zoom_level(), 0);

        QImage out = shot(c);
        QCOMPARE(c.get_zoom_windows().at(0).view_rect, QRect(600, 300, 201, 151));
        // Yellow outline on the window's left edge.
        bool yellow = false;
        for (int x = 598; x <= 602; ++x) {
            const QRgb p = out.pixel(x, 375);
            yellow |= qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 90;
        }
        QVERIFY(yellow);
        // The 10-pixel marker (695..704, 370..379 unmagnified) now spans about 15 pixels.
        QVERIFY(isRed(out.pixel(700, 374)));
        QVERIFY(isRed(out.pixel(693, 368)));
        QVERIFY(isRed(out.pixel(706, 380)));
        // Outside the window the frame is shown as it is.
        QCOMPARE(decode(out.pixel(500, 250)), QPoint(20, 40));

        // A click does not zoom while windows exist; the wheel outside them still does.
        click(c, QPointF(1000, 600));
        QCOMPARE(c.get_zoom_level(), 0);
        wheel(c, QPointF(1000, 600), 120);
        QCOMPARE(c.get_zoom_level(), 2);
        // Windows stay on their region of the frame in the zoomed view.
        shot(c);
        // (120, 90)-(320, 240) seen through the zoom rectangle stretched 2.5 x 2 over the display.
        const QRect z = c.get_zoom_rect();
        QCOMPARE(z.size(), QSize(640, 450));
        QCOMPARE(c.get_zoom_windows().at(0).view_rect,
                 QRect(QPoint(qRound((120 - z.x()) * 2.5), (90 - z.y()) * 2), QPoint(qRound((320 - z.x()) * 2.5), (240 - z.y()) * 2)));
    }

    void windowWheelMagnification()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        band(c, QPoint(600, 300), QPoint(800, 450));
        shot(c);
        const QPointF inside(700, 375);
        wheel(c, inside, 120);
        QCOMPARE(c.get_zoom_windows().at(0).magnification, 1.5 * 1.15);
        QCOMPARE(c.get_zoom_level(), 0); // the view did not zoom
        wheel(c, inside, -120);
        QVERIFY(qAbs(c.get_zoom_windows().at(0).magnification - 1.5) < 1e-9);
        for (int i = 0; i < 30; ++i)
            wheel(c, inside, 120);
        QCOMPARE(c.get_zoom_windows().at(0).magnification, 12.0);
        for (int i = 0; i < 40; ++i)
            wheel(c, inside, -120);
        QCOMPARE(c.get_zoom_windows().at(0).magnification, 1.0);

        // At 1.0 the window shows its region unmagnified (outline only).
        QImage plain = shot(c);
        QCOMPARE(decode(plain.pixel(700, 375)), QPoint(220, 165));
    }

    // The wheel keeps the frame point under the pointer where it is.
    void windowWheelKeepsPointUnderPointer()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        band(c, QPoint(600, 300), QPoint(800, 450));
        QImage out = shot(c);
        const QPointF at(650, 340);
        const QPoint before = decode(out.pixel(at.toPoint()));
        wheel(c, at, 120);
        out = shot(c);
        const QPoint after = decode(out.pixel(at.toPoint()));
        QVERIFY2((before - after).manhattanLength() <= 3,
                 qPrintable(QString("%1,%2 -> %3,%4").arg(before.x()).arg(before.y()).arg(after.x()).arg(after.y())));
    }

    void rightClickResetsThenRemoves()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        band(c, QPoint(600, 300), QPoint(800, 450));
        shot(c);
        press(c, QPointF(700, 375), Qt::RightButton);
        release(c, QPointF(700, 375), Qt::RightButton);
        QCOMPARE(c.get_zoom_windows().size(), 1);
        QCOMPARE(c.get_zoom_windows().at(0).magnification, 1.0);
        press(c, QPointF(700, 375), Qt::RightButton);
        release(c, QPointF(700, 375), Qt::RightButton);
        QVERIFY(c.get_zoom_windows().isEmpty());

        // In a right double click the first press resets the window, the double click removes it.
        band(c, QPoint(600, 300), QPoint(800, 450));
        shot(c);
        doubleClick(c, QPointF(700, 375), Qt::RightButton);
        QVERIFY(c.get_zoom_windows().isEmpty());
    }

    void overlappingWindowsRemoved()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        band(c, QPoint(600, 300), QPoint(800, 450));
        shot(c);
        band(c, QPoint(1000, 600), QPoint(1100, 680)); // apart: kept
        shot(c);
        QCOMPARE(c.get_zoom_windows().size(), 2);
        band(c, QPoint(900, 500), QPoint(700, 380)); // covers much of the first
        shot(c);
        const QList<ZoomWindow> ws = c.get_zoom_windows();
        QCOMPARE(ws.size(), 2);
        QCOMPARE(ws.at(0).source_rect, QRect(520, 390, 101, 81));
        // Drawn from its bottom-right corner: Qt's normalising of a reversed rectangle.
        QCOMPARE(ws.at(1).source_rect, QRect(221, 171, 199, 119));
    }

    void windowContentDrag()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        band(c, QPoint(600, 300), QPoint(800, 450));
        shot(c);
        const QPointF start = c.get_zoom_windows().at(0).centre;
        press(c, QPointF(700, 375));
        move(c, QPointF(710, 375)); // past the threshold: the drag begins here
        move(c, QPointF(740, 375));
        const QPointF moved = c.get_zoom_windows().at(0).centre;
        QVERIFY2(qAbs((start.x() - moved.x()) - 30.0 * 133 / 201) < 0.5, qPrintable(QString::number(moved.x())));
        QCOMPARE(moved.y(), start.y());
        // Dragged far: the centre stops where the magnified region meets the window's edge.
        move(c, QPointF(5000, 375));
        QVERIFY(qAbs(c.get_zoom_windows().at(0).centre.x() - (120 + 133 / 2.0)) < 0.01);
        release(c, QPointF(5000, 375));
        move(c, QPointF(600, 375), Qt::NoButton);
        QVERIFY(qAbs(c.get_zoom_windows().at(0).centre.x() - (120 + 133 / 2.0)) < 0.01);
        QCOMPARE(c.get_zoom_level(), 0);
    }

    void marginsIgnored()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        QSignalSpy clics(&c, &Canvas::send_clic_event);
        click(c, QPointF(100, 100));
        doubleClick(c, QPointF(100, 100));
        wheel(c, QPointF(100, 100), 120);
        press(c, QPointF(100, 100), Qt::RightButton);
        QCOMPARE(clics.count(), 0);
        QCOMPARE(c.get_zoom_level(), 0);
    }

    void doubleClickReports_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("value");
        QTest::newRow("left") << int(Qt::LeftButton) << 0;
        QTest::newRow("right") << int(Qt::RightButton) << 1;
        QTest::newRow("middle") << int(Qt::MiddleButton) << 2;
    }
    // Reported with the rounded position, even before the first frame.
    void doubleClickReports()
    {
        QFETCH(int, button);
        QFETCH(int, value);
        Canvas c;
        configure_as_player(c, 400, 300);
        QSignalSpy clics(&c, &Canvas::send_clic_event);
        doubleClick(c, QPointF(10.5, 20.4), Qt::MouseButton(button));
        QCOMPARE(clics.count(), 1);
        QCOMPARE(clics.at(0), (QList<QVariant>{"double_clic", 11, 20, value}));
    }

    // Level and region live on across frames, stream starts and resizes.
    void zoomSurvivesFramesAndStreamStart()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        wheel(c, QPointF(800, 450), 120);
        shot(c);
        wheel(c, QPointF(800, 450), 120);
        const QRect r = c.get_zoom_rect();
        feed(c, frame, "2024-05-01 10:00:00.040", 2);
        shot(c);
        QCOMPARE(c.get_zoom_level(), 4);
        QCOMPARE(c.get_zoom_rect(), r);

        c.set_stream_start(true);
        feed(c, frame, "2024-05-01 10:05:00.000", 1);
        QImage out = shot(c);
        QCOMPARE(c.get_zoom_level(), 4);
        QCOMPARE(c.get_zoom_rect(), r);
        QPoint f = decode(out.pixel(800, 450));
        QVERIFY(qAbs(f.x() - (r.x() + r.width() / 2)) <= 2);

        c.resize(800, 450);
        QMetaObject::invokeMethod(&c, "resizeDone");
        QVERIFY(!c.is_zoom_active());
        shot(c);
        QVERIFY(c.is_zoom_active());
        QCOMPARE(c.get_zoom_level(), 4);
        QCOMPARE(c.get_zoom_rect(), r);
    }

    // Windows are kept in frame coordinates; one outside a smaller new frame is not drawn.
    void windowsOutsideANewFrameSize()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        band(c, QPoint(1000, 600), QPoint(1100, 680)); // frame (520, 390)-(620, 470)
        shot(c);
        QCOMPARE(c.get_zoom_windows().size(), 1);
        c.set_stream_start(true);
        QImage small = coordinates(320, 240);
        feed(c, small);
        const QImage out = shot(c);
        QCOMPARE(c.get_zoom_windows().size(), 1);
        QVERIFY(c.get_zoom_windows().at(0).view_rect.isEmpty());
        QCOMPARE(decode(out.pixel(640, 330)), QPoint(0, 0));
        wheel(c, QPointF(800, 450), 120);
        QCOMPARE(c.get_zoom_level(), 2);
        shot(c);
    }

    void movesIgnoredAfterLeave()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        press(c, QPointF(700, 400));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&c, &leave);
        move(c, QPointF(760, 460));
        QVERIFY(!c.is_rubber_band_active());
        release(c, QPointF(760, 460));
        QVERIFY(c.get_zoom_windows().isEmpty());
        QCOMPARE(c.get_zoom_level(), 0);

        // A rubber band under way goes on after the pointer left.
        press(c, QPointF(594, 300));
        move(c, QPointF(600, 300));
        QVERIFY(c.is_rubber_band_active());
        QApplication::sendEvent(&c, &leave);
        move(c, QPointF(800, 450));
        release(c, QPointF(800, 450));
        QCOMPARE(c.get_zoom_windows().size(), 1);
    }

    // A banner display reports a left double click with its name instead of going full screen.
    void bandeauDoubleClick()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        c.set_fullscreen_enabled(true);
        c.set_bandeau(true);
        c.set_display_id("cam-3");
        QSignalSpy bandeau(&c, &Canvas::emitBandeau);
        send(c, QEvent::MouseButtonDblClick, QPointF(800, 450), Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(bandeau.count(), 1);
        QCOMPARE(bandeau.at(0).at(0).toString(), QString("cam-3"));
        QVERIFY(!c.is_fullscreen_shown());
        send(c, QEvent::MouseButtonDblClick, QPointF(800, 450), Qt::RightButton, Qt::RightButton);
        QCOMPARE(bandeau.count(), 1);
    }

    void fullScreenToggleAndEscape()
    {
        Canvas c;
        QImage frame = coordinates(640, 480);
        setUpDisplay(c, frame);
        QSignalSpy clics(&c, &Canvas::send_clic_event);
        // The player switches full screen off: a double click only reports (its first
        // click zooms, as any click does).
        doubleClick(c, QPointF(800, 450));
        QVERIFY(!c.is_fullscreen_shown());
        QCOMPARE(clics.first().at(0).toString(), QString("zoom_in"));
        QCOMPARE(clics.last().at(0).toString(), QString("double_clic"));
        press(c, QPointF(800, 450), Qt::RightButton);
        QCOMPARE(c.get_zoom_level(), 0);

        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&c, &esc);
        QVERIFY(!c.is_fullscreen_shown());

        c.set_fullscreen_enabled(true);
        clics.clear();
        wheel(c, QPointF(800, 450), 120);
        QCOMPARE(c.get_zoom_level(), 2);
        shot(c);
        send(c, QEvent::MouseButtonDblClick, QPointF(800, 450), Qt::LeftButton, Qt::LeftButton);
        QVERIFY(c.is_fullscreen_shown());
        QCOMPARE(c.get_zoom_level(), 0);
        QCOMPARE(clics.last(), (QList<QVariant>{"zoom_out", 0, 0, 1}));
        wheel(c, QPointF(800, 450), 120);
        QApplication::sendEvent(&c, &esc);
        QVERIFY(!c.is_fullscreen_shown());
        QCOMPARE(c.get_zoom_level(), 2); // Escape keeps the zoom
    }
};

ZR_TEST_MAIN_GUI(TestZoomGestures)
#include "tst_zoomgestures.moc"
