//! labels: unit
// The day listing is the store's own: it runs here with no window, no controller and no
// widget library, as it does on a pool thread of the player.
#include "store/DayListing.h"
#include "store/ZRIndexManager.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace zrtest;

class TestDayListing : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    GeneratedExport ex; // 2 days x 2 cameras

    static QStringList paths(const QList<QFileInfo>& list)
    {
        QStringList out;
        for (const QFileInfo& f : list)
            out << f.absoluteFilePath();
        return out;
    }
    QStringList videosOf(const QString& day) const
    {
        QStringList out;
        for (const GeneratedCamera& c : ex.cameras)
            for (const GeneratedRecording& r : c.recordingsOf(day))
                out << QFileInfo(r.videoPath).absoluteFilePath();
        return out;
    }

private slots:
    void initTestCase()
    {
        ex = gen.generate({"--days", "2", "--cameras", "2", "--minutes", "2", "--size", "160x90", "--seed", "5"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
    }

    // Without an index the day's lists stay empty and a rebuild is asked for; once the index
    // is written, the same load reads the lists from it and asks for nothing.
    void loadDayFromFreshIndexOnly()
    {
        const QString day = ex.dayFolders.last();
        const DayListing::DayLoad before = DayListing::load_day(day);
        QVERIFY(before.rebuild);
        QVERIFY(before.video.isEmpty());

        ZRIndexManager manager;
        manager.background_generation(day);
        const DayListing::DayLoad after = DayListing::load_day(day);
        QVERIFY(!after.rebuild);
        QStringList got = paths(after.video);
        QStringList expected = videosOf(ex.days.last());
        got.sort();
        expected.sort();
        QCOMPARE(got, expected);
    }

    // A day's cameras by name, with the day's load; and the operator's texts when there is none.
    void camerasOfADay()
    {
        const DayListing::CameraListing listing = DayListing::list_cameras_for_date(ex.exportPath, ex.days.first());
        QVERIFY(listing.error.isEmpty());
        QVERIFY(listing.day_loaded);
        QStringList expected;
        for (const GeneratedCamera& c : ex.cameras)
            expected << c.name;
        QStringList got = listing.cameras;
        got.sort();
        expected.sort();
        QCOMPARE(got, expected);
        QVERIFY(QFile::exists(ex.dayFolders.first() + "/index.zrnfo"));

        QCOMPARE(DayListing::list_cameras_for_date(QString(), ex.days.first()).error,
                 QStringLiteral("Le répertoire principal est vide."));
        const QString missing = ex.exportPath + "/2001-01-01";
        QCOMPARE(DayListing::list_cameras_for_date(ex.exportPath, "2001-01-01").error,
                 "Le dossier " + missing + " n'existe pas.");
        QVERIFY(QDir().mkpath(ex.exportPath + "/2001-01-02"));
        const DayListing::CameraListing empty = DayListing::list_cameras_for_date(ex.exportPath, "2001-01-02");
        QCOMPARE(empty.error, "Aucun enregistrement trouvé dans le dossier " + ex.exportPath + "/2001-01-02");
        QVERIFY(!empty.day_loaded);
        QVERIFY(empty.cameras.isEmpty());
    }

    // Day folders by name, valid dates only; camera files of the media folders.
    void daysAndCameraFiles()
    {
        QTemporaryDir dir;
        for (const char* name : {"2025-03-16", "2025-02-30", "notes", "2025-03-14", "2025-3-15"})
            QVERIFY(QDir().mkpath(dir.filePath(name)));
        QCOMPARE(paths(DayListing::get_days_list(dir.path())),
                 QStringList({dir.filePath("2025-03-14"), dir.filePath("2025-03-16")}));
        QVERIFY(DayListing::get_days_list(dir.filePath("missing")).isEmpty());

        QStringList infos;
        for (const GeneratedCamera& c : ex.cameras)
            infos << QFileInfo(c.infoFiles.first()).absoluteFilePath();
        infos.sort();
        QCOMPARE(paths(DayListing::zrnfo_with_multiple_directory(ex.dayFolders.first())), infos);
        QVERIFY(DayListing::zrnfo_with_multiple_directory(QString()).isEmpty());
    }
};

ZR_TEST_MAIN_CORE(TestDayListing)
#include "tst_day_listing.moc"
