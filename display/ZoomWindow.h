#pragma once

#include <QPointF>
#include <QRect>

// A region of the frame kept on screen and shown magnified in place.
class ZoomWindow
{
public:
    QRect view_rect;      // where it lies on screen, widget coordinates (recomputed at every paint)
    QRect source_rect;    // the frame region it covers
    double magnification = 1.5;
    bool has_centre = false;
    QPointF centre;       // frame point at the centre of the magnified view
};
