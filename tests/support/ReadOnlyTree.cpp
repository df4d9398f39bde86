#include "tests/support/ReadOnlyTree.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>

#include <algorithm>

namespace zrtest {

namespace {

bool setWritable(const QString& path, bool writable)
{
    struct stat st;
    const QByteArray native = QFile::encodeName(path);
    if (::lstat(native.constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode))
        return true;
    mode_t mode = st.st_mode & 07777;
    mode = writable ? (mode | S_IWUSR) : ((mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) | S_IROTH);
    if (S_ISDIR(st.st_mode) && !writable)
        mode |= S_IXOTH;
    return ::chmod(native.constData(), mode) == 0;
}

bool setTreeWritable(const QString& root, bool writable)
{
    bool ok = true;
    // Folders are opened before their contents are touched and closed after them.
    if (writable)
        ok = setWritable(root, true);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList entries;
    while (it.hasNext())
        entries << it.next();
    std::sort(entries.begin(), entries.end(), [](const QString& a, const QString& b) { return a > b; });
    if (writable)
        std::reverse(entries.begin(), entries.end());
    for (const QString& e : std::as_const(entries))
        ok = setWritable(e, writable) && ok;
    if (!writable)
        ok = setWritable(root, false) && ok;
    return ok;
}

} // namespace

ReadOnlyTree::ReadOnlyTree(const QString& root)
    : m_root(root)
{
    m_valid = QFileInfo(root).isDir() && setTreeWritable(root, false);
    m_before = fingerprint(root);
}

ReadOnlyTree::~ReadOnlyTree()
{
    setTreeWritable(m_root, true);
}

QStringList ReadOnlyTree::fingerprint(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        out << QStringLiteral("%1 %2 %3")
                   .arg(info.absoluteFilePath())
                   .arg(info.isDir() ? -1 : info.size())
                   .arg(info.lastModified().toMSecsSinceEpoch());
    }
    out << QStringLiteral("%1 %2").arg(root).arg(QFileInfo(root).lastModified().toMSecsSinceEpoch());
    out.sort();
    return out;
}

QStringList ReadOnlyTree::changes() const
{
    const QStringList now = fingerprint(m_root);
    const QSet<QString> before(m_before.begin(), m_before.end());
    const QSet<QString> after(now.begin(), now.end());
    QStringList diff;
    for (const QString& s : now)
        if (!before.contains(s))
            diff << QStringLiteral("+ ") + s;
    for (const QString& s : m_before)
        if (!after.contains(s))
            diff << QStringLiteral("- ") + s;
    return diff;
}

} // namespace zrtest
