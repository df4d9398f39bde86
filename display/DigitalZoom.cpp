#include "display/DigitalZoom.h"

#include "display/ZoomGeometry.h"

#include <QImage>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>

void DigitalZoom::emit_report(const char* name, int x, int y, int value) const
{
    if (report)
        report(QString::fromLatin1(name), x, y, value);
}

QRect DigitalZoom::current_source(const View& v) const
{
    return (zoom_level >= 1 && zoom_rect.isValid() && !zoom_rect.isEmpty()) ? zoom_rect
                                                                            : QRect(0, 0, v.frame_w, v.frame_h);
}

void DigitalZoom::press(QPointF pos, const View& v)
{
    const int W = v.frame_w;
    const int H = v.frame_h;
    if (v.image_rect.width() <= 0 || v.image_rect.height() <= 0 || W <= 0 || H <= 0)
        return;
    click_frame_point = widget_to_frame_point(pos, v.image_rect, current_source(v));
    click_pending = true;
    click_press_pos = pos;
    click_zoom_level = (W <= v.widget_w && H <= v.widget_h) ? 2 : 1;
    if (zoom_active && zoom_level > 0) {
        pan_last_pos = pos;
        pan_remainder = QPointF();
        pan_active = true;
    } else {
        pan_active = false;
    }
}

bool DigitalZoom::drag(QPointF pos, const View& v)
{
    const QPoint rounded = pos.toPoint();
    if (click_pending) {
        if (std::abs(pos.x() - click_press_pos.x()) > kDragThreshold
            || std::abs(pos.y() - click_press_pos.y()) > kDragThreshold) {
            click_pending = false;
            if (!(zoom_active && zoom_level > 0)) {
                pan_active = false;
                const int index = window_at(rounded);
                if (index >= 0)
                    start_window_drag(index, rounded);
                else if (v.image_rect.isValid() && !v.image_rect.isEmpty() && v.image_rect.contains(rounded))
                    start_rubber_band(pos, v.image_rect);
                return true;
            }
        }
    }
    if (window_dragging && dragged_window >= 0 && dragged_window < zoom_windows.size()) {
        drag_window(rounded, v);
        return true;
    }
    if (rubber_band_active) {
        extend_rubber_band(rounded, v);
        return true;
    }
    return false;
}

void DigitalZoom::click_zoom(const View& v)
{
    click_pending = false;
    const int W = v.frame_w;
    const int H = v.frame_h;
    if (v.image_rect.width() <= 0 || v.image_rect.height() <= 0 || W <= 0 || H <= 0)
        return;
    if (zoom_level != 0 && zoom_active) {
        zoom_rect = zoom_rect_around(click_frame_point, W, H, v.widget_w, v.widget_h, zoom_level)
                        .normalized()
                        .intersected(QRect(0, 0, W, H));
    } else {
        zoom_level = click_zoom_level > 0 ? click_zoom_level : first_zoom_level(W, H, v.widget_w, v.widget_h);
        zoom_active = true;
        zoom_rect = clamp_rect_to_frame(zoom_rect_around(click_frame_point, W, H, v.widget_w, v.widget_h, zoom_level),
                                        W, H);
    }
    zoom_origin = QPointF(zoom_rect.left(), zoom_rect.top());
    pan_active = false;
    pan_remainder = QPointF();
    emit_report("zoom_in", int(zoom_origin.x()), int(zoom_origin.y()), zoom_level);
}

bool DigitalZoom::wheel(QPointF pos, int angle, const View& v)
{
    if (angle == 0)
        return false;
    const int W = v.frame_w;
    const int H = v.frame_h;
    if (v.image_rect.width() <= 0 || v.image_rect.height() <= 0 || W <= 0 || H <= 0)
        return true;
    const QRect& ir = v.image_rect;
    const QPoint q = widget_to_frame_point(pos, ir, current_source(v));
    const int base = first_zoom_level(W, H, v.widget_w, v.widget_h);
    const int level = wheel_zoom_level(zoom_level, base, angle > 0);
    if (level == 0) {
        zoom_level = 0;
        zoom_active = false;
        zoom_rect = QRect();
        zoom_origin = QPointF();
        emit_report("zoom_out", 0, 0, 1);
    } else {
        zoom_level = level;
        zoom_active = true;
        const int w = std::min(std::max(v.widget_w / level, 1), W);
        const int h = std::min(std::max(v.widget_h / level, 1), H);
        const double fx = std::clamp((pos.x() - ir.x()) / ir.width(), 0.0, 1.0);
        const double fy = std::clamp((pos.y() - ir.y()) / ir.height(), 0.0, 1.0);
        zoom_rect = clamp_rect_to_frame(QRect(int(std::lround(q.x() - w * fx)), int(std::lround(q.y() - h * fy)), w, h),
                                        W, H);
        zoom_origin = QPointF(zoom_rect.left(), zoom_rect.top());
        emit_report("zoom_in", int(zoom_origin.x()), int(zoom_origin.y()), level);
    }
    return true;
}

void DigitalZoom::pan(QPointF pos, const View& v)
{
    const QPointF d = pos - pan_last_pos;
    pan_last_pos = pos;
    const int W = v.frame_w;
    const int H = v.frame_h;
    const QRect& ir = v.image_rect;
    if (ir.width() <= 0 || ir.height() <= 0 || W <= 0 || H <= 0 || !zoom_rect.isValid() || zoom_rect.isEmpty())
        return;
    pan_remainder += QPointF(-d.x() * zoom_rect.width() / ir.width(), -d.y() * zoom_rect.height() / ir.height());
    const int ix = int(pan_remainder.x());
    const int iy = int(pan_remainder.y());
    if (ix == 0 && iy == 0)
        return;
    zoom_rect = clamp_rect_to_frame(zoom_rect.translated(ix, iy), W, H);
    pan_remainder -= QPointF(ix, iy);
    zoom_origin = QPointF(zoom_rect.left(), zoom_rect.top());
    emit_report("zoom_pan", int(zoom_origin.x()), int(zoom_origin.y()), zoom_level);
}

void DigitalZoom::zoom_off()
{
    zoom_active = false;
    pan_active = false;
    zoom_level = 0;
}

void DigitalZoom::reset()
{
    pan_active = false;
    pan_remainder = QPointF();
    zoom_active = false;
    zoom_level = 0;
    zoom_rect = QRect();
    zoom_origin = QPointF();
    emit_report("zoom_out", 0, 0, 1);
}

void DigitalZoom::layout(int pw, int ph, QRect unzoomed, int widget_w, int widget_h, QRect& target, QRect& source)
{
    zoom_active = zoom_level > 0;
    if (!zoom_active) {
        target = unzoomed;
        source = QRect(0, 0, pw, ph);
        zoom_rect = QRect();
        zoom_origin = QPointF();
        return;
    }
    if (!zoom_rect.isValid() || zoom_rect.isEmpty())
        zoom_rect = zoom_rect_around(QPoint(pw / 2, ph / 2), pw, ph, widget_w, widget_h, zoom_level);
    QRect src = clamp_rect_to_frame(zoom_rect, pw, ph);
    if (zoom_level == 1) {
        const int tw = std::min(src.width(), widget_w);
        const int th = std::min(src.height(), widget_h);
        target = QRect((widget_w - tw) / 2, (widget_h - th) / 2, tw, th);
        if (src.size() != QSize(tw, th)) {
            src.setSize(QSize(tw, th));
            src = clamp_rect_to_frame(src, pw, ph);
        }
    } else {
        target = QRect(0, 0, widget_w, widget_h);
    }
    zoom_rect = src;
    zoom_origin = QPointF(src.left(), src.top());
    source = src;
}

void DigitalZoom::set_painted(QRect target, QRect source)
{
    target_rect = target;
    source_rect = source;
}

int DigitalZoom::window_at(QPoint p) const
{
    for (int i = zoom_windows.size() - 1; i >= 0; --i) {
        if (zoom_windows.at(i).view_rect.contains(p))
            return i;
    }
    return -1;
}

void DigitalZoom::remove_window(int index)
{
    if (index < 0 || index >= zoom_windows.size())
        return;
    zoom_windows.removeAt(index);
    if (index == dragged_window) {
        window_dragging = false;
        dragged_window = -1;
    } else if (dragged_window > index) {
        --dragged_window;
    }
}

void DigitalZoom::remove_overlapping_windows(QRect r)
{
    for (int i = zoom_windows.size() - 1; i >= 0; --i) {
        if (zoom_window_overlap(zoom_windows.at(i).source_rect, r) >= 0.02)
            remove_window(i);
    }
}

void DigitalZoom::reset_or_remove_window(int index)
{
    if (index < 0 || index >= zoom_windows.size())
        return;
    ZoomWindow& w = zoom_windows[index];
    if (w.magnification > 1.0001) {
        w.magnification = 1.0;
        w.centre = QRectF(w.source_rect).center();
        w.has_centre = true;
        window_dragging = false;
        dragged_window = -1;
    } else {
        remove_window(index);
    }
}

void DigitalZoom::end_window_drag()
{
    window_dragging = false;
    dragged_window = -1;
}

void DigitalZoom::start_rubber_band(QPointF p, QRect image_rect)
{
    rubber_band_active = true;
    rubber_band_start = clamp_to_image_rect(p.toPoint(), image_rect);
    rubber_band_end = rubber_band_start;
    rubber_band = QRect(rubber_band_start, rubber_band_end).normalized();
}

void DigitalZoom::extend_rubber_band(QPoint p, const View& v)
{
    p.setX(std::clamp(p.x(), 0, std::max(v.widget_w - 1, 0)));
    p.setY(std::clamp(p.y(), 0, std::max(v.widget_h - 1, 0)));
    rubber_band_end = clamp_to_image_rect(p, v.image_rect);
    rubber_band = QRect(rubber_band_start, rubber_band_end).normalized().intersected(v.image_rect);
}

void DigitalZoom::finish_rubber_band(const View& v)
{
    rubber_band_active = false;
    if (rubber_band.width() >= kMinWindowSize && rubber_band.height() >= kMinWindowSize) {
        const QRect inside = rubber_band.intersected(v.image_rect);
        if (inside.isValid() && !inside.isEmpty()) {
            const QRect src = widget_to_frame_rect(rubber_band, target_rect, source_rect)
                                  .normalized()
                                  .intersected(QRect(0, 0, v.frame_w, v.frame_h));
            if (src.isValid() && !src.isEmpty()) {
                ZoomWindow w;
                w.view_rect = rubber_band;
                w.source_rect = src;
                w.magnification = 1.5;
                w.has_centre = true;
                w.centre = QRectF(src).center();
                remove_overlapping_windows(src);
                zoom_windows.append(w);
            }
        }
    }
    rubber_band = QRect();
}

void DigitalZoom::start_window_drag(int index, QPoint p)
{
    ZoomWindow& w = zoom_windows[index];
    window_dragging = true;
    dragged_window = index;
    window_drag_start = p;
    if (!w.has_centre) {
        w.centre = QRectF(w.source_rect).center();
        w.has_centre = true;
    }
    window_drag_centre = w.centre;
}

void DigitalZoom::drag_window(QPoint p, const View& v)
{
    ZoomWindow& w = zoom_windows[dragged_window];
    const QRect src = w.source_rect;
    const double m = std::max(w.magnification, 1.0);
    const QRect vis = w.view_rect.intersected(target_rect);
    if (vis.isEmpty())
        return;
    const QPoint d = p - window_drag_start;
    const int cw = std::max(int(src.width() / m), 2);
    const int ch = std::max(int(src.height() / m), 2);
    QRect r(int(std::lround(window_drag_centre.x() - cw / 2.0)), int(std::lround(window_drag_centre.y() - ch / 2.0)), cw,
            ch);
    r = fit_rect_to_aspect(r, double(vis.width()) / vis.height())
            .normalized()
            .intersected(QRect(0, 0, v.frame_w, v.frame_h));
    if (r.isEmpty())
        return;
    const QPointF moved = window_drag_centre
        - QPointF(d.x() * double(r.width()) / vis.width(), d.y() * double(r.height()) / vis.height());
    w.centre = clamp_centre_to_source(moved, r.width(), r.height(), src);
    w.has_centre = true;
}

void DigitalZoom::wheel_window(int index, QPointF pos, QPoint angle, const View& v)
{
    if (index < 0 || index >= zoom_windows.size())
        return;
    ZoomWindow& w = zoom_windows[index];
    const int dy = int(std::lround(angle.y() * 0.125));
    const int dx = int(std::lround(angle.x() * 0.125));
    if (dy == 0 && dx == 0)
        return;
    const QRect vis = w.view_rect.intersected(target_rect);
    if (vis.isEmpty())
        return;
    if (!w.has_centre) {
        w.centre = QRectF(w.source_rect).center();
        w.has_centre = true;
    }
    const int W = v.frame_w;
    const int H = v.frame_h;
    QPointF c = w.centre;
    const QRect before = zoom_window_source(w, vis, c, W, H);
    if (before.isEmpty())
        return;
    const QPoint p = pos.toPoint();
    const double fx = std::clamp(double(p.x() - vis.x()) / vis.width(), 0.0, 1.0);
    const double fy = std::clamp(double(p.y() - vis.y()) / vis.height(), 0.0, 1.0);
    const double old = w.magnification;
    const double next = std::clamp(old * std::pow(1.15, dy / 15.0), 1.0, 12.0);
    if (std::abs(next - old) < 0.000001)
        return;
    w.magnification = next;
    c = w.centre;
    const QRect after = zoom_window_source(w, vis, c, W, H);
    if (after.isEmpty()) {
        w.magnification = old;
        return;
    }
    // Keep the frame point under the pointer where it is.
    const QPointF target(before.left() + before.width() * fx - (after.left() + after.width() * fx) + w.centre.x(),
                         before.top() + before.height() * fy - (after.top() + after.height() * fy) + w.centre.y());
    QPointF tc = target;
    const QRect r = zoom_window_source(w, vis, tc, W, H);
    w.centre = (r.isValid() && !r.isEmpty()) ? QRectF(r).center() : target;
    w.has_centre = true;
}

void DigitalZoom::draw_windows(QPainter& painter, const QImage& picture, QRect image_rect)
{
    if (zoom_windows.isEmpty() && !rubber_band_active)
        return;
    for (ZoomWindow& w : zoom_windows)
        w.view_rect = frame_to_widget_rect(w.source_rect, target_rect, source_rect);
    painter.save();
    painter.setClipRect(image_rect);
    for (const ZoomWindow& w : zoom_windows) {
        if (w.view_rect.isEmpty())
            continue; // its region is not in the picture shown (another frame size)
        painter.setPen(QPen(Qt::yellow, 2, Qt::SolidLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(w.view_rect);
        const QRect vis = w.view_rect.intersected(target_rect);
        if (w.magnification <= 1.0001 || vis.isEmpty())
            continue;
        const QRect src = w.source_rect;
        const double m = w.magnification;
        const int cw = std::max(int(src.width() / m), 2);
        const int ch = std::max(int(src.height() / m), 2);
        const QPointF centre = clamp_centre_to_source(w.has_centre ? w.centre : QRectF(src).center(), cw, ch, src);
        QRect r(int(std::lround(centre.x() - cw / 2.0)), int(std::lround(centre.y() - ch / 2.0)), cw, ch);
        r = clamp_rect_to_frame(fit_rect_to_aspect(r, double(vis.width()) / vis.height()), picture.width(),
                                picture.height());
        if (!r.isValid() || r.isEmpty())
            continue;
        painter.save();
        painter.setClipRect(vis.adjusted(1, 1, -1, -1), Qt::IntersectClip);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(vis, picture, r);
        painter.restore();
    }
    if (rubber_band_active && rubber_band.isValid() && !rubber_band.isEmpty()) {
        painter.setPen(QPen(Qt::white, 1, Qt::SolidLine));
        painter.setBrush(QColor(255, 255, 255, 20));
        painter.drawRect(rubber_band);
    }
    painter.restore();
}
