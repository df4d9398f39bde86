//! labels: gui net
#include "display/Canvas.h"
#include "display/PtzMarks.h"
#include "ptz/AxisPtz.h"
#include "ptz/PtzCtrlWeb.h"
#include "tests/display/CanvasTestUtil.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/PointerInput.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

#include <atomic>
#include <cmath>

using namespace canvastest;
using namespace zrtest;
using zrtest::HttpReply;
using zrtest::HttpRequest;
using zrtest::HttpServer;

namespace {

// A 640x480 display showing a 320x240 frame: frame coordinates are half the widget's.
constexpr int kWidgetW = 640;
constexpr int kWidgetH = 480;
constexpr int kFrameW = 320;
constexpr int kFrameH = 240;
const QColor kBackground(40, 40, 40);

// Press and drag within the same event-loop turn, so the hold cannot begin first.
void areaDrag(Canvas& c, QPoint from, QPoint to)
{
    press(c, from);
    move(c, to);
    move(c, to);
}

bool reddish(QRgb p)
{
    return qRed(p) > 150 && qGreen(p) < 90 && qBlue(p) < 90;
}
bool greenish(QRgb p)
{
    return qGreen(p) > 140 && qRed(p) < 110 && qBlue(p) < 110;
}
int count(const QImage& img, QRect area, bool (*test)(QRgb));
// Some pixel within 2 px of p passes.
bool around(const QImage& img, QPoint p, bool (*test)(QRgb))
{
    return count(img, QRect(p - QPoint(2, 2), QSize(5, 5)), test) > 0;
}
int count(const QImage& img, QRect area, bool (*test)(QRgb))
{
    int n = 0;
    area &= img.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += test(img.pixel(x, y)) ? 1 : 0;
    return n;
}

// The display as a host that enables pan-tilt-zoom sets it up.
void setUpDisplay(Canvas& c, QImage& frame, const QString& url)
{
    configure_as_player(c, kWidgetW, kWidgetH);
    c.set_keep_aspect_ratio(false); // the frame fills the widget
    c.set_overlay_enabled(false);
    c.set_stream_path(QStringLiteral("live&id=cam7"));
    c.set_ptz_enabled(true);
    c.set_gesture_events({"holdclic", "area", "rightclic", "zoom"});
    c.set_ptz_url(url);
    c.set_ptz_session_id(QStringLiteral("s1"));
    feed(c, frame);
    shot(c);
}

QStringList targets(const HttpServer& server, const QByteArray& path)
{
    QStringList out;
    for (const HttpRequest& r : server.requests())
        if (r.path == path)
            out << QString::fromLatin1(r.target);
    return out;
}

// An Axis camera with pan-tilt-zoom on loopback; every command answers at once.
HttpReply axisAnswer(const HttpRequest& r)
{
    if (r.path == "/axis-cgi/com/ptz.cgi") {
        if (r.target.contains("query=position"))
            return HttpReply::text("pan=0.0\ntilt=0.0\nzoom=1\n");
        HttpReply done = HttpReply::text("");
        done.status = 204;
        return done;
    }
    return HttpReply::text("<html><body><h1>Not Found</h1></body></html>", 404, "text/html");
}

// The Axis driver, with the commands the display gave it.
class RecordingAxis : public AxisPtz
{
public:
    using AxisPtz::AxisPtz;
    struct Call
    {
        QString name;
        bool zoom_only;
        float x, y, z;
        int width, height, value, w, h;
    };
    QList<Call> calls;

    void send_command(QString command, bool flag, float pan, float tilt, float zoom, int width, int height,
                      int value, int w, int h) override
    {
        calls.append(Call{command, flag, pan, tilt, zoom, width, height, value, w, h});
        AxisPtz::send_command(command, flag, pan, tilt, zoom, width, height, value, w, h);
    }
    int countOf(const QString& name, float x, float y, float z) const
    {
        int n = 0;
        for (const Call& c : calls)
            n += c.name == name && c.x == x && c.y == y && c.z == z ? 1 : 0;
        return n;
    }
};

} // namespace

class TestCanvasPtz : public QObject
{
    Q_OBJECT

    // A loopback web control page.
    struct WebRig
    {
        HttpServer server;
        Canvas canvas;
        QImage frame = solid(kFrameW, kFrameH, kBackground);

        WebRig()
        {
            server.route("/ptz.php", HttpReply::text("ok"));
            setUpDisplay(canvas, frame, server.url("/ptz.php?cam=4"));
        }
        QStringList sent() const { return targets(server, "/ptz.php"); }
        bool sentEventually(const QString& query, int times = 1) const
        {
            const QString full = "/ptz.php?cam=4" + query;
            return zrtest::waitUntil([&] { return sent().count(full) >= times; }, 10000);
        }
        bool idle() const
        {
            return zrtest::waitUntil([&] {
                return canvas.get_ptz_control().web_controller() && canvas.get_ptz_control().web_controller()->is_idle();
            });
        }
    };

    // A loopback Axis camera driven natively.
    struct NativeRig
    {
        HttpServer server{axisAnswer};
        Canvas canvas;
        QImage frame = solid(kFrameW, kFrameH, kBackground);
        RecordingAxis* driver = nullptr;

        bool start()
        {
            setUpDisplay(canvas, frame, QString());
            driver = new RecordingAxis("http", "127.0.0.1", QString::number(server.port()), "root", "pass", "1");
            canvas.set_native_ptz(driver); // the display deletes it
            if (!zrtest::waitUntil([&] { return driver->is_probe_done() && driver->has_answered(); }, 15000))
                return false;
            canvas.set_native_ptz_enabled(true);
            canvas.connect_ptz_driver();
            shot(canvas); // the ring is placed as it is drawn
            return true;
        }
        QStringList sent() const { return targets(server, "/axis-cgi/com/ptz.cgi"); }
        bool sentEventually(const QString& query) const
        {
            const QString full = "/axis-cgi/com/ptz.cgi?" + query;
            return zrtest::waitUntil([&] { return sent().contains(full); }, 10000);
        }
        // The driver has answered everything and the display waits for nothing.
        bool settled() const
        {
            return zrtest::waitUntil([&] { return driver->has_answered() && !driver->has_held_back_request() && canvas.is_ptz_idle(); }, 10000);
        }
    };

private slots:
    // Press and hold toward the top-right corner: the hold request aims at the frame point,
    // holding still sends nothing more, the arrow and the red cross show, and the release stops.
    void webHoldTowardACorner()
    {
        WebRig rig;
        QImage before = shot(rig.canvas);
        const QPoint onCross(kWidgetW / 2 + 6, kWidgetH / 2);
        QVERIFY(around(before, onCross, greenish));
        QVERIFY(!around(before, onCross, reddish));

        press(rig.canvas, QPointF(600, 40));
        QVERIFY(rig.sentEventually("&holdclic=300,20&resolution=320x240&PHPSESSID=s1"));
        QVERIFY(rig.canvas.get_ptz_control().is_hold_active());
        QCOMPARE(rig.canvas.get_ptz_control().get_last_sent_point(), QPoint(600, 40));
        QVERIFY(rig.idle());
        // Ticks go on; the same point is not sent again.
        QTest::qWait(600);
        QCOMPARE(rig.sent().count(), 1);

        QImage held = shot(rig.canvas);
        // The arrow's head sits at the held point, pointing at the centre; the cross is red.
        const double len = std::hypot(320.0 - 600.0, 240.0 - 40.0);
        const QPoint inHead(int(600 + 6 * (320 - 600) / len), int(40 + 6 * (240 - 40) / len));
        QVERIFY2(reddish(held.pixel(inHead)), qPrintable(QColor(held.pixel(inHead)).name()));
        QVERIFY(around(held, onCross, reddish));
        QVERIFY(count(held, QRect(400, 100, 120, 120), reddish) > 20); // the dash-dot line between

        release(rig.canvas, QPointF(600, 40));
        QVERIFY(!rig.canvas.get_ptz_control().is_hold_active());
        QVERIFY(rig.sentEventually("&releaseclic=0,0&resolution=320x240&PHPSESSID=s1"));
        QVERIFY(zrtest::waitUntil([&] { return rig.canvas.get_ptz_control().get_stop_retries() == 10; }));
        QImage after = shot(rig.canvas);
        QVERIFY(!reddish(after.pixel(inHead)));
        QVERIFY(around(after, onCross, greenish));
    }

    // Leaving the widget during a hold sends the release at once.
    void webHoldEndsWhenThePointerLeaves()
    {
        WebRig rig;
        press(rig.canvas, QPointF(100, 400));
        QVERIFY(rig.sentEventually("&holdclic=50,200&resolution=320x240&PHPSESSID=s1"));
        QVERIFY(rig.idle());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&rig.canvas, &leave);
        QVERIFY(!rig.canvas.get_ptz_control().is_hold_running());
        QVERIFY(rig.sentEventually("&releaseclic=0,0&resolution=320x240&PHPSESSID=s1"));
    }

    // Dragging a rectangle draws it while dragged and asks for that area in frame pixels.
    void webAreaDrag()
    {
        WebRig rig;
        zrtest::LogCatcher log;
        areaDrag(rig.canvas, QPoint(100, 100), QPoint(300, 260));
        QVERIFY(!rig.canvas.get_ptz_control().is_hold_running());
        QVERIFY(log.contains("[INFO] Plugin::Timer Hold stop"));
        QCOMPARE(rig.canvas.get_ptz_rectangle(), QRect(100, 100, 200, 160));
        QImage dragged = shot(rig.canvas);
        QVERIFY(count(dragged, QRect(98, 110, 5, 140), greenish) > 40);  // left edge
        QVERIFY(count(dragged, QRect(110, 258, 180, 5), greenish) > 60); // bottom edge
        QVERIFY(count(dragged, QRect(150, 150, 100, 60), greenish) == 0); // hollow

        release(rig.canvas, QPointF(300, 260));
        QVERIFY(rig.sentEventually("&area=50,50,100,80&resolution=320x240&PHPSESSID=s1"));
        QCOMPARE(rig.canvas.get_ptz_rectangle(), QRect(0, 0, 0, 0));
        QVERIFY(count(shot(rig.canvas), QRect(98, 110, 5, 140), greenish) == 0);
    }

    // A drag that stays under 5 x 5 frame pixels asks for nothing.
    void webTinyAreaSendsNothing()
    {
        WebRig rig;
        // A quarter: the smallest rectangle drawn (10 px) is 2 frame pixels.
        rig.canvas.resize(1280, 960);
        shot(rig.canvas);
        areaDrag(rig.canvas, QPoint(200, 200), QPoint(206, 206));
        QCOMPARE(rig.canvas.get_ptz_rectangle(), QRect(200, 200, 10, 10));
        release(rig.canvas, QPointF(206, 206));
        QVERIFY(!rig.canvas.get_ptz_control().is_area_dragging());
        QVERIFY(!rig.canvas.get_ptz_control().is_click_scheduled());
        // A click that follows is sent, and nothing before it.
        press(rig.canvas, QPointF(400, 400));
        release(rig.canvas, QPointF(400, 400));
        QVERIFY(rig.sentEventually("&clic=100,100&resolution=320x240&PHPSESSID=s1"));
        QCOMPARE(rig.sent().count(), 1);
    }

    // A quick click asks to centre on the frame point after the click delay.
    void webClickToCentre()
    {
        WebRig rig;
        zrtest::LogCatcher log;
        press(rig.canvas, QPointF(480, 120));
        release(rig.canvas, QPointF(481, 121));
        QVERIFY(rig.canvas.get_ptz_control().is_click_scheduled());
        QVERIFY(rig.sentEventually("&clic=240,60&resolution=320x240&PHPSESSID=s1"));
        QVERIFY(log.contains("[INFO] Plugin [cam7] :: mouse release post event :: ptz ctrl web : post clic"));
        QVERIFY(!rig.canvas.get_ptz_control().is_click_scheduled());

        // With the picture centred at its own size, the margins are left out.
        QVERIFY(rig.idle());
        rig.canvas.set_keep_aspect_ratio(true);
        shot(rig.canvas);
        QCOMPARE(rig.canvas.get_image_rect(), QRect(160, 120, 320, 240));
        press(rig.canvas, QPointF(400, 180));
        release(rig.canvas, QPointF(400, 180));
        QVERIFY(rig.sentEventually("&clic=240,60&resolution=320x240&PHPSESSID=s1", 2));
        // A press in the margin is no gesture.
        press(rig.canvas, QPointF(100, 100));
        release(rig.canvas, QPointF(100, 100));
        QVERIFY(!rig.canvas.get_ptz_control().is_click_scheduled());
    }

    // A double click drops the pending click, and the release that ends it sends none.
    void webDoubleClickSendsNoClick()
    {
        WebRig rig;
        doubleClick(rig.canvas, QPointF(480, 120));
        QVERIFY(!rig.canvas.get_ptz_control().is_click_scheduled());
        // The next single click is sent as usual (and is the only request).
        press(rig.canvas, QPointF(160, 360));
        release(rig.canvas, QPointF(160, 360));
        QVERIFY(rig.sentEventually("&clic=80,180&resolution=320x240&PHPSESSID=s1"));
        QCOMPARE(rig.sent().count(), 1);
    }

    void webRightClick()
    {
        WebRig rig;
        zrtest::LogCatcher log;
        press(rig.canvas, QPointF(200, 200), Qt::RightButton);
        QVERIFY(rig.sentEventually("&rightclic=1&resolution=320x240&PHPSESSID=s1"));
        QVERIFY(log.contains("[INFO] Plugin [cam7] :: PtzCtrlWeb :: postRightClic"));
        // Without "rightclic" among the gestures nothing is asked.
        QVERIFY(rig.idle());
        rig.canvas.set_gesture_events({"holdclic"});
        press(rig.canvas, QPointF(200, 200), Qt::RightButton);
        QTest::qWait(300);
        QCOMPARE(rig.sent().count(), 1);
    }

    // Wheel up zooms in, down zooms out, at most one request per half second.
    void webWheel()
    {
        WebRig rig;
        wheel(rig.canvas, QPointF(320, 240), 120);
        QVERIFY(!rig.canvas.get_ptz_control().is_wheel_armed());
        wheel(rig.canvas, QPointF(320, 240), 120);
        QVERIFY(rig.sentEventually("&zoom=1,0&resolution=320x240&PHPSESSID=s1"));
        QVERIFY(zrtest::waitUntil([&] { return rig.canvas.get_ptz_control().is_wheel_armed(); }));
        QCOMPARE(rig.sent().count(), 1);
        wheel(rig.canvas, QPointF(320, 240), -120);
        QVERIFY(rig.sentEventually("&zoom=0,1&resolution=320x240&PHPSESSID=s1"));
        QCOMPARE(rig.sent().count(), 2);
        // The digital zoom stays out of it.
        QCOMPARE(rig.canvas.get_zoom_level(), 0);
    }

    // A release refused behind a pending hold request comes back as the security stop.
    void webSecurityStopAfterARefusedRelease()
    {
        WebRig rig;
        HttpReply slow = HttpReply::text("ok");
        slow.delayMs = 300;
        rig.server.route("/ptz.php", slow);
        press(rig.canvas, QPointF(600, 40));
        QVERIFY(rig.sentEventually("&holdclic=300,20&resolution=320x240&PHPSESSID=s1"));
        QSignalSpy security(rig.canvas.get_ptz_control().web_controller(), &PtzCtrlWeb::security_stop);
        release(rig.canvas, QPointF(600, 40)); // refused: the hold is still pending
        QVERIFY(zrtest::waitForSignals(security, 1, 10000));
        QVERIFY(rig.sentEventually("&releaseclic=0,0&resolution=320x240&PHPSESSID=s1"));
    }

    // The native driver: each gesture reaches the Axis camera as its command.
    void nativeHoldTowardACorner()
    {
        NativeRig rig;
        QVERIFY(rig.start());
        QVERIFY(rig.settled());
        QImage before = shot(rig.canvas);
        // The ring around the centre, and nothing inside it.
        QVERIFY(around(before, QPoint(kWidgetW / 2 + 20, kWidgetH / 2), greenish));
        QVERIFY(around(before, QPoint(kWidgetW / 2, kWidgetH / 2 - 20), greenish));
        QVERIFY(!greenish(before.pixel(kWidgetW / 2 + 6, kWidgetH / 2)));

        press(rig.canvas, QPointF(600, 40));
        // (300 - 160) * 100 / 240 = 58.3 right, (120 - 20) * 100 / 240 = 41.7 up.
        QVERIFY(rig.sentEventually("continuouspantiltmove=58,42&camera=1"));
        QVERIFY(rig.settled());
        QTest::qWait(400);
        QCOMPARE(rig.driver->countOf("ContinuousMove", 58, 42, 0), 1);
        QImage held = shot(rig.canvas);
        const double len = std::hypot(320.0 - 600.0, 240.0 - 40.0);
        const QPoint inHead(int(600 + 6 * (320 - 600) / len), int(40 + 6 * (240 - 40) / len));
        QVERIFY(reddish(held.pixel(inHead)));
        QVERIFY(!reddish(held.pixel(kWidgetW / 2 + 6, kWidgetH / 2 - 4))); // the line stops at the ring

        // The release stops the camera: the stop and its ten retries reach the driver (which
        // may repeat a held-back one itself), the camera hears at least one.
        const int before_stop = rig.driver->countOf("ContinuousMove", 0, 0, 0);
        release(rig.canvas, QPointF(600, 40));
        QVERIFY(zrtest::waitUntil([&] { return rig.driver->countOf("ContinuousMove", 0, 0, 0) - before_stop >= 11; }));
        QVERIFY(zrtest::waitUntil([&] { return rig.canvas.get_ptz_control().get_stop_retries() == 10; }));
        QVERIFY(rig.sentEventually("continuouspantiltmove=0,0&continuouszoommove=0&camera=1"));
        QVERIFY(rig.settled());
        const int stops = rig.driver->calls.size();
        QTest::qWait(300);
        QCOMPARE(rig.driver->calls.size(), stops);
    }

    // Leaving the widget during a hold stops the camera 150 ms later.
    void nativeHoldEndsWhenThePointerLeaves()
    {
        NativeRig rig;
        QVERIFY(rig.start());
        QVERIFY(rig.settled());
        zrtest::LogCatcher log;
        press(rig.canvas, QPointF(40, 440));
        QVERIFY(rig.sentEventually("continuouspantiltmove=-58,-42&camera=1"));
        QVERIFY(rig.settled());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&rig.canvas, &leave);
        QVERIFY(log.waitFor("[INFO] Plugin [cam7] :: MOUSE HOLD STOP"));
        QVERIFY(!rig.canvas.get_ptz_control().is_hold_active());
        QVERIFY(!rig.canvas.get_ptz_control().is_hold_running());
        QVERIFY(rig.sentEventually("continuouspantiltmove=0,0&continuouszoommove=0&camera=1"));
    }

    // A failed request is followed 500 ms later by a pan-tilt stop, the code 2 by the security
    // stop; neither while a gesture's timer runs.
    void nativeSecurityMoves()
    {
        NativeRig rig;
        std::atomic<bool> drop{false};
        rig.server.setHandler([&](const HttpRequest& r) {
            if (drop && r.path == "/axis-cgi/com/ptz.cgi") {
                HttpReply gone;
                gone.closeWithoutReply = true;
                return gone;
            }
            return axisAnswer(r);
        });
        QVERIFY(rig.start());
        QVERIFY(rig.settled());
        zrtest::LogCatcher log;

        drop = true;
        rig.canvas.pluginptz("5,5,0", "absolute", "1");
        QVERIFY(zrtest::waitUntil([&] { return rig.driver->calls.last().name == "PanTilt_ContinuousMove"; }, 10000));
        QCOMPARE(rig.canvas.get_ptz_message_status(), -2); // the failure is shown
        drop = false;
        QVERIFY(rig.sentEventually("continuouspantiltmove=0,0&continuouszoommove=0&camera=1"));
        QVERIFY(rig.settled());

        rig.canvas.onvif_request_finished(2);
        QVERIFY(log.waitFor("[INFO] Plugin [cam7] :: send security stop"));
        QCOMPARE(rig.driver->calls.last().name, QString("STOP_PanTilt_ContinuousMove"));
        QVERIFY(rig.settled());

        // While the wheel's pause runs, a finished request asks for nothing more.
        log.clear();
        wheel(rig.canvas, QPointF(320, 240), 120);
        rig.canvas.onvif_request_finished(2);
        rig.canvas.onvif_request_finished(-1);
        const int calls = rig.driver->calls.size();
        QVERIFY(zrtest::waitUntil([&] { return rig.canvas.get_ptz_control().is_wheel_armed(); }));
        QVERIFY(log.waitFor("[INFO] Plugin [cam7] :: send security stop")); // the wheel's own, at 750 ms
        QCOMPARE(rig.driver->calls.size(), calls + 1);
    }

    // Small offsets still move (1 to 4 become 1); the centre moves nothing.
    void nativeHoldSmallOffsets()
    {
        NativeRig rig;
        QVERIFY(rig.start());
        QVERIFY(rig.settled());
        // 3 % of 240 right of the centre (7.2 frame px = 14.4 widget px), 7 % above.
        press(rig.canvas, QPointF(320 + 14.4 + 0.5, 240 - 33.6 - 0.5));
        QVERIFY(zrtest::waitUntil([&] { return rig.driver->countOf("ContinuousMove", 1, 7, 0) == 1; }));
        release(rig.canvas, QPointF(335, 206));
        QVERIFY(rig.settled());
        QVERIFY(zrtest::waitUntil([&] { return rig.canvas.get_ptz_control().get_stop_retries() == 10; }));
        QVERIFY(rig.settled());
        // A hold in the ring aims at the centre itself and asks for no move.
        const int moves = rig.driver->calls.size();
        press(rig.canvas, QPointF(325, 236));
        QCOMPARE(rig.canvas.get_ptz_control().get_hold_point(), QPoint(320, 240));
        QVERIFY(zrtest::waitUntil([&] { return rig.canvas.get_ptz_control().is_hold_active(); }));
        QTest::qWait(300);
        QCOMPARE(rig.driver->calls.size(), moves + 1);
        QCOMPARE(rig.driver->calls.last().name, QString("ContinuousMove"));
        QCOMPARE(rig.driver->calls.last().x, 0.0f);
        QCOMPARE(rig.driver->calls.last().y, 0.0f);
        release(rig.canvas, QPointF(325, 236));
    }

    void nativeAreaClickRightClickWheel()
    {
        NativeRig rig;
        QVERIFY(rig.start());
        QVERIFY(rig.settled());
        zrtest::LogCatcher log;

        // Area (50,50 100x80 in the frame): its centre and min(240/80, 320/100) = 3 as 300 %.
        areaDrag(rig.canvas, QPoint(100, 100), QPoint(300, 260));
        QVERIFY(count(shot(rig.canvas), QRect(98, 110, 5, 140), greenish) > 40);
        release(rig.canvas, QPointF(300, 260));
        QVERIFY(rig.sentEventually("areazoom=100,90,300&imagewidth=320&imageheight=240&camera=1"));
        const RecordingAxis::Call area = rig.driver->calls.last();
        QCOMPARE(area.name, QString("area"));
        QCOMPARE(area.w, 100);
        QCOMPARE(area.h, 80);
        QVERIFY(rig.settled());

        press(rig.canvas, QPointF(480, 120));
        release(rig.canvas, QPointF(480, 120));
        QVERIFY(rig.sentEventually("center=240,60&imagewidth=320&imageheight=240&camera=1"));
        QVERIFY(log.contains("[INFO] Plugin [cam7] :: mouse release post event :: ptz ctrl native : post clic 240, 60"));
        QVERIFY(rig.settled());

        press(rig.canvas, QPointF(200, 200), Qt::RightButton);
        QVERIFY(rig.sentEventually("move=home&camera=1"));
        QVERIFY(rig.settled());

        // Wheel: a zoom at half speed, then the security stop 750 ms later.
        wheel(rig.canvas, QPointF(320, 240), 120);
        QVERIFY(rig.sentEventually("continuouszoommove=50&camera=1"));
        QVERIFY(log.waitFor("[INFO] Plugin [cam7] :: send security stop", 10000));
        QCOMPARE(rig.driver->calls.last().name, QString("STOP_PanTilt_ContinuousMove"));
        QVERIFY(zrtest::waitUntil([&] { return rig.canvas.get_ptz_control().is_wheel_armed(); }));
        QVERIFY(rig.settled());
        wheel(rig.canvas, QPointF(320, 240), -120);
        QVERIFY(rig.sentEventually("continuouszoommove=-50&camera=1"));
    }

    // The driver's status line: shown when the driver connects, gone 3 s later.
    void statusLineShowsAndGoes()
    {
        NativeRig rig;
        zrtest::LogCatcher log;
        QVERIFY(rig.start());
        QVERIFY(log.contains("[INFO] Plugin [cam7] :: connect ptz driver"));
        QVERIFY(log.contains("[INFO] Plugin [cam7] :: get direct PTZ message { AXIS} starting / starting / 1"));
        QCOMPARE(rig.canvas.get_ptz_message_text(0), QString("ON"));
        QCOMPARE(rig.canvas.get_ptz_message_text(1), rig.driver->get_capabilities());
        // Green text below the time line, at the picture's top-left.
        const QRect line(2, 16 * 2 + 14, 300, 20);
        QVERIFY(count(shot(rig.canvas), line, greenish) > 20);
        QVERIFY(zrtest::waitUntil([&] { return rig.canvas.get_ptz_message_text(1).isEmpty(); }, 10000));
        QCOMPARE(rig.canvas.get_ptz_message_text(2), QString("AXIS"));
        QCOMPARE(count(shot(rig.canvas), line, greenish), 0);

        // A refused command shows in red; a camera without pan-tilt-zoom switches it off.
        rig.canvas.get_direct_ptz_message(-2, "GotoPreset", "timeout", "AXIS");
        QVERIFY(count(shot(rig.canvas), line, reddish) > 20);
        rig.canvas.get_direct_ptz_message(1, "Probe", "no-ptz camera", "AXIS");
        QVERIFY(!rig.canvas.is_ptz_enabled());
        QVERIFY(!rig.driver->is_ptz_enabled());
        QCOMPARE(rig.canvas.get_ptz_message_status(), -1);
        QImage off = shot(rig.canvas);
        QVERIFY(count(off, line, reddish) > 20);
        QVERIFY(!around(off, QPoint(kWidgetW / 2 + 20, kWidgetH / 2), greenish)); // no ring any more
    }

    // A newer message is shown for its own full time.
    void newerMessageKeepsItsTime()
    {
        WebRig rig;
        rig.canvas.get_direct_ptz_message(0, "Zoom", "slow", "HIK");
        QElapsedTimer clock;
        QTest::qWait(1500);
        rig.canvas.get_direct_ptz_message(0, "Zoom", "slower", "HIK");
        clock.start();
        QVERIFY(zrtest::waitUntil([&] { return rig.canvas.get_ptz_message_text(1).isEmpty(); }, 10000));
        // The first message's clock would have cleared it about 1.5 s after the second.
        QVERIFY2(clock.elapsed() >= 2500, qPrintable(QString::number(clock.elapsed())));
    }

    void statusLines_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("-2 unsupported") << -2 << "Zoom" << "not supported here" << "[ERROR] D ptz ctrl : command Zoom not supported" << QColor(Qt::red);
        QTest::newRow("-2") << -2 << "Zoom" << "timeout" << "[ERROR] D ptz ctrl : timeout" << QColor(Qt::red);
        QTest::newRow("-1 unsupported") << -1 << "Zoom" << "not supported" << "[ERROR] D ptz ctrl : OFF (command Zoom not supported)" << QColor(Qt::red);
        QTest::newRow("-1") << -1 << "Zoom" << "no-ptz" << "[ERROR] D ptz ctrl : OFF (no-ptz)" << QColor(Qt::red);
        QTest::newRow("0 unsupported") << 0 << "C" << "not supported" << "[WARNING] D ptz ctrl : ON (command C not supported)" << QColor("orange");
        QTest::newRow("0") << 0 << "C" << "slow" << "[WARNING] D ptz ctrl : ON (slow)" << QColor("orange");
        QTest::newRow("1 starting") << 1 << "starting" << "starting" << "D ptz ctrl : starting ..." << QColor(Qt::green);
        QTest::newRow("1 on") << 1 << "ON" << "not supported" << "[OK] D ptz ctrl : ON (not supported)" << QColor(Qt::green);
        QTest::newRow("-99") << -99 << "C" << "gone" << "" << QColor();
        QTest::newRow("5") << 5 << "C" << "F" << "" << QColor();
    }

    void statusLines()
    {
        QFETCH(int, status);
        QFETCH(QString, command);
        QFETCH(QString, fault);
        QFETCH(QString, text);
        QFETCH(QColor, colour);
        const PtzMarks::StatusLine line = PtzMarks::status_line(status, command, fault, "D");
        QCOMPARE(line.text, text);
        if (!text.isEmpty())
            QCOMPARE(line.colour, colour);
    }

    // Status -99 switches the control off and shows nothing; an empty fault is kept, not drawn.
    void messagesThatShowNothing()
    {
        WebRig rig;
        const QRect line(2, 16 * 2 + 14, 300, 20);
        rig.canvas.get_direct_ptz_message(-99, "Probe", "gone", "D");
        QVERIFY(!rig.canvas.is_ptz_enabled());
        QImage img = shot(rig.canvas);
        QCOMPARE(count(img, line, reddish) + count(img, line, greenish), 0);
        rig.canvas.set_ptz_enabled(true);
        rig.canvas.get_direct_ptz_message(1, "ON", "", "D");
        QCOMPARE(rig.canvas.get_ptz_message_text(0), QString("ON"));
        QCOMPARE(count(shot(rig.canvas), line, greenish), 0);
    }

    // The head's corners, from the drawing's own constants, for a few directions.
    void arrowHead_data()
    {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::newRow("right") << QPoint(100, 100) << QPoint(200, 100);
        QTest::newRow("up-left") << QPoint(600, 40) << QPoint(320, 240);
        QTest::newRow("down") << QPoint(50, 10) << QPoint(50, 300);
        QTest::newRow("left-up") << QPoint(300, 300) << QPoint(100, 200);
    }

    void arrowHead()
    {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        const QPolygonF head = PtzMarks::arrow_head(from, to);
        QCOMPARE(head.size(), 3);
        QCOMPARE(head.at(0), QPointF(from));
        // Both corners 12 px from the tip, about 30 degrees either side of the line.
        const QPointF dir = QPointF(to - from) / std::hypot(double(to.x() - from.x()), double(to.y() - from.y()));
        for (int i = 1; i < 3; ++i) {
            const QPointF v = head.at(i) - QPointF(from);
            QVERIFY(std::abs(std::hypot(v.x(), v.y()) - 12.0) < 1e-6);
            const double along = (v.x() * dir.x() + v.y() * dir.y()) / 12.0;
            QVERIFY2(std::abs(along - std::cos(0.5236)) < 0.01, qPrintable(QString::number(along)));
        }
        QVERIFY(PtzMarks::arrow_head(from, from).isEmpty());
    }

    // Host commands for the native driver: a zoom action, a relative move with its
    // security stop, and nothing without a ready driver.
    void hostCommands()
    {
        NativeRig rig;
        QVERIFY(rig.start());
        QVERIFY(rig.settled());
        zrtest::LogCatcher log;
        rig.canvas.pluginptz("zoomin", "continuous", "5");
        QCOMPARE(rig.driver->calls.last().name, QString("zoomin"));
        QVERIFY(rig.driver->calls.last().zoom_only);
        QVERIFY(rig.settled());
        rig.canvas.pluginptz("10,-20,0", "relative", "5");
        QVERIFY(log.contains("[INFO] Plugin [cam7] :: pluginptz :: ContinuousMove :: 10 / -20 / 0"));
        QVERIFY(rig.sentEventually("continuouspantiltmove=10,-20&camera=1"));
        QVERIFY(log.waitFor("[INFO] Plugin [cam7] :: send security stop", 10000));
        QVERIFY(rig.settled());
        rig.canvas.pluginptz("0,0,30", "absolute", "5");
        QVERIFY(rig.driver->calls.last().zoom_only);
        QCOMPARE(rig.driver->calls.last().z, 30.0f);
        const int calls = rig.driver->calls.size();
        rig.canvas.pluginptz("", "relative", "5");
        rig.canvas.pluginptz("1,2", "", "5");
        rig.canvas.pluginptz("home", "relative", "5");
        rig.canvas.set_native_ptz_enabled(false);
        rig.canvas.pluginptz("zoomin", "continuous", "5");
        QCOMPARE(rig.driver->calls.size(), calls);
    }
};

ZR_TEST_MAIN_GUI(TestCanvasPtz)
#include "tst_canvas_ptz.moc"
