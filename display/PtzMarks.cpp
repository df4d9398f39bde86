#include "display/PtzMarks.h"

#include <QFont>
#include <QPainter>
#include <QPen>

#include <cmath>

PtzMarks::StatusLine PtzMarks::status_line(int status, const QString& command, const QString& fault,
                                           const QString& driver)
{
    const bool unsupported = fault.contains(QLatin1String("not supported"));
    const QString head = driver + QStringLiteral(" ptz ctrl : ");
    switch (status) {
    case -2:
        return {unsupported ? QStringLiteral("[ERROR] ") + head + QStringLiteral("command ") + command
                        + QStringLiteral(" not supported")
                            : QStringLiteral("[ERROR] ") + head + fault,
                Qt::red};
    case -1:
        return {unsupported ? QStringLiteral("[ERROR] ") + head + QStringLiteral("OFF (command ") + command
                        + QStringLiteral(" not supported)")
                            : QStringLiteral("[ERROR] ") + head + QStringLiteral("OFF (") + fault + QLatin1Char(')'),
                Qt::red};
    case 0:
        return {unsupported ? QStringLiteral("[WARNING] ") + head + QStringLiteral("ON (command ") + command
                        + QStringLiteral(" not supported)")
                            : QStringLiteral("[WARNING] ") + head + QStringLiteral("ON (") + fault + QLatin1Char(')'),
                QColor(QStringLiteral("orange"))};
    case 1:
        return {command.contains(QLatin1String("start"))
                    ? head + QStringLiteral("starting ...")
                    : QStringLiteral("[OK] ") + head + QStringLiteral("ON (") + fault + QLatin1Char(')'),
                Qt::green};
    default:
        return {QString(), QColor()};
    }
}

void PtzMarks::draw_status(QPainter& painter, const StatusLine& line, QRect image_rect, int text_size, int widget_w)
{
    if (line.text.isEmpty())
        return;
    painter.save();
    QFont font = painter.font();
    font.setPointSize(8);
    painter.setFont(font);
    painter.setPen(line.colour);
    painter.drawText(QRect(image_rect.x() + 2, text_size * 2 + image_rect.y() + 14, widget_w, 32), 0, line.text);
    painter.restore();
}

QRect PtzMarks::draw_centre_mark(QPainter& painter, QSize widget, bool native, bool hold_active)
{
    const int cx = widget.width() / 2;
    const int cy = widget.height() / 2;
    painter.save();
    QRect ring;
    if (native) {
        painter.setPen(QPen(QColor(0, 255, 0, 150), 2, Qt::SolidLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPoint(cx, cy), kRingRadius, kRingRadius);
        ring = QRect(cx - kRingRadius, cy - kRingRadius, 2 * kRingRadius, 2 * kRingRadius);
    } else {
        painter.setPen(QPen(hold_active ? QColor(Qt::red) : QColor(0, 255, 0, 150), 2, Qt::SolidLine));
        painter.drawLine(cx - 10, cy, cx + 10, cy);
        painter.drawLine(cx, cy - 10, cx, cy + 10);
    }
    painter.restore();
    return ring;
}

void PtzMarks::draw_gesture(QPainter& painter, QSize widget, bool hold_active, bool native, bool hold_in_dead_zone,
                            QPoint hold_point, QRect area)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    if (hold_active) {
        painter.setPen(QPen(QColor(255, 0, 0, 150), 2, Qt::DashDotLine, Qt::RoundCap, Qt::BevelJoin));
        if (!(native && hold_in_dead_zone))
            draw_arrow(painter, hold_point, QPoint(widget.width() / 2, widget.height() / 2), native);
    } else {
        painter.setPen(QPen(QColor(Qt::green), 3, Qt::DashDotLine, Qt::RoundCap, Qt::BevelJoin));
        painter.drawRect(area);
    }
    painter.restore();
}

namespace {
// The drawing's own constants, kept as they are (not 2 pi, pi and pi / 2).
constexpr double kTurn = 6.28;
constexpr double kHalfTurn = 3.14;
constexpr double kQuarterTurn = 1.57;
constexpr double kHeadAngle = 1.0466666666666666;
constexpr double kHeadLength = 12.0;
constexpr double kRingPullBack = 21.0;

// The line's direction; false when the two points coincide.
bool line_angle(QPoint p1, QPoint p2, double* angle)
{
    const double dx = p2.x() - p1.x();
    const double dy = p2.y() - p1.y();
    const double length = std::sqrt(dx * dx + dy * dy);
    if (length <= 0.0)
        return false;
    double a = std::acos(dx / length);
    if (dy >= 0)
        a = kTurn - a;
    *angle = a;
    return true;
}
} // namespace

QPolygonF PtzMarks::arrow_head(QPoint p1, QPoint p2)
{
    double angle = 0.0;
    if (!line_angle(p1, p2, &angle))
        return QPolygonF();
    QPolygonF head;
    head << QPointF(p1) << QPointF(p1.x() + std::sin(angle + kHeadAngle) * kHeadLength,
                                   p1.y() + std::cos(angle + kHeadAngle) * kHeadLength)
         << QPointF(p1.x() + std::sin(angle + kHalfTurn - kHeadAngle) * kHeadLength,
                    p1.y() + std::cos(angle + kHalfTurn - kHeadAngle) * kHeadLength);
    return head;
}

void PtzMarks::draw_arrow(QPainter& painter, QPoint from, QPoint to, bool native)
{
    double angle = 0.0;
    // A hold on the centre itself points nowhere.
    if (!line_angle(from, to, &angle))
        return;
    QPointF end(to);
    if (native) {
        const double b = angle + kQuarterTurn;
        end = QPointF(to.x() - std::sin(b) * kRingPullBack, to.y() - std::cos(b) * kRingPullBack);
    }
    painter.drawLine(QPointF(from), end);
    const QPolygonF head = arrow_head(from, to);
    painter.save();
    painter.setBrush(QColor(255, 0, 0, 150));
    painter.drawPolygon(head);
    painter.restore();
}
