//! labels: unit
// The integrity check over days written by the export generator, whose hash list is written
// with the generator's own hashing and encryption.
#include "store/IntegrityCheck.h"
#include "tests/integrity/IntegrityFixture.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

using namespace integritytest;

class TestIntegrityGenerated : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator generator;

    static QStringList baseArgs()
    {
        return {QStringLiteral("--cameras"), QStringLiteral("2"), QStringLiteral("--minutes"), QStringLiteral("3"),
                QStringLiteral("--size"), QStringLiteral("160x96"), QStringLiteral("--fps"), QStringLiteral("5"),
                QStringLiteral("--audio"), QStringLiteral("--previews"), QStringLiteral("--tags"), QStringLiteral("1"),
                QStringLiteral("--alarms"), QStringLiteral("1"), QStringLiteral("--seed"), QStringLiteral("7")};
    }

    zrtest::GeneratedExport make(const QStringList& extra = QStringList())
    {
        const zrtest::GeneratedExport e = generator.generate(baseArgs() + extra);
        if (!e.ok)
            qWarning("%s", qPrintable(e.error));
        return e;
    }

    // The hash list's entries as the check reads them, and their "file" names.
    static QJsonArray entriesOf(const QString& dayPath)
    {
        return IntegrityCheck(dayPath).get_json_array(dayPath + QStringLiteral("/hash.json"));
    }
    static QStringList namesOf(const QJsonArray& entries)
    {
        QStringList names;
        for (const QJsonValue& v : entries)
            names << v.toObject().value(QStringLiteral("file")).toString();
        return names;
    }
    static int indexOfPath(const QJsonArray& entries, const QString& path)
    {
        for (int i = 0; i < entries.size(); ++i)
            if (entries.at(i).toObject().value(QStringLiteral("absolutepath")).toString() == path)
                return i;
        return -1;
    }

    // Signals of a check that stops at entry k of names.
    static QStringList failingAt(const QStringList& names, int k)
    {
        QStringList s = validSequence(names.mid(0, k));
        s.removeLast(); // end_check(true)
        s[1] = QStringLiteral("file_count(%1)").arg(names.size());
        s << QStringLiteral("begin_check_file(%1)").arg(names.at(k))
          << QStringLiteral("end_check_file(%1,false)").arg(names.at(k)) << QStringLiteral("end_check(false)");
        return s;
    }

private slots:
    void validDay()
    {
        const zrtest::GeneratedExport e = make();
        QVERIFY(e.ok);
        const QString day = e.dayFolders.first();
        const QJsonArray entries = entriesOf(day);
        // Recordings, seek tables, audio, previews, tags, alarms with thumbnails, camera files.
        QVERIFY2(entries.size() >= 30, qPrintable(QString::number(entries.size())));
        IntegrityCheck counter(day);
        QCOMPARE(counter.count_files(day), entries.size());

        zrtest::LogCatcher log;
        bool verdict = false;
        QCOMPARE(runCheck(day, &verdict), validSequence(namesOf(entries)));
        QVERIFY(verdict);
        QVERIFY(log.contains(QStringLiteral("[INFO] Integrity check :: INTEGRITY OK")));
        QVERIFY(!log.contains(QStringLiteral("[ERROR]")));
    }

    void oneCorruptedByte()
    {
        const zrtest::GeneratedExport e = make();
        QVERIFY(e.ok);
        const QString day = e.dayFolders.first();
        const QJsonArray entries = entriesOf(day);
        const QString target = e.cameras.at(0).recordings.at(1).videoPath;
        const int k = indexOfPath(entries, target);
        QVERIFY(k > 0 && k < entries.size() - 1);
        QVERIFY(flipByte(target, QFileInfo(target).size() / 2));

        zrtest::LogCatcher log;
        bool verdict = true;
        QCOMPARE(runCheck(day, &verdict), failingAt(namesOf(entries), k));
        QVERIFY(!verdict);
        const QString stored = entries.at(k).toObject().value(QStringLiteral("sha256")).toString();
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: check integrity :: failed ") + stored
                             + QStringLiteral(" != ") + sha256Hex(readBytes(target))));
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: INTEGRITY NOT CONFIRMED")));
    }

    void corruptDigestInTheList()
    {
        const zrtest::GeneratedExport e = make({QStringLiteral("--fault"), QStringLiteral("hash-corrupt")});
        QVERIFY(e.ok);
        const zrtest::GeneratedFault* fault = e.fault(QStringLiteral("hash-corrupt"));
        QVERIFY(fault);
        const QString day = e.dayFolders.first();
        const QJsonArray entries = entriesOf(day);
        const int k = indexOfPath(entries, fault->file);
        QVERIFY(k >= 0);
        QCOMPARE(runCheck(day), failingAt(namesOf(entries), k));
    }

    void missingAndAddedFiles()
    {
        const zrtest::GeneratedExport e = make();
        QVERIFY(e.ok);
        const QString day = e.dayFolders.first();
        const QString gone = e.cameras.at(1).recordings.at(2).seekPath;
        QVERIFY(QFile::remove(gone));
        zrtest::LogCatcher log;
        QCOMPARE(runCheck(day).mid(3), (QStringList{QStringLiteral("file_count_check(false)"), QStringLiteral("end_check(false)")}));
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: invalid integrity :: file missing :: ") + gone));

        log.clear();
        const QString added = e.mediaFolder(0, 0) + QStringLiteral("/1_20250314_090000.zrvideo");
        QVERIFY(writeBytes(gone, "back, but different"));
        QVERIFY(writeBytes(added, "extra"));
        QCOMPARE(runCheck(day).mid(3), (QStringList{QStringLiteral("file_count_check(false)"), QStringLiteral("end_check(false)")}));
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: invalid integrity :: file added :: ") + added));
        QCOMPARE(log.count(QStringLiteral("invalid integrity :: file missing")), 0);
    }

    void movedExportIsFoundThroughRelativePaths()
    {
        const zrtest::GeneratedExport e = make();
        QVERIFY(e.ok);
        const QString moved = generator.tempPath() + QStringLiteral("/moved/") + QFileInfo(e.exportPath).fileName();
        QVERIFY(QDir().mkpath(QFileInfo(moved).absolutePath()));
        QVERIFY(QDir().rename(e.exportPath, moved));
        const QString day = moved + QLatin1Char('/') + e.days.first();

        zrtest::LogCatcher log;
        bool verdict = false;
        QCOMPARE(runCheck(day, &verdict), validSequence(namesOf(entriesOf(day))));
        QVERIFY(verdict);
        QVERIFY(log.contains(QStringLiteral("[INFO] Integrity check :: check integrity :: path file :: ") + day + QLatin1Char('/')));
    }

    void copyWithItsOriginalPresent()
    {
        // The original stays where "absolutepath" points; only the copy is damaged.
        const zrtest::GeneratedExport e = make();
        QVERIFY(e.ok);
        const QString copyRoot = generator.tempPath() + QStringLiteral("/copy");
        const QString day = e.dayFolders.first();
        const QString copyDay = copyRoot + QLatin1Char('/') + QFileInfo(e.exportPath).fileName() + QLatin1Char('/') + e.days.first();
        QDirIterator it(day, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString src = it.next();
            const QString dst = copyDay + src.mid(day.size());
            QDir().mkpath(QFileInfo(dst).absolutePath());
            QVERIFY(QFile::copy(src, dst));
        }
        const QString target = e.cameras.at(0).recordings.at(0).videoPath;
        const QString copied = copyDay + target.mid(day.size());
        QVERIFY(flipByte(copied, 100));
        const QJsonArray entries = entriesOf(copyDay);
        bool verdict = true;
        QCOMPARE(runCheck(copyDay, &verdict), failingAt(namesOf(entries), indexOfPath(entries, target)));
        QVERIFY(!verdict);
    }
};

ZR_TEST_MAIN_CORE(TestIntegrityGenerated)
#include "tst_integrity_generated.moc"
