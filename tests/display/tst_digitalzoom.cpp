//! labels: unit
#include "display/Canvas.h"
#include "display/DigitalZoom.h"
#include "tests/support/TestMain.h"

#include <QtTest>

// The zoom driven without a widget: sequences the widget's input screening does not let
// through, and states it cannot be put in.
class TestDigitalZoom : public QObject
{
    Q_OBJECT

    // A 640x480 picture shown unscaled in the middle of a 1600x900 display: (480, 210) .. (1120, 690).
    static DigitalZoom::View view()
    {
        DigitalZoom::View v;
        v.widget_w = 1600;
        v.widget_h = 900;
        v.frame_w = 640;
        v.frame_h = 480;
        v.image_rect = Canvas::placement(640, 480, 1600, 900, true, false);
        return v;
    }

    static void painted(DigitalZoom& z)
    {
        QRect target;
        QRect source;
        const DigitalZoom::View v = view();
        z.layout(640, 480, v.image_rect, v.widget_w, v.widget_h, target, source);
        z.set_painted(target, source);
    }

    static void band(DigitalZoom& z, QPoint a, QPoint b)
    {
        z.press(a - QPoint(6, 0), view());
        QVERIFY(z.drag(a, view()));
        QVERIFY(z.drag(b, view()));
        z.finish_rubber_band(view());
    }

private slots:
    void removingAnEarlierWindowKeepsTheDrag()
    {
        DigitalZoom z;
        painted(z);
        QCOMPARE(view().image_rect, QRect(480, 210, 640, 480));
        band(z, QPoint(500, 250), QPoint(600, 350));
        band(z, QPoint(700, 250), QPoint(800, 350));
        band(z, QPoint(900, 250), QPoint(990, 340));
        QCOMPARE(z.windows().size(), 3);
        const QPointF second = z.windows().at(1).centre;
        const QPointF third = z.windows().at(2).centre;

        // Grab the third window's content, then the first window goes (a right click elsewhere).
        z.press(QPointF(950, 300), view());
        QVERIFY(z.drag(QPointF(960, 300), view()));
        QVERIFY(z.is_window_dragging());
        z.remove_window(0);
        QVERIFY(z.is_window_dragging());
        QVERIFY(z.drag(QPointF(980, 300), view()));

        QCOMPARE(z.windows().size(), 2);
        QCOMPARE(z.windows().at(0).centre, second);
        QVERIFY(z.windows().at(1).centre.x() < third.x());

        // Removing the dragged window itself ends the drag.
        z.remove_window(1);
        QVERIFY(!z.is_window_dragging());
        QVERIFY(!z.drag(QPointF(990, 300), view()));
    }

    void nothingShownNothingZooms_data()
    {
        QTest::addColumn<int>("frameW");
        QTest::addColumn<QRect>("imageRect");
        QTest::newRow("no picture yet") << 0 << QRect(480, 210, 640, 480);
        QTest::newRow("never painted") << 640 << QRect();
    }
    void nothingShownNothingZooms()
    {
        QFETCH(int, frameW);
        QFETCH(QRect, imageRect);
        DigitalZoom z;
        int reports = 0;
        z.set_report([&](const QString&, int, int, int) { ++reports; });
        DigitalZoom::View v = view();
        v.frame_w = frameW;
        v.image_rect = imageRect;
        z.press(QPointF(800, 450), v);
        z.click_zoom(v);
        QVERIFY(z.wheel(QPointF(800, 450), 120, v));
        z.pan(QPointF(900, 450), v);
        QCOMPARE(z.level(), 0);
        QVERIFY(!z.is_active());
        QCOMPARE(reports, 0);
        // A wheel without a vertical step is not the zoom's.
        QVERIFY(!z.wheel(QPointF(800, 450), 0, view()));
    }
};

ZR_TEST_MAIN_GUI(TestDigitalZoom)
#include "tst_digitalzoom.moc"
