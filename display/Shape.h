#pragma once

#include <QObject>
#include <QPoint>
#include <QPolygon>
#include <QRectF>
#include <QString>

// One zone of the display, in widget pixels: a "polygon", "rect", "ellipse" or "circle".
class Shape : public QObject
{
    Q_OBJECT
public:
    Shape(QString type, int index) : kind(std::move(type)), zone_index(index) {}

    virtual QString type() const { return kind; }
    virtual int index() const { return zone_index; }

    QPolygon polygon() const { return m_polygon; }
    void set_polygon(const QPolygon& p) { m_polygon = p; }
    QRectF rect() const { return m_rect; }
    void set_rect(const QRectF& r) { m_rect = r; }
    QPoint center() const { return m_center; }
    int radius_x() const { return m_radius_x; }
    int radius_y() const { return m_radius_y; }
    void set_ellipse(QPoint c, int rx, int ry)
    {
        m_center = c;
        m_radius_x = rx;
        m_radius_y = ry;
    }

private:
    QString kind;
    int zone_index = -1;
    QPolygon m_polygon;
    QRectF m_rect;
    QPoint m_center;
    int m_radius_x = 0;
    int m_radius_y = 0;
};
