//! labels: unit gui
#include "player/ZRPlayerInferfaceController.h"
#include "tests/controller/ControllerFixture.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QUrl>
#include <QVariantMap>

#include <algorithm>
#include <memory>

using namespace zrtest;

// What the timeline, the alarm panel and the marker panel get for the selected camera.
class TestControllerDayLists : public QObject
{
    Q_OBJECT

private:
    ExportGenerator gen;
    GeneratedExport ex; // 2 days x 2 cameras x 3 minutes, alarms, tags, previews, audio
    std::unique_ptr<ZRPlayerInferfaceController> c;
    QString thumbRemoved; // camera 2's first alarm keeps only its full image
    QString badTag;       // a tag file of camera 1 that does not decrypt

    static QString abs(const QString& p) { return QFileInfo(p).absoluteFilePath(); }
    static QString minuteFolderDay() { return QStringLiteral("2025-03-15"); }

    void select(int camera) { c->set_selected_camera(ex.camera(camera)->name); }
    // The ids of the camera's tags on the first day.
    QStringList tagIds(int camera) const
    {
        QStringList ids;
        for (const GeneratedTag& t : ex.camera(camera)->tags)
            if (t.datetime.startsWith(QString(ex.days.first()).remove('-')))
                ids << t.id;
        return ids;
    }

private slots:
    void initTestCase()
    {
        ex = gen.generate({"--days", "2", "--cameras", "2", "--minutes", "3", "--skip", "1", "--size", "160x90",
                           "--audio", "--alarms", "2", "--tags", "2", "--previews", "--seed", "9"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        QCOMPARE(ex.days, QStringList({"2025-03-14", "2025-03-15"}));

        const GeneratedAlarm& alarm = ex.camera(2)->alarms.first();
        QVERIFY(QFile::remove(alarm.thumb));
        thumbRemoved = alarm.datetime;
        badTag = ex.mediaFolder(0, 0) + "/1_99_" + QString(ex.days.first()).remove('-') + "_080030.zrtag";
        QFile f(badTag);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not an encrypted tag");
        f.close();

        // The second day in the minute-folder layout: <day>/<HHmmss>/<recordings of every camera>.
        const QString dayFolder = ex.dayFolders.at(1);
        for (const GeneratedCamera& cam : ex.cameras) {
            for (const GeneratedRecording& r : cam.recordingsOf(minuteFolderDay())) {
                const QString minute = dayFolder + "/" + r.start.time().toString("HHmmss");
                QVERIFY(QDir().mkpath(minute));
                for (const QString& p : {r.videoPath, r.seekPath, r.audioPath, r.audioSeekPath})
                    QVERIFY(QFile::rename(p, minute + "/" + QFileInfo(p).fileName()));
            }
        }
    }

    void init()
    {
        c = std::make_unique<ZRPlayerInferfaceController>(nullptr);
        c->get_available_days(ex.exportPath);
        c->set_selected_date(ex.days.first());
        QVERIFY(openDay(*c, ex.days.first()));
    }
    void cleanup() { c.reset(); }

    // Nothing is listed before a camera is chosen.
    void noCameraNoLists()
    {
        QCOMPARE(c->get_camera_id(), -1);
        QVERIFY(c->day_timestamp_list().isEmpty());
        QVERIFY(c->day_alarm_list_string().isEmpty());
        QVERIFY(c->day_tags_list_string().isEmpty());
        QVERIFY(c->day_preview_list_string().isEmpty());
        QVERIFY(c->get_alarm_thumbnail_path(ex.camera(1)->alarms.first().datetime).isEmpty());
        QCOMPARE(c->day_audio_list_string().size(), 2 * 2); // all cameras
    }

    // Recorded minutes: one value per recording of the camera, in ms since midnight, for
    // media folders named after the camera and for folders named after the minute.
    void recordedMinutes_data()
    {
        QTest::addColumn<int>("dayIndex");
        QTest::newRow("camera folders") << 0;
        QTest::newRow("minute folders") << 1;
    }
    void recordedMinutes()
    {
        QFETCH(int, dayIndex);
        const QString day = ex.days.at(dayIndex);
        if (dayIndex != 0) {
            c->set_selected_date(day);
            QVERIFY(openDay(*c, day));
        }
        for (int camera : {1, 2}) {
            select(camera);
            QList<qint64> expected;
            for (const GeneratedRecording& r : ex.camera(camera)->recordingsOf(day))
                expected << r.startMs;
            QCOMPARE(expected.size(), 2);
            QList<qint64> got = c->day_timestamp_list();
            std::sort(got.begin(), got.end());
            QCOMPARE(got, expected);
        }
    }

    // Alarms of the camera: image and thumbnail under one entry, the fields from the name.
    void alarms()
    {
        select(1);
        const QVariantList list = c->day_alarm_list_string();
        const QList<GeneratedAlarm> generated = ex.camera(1)->alarms;
        QCOMPARE(list.size(), 2);
        for (int i = 0; i < list.size(); ++i) {
            const QVariantMap m = list.at(i).toMap();
            const GeneratedAlarm* a = nullptr;
            for (const GeneratedAlarm& g : generated)
                if (g.datetime == m.value("datetime").toString())
                    a = &g;
            QVERIFY(a);
            QCOMPARE(m.value("image").toString(), abs(a->image));
            QCOMPARE(m.value("thumbnail").toString(), abs(a->thumb));
            QCOMPARE(m.value("filename").toString(), QFileInfo(a->image).fileName());
            QCOMPARE(m.value("cameraId").toString(), QStringLiteral("1"));
            QCOMPARE(m.value("alarmId").toString(), QString::number(a->alarmId));
            QCOMPARE(m.value("severity").toString(), QStringLiteral("medium"));
            QCOMPARE(m.value("type").toString(), a->datetime);
            QCOMPARE(c->get_alarm_thumbnail_path(a->datetime), abs(a->thumb));
        }
        // Entries come in name order.
        QVERIFY(list.at(0).toMap().value("filename").toString() < list.at(1).toMap().value("filename").toString());
        QVERIFY(c->get_alarm_thumbnail_path(thumbRemoved).isEmpty()); // another camera's alarm
        QVERIFY(c->get_alarm_thumbnail_path("20250314235959").isEmpty());
    }

    // An alarm whose thumbnail is gone: listed with its image alone, no thumbnail to show.
    void alarmWithoutThumbnail()
    {
        select(2);
        const QVariantList list = c->day_alarm_list_string();
        QCOMPARE(list.size(), 2);
        bool seen = false;
        for (const QVariant& v : list) {
            const QVariantMap m = v.toMap();
            QCOMPARE(m.value("cameraId").toString(), QStringLiteral("2"));
            if (m.value("datetime").toString() == thumbRemoved) {
                seen = true;
                QVERIFY(!m.contains("thumbnail"));
                QVERIFY(m.contains("image"));
            }
        }
        QVERIFY(seen);
        QVERIFY(c->get_alarm_thumbnail_path(thumbRemoved).isEmpty());
    }

    // Tags of the camera as maps of their file's keys; a tag file that does not decrypt is
    // skipped with a warning.
    void tags()
    {
        LogCatcher log;
        select(1);
        const QVariantList list = c->day_tags_list_string();
        QStringList ids = tagIds(1);
        QCOMPARE(list.size(), ids.size());
        QCOMPARE(ids.size(), 2);
        for (const QVariant& v : list) {
            const QVariantMap m = v.toMap();
            QCOMPARE(m.value("tag_cam_id").toInt(), 1);
            QVERIFY(ids.contains(m.value("tag_id").toString()));
            for (const char* key : {"tag_datetime", "tag_name", "tag_description", "tag_created_at"})
                QVERIFY2(m.contains(key), key);
        }
        QVERIFY(log.contains("Erreur de parsing JSON:"));
        QVERIFY(log.contains("[INFO] ZRPlayer Interface Controller :: day_tags_list_string " + abs(badTag)));

        select(2);
        QCOMPARE(c->day_tags_list_string().size(), tagIds(2).size());
    }

    // Audio files of every camera of the day, previews of the selected camera.
    void audioAndPreviews()
    {
        QStringList audio;
        for (const GeneratedCamera& cam : ex.cameras)
            for (const GeneratedRecording& r : cam.recordingsOf(ex.days.first()))
                audio << abs(r.audioPath);
        select(2);
        QCOMPARE(c->day_audio_list_string(), audio);

        const QVariantList previews = c->day_preview_list_string();
        const QList<GeneratedRecording> recs = ex.camera(2)->recordingsOf(ex.days.first());
        QCOMPARE(previews.size(), recs.size());
        for (int i = 0; i < recs.size(); ++i) {
            const QVariantMap m = previews.at(i).toMap();
            QCOMPARE(m.value("id").toInt(), 2);
            QCOMPARE(m.value("date").toString(), QString(ex.days.first()).remove('-'));
            QCOMPARE(m.value("ms").toLongLong(), qint64(recs.at(i).startMs));
            QCOMPARE(m.value("url").toString(), QUrl::fromLocalFile(abs(recs.at(i).previewPath)).toString());
        }
    }
};

ZR_TEST_MAIN_GUI(TestControllerDayLists)
#include "tst_controller_daylists.moc"
