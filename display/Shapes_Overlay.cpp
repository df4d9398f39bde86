#include "display/Shapes_Overlay.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

bool fraction_value(const QJsonValue& v, double* out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d < -1.0 || d > 2.0)
        return false;
    *out = d;
    return true;
}

bool fraction(const QJsonObject& o, const char* key, double* out)
{
    return fraction_value(o.value(QLatin1String(key)), out);
}

} // namespace

QList<Shape*> Shapes_Overlay::parse(QString zones, int x, int y, int width, int height)
{
    QList<Shape*> shapes;
    if (width < 1 || height < 1)
        return shapes;
    const QJsonDocument doc = QJsonDocument::fromJson(zones.toUtf8());
    if (!doc.isArray())
        return shapes;
    const auto px = [&](double f) { return static_cast<int>(std::lround(x + f * width)); };
    const auto py = [&](double f) { return static_cast<int>(std::lround(y + f * height)); };
    for (const QJsonValue& value : doc.array()) {
        if (shapes.size() >= kMaxZones)
            break;
        const QJsonObject o = value.toObject();
        const QString type = o.value(QStringLiteral("type")).toString();
        const int index = o.value(QStringLiteral("index")).toInt(-1);
        if (index < 0)
            continue;
        if (type == QLatin1String("polygon")) {
            const QJsonArray points = o.value(QStringLiteral("points")).toArray();
            if (points.size() < 3 || points.size() > kMaxPoints)
                continue;
            QPolygon polygon;
            bool ok = true;
            for (const QJsonValue& p : points) {
                const QJsonArray xy = p.toArray();
                double fx = 0, fy = 0;
                if (xy.size() != 2 || !fraction_value(xy.at(0), &fx) || !fraction_value(xy.at(1), &fy)) {
                    ok = false;
                    break;
                }
                polygon << QPoint(px(fx), py(fy));
            }
            if (!ok)
                continue;
            auto* s = new Shape(type, index);
            s->set_polygon(polygon);
            shapes << s;
        } else if (type == QLatin1String("rect")) {
            double fx, fy, fw, fh;
            if (!fraction(o, "x", &fx) || !fraction(o, "y", &fy) || !fraction(o, "w", &fw) || !fraction(o, "h", &fh))
                continue;
            auto* s = new Shape(type, index);
            s->set_rect(QRectF(QPointF(x + fx * width, y + fy * height), QSizeF(fw * width, fh * height)));
            shapes << s;
        } else if (type == QLatin1String("ellipse") || type == QLatin1String("circle")) {
            double cx, cy, rx, ry;
            if (!fraction(o, "cx", &cx) || !fraction(o, "cy", &cy))
                continue;
            if (type == QLatin1String("circle")) {
                if (!fraction(o, "r", &rx))
                    continue;
                ry = rx;
            } else if (!fraction(o, "rx", &rx) || !fraction(o, "ry", &ry)) {
                continue;
            }
            auto* s = new Shape(type, index);
            s->set_ellipse(QPoint(px(cx), py(cy)), static_cast<int>(std::lround(rx * width)),
                           static_cast<int>(std::lround(ry * height)));
            shapes << s;
        }
    }
    return shapes;
}
