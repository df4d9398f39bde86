#include "display/PtzControl.h"

#include "app/Log.h"
#include "display/Canvas.h"
#include "ptz/NativePTZInterface.h"
#include "ptz/PtzCtrlWeb.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kHoldStartMs = 250;
constexpr int kHoldMovingMs = 150;
constexpr int kHoldBusyMs = 20;
constexpr int kBusyTickLimit = 50;
constexpr int kLeaveStopMs = 150;
constexpr int kClickDelayMs = 150;
constexpr int kWheelPauseMs = 500;
constexpr int kWheelPollMs = 25;
constexpr int kSecurityMs = 500;
constexpr int kSecurityStopMs = 750;
constexpr int kStopRetryLimit = 10;
constexpr int kMessageMs = 3000;
const QPoint kNoPoint(-9999, -9999);

// Halves away from zero.
int round_away(double v)
{
    return int(std::lround(v));
}

// A small move still moves: 1 to 4 (either sign) becomes 1.
int at_least_one(int v)
{
    if (v > -5 && v < 0)
        return -1;
    if (v > 0 && v < 5)
        return 1;
    return v;
}
} // namespace

PtzControl::PtzControl(Canvas& c)
    : canvas(c)
{
    hold_timer = new QTimer(this);
    wheel_timer = new QTimer(this);
    wheel_timer->setSingleShot(true);
    connect(hold_timer, &QTimer::timeout, this, &PtzControl::mousehold);
    connect(wheel_timer, &QTimer::timeout, this, &PtzControl::setWheelOn);
    message_timer = new QTimer(this);
    message_timer->setSingleShot(true);
    connect(message_timer, &QTimer::timeout, this, &PtzControl::reset_direct_ptz_message);
}

PtzControl::~PtzControl()
{
    // Its replies are dropped with it; no slot of ours runs once we are gone.
    delete ptz_web;
    ptz_web = nullptr;
}

void PtzControl::log_info(const QString& text) const
{
    write_log(QStringLiteral("[INFO] Plugin [") + canvas.display_id + QStringLiteral("] :: ") + text);
}

bool PtzControl::is_hold_running() const
{
    return hold_timer->isActive();
}

bool PtzControl::native_ready() const
{
    return canvas.native_ptz_enabled && canvas.native_ptz && canvas.native_ptz->is_ready()
        && canvas.native_ptz->is_ptz_enabled();
}

bool PtzControl::dead_zone_contains(QPointF p) const
{
    return !dead_zone.rect().isEmpty() && dead_zone.contains(p);
}

PtzCtrlWeb* PtzControl::web()
{
    if (!ptz_web) {
        ptz_web = new PtzCtrlWeb();
        connect(ptz_web, &PtzCtrlWeb::security_stop, this, &PtzControl::zrptz_request_security_stop);
    }
    return ptz_web;
}

void PtzControl::command(const QString& name, bool zoom_only, float x, float y, float z, int w, int h)
{
    canvas.native_ptz->send_command(name, zoom_only, x, y, z, canvas.codec_width, canvas.codec_height,
                                    canvas.get_ptz_speed(), w, h);
}

QPointF PtzControl::frame_point(QPointF p) const
{
    const float sx = float(canvas.codec_width) / float(canvas.width());
    const float sy = float(canvas.codec_height) / float(canvas.height());
    return QPointF(float(p.x()) * sx, float(p.y()) * sy);
}

// ---- hold ----

void PtzControl::press(QPointF p)
{
    release_of_double_click = false;
    hold_pressed = true;
    hold_active = false;
    if (canvas.gesture_events.contains(QStringLiteral("holdclic")))
        start_hold(p);
}

void PtzControl::start_hold(QPointF p)
{
    hold_timer->setInterval(kHoldStartMs);
    disconnect(hold_timer, &QTimer::timeout, this, &PtzControl::mousehold_Stop);
    disconnect(hold_timer, &QTimer::timeout, this, &PtzControl::mousehold);
    connect(hold_timer, &QTimer::timeout, this, &PtzControl::mousehold);
    hold_timer->setSingleShot(false);
    hold_timer->start();
    hold_point = QPoint(int(p.x()), int(p.y()));
    if (native_ready() && dead_zone_contains(hold_point))
        hold_point = QPoint(int(canvas.width() * 0.5), int(canvas.height() * 0.5));
}

void PtzControl::mousehold()
{
    hold_pressed = false;
    hold_active = true;
    canvas.ptz_rectangle = QRect(0, 0, 0, 0);
    canvas.update();
    if (canvas.width() <= 0 || canvas.height() <= 0)
        return;
    const int fw = canvas.codec_width;
    const int fh = canvas.codec_height;
    const QPointF f = frame_point(hold_point);
    if (native_ready()) {
        hold_moving = true;
        if (hold_point.x() < 0 && hold_point.y() < 0) {
            hold_active = false;
            native_continuous_move(-10000, -10000);
            return;
        }
        if (hold_point == last_sent_point)
            return;
        const int m = std::min(fw, fh);
        if (m <= 0)
            return;
        const float fx = float(f.x());
        const float fy = float(f.y());
        const int pan = at_least_one(round_away((fx - float(fw / 2)) * 100.0f / float(m)));
        const int tilt = at_least_one(round_away(-((fy - float(fh / 2)) * 100.0f / float(m))));
        native_continuous_move(pan, tilt);
        return;
    }
    if (hold_point == last_sent_point)
        return;
    if (web()->postContinuous(canvas.ptz_url, true, f.x(), f.y(), fw, fh, canvas.ptz_session_id) > 0)
        last_sent_point = hold_point;
}

void PtzControl::native_continuous_move(int pan, int tilt)
{
    if (pan < -9999 && tilt < -9999) {
        canvas.ptz_idle = true;
        canvas.ptz_busy_ticks = 0;
        hold_timer->stop();
        last_sent_point = kNoPoint;
        last_move = kNoPoint;
        hold_moving = false;
        if (native_ready())
            command(QStringLiteral("ContinuousMove"), false, 0, 0, 0);
        return;
    }
    if (canvas.ptz_idle) {
        if (QPoint(pan, tilt) == last_move)
            return;
        last_sent_point = hold_point;
        canvas.ptz_idle = false;
        last_move = QPoint(pan, tilt);
        if (hold_timer->isActive() && native_ready())
            command(QStringLiteral("ContinuousMove"), false, float(pan), float(tilt), 0);
        if (hold_timer->isActive())
            hold_timer->setInterval(kHoldMovingMs);
        return;
    }
    // A request is pending: look again soon, and stop waiting after about a second.
    if (hold_timer->isActive())
        hold_timer->setInterval(kHoldBusyMs);
    if (++canvas.ptz_busy_ticks > kBusyTickLimit) {
        canvas.ptz_busy_ticks = 0;
        canvas.ptz_idle = true;
    }
}

void PtzControl::cut_hold_short()
{
    if (!hold_timer->isActive() || !hold_pressed || canvas.width() <= 0 || canvas.height() <= 0)
        return;
    const double sx = double(canvas.codec_width) / canvas.width();
    const double sy = double(canvas.codec_height) / canvas.height();
    if (canvas.ptz_rectangle.width() * sx > 5 && canvas.ptz_rectangle.height() * sy > 5) {
        hold_timer->stop();
        write_log("[INFO] Plugin::Timer Hold stop");
    }
}

void PtzControl::stop_hold_timer()
{
    hold_timer->stop();
}

void PtzControl::post_web_release(QPoint sent_after)
{
    if (web()->postContinuous(canvas.ptz_url, false, 0, 0, canvas.codec_width, canvas.codec_height,
                              canvas.ptz_session_id)
        > 0)
        last_sent_point = sent_after;
}

void PtzControl::leave_hold()
{
    if (native_ready()) {
        hold_timer->setSingleShot(true);
        disconnect(hold_timer, &QTimer::timeout, this, nullptr);
        connect(hold_timer, &QTimer::timeout, this, &PtzControl::mousehold_Stop);
        hold_timer->start(kLeaveStopMs);
        return;
    }
    post_web_release(QPoint(0, 0));
}

void PtzControl::mousehold_Stop()
{
    hold_pressed = false;
    hold_active = true;
    canvas.ptz_rectangle = QRect(0, 0, 0, 0);
    log_info(QStringLiteral("MOUSE HOLD STOP"));
    if (native_ready()) {
        hold_active = false;
        hold_moving = true;
        native_continuous_move(-10000, -10000);
    }
    canvas.update();
}

// ---- stop ----

void PtzControl::stop_ptz_move(const char* reason)
{
    const bool retry = QByteArray(reason).startsWith("retry");
    if (retry && stop_retries >= kStopRetryLimit)
        return;
    stop_retries = retry ? stop_retries + 1 : 0;
    hold_timer->stop();
    hold_pressed = false;
    hold_active = false;
    canvas.ptz_rectangle = QRect(0, 0, 0, 0);
    hold_point = kNoPoint;
    last_sent_point = kNoPoint;
    last_move = kNoPoint;
    hold_moving = false;
    canvas.ptz_idle = true;
    canvas.ptz_busy_ticks = 0;
    if (native_ready())
        command(QStringLiteral("ContinuousMove"), false, 0, 0, 0);
    else
        web()->postContinuous(canvas.ptz_url, false, 0, 0, canvas.codec_width, canvas.codec_height,
                              canvas.ptz_session_id);
    // A stop may be lost behind a pending request: say it again, twice per stop.
    QTimer::singleShot(150, this, [this]() { stop_ptz_move("retry150ms"); });
    QTimer::singleShot(400, this, [this]() { stop_ptz_move("retry400ms"); });
    canvas.update();
}

// ---- area ----

void PtzControl::area_step(QPointF p)
{
    const double sx = double(canvas.codec_width) / canvas.width();
    const double sy = double(canvas.codec_height) / canvas.height();
    const QRect& r = canvas.ptz_rectangle;
    if (!hold_timer->isActive() && hold_pressed && r.width() * sx < 5 && r.height() * sy < 5) {
        // The pointer moved before the hold began and drew nothing: the press is a click.
        QMouseEvent release(QEvent::MouseButtonRelease, p, canvas.mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                            Qt::NoModifier, QPointingDevice::primaryPointingDevice());
        QCoreApplication::sendEvent(&canvas, &release);
        canvas.release_sent = true;
        return;
    }
    if (dead_zone_contains(hold_point))
        return;
    hold_pressed = true;
    area_dragging = true;
    update_ptz_rectangle(p);
    canvas.update();
}

void PtzControl::update_ptz_rectangle(QPointF p)
{
    const QPointF start = canvas.press_pos;
    const QPointF d = p - start;
    int x = int(start.x());
    int y = int(start.y());
    int w = 0;
    int h = 0;
    if (d.x() != 0 && d.y() != 0) {
        const int x2 = int(p.x());
        const int y2 = int(p.y());
        w = std::abs(x2 - x);
        h = std::abs(y2 - y);
        x = std::min(x, x2);
        y = std::min(y, y2);
    } else if (d.y() == 0) {
        w = int(d.x());
    } else {
        h = int(d.y());
    }
    const auto widen = [](int v) { return v >= 1 && v <= 9 ? 10 : (v >= -9 && v <= -1 ? -10 : v); };
    w = widen(w);
    h = widen(h);
    if (x + w > canvas.width())
        w = canvas.width() - x;
    if (y + h > canvas.height())
        h = canvas.height() - y;
    x = std::max(x, 0);
    y = std::max(y, 0);
    canvas.ptz_rectangle = QRect(x, y, w, h);
}

void PtzControl::finish_area()
{
    const int fw = canvas.codec_width;
    const int fh = canvas.codec_height;
    int mx = 0;
    int my = 0;
    if (canvas.keep_aspect_ratio) {
        mx = canvas.image_rect.x();
        my = canvas.image_rect.y();
    }
    const double base_w = canvas.width() - 2.0 * mx;
    const double base_h = canvas.height() - 2.0 * my;
    const auto reset = [this]() {
        canvas.ptz_rectangle = QRect(0, 0, 0, 0);
        area_dragging = false;
        hold_pressed = false;
        canvas.update();
    };
    if (base_w <= 0 || base_h <= 0 || fw <= 0 || fh <= 0) {
        reset();
        return;
    }
    const double sx = fw / base_w;
    const double sy = fh / base_h;
    // A drag to the left or upward spans the same area as its mirror.
    const QRect drawn = canvas.ptz_rectangle.normalized();
    const QRect r(int((drawn.x() - mx) * sx), int((drawn.y() - my) * sy), int(drawn.width() * sx),
                  int(drawn.height() * sy));
    if (r.width() < 5 && r.height() < 5) {
        if (!hold_pressed)
            schedule_click();
    } else if (native_ready()) {
        float ratio;
        if (r.width() == 0)
            ratio = float(fh) / float(r.height());
        else if (r.height() == 0)
            ratio = float(fw) / float(r.width());
        else
            ratio = std::min(float(fh) / float(r.height()), float(fw) / float(r.width()));
        const bool corner = canvas.native_ptz->driver_name.toUpper().contains(QStringLiteral("HANWHA"));
        const float px = corner ? float(r.x()) : float(r.x()) + float(r.width()) / 2.0f;
        const float py = corner ? float(r.y()) : float(r.y()) + float(r.height()) / 2.0f;
        command(QStringLiteral("area"), false, px, py, float(int(ratio * 100.0f)), r.width(), r.height());
    } else {
        web()->area(canvas.ptz_url, r, fw, fh, canvas.ptz_session_id);
    }
    reset();
}

// ---- click ----

void PtzControl::schedule_click()
{
    if (release_of_double_click) {
        release_of_double_click = false;
        return;
    }
    if (!click_timer) {
        click_timer = new QTimer(this);
        click_timer->setSingleShot(true);
        connect(click_timer, &QTimer::timeout, this, &PtzControl::mouse_release_post_event);
    }
    click_timer->start(kClickDelayMs);
}

void PtzControl::double_click()
{
    if (click_timer && click_timer->isActive()) {
        click_timer->stop();
        delete click_timer;
        click_timer = nullptr;
    }
    release_of_double_click = true;
}

void PtzControl::mouse_release_post_event()
{
    const int fw = canvas.codec_width;
    const int fh = canvas.codec_height;
    const QPointF p = canvas.press_pos;
    float x;
    float y;
    if (canvas.keep_aspect_ratio) {
        const int mx = canvas.image_rect.x();
        const int my = canvas.image_rect.y();
        x = float(p.x() - mx) * float(fw) / float(canvas.width() - 2 * mx);
        y = float(p.y() - my) * float(fh) / float(canvas.height() - 2 * my);
    } else {
        x = float(p.x()) * float(fw) / float(canvas.width());
        y = float(p.y()) * float(fh) / float(canvas.height());
    }
    if (std::isfinite(x) && std::isfinite(y)) {
        if (native_ready()) {
            log_info(QStringLiteral("mouse release post event :: ptz ctrl native : post clic ")
                     + QString::number(x, 'g', 6) + QStringLiteral(", ") + QString::number(y, 'g', 6));
            command(QStringLiteral("clic"), false, x, y, 0);
        } else {
            log_info(QStringLiteral("mouse release post event :: ptz ctrl web : post clic"));
            web()->clic(canvas.ptz_url, x, y, fw, fh, canvas.ptz_session_id);
        }
    }
    hold_pressed = false;
    if (click_timer) {
        click_timer->deleteLater();
        click_timer = nullptr;
    }
    canvas.update();
}

// ---- right click and wheel ----

void PtzControl::right_click()
{
    if (native_ready()) {
        command(QStringLiteral("right_clic"), false, 0, 0, 0);
    } else if (canvas.gesture_events.contains(QStringLiteral("rightclic"))) {
        log_info(QStringLiteral("PtzCtrlWeb :: postRightClic"));
        web()->postRightClic(canvas.ptz_url, canvas.codec_width, canvas.codec_height, canvas.ptz_session_id);
    }
}

void PtzControl::wheel_zoom(QWheelEvent* event)
{
    wheel_armed = false;
    if (wheel_timer->isActive())
        wheel_timer->stop();
    disconnect(wheel_timer, &QTimer::timeout, this, &PtzControl::setWheelOn);
    connect(wheel_timer, &QTimer::timeout, this, &PtzControl::setWheelOn);
    wheel_timer->setSingleShot(true);
    wheel_timer->start(kWheelPauseMs);
    const bool in = event->angleDelta().y() > 0 && !canvas.paused;
    if (native_ready()) {
        const float z = float(canvas.wheel_zoom_speed * 100.0);
        command(QStringLiteral("ContinuousMove"), true, 0, 0, in ? z : -z);
        start_security_stop();
    } else if (in) {
        web()->zoom(canvas.ptz_url, QStringLiteral("1"), QStringLiteral("0"), canvas.codec_width, canvas.codec_height,
                    canvas.ptz_session_id);
    } else {
        web()->zoom(canvas.ptz_url, QStringLiteral("0"), QStringLiteral("1"), canvas.codec_width, canvas.codec_height,
                    canvas.ptz_session_id);
    }
}

void PtzControl::setWheelOn()
{
    if (native_ready() && !canvas.ptz_idle) {
        log_info(QStringLiteral("wheelEvent :: Previous request not finished"));
        wheel_timer->setSingleShot(true);
        wheel_timer->start(kWheelPollMs);
        return;
    }
    wheel_armed = true;
    wheel_timer->stop();
}

// ---- native completion and security stops ----

void PtzControl::onvif_request_finished(int request_code)
{
    canvas.ptz_idle = true;
    canvas.ptz_busy_ticks = 0;
    if (hold_timer->isActive() || wheel_timer->isActive())
        return;
    if (request_code < 0)
        QTimer::singleShot(kSecurityMs, this, &PtzControl::onvif_request_security);
    else if (request_code == 2)
        QTimer::singleShot(kSecurityMs, this, &PtzControl::onvif_request_security_stop);
}

void PtzControl::onvif_request_security()
{
    if (hold_timer->isActive() || wheel_timer->isActive() || last_sent_point.x() >= 0 || last_sent_point.y() >= 0
        || !native_ready())
        return;
    canvas.ptz_idle = false;
    command(QStringLiteral("PanTilt_ContinuousMove"), false, 0, 0, 0);
    last_sent_point = kNoPoint;
    hold_moving = false;
}

void PtzControl::start_security_stop()
{
    if (!relative_move_timer) {
        relative_move_timer = new QTimer(this);
        relative_move_timer->setSingleShot(true);
        connect(relative_move_timer, &QTimer::timeout, this, &PtzControl::onvif_request_security_stop);
    }
    relative_move_timer->start(kSecurityStopMs);
}

void PtzControl::onvif_request_security_stop()
{
    if (hold_timer->isActive() || wheel_timer->isActive() || !native_ready())
        return;
    log_info(QStringLiteral("send security stop"));
    command(QStringLiteral("STOP_PanTilt_ContinuousMove"), false, 0, 0, 0);
    canvas.ptz_idle = false;
    last_sent_point = kNoPoint;
    hold_moving = false;
}

void PtzControl::zrptz_request_security_stop()
{
    post_web_release(QPoint(0, 0));
}

// ---- host commands and the driver ----

void PtzControl::pluginptz(QString action, QString type, QString sensibility)
{
    if (!native_ready())
        return;
    log_info(QStringLiteral("pluginptz : ") + action + QStringLiteral(" / ") + type + QStringLiteral(" / ")
             + sensibility);
    if (action.isEmpty() || type.isEmpty())
        return;
    if (action.contains(QStringLiteral("zoom"))) {
        command(action, true, 0, 0, 0);
        return;
    }
    if (!action.contains(QLatin1Char(',')))
        return;
    const QStringList parts = action.split(QLatin1Char(','));
    double pan = 0;
    double tilt = 0;
    double zoom = 0;
    if (parts.size() > 2) {
        pan = parts.at(0).toDouble();
        tilt = parts.at(1).toDouble();
        zoom = parts.at(2).toDouble();
    }
    log_info(QStringLiteral("pluginptz :: ContinuousMove :: ") + QString::number(pan, 'g', 6) + QStringLiteral(" / ")
             + QString::number(tilt, 'g', 6) + QStringLiteral(" / ") + QString::number(zoom, 'g', 6));
    command(QStringLiteral("ContinuousMove"), pan == 0 && tilt == 0 && zoom != 0, float(pan), float(tilt), float(zoom));
    if (type.contains(QStringLiteral("relative"))
        && !canvas.native_ptz->get_capabilities().contains(QStringLiteral("opticszoom")))
        start_security_stop();
}

void PtzControl::connect_ptz_driver()
{
    NativePTZInterface* driver = canvas.native_ptz;
    if (!driver)
        return;
    log_info(QStringLiteral("connect ptz driver"));
    // Every stream start connects again: one connection each, however often it restarts.
    connect(driver, &NativePTZInterface::send_request_finished, &canvas, &Canvas::onvif_request_finished,
            Qt::UniqueConnection);
    connect(driver, &NativePTZInterface::status_message, &canvas, &Canvas::get_direct_ptz_message,
            Qt::UniqueConnection);
    const QString name = driver->driver_name.toUpper();
    get_direct_ptz_message(1, QStringLiteral("starting"), QStringLiteral("starting"), name);
    if (!name.contains(QStringLiteral("ONVIF")))
        get_direct_ptz_message(1, QStringLiteral("ON"), driver->get_capabilities(), name);
}

void PtzControl::get_direct_ptz_message(int status, QString command_text, QString fault, QString driver)
{
    log_info(QStringLiteral("get direct PTZ message { ") + driver + QStringLiteral("} ") + command_text
             + QStringLiteral(" / ") + fault + QStringLiteral(" / ") + QString::number(status));
    canvas.ptz_message_texts[0] = command_text;
    canvas.ptz_message_texts[1] = fault;
    canvas.ptz_message_texts[2] = driver;
    canvas.ptz_message_status = status;
    const bool no_ptz = fault.contains(QStringLiteral("no-ptz"));
    if (status == -99 || no_ptz) {
        canvas.ptz_enabled = false;
        if (canvas.native_ptz)
            canvas.native_ptz->set_ptz_enabled(false);
        if (no_ptz)
            canvas.ptz_message_status = -1;
    }
    // Each message is shown for its full time: a newer one restarts the clock.
    message_timer->start(kMessageMs);
    canvas.update();
}

void PtzControl::reset_direct_ptz_message()
{
    canvas.ptz_message_texts[0].clear();
    canvas.ptz_message_texts[1].clear();
    canvas.update();
}
