//! labels: gui
#include "display/Canvas.h"
#include "display/DewarpGeometry.h"
#include "display/FisheyeDewarp.h"
#include "tests/display/CanvasTestUtil.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/PointerInput.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

#include <cmath>
#include <vector>

using namespace canvastest;
using namespace zrtest;

namespace {

constexpr int kSize = 320; // square: the fisheye ellipse is a circle
constexpr int kRim = 150;  // from this distance on the picture is white

// Six sectors of 60 degrees centred on 0, 60, ... 300 (clockwise from the right).
const std::vector<QColor> kSectors = {Qt::red, Qt::yellow, Qt::green, Qt::cyan, Qt::blue, Qt::magenta};

int sector_of(double deg)
{
    double a = std::fmod(deg + 30.0, 360.0);
    if (a < 0)
        a += 360.0;
    return int(a / 60.0) % 6;
}

// A synthetic fisheye picture: coloured sectors inside a white rim.
QImage fisheye(int size = kSize)
{
    QImage img(size, size, QImage::Format_RGB32);
    const double c = size * 0.5;
    for (int y = 0; y < size; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size; ++x) {
            const double dx = x + 0.5 - c, dy = y + 0.5 - c;
            if (std::hypot(dx, dy) >= kRim * size / double(kSize))
                line[x] = qRgb(255, 255, 255);
            else
                line[x] = kSectors[sector_of(std::atan2(dy, dx) * 180.0 / M_PI)].rgb();
        }
    }
    return img;
}

QPointF towards(QPointF centre, double deg, double distance)
{
    const double a = deg * M_PI / 180.0;
    return centre + QPointF(std::cos(a) * distance, std::sin(a) * distance);
}

// How many pixels of a row have the colour.
int count_in_row(const QImage& img, int row, QColor colour)
{
    int n = 0;
    for (int x = 0; x < img.width(); ++x)
        n += near(img.pixel(x, row), colour, 30) ? 1 : 0;
    return n;
}

// Distance between two directions in degrees, across the 0/360 seam.
double angle_apart(double a, double b)
{
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360.0 - d);
}

QString describe(QRgb p)
{
    return QStringLiteral("(%1, %2, %3)").arg(qRed(p)).arg(qGreen(p)).arg(qBlue(p));
}

} // namespace

class TestFisheyeDewarp : public QObject
{
    Q_OBJECT

    // A display of the picture's size showing the fisheye, the dewarp view on and the dewarp
    // itself still off.
    void setUpDisplay(Canvas& c, QImage& frame, QSize widget = QSize(kSize, kSize))
    {
        configure_as_player(c, widget.width(), widget.height());
        c.set_overlay_enabled(false);
        c.set_dewarp_view(true);
        feed(c, frame);
        shot(c);
    }

    // Activates the dewarp with a click in the sector's middle, far enough out that the view
    // starts at the fisheye's edge (zoom at its least), and shows the next frame.
    QImage activate(Canvas& c, QImage& frame, int sector)
    {
        const QPointF centre(kSize / 2.0, kSize / 2.0);
        click(c, towards(centre, sector * 60.0, 120));
        feed(c, frame);
        return shot(c);
    }

private slots:
    // A click in each sector turns the view toward it: the middle of the view shows that
    // sector's colour, its top rows the white rim.
    void activationShowsClickedSector_data()
    {
        QTest::addColumn<int>("sector");
        for (int s = 0; s < 6; ++s)
            QTest::addRow("sector %d", s) << s;
    }
    void activationShowsClickedSector()
    {
        QFETCH(int, sector);
        Canvas c;
        QImage frame = fisheye();
        setUpDisplay(c, frame);
        QImage before = shot(c);
        QVERIFY(!c.is_dewarp_enabled());
        // Not dewarped yet: the fisheye itself.
        QVERIFY(near(before.pixel(kSize / 2 + 100, kSize / 2), Qt::red));
        QVERIFY(near(before.pixel(kSize / 2 - 100, kSize / 2), Qt::cyan));

        const QImage out = activate(c, frame, sector);
        QVERIFY(c.is_dewarp_enabled());
        QVERIFY(c.is_dewarp_applied());
        QCOMPARE(c.get_dewarp().dewarp_fov(), 70.0f);
        QVERIFY2(angle_apart(c.get_dewarp().dewarp_pan(), sector * 60.0) < 0.1,
                 qPrintable(QString::number(c.get_dewarp().dewarp_pan())));
        const QColor colour = kSectors[sector];
        QVERIFY2(near(out.pixel(kSize / 2, kSize / 3), colour), qPrintable(describe(out.pixel(kSize / 2, kSize / 3))));
        QVERIFY2(near(out.pixel(kSize / 2, 2), Qt::white), qPrintable(describe(out.pixel(kSize / 2, 2))));
        // The whole middle third of a row near the top: the sector only.
        QVERIFY(count_in_row(out.copy(kSize / 3, 0, kSize / 3, kSize), kSize / 8, colour) == kSize / 3);
    }

    // Straight left of the centre: acos(0) * 57.3 + 90. A click on the centre does nothing.
    void activationAngles()
    {
        Canvas c;
        QImage frame = fisheye();
        setUpDisplay(c, frame);
        click(c, QPointF(kSize / 2.0, kSize / 2.0));
        QVERIFY(!c.is_dewarp_enabled());
        click(c, QPointF(kSize / 2.0 - 40, kSize / 2.0));
        QVERIFY(c.is_dewarp_enabled());
        QVERIFY2(qAbs(c.get_dewarp().dewarp_pan() - 180.0066f) < 0.0005f, qPrintable(QString::number(c.get_dewarp().dewarp_pan(), 'g', 8)));
        // 40 pixels from the centre, with a half diagonal of 226.3: zoom 100 - 40 * 200 / 226.3.
        QVERIFY(qAbs(c.get_dewarp().dewarp_zoom() - (100.0f - 40.0f * 200.0f / std::hypot(160.0f, 160.0f))) < 0.01f);
    }

    // In a wider display the picture sits between black bars: the click is measured from the
    // picture's centre, not from a point half the picture's width into the widget.
    void activationInCentredPicture()
    {
        Canvas c;
        QImage frame = fisheye();
        setUpDisplay(c, frame, QSize(480, kSize));
        QCOMPARE(c.get_image_rect(), QRect(80, 0, kSize, kSize));
        // Up and to the left, in the sector of 240 degrees.
        click(c, towards(QPointF(80 + kSize / 2.0, kSize / 2.0), 240, 120));
        QVERIFY(c.is_dewarp_enabled());
        QVERIFY2(angle_apart(c.get_dewarp().dewarp_pan(), 240) < 0.1, qPrintable(QString::number(c.get_dewarp().dewarp_pan())));
        feed(c, frame);
        const QImage out = shot(c);
        QVERIFY2(near(out.pixel(80 + kSize / 2, kSize / 3), kSectors[4]),
                 qPrintable(describe(out.pixel(80 + kSize / 2, kSize / 3))));
    }

    // A horizontal drag turns the view (half a degree per pixel at this field of view), a
    // vertical one moves the rows inward; the release after a drag changes nothing more.
    void dragTurnsAndZooms()
    {
        Canvas c;
        QImage frame = fisheye();
        setUpDisplay(c, frame);
        activate(c, frame, 0);
        const float pan0 = c.get_dewarp().dewarp_pan();
        QVERIFY(angle_apart(pan0, 0) < 0.1);
        QCOMPARE(c.get_dewarp().dewarp_zoom(), 0.1f);

        zrtest::LogCatcher log;
        const QPointF start(200, 160);
        press(c, start);
        QVERIFY(log.contains(QStringLiteral("[INFO] Plugin:: DEWARP mousePressEvent :: 200x160")));
        for (int i = 1; i <= 4; ++i)
            move(c, start - QPointF(30 * i, 0)); // 120 pixels to the left: +60 degrees
        QVERIFY2(qAbs(wrap_dewarp_pan(c.get_dewarp().dewarp_pan() - pan0) - 60.0f) < 0.01f,
                 qPrintable(QString::number(c.get_dewarp().dewarp_pan())));
        QCOMPARE(c.get_frame_width(), kSize);
        release(c, start - QPointF(120, 0));
        QVERIFY(!log.contains(QStringLiteral("mouseReleaseEvent perc_X")));
        feed(c, frame);
        QImage out = shot(c);
        QVERIFY2(near(out.pixel(kSize / 2, kSize / 3), kSectors[1]), qPrintable(describe(out.pixel(kSize / 2, kSize / 3))));
        QVERIFY(near(out.pixel(kSize / 2, 2), Qt::white));

        // Upward by 60 pixels: zoom +30, then on to 100; the top rows leave the rim.
        const QPointF low(200, 310);
        press(c, low);
        move(c, low - QPointF(0, 60));
        QVERIFY(qAbs(c.get_dewarp().dewarp_zoom() - 30.1f) < 0.01f);
        move(c, QPointF(200, 10));
        QCOMPARE(c.get_dewarp().dewarp_zoom(), 100.0f);
        release(c, QPointF(200, 10));
        feed(c, frame);
        out = shot(c);
        QVERIFY2(near(out.pixel(kSize / 2, 2), kSectors[1]), qPrintable(describe(out.pixel(kSize / 2, 2))));
        QVERIFY(c.get_dewarp().state().zoom_offset > 0);
        QCOMPARE(c.get_dewarp().state().zoom_offset, c.get_dewarp().state().largest_offset);

        // Moves without the left button held do nothing.
        const float pan1 = c.get_dewarp().dewarp_pan();
        send(c, QEvent::MouseMove, start - QPointF(100, 0), Qt::NoButton, Qt::NoButton);
        QCOMPARE(c.get_dewarp().dewarp_pan(), pan1);
    }

    // A click while the view is on moves it toward the clicked point: a quarter of the width
    // right of the centre turns it by 22.5 degrees; every value is logged.
    void clickRecentres()
    {
        Canvas c;
        QImage frame = fisheye();
        setUpDisplay(c, frame);
        activate(c, frame, 1);
        const float pan0 = c.get_dewarp().dewarp_pan();
        const float zoom0 = c.get_dewarp().dewarp_zoom();
        zrtest::LogCatcher log;
        click(c, QPointF(240, 160));
        QVERIFY(qAbs(c.get_dewarp().dewarp_pan() - (pan0 + 22.5f)) < 0.001f);
        QCOMPARE(c.get_dewarp().dewarp_zoom(), zoom0);
        const QStringList expected = {"center_x 160", "center_y 160", "event_position.x() 240", "event_position.y() 160",
                                      "X 80", "Y 0", "perc_X 50", "perc_Y 0", "start_change 22.5",
                                      "translate_change 0", "translate_change prorata 0",
                                      "start " + QString::number(pan0, 'g', 6), "zoom 70",
                                      "translate " + QString::number(zoom0, 'g', 6),
                                      "after start " + QString::number(pan0 + 22.5f, 'g', 6),
                                      "after translate " + QString::number(zoom0, 'g', 6)};
        int from = 0;
        for (const QString& line : expected) {
            const int at = log.indexOf(QStringLiteral("[INFO] Plugin::mouseReleaseEvent ") + line, from);
            QVERIFY2(at >= 0, qPrintable(line));
            from = at + 1;
        }
        feed(c, frame);
        const QImage out = shot(c);
        // The middle of the view now looks at 82.5 degrees: still the sector of 60.
        QVERIFY(near(out.pixel(kSize / 2, kSize / 3), kSectors[1]));

        // Below the centre with a narrow view: the zoom changes, both changes halved twice.
        for (int i = 0; i < 12; ++i)
            wheel(c, QPointF(160, 160), 120); // down to the narrowest view
        QCOMPARE(c.get_dewarp().dewarp_fov(), FisheyeDewarp::kMinFov);
        const float pan1 = c.get_dewarp().dewarp_pan();
        click(c, QPointF(160, 240)); // perc_Y 50: 25, a quarter of it
        QVERIFY(qAbs(c.get_dewarp().dewarp_zoom() - (zoom0 + 6.25f)) < 0.001f);
        QCOMPARE(c.get_dewarp().dewarp_pan(), pan1);
    }

    // The wheel narrows the view going up and widens it going down, within 15 .. 90 degrees;
    // the narrower the view, the more of its top row lies in the middle sector.
    void wheelChangesFieldOfView()
    {
        Canvas c;
        QImage frame = fisheye();
        setUpDisplay(c, frame);
        activate(c, frame, 2);
        const QColor colour = kSectors[2];
        const int row = kSize / 10;
        feed(c, frame);
        const int at70 = count_in_row(shot(c), row, colour);

        wheel(c, QPointF(160, 160), 120);
        wheel(c, QPointF(160, 160), 120);
        wheel(c, QPointF(160, 160), 120);
        QCOMPARE(c.get_dewarp().dewarp_fov(), 55.0f);
        feed(c, frame);
        const int at55 = count_in_row(shot(c), row, colour);

        for (int i = 0; i < 7; ++i)
            wheel(c, QPointF(160, 160), -120);
        QCOMPARE(c.get_dewarp().dewarp_fov(), 90.0f);
        feed(c, frame);
        const int at90 = count_in_row(shot(c), row, colour);
        QVERIFY2(at55 > at70 && at70 > at90,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(at55).arg(at70).arg(at90)));
        QVERIFY(at55 > kSize * 9 / 10);
        QVERIFY(at90 < kSize * 3 / 4);

        for (int i = 0; i < 20; ++i)
            wheel(c, QPointF(160, 160), 120);
        QCOMPARE(c.get_dewarp().dewarp_fov(), 15.0f);
        // Paused: every step widens.
        c.setPause();
        wheel(c, QPointF(160, 160), 120);
        QCOMPARE(c.get_dewarp().dewarp_fov(), 20.0f);
    }

    // A right click switches the dewarp off: the next frame shows the fisheye itself.
    void rightClickSwitchesOff()
    {
        Canvas c;
        QImage frame = fisheye();
        setUpDisplay(c, frame);
        activate(c, frame, 0);
        QVERIFY(c.is_dewarp_enabled());
        zrtest::LogCatcher log;
        click(c, QPointF(100, 100), Qt::RightButton);
        QVERIFY(log.contains(QStringLiteral("[INFO] Plugin::mouseReleaseEvent Unwrapp false")));
        QVERIFY(!c.is_dewarp_enabled());
        feed(c, frame);
        QVERIFY(!c.is_dewarp_applied());
        const QImage out = shot(c);
        QCOMPARE(out.pixel(kSize / 2 + 100, kSize / 2), frame.pixel(kSize / 2 + 100, kSize / 2));
        QCOMPARE(out.pixel(kSize / 2 - 100, kSize / 2), frame.pixel(kSize / 2 - 100, kSize / 2));
        QCOMPARE(out.pixel(kSize / 2, kSize / 2 - 100), frame.pixel(kSize / 2, kSize / 2 - 100));
        QCOMPARE(out.pixel(5, 5), frame.pixel(5, 5));
    }

    // A double click on the dewarp view never shows it full screen.
    void doubleClickStaysInWindow()
    {
        Canvas c;
        QImage frame = fisheye();
        setUpDisplay(c, frame);
        c.set_fullscreen_enabled(true);
        activate(c, frame, 0);
        const QPointF p(200, 160);
        doubleClick(c, p);
        QVERIFY(!c.is_fullscreen_shown());
        QVERIFY(c.is_dewarp_enabled());
    }

    // The intake sizes the output from the frames themselves, whatever size the last setup
    // announced; a frame whose rows are too short is skipped with a log line.
    void intakeSizesOutputAndSkipsBadFrames()
    {
        Canvas c;
        QImage frame = fisheye();
        setUpDisplay(c, frame);
        activate(c, frame, 0);
        QCOMPARE(c.get_dewarp().source_size(), QSize(kSize, kSize));

        c.setup_scaler_dewrap(640, 480);
        QCOMPARE(c.get_dewarp().source_size(), QSize(640, 480));
        feed(c, frame);
        QVERIFY(c.is_dewarp_applied());
        QCOMPARE(c.get_dewarp().source_size(), QSize(kSize, kSize));

        QImage small = fisheye(200);
        feed(c, small);
        QVERIFY(c.is_dewarp_applied());
        QCOMPARE(c.get_dewarp().source_size(), QSize(200, 200));
        QCOMPARE(c.get_dewarp().output_image().size(), QSize(200, 200));

        zrtest::LogCatcher log;
        c.displayFrame(frame.bits(), int(frame.bytesPerLine()) - 4, kSize, kSize, QStringLiteral("2024-05-01 10:00:01.000"),
                       QString(), false, 2, 25.0, true);
        QVERIFY(!c.is_dewarp_applied());
        QVERIFY2(log.contains(QStringLiteral("dewarp :: skip frame :: line size 1276 too short for width 320")),
                 qPrintable(log.texts().join('\n')));
        shot(c);

        // An announced empty size takes the output away until the next frame: the painter says so.
        feed(c, frame);
        QVERIFY(c.is_dewarp_applied());
        c.setup_scaler_dewrap(0, 0);
        QVERIFY(!c.get_dewarp().has_output());
        log.clear();
        shot(c);
        QVERIFY(log.contains(QStringLiteral("draw image :: dewarp :: frame data is null")));
        feed(c, frame);
        QVERIFY(c.is_dewarp_applied());
    }

    // The dewarp itself: a black output before the first frame, frames that do not fit it
    // skipped, and output pixels whose source lies outside the frame left as they were.
    void outputBounds()
    {
        FisheyeDewarp d;
        QVERIFY(!d.has_output());
        QString why;
        QImage frame = fisheye();
        QVERIFY(!d.dewarp(frame.constBits(), int(frame.bytesPerLine()), kSize, kSize, &why));
        QVERIFY(why.contains(QStringLiteral("no output")));

        QVERIFY(d.setup(kSize, kSize));
        const QImage black = d.output_image();
        QCOMPARE(black.size(), QSize(kSize, kSize));
        for (int y = 0; y < kSize; y += 7)
            for (int x = 0; x < kSize; x += 7)
                QCOMPARE(black.pixel(x, y), qRgb(0, 0, 0));

        QImage other = fisheye(160);
        QVERIFY(!d.dewarp(other.constBits(), int(other.bytesPerLine()), 160, 160, &why));
        QVERIFY(why.contains(QStringLiteral("differs")));
        QVERIFY(!d.dewarp(frame.constBits(), int(frame.bytesPerLine()), 0, kSize, &why));
        QVERIFY(why.contains(QStringLiteral("empty frame size 0x320")));
        QVERIFY(!d.dewarp(frame.constBits(), -int(frame.bytesPerLine()), kSize, kSize, &why));
        QVERIFY(!d.dewarp(nullptr, int(frame.bytesPerLine()), kSize, kSize, &why));
        QCOMPARE(d.output_image().pixel(100, 100), qRgb(0, 0, 0));

        // Pan 0, fov 45: the middle column's direction is exactly 0 degrees, whose edge point
        // x = 160 + 160 lies one past the last column; that output pixel keeps its black.
        QVERIFY(d.dewarp(frame.constBits(), int(frame.bytesPerLine()), kSize, kSize, &why));
        QCOMPARE(QPoint(d.geometry().high_x, d.geometry().high_y), QPoint(kSize, kSize / 2));
        const QImage out = d.output_image();
        QCOMPARE(out.pixel(kSize / 2, 0), qRgb(0, 0, 0));
        QCOMPARE(out.pixel(kSize / 2, 5), qRgb(255, 255, 255)); // a row further in: the rim
        QVERIFY(near(out.pixel(kSize / 2, kSize / 3), Qt::red));

        // Sizes that cannot be held leave no output.
        QVERIFY(!d.setup(0, 0));
        QVERIFY(!d.has_output());
        QVERIFY(!d.setup(-5, 10));
        QVERIFY(!d.setup(200000, 200000));
        QVERIFY(!d.has_output());
        QVERIFY(d.output_image().isNull());
    }

    // Every output pixel whose source lies in the frame is the source pixel the geometry maps
    // it to, and a new pan or zoom maps the next frame anew.
    void outputFollowsGeometry()
    {
        const int w = 320, h = 240;
        // Every pixel names its own coordinates.
        QImage frame(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                frame.setPixel(x, y, qRgb(x & 0xff, y, 0x80 | (x >> 8)));
        FisheyeDewarp d;
        QVERIFY(d.setup(w, h));
        QString why;
        const struct
        {
            float pan, zoom;
        } views[] = {{0, 0}, {200, 40}, {359, 100}, {90, 0.1f}};
        for (const auto& v : views) {
            d.set_dewarp_pan(v.pan);
            d.set_dewarp_zoom(v.zoom);
            QVERIFY2(d.dewarp(frame.constBits(), int(frame.bytesPerLine()), w, h, &why), qPrintable(why));
            const DewarpState s = d.state();
            const DewarpGeometry g = d.geometry();
            const QImage out = d.output_image();
            int inside = 0;
            for (int r = 0; r < h; r += 3)
                for (int c = 0; c < w; c += 5) {
                    const QPoint p = dewarp_point(g, s, c, r);
                    if (!frame.rect().contains(p))
                        continue;
                    ++inside;
                    QVERIFY2(out.pixel(c, r) == frame.pixel(p),
                             qPrintable(QStringLiteral("pan %1 zoom %2 at %3,%4: %5 instead of %6")
                                            .arg(v.pan)
                                            .arg(v.zoom)
                                            .arg(c)
                                            .arg(r)
                                            .arg(describe(out.pixel(c, r)), describe(frame.pixel(p)))));
                }
            QVERIFY(inside > 1000);
        }
    }
};

ZR_TEST_MAIN_GUI(TestFisheyeDewarp)
#include "tst_fisheyedewarp.moc"
