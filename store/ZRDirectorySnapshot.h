#pragma once

#include "store/FolderListings.h"
#include "store/SnapshotEntry.h"

#include <QByteArray>
#include <QFileInfoList>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// Reduces a folder tree to one SHA-256 digest of its files' relative paths, modification times
// and sizes (contents are never read), with a per-folder cache kept in
// "<root>/.zrindex/zrindex_cache.v1.bin", or in the root's stand-in in the per-user folder when
// the root cannot be written (IndexPlacement). Built on the caller's stack for one
// computation; not shared between threads.
class ZRDirectorySnapshot
{
public:
    using ProgressFn = std::function<void(const QString& path, int done, int total)>;

    ZRDirectorySnapshot() = default;

    // The tree's digest as 64 lower-case hexadecimal characters; a null text when dir does not
    // exist or the computation was cancelled. changed receives the folders whose own listing
    // had changed since the cache was written. With useCache the cache file is loaded before
    // and saved after.
    QString twoPhase(const QString& dir, QStringList* changed, bool useCache);

    // One folder alone: appends it to changed unless its cache entry matches its modification
    // time and accepted counts.
    void checkDir(const QString& root, const QString& dir, QStringList* changed);
    // The folder's 32-byte digest with paths relative to root; empty when cancelled or when
    // the digest could not be computed.
    QByteArray hashDir(const QString& root, const QString& dir, bool useCache);

    bool openCacheForRoot(const QString& root);
    bool loadCache();
    bool saveCache();

    bool isIgnoredDir(const QString& name) const;
    bool isIgnoredFile(const QString& name) const;

    void setCancelFlag(const std::atomic<bool>* flag) { m_cancel = flag; }
    void setProgress(ProgressFn fn) { m_progress = std::move(fn); }
    void setIgnoredDirNames(const QStringList& names) { m_ignoredDirNames = names; }
    void setIgnoredSuffixes(const QStringList& suffixes) { m_ignoredSuffixes = suffixes; }
    // Folders listed beforehand, taken instead of listing them again; null lists every folder.
    void useListings(const FolderListings* listings) { m_listings = listings; }

    const QHash<QString, SnapshotEntry>& cache() const { return m_cache; }

    static constexpr qint32 kCacheMagic = 0x5A524944; // "ZRID"
    static constexpr qint32 kCacheVersion = 1;

private:
    using Entry = zrplatform::FolderEntry;
    struct Listing
    {
        // The entries listed here when no listing was given; shared, so that the pointers
        // below stay good in every copy.
        std::shared_ptr<const std::vector<Entry>> own;
        std::vector<const Entry*> files; // accepted, sorted by name
        std::vector<const Entry*> dirs;
        qint64 mtime = 0;
    };

    bool cancelled() const;
    Listing listFolder(const QString& p) const;
    bool verifyTree(const QString& p, QStringList* changed, QSet<QString>* stale);
    bool isRacy(qint64 mtime) const;
    // A racy entry whose folder still lists the same: true when the folder's own records,
    // with its sub-folders' cached digests, give the entry's digest. listing gets the listing.
    bool confirmRacy(const QString& root, const QString& p, const SnapshotEntry& entry, Listing* listing);
    void forgetBelow(const QString& p, const QSet<QString>& keep);

    QHash<QString, SnapshotEntry> m_cache;
    QString m_root;
    QString m_cachePath;
    // The file loadCache reads: m_cachePath, or the copy a folder that cannot be written
    // carries while its stand-in has none.
    QString m_readPath;
    bool m_dirty = false;
    QStringList m_ignoredDirNames;
    QStringList m_ignoredSuffixes;
    const std::atomic<bool>* m_cancel = nullptr;
    ProgressFn m_progress;
    const FolderListings* m_listings = nullptr;

    // Folders whose entry phase 1 confirmed for this computation.
    QSet<QString> m_verified;
    // Listings phase 1 made of changed folders, taken over by phase 2.
    QHash<QString, Listing> m_pending;
    // Cached sub-folders of each cached folder, for phase 1.
    QHash<QString, QStringList> m_children;
    // Entries of folders modified too close to their hashing (or, once loaded, to the cache's
    // save) to be trusted as they are: a change in the same second would leave the folder's
    // time as it was. They are saved all the same and checked against their folder when used.
    QSet<QString> m_racy;
    qint64 m_startSecs = 0;
};
