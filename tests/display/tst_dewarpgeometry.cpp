//! labels: unit
#include "display/DewarpGeometry.h"
#include "display/FisheyeDewarp.h"
#include "tests/support/TestMain.h"

#include <QtTest>

#include <cmath>
#include <vector>

namespace {

// The dewarp worked out again in double precision from the mapping's description: the ellipse
// inscribed in a W x H source, columns from pan - fov/2 to pan + fov/2, rows from the edge
// along the direction opposite the pan, reaching inward by the zoom offset plus up to the chord.
struct Expected
{
    int cx, cy;
    QPoint low, middle, high;
    int low_d, middle_d, high_d;
    int chord;
    double dir_cos, dir_sin;
    int largest;
    int zoom_offset;
};

constexpr double kPi = 3.14159265358979323846;

QPoint ellipse_point(double deg, int W, int H)
{
    const double a = deg * kPi / 180.0;
    return QPoint(int(std::cos(a) * (W / 2) + int(W * 0.5)), int(std::sin(a) * (H / 2) + int(H * 0.5)));
}

int length(QPoint a, QPoint b)
{
    return int(std::hypot(double(a.x() - b.x()), double(a.y() - b.y())));
}

Expected expect(double pan, double zoom, double fov, int W, int H)
{
    Expected e;
    e.cx = int(W * 0.5);
    e.cy = int(H * 0.5);
    const QPoint c(e.cx, e.cy);
    e.low = ellipse_point(pan - fov, W, H);
    e.middle = ellipse_point(pan - fov / 2, W, H);
    e.high = ellipse_point(pan, W, H);
    e.low_d = length(e.low, c);
    e.middle_d = length(e.middle, c);
    e.high_d = length(e.high, c);
    e.chord = length(e.high, e.low);
    e.dir_cos = std::cos((pan - 180) * kPi / 180);
    e.dir_sin = std::sin((pan - 180) * kPi / 180);
    e.largest = int(e.middle_d * 1.25 - e.chord);
    e.zoom_offset = zoom > 0 && e.largest >= 1 ? int(e.largest * zoom / 100) : 0;
    return e;
}

QPoint source_point(const Expected& e, double pan, double fov, int W, int H, int column, int row)
{
    const double a = pan - fov / 2 + column * fov / W;
    const QPoint edge = ellipse_point(a, W, H);
    const int base = length(edge, QPoint(e.cx, e.cy));
    const double t = column * double(e.chord) / W;
    const int hc = e.chord / 2;
    const int offset = column < W / 2 ? int(hc - t) : int(t - hc);
    int depth = base > offset ? int(std::sqrt(double(base) * base - double(offset) * offset)) : 0;
    if (2 * depth > e.chord)
        depth = e.chord / 2;
    const int radius = int(2.0 * depth * (row * 100.0 / H) / 100.0 + e.zoom_offset);
    return QPoint(int(radius * e.dir_cos + edge.x()), int(radius * e.dir_sin + edge.y()));
}

bool close(QPoint a, QPoint b, int tol)
{
    return std::abs(a.x() - b.x()) <= tol && std::abs(a.y() - b.y()) <= tol;
}

QString text(QPoint p)
{
    return QStringLiteral("(%1, %2)").arg(p.x()).arg(p.y());
}

} // namespace

class TestDewarpGeometry : public QObject
{
    Q_OBJECT

private slots:
    // Float arithmetic against double: a truncation may land one pixel apart, and a point's
    // pixel carries into the chord and the offsets; every real mistake moves points far more.
    void geometryTable_data()
    {
        QTest::addColumn<float>("pan");
        QTest::addColumn<float>("zoom");
        QTest::addColumn<float>("fov");
        for (float pan : {0.0f, 90.0f, 270.0f})
            for (float zoom : {0.0f, 50.0f, 100.0f})
                for (float fov : {30.0f, 70.0f, 120.0f})
                    QTest::addRow("pan %g zoom %g fov %g", pan, zoom, fov) << pan << zoom << fov;
    }
    void geometryTable()
    {
        QFETCH(float, pan);
        QFETCH(float, zoom);
        QFETCH(float, fov);
        const int W = 1920, H = 1080;
        DewarpState s = dewarp_state_for(W, H); // fresh: the zoom offset carries over otherwise
        const DewarpGeometry g = compute_dewarp_geometry(pan, zoom, fov, s);
        const Expected e = expect(pan, zoom, fov, W, H);

        QCOMPARE(s.centre_x, 960);
        QCOMPARE(s.centre_y, 540);
        QCOMPARE(e.cx, 960);
        QCOMPARE(QSize(s.out_width, s.out_height), QSize(W, H));
        QVERIFY(qAbs(g.start_angle - (pan - fov / 2)) < 1e-4);
        QVERIFY(qAbs(g.direction_angle - (pan - 180) * kPi / 180) < 1e-5);
        QVERIFY(qAbs(g.low_angle - (pan - fov) * kPi / 180) < 1e-5);
        QVERIFY(qAbs(g.middle_angle - (pan - fov / 2) * kPi / 180) < 1e-5);
        QVERIFY(qAbs(g.high_angle - pan * kPi / 180) < 1e-5);
        QVERIFY2(close(QPoint(g.low_x, g.low_y), e.low, 1), qPrintable(text(QPoint(g.low_x, g.low_y)) + text(e.low)));
        QVERIFY2(close(QPoint(g.middle_x, g.middle_y), e.middle, 1),
                 qPrintable(text(QPoint(g.middle_x, g.middle_y)) + text(e.middle)));
        QVERIFY2(close(QPoint(g.high_x, g.high_y), e.high, 1), qPrintable(text(QPoint(g.high_x, g.high_y)) + text(e.high)));
        QVERIFY(qAbs(g.low_distance - e.low_d) <= 1);
        QVERIFY(qAbs(g.middle_distance - e.middle_d) <= 1);
        QVERIFY(qAbs(g.high_distance - e.high_d) <= 1);
        QVERIFY2(qAbs(g.chord - e.chord) <= 2, qPrintable(QStringLiteral("%1 %2").arg(g.chord).arg(e.chord)));
        QVERIFY(qAbs(g.direction_cos - e.dir_cos) < 1e-5);
        QVERIFY(qAbs(g.direction_sin - e.dir_sin) < 1e-5);
        QVERIFY(qAbs(s.angle_step - fov / W) < 1e-6);
        QVERIFY(qAbs(s.radial_step - float(g.chord) / W) < 1e-6);
        QVERIFY2(qAbs(s.largest_offset - e.largest) <= 4,
                 qPrintable(QStringLiteral("%1 %2").arg(s.largest_offset).arg(e.largest)));
        QVERIFY2(qAbs(s.zoom_offset - e.zoom_offset) <= 4,
                 qPrintable(QStringLiteral("%1 %2").arg(s.zoom_offset).arg(e.zoom_offset)));
        if (zoom == 0)
            QCOMPARE(s.zoom_offset, 0);

        // Source points: corners, centre and a quarter of the output.
        const std::vector<QPoint> cells = {{0, 0}, {W / 2, H / 2}, {W - 1, H - 1}, {W / 4, H / 3}, {W / 2, 0}, {3 * W / 4, H - 1}};
        for (const QPoint& cell : cells) {
            const QPoint got = dewarp_point(g, s, cell.x(), cell.y());
            const QPoint want = source_point(e, pan, fov, W, H, cell.x(), cell.y());
            QVERIFY2(close(got, want, 3), qPrintable(QStringLiteral("cell ") + text(cell) + QStringLiteral(": ")
                                                    + text(got) + QStringLiteral(" expected ") + text(want)));
        }
    }

    // Exact values where a row needs no rounding tolerance: pan 0 (right), fov 90 on 1920x1080.
    void exactPoints()
    {
        DewarpState s = dewarp_state_for(1920, 1080);
        const DewarpGeometry g = compute_dewarp_geometry(0, 0, 90, s);
        QCOMPARE(g.start_angle, -45.0f);
        QCOMPARE(QPoint(g.high_x, g.high_y), QPoint(1920, 540)); // cos 0 = 1: one past the last column
        QCOMPARE(g.high_distance, 960);
        // Middle column of the top row: the edge straight right, outside the source.
        QCOMPARE(dewarp_point(g, s, 960, 0), QPoint(1920, 540));
        // Rows step left along the axis, toward the centre.
        const QPoint mid = dewarp_point(g, s, 960, 540);
        QCOMPARE(mid.y(), 540);
        QVERIFY(mid.x() < 1920 && mid.x() > 960);
    }

    // The zoom offset stays from the last geometry whose zoom set it.
    void zoomOffsetCarriesOver()
    {
        DewarpState s = dewarp_state_for(1920, 1080);
        compute_dewarp_geometry(0, 50, 30, s);
        const int offset = s.zoom_offset;
        QVERIFY(offset > 0);
        compute_dewarp_geometry(0, 0, 30, s);
        QCOMPARE(s.zoom_offset, offset);
        // A view so wide that no offset is left keeps it too.
        compute_dewarp_geometry(90, 50, 70, s);
        QVERIFY(s.largest_offset < 1);
        QCOMPARE(s.zoom_offset, offset);
        compute_dewarp_geometry(0, 100, 30, s);
        QCOMPARE(s.zoom_offset, s.largest_offset);
    }

    void panAndZoomSetters_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<float>("pan");
        QTest::addColumn<float>("zoom");
        QTest::newRow("370") << 370.0f << 10.0f << 100.0f;
        QTest::newRow("-10") << -10.0f << 350.0f << 0.1f;
        QTest::newRow("360") << 360.0f << 0.0f << 100.0f;
        QTest::newRow("0") << 0.0f << 0.0f << 0.1f;
        QTest::newRow("150") << 150.0f << 150.0f << 100.0f;
        QTest::newRow("42.5") << 42.5f << 42.5f << 42.5f;
        QTest::newRow("100") << 100.0f << 100.0f << 100.0f;
    }
    void panAndZoomSetters()
    {
        QFETCH(float, value);
        QFETCH(float, pan);
        QFETCH(float, zoom);
        QCOMPARE(wrap_dewarp_pan(value), pan);
        QCOMPARE(clamp_dewarp_zoom(value), zoom);
        FisheyeDewarp d;
        d.set_dewarp_pan(value);
        d.set_dewarp_zoom(value);
        QCOMPARE(d.dewarp_pan(), pan);
        QCOMPARE(d.dewarp_zoom(), zoom);
    }

    // Tiny and empty sources give points, never a fault.
    void degenerateSources()
    {
        for (QSize size : {QSize(0, 0), QSize(1, 1), QSize(2, 1), QSize(3, 3)}) {
            DewarpState s = dewarp_state_for(size.width(), size.height());
            const DewarpGeometry g = compute_dewarp_geometry(45, 50, 70, s);
            for (int c = 0; c < size.width(); ++c)
                for (int r = 0; r < size.height(); ++r)
                    dewarp_point(g, s, c, r);
            QVERIFY(std::isfinite(s.angle_step) && std::isfinite(s.radial_step));
        }
    }
};

ZR_TEST_MAIN_CORE(TestDewarpGeometry)
#include "tst_dewarpgeometry.moc"
