#include "display/OverlayString.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPen>

namespace {

int int_field(const QHash<QString, QString>& f, const char* key)
{
    return f.value(QLatin1String(key)).toInt(); // not a number gives 0
}

QColor colour_field(const QHash<QString, QString>& f, const char* key)
{
    const QColor c(f.value(QLatin1String(key)));
    return c.isValid() ? c : QColor(Qt::black);
}

QPen border_pen(const QHash<QString, QString>& f)
{
    return QPen(QBrush(colour_field(f, "border-color"), Qt::SolidPattern), f.value(QStringLiteral("border-size")).toDouble(),
                Qt::SolidLine, Qt::RoundCap, Qt::BevelJoin);
}

} // namespace

QList<OverlayString::Item> OverlayString::parse(QString text)
{
    QList<Item> items;
    if (text.size() > 1 && text.startsWith(QLatin1Char(' ')))
        text.remove(0, 1);
    QStringList parts;
    if (text.contains(QLatin1Char(':')))
        parts = text.split(QLatin1Char(':'));
    else if (text.size() > 1)
        parts << text;
    for (const QString& part : parts) {
        const int open = part.indexOf(QLatin1Char('{'));
        Item item;
        item.type = open < 0 ? part : part.left(open);
        QString list = part.mid(open + 1, part.indexOf(QLatin1Char('}')));
        list.remove(QLatin1Char('}'));
        bool cancelled = false;
        for (const QString& field : list.split(QLatin1Char(';'))) {
            if (!field.contains(QLatin1Char('='))) {
                cancelled = true;
                break;
            }
            item.fields.insert(field.section(QLatin1Char('='), 0, 0), field.section(QLatin1Char('='), 1, 1));
        }
        if (!cancelled)
            items.append(item);
    }
    return items;
}

void OverlayString::draw(QPainter& painter, const QString& text, QSize ref_size, const QTransform& ref_to_widget)
{
    if (ref_size.width() < 1 || ref_size.height() < 1)
        return;
    const QList<Item> items = parse(text);
    if (items.isEmpty())
        return;
    painter.save();
    painter.setTransform(ref_to_widget, true);
    for (const Item& item : items) {
        painter.setRenderHint(QPainter::Antialiasing, true);
        draw_item(painter, item, ref_size);
    }
    painter.restore();
}

void OverlayString::draw_item(QPainter& painter, const Item& item, QSize ref)
{
    const QHash<QString, QString>& f = item.fields;
    if (item.type == QLatin1String("LINE")) {
        int x1 = int_field(f, "x1"), y1 = int_field(f, "y1"), x2 = int_field(f, "x2"), y2 = int_field(f, "y2");
        // An end on the far edge is drawn on the last pixel instead.
        if (x1 >= ref.width()) x1 -= 1;
        if (x2 >= ref.width()) x2 -= 1;
        if (y1 >= ref.height()) y1 -= 1;
        if (y2 >= ref.height()) y2 -= 1;
        painter.setPen(border_pen(f));
        painter.drawLine(x1, y1, x2, y2);
    } else if (item.type == QLatin1String("TEXT")) {
        painter.setPen(QPen(colour_field(f, "color"), 1));
        QFont font(QStringLiteral("Arial"));
        const int size = int_field(f, "font-size");
        if (size > 0)
            font.setPointSize(size);
        font.setWeight(QFont::Normal);
        font.setItalic(false);
        painter.setFont(font);
        painter.drawText(int_field(f, "x"), int_field(f, "y"), f.value(QStringLiteral("value")));
    } else if (item.type == QLatin1String("F_RECT") || item.type == QLatin1String("L_RECT")) {
        const int x1 = int_field(f, "x1"), y1 = int_field(f, "y1");
        const QRect r(x1, y1, int_field(f, "x2") - x1, int_field(f, "y2") - y1);
        painter.setPen(border_pen(f));
        painter.drawRect(r);
        if (item.type == QLatin1String("F_RECT")) {
            QColor fill = colour_field(f, "color");
            fill.setAlpha(qBound(0, int_field(f, "alpha"), 255));
            painter.fillRect(r, fill);
        }
    } else if (item.type == QLatin1String("L_CIRC")) {
        const int w = int_field(f, "w"), h = int_field(f, "h");
        painter.setPen(border_pen(f));
        painter.drawEllipse(int_field(f, "x") - w / 2, int_field(f, "y") - h / 2, w, h);
    }
}
