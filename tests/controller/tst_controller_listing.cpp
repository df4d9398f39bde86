//! labels: unit gui
#include "player/ZRPlayerInferfaceController.h"
#include "store/ZRFile.h"
#include "store/ZRIndexManager.h"
#include "tests/controller/ControllerFixture.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/ModalAnswerer.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QDir>
#include <QMetaMethod>
#include <QFile>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace zrtest;

class TestControllerListing : public QObject
{
    Q_OBJECT

private:
    ExportGenerator gen;
    GeneratedExport ex; // 3 days x 2 cameras

    QStringList cameraNames(const GeneratedExport& e) const
    {
        QStringList names;
        for (const GeneratedCamera& c : e.cameras)
            names << c.name;
        return names;
    }
    static QSet<QString> asSet(const QStringList& l) { return QSet<QString>(l.begin(), l.end()); }
    static QStringList paths(const QList<QFileInfo>& l)
    {
        QStringList out;
        for (const QFileInfo& f : l)
            out << f.absoluteFilePath();
        return out;
    }
    QStringList videosOf(const GeneratedExport& e, const QString& day) const
    {
        QStringList out;
        for (const GeneratedCamera& c : e.cameras)
            for (const GeneratedRecording& r : c.recordingsOf(day))
                out << QFileInfo(r.videoPath).absoluteFilePath();
        return out;
    }
    // An export folder with empty day folders, for the folder-only cases.
    static QString makeBareExport(QTemporaryDir& dir, const QStringList& subfolders)
    {
        const QString root = dir.path() + QStringLiteral("/zrnova_0a1b-2c3d-4e5f-6a7b");
        for (const QString& s : subfolders)
            QDir().mkpath(root + QLatin1Char('/') + s);
        return root;
    }

private slots:
    void initTestCase()
    {
        ex = gen.generate({QStringLiteral("--days"), QStringLiteral("3"), QStringLiteral("--cameras"), QStringLiteral("2"),
                           QStringLiteral("--minutes"), QStringLiteral("2"), QStringLiteral("--size"),
                           QStringLiteral("160x90"), QStringLiteral("--audio"), QStringLiteral("--seed"), QStringLiteral("11")});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        QCOMPARE(ex.days.size(), 3);
    }

    // The QML interface in its meta-object order.
    void qmlInterface()
    {
        const QMetaObject& mo = ZRPlayerInferfaceController::staticMetaObject;
        QStringList got;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
            got << QString::fromLatin1(mo.method(i).methodSignature());
        const QStringList expected = {
            "dataChanged()", "timeChanged()", "startRead()", "stopRead()", "startIndexGeneration()",
            "indexGenerated()", "indexFailed()", "updateStreams()", "camerasForDateReady(QStringList)",
            "camerasForDateError(QString)", "set_next_file()", "set_previous_file()", "setTime(QTime)",
            "recv_available_videostream(QStringList)", "integrity_check_done()", "video_export_end()",
            "get_available_days(QString)", "selected_date()",
            "selected_camera()", "get_cameras_for_date_async(QString)", "set_selected_camera(QString)",
            "set_selected_date(QString)", "day_timestamp_list()", "day_alarm_list_string()",
            "day_tags_list_string()", "day_audio_list_string()", "day_preview_list_string()",
            "set_zrstream_reader_read_timestamp(QString)", "get_current_read_time_is_ms()", "pause_button()",
            "start_button()", "snapshot_full_button()", "snapshot_button()", "previous_frame_button()",
            "next_frame_button()", "set_playback_rate(int)", "check_integrity()", "video_export()",
            "get_alarm_thumbnail_path(QString)", "get_videostreams_list()", "set_selected_videostream(int)",
            "open_alarm_popup(QString)", "regenerate_index()", "regenerate_index_for_current_date()", "is_zrnova_directory(QString)"};
        QCOMPARE(got, expected);
        QCOMPARE(mo.method(mo.indexOfMethod("day_timestamp_list()")).returnType(), int(QMetaType::fromType<QList<qint64>>().id()));
    }

    void exportFolderNames_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("expected");
        QTest::newRow("lower") << "/data/zrnova_0a1b-2c3d-4e5f-6a7b" << true;
        QTest::newRow("upper") << "/data/ZRNOVA_0A1B-2C3D-4E5F-6A7B" << true;
        QTest::newRow("bare name") << "zrnova_aaaa-bbbb-cccc-dddd" << true;
        QTest::newRow("three groups") << "/data/zrnova_0a1b-2c3d-4e5f" << false;
        QTest::newRow("trailing slash") << "/data/zrnova_0a1b-2c3d-4e5f-6a7b/" << false;
        QTest::newRow("not hex") << "/data/zrnova_0a1b-2c3d-4e5f-6a7g" << false;
        QTest::newRow("suffix") << "/data/zrnova_0a1b-2c3d-4e5f-6a7b_old" << false;
        QTest::newRow("empty") << "" << false;
    }
    void exportFolderNames()
    {
        QFETCH(QString, path);
        QFETCH(bool, expected);
        ZRPlayerInferfaceController c;
        QCOMPARE(c.is_zrnova_directory(path), expected);
    }

    // Day folders: valid dates only, in name order, the last one selected; a local-file URL is
    // listed under the path it names.
    void availableDays_data()
    {
        QTest::addColumn<bool>("asUrl");
        QTest::newRow("path") << false;
        QTest::newRow("file url") << true;
    }
    void availableDays()
    {
        QFETCH(bool, asUrl);
        QTemporaryDir dir;
        const QString root = makeBareExport(
            dir, {"2025-03-16", "2024-02-29", "2025-02-30", "2023-02-29", "notes", "2025-03-14", "2025-3-15"});
        QFile(root + "/2025-03-20").open(QIODevice::WriteOnly); // a file, not a day folder
        ModalAnswerer answerer;
        ZRPlayerInferfaceController c;
        const QString arg = asUrl ? QUrl::fromLocalFile(root).toString() : root;
        const QStringList days = c.get_available_days(arg);
        QCOMPARE(days, QStringList({"2024-02-29", "2025-03-14", "2025-03-16"}));
        QCOMPARE(c.get_root_directory(), root);
        QCOMPARE(c.selected_date(), QStringLiteral("2025-03-16"));
        QCOMPARE(answerer.count(), 0);

        QStringList listed;
        for (const QFileInfo& f : c.get_days_list(root))
            listed << f.fileName();
        QCOMPARE(listed, days);
    }

    // A missing folder or one without day: the operator is told, nothing is selected.
    void noDays_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::newRow("missing") << false;
        QTest::newRow("no day folder") << true;
    }
    void noDays()
    {
        QFETCH(bool, exists);
        QTemporaryDir dir;
        const QString root = exists ? makeBareExport(dir, {"notes"}) : dir.path() + "/zrnova_0000-0000-0000-0000";
        ModalAnswerer answerer;
        ZRPlayerInferfaceController c;
        c.set_selected_date(QStringLiteral("2025-01-01"));
        QVERIFY(c.get_available_days(root).isEmpty());
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.last().title, QStringLiteral("Attention"));
        QCOMPARE(answerer.last().icon, QMessageBox::Warning);
        QCOMPARE(answerer.last().text, QStringLiteral("Aucun enregistrement trouvé dans le dossier ") + root);
        QCOMPARE(c.get_root_directory(), exists ? root : QString());
        QCOMPARE(c.selected_date(), QStringLiteral("2025-01-01"));
        QVERIFY(c.get_days_list(root + "/missing").isEmpty());
        QVERIFY(c.get_available_days(QString()).isEmpty());
        QCOMPARE(answerer.count(), 1);
    }

    // First listing of a day without index: cameras from the encrypted camera files, the merged
    // list written, the index rebuilt; the next listing loads the day's lists from the index.
    void camerasAndIndex()
    {
        ModalAnswerer answerer;
        LogCatcher log;
        ZRPlayerInferfaceController c;
        QCOMPARE(c.get_available_days(ex.exportPath), ex.days);
        const QString day = ex.days.first();
        c.set_selected_date(day);

        QSignalSpy generated(&c, &ZRPlayerInferfaceController::indexGenerated);
        QStringList cameras;
        bool regenerated = false;
        QVERIFY(listCameras(c, day, &cameras, nullptr, &regenerated));
        QCOMPARE(asSet(cameras), asSet(cameraNames(ex)));
        QVERIFY(regenerated);
        QVERIFY(c.get_day_video_list().isEmpty());
        QVERIFY(QFileInfo::exists(ex.dayFolders.first() + "/index.zrnfo"));
        const ZRFile::CameraTable merged =
            ZRFile::check_and_parse_nfo_file(QFileInfo(ex.dayFolders.first() + "/index.zrnfo"), {});
        QCOMPARE(merged.size(), 2);
        QCOMPARE(merged.value(ex.cameras.at(1).id), ex.cameras.at(1).name);
        QVERIFY(waitForSignals(generated, 1, 120000));
        QVERIFY(log.contains("[INFO] ZRPlayer Interface Controller :: finished regenerate index for current date :: "
                             + ex.exportPath + "/" + day));

        regenerated = false;
        QVERIFY(listCameras(c, day, &cameras, nullptr, &regenerated));
        QVERIFY(!regenerated);
        QCOMPARE(asSet(cameras), asSet(cameraNames(ex)));
        QCOMPARE(asSet(paths(c.get_day_video_list())), asSet(videosOf(ex, day)));
        QCOMPARE(c.get_day_audio_list().size(), videosOf(ex, day).size());
        QCOMPARE(c.get_camera_table().value(ex.cameras.at(0).id), ex.cameras.at(0).name);
        QVERIFY(log.contains("[INFO] ZRPlayer Interface Controller :: init day video list :: get values from index"));
        QCOMPARE(answerer.count(), 0);
    }

    // A stale or a missing index: the cameras come with a rebuild, the lists stay empty until
    // the day is listed again.
    void staleIndexRebuilt_data()
    {
        QTest::addColumn<int>("dayIndex");
        QTest::addColumn<bool>("removeIndex");
        QTest::newRow("stale") << 1 << false;
        QTest::newRow("missing") << 2 << true;
    }
    void staleIndexRebuilt()
    {
        QFETCH(int, dayIndex);
        QFETCH(bool, removeIndex);
        ZRPlayerInferfaceController c;
        c.get_available_days(ex.exportPath);
        const QString day = ex.days.at(dayIndex);
        c.set_selected_date(day);
        QVERIFY(openDay(c, day));
        QVERIFY(!c.get_day_video_list().isEmpty());

        if (removeIndex)
            QVERIFY(QFile::remove(ZRIndexManager::dayIndexPath(QFileInfo(ex.dayFolders.at(dayIndex)))));
        else
            QVERIFY(QDir().mkpath(ex.dayFolders.at(dayIndex) + "/cam999999"));

        QSignalSpy started(&c, &ZRPlayerInferfaceController::startIndexGeneration);
        QSignalSpy generated(&c, &ZRPlayerInferfaceController::indexGenerated);
        QStringList cameras;
        bool regenerated = false;
        QVERIFY(listCameras(c, day, &cameras, nullptr, &regenerated));
        QVERIFY(regenerated);
        QCOMPARE(started.count(), 1);
        QCOMPARE(asSet(cameras), asSet(cameraNames(ex)));
        QVERIFY(c.get_day_video_list().isEmpty());
        QVERIFY(waitForSignals(generated, 1, 120000));

        regenerated = false;
        QVERIFY(listCameras(c, day, &cameras, nullptr, &regenerated));
        QVERIFY(!regenerated);
        QCOMPARE(asSet(paths(c.get_day_video_list())), asSet(videosOf(ex, day)));
    }

    // A day whose merged list names two cameras, with recordings of a third: the third is
    // listed under a default name.
    void unnamedCamera()
    {
        ExportGenerator g;
        const GeneratedExport e = g.generate({"--cameras", "3", "--first-camera", "5", "--minutes", "1", "--size",
                                              "160x90", "--seed", "3"});
        QVERIFY2(e.ok, qPrintable(e.error));
        ZRPlayerInferfaceController c;
        c.get_available_days(e.exportPath);
        const QString day = e.days.first();
        QVERIFY(openDay(c, day));

        ZRFile::CameraTable two;
        two.insert(5, e.camera(5)->name);
        two.insert(6, e.camera(6)->name);
        const QString merged = e.dayFolders.first() + "/index.zrnfo";
        QFile::remove(merged);
        ZRFile::create_zrnfo_index_file(QFileInfo(merged), two);

        QStringList cameras;
        bool regenerated = false;
        QVERIFY(listCameras(c, day, &cameras, nullptr, &regenerated));
        QVERIFY(!regenerated);
        QCOMPARE(asSet(cameras), asSet({e.camera(5)->name, e.camera(6)->name, "Camera 7"}));
        QCOMPARE(c.get_camera_table().value(7), QStringLiteral("Camera 7"));
        // The merged list was accepted as it is: not rewritten with the third camera.
        QCOMPARE(ZRFile::check_and_parse_nfo_file(QFileInfo(merged), {}).size(), 2);
    }

    // Listing errors: the error text, an empty camera table, and no lists of the day before.
    void listingErrors_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing day") << "missing";
        QTest::newRow("day without folder") << "empty";
        QTest::newRow("no root") << "noroot";
    }
    void listingErrors()
    {
        QFETCH(QString, kind);
        ZRPlayerInferfaceController c;
        c.get_available_days(ex.exportPath);
        QVERIFY(openDay(c, ex.days.first()));
        QVERIFY(!c.get_day_video_list().isEmpty());

        QTemporaryDir dir;
        QString date = QStringLiteral("2031-01-01");
        QString expected;
        if (kind == "missing") {
            expected = "Le dossier " + ex.exportPath + "/" + date + " n'existe pas.";
        } else if (kind == "empty") {
            const QString root = makeBareExport(dir, {date});
            QFile(root + "/" + date + "/index.zrnfo").open(QIODevice::WriteOnly);
            ModalAnswerer answerer;
            QCOMPARE(c.get_available_days(root), QStringList{date});
            expected = "Aucun enregistrement trouvé dans le dossier " + root + "/" + date;
        } else {
            // A controller whose root was never set.
            ZRPlayerInferfaceController fresh;
            QString error;
            QVERIFY(!listCameras(fresh, date, nullptr, &error));
            QCOMPARE(error, QStringLiteral("Le répertoire principal est vide."));
            QVERIFY(fresh.get_camera_table().isEmpty());
            return;
        }
        QString error;
        QVERIFY(!listCameras(c, date, nullptr, &error));
        QCOMPARE(error, expected);
        QVERIFY(c.get_camera_table().isEmpty());
        QVERIFY(c.get_day_video_list().isEmpty());
        QVERIFY(c.get_day_audio_list().isEmpty());
        QVERIFY(c.get_day_alarm_list().isEmpty());
        QVERIFY(c.get_day_tags_list().isEmpty());
    }

    // Two listings back to back: only the newer one is installed and signalled, whichever
    // task finishes last.
    void overlappingListings_data()
    {
        QTest::addColumn<bool>("realDayLast");
        QTest::newRow("missing day then real day") << true;
        QTest::newRow("real day then missing day") << false;
    }
    void overlappingListings()
    {
        QFETCH(bool, realDayLast);
        ZRPlayerInferfaceController c;
        c.get_available_days(ex.exportPath);
        const QString day = ex.days.first();
        QVERIFY(openDay(c, day));
        const QString missing = QStringLiteral("2031-01-01");

        QSignalSpy ready(&c, &ZRPlayerInferfaceController::camerasForDateReady);
        QSignalSpy failed(&c, &ZRPlayerInferfaceController::camerasForDateError);
        c.get_cameras_for_date_async(realDayLast ? missing : day);
        c.get_cameras_for_date_async(realDayLast ? day : missing);
        QSignalSpy& expected = realDayLast ? ready : failed;
        QVERIFY(waitForSignals(expected, 1, 60000));
        // Let the other task finish and deliver, if it were to.
        QThreadPool::globalInstance()->waitForDone(30000);
        QTest::qWait(200);
        QCOMPARE(ready.count(), realDayLast ? 1 : 0);
        QCOMPARE(failed.count(), realDayLast ? 0 : 1);
        if (realDayLast)
            QCOMPARE(asSet(paths(c.get_day_video_list())), asSet(videosOf(ex, day)));
        else
            QVERIFY(c.get_day_video_list().isEmpty());
    }

    // A rebuild of a folder that has gone: no busy state left behind.
    void regenerateMissingFolder_data()
    {
        QTest::addColumn<bool>("wholeExport");
        QTest::newRow("export folder") << true;
        QTest::newRow("current day") << false;
    }
    void regenerateMissingFolder()
    {
        QFETCH(bool, wholeExport);
        QTemporaryDir dir;
        const QString root = makeBareExport(dir, {"2025-03-14"});
        ModalAnswerer answerer;
        LogCatcher log;
        ZRPlayerInferfaceController c;
        QCOMPARE(c.get_available_days(root), QStringList{"2025-03-14"});
        QVERIFY(QDir(wholeExport ? root : root + "/2025-03-14").removeRecursively());

        QSignalSpy started(&c, &ZRPlayerInferfaceController::startIndexGeneration);
        QSignalSpy failed(&c, &ZRPlayerInferfaceController::indexFailed);
        QSignalSpy generated(&c, &ZRPlayerInferfaceController::indexGenerated);
        if (wholeExport)
            c.regenerate_index();
        else
            c.regenerate_index_for_current_date();
        QCOMPARE(failed.count(), 1);
        QCOMPARE(started.count(), 0);
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.last().title, QStringLiteral("Attention"));
        QTest::qWait(100);
        QCOMPARE(generated.count(), 0);
    }

    // The whole export rebuilt on request.
    void regenerateWholeExport()
    {
        ModalAnswerer answerer;
        ZRPlayerInferfaceController c;
        c.get_available_days(ex.exportPath);
        QSignalSpy started(&c, &ZRPlayerInferfaceController::startIndexGeneration);
        QSignalSpy generated(&c, &ZRPlayerInferfaceController::indexGenerated);
        QSignalSpy failed(&c, &ZRPlayerInferfaceController::indexFailed);
        c.regenerate_index();
        QCOMPARE(started.count(), 1);
        QVERIFY(waitForSignals(generated, 1, 120000));
        QCOMPARE(failed.count(), 0);
        for (const QString& folder : ex.dayFolders)
            QVERIFY(QFileInfo::exists(ZRIndexManager::dayIndexPath(QFileInfo(folder))));
    }

    // The controller goes while its listing or its index rebuild still runs: it waits, and the
    // results are dropped.
    void destroyedWhileListing()
    {
        for (int i = 0; i < 3; ++i) {
            auto* c = new ZRPlayerInferfaceController(nullptr);
            c->get_available_days(ex.exportPath);
            c->get_cameras_for_date_async(ex.days.at(i));
            c->get_cameras_for_date_async(ex.days.at((i + 1) % 3));
            delete c;
        }
        // And while its index workers run.
        auto* c = new ZRPlayerInferfaceController(nullptr);
        c->get_available_days(ex.exportPath);
        QSignalSpy started(c, &ZRPlayerInferfaceController::startIndexGeneration);
        c->regenerate_index();
        QCOMPARE(started.count(), 1);
        delete c;
        QTest::qWait(50);
    }

    void dayFolderCameraFiles()
    {
        ZRPlayerInferfaceController c;
        QStringList names;
        for (const QFileInfo& f : c.zrnfo_with_multiple_directory(ex.dayFolders.first()))
            names << f.fileName();
        QStringList expected;
        for (const GeneratedCamera& cam : ex.cameras)
            expected << QFileInfo(cam.infoFiles.first()).fileName();
        QCOMPARE(names, expected);
        QVERIFY(c.zrnfo_with_multiple_directory(QString()).isEmpty());
    }
};

ZR_TEST_MAIN_GUI(TestControllerListing)
#include "tst_controller_listing.moc"
