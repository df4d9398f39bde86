#pragma once

#include <QColor>
#include <QPoint>
#include <QPolygonF>
#include <QRect>
#include <QSize>
#include <QString>

class QPainter;

// What the display draws of its pan-tilt-zoom control: the driver's status line, the centre
// cross (web control) or ring (native driver), the rectangle of an area drag and the arrow of
// a hold. Plain drawing; the widget says what is going on.
class PtzMarks
{
public:
    struct StatusLine
    {
        QString text; // empty: nothing to show
        QColor colour;
    };

    // The line shown for a driver status message.
    static StatusLine status_line(int status, const QString& command, const QString& fault, const QString& driver);
    // Below the time line, at the picture's top-left.
    static void draw_status(QPainter& painter, const StatusLine& line, QRect image_rect, int text_size, int widget_w);
    // Cross or ring at the widget's centre; returns the ring's rectangle (the dead zone of
    // the native driver), a null rectangle for the cross.
    static QRect draw_centre_mark(QPainter& painter, QSize widget, bool native, bool hold_active);
    // The hold's arrow (hold_active) or the area rectangle (pressed).
    static void draw_gesture(QPainter& painter, QSize widget, bool hold_active, bool native, bool hold_in_dead_zone,
                             QPoint hold_point, QRect area);
    // An arrow from the held point to the centre with its head at the held point; the
    // native driver's line stops at the ring.
    static void draw_arrow(QPainter& painter, QPoint from, QPoint to, bool native);
    // The arrow's head at p1 for a line toward p2; empty when the two points coincide.
    static QPolygonF arrow_head(QPoint p1, QPoint p2);

    static constexpr int kRingRadius = 20;
};
