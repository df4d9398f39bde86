#pragma once

#include "display/Shape.h"

#include <QList>
#include <QObject>
#include <QString>

// Turns a zone description into zone shapes placed into a rectangle of the widget.
//
// The description is a JSON array of zones, coordinates as fractions (0..1) of the rectangle:
//   {"type":"polygon","index":0,"points":[[0.1,0.1],[0.5,0.1],[0.3,0.6]]}
//   {"type":"rect","index":1,"x":0.6,"y":0.6,"w":0.3,"h":0.3}
//   {"type":"ellipse","index":2,"cx":0.5,"cy":0.5,"rx":0.1,"ry":0.2}
//   {"type":"circle","index":3,"cx":0.5,"cy":0.5,"r":0.1}
// Anything else (unknown types, missing or non-finite values, a text that is not such an
// array) is skipped; at most kMaxZones zones of at most kMaxPoints points are kept.
class Shapes_Overlay : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxZones = 256;
    static constexpr int kMaxPoints = 1024;

    // The caller owns the shapes.
    QList<Shape*> parse(QString zones, int x, int y, int width, int height);
};
