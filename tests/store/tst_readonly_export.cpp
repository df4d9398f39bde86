//! labels: unit
#include "store/IndexPlacement.h"
#include "store/ZRDirectorySnapshot.h"
#include "store/ZRIndexManager.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/ReadOnlyTree.h"
#include "tests/support/TestMain.h"
#include "tests/support/UnprivilegedChild.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace zrtest;

namespace {

QStringList pathsOf(const QList<QFileInfo>& list)
{
    QStringList out;
    for (const QFileInfo& info : list)
        out << info.absoluteFilePath();
    out.sort();
    return out;
}

QStringList videosIn(const QString& day)
{
    QStringList out;
    QDirIterator it(day, {QStringLiteral("*.zrvideo")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QFileInfo(it.next()).absoluteFilePath();
    out.sort();
    return out;
}

QStringList signalsOf(ZRIndexManager& manager, const QString& day)
{
    QStringList order;
    QObject::connect(&manager, &ZRIndexManager::success, [&] { order << QStringLiteral("success"); });
    QObject::connect(&manager, &ZRIndexManager::errorOccurred, [&] { order << QStringLiteral("error"); });
    QObject::connect(&manager, &ZRIndexManager::finished, [&] { order << QStringLiteral("finished"); });
    manager.background_generation(day);
    return order;
}

} // namespace

// An export on a medium that cannot be written (a write-protected disc or disk, a read-only
// share): its day index and snapshot cache live in its stand-in in the per-user folder and
// nothing is written to it. The export is made read-only by permission bits; run as root (CI),
// each case runs in a child process as the unprivileged user 65534 (UnprivilegedChild), since
// the superuser writes through permission bits.
class TestReadOnlyExport : public QObject
{
    Q_OBJECT

private:
    ExportGenerator gen;
    QString freshDay; // never indexed
    QString movedDay; // indexed while writable, then moved: carries an index of another place
    std::unique_ptr<ReadOnlyTree> freshTree;
    std::unique_ptr<ReadOnlyTree> movedTree;

    // Runs the current case in the unprivileged child; what went wrong there, or empty.
    QString runInChild() const
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("ZR_RO_FRESH_DAY"), freshDay);
        env.insert(QStringLiteral("ZR_RO_MOVED_DAY"), movedDay);
        QByteArray output;
        const int code = UnprivilegedChild::run(QString::fromLatin1(QTest::currentTestFunction()), env, &output);
        return code == 0 ? QString() : QStringLiteral("child exit %1:\n").arg(code) + UnprivilegedChild::verdict(output);
    }

    void verifyNothingWritten()
    {
        for (const ReadOnlyTree* tree : {freshTree.get(), movedTree.get()})
            if (tree)
                QVERIFY2(tree->changes().isEmpty(), qPrintable(tree->changes().join('\n')));
    }

private slots:
    void initTestCase()
    {
        if (UnprivilegedChild::isChild()) {
            freshDay = qEnvironmentVariable("ZR_RO_FRESH_DAY");
            movedDay = qEnvironmentVariable("ZR_RO_MOVED_DAY");
            QVERIFY(QFileInfo(freshDay).isDir() && QFileInfo(movedDay).isDir());
            return;
        }
        const QStringList args = {"--days", "1", "--cameras", "2", "--minutes", "3", "--placeholder", "--seed", "5"};
        const GeneratedExport fresh = gen.generate(args);
        QVERIFY2(fresh.ok, qPrintable(fresh.error));
        freshDay = fresh.dayFolders.first();

        GeneratedExport moved = gen.generate(args);
        QVERIFY2(moved.ok, qPrintable(moved.error));
        ZRIndexManager manager;
        QCOMPARE(signalsOf(manager, moved.dayFolders.first()), QStringList({"success", "finished"}));
        const QString movedExport = gen.tempPath() + "/elsewhere/" + QFileInfo(moved.exportPath).fileName();
        QVERIFY(QDir().mkpath(gen.tempPath() + "/elsewhere"));
        QVERIFY(QDir().rename(moved.exportPath, movedExport));
        movedDay = movedExport + "/" + moved.days.first();

        freshTree = std::make_unique<ReadOnlyTree>(fresh.exportPath);
        movedTree = std::make_unique<ReadOnlyTree>(movedExport);
        QVERIFY(freshTree->isValid() && movedTree->isValid());
        if (UnprivilegedChild::needed()) {
            QVERIFY(UnprivilegedChild::makeReachable(fresh.exportPath));
            QVERIFY(UnprivilegedChild::makeReachable(movedExport));
        }
    }
    void cleanupTestCase()
    {
        freshTree.reset();
        movedTree.reset();
    }

    // The stand-in's name: the export's name and a key of its absolute path.
    void standInFolder()
    {
        const QString base = QDir::homePath() + "/.ZRPlayer/zrindex/";
        const QString a = IndexPlacement::userFolderOf("/media/disc/zrnova_0a1b-2c3d-4e5f-6a7b");
        QVERIFY2(a.startsWith(base + "zrnova_0a1b-2c3d-4e5f-6a7b-"), qPrintable(a));
        QCOMPARE(a.size(), base.size() + 26 + 1 + 16);
        QCOMPARE(IndexPlacement::userFolderOf("/media/disc/./zrnova_0a1b-2c3d-4e5f-6a7b/"), a);
        QVERIFY(IndexPlacement::userFolderOf("/media/copy/zrnova_0a1b-2c3d-4e5f-6a7b") != a);
        QCOMPARE(IndexPlacement::standInOf("/media/disc/zrnova_0a1b-2c3d-4e5f-6a7b/2025-03-14"), a + "/2025-03-14");
        QCOMPARE(ZRIndexManager::userDayIndexPath(QFileInfo(freshDay)),
                 IndexPlacement::standInOf(freshDay) + "/zrvideoindex.json");
        QVERIFY(IndexPlacement::canWriteInto(QDir::homePath() + "/not/yet/made"));
    }

    // Indexing a day of a read-only export, then reading it back as the camera listing does.
    void freshExportIsIndexedInTheUserFolder()
    {
        if (UnprivilegedChild::needed()) {
            if (!UnprivilegedChild::unavailable().isEmpty())
                QSKIP(qPrintable(UnprivilegedChild::unavailable()));
            const QString failure = runInChild();
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            verifyNothingWritten();
            return;
        }
        QVERIFY2(!QFileInfo(freshDay).isWritable(), "the export can be written: not a read-only test");
        const QString userIndex = ZRIndexManager::userDayIndexPath(QFileInfo(freshDay));
        QVERIFY(userIndex.startsWith(QDir::homePath() + "/.ZRPlayer/zrindex/"));
        QVERIFY(!QFileInfo::exists(userIndex));

        LogCatcher log;
        ZRIndexManager manager;
        QCOMPARE(signalsOf(manager, freshDay), QStringList({"success", "finished"}));
        QVERIFY(!log.contains("writeDayIndexJson failed"));
        QVERIFY(!log.contains("write to file"));
        QVERIFY(!log.contains("cache save failed"));
        QVERIFY(QFileInfo::exists(userIndex));
        QVERIFY(QFileInfo::exists(IndexPlacement::standInOf(freshDay) + "/zrindex_cache.v1.bin"));
        QCOMPARE(ZRIndexManager::readDayIndexPath(QFileInfo(freshDay)), userIndex);

        // What the camera listing does: the stored hash matches a fresh one, taken from the
        // per-user cache, and the lists come back whole.
        ZRDirectorySnapshot snapshot;
        QStringList changed;
        const QString hash = snapshot.twoPhase(freshDay, &changed, true);
        QVERIFY2(changed.isEmpty(), qPrintable(changed.join(", ")));
        QCOMPARE(manager.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(freshDay)), hash);
        QList<QFileInfo> v, al, t, au, p;
        manager.get_value_from_indexfile(freshDay, &v, &al, &t, &au, &p);
        QCOMPARE(v.size(), 6);
        QCOMPARE(pathsOf(v), videosIn(freshDay));
        QVERIFY(!QFileInfo::exists(QFileInfo(freshDay).absolutePath() + "/.zrindex"));
        QVERIFY(!QFileInfo::exists(freshDay + "/.zrindex"));
        verifyNothingWritten();
    }

    // A read-only export that carries an index written at another place: read from the
    // export, re-based once into the per-user folder, and still valid for its snapshot hash.
    void carriedIndexIsReadAndRebasedInTheUserFolder()
    {
        if (UnprivilegedChild::needed()) {
            if (!UnprivilegedChild::unavailable().isEmpty())
                QSKIP(qPrintable(UnprivilegedChild::unavailable()));
            const QString failure = runInChild();
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            verifyNothingWritten();
            return;
        }
        QVERIFY2(!QFileInfo(movedDay).isWritable(), "the export can be written: not a read-only test");
        const QString own = ZRIndexManager::dayIndexPath(QFileInfo(movedDay));
        const QString userIndex = ZRIndexManager::userDayIndexPath(QFileInfo(movedDay));
        QCOMPARE(ZRIndexManager::readDayIndexPath(QFileInfo(movedDay)), own);

        ZRIndexManager manager;
        ZRDirectorySnapshot snapshot;
        const QString hash = snapshot.twoPhase(movedDay, nullptr, true);
        QCOMPARE(manager.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(movedDay)), hash);

        LogCatcher log;
        QList<QFileInfo> v, al, t, au, p;
        manager.get_value_from_indexfile(movedDay, &v, &al, &t, &au, &p);
        QCOMPARE(log.count("[INFO] ZRIndex Manager :: get_value_from_indexfile :: root moved \u2014 rewriting index"), 1);
        QVERIFY(!log.contains("cannot rewrite index"));
        QCOMPARE(pathsOf(v), videosIn(movedDay));
        QCOMPARE(ZRIndexManager::readDayIndexPath(QFileInfo(movedDay)), userIndex);
        QFile rewritten(userIndex);
        QVERIFY(rewritten.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(rewritten.readAll()).object().value("root_directory").toString(), movedDay);

        LogCatcher again;
        QList<QFileInfo> v2, al2, t2, au2, p2;
        manager.get_value_from_indexfile(movedDay, &v2, &al2, &t2, &au2, &p2);
        QVERIFY(!again.contains("root moved"));
        QCOMPARE(pathsOf(v2), pathsOf(v));
        QCOMPARE(manager.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(movedDay)), hash);
        verifyNothingWritten();
    }
};

ZR_TEST_MAIN_CORE(TestReadOnlyExport)
#include "tst_readonly_export.moc"
