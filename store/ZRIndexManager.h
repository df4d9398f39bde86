#pragma once

#include <QFileInfo>
#include <QObject>
#include <QString>

// Builds a day folder's index file and reads it back.
class ZRIndexManager : public QObject
{
    Q_OBJECT
public:
    ZRIndexManager() = default;

    // Export folder name, day folder name and the export folder's normalised absolute path
    // of a day folder (or of a file in it); false when its name is no "yyyy-MM-dd" or it has
    // no parent.
    static bool splitDayPath(const QFileInfo& day, QString& exportName, QString& dayName, QString& exportPath);
    // {export folder}/.zrindex/{yyyy-MM-dd}/zrvideoindex.json; a null text when splitDayPath fails.
    static QString dayIndexPath(const QFileInfo& day);
};
