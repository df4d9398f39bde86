#include "widgetplayer/VignetteText.h"

#include <QDate>
#include <QTime>

QString VignetteText::moment(const QString& stamp)
{
    if (stamp.size() != 14)
        return QString();
    // Date and time apart: a wall-clock stamp inside a daylight-saving gap is still a moment.
    const QDate day = QDate::fromString(stamp.left(8), QStringLiteral("yyyyMMdd"));
    const QTime clock = QTime::fromString(stamp.mid(8), QStringLiteral("HHmmss"));
    if (!day.isValid() || !clock.isValid())
        return QString();
    return day.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') + clock.toString(QStringLiteral("HH:mm:ss"));
}
