#include "platform/FolderEntries.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace zrplatform {

namespace {

qint64 wholeSeconds(const struct timespec& t)
{
    // The framework keeps file times in milliseconds and truncates them to seconds.
    return (qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000) / 1000;
}

// The user the permission bits are read for: the real one, as access() takes it.
struct Reader
{
    uid_t uid = getuid();
    gid_t gid = getgid();
    std::vector<gid_t> groups;

    Reader()
    {
        const int n = getgroups(0, nullptr);
        if (n > 0) {
            groups.resize(size_t(n));
            groups.resize(size_t(std::max(0, getgroups(n, groups.data()))));
        }
    }

    // What access(R_OK) answers, from the status where the permission bits settle it; the
    // system is asked only when they deny reading (a privileged user or an access list may
    // still allow it).
    bool mayRead(const struct stat& st, int dirFd, const char* name) const
    {
        mode_t bit = S_IROTH;
        if (st.st_uid == uid)
            bit = S_IRUSR;
        else if (st.st_gid == gid || std::find(groups.begin(), groups.end(), st.st_gid) != groups.end())
            bit = S_IRGRP;
        if (st.st_mode & bit)
            return true;
        return faccessat(dirFd, name, R_OK, 0) == 0;
    }
};

} // namespace

bool list_folder(const QString& folder, std::vector<FolderEntry>* entries, qint64* folderMTime)
{
    entries->clear();
    DIR* dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return false;
    const int fd = dirfd(dir);
    struct stat own;
    if (fstat(fd, &own) != 0) {
        closedir(dir);
        return false;
    }
    if (folderMTime)
        *folderMTime = wholeSeconds(own.st_mtim);
    // A folder's size grows with its entries (some 30 bytes each where names are short): room
    // for them at once, rather than copies of the list as it grows.
    entries->reserve(size_t(std::min<qint64>(qint64(own.st_size) / 32, 65536)));
    const Reader reader;
    while (const dirent* e = readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        FolderEntry entry;
        entry.name = QFile::decodeName(name);
        entry.hidden = name[0] == '.';
        struct stat st;
        if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // gone since the folder was read
        if (S_ISLNK(st.st_mode)) {
            entry.symLink = true;
            if (fstatat(fd, name, &st, 0) != 0) {
                entries->push_back(std::move(entry)); // a link whose target is gone
                continue;
            }
        }
        entry.type = S_ISREG(st.st_mode) ? FolderEntry::Type::File
            : S_ISDIR(st.st_mode)        ? FolderEntry::Type::Dir
                                         : FolderEntry::Type::Other;
        entry.readable = reader.mayRead(st, fd, name);
        entry.size = qint64(st.st_size);
        entry.mtime = wholeSeconds(st.st_mtim);
        entries->push_back(std::move(entry));
    }
    closedir(dir);
    return true;
}

} // namespace zrplatform
