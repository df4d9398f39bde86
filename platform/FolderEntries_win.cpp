#include "platform/FolderEntries.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace zrplatform {

bool list_folder(const QString& folder, std::vector<FolderEntry>* entries, qint64* folderMTime)
{
    entries->clear();
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable())
        return false;
    if (folderMTime)
        *folderMTime = info.fileTime(QFileDevice::FileModificationTime).toUTC().toSecsSinceEpoch();
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo file = it.fileInfo();
        FolderEntry entry;
        entry.name = file.fileName();
        entry.type = file.isFile() ? FolderEntry::Type::File
            : file.isDir()         ? FolderEntry::Type::Dir
                                   : FolderEntry::Type::Other;
        entry.symLink = file.isSymLink();
        entry.hidden = file.isHidden();
        entry.readable = file.isReadable();
        entry.size = file.size();
        entry.mtime = file.fileTime(QFileDevice::FileModificationTime).toUTC().toSecsSinceEpoch();
        entries->push_back(std::move(entry));
    }
    return true;
}

} // namespace zrplatform
