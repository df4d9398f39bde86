#pragma once

// Test-side helpers for the snapshot hash: the digest recomputed straight from its definition
// (no cache, no shared code with the store), and setting a folder's or file's times.

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QtEndian>

#include <sys/stat.h>
#include <utime.h>

#include <algorithm>

namespace storetest {

inline bool setMTime(const QString& path, qint64 secs)
{
    struct utimbuf times;
    times.actime = time_t(secs);
    times.modtime = time_t(secs);
    return ::utime(QFile::encodeName(path).constData(), &times) == 0;
}

inline qint64 mtimeOf(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtime);
}

// Every folder and file below (and including) root gets the time secs, deepest first.
inline void setTreeMTime(const QString& root, qint64 secs)
{
    const QFileInfoList entries =
        QDir(root).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& e : entries) {
        if (e.isDir() && !e.isSymLink())
            setTreeMTime(e.absoluteFilePath(), secs);
        else
            setMTime(e.absoluteFilePath(), secs);
    }
    setMTime(root, secs);
}

inline QByteArray be64(qint64 v)
{
    const qint64 be = qToBigEndian(v);
    return QByteArray(reinterpret_cast<const char*>(&be), 8);
}

// SHA-256 over: per accepted file (by name) "rel\0" mtime size; then per accepted sub-folder
// "rel\0" digest "\0". Skipped: hidden entries, symbolic links, ".git" ".svn" ".locks"
// ".zrindex" folders, "*.json" and "*.zrnfo" files.
inline QByteArray referenceDigest(const QString& root, const QString& dir)
{
    QStringList names = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
    const QString prefix = dir == root ? QString() : dir.mid(root.size() + 1) + "/";
    QByteArray files;
    QByteArray folders;
    for (const QString& name : names) {
        const QString path = dir + "/" + name;
        struct stat st;
        if (name.startsWith('.') && name != ".")
            continue; // hidden on this platform
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || S_ISLNK(st.st_mode))
            continue;
        // Relative paths with "/" for every "\\", even one within a name.
        const QByteArray rel = QString(prefix + name).replace('\\', '/').toUtf8();
        if (S_ISDIR(st.st_mode)) {
            folders += rel + '\0' + referenceDigest(root, path) + '\0';
        } else if (S_ISREG(st.st_mode)) {
            if (name.endsWith(".json", Qt::CaseInsensitive) || name.endsWith(".zrnfo", Qt::CaseInsensitive))
                continue;
            files += rel + '\0' + be64(st.st_mtime) + be64(st.st_size);
        }
    }
    return QCryptographicHash::hash(files + folders, QCryptographicHash::Sha256);
}

inline QString referenceHash(const QString& root)
{
    const QString r = QDir::cleanPath(QFileInfo(root).absoluteFilePath());
    return QString::fromLatin1(referenceDigest(r, r).toHex());
}

} // namespace storetest
