#include "platform/StorageRoots.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace zrplatform {

namespace {

// Pseudo and virtual file systems are not places where exports live.
bool is_real_volume(const QStorageInfo& volume)
{
    if (!volume.isValid() || !volume.isReady())
        return false;
    const QByteArray type = volume.fileSystemType();
    // tmpfs and overlay stay: /tmp and a container's root hold ordinary files.
    static const QByteArrayList pseudo = {
        "proc",      "sysfs",    "devtmpfs",   "devpts",     "cgroup",   "cgroup2", "pstore",
        "securityfs", "debugfs", "tracefs",    "configfs",   "fusectl",  "mqueue",  "hugetlbfs",
        "bpf",       "autofs",   "binfmt_misc", "nsfs",      "squashfs", "efivarfs", "rpc_pipefs",
        "selinuxfs", "devfs"};
    if (pseudo.contains(type))
        return false;
    const QString root = volume.rootPath();
    // Kernel and runtime trees can sit on ordinary file systems too (bind mounts).
    static const QStringList hidden = {QStringLiteral("/proc"), QStringLiteral("/sys"),
                                       QStringLiteral("/dev"), QStringLiteral("/run"),
                                       QStringLiteral("/boot")};
    for (const QString& h : hidden) {
        if (root == h || root.startsWith(h + QLatin1Char('/')))
            return false;
    }
    return true;
}

void append_unique(QStringList& list, const QString& path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    if (!info.exists() || !info.isDir())
        return;
    const QString clean = QDir::cleanPath(info.absoluteFilePath());
    if (!list.contains(clean))
        list.append(clean);
}

} // namespace

QStringList storage_roots()
{
    QStringList roots;
    QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    std::sort(volumes.begin(), volumes.end(), [](const QStorageInfo& a, const QStorageInfo& b) {
        return a.rootPath() < b.rootPath();
    });
    for (const QStorageInfo& volume : volumes) {
        if (is_real_volume(volume))
            append_unique(roots, volume.rootPath());
    }
    append_unique(roots, QDir::homePath());
    return roots;
}

} // namespace zrplatform
