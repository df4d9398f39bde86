#pragma once

#include "display/ZoomWindow.h"

#include <QPoint>
#include <QPointF>
#include <QRect>

// Geometry of the digital zoom between widget and frame coordinates. round/lround round
// halves away from zero; divisions of ints truncate.

// The frame point under p, with p read inside the widget rectangle r that shows src.
QPoint widget_to_frame_point(QPointF p, QRect r, QRect src);
// A widget rectangle as frame rectangle, through the painter's last target and source.
QRect widget_to_frame_rect(QRect r, QRect target, QRect source);
// A frame rectangle as widget rectangle (the inverse of widget_to_frame_rect).
QRect frame_to_widget_rect(QRect r, QRect target, QRect source);
QPoint clamp_to_image_rect(QPoint p, QRect image_rect);
// Shrinks r to the frame and moves it inside; empty for an empty frame.
QRect clamp_rect_to_frame(QRect r, int W, int H);
// The frame region a level shows around p in a widget of widget_w x widget_h.
QRect zoom_rect_around(QPoint p, int W, int H, int widget_w, int widget_h, int level);
// r narrowed or flattened about its centre to the aspect ratio a (width / height).
QRect fit_rect_to_aspect(QRect r, double a);
// The frame region a zoom window shows in vis at its magnification around centre; centre is
// clamped in place so that the region stays inside the window's source.
QRect zoom_window_source(const ZoomWindow& w, QRect vis, QPointF& centre, int W, int H);
// Share of the smaller of the two regions that they have in common (0 .. 1).
double zoom_window_overlap(QRect source, QRect r);
// Level of the first zoom step: 1 when the frame is larger than the widget, else 2.
int first_zoom_level(int W, int H, int widget_w, int widget_h);
// The level one wheel step leads to.
int wheel_zoom_level(int current, int base, bool up);
// Clamps a centre so that a cw x ch region around it stays within src (src's centre when
// it cannot).
QPointF clamp_centre_to_source(QPointF centre, double cw, double ch, QRect src);
