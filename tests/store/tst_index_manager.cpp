//! labels: unit
#include "store/Encrypt.h"
#include "store/ZRDirectorySnapshot.h"
#include "store/ZRFile.h"
#include "store/ZRIndexManager.h"
#include "tests/store/SnapshotReference.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

namespace {

const qint64 kOld = 1700000000;

QStringList sortedPaths(QStringList paths)
{
    std::sort(paths.begin(), paths.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
    return paths;
}

QStringList pathsOf(const QList<QFileInfo>& list)
{
    QStringList out;
    for (const QFileInfo& info : list)
        out << info.absoluteFilePath();
    return out;
}

QStringList arrayStrings(const QJsonValue& v)
{
    QStringList out;
    for (const QJsonValue& e : v.toArray())
        out << e.toString();
    return out;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

struct Run
{
    QStringList signalOrder;
    QString error;
};

Run generate(const QString& path)
{
    Run run;
    ZRIndexManager manager;
    QObject::connect(&manager, &ZRIndexManager::success, [&] { run.signalOrder << "success"; });
    QObject::connect(&manager, &ZRIndexManager::finished, [&] { run.signalOrder << "finished"; });
    QObject::connect(&manager, &ZRIndexManager::errorOccurred, [&](const QString& m) {
        run.signalOrder << "error";
        run.error = m;
    });
    manager.background_generation(path);
    return run;
}

} // namespace

class TestIndexManager : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;

    zrtest::GeneratedExport makeExport(const QStringList& extra = {})
    {
        zrtest::GeneratedExport ex = gen.generate(QStringList{"--days", "2", "--cameras", "3", "--minutes", "3",
                                                              "--placeholder", "--tags", "1", "--alarms", "1",
                                                              "--previews", "--audio", "--seed", "9"}
                                                  + extra);
        if (!ex.ok)
            qWarning() << ex.error;
        return ex;
    }

private slots:
    void buildsTheDayIndex()
    {
        const zrtest::GeneratedExport ex = makeExport();
        QVERIFY(ex.ok);
        const QString day = ex.dayFolders.first();
        zrtest::LogCatcher log;
        const Run run = generate(day);
        QCOMPARE(run.signalOrder, QStringList({"success", "finished"}));
        QVERIFY(log.contains("[INFO] ZRIndex Manager :: start background generation in :: " + day + "/"));
        const QString regenerated = log.texts().value(log.indexOf("background generation :: regenerated index for "));
        QVERIFY2(QRegularExpression("^\\[INFO\\] ZRIndex Manager :: background generation :: regenerated index for "
                                    + QRegularExpression::escape(day + "/") + " in [0-9.e+-]+ ms$")
                     .match(regenerated).hasMatch(), qPrintable(regenerated));

        const QString indexPath = ZRIndexManager::dayIndexPath(QFileInfo(day));
        QCOMPARE(indexPath, ex.exportPath + "/.zrindex/" + ex.days.first() + "/zrvideoindex.json");
        QVERIFY(log.contains("[INFO] ZRIndex Manager :: create zrindexfile :: index written at " + indexPath));
        const QByteArray raw = readAll(indexPath);
        QVERIFY(raw.startsWith("{\"date_directory\":[],\"last_modified\":\""));
        QVERIFY(!raw.contains('\n') && !raw.contains("\\\\"));
        const QJsonObject index = QJsonDocument::fromJson(raw).object();
        QCOMPARE(index.keys(), QStringList({"date_directory", "last_modified", "root_directory", "zralarm_files",
                                            "zraudio_files", "zrpreview_files", "zrtag_files", "zrvideo_files"}));
        QCOMPARE(index.value("root_directory").toString(), day);
        QVERIFY(QRegularExpression("^[0-9a-f]{64}$").match(index.value("last_modified").toString()).hasMatch());
        QCOMPARE(index.value("last_modified").toString(), storetest::referenceHash(day));

        QStringList video, audio, previews, tags, alarms;
        for (const zrtest::GeneratedCamera& cam : ex.cameras) {
            for (const zrtest::GeneratedRecording& r : cam.recordingsOf(ex.days.first())) {
                video << r.videoPath;
                audio << r.audioPath;
                previews << r.previewPath;
            }
            for (const zrtest::GeneratedTag& t : cam.tags)
                if (t.path.startsWith(day + "/"))
                    tags << t.path;
            for (const zrtest::GeneratedAlarm& a : cam.alarms)
                if (a.image.startsWith(day + "/"))
                    alarms << a.image << a.thumb;
        }
        QCOMPARE(video.size(), 9);
        QCOMPARE(arrayStrings(index.value("zrvideo_files")), sortedPaths(video));
        QCOMPARE(arrayStrings(index.value("zraudio_files")), sortedPaths(audio));
        QCOMPARE(arrayStrings(index.value("zrpreview_files")), sortedPaths(previews));
        QCOMPARE(arrayStrings(index.value("zrtag_files")), sortedPaths(tags));
        QCOMPARE(arrayStrings(index.value("zralarm_files")), sortedPaths(alarms));
        // The whole file: the JSON library's compact form of the object the lists make.
        const auto array = [](const QStringList& paths) { return QJsonArray::fromStringList(sortedPaths(paths)); };
        const QJsonObject expected{{"date_directory", QJsonArray()},
                                   {"last_modified", storetest::referenceHash(day)},
                                   {"root_directory", day},
                                   {"zralarm_files", array(alarms)},
                                   {"zraudio_files", array(audio)},
                                   {"zrpreview_files", array(previews)},
                                   {"zrtag_files", array(tags)},
                                   {"zrvideo_files", array(video)}};
        QCOMPARE(raw, QJsonDocument(expected).toJson(QJsonDocument::Compact));

        // The merged camera list of the day.
        ZRFile::CameraTable all;
        for (const zrtest::GeneratedCamera& cam : ex.cameras)
            all.insert(cam.id, cam.name);
        QCOMPARE(ZRFile::check_and_parse_nfo_file(QFileInfo(day + "/index.zrnfo"), {}), all);

        // Reading it back in place gives the same lists and touches nothing.
        const qint64 before = storetest::mtimeOf(indexPath);
        storetest::setMTime(indexPath, kOld);
        ZRIndexManager reader;
        QList<QFileInfo> v, al, t, au, p;
        zrtest::LogCatcher readLog;
        reader.get_value_from_indexfile(day, &v, &al, &t, &au, &p);
        QVERIFY(before > 0);
        QCOMPARE(pathsOf(v), sortedPaths(video));
        QCOMPARE(pathsOf(al), sortedPaths(alarms));
        QCOMPARE(pathsOf(p), sortedPaths(previews));
        QCOMPARE(readAll(indexPath), raw);
        QCOMPARE(storetest::mtimeOf(indexPath), kOld);
        QVERIFY(!readLog.contains("root moved"));
        QCOMPARE(reader.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(day)), index.value("last_modified").toString());
    }

    // Whatever the names, the index is byte for byte the JSON library's compact form of its
    // lists, the lists are what a plain listing of the media folders shows (links followed,
    // hidden and broken entries left out), and the hash is the definition's.
    void oddNamesAndLinks()
    {
        QTemporaryDir tmp;
        const QString day = tmp.filePath("zrnova_aaaa-bbbb-cccc-dddd/2024-05-01");
        // A media folder named like a day is listed among the index's date folders too.
        const QStringList folders = {"2024-05-02", "cam 1", "caméra", "q\"uote", "tab\there"};
        const QStringList bases = {"1_20240501_000000", "2_ü_ß", "3_😀", "4_a\\b", "5_\"q\"", "6_\x7f_del",
                                   "7_new\nline"};
        QStringList videos;
        for (const QString& folder : folders) {
            for (const QString& base : bases) {
                writeAll(day + "/" + folder + "/" + base + ".zrvideo", "v");
                writeAll(day + "/" + folder + "/" + base + ".zrseek", "s");
                videos << day + "/" + folder + "/" + base + ".zrvideo";
            }
        }
        const QString cam1 = day + "/cam 1/1_20240501_000000";
        QVERIFY(QFile::link(cam1 + ".zrvideo", day + "/caméra/9_link.zrvideo"));
        QVERIFY(QFile::link(cam1 + ".zrseek", day + "/caméra/9_link.zrseek"));
        videos << day + "/caméra/9_link.zrvideo";
        QVERIFY(QFile::link(day + "/gone", day + "/cam 1/8_broken.zrvideo"));
        writeAll(day + "/cam 1/8_broken.zrseek", "s");
        writeAll(day + "/cam 1/.8_hidden.zrvideo", "v");
        writeAll(day + "/cam 1/.8_hidden.zrseek", "s");
        writeAll(day + "/.hidden/1_20240501_000000.zrvideo", "v");
        writeAll(day + "/.hidden/1_20240501_000000.zrseek", "s");
        videos = sortedPaths(videos);

        QCOMPARE(generate(day).signalOrder, QStringList({"success", "finished"}));
        const QString indexPath = ZRIndexManager::dayIndexPath(QFileInfo(day));
        const QByteArray raw = readAll(indexPath);
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(raw, &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(raw, doc.toJson(QJsonDocument::Compact));
        const QJsonObject index = doc.object();
        QCOMPARE(arrayStrings(index.value("zrvideo_files")), videos);
        QCOMPARE(index.value("root_directory").toString(), day);
        QCOMPARE(arrayStrings(index.value("date_directory")), QStringList({day + "/2024-05-02"}));
        QCOMPARE(index.value("last_modified").toString(), storetest::referenceHash(day));

        // The scan and the writer on their own give the same lists and the same bytes.
        ZRIndexManager m;
        QList<QFileInfo> v, al, t, au, p, n;
        m.parse_informations_with_multiple_directory(day, &v, &al, &t, &au, &p, &n);
        QCOMPARE(pathsOf(v), videos);
        QVERIFY(QFile::remove(indexPath));
        m.create_zrindexfile(day, v, al, t, au, p);
        QCOMPARE(readAll(indexPath), raw);
    }

    void outcomes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not an export") << "foreign";
        QTest::newRow("export folder itself") << "export";
        QTest::newRow("no video") << "novideo";
        QTest::newRow("missing day folder") << "missing";
    }

    void outcomes()
    {
        QFETCH(QString, kind);
        QTemporaryDir tmp;
        const QString exportPath = tmp.filePath("zrnova_aaaa-bbbb-cccc-dddd");
        QString path;
        QString expectedError;
        if (kind == "foreign") {
            path = tmp.filePath("plain/2024-05-01");
            QDir().mkpath(path);
            expectedError = "Le dossier " + path + "/ n'est pas un dossier zrnova.";
        } else if (kind == "export") {
            path = exportPath;
            QDir().mkpath(path);
        } else if (kind == "novideo") {
            path = exportPath + "/2024-05-01";
            writeAll(path + "/cam1/1_9_20240501_080000.jpg", "jpg");
            writeAll(path + "/cam1/1_20240501_080000.zrvideo", "video without seek table");
            writeAll(path + "/cam1/1_20240501_080000.zrtag", "tag");
            QCOMPARE(Encrypt().encrypt_to_file(R"({"cam_id":1,"cam_name":"Porte"})", path + "/cam1/1_camera.zrnfo"), 1);
            expectedError = "Aucun enregistrement trouvé dans le dossier " + path + "/";
        } else {
            QDir().mkpath(exportPath);
            path = exportPath + "/2024-05-02";
            expectedError = "Aucun enregistrement trouvé dans le dossier " + path + "/";
        }
        zrtest::LogCatcher log;
        const Run run = generate(path);
        if (expectedError.isEmpty()) {
            QCOMPARE(run.signalOrder, QStringList({"success", "finished"}));
            QVERIFY(log.contains("[INFO] ZRIndex Manager :: base zrnova directory :: " + path + "/"));
        } else {
            QCOMPARE(run.signalOrder, QStringList({"error", "finished"}));
            QCOMPARE(run.error, expectedError);
            QVERIFY(log.contains("[INFO] ZRIndex Manager :: error Occurred :: " + expectedError));
        }
        QVERIFY(!QFileInfo::exists(exportPath + "/.zrindex/2024-05-01/zrvideoindex.json"));
        QVERIFY(!QFileInfo::exists(exportPath + "/.zrindex/2024-05-02"));
        if (kind == "novideo") // the merge runs before the video test
            QCOMPARE(ZRFile::check_and_parse_nfo_file(QFileInfo(path + "/index.zrnfo"), {}),
                     ZRFile::CameraTable({{1, "Porte"}}));
        if (kind == "missing")
            QVERIFY(!QFileInfo::exists(path));
    }

    void scanLooksOneLevelDown()
    {
        QTemporaryDir tmp;
        const QString day = tmp.filePath("zrnova_aaaa-bbbb-cccc-dddd/2024-05-01");
        auto rec = [](const QString& base) {
            writeAll(base + ".zrvideo", "v");
            writeAll(base + ".zrseek", "s");
        };
        rec(day + "/b/1_20240501_000000");
        rec(day + "/a/2_20240501_000100");
        rec(day + "/a/2_20240501_000000");
        rec(day + "/B/3_20240501_000000");
        rec(day + "/1_20240501_000000");              // directly in the day folder
        rec(day + "/a/deeper/4_20240501_000000");     // two levels down
        rec(day + "/.hidden/5_20240501_000000");      // hidden media folder
        writeAll(day + "/a/1_20240501_000000.zrvideo", ""); // empty data
        writeAll(day + "/a/1_20240501_000000.zrseek", "s");

        ZRIndexManager m;
        QList<QFileInfo> v{QFileInfo("/already/there")}, al, t, au, p, n;
        zrtest::LogCatcher log;
        m.parse_informations_with_multiple_directory(day, &v, &al, &t, &au, &p, &n);
        QCOMPARE(pathsOf(v), QStringList({"/already/there", day + "/B/3_20240501_000000.zrvideo",
                                          day + "/a/2_20240501_000000.zrvideo", day + "/a/2_20240501_000100.zrvideo",
                                          day + "/b/1_20240501_000000.zrvideo"}));
        QVERIFY(log.contains("[INFO] ZRIndex Manager :: videolist with multiple directory :: dir list count : 3"));

        m.parse_informations_with_multiple_directory(day, nullptr, &al, &t, &au, &p, &n);
        m.parse_informations_with_multiple_directory(QString(), &v, &al, &t, &au, &p, &n);
        m.parse_informations_with_multiple_directory(day + "/nope", &v, &al, &t, &au, &p, &n);
        QVERIFY(log.contains("[ERROR] ZRIndex Manager :: parse_informations_with_multiple_directory :: null output list"));
        QVERIFY(log.contains("[WARN] ZRIndex Manager :: parse_informations_with_multiple_directory :: empty root"));
        QVERIFY(log.contains("[WARN] ZRIndex Manager :: parse_informations_with_multiple_directory :: root not found: " + day + "/nope"));
        QCOMPARE(v.size(), 5);
    }

    // A recording added to, removed from or renamed in a media folder changes only that
    // folder's time; the day's next check must still differ and the rebuild must list it.
    void recordingChangesInvalidateTheIndex_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("add") << "add";
        QTest::newRow("remove") << "remove";
        QTest::newRow("rename") << "rename";
    }

    void recordingChangesInvalidateTheIndex()
    {
        QFETCH(QString, change);
        const zrtest::GeneratedExport ex = makeExport();
        QVERIFY(ex.ok);
        const QString day = ex.dayFolders.first();
        QCOMPARE(generate(day).signalOrder, QStringList({"success", "finished"}));
        // Make the tree old, then index it again so that the cache trusts every folder.
        storetest::setTreeMTime(day, kOld);
        QCOMPARE(generate(day).signalOrder, QStringList({"success", "finished"}));
        ZRIndexManager reader;
        const QString stored = reader.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(day));
        {
            ZRDirectorySnapshot snap;
            QCOMPARE(snap.twoPhase(day, nullptr, true), stored);
        }

        const zrtest::GeneratedRecording r = ex.cameras.at(1).recordingsOf(ex.days.first()).first();
        const QString folder = QFileInfo(r.videoPath).absolutePath();
        const QString added = folder + "/" + QString::number(ex.cameras.at(1).id) + "_20991231_235900";
        if (change == "add") {
            QVERIFY(QFile::copy(r.videoPath, added + ".zrvideo"));
            QVERIFY(QFile::copy(r.seekPath, added + ".zrseek"));
        } else if (change == "remove") {
            QVERIFY(QFile::remove(r.videoPath));
        } else {
            QVERIFY(QFile::rename(r.videoPath, added + ".zrvideo"));
            QVERIFY(QFile::rename(r.seekPath, added + ".zrseek"));
        }
        QCOMPARE(storetest::mtimeOf(day), kOld);

        QString fresh;
        {
            ZRDirectorySnapshot snap;
            fresh = snap.twoPhase(day, nullptr, true);
        }
        QVERIFY(fresh != stored);
        QCOMPARE(fresh, storetest::referenceHash(day));

        QCOMPARE(generate(day).signalOrder, QStringList({"success", "finished"}));
        QCOMPARE(reader.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(day)), fresh);
        QList<QFileInfo> v, al, t, au, p;
        reader.get_value_from_indexfile(day, &v, &al, &t, &au, &p);
        const QStringList videos = pathsOf(v);
        QCOMPARE(videos.contains(added + ".zrvideo"), change != "remove");
        QCOMPARE(videos.contains(r.videoPath), change == "add");
        QCOMPARE(videos.size(), change == "add" ? 10 : change == "remove" ? 8 : 9);
    }

    void movedExportIsRebasedOnce()
    {
        const zrtest::GeneratedExport ex = makeExport();
        QVERIFY(ex.ok);
        const QString day = ex.dayFolders.first();
        QCOMPARE(generate(day).signalOrder, QStringList({"success", "finished"}));

        QTemporaryDir elsewhere;
        const QString newExport = elsewhere.filePath("moved/" + QFileInfo(ex.exportPath).fileName());
        QDir().mkpath(elsewhere.filePath("moved"));
        QVERIFY(QDir().rename(ex.exportPath, newExport));
        const QString newDay = newExport + "/" + ex.days.first();
        const QString indexPath = ZRIndexManager::dayIndexPath(QFileInfo(newDay));

        ZRIndexManager reader;
        QList<QFileInfo> v, al, t, au, p;
        zrtest::LogCatcher log;
        reader.get_value_from_indexfile(newDay, &v, &al, &t, &au, &p);
        QCOMPARE(log.count("[INFO] ZRIndex Manager :: get_value_from_indexfile :: root moved \u2014 rewriting index"), 1);
        QCOMPARE(v.size(), 9);
        for (const QList<QFileInfo>* list : {&v, &al, &t, &au, &p})
            for (const QFileInfo& info : *list) {
                QVERIFY2(info.absoluteFilePath().startsWith(newDay + "/"), qPrintable(info.absoluteFilePath()));
                QVERIFY2(info.exists(), qPrintable(info.absoluteFilePath()));
            }
        const QByteArray rewritten = readAll(indexPath);
        const QJsonObject index = QJsonDocument::fromJson(rewritten).object();
        QCOMPARE(index.value("root_directory").toString(), newDay);
        QCOMPARE(arrayStrings(index.value("zrvideo_files")), pathsOf(v));

        // Second read: nothing to do, the file stays byte for byte.
        storetest::setMTime(indexPath, kOld);
        QList<QFileInfo> v2, al2, t2, au2, p2;
        zrtest::LogCatcher again;
        reader.get_value_from_indexfile(newDay, &v2, &al2, &t2, &au2, &p2);
        QVERIFY(!again.contains("root moved"));
        QCOMPARE(readAll(indexPath), rewritten);
        QCOMPARE(storetest::mtimeOf(indexPath), kOld);
        QCOMPARE(pathsOf(v2), pathsOf(v));
    }

    // Re-basing without a stored root: by the day folder right below an export folder, never by
    // a date-like parent folder.
    void rebasingByPathComponents()
    {
        QTemporaryDir tmp;
        const QString day = QDir::cleanPath(tmp.filePath("zrnova_1111-2222-3333-4444/2024-05-01"));
        QDir().mkpath(day);
        const QString indexPath = ZRIndexManager::dayIndexPath(QFileInfo(day));
        QJsonObject index;
        index.insert("zrvideo_files", QJsonArray{
            "/old/2019-12-31/zrnova_aaaa-bbbb-cccc-dddd/2024-05-01/cam1/1_20240501_000000.zrvideo",
            "C:\\exports\\2020-01-01\\ZRNOVA_AAAA-BBBB-CCCC-DDDD\\2024-05-01\\cam2\\2_20240501_000000.zrvideo",
            "/srv/2021-02-03/elsewhere/3.zrvideo",
            "cam4/4_20240501_000000.zrvideo",
            "",
            7,
            day + "/cam5/5_20240501_000000.zrvideo"});
        index.insert("zrtag_files", QJsonArray{"/old/zrnova_aaaa-bbbb-cccc-dddd/2024-05-01"});
        writeAll(indexPath, QJsonDocument(index).toJson(QJsonDocument::Compact));

        ZRIndexManager reader;
        QList<QFileInfo> v{QFileInfo("/first")}, al, t, au, p;
        reader.get_value_from_indexfile(day, &v, &al, &t, &au, &p);
        QCOMPARE(pathsOf(v), QStringList({"/first", day + "/cam1/1_20240501_000000.zrvideo",
                                          day + "/cam2/2_20240501_000000.zrvideo", "/srv/2021-02-03/elsewhere/3.zrvideo",
                                          day + "/cam4/4_20240501_000000.zrvideo",
                                          day + "/cam5/5_20240501_000000.zrvideo"}));
        QCOMPARE(pathsOf(t), QStringList({day}));

        const QJsonObject rewritten = QJsonDocument::fromJson(readAll(indexPath)).object();
        QCOMPARE(rewritten.value("root_directory").toString(), day);
        QCOMPARE(arrayStrings(rewritten.value("zrvideo_files")),
                 QStringList({day + "/cam1/1_20240501_000000.zrvideo", day + "/cam2/2_20240501_000000.zrvideo",
                              "/srv/2021-02-03/elsewhere/3.zrvideo", "cam4/4_20240501_000000.zrvideo", "", "",
                              day + "/cam5/5_20240501_000000.zrvideo"}));
    }

    void unreadableIndexes_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("warning");
        QTest::newRow("missing") << QByteArray() << "[WARN] ZRIndex Manager :: get_value_from_indexfile :: failed to open index file: ";
        QTest::newRow("not json") << QByteArray("{\"zrvideo_files\":[") << "[WARN] ZRIndex Manager :: get_value_from_indexfile :: invalid JSON: ";
        QTest::newRow("array") << QByteArray("[1,2]") << "[WARN] ZRIndex Manager :: get_value_from_indexfile :: invalid JSON: ";
    }

    void unreadableIndexes()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, warning);
        QTemporaryDir tmp;
        const QString day = tmp.filePath("zrnova_1111-2222-3333-4444/2024-05-01");
        QDir().mkpath(day);
        if (!content.isEmpty())
            writeAll(ZRIndexManager::dayIndexPath(QFileInfo(day)), content);
        ZRIndexManager reader;
        QList<QFileInfo> v, al, t, au, p;
        zrtest::LogCatcher log;
        reader.get_value_from_indexfile(day, &v, &al, &t, &au, &p);
        QVERIFY(v.isEmpty());
        QVERIFY(log.contains(warning));
        QVERIFY(reader.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(day)).isNull());

        reader.get_value_from_indexfile(tmp.filePath("notaday"), &v, &al, &t, &au, &p);
        QVERIFY(log.contains("[WARN] ZRIndex Manager :: get_value_from_indexfile :: empty index path (bad root?)"));
        reader.get_value_from_indexfile(day, &v, nullptr, &t, &au, &p);
        QVERIFY(log.contains("[ERROR] ZRIndex Manager :: get_value_from_indexfile :: null output list"));
    }

    void storedHash()
    {
        QTemporaryDir tmp;
        const QString day = tmp.filePath("zrnova_1111-2222-3333-4444/2024-05-01");
        QDir().mkpath(day);
        const QString indexPath = ZRIndexManager::dayIndexPath(QFileInfo(day));
        ZRIndexManager reader;
        writeAll(indexPath, R"({"zrvideo_files":[]})");
        QVERIFY(reader.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(day)).isNull());
        writeAll(indexPath, R"({"last_modified":"abc"})");
        QFile::setPermissions(indexPath, QFile::ReadOwner | QFile::ReadUser);
        QCOMPARE(reader.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(day)), QString("abc"));
    }

    void indexWriteFailures()
    {
        QTemporaryDir tmp;
        QString written = "untouched";
        QVERIFY(!ZRIndexManager::writeDayIndexJson(QFileInfo(tmp.filePath("notaday")), "{}", &written));
        const QString exportPath = tmp.filePath("zrnova_1111-2222-3333-4444");
        QDir().mkpath(exportPath + "/2024-05-01");
        writeAll(exportPath + "/.zrindex", "a file where the folder should be");
        QVERIFY(!ZRIndexManager::writeDayIndexJson(QFileInfo(exportPath + "/2024-05-01"), "{}", &written));
        QCOMPARE(written, QString("untouched"));
        QFile::remove(exportPath + "/.zrindex");
        QVERIFY(ZRIndexManager::writeDayIndexJson(QFileInfo(exportPath + "/2024-05-01"), "{}", &written));
        QCOMPARE(written, exportPath + "/.zrindex/2024-05-01/zrvideoindex.json");
    }

    void cameraFilesOfTheDay()
    {
        const zrtest::GeneratedExport ex = makeExport();
        QVERIFY(ex.ok);
        const QString day = ex.dayFolders.first();
        ZRIndexManager m;
        QStringList expected;
        for (const zrtest::GeneratedCamera& cam : ex.cameras)
            for (const QString& info : cam.infoFiles)
                if (info.startsWith(day + "/"))
                    expected << info;
        QCOMPARE(pathsOf(m.zrnfo_with_multiple_directory(day)), sortedPaths(expected));
        QVERIFY(m.zrnfo_with_multiple_directory(QString()).isEmpty());
        QVERIFY(m.zrnfo_with_multiple_directory(day + "/missing").isEmpty());
    }

    // With no camera found in any camera file, an existing merged list stays as it is.
    void mergedListKeptWhenNoCameraFound()
    {
        QTemporaryDir tmp;
        const QString day = tmp.filePath("zrnova_1111-2222-3333-4444/2024-05-01");
        writeAll(day + "/cam1/1_camera.zrnfo", "not encrypted and no name list");
        writeAll(day + "/index.zrnfo", "previous bytes");
        ZRIndexManager m;
        m.regenerate_zrnfo_index_with_filelist(day, {QFileInfo(day + "/cam1/1_camera.zrnfo")});
        QCOMPARE(readAll(day + "/index.zrnfo"), QByteArray("previous bytes"));
    }
};

ZR_TEST_MAIN_CORE(TestIndexManager)
#include "tst_index_manager.moc"
