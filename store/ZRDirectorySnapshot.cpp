#include "store/ZRDirectorySnapshot.h"

#include "app/Log.h"
#include "platform/FolderEntries.h"
#include "store/IndexPlacement.h"
#include "store/StoreLayout.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr int kCacheStreamVersion = QDataStream::Qt_5_15; // 19
constexpr int kDigestSize = 32;
constexpr char kCacheFileName[] = "zrindex_cache.v1.bin";
// A folder whose time is this close to its hashing may still change within the same second.
constexpr qint64 kRacySeconds = 2;

// A folder's modification time. QFile reports the time in UTC: QFileInfo's local time would
// cost two time-zone conversions.
qint64 mtimeSeconds(const QString& path)
{
    return QFile(path).fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch();
}

QString parentOf(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

// Path of p relative to root, with a trailing "/" (empty for the root itself).
QString relativePrefix(const QString& root, const QString& p)
{
    if (p == root)
        return QString();
    const int skip = root.endsWith(QLatin1Char('/')) ? root.size() : root.size() + 1;
    return p.mid(skip) + QLatin1Char('/');
}

// A folder's relative path as it starts its files' records: UTF-8, with "/" for "\\".
QByteArray recordPrefix(const QString& prefix)
{
    QString rel = prefix;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return rel.toUtf8();
}

// SHA-256 over records gathered in a buffer: a day's folders hold tens of thousands of small
// records, and the library's digest costs less fed in large pieces.
class Digest
{
public:
    Digest() : m_context(EVP_MD_CTX_new()), m_buffer(new char[size_t(m_capacity)])
    {
        m_ok = m_context && EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) == 1;
    }

    // Room for n more bytes, to be written at once.
    char* reserve(qsizetype n)
    {
        if (m_used + n > m_capacity) {
            flush();
            if (n > m_capacity) {
                m_buffer.reset(new char[size_t(n)]);
                m_capacity = n;
            }
        }
        char* at = m_buffer.get() + m_used;
        m_used += n;
        return at;
    }
    void add(QByteArrayView bytes)
    {
        if (!bytes.isEmpty())
            memcpy(reserve(bytes.size()), bytes.data(), size_t(bytes.size()));
    }

    QByteArray result()
    {
        flush();
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        // A failed digest is none: the computation fails rather than store a wrong one.
        if (!m_ok || EVP_DigestFinal_ex(m_context.get(), digest, &size) != 1 || size != kDigestSize)
            return QByteArray();
        return QByteArray(reinterpret_cast<const char*>(digest), int(size));
    }

private:
    void flush()
    {
        if (m_ok && m_used > 0)
            m_ok = EVP_DigestUpdate(m_context.get(), m_buffer.get(), size_t(m_used)) == 1;
        m_used = 0;
    }

    struct Free
    {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> m_context;
    // On the heap: folders are hashed recursively, one digest per level.
    qsizetype m_capacity = 64 * 1024;
    std::unique_ptr<char[]> m_buffer;
    qsizetype m_used = 0;
    bool m_ok = false;
};

// The record of one file in its folder's digest: the prefix (recordPrefix), the name in UTF-8
// with "/" for "\\", 0x00, the time and the size.
void addFileRecord(Digest& hash, const QByteArray& prefix, const QString& name, qint64 mtime, qint64 size)
{
    const bool ascii = std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; });
    QByteArray utf8;
    if (!ascii) {
        utf8 = name.toUtf8();
        utf8.replace('\\', '/');
    }
    const qsizetype nameSize = ascii ? name.size() : utf8.size();
    char* out = hash.reserve(prefix.size() + nameSize + 1 + 16);
    memcpy(out, prefix.constData(), size_t(prefix.size()));
    out += prefix.size();
    if (ascii) {
        for (const QChar c : name)
            *out++ = c == QLatin1Char('\\') ? '/' : char(c.unicode());
    } else {
        memcpy(out, utf8.constData(), size_t(nameSize));
        out += nameSize;
    }
    *out++ = '\0';
    for (const qint64 value : {mtime, size}) {
        qToBigEndian(value, out);
        out += sizeof value;
    }
}

// The record of one sub-folder in its parent's digest.
void addDirRecord(Digest& hash, const QString& prefix, const QString& name, const QByteArray& digest)
{
    static const char zero = '\0';
    QString rel = prefix + name;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    hash.add(rel.toUtf8());
    hash.add(QByteArrayView(&zero, 1));
    hash.add(digest);
    hash.add(QByteArrayView(&zero, 1));
}

} // namespace

bool ZRDirectorySnapshot::cancelled() const
{
    return m_cancel && m_cancel->load();
}

bool ZRDirectorySnapshot::isIgnoredDir(const QString& name) const
{
    static const QStringList fixed = {QStringLiteral("."), QStringLiteral(".."), QStringLiteral(".git"),
                                      QStringLiteral(".svn"), QStringLiteral(".locks"), QStringLiteral(".zrindex")};
    return fixed.contains(name) || m_ignoredDirNames.contains(name, Qt::CaseInsensitive);
}

bool ZRDirectorySnapshot::isIgnoredFile(const QString& name) const
{
    // The last letter first: the test runs on every file of a day.
    const char16_t last = name.isEmpty() ? 0 : char16_t(name.back().unicode() | 0x20);
    if ((last == u'n' && name.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        || (last == u'o' && name.endsWith(QLatin1String(".zrnfo"), Qt::CaseInsensitive)))
        return true;
    if (m_ignoredSuffixes.isEmpty())
        return false;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && m_ignoredSuffixes.contains(name.mid(dot + 1).toLower());
}

ZRDirectorySnapshot::Listing ZRDirectorySnapshot::listFolder(const QString& p) const
{
    Listing listing;
    // One pass over the folder gives every file's size and time with its name. The folder's
    // time is read first: a change made while the folder is listed then leaves the entry behind
    // the folder's time, and the next run lists it again.
    const std::vector<Entry>* entries = nullptr;
    const FolderListings::Listing* given = m_listings ? m_listings->find(p) : nullptr;
    if (given && given->ok) {
        listing.mtime = given->mtime;
        entries = &given->entries;
    } else {
        auto own = std::make_shared<std::vector<Entry>>();
        if (!zrplatform::list_folder(p, own.get(), &listing.mtime))
            listing.mtime = mtimeSeconds(p);
        listing.own = own;
        entries = own.get();
    }
    listing.files.reserve(entries->size());
    for (const Entry& entry : *entries) {
        if (entry.hidden || entry.symLink || !entry.readable)
            continue;
        if (entry.type == Entry::Type::Dir) {
            if (!isIgnoredDir(entry.name))
                listing.dirs.push_back(&entry);
        } else if (entry.type == Entry::Type::File) {
            if (!isIgnoredFile(entry.name))
                listing.files.push_back(&entry);
        }
    }
    // A given listing is sorted already, and so is every part of it.
    if (!given || !given->ok) {
        const auto byName = [](const Entry* a, const Entry* b) { return nameLessThan(a->name, b->name); };
        if (!std::is_sorted(listing.files.begin(), listing.files.end(), byName))
            std::sort(listing.files.begin(), listing.files.end(), byName);
        if (!std::is_sorted(listing.dirs.begin(), listing.dirs.end(), byName))
            std::sort(listing.dirs.begin(), listing.dirs.end(), byName);
    }
    return listing;
}

bool ZRDirectorySnapshot::isRacy(qint64 mtime) const
{
    const qint64 start = m_startSecs ? m_startSecs : QDateTime::currentSecsSinceEpoch();
    return mtime >= start - kRacySeconds;
}

bool ZRDirectorySnapshot::confirmRacy(const QString& root, const QString& p, const SnapshotEntry& entry,
                                      Listing* listing)
{
    *listing = listFolder(p);
    if (listing->mtime != entry.dirMTime || int(listing->files.size()) != entry.fileCount
        || int(listing->dirs.size()) != entry.dirCount)
        return false;
    // The folder's own records again, with its sub-folders' digests as cached beside its own:
    // the same digest means the same listing, whatever happened within its second.
    const QString prefix = relativePrefix(root, p);
    const QByteArray filePrefix = recordPrefix(prefix);
    const QString base = p.endsWith(QLatin1Char('/')) ? p : p + QLatin1Char('/');
    Digest hash;
    for (const Entry* file : listing->files)
        addFileRecord(hash, filePrefix, file->name, file->mtime, file->size);
    for (const Entry* sub : listing->dirs) {
        const auto child = m_cache.constFind(base + sub->name);
        if (child == m_cache.constEnd())
            return false;
        addDirRecord(hash, prefix, sub->name, child->hash);
    }
    if (hash.result() != entry.hash)
        return false;
    // Confirmed after its second is over: from now on a change shows in the folder's time.
    if (m_startSecs && entry.dirMTime < m_startSecs - kRacySeconds) {
        m_racy.remove(p);
        m_dirty = true;
    }
    return true;
}

void ZRDirectorySnapshot::checkDir(const QString& root, const QString& dir, QStringList* changed)
{
    if (cancelled())
        return;
    const QString p = normalizePath(dir);
    Listing listing = listFolder(p);
    const int f = int(listing.files.size());
    const int d = int(listing.dirs.size());
    const auto it = m_cache.constFind(p);
    bool unchanged = it != m_cache.constEnd() && it->dirMTime == listing.mtime && it->fileCount == f
        && it->dirCount == d;
    if (unchanged && m_racy.contains(p))
        unchanged = confirmRacy(normalizePath(root), p, *it, &listing);
    if (m_progress)
        m_progress(p, f + d, f + d);
    if (!unchanged && changed)
        changed->append(p);
}

// Phase 1 over the whole tree. A folder whose time matches its entry still has the same
// entries (adding, removing or renaming one changes the folder's time), so its sub-folders are
// the cached ones and it need not be listed; the walk goes on below it all the same, since a
// change deep down leaves every ancestor's time alone. Returns true when nothing below p
// changed; folders that changed, and their ancestors, go into stale.
bool ZRDirectorySnapshot::verifyTree(const QString& p, QStringList* changed, QSet<QString>* stale)
{
    if (cancelled())
        return false;
    const QFileInfo info(p);
    if (!info.isDir()) {
        stale->insert(p);
        return false;
    }
    const qint64 mtime = mtimeSeconds(p);
    const auto it = m_cache.constFind(p);
    bool own = it != m_cache.constEnd() && it->dirMTime == mtime;
    QStringList kids;
    if (own) {
        kids = m_children.value(p);
        own = kids.size() == it->dirCount;
    }
    // An entry taken within its folder's last second is checked against the folder itself.
    Listing listing;
    bool listed = false;
    if (own && m_racy.contains(p)) {
        listed = true;
        own = confirmRacy(m_root, p, *it, &listing);
    }
    if (!own) {
        changed->append(p);
        kids.clear();
        // Phase 2 hashes this folder anyway: list it once, for both.
        if (!listed)
            listing = listFolder(p);
        const QString base = p.endsWith(QLatin1Char('/')) ? p : p + QLatin1Char('/');
        for (const Entry* dir : listing.dirs)
            kids.append(base + dir->name);
        m_pending.emplace(p, std::move(listing));
    }
    if (m_progress)
        m_progress(p, int(kids.size()), int(kids.size()));

    bool unchanged = own;
    for (const QString& kid : std::as_const(kids))
        if (!verifyTree(kid, changed, stale))
            unchanged = false;
    if (unchanged)
        m_verified.insert(p);
    else
        stale->insert(p);
    return unchanged;
}

void ZRDirectorySnapshot::forgetBelow(const QString& p, const QSet<QString>& keep)
{
    const QString prefix = p.endsWith(QLatin1Char('/')) ? p : p + QLatin1Char('/');
    for (auto it = m_cache.begin(); it != m_cache.end();) {
        const QString& key = it.key();
        if (key.startsWith(prefix)) {
            // The direct child (or the child that key lies in) of p.
            const int slash = key.indexOf(QLatin1Char('/'), prefix.size());
            const QString child = slash < 0 ? key : key.left(slash);
            if (!keep.contains(child)) {
                m_racy.remove(key);
                m_verified.remove(key);
                it = m_cache.erase(it);
                m_dirty = true;
                continue;
            }
        }
        ++it;
    }
}

QByteArray ZRDirectorySnapshot::hashDir(const QString& root, const QString& dir, bool useCache)
{
    if (cancelled())
        return QByteArray();
    const QString r = normalizePath(root);
    const QString p = normalizePath(dir);

    if (useCache && m_verified.contains(p)) {
        const auto it = m_cache.constFind(p);
        if (it != m_cache.constEnd()) {
            if (m_progress)
                m_progress(p, it->fileCount + it->dirCount, it->fileCount + it->dirCount);
            return it->hash;
        }
    }

    const auto pending = m_pending.find(p);
    const Listing listing = pending != m_pending.end() ? std::move(*pending) : listFolder(p);
    if (pending != m_pending.end())
        m_pending.erase(pending);
    const int f = int(listing.files.size());
    const int d = int(listing.dirs.size());
    const int total = f + d;
    if (m_progress)
        m_progress(p, 0, total);

    if (useCache) {
        const auto it = m_cache.constFind(p);
        if (it != m_cache.constEnd() && it->dirMTime == listing.mtime && it->fileCount == f && it->dirCount == d
            && !m_racy.contains(p)) {
            if (m_progress)
                m_progress(p, total, total);
            return it->hash;
        }
    }

    const QString prefix = relativePrefix(r, p);
    const QByteArray filePrefix = recordPrefix(prefix);
    Digest hash;
    int done = 0;
    for (const Entry* file : listing.files) {
        addFileRecord(hash, filePrefix, file->name, file->mtime, file->size);
        ++done;
        if (m_progress)
            m_progress(p, done, total);
        if (cancelled())
            return QByteArray();
    }
    QSet<QString> present;
    for (const Entry* sub : listing.dirs) {
        if (cancelled())
            return QByteArray();
        const QString subPath = p.endsWith(QLatin1Char('/')) ? p + sub->name : p + QLatin1Char('/') + sub->name;
        present.insert(subPath);
        const QByteArray child = hashDir(r, subPath, useCache);
        if (cancelled() || child.isEmpty())
            return QByteArray();
        addDirRecord(hash, prefix, sub->name, child);
        ++done;
        if (m_progress)
            m_progress(p, done, total);
    }

    const QByteArray digest = hash.result();
    if (digest.isEmpty())
        return QByteArray();
    SnapshotEntry entry;
    entry.hash = digest;
    entry.dirMTime = listing.mtime;
    entry.fileCount = f;
    entry.dirCount = d;
    m_cache.insert(p, entry);
    m_dirty = true;
    if (isRacy(listing.mtime))
        m_racy.insert(p);
    else
        m_racy.remove(p);
    // Entries of sub-folders that are gone would only confuse the next check.
    forgetBelow(p, present);
    m_verified.insert(p);
    return digest;
}

QString ZRDirectorySnapshot::twoPhase(const QString& dir, QStringList* changed, bool useCache)
{
    const QFileInfo info(dir);
    if (!info.isDir()) {
        write_log(QStringLiteral("[WARNING] ZRDirectorySnapshot :: twoPhase :: Directory does not exist: ") + dir);
        return QString();
    }
    const QString root = normalizePath(info.absoluteFilePath());
    m_startSecs = QDateTime::currentSecsSinceEpoch();

    if (useCache) {
        if (!openCacheForRoot(root))
            write_log("[WARN] ZRDirectorySnapshot :: twoPhase :: cache load failed (will rebuild)");
    } else if (root != m_root) {
        m_cache.clear();
        m_racy.clear();
        m_dirty = false;
        m_root = root;
        m_cachePath.clear();
        m_readPath.clear();
    }
    m_verified.clear();
    m_pending.clear();
    if (cancelled())
        return QString();

    // Phase 1: find the folders whose listing changed anywhere in the tree.
    m_children.clear();
    for (auto it = m_cache.constBegin(); it != m_cache.constEnd(); ++it)
        if (it.key() != root && isPathUnder(it.key(), root, Qt::CaseSensitive))
            m_children[parentOf(it.key())].append(it.key());
    QStringList list;
    QSet<QString> stale;
    verifyTree(root, &list, &stale);
    if (cancelled())
        return QString();

    // Phase 2: re-hash them; dropping their entries and their ancestors' makes every digest
    // that depends on them be computed again.
    for (const QString& s : std::as_const(stale))
        if (m_cache.remove(s))
            m_dirty = true;
    for (const QString& folder : std::as_const(list)) {
        if (cancelled())
            return QString();
        if (QFileInfo(folder).isDir())
            hashDir(root, folder, true);
        if (cancelled())
            return QString();
    }
    if (changed)
        *changed = list;

    if (cancelled())
        return QString();
    const QByteArray digest = hashDir(root, root, true);
    m_pending.clear();
    if (cancelled() || digest.isEmpty())
        return QString();

    if (useCache && m_dirty && !cancelled()) {
        if (saveCache())
            m_dirty = false;
        else
            write_log("[WARN] ZRDirectorySnapshot :: twoPhase :: cache save failed");
    }
    return QString::fromLatin1(digest.toHex());
}

bool ZRDirectorySnapshot::openCacheForRoot(const QString& root)
{
    const QString p = normalizePath(root);
    if (p == m_root && !m_cachePath.isEmpty())
        return true;
    m_cache.clear();
    m_racy.clear();
    m_verified.clear();
    m_dirty = false;
    m_root = p;
    const QString folder = (p.endsWith(QLatin1Char('/')) ? p : p + QLatin1Char('/')) + QStringLiteral(".zrindex");
    const QString own = folder + QLatin1Char('/') + QLatin1String(kCacheFileName);
    if (IndexPlacement::canWriteInto(folder)) {
        QDir().mkpath(folder);
        m_cachePath = own;
        m_readPath = own;
    } else {
        // Nothing is written to a folder that cannot be written: the cache goes to the folder's
        // stand-in in the per-user folder; a copy the folder carries is read until then.
        m_cachePath = IndexPlacement::standInOf(p) + QLatin1Char('/') + QLatin1String(kCacheFileName);
        m_readPath = !QFileInfo::exists(m_cachePath) && QFileInfo::exists(own) ? own : m_cachePath;
        write_log(QStringLiteral("[INFO] ZRDirectorySnapshot :: openCacheForRoot :: folder not writable, cache kept in ")
                  + m_cachePath);
    }
    return loadCache();
}

bool ZRDirectorySnapshot::loadCache()
{
    if (m_readPath.isEmpty())
        m_readPath = m_cachePath;
    if (m_readPath.isEmpty() || !QFileInfo::exists(m_readPath))
        return true;
    QFile file(m_readPath);
    if (!file.open(QIODevice::ReadOnly)) {
        write_log(QStringLiteral("[WARN] ZRDirectorySnapshot :: loadCache :: open failed: ") + file.errorString());
        return false;
    }
    QDataStream in(&file);
    in.setVersion(kCacheStreamVersion);
    in.setByteOrder(QDataStream::BigEndian);
    qint32 magic = 0;
    qint32 version = 0;
    qint32 count = 0;
    in >> magic >> version >> count;
    if (in.status() != QDataStream::Ok || magic != kCacheMagic || version != kCacheVersion) {
        write_log("[WARN] ZRDirectorySnapshot :: loadCache :: invalid header/version");
        m_cache.clear();
        return false;
    }
    const quint32 entries = quint32(count);
    for (quint32 i = 0; i < entries; ++i) {
        QString path;
        SnapshotEntry entry;
        in >> path >> entry.hash >> entry.dirMTime >> entry.fileCount >> entry.dirCount;
        // A digest of another length would poison every parent's digest.
        if (in.status() != QDataStream::Ok || entry.hash.size() != kDigestSize) {
            write_log("[WARN] ZRDirectorySnapshot :: loadCache :: truncated/corrupt");
            m_cache.clear();
            return false;
        }
        m_cache.insert(normalizePath(path), entry);
    }
    // Every entry is saved; those whose folder changed within the guard of the save may have
    // changed again in the same second, unseen by its time: they are checked before use.
    const qint64 saved = mtimeSeconds(m_readPath);
    for (auto it = m_cache.constBegin(); it != m_cache.constEnd(); ++it)
        if (it->dirMTime >= saved - kRacySeconds)
            m_racy.insert(it.key());
    return true;
}

bool ZRDirectorySnapshot::saveCache()
{
    if (!m_cachePath.isEmpty())
        QDir().mkpath(QFileInfo(m_cachePath).absolutePath());
    QSaveFile file(m_cachePath);
    if (m_cachePath.isEmpty() || !file.open(QIODevice::WriteOnly)) {
        write_log(QStringLiteral("[WARN] ZRDirectorySnapshot :: saveCache :: open failed: ") + file.errorString());
        return false;
    }
    QDataStream out(&file);
    out.setVersion(kCacheStreamVersion);
    out.setByteOrder(QDataStream::BigEndian);

    out << kCacheMagic << kCacheVersion << qint32(m_cache.size());
    for (auto it = m_cache.constBegin(); it != m_cache.constEnd(); ++it) {
        out << it.key() << it->hash << it->dirMTime << qint32(it->fileCount) << qint32(it->dirCount);
        if (out.status() != QDataStream::Ok) {
            file.cancelWriting();
            write_log("[WARN] ZRDirectorySnapshot :: saveCache :: write error");
            return false;
        }
    }
    if (out.status() != QDataStream::Ok) {
        file.cancelWriting();
        write_log("[WARN] ZRDirectorySnapshot :: saveCache :: write error");
        return false;
    }
    if (!file.commit()) {
        write_log(QStringLiteral("[WARN] ZRDirectorySnapshot :: saveCache :: commit failed: ") + file.errorString());
        return false;
    }
    m_readPath = m_cachePath;
    return true;
}
