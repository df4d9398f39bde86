//! labels: unit
// The raw copy on generated recordings: the copied tree holds exactly the range's recordings
// with their seek tables and every camera-information file, byte for byte; progress steps;
// a second copy into the same folder counts the files it could not copy; a destination inside
// the export folder never copies its own copies; an export folder with capitals in its name.
#include "export/RawExport.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QSignalSpy>
#include <QtTest>

using namespace zrtest;

namespace {

// Every file under root, by its path relative to root, with its SHA-256.
QMap<QString, QByteArray> treeOf(const QString& root)
{
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            out.insert(QDir(root).relativeFilePath(path), QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256));
    }
    return out;
}

struct Copy
{
    QList<int> progress;
    int failures = -1;
    int endings = 0;
    bool finished = false;
};

Copy runCopy(const QString& dest, const QFileInfoList& files)
{
    Copy c;
    RawExport raw;
    raw.set_destination(QFileInfo(dest + "/ignored_RAW.zrnova"));
    raw.set_files(files);
    QObject::connect(&raw, &RawExport::valueChanged, [&](int v) { c.progress << v; });
    QObject::connect(&raw, &RawExport::copy_failures, [&](int n) { c.failures = n; });
    QObject::connect(&raw, &RawExport::endingsignal, [&] { ++c.endings; });
    raw.start();
    c.finished = waitUntil([&] { return raw.isFinished(); }, 60000);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return c;
}

} // namespace

class TestRawExport : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    GeneratedExport ex;

    // The expected copy: the given recordings with their seek tables and every .zrnfo.
    QMap<QString, QByteArray> expected(const QStringList& videos) const
    {
        const QString parent = QFileInfo(ex.exportPath).absolutePath();
        QMap<QString, QByteArray> all = treeOf(parent);
        QMap<QString, QByteArray> out;
        for (auto it = all.cbegin(); it != all.cend(); ++it) {
            const QString abs = parent + "/" + it.key();
            QString video = abs;
            video.replace(".zrseek", ".zrvideo");
            if (abs.endsWith(".zrnfo") || videos.contains(abs) || (abs.endsWith(".zrseek") && videos.contains(video)))
                out.insert(it.key(), it.value());
        }
        return out;
    }

private slots:
    void initTestCase()
    {
        ex = gen.generate({"--days", "2", "--cameras", "2", "--minutes", "3", "--size", "64x36", "--fps", "5",
                           "--seed", "3"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
    }

    // Two recordings: the tree is the range's files and every camera file of both days, and
    // progress goes 25, 50, 75, 100.
    void copiesTheRange()
    {
        const GeneratedCamera* cam = ex.camera(1);
        QVERIFY(cam);
        const QList<GeneratedRecording> day = cam->recordingsOf(ex.days.first());
        const QStringList videos = {day.at(1).videoPath, day.at(2).videoPath};
        const QString dest = gen.tempPath() + "/out1";
        const Copy c = runCopy(dest, {QFileInfo(videos.at(0)), QFileInfo(videos.at(1))});
        QVERIFY(c.finished);
        QCOMPARE(c.endings, 1);
        QCOMPARE(c.failures, 0);
        QCOMPARE(c.progress, (QList<int>{25, 50, 75, 100}));
        const QMap<QString, QByteArray> want = expected(videos);
        const QMap<QString, QByteArray> got = treeOf(dest);
        QCOMPARE(got.keys(), want.keys());
        QCOMPARE(got, want);
        // Camera files of both days and both cameras, no other kinds.
        int infos = 0;
        for (const QString& k : got.keys()) {
            QVERIFY2(k.endsWith(".zrvideo") || k.endsWith(".zrseek") || k.endsWith(".zrnfo"), qPrintable(k));
            infos += k.endsWith(".zrnfo") ? 1 : 0;
        }
        QCOMPARE(infos, 4);
        QVERIFY(!QFileInfo::exists(dest + "/ignored_RAW.zrnova"));
    }

    // Three files: 16, 33, 50, 66, 83, 100. The same copy again into the same folder fails for
    // every file (nothing is overwritten), reports how many, and still ends.
    void secondCopyCountsFailures()
    {
        const GeneratedCamera* cam = ex.camera(2);
        QFileInfoList files;
        for (const GeneratedRecording& r : cam->recordingsOf(ex.days.last()))
            files << QFileInfo(r.videoPath);
        const QString dest = gen.tempPath() + "/out2";
        const Copy first = runCopy(dest, files);
        QCOMPARE(first.progress, (QList<int>{16, 33, 50, 66, 83, 100}));
        QCOMPARE(first.failures, 0);
        const QMap<QString, QByteArray> before = treeOf(dest);
        LogCatcher log;
        const Copy second = runCopy(dest, files);
        QCOMPARE(second.endings, 1);
        QCOMPARE(second.failures, 3 * 2 + 4);
        QVERIFY(log.contains("[ERROR] ZRPlayer Raw Exporter :: copy File :: failed to copy "));
        QCOMPARE(treeOf(dest), before);
    }

    // A missing seek table is counted, the rest is copied.
    void missingSourceCounted()
    {
        GeneratedExport e = gen.generate({"--minutes", "2", "--size", "64x36", "--fps", "5", "--fault", "missing-seek"});
        QVERIFY2(e.ok, qPrintable(e.error));
        QFileInfoList files;
        for (const GeneratedRecording& r : e.cameras.first().recordings)
            files << QFileInfo(r.videoPath);
        const QString dest = gen.tempPath() + "/out3";
        LogCatcher log;
        const Copy c = runCopy(dest, files);
        QCOMPARE(c.failures, 1);
        QVERIFY(log.contains(" missing."));
        QCOMPARE(treeOf(dest).size(), 2 + 1 + 1);
    }

    // A destination inside the export folder: the copies are not walked again, so a second
    // copy there adds nothing from the first one, and the copy holds no copy of a copy.
    void destinationInsideExport()
    {
        GeneratedExport e = gen.generate({"--minutes", "1", "--size", "64x36", "--fps", "5"});
        QVERIFY2(e.ok, qPrintable(e.error));
        const QFileInfoList files = {QFileInfo(e.cameras.first().recordings.first().videoPath)};
        const QString dest = e.dayFolders.first() + "/exports";
        const Copy first = runCopy(dest, files);
        QCOMPARE(first.failures, 0);
        QCOMPARE(treeOf(dest).size(), 3);
        const Copy second = runCopy(dest + "/again", files);
        QCOMPARE(second.failures, 0);
        // Nothing under "again" comes from "exports".
        for (const QString& k : treeOf(dest + "/again").keys())
            QVERIFY2(!k.contains("/exports/"), qPrintable(k));
        QCOMPARE(treeOf(dest + "/again").size(), 3);
    }

    // An export folder whose name has capitals is found and walked under its real name.
    void capitalisedExportFolder()
    {
        GeneratedExport e = gen.generate({"--minutes", "1", "--size", "64x36", "--fps", "5"});
        QVERIFY2(e.ok, qPrintable(e.error));
        const QString upper = QFileInfo(e.exportPath).absolutePath() + "/" + QFileInfo(e.exportPath).fileName().toUpper();
        QVERIFY(QDir().rename(e.exportPath, upper));
        QString video = e.cameras.first().recordings.first().videoPath;
        video.replace(e.exportPath, upper);
        const QString dest = gen.tempPath() + "/out5";
        const Copy c = runCopy(dest, {QFileInfo(video)});
        QCOMPARE(c.failures, 0);
        const QStringList keys = treeOf(dest).keys();
        QCOMPARE(keys.size(), 3);
        for (const QString& k : keys)
            QVERIFY2(k.startsWith(QFileInfo(upper).fileName() + "/"), qPrintable(k));
    }

    // Target rule: the path from the export folder on, the nearest export folder counting.
    void targetPath_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::newRow("plain") << "/rec/zrnova_1a2b-3c4d-5e6f-7a8b/2024-05-02/cam/3_20240502_101500.zrvideo"
                               << "/out/zrnova_1a2b-3c4d-5e6f-7a8b/2024-05-02/cam/3_20240502_101500.zrvideo";
        QTest::newRow("look-alike above") << "/zrnova_backup/zrnova_1a2b-3c4d-5e6f-7a8b/d/x.zrvideo"
                                          << "/out/zrnova_1a2b-3c4d-5e6f-7a8b/d/x.zrvideo";
        QTest::newRow("backslashes") << "C:\\rec\\ZRNOVA_1A2B-3C4D-5E6F-7A8B\\d\\x.zrseek"
                                     << "/out/ZRNOVA_1A2B-3C4D-5E6F-7A8B/d/x.zrseek";
        QTest::newRow("no export folder") << "/rec/other/x.zrvideo" << "";
    }
    void targetPath()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QCOMPARE(RawExport::target_path("/out", source), target);
    }
};

ZR_TEST_MAIN_CORE(TestRawExport)
#include "tst_raw_export.moc"
