#pragma once

#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QRect>
#include <QString>

#include <memory>
#include <vector>

class QPainter;
class QGraphicsItem;
class Shape;
class ZRGraphicsItem;

// The display's zones: built from the zone description into the image's rectangle on the
// first paint after a change, outlined on every paint, hit-tested by the mouse. Each
// hit-test item is paired with its shape by the zone index they share.
class ZoneOverlay
{
public:
    ZoneOverlay();
    ~ZoneOverlay();

    // The next paint builds the shapes again (new description, new widget size).
    void invalidate();
    bool is_built() const { return built; }

    void draw(QPainter& painter, const QString& zones_text, const QRect& clip);

    // Fills the highlight with the zones under p; true when there is one.
    bool update_highlight(QPointF p);
    const QPainterPath& highlight() const { return zone_highlight; }
    void clear_highlight() { zone_highlight = QPainterPath(); }
    // The index of the first zone under p, -1 when none.
    int index_at(QPointF p) const;

    int shape_count() const { return static_cast<int>(shapes.size()); }

private:
    const Shape* shape_with_index(int index) const;

    std::vector<std::unique_ptr<Shape>> shapes;
    struct Hit
    {
        std::unique_ptr<QGraphicsItem> item;
        ZRGraphicsItem* zone = nullptr;
    };
    std::vector<Hit> items;
    bool built = false;
    QPainterPath zone_highlight;
};
