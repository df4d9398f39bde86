#pragma once

#include <QString>
#include <QTime>

// A range "HH:mm:ss - HH:mm:ss" of an hour label (or the slider's whole day) and the test of
// a time against it; the last hour of the day ends at midnight, written "00:00:00".
class TimeRange
{
public:
    explicit TimeRange(const QString& label);

    bool contains(const QTime& t) const;
    QTime start() const { return begin; }
    QTime end() const { return finish; }

    // "yyyyMMddHHmmss" read as a time of day; invalid when it does not parse.
    static QTime time_of_stamp(const QString& stamp);

private:
    QTime begin;
    QTime finish;
};
