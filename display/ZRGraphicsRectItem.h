#pragma once

#include "display/ZRGraphicsItem.h"

#include <QGraphicsRectItem>

// Hit-test geometry of one zone; never part of a scene.
class ZRGraphicsRectItem : public QGraphicsRectItem, public ZRGraphicsItem
{
public:
    using QGraphicsRectItem::QGraphicsRectItem;
};
