#include "player/AppInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QString clean_path(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(p);
}

} // namespace

AppInfo::AppInfo(QObject* parent) : QObject(parent) {}

QString AppInfo::appDir() const
{
    return QCoreApplication::applicationDirPath();
}

QString AppInfo::workingDir() const
{
    return QDir::currentPath();
}

QString AppInfo::parentAppDir() const
{
    QDir dir(clean_path(QCoreApplication::applicationDirPath()));
    if (dir.dirName() == QLatin1String("bin"))
        dir.cdUp();
    dir.cdUp();
    return dir.absolutePath();
}

QString AppInfo::parentZRNovaDir() const
{
    return findZRNovaDir(QString());
}

QString AppInfo::findZRNovaDir(const QString& start)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(?:zrnova)_[0-9a-f]{4}(?:-[0-9a-f]{4}){3}$"),
        QRegularExpression::CaseInsensitiveOption);

    QString from = start.isEmpty() ? QCoreApplication::applicationDirPath() : clean_path(start);
    const QFileInfo startInfo(from);
    if (startInfo.exists() && !startInfo.isDir())
        from = startInfo.absolutePath();

    QString current = clean_path(QFileInfo(from).absoluteFilePath());
    while (!current.isEmpty()) {
        const QString name = QFileInfo(current).fileName();
        if (!name.isEmpty() && pattern.match(name).hasMatch())
            return current;
        const QString parent = clean_path(QFileInfo(current).absolutePath());
        if (parent == current)
            break;
        current = parent;
    }
    return QString();
}
