#include "display/ZoomGeometry.h"

#include <algorithm>
#include <cmath>

namespace {
int rnd(double v)
{
    return static_cast<int>(std::lround(v));
}
} // namespace

QPoint widget_to_frame_point(QPointF p, QRect r, QRect src)
{
    if (r.width() <= 0 || r.height() <= 0)
        return src.topLeft();
    const double fx = std::clamp((p.x() - r.x()) / r.width(), 0.0, 1.0);
    const double fy = std::clamp((p.y() - r.y()) / r.height(), 0.0, 1.0);
    return QPoint(rnd(src.width() * fx) + src.x(), rnd(src.height() * fy) + src.y());
}

QRect widget_to_frame_rect(QRect r, QRect target, QRect source)
{
    if (!target.isValid() || target.isEmpty() || !source.isValid() || source.isEmpty())
        return QRect();
    const QRect i = r.intersected(target);
    if (!i.isValid() || i.isEmpty())
        return QRect();
    const double sx = double(source.width()) / target.width();
    const double sy = double(source.height()) / target.height();
    const QPoint a(source.left() + int((i.left() - target.left()) * sx), source.top() + int((i.top() - target.top()) * sy));
    const QPoint b(source.left() + int((i.right() - target.left()) * sx),
                   source.top() + int((i.bottom() - target.top()) * sy));
    return QRect(a, b).normalized();
}

QRect frame_to_widget_rect(QRect r, QRect target, QRect source)
{
    if (!target.isValid() || target.isEmpty() || !source.isValid() || source.isEmpty())
        return QRect();
    const QRect i = r.intersected(source);
    if (!i.isValid() || i.isEmpty())
        return QRect();
    const double sx = double(target.width()) / source.width();
    const double sy = double(target.height()) / source.height();
    const QPoint a(target.left() + rnd((i.left() - source.left()) * sx), target.top() + rnd((i.top() - source.top()) * sy));
    const QPoint b(target.left() + rnd((i.right() - source.left()) * sx),
                   target.top() + rnd((i.bottom() - source.top()) * sy));
    return QRect(a, b).normalized();
}

QPoint clamp_to_image_rect(QPoint p, QRect image_rect)
{
    const int right = image_rect.left() + image_rect.width() - 1;
    const int bottom = image_rect.top() + image_rect.height() - 1;
    return QPoint(std::max(image_rect.left(), std::min(p.x(), right)),
                  std::max(image_rect.top(), std::min(p.y(), bottom)));
}

QRect clamp_rect_to_frame(QRect r, int W, int H)
{
    if (W < 1 || H < 1)
        return QRect();
    const int w = std::min(r.width(), W);
    const int h = std::min(r.height(), H);
    const int left = (W - w >= 0 && r.x() >= 0) ? std::min(W - w, r.x()) : 0;
    const int top = (H - h >= 0 && r.y() >= 0) ? std::min(H - h, r.y()) : 0;
    return QRect(left, top, w, h);
}

QRect zoom_rect_around(QPoint p, int W, int H, int widget_w, int widget_h, int level)
{
    const int div = std::max(level, 1);
    const int w = std::min(std::max(widget_w / div, 1), W);
    const int h = std::min(std::max(widget_h / div, 1), H);
    return clamp_rect_to_frame(QRect(rnd(p.x() - w * 0.5), rnd(p.y() - h * 0.5), w, h), W, H);
}

QRect fit_rect_to_aspect(QRect r, double a)
{
    if (!r.isValid() || r.isEmpty() || a <= 0 || r.width() < 2 || r.height() < 2)
        return r;
    const double ra = double(r.width()) / r.height();
    const QPoint c = r.center();
    QRect out = r;
    if (ra > a) {
        const int nw = int(r.height() * a);
        out = QRect(c.x() - nw / 2, r.top(), nw, r.height());
    } else if (a > ra) {
        const int nh = int(r.width() / a);
        out = QRect(r.left(), c.y() - nh / 2, r.width(), nh);
    }
    return out.normalized();
}

QPointF clamp_centre_to_source(QPointF centre, double cw, double ch, QRect src)
{
    const double lo_x = src.left() + cw / 2.0;
    const double hi_x = src.right() - cw / 2.0;
    const double lo_y = src.top() + ch / 2.0;
    const double hi_y = src.bottom() - ch / 2.0;
    if (lo_x > hi_x || lo_y > hi_y) {
        const QPointF c = QRectF(src).center();
        return c;
    }
    return QPointF(std::clamp(centre.x(), lo_x, hi_x), std::clamp(centre.y(), lo_y, hi_y));
}

QRect zoom_window_source(const ZoomWindow& w, QRect vis, QPointF& centre, int W, int H)
{
    const QRect src = w.source_rect;
    if (!vis.isValid() || vis.isEmpty() || !src.isValid() || src.isEmpty())
        return QRect();
    const double m = std::max(w.magnification, 1.0);
    const int cw = std::max(rnd(src.width() / m), 2);
    const int ch = std::max(rnd(src.height() / m), 2);
    QRect r(rnd(centre.x() - cw * 0.5), rnd(centre.y() - ch * 0.5), cw, ch);
    r = fit_rect_to_aspect(r, double(vis.width()) / vis.height());
    r = clamp_rect_to_frame(r, W, H);
    if (r.isEmpty())
        return QRect();
    centre = clamp_centre_to_source(centre, r.width(), r.height(), src);
    r.moveCenter(QPoint(rnd(centre.x()), rnd(centre.y())));
    return clamp_rect_to_frame(r, W, H);
}

double zoom_window_overlap(QRect source, QRect r)
{
    const QRect i = source.intersected(r);
    if (!i.isValid() || i.isEmpty())
        return 0.0;
    const auto area = [](const QRect& q) {
        return (q.width() > 0 && q.height() > 0) ? double(q.width()) * q.height() : 0.0;
    };
    const double a = std::min(area(r), area(source));
    if (a <= 0)
        return 1.0;
    return area(i) / a;
}

int first_zoom_level(int W, int H, int widget_w, int widget_h)
{
    return (W > widget_w || H > widget_h) ? 1 : 2;
}

int wheel_zoom_level(int current, int base, bool up)
{
    const int cur = std::max(current, 0);
    if (up) {
        if (cur < base)
            return base;
        if (cur < 2)
            return 2;
        if (cur < 4)
            return 4;
        return 8;
    }
    if (cur >= 9)
        return 8;
    if (cur >= 5)
        return 4;
    if (cur >= 3)
        return 2;
    if (base < cur)
        return base;
    return 0;
}
