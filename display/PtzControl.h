#pragma once

#include <QGraphicsEllipseItem>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QString>

class Canvas;
class PtzCtrlWeb;
class QTimer;
class QWheelEvent;

// Pan-tilt-zoom from the display: turns the widget's press-and-hold, area drag, click, right
// click and wheel into requests for the camera's web control page (PtzCtrlWeb) or for a ready
// native driver, stops moves with repeated stop requests, keeps the native driver's security
// stops and passes the driver's status messages to the widget. Works on the widget's display
// state; acts only while the widget's pan-tilt-zoom is switched on.
class PtzControl : public QObject
{
    Q_OBJECT
public:
    explicit PtzControl(Canvas& canvas);
    ~PtzControl() override;

    bool is_hold_pressed() const { return hold_pressed; }
    bool is_hold_active() const { return hold_active; }
    void set_hold_active(bool on) { hold_active = on; }
    bool is_area_dragging() const { return area_dragging; }
    bool is_wheel_armed() const { return wheel_armed; }
    // The hold timer runs (a press is being held, or a hold is under way).
    bool is_hold_running() const;
    QPoint get_hold_point() const { return hold_point; }
    QPoint get_last_sent_point() const { return last_sent_point; }
    bool is_click_scheduled() const { return click_timer != nullptr; }
    int get_stop_retries() const { return stop_retries; }
    PtzCtrlWeb* web_controller() const { return ptz_web; }

    // The native driver is set, switched on, ready and enabled.
    bool native_ready() const;
    bool dead_zone_contains(QPointF p) const;
    void set_dead_zone(QRect r) { dead_zone.setRect(r); }

    // Gestures, called by the widget's input handlers.
    void press(QPointF p);
    void cut_hold_short();
    void area_step(QPointF p);
    void update_ptz_rectangle(QPointF p);
    void finish_area();
    void schedule_click();
    // A double click drops the pending click, and its own release sends none.
    void double_click();
    void right_click();
    void wheel_zoom(QWheelEvent* event);
    void leave_hold();
    void stop_hold_timer();

    void stop_ptz_move(const char* reason);
    void native_continuous_move(int pan, int tilt);
    void connect_ptz_driver();

public slots:
    void mousehold();
    void mousehold_Stop();
    void mouse_release_post_event();
    void setWheelOn();
    void onvif_request_finished(int request_code);
    void onvif_request_security();
    void onvif_request_security_stop();
    void zrptz_request_security_stop();
    void pluginptz(QString action, QString type, QString sensibility);
    void get_direct_ptz_message(int status, QString command, QString fault, QString driver);
    void reset_direct_ptz_message();

private:
    void log_info(const QString& text) const;
    PtzCtrlWeb* web();
    void command(const QString& name, bool zoom_only, float x, float y, float z, int w = -1, int h = -1);
    void start_hold(QPointF p);
    void post_web_release(QPoint sent_after);
    // A zoom or relative move of the native driver is followed by a stop after 750 ms.
    void start_security_stop();
    QPointF frame_point(QPointF p) const;

    Canvas& canvas;
    PtzCtrlWeb* ptz_web = nullptr;
    QTimer* hold_timer = nullptr;
    QTimer* wheel_timer = nullptr;
    QTimer* click_timer = nullptr;
    QTimer* relative_move_timer = nullptr;
    QTimer* message_timer = nullptr;
    bool wheel_armed = true;
    bool hold_pressed = false;
    bool hold_active = false;
    bool hold_moving = false;
    QPoint hold_point;
    QPoint last_sent_point{-9999, -9999};
    QPoint last_move{-9999, -9999};
    bool area_dragging = false;
    bool release_of_double_click = false;
    int stop_retries = 0;
    QGraphicsEllipseItem dead_zone;
};
