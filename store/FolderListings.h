#pragma once

#include "platform/FolderEntries.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

// Listings of folders taken once, several at a time, so that the snapshot hash and the day scan
// of one index build read each media folder a single time and from the same moment. Filled
// once, then only read (from any thread).
class FolderListings
{
public:
    struct Listing
    {
        bool ok = false;  // the folder could be listed
        qint64 mtime = 0; // the folder's own time, read before its entries
        std::vector<zrplatform::FolderEntry> entries; // sorted by name (nameLessThan)
    };

    // Lists each folder (paths normalised), on the global thread pool and the calling thread.
    void listAll(const QStringList& folders);

    // The listing of a folder given to listAll; null for any other.
    const Listing* find(const QString& folder) const;

private:
    QHash<QString, Listing> m_listings;
};
