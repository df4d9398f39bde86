#pragma once

#include <QString>

// Where the store keeps the files it writes beside the recordings (the day indexes and the
// snapshot caches). Inside the export, as always, when that place can be written; otherwise
// (a write-protected disc or disk, a share mounted read-only) in a stand-in folder in the
// per-user folder, named after the export's absolute path, so that such an export plays the
// same and nothing is written to it.
class IndexPlacement
{
public:
    // "<home>/.ZRPlayer/zrindex/<name>-<key>" for the folder exportPath, the key being the first
    // 16 hexadecimal digits of the SHA-256 of its normalised absolute path.
    static QString userFolderOf(const QString& exportPath);
    // The stand-in of folder (a day folder): the stand-in of its parent, "/" and its name.
    static QString standInOf(const QString& folder);
    // Whether files can be created in folder, or, while it is no folder, in the nearest
    // folder above it (which is where it would be created).
    static bool canWriteInto(const QString& folder);
};
