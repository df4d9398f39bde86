//! labels: unit
#include "store/SnapshotAsyncCancelable.h"
#include "store/SnapshotResult.h"
#include "store/ZRDirectorySnapshot.h"
#include "tests/store/SnapshotReference.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using storetest::referenceHash;
using storetest::setTreeMTime;

namespace {

const qint64 kOld = 1700000000; // a fixed time well in the past

void writeFile(const QString& path, const QByteArray& data = "x")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

// A small day-like tree: files at the top, two media folders, a deeper folder, and every kind
// of entry the hash skips.
void makeTree(const QString& root)
{
    writeFile(root + "/a.txt", "alpha");
    writeFile(root + "/B.dat", "bee");
    writeFile(root + "/_under", "u");
    writeFile(root + "/hash.json", "{}");
    writeFile(root + "/index.zrnfo", "enc");
    writeFile(root + "/Upper.JSON", "{}");
    writeFile(root + "/.hidden", "h");
    writeFile(root + "/.zrindex/zrvideoindex.json", "{}");
    writeFile(root + "/.git/config", "g");
    writeFile(root + "/cam1/1_20240501_000000.zrvideo", "video-bytes");
    writeFile(root + "/cam1/1_20240501_000000.zrseek", "seek");
    writeFile(root + "/cam1/1_camera.zrnfo", "enc");
    writeFile(root + "/cam1/deep/x.jpg", "jpg");
    writeFile(root + "/cam2/2_20240501_000000.zrvideo", "v2");
    QDir().mkpath(root + "/empty");
    QFile::link(root + "/a.txt", root + "/link.txt");
    QFile::link(root + "/cam2", root + "/linkdir");
}

QString emptyDigest()
{
    return QString::fromLatin1(QCryptographicHash::hash(QByteArray(), QCryptographicHash::Sha256).toHex());
}

QString twoPhase(const QString& dir, bool useCache, QStringList* changed = nullptr)
{
    ZRDirectorySnapshot snap;
    return snap.twoPhase(dir, changed, useCache);
}

} // namespace

class TestDirectorySnapshot : public QObject
{
    Q_OBJECT

private slots:
    void matchesTheDefinition()
    {
        QTemporaryDir tmp;
        const QString root = tmp.filePath("day");
        makeTree(root);
        setTreeMTime(root, kOld);
        storetest::setMTime(root + "/cam1/1_20240501_000000.zrvideo", kOld + 5);

        const QString expected = referenceHash(root);
        QCOMPARE(expected.size(), 64);
        QCOMPARE(twoPhase(root, false), expected);
        QVERIFY(!QFileInfo::exists(root + "/.zrindex/zrindex_cache.v1.bin"));
        QStringList changed;
        QCOMPARE(twoPhase(root, true, &changed), expected);           // builds the cache
        QCOMPARE(changed.size(), 5);                                  // root, cam1, deep, cam2, empty
        QCOMPARE(twoPhase(root, true, &changed), expected);           // from the cache
        QVERIFY(changed.isEmpty());
        QCOMPARE(twoPhase(root + "/", true), expected);
    }

    // Folders whose records run to hundreds of kilobytes, the longest names a file system takes,
    // non-ASCII names and a deep chain of folders hash as the definition says.
    void largeAndDeepTreesMatchTheDefinition()
    {
        QTemporaryDir tmp;
        const QString root = tmp.filePath("day");
        const QString padding(90, QLatin1Char('n'));
        for (int i = 0; i < 1500; ++i)
            writeFile(root + "/cam1/" + QString::number(i).rightJustified(5, QLatin1Char('0')) + padding + ".zrvideo");
        writeFile(root + "/cam1/" + QString(250, QLatin1Char('L')));
        writeFile(root + "/cam1/" + QString(120, QChar(0x00e9)));
        QString deep = root + "/chain";
        for (int level = 0; level < 40; ++level) {
            deep += "/" + QString::number(level) + padding;
            writeFile(deep + "/f", QByteArray(level, 'x'));
        }
        setTreeMTime(root, kOld);
        const QString expected = referenceHash(root);
        QCOMPARE(twoPhase(root, false), expected);
        QCOMPARE(twoPhase(root, true), expected);
        QCOMPARE(twoPhase(root, true), expected);
    }

    void skippedEntriesHashLikeAnEmptyFolder()
    {
        QTemporaryDir tmp;
        QCOMPARE(twoPhase(tmp.path(), false), emptyDigest());
        writeFile(tmp.filePath("hash.json"));
        writeFile(tmp.filePath("x.ZRNFO"));
        writeFile(tmp.filePath(".zrindex/zrvideoindex.json"));
        QCOMPARE(twoPhase(tmp.path(), true), emptyDigest());
    }

    void sameTreeUnderTwoRoots()
    {
        QTemporaryDir tmp;
        makeTree(tmp.filePath("one/day"));
        makeTree(tmp.filePath("two/other"));
        setTreeMTime(tmp.path(), kOld);
        QCOMPARE(twoPhase(tmp.filePath("one/day"), true), twoPhase(tmp.filePath("two/other"), true));
        // A cache copied along with a moved tree is keyed by the old paths: rebuilt, same digest.
        QVERIFY(QDir().rename(tmp.filePath("one/day"), tmp.filePath("one/moved")));
        QStringList changed;
        QCOMPARE(twoPhase(tmp.filePath("one/moved"), true, &changed), twoPhase(tmp.filePath("two/other"), false));
        QVERIFY(changed.contains(QDir::cleanPath(tmp.filePath("one/moved"))));
    }

    // Changes inside a media folder leave the day folder's own time alone; the cached check
    // must still see them.
    void changesBelowTheRootAreSeen_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("add in media folder") << "add";
        QTest::newRow("remove from media folder") << "remove";
        QTest::newRow("rename in media folder") << "rename";
        QTest::newRow("add two levels down") << "deep";
        QTest::newRow("add a sub-folder below a media folder") << "mkdir";
        QTest::newRow("remove a media folder's sub-folder") << "rmdir";
        QTest::newRow("file time and size") << "touch";
    }

    void changesBelowTheRootAreSeen()
    {
        QFETCH(QString, change);
        QTemporaryDir tmp;
        const QString root = tmp.filePath("day");
        makeTree(root);
        setTreeMTime(root, kOld);
        const QString before = twoPhase(root, true);
        QCOMPARE(before, referenceHash(root));

        const QString cam1 = root + "/cam1";
        if (change == "add") {
            writeFile(cam1 + "/1_20240501_000100.zrvideo", "new");
        } else if (change == "remove") {
            QVERIFY(QFile::remove(cam1 + "/1_20240501_000000.zrseek"));
        } else if (change == "rename") {
            QVERIFY(QFile::rename(cam1 + "/1_20240501_000000.zrvideo", cam1 + "/1_20240501_000001.zrvideo"));
        } else if (change == "deep") {
            writeFile(cam1 + "/deep/y.jpg", "y");
        } else if (change == "mkdir") {
            QVERIFY(QDir().mkpath(root + "/cam2/sub"));
        } else if (change == "rmdir") {
            QVERIFY(QDir(cam1 + "/deep").removeRecursively());
        } else if (change == "touch") {
            // In place: the folder's time stays; seen only where its folder changes too.
            writeFile(cam1 + "/1_20240501_000000.zrseek", "longer seek table");
            storetest::setMTime(cam1, kOld + 60);
        }
        QCOMPARE(storetest::mtimeOf(root), kOld);

        QStringList changed;
        const QString after = twoPhase(root, true, &changed);
        QVERIFY(after != before);
        QCOMPARE(after, referenceHash(root));
        QCOMPARE(after, twoPhase(root, false));
        QVERIFY(!changed.isEmpty());
        QVERIFY(!changed.contains(QDir::cleanPath(root + "/cam2")) || change == "mkdir");
        // And the refreshed cache is right next time too.
        QCOMPARE(twoPhase(root, true, &changed), after);
    }

    void topLevelChangesAreSeen()
    {
        QTemporaryDir tmp;
        const QString root = tmp.filePath("day");
        makeTree(root);
        setTreeMTime(root, kOld);
        const QString before = twoPhase(root, true);
        writeFile(root + "/c.txt");
        const QString added = twoPhase(root, true);
        QVERIFY(added != before);
        QCOMPARE(added, referenceHash(root));
        // A skipped kind changes the folder's time but not the digest.
        QFile::remove(root + "/c.txt");
        writeFile(root + "/other.json");
        QCOMPARE(twoPhase(root, true), before);
    }

    // A folder changed within the second it was hashed keeps its time: its entry is not trusted.
    void changeInTheSameSecondIsSeen()
    {
        QTemporaryDir tmp;
        const QString root = tmp.filePath("day");
        makeTree(root);
        setTreeMTime(root, QDateTime::currentSecsSinceEpoch());
        const qint64 camTime = storetest::mtimeOf(root + "/cam1");
        const QString before = twoPhase(root, true);
        writeFile(root + "/cam1/late.zrvideo", "late");
        storetest::setMTime(root + "/cam1", camTime);
        const QString after = twoPhase(root, true);
        QVERIFY(after != before);
        QCOMPARE(after, referenceHash(root));
    }

    // The first cached run creates the root's ".zrindex", which sets the root's time to now; the
    // next run still finds every folder in the cache, right away or seconds later.
    void secondRunAfterCreationFindsEveryFolder_data()
    {
        QTest::addColumn<bool>("freshTree");
        QTest::addColumn<int>("gap");
        QTest::newRow("old tree, at once") << false << 0;
        QTest::newRow("old tree, 3 s later") << false << 3;
        QTest::newRow("tree written this second, at once") << true << 0;
    }
    void secondRunAfterCreationFindsEveryFolder()
    {
        QFETCH(bool, freshTree);
        QFETCH(int, gap);
        QTemporaryDir tmp;
        const QString root = QDir::cleanPath(tmp.filePath("day"));
        makeTree(root);
        QVERIFY(QDir(root + "/.zrindex").removeRecursively());
        setTreeMTime(root, freshTree ? QDateTime::currentSecsSinceEpoch() : kOld);
        const QSet<QString> folders{root, root + "/cam1", root + "/cam1/deep", root + "/cam2", root + "/empty"};

        QStringList changed;
        const QString first = twoPhase(root, true, &changed);
        QCOMPARE(first, referenceHash(root));
        QCOMPARE(QSet<QString>(changed.begin(), changed.end()), folders);
        const QString cachePath = root + "/.zrindex/zrindex_cache.v1.bin";
        QVERIFY(QFileInfo::exists(cachePath));
        const qint64 savedAt = storetest::mtimeOf(cachePath);
        if (gap > 0) // the clock itself is what this row waits for
            QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentSecsSinceEpoch() >= savedAt + gap, 10000);

        ZRDirectorySnapshot second;
        QCOMPARE(second.twoPhase(root, &changed, true), first);
        QVERIFY2(changed.isEmpty(), qPrintable(changed.join(", ")));
        const QList<QString> keys = second.cache().keys();
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()), folders);
        if (gap > 0) {
            // Confirmed once its second was over, the root's entry is saved again, so later
            // runs take it as it is.
            QVERIFY(storetest::mtimeOf(cachePath) >= savedAt + gap);
        }
        QCOMPARE(twoPhase(root, true, &changed), first);
        QVERIFY(changed.isEmpty());
    }

    // Every entry is saved, also those of folders changed in the second of the save: a change
    // made later in that same second leaves the folder's time and counts as they were, and is
    // seen all the same.
    void changeInTheSecondOfTheSaveIsSeen_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::newRow("rename in a media folder") << "cam1" << "1_20240501_000000.zrseek" << "1_20240501_000001.zrseek";
        QTest::newRow("rename at the top") << "" << "a.txt" << "a2.txt";
        QTest::newRow("rename two levels down") << "cam1/deep" << "x.jpg" << "y.jpg";
    }
    void changeInTheSecondOfTheSaveIsSeen()
    {
        QFETCH(QString, folder);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QTemporaryDir tmp;
        const QString root = QDir::cleanPath(tmp.filePath("day"));
        makeTree(root);
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        setTreeMTime(root, now);
        const QString before = twoPhase(root, true);
        QCOMPARE(before, referenceHash(root));
        // The save and the change in the same second, however slow this machine is.
        const QString cachePath = root + "/.zrindex/zrindex_cache.v1.bin";
        QVERIFY(storetest::setMTime(cachePath, now));
        QVERIFY(storetest::setMTime(root, now));
        const QString dir = folder.isEmpty() ? root : root + "/" + folder;
        QVERIFY(QFile::rename(dir + "/" + from, dir + "/" + to));
        QVERIFY(storetest::setMTime(dir, now));

        QStringList changed;
        const QString after = twoPhase(root, true, &changed);
        QVERIFY(after != before);
        QCOMPARE(after, referenceHash(root));
        QVERIFY2(changed.contains(dir), qPrintable(changed.join(", ")));
    }

    void cacheFileFormat()
    {
        QTemporaryDir tmp;
        const QString root = QDir::cleanPath(tmp.filePath("day"));
        makeTree(root);
        setTreeMTime(root, kOld);
        twoPhase(root, true);
        const QString cachePath = root + "/.zrindex/zrindex_cache.v1.bin";
        QFile f(cachePath);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray raw = f.readAll();
        QCOMPARE(raw.left(8), QByteArray::fromHex("5A52494400000001"));
        QDataStream in(raw);
        in.setVersion(19);
        qint32 magic, version, count;
        in >> magic >> version >> count;
        QCOMPARE(count, 5);
        QSet<QString> paths;
        for (int i = 0; i < count; ++i) {
            QString path;
            QByteArray hash;
            qint64 mtime;
            qint32 files, dirs;
            in >> path >> hash >> mtime >> files >> dirs;
            QCOMPARE(hash.size(), 32);
            QCOMPARE(mtime, kOld);
            paths.insert(path);
            if (path == root) {
                QCOMPARE(QString::fromLatin1(hash.toHex()), referenceHash(root));
                QCOMPARE(files, 3); // a.txt, B.dat, _under
                QCOMPARE(dirs, 3);  // cam1, cam2, empty
            }
        }
        QCOMPARE(in.status(), QDataStream::Ok);
        QVERIFY(in.atEnd());
        QCOMPARE(paths, QSet<QString>({root, root + "/cam1", root + "/cam1/deep", root + "/cam2", root + "/empty"}));
    }

    void badCacheFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("warning");
        QTest::newRow("wrong magic") << QByteArray::fromHex("5A52494500000001 00000000") << "[WARN] ZRDirectorySnapshot :: loadCache :: invalid header/version";
        QTest::newRow("wrong version") << QByteArray::fromHex("5A52494400000002 00000000") << "[WARN] ZRDirectorySnapshot :: loadCache :: invalid header/version";
        QTest::newRow("short header") << QByteArray::fromHex("5A524944") << "[WARN] ZRDirectorySnapshot :: loadCache :: invalid header/version";
        QTest::newRow("ends inside an entry") << QByteArray() << "[WARN] ZRDirectorySnapshot :: loadCache :: truncated/corrupt";
        QTest::newRow("count beyond the entries") << QByteArray("more") << "[WARN] ZRDirectorySnapshot :: loadCache :: truncated/corrupt";
        QTest::newRow("digest of the wrong size") << QByteArray("badhash") << "[WARN] ZRDirectorySnapshot :: loadCache :: truncated/corrupt";
        QTest::newRow("count 0") << QByteArray::fromHex("5A52494400000001 00000000") << QString();
    }

    void badCacheFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, warning);
        QTemporaryDir tmp;
        const QString root = QDir::cleanPath(tmp.filePath("day"));
        makeTree(root);
        setTreeMTime(root, kOld);
        const QString cachePath = root + "/.zrindex/zrindex_cache.v1.bin";
        const QString expected = twoPhase(root, true);
        if (content.isEmpty() || content == "more" || content == "badhash") {
            QFile f(cachePath);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QByteArray good = f.readAll();
            f.close();
            if (content.isEmpty()) {
                content = good.left(good.size() - 5);
            } else if (content == "more") {
                content = good;
                content[11] = char(content[11] + 1);
            } else {
                // A valid stream whose one entry holds a 4-byte digest, claiming the root unchanged.
                QByteArray bytes;
                QDataStream out(&bytes, QIODevice::WriteOnly);
                out.setVersion(19);
                out << qint32(0x5A524944) << qint32(1) << qint32(1) << root << QByteArray("abcd") << kOld
                    << qint32(3) << qint32(3);
                content = bytes;
            }
        }
        {
            QFile f(cachePath);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content);
        }
        zrtest::LogCatcher log;
        QCOMPARE(twoPhase(root, true), expected);
        if (warning.isEmpty()) {
            QVERIFY(!log.contains("loadCache"));
        } else {
            QCOMPARE(log.count(warning), 1);
            QVERIFY(log.indexOf("[WARN] ZRDirectorySnapshot :: twoPhase :: cache load failed (will rebuild)") > log.indexOf(warning));
        }
        // The next save replaced the bad file.
        zrtest::LogCatcher again;
        QCOMPARE(twoPhase(root, true), expected);
        QVERIFY(!again.contains("loadCache"));
    }

    void missingFolder()
    {
        QTemporaryDir tmp;
        const QString missing = tmp.filePath("nope");
        zrtest::LogCatcher log;
        QVERIFY(twoPhase(missing, true).isNull());
        QCOMPARE(log.texts(), QStringList({"[WARNING] ZRDirectorySnapshot :: twoPhase :: Directory does not exist: " + missing}));
        QVERIFY(!QFileInfo::exists(missing));
    }

    void withoutCacheNothingIsWritten()
    {
        QTemporaryDir tmp;
        const QString root = tmp.filePath("day");
        makeTree(root);
        QDir(root + "/.zrindex").removeRecursively();
        setTreeMTime(root, kOld);
        ZRDirectorySnapshot snap;
        const QString first = snap.twoPhase(root, nullptr, false);
        QCOMPARE(snap.twoPhase(root, nullptr, false), first);
        QVERIFY(!QFileInfo::exists(root + "/.zrindex"));
        QCOMPARE(storetest::mtimeOf(root), kOld);
    }

    void cancellation()
    {
        QTemporaryDir tmp;
        const QString root = tmp.filePath("day");
        makeTree(root);
        setTreeMTime(root, kOld);
        std::atomic<bool> cancel{true};
        ZRDirectorySnapshot snap;
        snap.setCancelFlag(&cancel);
        QVERIFY(snap.twoPhase(root, nullptr, true).isNull());

        // Cancelled half-way: no result and no cache file.
        cancel = false;
        int calls = 0;
        ZRDirectorySnapshot midway;
        midway.setCancelFlag(&cancel);
        midway.setProgress([&](const QString&, int, int) {
            if (++calls == 8)
                cancel = true;
        });
        QVERIFY(midway.twoPhase(root, nullptr, true).isNull());
        QVERIFY(!QFileInfo::exists(root + "/.zrindex/zrindex_cache.v1.bin"));
        cancel = false;
        QCOMPARE(midway.twoPhase(root, nullptr, true), referenceHash(root));
    }

    void ignoreListsAndSkipRules()
    {
        ZRDirectorySnapshot snap;
        QVERIFY(snap.isIgnoredDir(".zrindex"));
        QVERIFY(snap.isIgnoredDir(".locks"));
        QVERIFY(!snap.isIgnoredDir(".ZRINDEX") || false);
        QVERIFY(snap.isIgnoredFile("HASH.JSON"));
        QVERIFY(snap.isIgnoredFile("a.zrNfo"));
        QVERIFY(!snap.isIgnoredFile("a.zrvideo"));
        snap.setIgnoredDirNames({"Tmp"});
        snap.setIgnoredSuffixes({"bak"});
        QVERIFY(snap.isIgnoredDir("tmp"));
        QVERIFY(snap.isIgnoredFile("x.BAK"));
        QVERIFY(!snap.isIgnoredFile("bak"));
    }

    void cancelableWrapperAndResult()
    {
        QObject parent;
        auto* wrapper = new SnapshotAsyncCancelable(&parent);
        QVERIFY(!wrapper->cancelFlag()->load());
        wrapper->cancel();
        QVERIFY(wrapper->cancelFlag()->load());
        const SnapshotResult r;
        QVERIFY(r.root.isNull() && r.hash.isNull() && r.changed.isEmpty() && r.elapsedMs == 0 && !r.cancelled
                && !r.fromCache && r.error.isNull());
        QVERIFY(QMetaType::fromType<SnapshotResult>().isValid());
    }
};

ZR_TEST_MAIN_CORE(TestDirectorySnapshot)
#include "tst_directory_snapshot.moc"
