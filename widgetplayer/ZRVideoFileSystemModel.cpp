#include "widgetplayer/ZRVideoFileSystemModel.h"

#include "app/Log.h"
#include "widgetplayer/RecordingTimeText.h"

#include <QColor>
#include <QDate>
#include <QDirIterator>
#include <QTime>

ZRVideoFileSystemModel::ZRVideoFileSystemModel(QObject* parent)
    : QFileSystemModel(nullptr)
{
    Q_UNUSED(parent);
}

QVariant ZRVideoFileSystemModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return QVariant();
    if (role == Qt::BackgroundRole || role == Qt::ForegroundRole) {
        const QString name = fileName(index);
        if (QDate::fromString(name, QStringLiteral("yyyy-MM-dd")).isValid()
            || QTime::fromString(name, QStringLiteral("HH:mm:ss")).isValid())
            return QColor(Qt::magenta);
        return QFileSystemModel::data(index, role);
    }
    if (role != Qt::DisplayRole && role != DateTimeRole)
        return QFileSystemModel::data(index, role);
    return RecordingTimeText::answer(this, index, role);
}

bool ZRVideoFileSystemModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    write_log("ZRVideoFileSystemModel:: Set data " + value.toString());
    if (role == Qt::CheckStateRole) {
        write_log("ZRVideoFileSystemModel:: Set data " + value.toString());
        emit dataChanged(index, index);
        return true;
    }
    return QFileSystemModel::setData(index, value, role);
}

void ZRVideoFileSystemModel::populateFileToSizeHash()
{
    QDirIterator it(rootDirectory().path(), QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (!info.isFile())
            continue;
        write_log("ZRVideoFileSystemModel:: + populateFileToSizeHash :: " + info.path());
        file_sizes.insert(info.filePath(), info.size());
    }
}

void ZRVideoFileSystemModel::identifyPathsOfSize(int sizeLimit)
{
    Q_UNUSED(sizeLimit);
    constexpr qint64 kMarkedAbove = 51200;
    if (file_sizes.isEmpty())
        populateFileToSizeHash();
    marked_paths.clear();
    const QString root = rootPath();
    for (auto it = file_sizes.cbegin(); it != file_sizes.cend(); ++it) {
        if (it.value() <= kMarkedAbove)
            continue;
        QString path = it.key();
        while (path != root && !marked_paths.contains(path)) {
            marked_paths.insert(path);
            const int slash = path.lastIndexOf(QLatin1Char('/'));
            if (slash < 0) {
                marked_paths.insert(QString());
                break;
            }
            path = path.left(slash);
        }
    }
    emit dataChanged(QModelIndex(), QModelIndex());
}
