//! labels: unit
#include "store/StoreLayout.h"
#include "store/ZRIndexManager.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestStoreLayout : public QObject
{
    Q_OBJECT

    static void writeFile(const QString& path, int size)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
    }

private slots:
    void folderTests_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("inExport");
        QTest::addColumn<bool>("isDay");
        QTest::newRow("day") << "/data/zrnova_aaaa-bbbb-cccc-dddd/2024-05-01" << true << true;
        QTest::newRow("day with slash") << "/data/zrnova_aaaa-bbbb-cccc-dddd/2024-05-01/" << true << true;
        QTest::newRow("upper-case hex") << "/data/ZRNOVA_AAAA-BB0B-CCCC-D9DD/2024-05-01" << true << true;
        QTest::newRow("export folder itself") << "/data/zrnova_aaaa-bbbb-cccc-dddd" << true << false;
        QTest::newRow("export folder with slash") << "/data/zrnova_aaaa-bbbb-cccc-dddd/" << true << false;
        QTest::newRow("other folder inside") << "/data/zrnova_aaaa-bbbb-cccc-dddd/notes" << true << false;
        QTest::newRow("backslashes") << "C:\\exports\\zrnova_aaaa-bbbb-cccc-dddd\\2024-05-01" << true << false;
        QTest::newRow("thirteenth month is text-valid") << "/x/zrnova_aaaa-bbbb-cccc-dddd/2024-13-01" << true << true;
        QTest::newRow("three groups") << "/x/zrnova_aaaa-bbbb-cccc/2024-05-01" << false << false;
        QTest::newRow("not hex") << "/x/zrnova_gggg-bbbb-cccc-dddd/2024-05-01" << false << false;
        QTest::newRow("no export") << "/x/2024-05-01" << false << false;
    }

    void folderTests()
    {
        QFETCH(QString, path);
        QFETCH(bool, inExport);
        QFETCH(bool, isDay);
        QCOMPARE(isInExportFolder(path), inExport);
        QCOMPARE(isDayFolderPath(path), isDay);
    }

    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("exportName");
        QTest::addColumn<bool>("dayName");
        QTest::newRow("export") << "zrnova_aaaa-bbbb-cccc-dddd" << true << false;
        QTest::newRow("export upper") << "ZRNOVA_AAAA-BBBB-CCCC-DDDD" << true << false;
        QTest::newRow("export with suffix") << "zrnova_aaaa-bbbb-cccc-dddd-copy" << false << false;
        QTest::newRow("day") << "2024-02-29" << false << true;
        QTest::newRow("no leap day") << "2023-02-29" << false << false;
        QTest::newRow("thirteenth month") << "2024-13-01" << false << false;
        QTest::newRow("thirtieth of February") << "2024-02-30" << false << false;
        QTest::newRow("short month") << "2024-5-01" << false << false;
    }

    void names()
    {
        QFETCH(QString, name);
        QFETCH(bool, exportName);
        QFETCH(bool, dayName);
        QCOMPARE(isExportFolderName(name), exportName);
        QCOMPARE(isValidDayName(name), dayName);
    }

    void normalize_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("clean") << "/a/b" << "/a/b";
        QTest::newRow("dots and doubles") << "/a//b/./c/../d/" << "/a/b/d";
        QTest::newRow("windows path") << "C:\\exports\\zrnova_x\\..\\zrnova_y\\2024-05-01\\" << "C:/exports/zrnova_y/2024-05-01";
        QTest::newRow("mixed") << "/a\\b/c\\\\d" << "/a/b/c/d";
        QTest::newRow("empty") << "" << "";
    }

    void normalize()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(normalizePath(path), expected);
    }

    void pathUnder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("base");
        QTest::addColumn<bool>("caseSensitive");
        QTest::addColumn<bool>("expected");
        QTest::newRow("below, other case") << "/E/Zrnova_x/DAY/cam" << "/e/zrnova_x/day" << false << true;
        QTest::newRow("below, other case, sensitive") << "/E/Zrnova_x/DAY/cam" << "/e/zrnova_x/day" << true << false;
        QTest::newRow("base itself, trailing separator") << "/e/x" << "/e/x/" << false << true;
        QTest::newRow("base itself, other case") << "/E/X" << "/e/x" << false << false;
        QTest::newRow("sibling with base's name as prefix") << "/e/xy/file" << "/e/x" << false << false;
        QTest::newRow("backslashes") << "C:\\e\\x\\f" << "C:/e/x" << false << true;
        QTest::newRow("dot-dot escape") << "/e/x/../y/f" << "/e/x" << false << false;
        QTest::newRow("under root") << "/e/x" << "/" << false << true;
        QTest::newRow("empty base") << "/e/x" << "" << false << false;
    }

    void pathUnder()
    {
        QFETCH(QString, path);
        QFETCH(QString, base);
        QFETCH(bool, caseSensitive);
        QFETCH(bool, expected);
        QCOMPARE(isPathUnder(path, base, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive), expected);
    }

    void mediaKinds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("companion");
        QTest::addColumn<int>("companionSize");
        QTest::addColumn<int>("expected");
        const QString base = "3_20240501_101500";
        QTest::newRow("video") << base + ".zrvideo" << 10 << base + ".zrseek" << 5 << int(MediaKind::Video);
        QTest::newRow("video ext upper case") << base + ".ZRVIDEO" << 10 << base + ".zrseek" << 5 << int(MediaKind::Video);
        QTest::newRow("video without seek table") << base + ".zrvideo" << 10 << QString() << 0 << int(MediaKind::None);
        QTest::newRow("video with empty seek table") << base + ".zrvideo" << 10 << base + ".zrseek" << 0 << int(MediaKind::None);
        QTest::newRow("empty video") << base + ".zrvideo" << 0 << base + ".zrseek" << 5 << int(MediaKind::None);
        QTest::newRow("video with audio seek table") << base + ".zrvideo" << 10 << base + ".zraudioseek" << 5 << int(MediaKind::None);
        QTest::newRow("audio") << base + ".zraudio" << 10 << base + ".zraudioseek" << 5 << int(MediaKind::Audio);
        QTest::newRow("audio without seek table") << base + ".zraudio" << 10 << QString() << 0 << int(MediaKind::None);
        QTest::newRow("audio with empty seek table") << base + ".zraudio" << 10 << base + ".zraudioseek" << 0 << int(MediaKind::None);
        QTest::newRow("audio with video seek table") << base + ".zraudio" << 10 << base + ".zrseek" << 5 << int(MediaKind::None);
        QTest::newRow("preview") << base + "_preview.jpg" << 10 << QString() << 0 << int(MediaKind::Preview);
        QTest::newRow("video preview mixed case") << base + "_VideoPreview.JPG" << 10 << QString() << 0 << int(MediaKind::Preview);
        QTest::newRow("preview upper case") << base + "_PREVIEW.jpg" << 10 << QString() << 0 << int(MediaKind::Preview);
        QTest::newRow("alarm image") << "3_77_20240501_101500.jpg" << 10 << QString() << 0 << int(MediaKind::Alarm);
        QTest::newRow("alarm thumbnail") << "3_77_20240501_101500-thumb.jpg" << 10 << QString() << 0 << int(MediaKind::Alarm);
        QTest::newRow("preview word not at end") << base + "_preview_x.jpg" << 10 << QString() << 0 << int(MediaKind::Alarm);
        QTest::newRow("tag") << base + ".zrtag" << 10 << QString() << 0 << int(MediaKind::Tag);
        QTest::newRow("camera information") << "3_cam.zrnfo" << 10 << QString() << 0 << int(MediaKind::CameraInfo);
        QTest::newRow("seek table alone") << base + ".zrseek" << 10 << QString() << 0 << int(MediaKind::None);
        QTest::newRow("other") << "notes.txt" << 10 << QString() << 0 << int(MediaKind::None);
        QTest::newRow("no extension") << "zrvideo" << 10 << QString() << 0 << int(MediaKind::None);
    }

    void mediaKinds()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        QFETCH(QString, companion);
        QFETCH(int, companionSize);
        QFETCH(int, expected);
        QTemporaryDir dir;
        writeFile(dir.filePath(name), size);
        if (!companion.isEmpty())
            writeFile(dir.filePath(companion), companionSize);
        QCOMPARE(int(classifyMediaFile(QFileInfo(dir.filePath(name)))), expected);
    }

    void recordingNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("byName");      // camera|date|time, empty when refused
        QTest::addColumn<QString>("byBaseName");
        QTest::newRow("video") << "12_20240131_235959.zrvideo" << "12|20240131|235959" << "12|20240131|235959";
        QTest::newRow("audio seek") << "3_20240131_080000.zraudioseek" << "3|20240131|080000" << "3|20240131|080000";
        QTest::newRow("dots in time") << "3_20240131_080000.x.zrvideo" << "3|20240131|080000" << "3|20240131|080000.x";
        QTest::newRow("four fields") << "3_7_20240131_080000.zrtag" << "3|7|20240131" << "3|7|20240131";
        QTest::newRow("two fields") << "a_b.zrvideo" << "" << "";
        QTest::newRow("plain") << "clip.zrvideo" << "" << "";
    }

    void recordingNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, byName);
        QFETCH(QString, byBaseName);
        QString c = "-", d = "-", t = "-";
        QCOMPARE(splitRecordingName(name, &c, &d, &t), !byName.isEmpty());
        QCOMPARE(byName.isEmpty() ? QString() : c + "|" + d + "|" + t, byName);
        c = d = t = "-";
        QCOMPARE(splitRecordingBaseName(name, &c, &d, &t), !byBaseName.isEmpty());
        QCOMPARE(byBaseName.isEmpty() ? QString() : c + "|" + d + "|" + t, byBaseName);
    }

    void seekTablePaths_data()
    {
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("seek");
        QTest::newRow("video") << "/d/cam1/1_20240131_080000.zrvideo" << "/d/cam1/1_20240131_080000.zrseek";
        QTest::newRow("audio") << "/d/cam1/1_20240131_080000.zraudio" << "/d/cam1/1_20240131_080000.zraudioseek";
        QTest::newRow("other") << "/d/cam1/1_20240131_080000.jpg" << QString();
    }

    void seekTablePaths()
    {
        QFETCH(QString, data);
        QFETCH(QString, seek);
        QCOMPARE(seekTablePathOf(data), seek);
    }

    // The export folder above a path: the nearest one, in the case written, separators cleaned.
    void exportFolders_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::newRow("recording") << "/rec/zrnova_1a2b-3c4d-5e6f-7a8b/2024-05-02/cam/3_20240502_101500.zrvideo"
                                   << "/rec/zrnova_1a2b-3c4d-5e6f-7a8b";
        QTest::newRow("nearest") << "/zrnova_aaaa-bbbb-cccc-dddd/out/zrnova_1a2b-3c4d-5e6f-7a8b/d/x.zrnfo"
                                 << "/zrnova_aaaa-bbbb-cccc-dddd/out/zrnova_1a2b-3c4d-5e6f-7a8b";
        QTest::newRow("capitals, backslashes") << "C:\\rec\\ZRNOVA_1A2B-3C4D-5E6F-7A8B\\d\\x.zrseek"
                                               << "C:/rec/ZRNOVA_1A2B-3C4D-5E6F-7A8B";
        QTest::newRow("look-alike") << "/zrnova_backup/d/x.zrvideo" << QString();
        QTest::newRow("the folder itself") << "/rec/zrnova_1a2b-3c4d-5e6f-7a8b" << QString();
    }

    void exportFolders()
    {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QCOMPARE(exportFolderOf(path), folder);
    }

    // The variants of the data-file and seek-table mapping, side by side: the plain one, the one
    // that accepts a seek table as well, the audio companion of a seek table and the readers'
    // whole-path pair (which also rewrites a folder named after an extension).
    void pathMappings_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("seekOf");
        QTest::addColumn<QString>("seekFor");
        QTest::addColumn<QString>("audio");
        QTest::addColumn<QString>("pairSeek");
        QTest::addColumn<QString>("pairData");
        QTest::addColumn<int>("pairKind");
        const int video = int(MediaKind::Video), audio = int(MediaKind::Audio), none = int(MediaKind::None);
        QTest::newRow("video data") << "/d/c/1_20240131_080000.zrvideo" << "/d/c/1_20240131_080000.zrseek"
                                    << "/d/c/1_20240131_080000.zrseek" << QString() << "/d/c/1_20240131_080000.zrseek"
                                    << "/d/c/1_20240131_080000.zrvideo" << video;
        QTest::newRow("video seek") << "/d/c/1_20240131_080000.zrseek" << QString() << "/d/c/1_20240131_080000.zrseek"
                                    << "/d/c/1_20240131_080000.zraudio" << "/d/c/1_20240131_080000.zrseek"
                                    << "/d/c/1_20240131_080000.zrvideo" << video;
        QTest::newRow("audio data") << "/d/c/1_20240131_080000.zraudio" << "/d/c/1_20240131_080000.zraudioseek"
                                    << "/d/c/1_20240131_080000.zraudioseek" << QString()
                                    << "/d/c/1_20240131_080000.zraudioseek" << "/d/c/1_20240131_080000.zraudio" << audio;
        QTest::newRow("audio seek") << "/d/c/1_20240131_080000.zraudioseek" << "/d/c/1_20240131_080000.zraudioseekseek"
                                    << "/d/c/1_20240131_080000.zraudioseek" << "/d/c/1_20240131_080000.zraudio"
                                    << "/d/c/1_20240131_080000.zraudioseek" << "/d/c/1_20240131_080000.zraudio" << audio;
        QTest::newRow("folder named zrvideo") << "/d/zrvideo/1_20240131_080000.zrvideo" << "/d/zrvideo/1_20240131_080000.zrseek"
                                              << "/d/zrvideo/1_20240131_080000.zrseek" << QString()
                                              << "/d/zrseek/1_20240131_080000.zrseek"
                                              << "/d/zrvideo/1_20240131_080000.zrvideo" << video;
        QTest::newRow("image") << "/d/c/1_20240131_080000.jpg" << QString() << "/d/c/1_20240131_080000.jpg" << QString()
                               << QString() << QString() << none;
    }

    void pathMappings()
    {
        QFETCH(QString, path);
        QFETCH(QString, seekOf);
        QFETCH(QString, seekFor);
        QFETCH(QString, audio);
        QFETCH(QString, pairSeek);
        QFETCH(QString, pairData);
        QFETCH(int, pairKind);
        QCOMPARE(seekTablePathOf(path), seekOf);
        QCOMPARE(seekTablePathFor(path), seekFor);
        QCOMPARE(audioCompanionPathOf(path), audio);
        const RecordingPair pair = recordingPairByWholePath(path);
        QCOMPARE(pair.seek, pairSeek);
        QCOMPARE(pair.data, pairData);
        QCOMPARE(int(pair.kind), pairKind);
    }

    // Names read by pattern: fields or refusal, for every kind of name the day holds.
    void namePatterns_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("video");    // camera|date|time, empty when refused
        QTest::addColumn<QString>("preview");  // camera|date|time
        QTest::addColumn<QString>("alarm");    // camera|alarm|stamp
        QTest::newRow("video") << "12_20240131_235959.zrvideo" << "12|20240131|235959" << "" << "";
        QTest::newRow("audio") << "12_20240131_235959.zraudio" << "" << "" << "";
        QTest::newRow("preview") << "3_20240131_080000_preview.jpg" << "" << "3|20240131|080000" << "";
        QTest::newRow("video preview") << "3_20240131_080000_videopreview.jpg" << "" << "3|20240131|080000" << "";
        QTest::newRow("alarm") << "3_17_20240131_080005.jpg" << "" << "" << "3|17|20240131080005";
        QTest::newRow("alarm thumbnail") << "3_17_20240131_080005-thumb.jpg" << "" << "" << "3|17|20240131080005";
        QTest::newRow("short time") << "3_20240131_0800.zrvideo" << "" << "" << "";
        QTest::newRow("letters") << "cam_20240131_080000.zrvideo" << "" << "" << "";
    }

    void namePatterns()
    {
        QFETCH(QString, name);
        QFETCH(QString, video);
        QFETCH(QString, preview);
        QFETCH(QString, alarm);
        QString a, b, c;
        QCOMPARE(matchVideoRecordingName(name, &a, &b, &c) ? a + "|" + b + "|" + c : QString(), video);
        QCOMPARE(matchPreviewImageName(name, &a, &b, &c) ? a + "|" + b + "|" + c : QString(), preview);
        QCOMPARE(matchAlarmImageName(name, &a, &b, &c) ? a + "|" + b + "|" + c : QString(), alarm);
    }

    void smallNameRules()
    {
        QCOMPARE(alarmImageKey("3_17_20240131_080005-thumb.jpg"), QStringLiteral("3_17_20240131_080005"));
        QCOMPARE(alarmImageKey("3_17_20240131_080005.jpg"), QStringLiteral("3_17_20240131_080005"));
        QCOMPARE(recordingCameraText("12_20240131_235959.zrvideo"), QStringLiteral("12"));
        QCOMPARE(recordingCameraText("_20240131.zrvideo"), QString());
        QCOMPARE(recordingFileName("12", "20240131", "235959", ".zraudio"), QStringLiteral("12_20240131_235959.zraudio"));
        QVERIFY(isExportFolderPath("/data/ZRNOVA_0A1B-2C3D-4E5F-6A7B"));
        QVERIFY(!isExportFolderPath("/data/zrnova_0a1b-2c3d-4e5f-6a7b/"));
        QVERIFY(!isExportFolderPath("/data/zrnova_0a1b-2c3d-4e5f-6a7b/2024-05-01"));
    }

    // Camera files of the media folders: folder by folder, by name; files only unless asked.
    void cameraInfoFiles()
    {
        QTemporaryDir dir;
        const QString day = dir.path() + "/zrnova_aaaa-bbbb-cccc-dddd/2024-05-01";
        writeFile(day + "/index.zrnfo", 1);               // beside the media folders: not theirs
        writeFile(day + "/cam2/2.zrnfo", 1);
        writeFile(day + "/cam1/b.zrnfo", 1);
        writeFile(day + "/cam1/a.zrnfo", 1);
        writeFile(day + "/cam1/.hidden.zrnfo", 1);
        writeFile(day + "/cam1/1_20240501_080000.zrvideo", 1);
        writeFile(day + "/cam1/deeper/c.zrnfo", 1);       // two levels down: not listed
        QDir().mkpath(day + "/cam1/odd.zrnfo");           // a folder so named
        const QFileInfoList folders = mediaFoldersOf(day);
        QCOMPARE(folders.size(), 2);
        QStringList files, any;
        for (const QFileInfo& f : cameraInfoFilesIn(folders, QDir::Files))
            files << f.absoluteFilePath().mid(day.size() + 1);
        for (const QFileInfo& f : cameraInfoFilesIn(folders, QDir::Files | QDir::Dirs))
            any << f.absoluteFilePath().mid(day.size() + 1);
        QCOMPARE(files, QStringList({"cam1/a.zrnfo", "cam1/b.zrnfo", "cam2/2.zrnfo"}));
        QCOMPARE(any, QStringList({"cam1/a.zrnfo", "cam1/b.zrnfo", "cam1/odd.zrnfo", "cam2/2.zrnfo"}));
    }

    void listingsSortedByCodeUnitsWithoutHidden()
    {
        QTemporaryDir dir;
        for (const char* name : {"b", "B", "a", "_x", ".hidden", "10", "9"})
            writeFile(dir.filePath(name), 1);
        QDir().mkpath(dir.filePath("Z-folder"));
        QStringList names;
        for (const QFileInfo& info : sortedEntries(dir.path(), QDir::Files))
            names << info.fileName();
        QCOMPARE(names, QStringList({"10", "9", "B", "_x", "a", "b"}));
        QCOMPARE(sortedEntries(dir.path(), QDir::Dirs).size(), 1);
    }

    void splitDay_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("makeFile");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("dayName");
        QTest::newRow("day folder") << "zrnova_aaaa-bbbb-cccc-dddd/2024-05-01" << false << true << "2024-05-01";
        QTest::newRow("day folder, trailing slash") << "zrnova_aaaa-bbbb-cccc-dddd/2024-05-01/" << false << true << "2024-05-01";
        QTest::newRow("file in day folder") << "zrnova_aaaa-bbbb-cccc-dddd/2024-05-01/hash.json" << true << true << "2024-05-01";
        QTest::newRow("thirteenth month") << "zrnova_aaaa-bbbb-cccc-dddd/2024-13-01" << false << true << "2024-13-01";
        QTest::newRow("media folder") << "zrnova_aaaa-bbbb-cccc-dddd/2024-05-01/cam1" << false << false << QString();
        QTest::newRow("export folder") << "zrnova_aaaa-bbbb-cccc-dddd" << false << false << QString();
    }

    void splitDay()
    {
        QFETCH(QString, relative);
        QFETCH(bool, makeFile);
        QFETCH(bool, ok);
        QFETCH(QString, dayName);
        QTemporaryDir dir;
        const QString path = dir.path() + "/" + relative;
        if (makeFile)
            writeFile(path, 1);
        else
            QDir().mkpath(path);

        QString exportName, day, exportPath;
        QCOMPARE(ZRIndexManager::splitDayPath(QFileInfo(path), exportName, day, exportPath), ok);
        const QString indexPath = ZRIndexManager::dayIndexPath(QFileInfo(path));
        if (!ok) {
            QVERIFY(indexPath.isNull());
            return;
        }
        const QString exportFolder = normalizePath(dir.path() + "/zrnova_aaaa-bbbb-cccc-dddd");
        QCOMPARE(exportName, QString("zrnova_aaaa-bbbb-cccc-dddd"));
        QCOMPARE(day, dayName);
        QCOMPARE(exportPath, exportFolder);
        QCOMPARE(indexPath, exportFolder + "/.zrindex/" + dayName + "/zrvideoindex.json");
    }
};

ZR_TEST_MAIN_CORE(TestStoreLayout)
#include "tst_store_layout.moc"
