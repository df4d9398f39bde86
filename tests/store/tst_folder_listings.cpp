//! labels: unit
#include "platform/FolderEntries.h"
#include "store/FolderListings.h"
#include "tests/support/TestMain.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace {

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

bool setTime(const QString& path, qint64 secs, long nsecs)
{
    const struct timespec times[2] = {{time_t(secs), nsecs}, {time_t(secs), nsecs}};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

// What the framework says of the same entry.
zrplatform::FolderEntry frameworkView(const QFileInfo& info)
{
    zrplatform::FolderEntry e;
    e.name = info.fileName();
    e.type = info.isFile() ? zrplatform::FolderEntry::Type::File
        : info.isDir()     ? zrplatform::FolderEntry::Type::Dir
                           : zrplatform::FolderEntry::Type::Other;
    e.symLink = info.isSymLink();
    e.hidden = info.isHidden();
    e.readable = info.isReadable();
    e.size = e.type == zrplatform::FolderEntry::Type::File ? info.size() : 0;
    e.mtime = e.type == zrplatform::FolderEntry::Type::Other
        ? 0
        : QFile(info.filePath()).fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch();
    return e;
}

QString describe(const zrplatform::FolderEntry& e)
{
    return QStringLiteral("%1 type %2 link %3 hidden %4 readable %5 size %6 mtime %7")
        .arg(e.name)
        .arg(int(e.type))
        .arg(e.symLink)
        .arg(e.hidden)
        .arg(e.readable)
        .arg(e.size)
        .arg(e.mtime);
}

} // namespace

class TestFolderListings : public QObject
{
    Q_OBJECT

private slots:
    // One pass over a folder tells of each entry what the framework's own questions tell.
    void entriesAgreeWithTheFramework()
    {
        QTemporaryDir tmp;
        const QString dir = tmp.filePath("media");
        writeFile(dir + "/1_20240501_000000.zrvideo", "video bytes");
        writeFile(dir + "/1_20240501_000000.zrseek", "");
        writeFile(dir + "/.hidden.zrvideo", "h");
        writeFile(dir + "/caméra \"1\" \\ x.jpg", "jpg");
        writeFile(dir + "/locked", "no reading");
        QVERIFY(QFile::setPermissions(dir + "/locked", QFileDevice::Permissions()));
        writeFile(dir + "/before1970", "old");
        QVERIFY(setTime(dir + "/before1970", -5, 500000000)); // 4.5 s before the epoch
        writeFile(dir + "/late", "ns");
        QVERIFY(setTime(dir + "/late", 1700000000, 999999999));
        QDir().mkpath(dir + "/sub");
        QDir().mkpath(dir + "/.zrindex");
        QVERIFY(QFile::link(dir + "/1_20240501_000000.zrvideo", dir + "/link.zrvideo"));
        QVERIFY(QFile::link(dir + "/sub", dir + "/linkdir"));
        QVERIFY(QFile::link(dir + "/gone", dir + "/broken"));
        QVERIFY(mkfifo(QFile::encodeName(dir + "/pipe").constData(), 0644) == 0);

        std::vector<zrplatform::FolderEntry> entries;
        qint64 folderTime = -1;
        QVERIFY(zrplatform::list_folder(dir, &entries, &folderTime));
        QCOMPARE(folderTime, QFile(dir).fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch());

        const QFileInfoList expected = QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                               | QDir::NoDotAndDotDot, QDir::Name);
        QCOMPARE(qsizetype(entries.size()), expected.size());
        QCOMPARE(expected.size(), 13);
        std::sort(entries.begin(), entries.end(),
                  [](const zrplatform::FolderEntry& a, const zrplatform::FolderEntry& b) { return a.name < b.name; });
        for (qsizetype i = 0; i < expected.size(); ++i) {
            zrplatform::FolderEntry ours = entries[size_t(i)];
            if (ours.type == zrplatform::FolderEntry::Type::Other)
                ours.mtime = 0;
            if (ours.type != zrplatform::FolderEntry::Type::File)
                ours.size = 0;
            QCOMPARE(describe(ours), describe(frameworkView(expected.at(i))));
        }
        const auto named = [&entries](const QString& name) {
            return *std::find_if(entries.begin(), entries.end(),
                                 [&name](const zrplatform::FolderEntry& e) { return e.name == name; });
        };
        QCOMPARE(named("before1970").mtime, qint64(-4)); // as the framework rounds it
        QCOMPARE(named("late").mtime, qint64(1700000000));
        QCOMPARE(named("link.zrvideo").size, qint64(11)); // the target's
        QCOMPARE(named("broken").type, zrplatform::FolderEntry::Type::Other);
        QVERIFY(named("broken").symLink);

        QVERIFY(!zrplatform::list_folder(tmp.filePath("missing"), &entries));
        QVERIFY(entries.empty());
        QVERIFY(!zrplatform::list_folder(dir + "/late", &entries)); // a file
    }

    void listingsOfSeveralFolders()
    {
        QTemporaryDir tmp;
        QStringList folders;
        for (int i = 0; i < 12; ++i) {
            const QString folder = tmp.filePath(QStringLiteral("cam%1").arg(i));
            for (int j = 40; j > 0; --j)
                writeFile(folder + QStringLiteral("/%1_%2.zrvideo").arg(i).arg(j, 3, 10, QLatin1Char('0')), "v");
            writeFile(folder + "/a", "lower case sorts last");
            writeFile(folder + "/B", "upper case sorts before it");
            folders << folder;
        }
        folders << tmp.filePath("missing");
        FolderListings listings;
        listings.listAll(folders);

        for (int i = 0; i < 12; ++i) {
            // Found under any spelling of the path.
            const FolderListings::Listing* listing = listings.find(folders.at(i) + "/./");
            QVERIFY(listing);
            QVERIFY(listing->ok);
            QCOMPARE(listing->mtime, QFile(folders.at(i)).fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch());
            QStringList names;
            for (const zrplatform::FolderEntry& e : listing->entries)
                names << e.name;
            // Sorted by code units, case counting.
            QStringList expected = QDir(folders.at(i)).entryList(QDir::Files, QDir::Unsorted);
            std::sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
                return QString::compare(a, b, Qt::CaseSensitive) < 0;
            });
            QCOMPARE(names, expected);
            QCOMPARE(names.size(), 42);
            QCOMPARE(names.mid(40), QStringList({"B", "a"}));
        }
        const FolderListings::Listing* missing = listings.find(tmp.filePath("missing"));
        QVERIFY(missing);
        QVERIFY(!missing->ok);
        QVERIFY(missing->entries.empty());
        QVERIFY(!listings.find(tmp.path()));
    }
};

ZR_TEST_MAIN_CORE(TestFolderListings)
#include "tst_folder_listings.moc"
