#pragma once

#include "display/ZoomWindow.h"

#include <QList>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>

#include <functional>

class QImage;
class QPainter;

// The display's digital zoom: zoom levels and panning of the whole view, the click that zooms,
// the rubber band that opens a zoom window and the zoom windows themselves. A plain class: the
// widget forwards its pointer input here with what it shows, and paints what this keeps.
class DigitalZoom
{
public:
    // What the widget shows when an input arrives.
    struct View
    {
        int widget_w = 0;
        int widget_h = 0;
        QRect image_rect; // where the picture was painted last
        int frame_w = 0;  // the picture's own size
        int frame_h = 0;
    };
    // A zoom report for the host: name ("zoom_in", "zoom_out", "zoom_pan"), frame x, y, level.
    using Report = std::function<void(const QString& name, int x, int y, int value)>;

    void set_report(Report r) { report = std::move(r); }

    int level() const { return zoom_level; }
    bool is_active() const { return zoom_active; }
    QRect rect() const { return zoom_rect; }
    const QList<ZoomWindow>& windows() const { return zoom_windows; }
    bool is_rubber_band_active() const { return rubber_band_active; }
    bool is_click_pending() const { return click_pending; }
    bool is_window_dragging() const { return window_dragging; }
    bool is_panning() const { return zoom_active && pan_active; }
    // A drag that goes on outside the picture or the widget.
    bool is_dragging() const { return rubber_band_active || window_dragging || (zoom_active && pan_active); }
    QRect view_target_rect() const { return target_rect; }
    QRect view_source_rect() const { return source_rect; }

    // Left press: a click zoom or a drag may follow; while zoomed the press starts panning.
    void press(QPointF pos, const View& v);
    // A move with the left button; true when the zoom took it (drag start, window drag, band).
    bool drag(QPointF pos, const View& v);
    // A move while zoomed and panning.
    void pan(QPointF pos, const View& v);
    // Release of a press that did not become a drag: zooms in around the pressed point.
    void click_zoom(const View& v);
    void end_pan() { pan_active = false; }
    void end_window_drag();
    // Wheel over the view; false when the wheel had no vertical step (the widget passes it on).
    bool wheel(QPointF pos, int angle_y, const View& v);
    void wheel_window(int index, QPointF pos, QPoint angle, const View& v);

    void extend_rubber_band(QPoint p, const View& v);
    void finish_rubber_band(const View& v);

    int window_at(QPoint p) const;
    void remove_window(int index);
    void remove_overlapping_windows(QRect r);
    void reset_or_remove_window(int index);

    // Right press while zoomed: back to the whole picture (the zoom rectangle stays for the
    // next zoom of the same view).
    void zoom_off();
    // Back to the whole picture, reported as "zoom_out".
    void reset();
    // The view is redrawn unzoomed (the widget's size changed).
    void deactivate() { zoom_active = false; }

    // Painting: target and source of a pw x ph picture; unzoomed is where the picture lands
    // when not zoomed. Keeps the zoom rectangle inside the picture.
    void layout(int pw, int ph, QRect unzoomed, int widget_w, int widget_h, QRect& target, QRect& source);
    void set_painted(QRect target, QRect source);
    void draw_windows(QPainter& painter, const QImage& picture, QRect image_rect);

    static constexpr int kDragThreshold = 5;
    static constexpr int kMinWindowSize = 10;

private:
    void emit_report(const char* name, int x, int y, int value) const;
    void start_rubber_band(QPointF p, QRect image_rect);
    void start_window_drag(int index, QPoint p);
    void drag_window(QPoint p, const View& v);
    QRect current_source(const View& v) const;

    Report report;
    bool zoom_active = false;
    int zoom_level = 0;
    QRect zoom_rect;
    QPointF zoom_origin;
    bool pan_active = false;
    QPointF pan_last_pos;
    QPointF pan_remainder;
    bool click_pending = false;
    QPointF click_press_pos;
    QPoint click_frame_point;
    int click_zoom_level = 0;
    QRect target_rect;
    QRect source_rect;
    QList<ZoomWindow> zoom_windows;
    bool rubber_band_active = false;
    QPoint rubber_band_start;
    QPoint rubber_band_end;
    QRect rubber_band;
    bool window_dragging = false;
    int dragged_window = -1;
    QPoint window_drag_start;
    QPointF window_drag_centre;
};
