#include "display/ZoneOverlay.h"

#include "display/Shape.h"
#include "display/Shapes_Overlay.h"
#include "display/ZRGraphicsEllipseItem.h"
#include "display/ZRGraphicsPolygonItem.h"
#include "display/ZRGraphicsRectItem.h"

#include <QPainter>

ZoneOverlay::ZoneOverlay() = default;
ZoneOverlay::~ZoneOverlay() = default;

void ZoneOverlay::invalidate()
{
    built = false;
    items.clear();
}

void ZoneOverlay::draw(QPainter& painter, const QString& zones_text, const QRect& clip)
{
    painter.save();
    painter.setClipRect(clip, Qt::ReplaceClip);
    if (!built) {
        items.clear();
        shapes.clear();
        Shapes_Overlay parser;
        for (Shape* s : parser.parse(zones_text, clip.x(), clip.y(), clip.width(), clip.height()))
            shapes.emplace_back(s);
        for (const auto& s : shapes) {
            Hit hit;
            if (s->type() == QLatin1String("polygon")) {
                auto* item = new ZRGraphicsPolygonItem(QPolygonF(s->polygon()));
                hit.zone = item;
                hit.item.reset(item);
            } else if (s->type() == QLatin1String("rect")) {
                auto* item = new ZRGraphicsRectItem(s->rect());
                hit.zone = item;
                hit.item.reset(item);
            } else if (s->type() == QLatin1String("ellipse")) {
                auto* item = new ZRGraphicsEllipseItem(s->center().x() - s->radius_x(), s->center().y() - s->radius_y(),
                                                       2 * s->radius_x(), 2 * s->radius_y());
                hit.zone = item;
                hit.item.reset(item);
            } else {
                continue; // circles are neither hit-tested nor drawn
            }
            hit.zone->index = s->index();
            items.push_back(std::move(hit));
        }
        built = true;
    }
    painter.setPen(QPen(QBrush(QColor(67, 155, 214, 200), Qt::SolidPattern), 3.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    for (const auto& s : shapes) {
        if (s->type() == QLatin1String("polygon"))
            painter.drawPolygon(s->polygon(), Qt::WindingFill);
        else if (s->type() == QLatin1String("rect"))
            painter.drawRect(s->rect());
        else if (s->type() == QLatin1String("ellipse"))
            painter.drawEllipse(QPointF(s->center()), s->radius_x(), s->radius_y());
    }
    painter.fillPath(zone_highlight, QBrush(QColor(65, 105, 225, 110), Qt::SolidPattern));
    painter.restore();
}

const Shape* ZoneOverlay::shape_with_index(int index) const
{
    for (const auto& s : shapes)
        if (s->index() == index)
            return s.get();
    return nullptr;
}

bool ZoneOverlay::update_highlight(QPointF p)
{
    zone_highlight = QPainterPath();
    bool hit = false;
    for (const Hit& h : items) {
        if (!h.item->contains(p))
            continue;
        const Shape* s = shape_with_index(h.zone->index);
        if (!s)
            continue;
        if (s->type() == QLatin1String("polygon"))
            zone_highlight.addPolygon(QPolygonF(s->polygon()));
        else if (s->type() == QLatin1String("rect"))
            zone_highlight.addRect(s->rect());
        else
            zone_highlight.addEllipse(QPointF(s->center()), s->radius_x(), s->radius_y());
        hit = true;
    }
    return hit;
}

int ZoneOverlay::index_at(QPointF p) const
{
    for (const Hit& h : items)
        if (h.item->contains(p))
            return h.zone->index;
    return -1;
}
