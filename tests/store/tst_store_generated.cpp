//! labels: unit
#include "store/StoreLayout.h"
#include "store/Vignette.h"
#include "store/ZRFile.h"
#include "store/ZRTag.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

// The store's readers on exports written by the generator (which encrypts with its own code).
class TestStoreGenerated : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;
    zrtest::GeneratedExport ex;

    static ZRFile::CameraTable allCameras(const zrtest::GeneratedExport& e)
    {
        ZRFile::CameraTable t;
        for (const zrtest::GeneratedCamera& c : e.cameras)
            t.insert(c.id, c.name);
        return t;
    }

private slots:
    void initTestCase()
    {
        ex = gen.generate({"--days", "2", "--cameras", "3", "--minutes", "2", "--tags", "2", "--alarms", "2",
                           "--previews", "--audio", "--size", "64x36", "--seed", "11"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        QCOMPARE(ex.cameras.size(), 3);
    }

    void tagsMatchTheGenerator()
    {
        int seen = 0;
        for (const zrtest::GeneratedCamera& cam : ex.cameras) {
            for (const zrtest::GeneratedTag& t : cam.tags) {
                std::unique_ptr<ZRTag> tag(ZRFile::parse_tags_file(QFileInfo(t.path)));
                QVERIFY2(tag, qPrintable(t.path));
                QCOMPARE(tag->get_tag_id(), t.id);
                QCOMPARE(tag->get_tag_datetime(), t.datetime);
                QCOMPARE(tag->get_tag_cam_id(), QString::number(cam.id));
                QVERIFY(!tag->get_tag_name().isEmpty());
                ++seen;
            }
        }
        QCOMPARE(seen, 2 * 3 * 2);
    }

    void alarmThumbnailsGiveTheirMoment()
    {
        for (const zrtest::GeneratedCamera& cam : ex.cameras) {
            QVERIFY(!cam.alarms.isEmpty());
            for (const zrtest::GeneratedAlarm& a : cam.alarms) {
                const QFileInfo thumb(a.thumb);
                const Vignette v(thumb.fileName(), thumb.absoluteFilePath(), cam.name, QString::number(cam.id),
                                 QString(), QString());
                QCOMPARE(v.timestamp(), a.datetime);
            }
        }
    }

    void cameraInformationFiles()
    {
        for (const zrtest::GeneratedCamera& cam : ex.cameras) {
            QCOMPARE(cam.infoFiles.size(), 2);
            for (const QString& info : cam.infoFiles) {
                zrtest::LogCatcher log;
                QCOMPARE(ZRFile::check_and_parse_nfo_file(QFileInfo(info), {}), ZRFile::CameraTable({{cam.id, cam.name}}));
                QVERIFY(!log.contains("different camid"));
                QCOMPARE(ZRFile::hash_cameras_list(QFileInfo(info).absolutePath(), {}),
                         ZRFile::CameraTable({{cam.id, cam.name}}));
            }
        }
    }

    void cameraListAndNameListForms()
    {
        const zrtest::GeneratedExport list = gen.generate({"--days", "1", "--cameras", "3", "--minutes", "1",
                                                          "--placeholder", "--camera-list", "--seed", "4"});
        QVERIFY2(list.ok, qPrintable(list.error));
        for (const zrtest::GeneratedCamera& cam : list.cameras)
            QCOMPARE(ZRFile::check_and_parse_nfo_file(QFileInfo(cam.infoFiles.first()), {}), allCameras(list));

        const zrtest::GeneratedExport names = gen.generate({"--days", "1", "--cameras", "4", "--minutes", "1",
                                                           "--placeholder", "--camera-names", "--seed", "5"});
        QVERIFY2(names.ok, qPrintable(names.error));
        for (const zrtest::GeneratedCamera& cam : names.cameras) {
            const QFileInfo info(cam.infoFiles.first());
            // Not encrypted JSON: the JSON reading finds nobody, the name list finds everyone.
            QCOMPARE(ZRFile::check_and_parse_nfo_file(info, {}), ZRFile::CameraTable());
            QCOMPARE(ZRFile::read_camera_names_file(info, {}), allCameras(names));
        }
    }

    void everyGeneratedFileIsSorted()
    {
        QHash<int, int> counts;
        QDirIterator it(ex.dayFolders.first(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            if (info.absolutePath() == normalizePath(ex.dayFolders.first()))
                continue; // hash.json
            ++counts[int(classifyMediaFile(info))];
        }
        QCOMPARE(counts.value(int(MediaKind::Video)), 3 * 2);
        QCOMPARE(counts.value(int(MediaKind::Audio)), 3 * 2);
        QCOMPARE(counts.value(int(MediaKind::Preview)), 3 * 2);
        QCOMPARE(counts.value(int(MediaKind::Alarm)), 3 * 2 * 2);
        QCOMPARE(counts.value(int(MediaKind::Tag)), 3 * 2);
        QCOMPARE(counts.value(int(MediaKind::CameraInfo)), 3);
        QCOMPARE(counts.value(int(MediaKind::None)), 3 * 2 * 2); // the seek tables
        for (const QString& day : ex.dayFolders)
            QVERIFY(isDayFolderPath(day));
    }

    void hashListDecrypts()
    {
        for (const QString& hash : ex.hashFiles) {
            const QString text = ZRFile::read_decrypted_file(QFileInfo(hash));
            QVERIFY(!text.isEmpty());
            QVERIFY(!QJsonDocument::fromJson(text.toUtf8()).isNull());
        }
    }
};

ZR_TEST_MAIN_CORE(TestStoreGenerated)
#include "tst_store_generated.moc"
