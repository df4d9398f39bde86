#pragma once

#include <QByteArray>
#include <QtGlobal>

// The cached state of one folder of a snapshot tree.
struct SnapshotEntry
{
    QByteArray hash;     // the folder's 32-byte SHA-256 digest
    qint64 dirMTime = 0; // the folder's own modification time, whole seconds since the epoch
    int fileCount = 0;   // accepted files directly in the folder
    int dirCount = 0;    // accepted sub-folders directly in the folder
};
