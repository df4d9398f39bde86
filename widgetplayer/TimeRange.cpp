#include "widgetplayer/TimeRange.h"

#include <QDate>
#include <QStringList>

TimeRange::TimeRange(const QString& label)
{
    QString text = label;
    text.remove(QLatin1Char(':'));
    const QStringList parts = text.split(QStringLiteral(" - "));
    begin = QTime::fromString(parts.value(0), QStringLiteral("HHmmss"));
    finish = QTime::fromString(parts.value(1), QStringLiteral("HHmmss"));
}

bool TimeRange::contains(const QTime& t) const
{
    if (!t.isValid() || !begin.isValid())
        return false;
    if (finish.isValid() && begin <= t && t < finish)
        return true;
    return begin.hour() == 23 && t >= begin;
}

QTime TimeRange::time_of_stamp(const QString& stamp)
{
    // Date and time apart: a stamp inside a daylight-saving gap is still a time of day.
    if (stamp.size() != 14 || !QDate::fromString(stamp.left(8), QStringLiteral("yyyyMMdd")).isValid())
        return QTime();
    return QTime::fromString(stamp.mid(8), QStringLiteral("HHmmss"));
}
