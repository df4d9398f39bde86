#pragma once

#include "display/ZRGraphicsItem.h"

#include <QGraphicsPolygonItem>

// Hit-test geometry of one zone; never part of a scene.
class ZRGraphicsPolygonItem : public QGraphicsPolygonItem, public ZRGraphicsItem
{
public:
    using QGraphicsPolygonItem::QGraphicsPolygonItem;
};
