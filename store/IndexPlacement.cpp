#include "store/IndexPlacement.h"

#include "app/Http_singleton.h"
#include "store/StoreLayout.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace {

QString parentOf(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

QString IndexPlacement::userFolderOf(const QString& exportPath)
{
    const QString path = normalizePath(QFileInfo(exportPath).absoluteFilePath());
    const QByteArray key =
        QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.isEmpty() || name.contains(QLatin1Char(':')))
        name = QStringLiteral("root"); // "/" or a drive's root
    return QDir::homePath() + QStringLiteral("/.") + Http_singleton::instance()->get_application_name()
        + QStringLiteral("/zrindex/") + name + QLatin1Char('-') + QString::fromLatin1(key);
}

QString IndexPlacement::standInOf(const QString& folder)
{
    const QString path = normalizePath(QFileInfo(folder).absoluteFilePath());
    const QString parent = parentOf(path);
    if (parent.isEmpty() || parent == path)
        return userFolderOf(path);
    return userFolderOf(parent) + QLatin1Char('/') + path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool IndexPlacement::canWriteInto(const QString& folder)
{
    QString path = normalizePath(QFileInfo(folder).absoluteFilePath());
    // A file in the way makes the write fail where it belongs, not move elsewhere.
    while (!QFileInfo(path).isDir()) {
        const QString parent = parentOf(path);
        if (parent.isEmpty() || parent == path)
            return false;
        path = parent;
    }
    return QFileInfo(path).isWritable();
}
