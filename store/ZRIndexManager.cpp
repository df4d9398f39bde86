#include "store/ZRIndexManager.h"

#include "store/StoreLayout.h"

#include <QRegularExpression>

bool ZRIndexManager::splitDayPath(const QFileInfo& day, QString& exportName, QString& dayName, QString& exportPath)
{
    const QString folder = normalizePath(day.isDir() ? day.absoluteFilePath() : day.absolutePath());
    const int slash = folder.lastIndexOf(QLatin1Char('/'));
    const QString name = folder.mid(slash + 1);
    static const QRegularExpression dayPattern(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!dayPattern.match(name).hasMatch())
        return false;
    if (slash < 0)
        return false;
    const QString parent = slash == 0 ? QStringLiteral("/") : folder.left(slash);
    if (parent == folder)
        return false;
    exportName = parent.mid(parent.lastIndexOf(QLatin1Char('/')) + 1);
    dayName = name;
    exportPath = normalizePath(parent);
    return true;
}

QString ZRIndexManager::dayIndexPath(const QFileInfo& day)
{
    QString exportName;
    QString dayName;
    QString exportPath;
    if (!splitDayPath(day, exportName, dayName, exportPath))
        return QString();
    const QString base = exportPath.endsWith(QLatin1Char('/')) ? exportPath : exportPath + QLatin1Char('/');
    return base + QStringLiteral(".zrindex/") + dayName + QStringLiteral("/zrvideoindex.json");
}
