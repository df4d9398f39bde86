#pragma once

#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// A day of an export as the player lists it: the day folders of an export folder, the camera
// files of a day's media folders, a day's cameras and its five media lists, read from the day
// index when the index is fresh. Holds no state: every call may run on any thread.
class DayListing
{
public:
    // What a day folder's load produced: the five lists and whether the index must be rebuilt.
    struct DayLoad
    {
        QList<QFileInfo> video;
        QList<QFileInfo> alarm;
        QList<QFileInfo> tag;
        QList<QFileInfo> audio;
        QList<QFileInfo> preview;
        bool rebuild = false;
    };
    // One day's cameras (table and names), the error text for the operator, and the day's load.
    struct CameraListing
    {
        QHash<int, QString> table;
        QStringList cameras;
        QString error;
        bool day_loaded = false;
        DayLoad day;
    };

    // The folders of directory named by a valid "yyyy-MM-dd" date, sorted by name.
    static QList<QFileInfo> get_days_list(const QString& directory);
    // The ".zrnfo" files of a day's media folders, folder by folder, sorted by name.
    static QList<QFileInfo> zrnfo_with_multiple_directory(const QString& day_directory);
    // The day's five lists from its index when the index's hash matches the folder's snapshot.
    static DayLoad load_day(const QString& day_directory);
    // The cameras of one day (merging its camera files into "index.zrnfo" when needed) and the
    // load of its lists.
    static CameraListing list_cameras_for_date(const QString& root, const QString& date);
};
