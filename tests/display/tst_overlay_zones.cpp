//! labels: unit gui
// The drawing overlay that travels with live frames and the display's zones: the grammar,
// what is drawn (pixels), and zones outlined and hit on a real offscreen display.
#include "display/OverlayString.h"
#include "display/Shapes_Overlay.h"
#include "display/ZoneOverlay.h"
#include "tests/display/CanvasTestUtil.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

using namespace canvastest;

namespace {

QImage draw_on_white(const QString& overlay, QSize ref = QSize(200, 100), QTransform t = QTransform())
{
    QImage img(200, 100, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    OverlayString::draw(p, overlay, ref, t);
    p.end();
    return img;
}

int count_near(const QImage& img, QColor c, int tol = 40)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += near(img.pixel(x, y), c, tol);
    return n;
}

} // namespace

class TestOverlayZones : public QObject
{
    Q_OBJECT

private slots:
    void grammar_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("types");
        QTest::newRow("one item without separator") << "L_RECT{x1=1;y1=2;x2=3;y2=4}" << QStringList{"L_RECT"};
        QTest::newRow("leading blank removed") << " LINE{x1=1}" << QStringList{"LINE"};
        QTest::newRow("two items in order") << "LINE{x1=1}:TEXT{value=a}" << QStringList{"LINE", "TEXT"};
        QTest::newRow("empty item between separators") << "LINE{x1=1}::TEXT{value=a}" << QStringList{"LINE", "TEXT"};
        QTest::newRow("trailing ; cancels the item") << "LINE{x1=1;}:TEXT{value=a}" << QStringList{"TEXT"};
        QTest::newRow("field without = cancels") << "LINE{x1}" << QStringList{};
        QTest::newRow("single character") << "L" << QStringList{};
        QTest::newRow("no braces") << "LINE" << QStringList{};
    }
    void grammar()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, types);
        QStringList got;
        for (const OverlayString::Item& item : OverlayString::parse(text))
            got << item.type;
        QCOMPARE(got, types);
    }

    void fieldValues()
    {
        const QList<OverlayString::Item> items = OverlayString::parse("TEXT{x=10;y=oops;x=12;value=Hi=there;color=red}");
        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0].fields.value("x"), QString("12")); // the last value counts
        QCOMPARE(items[0].fields.value("value"), QString("Hi")); // up to the second "="
        QCOMPARE(items[0].fields.value("y").toInt(), 0);
    }

    void drawing()
    {
        // Red 12-point text with its baseline at (10, 20).
        const QImage text = draw_on_white("TEXT{x=10;y=20;value=Hello;color=#ff0000;font-size=12}");
        QVERIFY(count_near(text, Qt::red, 90) > 20);
        for (int y = 25; y < 100; ++y)
            for (int x = 0; x < 200; ++x)
                QVERIFY(!near(text.pixel(x, y), Qt::red, 90));
        // A filled rectangle without alpha shows only its outline.
        const QImage outline = draw_on_white("F_RECT{x1=20;y1=20;x2=80;y2=80;border-color=#0000ff;border-size=2;color=#ff0000}");
        QVERIFY(near(outline.pixel(20, 50), Qt::blue, 60));
        QVERIFY(near(outline.pixel(50, 50), Qt::white));
        const QImage filled = draw_on_white("F_RECT{x1=20;y1=20;x2=80;y2=80;border-color=#0000ff;border-size=2;color=#ff0000;alpha=255}");
        QVERIFY(near(filled.pixel(50, 50), Qt::red));
        // A line to the reference edge ends on its last pixel.
        const QImage line = draw_on_white("LINE{x1=0;y1=50;x2=100;y2=50;border-color=#00ff00;border-size=2}", QSize(100, 100));
        QVERIFY(near(line.pixel(97, 50), Qt::green, 80));
        QVERIFY(near(line.pixel(100, 50), Qt::white, 60)); // ends at 99: its round cap stops at 100
        // An ellipse centred on (100, 50).
        const QImage circle = draw_on_white("L_CIRC{x=100;y=50;w=40;h=20;border-color=#000000;border-size=2}");
        QVERIFY(near(circle.pixel(80, 50), Qt::black, 80));
        QVERIFY(near(circle.pixel(100, 50), Qt::white));
        // Without a reference size nothing is drawn, and nothing divides by zero.
        QCOMPARE(count_near(draw_on_white("L_RECT{x1=1;y1=1;x2=50;y2=50;border-size=3}", QSize(0, 0)), Qt::black), 0);
    }

    void zoneDescriptions()
    {
        Shapes_Overlay parser;
        const QString zones = R"([{"type":"rect","index":4,"x":0,"y":0,"w":0.5,"h":0.5},
            {"type":"circle","index":9,"cx":0.5,"cy":0.5,"r":0.1},
            {"type":"polygon","index":2,"points":[[0.5,0.5],[1,0.5],[1,1]]},
            {"type":"ellipse","index":3,"cx":0.25,"cy":0.75,"rx":0.1,"ry":0.1},
            {"type":"rect","index":5,"x":"a"}, {"type":"hexagon","index":6}, 7, {"type":"rect","x":0,"y":0,"w":1,"h":1}])";
        QList<Shape*> shapes = parser.parse(zones, 10, 20, 200, 100);
        QStringList types;
        for (Shape* s : shapes)
            types << s->type() + QString::number(s->index());
        QCOMPARE(types, (QStringList{"rect4", "circle9", "polygon2", "ellipse3"}));
        QCOMPARE(shapes[0]->rect(), QRectF(10, 20, 100, 50));
        QCOMPARE(shapes[2]->polygon(), QPolygon({QPoint(110, 70), QPoint(210, 70), QPoint(210, 120)}));
        QCOMPARE(shapes[3]->center(), QPoint(60, 95));
        qDeleteAll(shapes);
        for (const char* bad : {"", "not json", "{}", "[[[[", "[{\"type\":\"rect\",\"index\":1,\"x\":1e999,\"y\":0,\"w\":1,\"h\":1}]"}) {
            QList<Shape*> none = parser.parse(bad, 0, 0, 100, 100);
            QVERIFY2(none.isEmpty(), bad);
        }
    }

    // A circle before the other zones must not shift which zone a hit reports.
    void hitsPairByIndex()
    {
        ZoneOverlay zones;
        QImage img(200, 100, QImage::Format_RGB32);
        QPainter p(&img);
        zones.draw(p, R"([{"type":"circle","index":9,"cx":0.9,"cy":0.9,"r":0.05},
                          {"type":"rect","index":4,"x":0,"y":0,"w":0.5,"h":0.5},
                          {"type":"polygon","index":2,"points":[[0.5,0.5],[1,0.5],[1,1]]}])", QRect(0, 0, 200, 100));
        p.end();
        QCOMPARE(zones.index_at(QPointF(20, 20)), 4);
        QVERIFY(zones.update_highlight(QPointF(20, 20)));
        QCOMPARE(zones.highlight().boundingRect(), QRectF(0, 0, 100, 50));
        QCOMPARE(zones.index_at(QPointF(190, 95)), 2);
        QCOMPARE(zones.index_at(QPointF(120, 20)), -1);
        QVERIFY(!zones.update_highlight(QPointF(120, 20)));
    }

    void onTheDisplay()
    {
        Canvas c;
        configure_as_player(c, 400, 200);
        c.set_overlay_enabled(false);
        c.set_drawoverlay_enabled(true);
        QImage frame = solid(400, 200, Qt::white);
        // The overlay is in picture pixels: a red square at (100..140, 50..90).
        c.displayFrame(frame.bits(), int(frame.bytesPerLine()), 400, 200, "2024-05-01 10:00:00.000",
                       "F_RECT{x1=100;y1=50;x2=140;y2=90;border-color=#ff0000;border-size=1;color=#ff0000;alpha=255}",
                       false, 1, 25.0, true);
        QImage out = shot(c);
        QVERIFY(near(out.pixel(120, 70), Qt::red));
        QVERIFY(near(out.pixel(200, 150), Qt::white));

        // A zone over the left half, outlined and reported by its index on release.
        c.set_camera_id("7");
        c.set_zones(QString::fromLatin1(QByteArray(R"([{"type":"rect","index":3,"x":0,"y":0,"w":0.5,"h":1}])").toBase64()));
        out = shot(c);
        const QRgb edge = out.pixel(200, 100);
        QVERIFY2(qBlue(edge) > qRed(edge) + 40, qPrintable(QString::number(edge, 16)));
        QSignalSpy zone(&c, &Canvas::change_camera_id);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, QPointF(50, 150), c.mapToGlobal(QPointF(50, 150)), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(&c, &e);
        }
        QCOMPARE(zone.count(), 1);
        QCOMPARE(zone.at(0).at(1).toInt(), 3);
    }
};

ZR_TEST_MAIN_GUI(TestOverlayZones)
#include "tst_overlay_zones.moc"
