#pragma once

#include <QHash>
#include <QList>
#include <QSize>
#include <QString>
#include <QTransform>

class QPainter;

// The drawing overlay that travels with each live frame ("ZrDrawoverlay: "): items separated
// by ":", each a type and ";"-separated key=value fields in braces, e.g.
// "TEXT{x=10;y=20;value=Hello;color=#ff0000;font-size=12}:L_RECT{x1=0;y1=0;x2=50;y2=40}".
class OverlayString
{
public:
    struct Item
    {
        QString type;
        QHash<QString, QString> fields;
    };

    // Items in order; an item with a field that has no "=" is left out whole.
    static QList<Item> parse(QString text);

    // Draws the overlay in its reference space (ref_size: the size its coordinates refer to)
    // mapped onto the widget by ref_to_widget. Nothing is drawn without a reference size.
    static void draw(QPainter& painter, const QString& text, QSize ref_size, const QTransform& ref_to_widget);

private:
    static void draw_item(QPainter& painter, const Item& item, QSize ref_size);
};
