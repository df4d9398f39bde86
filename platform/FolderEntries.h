#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// A folder's entries as one pass over the folder sees them, each with its type, size and
// modification time: one status query per entry, by name relative to the open folder, instead
// of one per question asked of a path.
namespace zrplatform {

struct FolderEntry
{
    enum class Type : quint8 {
        File,  // a regular file
        Dir,   // a folder
        Other, // anything else, or a link whose target is gone
    };

    QString name;
    Type type = Type::Other; // of the link's target for a symbolic link
    bool symLink = false;
    bool hidden = false;   // hidden in the platform's sense
    bool readable = false; // the user may read it (for a link, its target)
    qint64 size = 0;       // in bytes (of the link's target)
    // Modification time in whole seconds since 1970-01-01T00:00:00 UTC, as the framework's
    // file time gives it (milliseconds taken first, then whole seconds toward zero).
    qint64 mtime = 0;
};

// Every entry of folder but "." and "..", in the file system's order; false when the folder
// cannot be listed. folderMTime, when given, gets the folder's own modification time (as
// FolderEntry::mtime), read before its entries.
bool list_folder(const QString& folder, std::vector<FolderEntry>* entries, qint64* folderMTime = nullptr);

} // namespace zrplatform
