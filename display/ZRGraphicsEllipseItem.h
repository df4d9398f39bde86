#pragma once

#include "display/ZRGraphicsItem.h"

#include <QGraphicsEllipseItem>

// Hit-test geometry of one zone; never part of a scene.
class ZRGraphicsEllipseItem : public QGraphicsEllipseItem, public ZRGraphicsItem
{
public:
    using QGraphicsEllipseItem::QGraphicsEllipseItem;
};
