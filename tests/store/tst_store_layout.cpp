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
