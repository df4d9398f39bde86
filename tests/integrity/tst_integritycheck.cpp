//! labels: unit
#include "store/IntegrityCheck.h"
#include "tests/integrity/IntegrityFixture.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QtTest>

#include <atomic>

using namespace integritytest;

class TestIntegrityCheck : public QObject
{
    Q_OBJECT

private slots:
    // --- hand-made days: one fault each -------------------------------------------------

    void validDayInChunks()
    {
        // Files across several read chunks, an empty file and one in a nested folder.
        HandMadeDay day;
        QByteArray big(5 * 1024 * 1024 + 7, Qt::Uninitialized);
        QRandomGenerator rng(42);
        for (char& c : big)
            c = static_cast<char>(rng.generate());
        day.add(QStringLiteral("cam000001/1_20261201_080000.zrvideo"), big);
        day.add(QStringLiteral("cam000001/1_20261201_080000.zrseek"), "20261201080000000:video1:frame/h264:640x360:1:12\n");
        day.add(QStringLiteral("cam000001/empty.bin"), QByteArray());
        day.add(QStringLiteral("cam000001/deeper/x.jpg"), "jpeg");
        QVERIFY(day.writeHashList());

        zrtest::LogCatcher log;
        bool verdict = false;
        const QStringList got = runCheck(day.dayPath, &verdict);
        QCOMPARE(got, validSequence({QStringLiteral("1_20261201_080000.zrvideo"), QStringLiteral("1_20261201_080000.zrseek"),
                                     QStringLiteral("empty.bin"), QStringLiteral("x.jpg")}));
        QVERIFY(verdict);
        QVERIFY(log.contains(QStringLiteral("[INFO] Integrity check :: start")));
        QVERIFY(log.contains(QStringLiteral("[INFO] Integrity check :: files count in root directory ") + day.dayPath
                             + QStringLiteral(" : 4")));
        QVERIFY(log.contains(QStringLiteral("[INFO] Integrity check :: INTEGRITY OK")));
    }

    void noHashList_data()
    {
        QTest::addColumn<QByteArray>("hashBytes"); // empty: no file at all
        QTest::addColumn<bool>("withFiles");
        QTest::addColumn<QString>("logged");
        QTest::newRow("missing") << QByteArray() << true << QString();
        QTest::newRow("missing, empty day") << QByteArray() << false << QString();
        QTest::newRow("not a multiple of 16") << QByteArray("garbage bytes") << true
                                              << QStringLiteral("faild to openfile READ :: ");
        QTest::newRow("random blocks") << QByteArray(64, '\x7f') << true << QStringLiteral("faild to openfile READ :: ");
    }

    void noHashList()
    {
        QFETCH(QByteArray, hashBytes);
        QFETCH(bool, withFiles);
        QFETCH(QString, logged);
        HandMadeDay day;
        if (withFiles)
            day.add(QStringLiteral("cam/a.zrvideo"), "abc");
        if (!hashBytes.isEmpty())
            QVERIFY(writeBytes(day.dayPath + QStringLiteral("/hash.json"), hashBytes));

        zrtest::LogCatcher log;
        const QStringList got = runCheck(day.dayPath);
        // A day with no counted file at all passes the count, yet the verdict stays false.
        QCOMPARE(got, (QStringList{QStringLiteral("hash_file_found(false)"), QStringLiteral("file_count(0)"),
                                   QStringLiteral("start_check()"),
                                   QStringLiteral("file_count_check(%1)").arg(tf(!withFiles)),
                                   QStringLiteral("end_check(false)")}));
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: check integrity :: array empty :: ") + day.dayPath
                             + QStringLiteral("/hash.json")));
        if (!logged.isEmpty())
            QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: get json array :: ") + logged));
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: INTEGRITY NOT CONFIRMED")));
    }

    void hashListThatIsNoArray()
    {
        HandMadeDay day;
        day.add(QStringLiteral("cam/a.zrvideo"), "abc");
        QVERIFY(Encrypt().encrypt_to_file("{\"file\":\"a.zrvideo\"}", day.dayPath + QStringLiteral("/hash.json")) == 1);
        QCOMPARE(runCheck(day.dayPath).first(), QStringLiteral("hash_file_found(false)"));
    }

    void countMismatchLogsBothLists()
    {
        HandMadeDay day;
        day.add(QStringLiteral("cam/a.zrvideo"), "a");
        const QJsonObject gone = day.add(QStringLiteral("cam/b.zrvideo"), "b");
        QVERIFY(day.writeHashList());
        QVERIFY(QFile::remove(gone.value(QStringLiteral("absolutepath")).toString()));
        writeBytes(day.dayPath + QStringLiteral("/cam/c.zrvideo"), "c");
        writeBytes(day.dayPath + QStringLiteral("/cam/d.zrvideo"), "d");

        zrtest::LogCatcher log;
        const QStringList got = runCheck(day.dayPath);
        QCOMPARE(got, (QStringList{QStringLiteral("hash_file_found(true)"), QStringLiteral("file_count(2)"),
                                   QStringLiteral("start_check()"), QStringLiteral("file_count_check(false)"),
                                   QStringLiteral("end_check(false)")}));
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: check integrity :: size not valid :: 2(size) != 3(count)")));
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: invalid integrity :: file missing :: ") + day.dayPath
                             + QStringLiteral("/cam/b.zrvideo")));
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: invalid integrity :: file added :: ") + day.dayPath
                             + QStringLiteral("/cam/c.zrvideo")));
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: invalid integrity :: file added :: ") + day.dayPath
                             + QStringLiteral("/cam/d.zrvideo")));
        QCOMPARE(log.count(QStringLiteral("invalid integrity ::")), 3);
    }

    void upperCaseDigestFails()
    {
        HandMadeDay day;
        day.add(QStringLiteral("cam/a.zrvideo"), "a");
        QJsonObject e = day.entries.at(0).toObject();
        e.insert(QStringLiteral("sha256"), e.value(QStringLiteral("sha256")).toString().toUpper());
        QVERIFY(day.writeHashList(QJsonArray{e}));
        zrtest::LogCatcher log;
        bool verdict = true;
        QCOMPARE(runCheck(day.dayPath, &verdict).mid(4),
                 (QStringList{QStringLiteral("begin_check_file(a.zrvideo)"), QStringLiteral("end_check_file(a.zrvideo,false)"),
                              QStringLiteral("end_check(false)")}));
        QVERIFY(!verdict);
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: check integrity :: failed ")
                             + e.value(QStringLiteral("sha256")).toString() + QStringLiteral(" != ")
                             + sha256Hex("a")));
    }

    void emptyDigestFails()
    {
        HandMadeDay day;
        day.add(QStringLiteral("cam/a.zrvideo"), "a");
        QJsonObject e = day.entries.at(0).toObject();
        e.remove(QStringLiteral("sha256"));
        QVERIFY(day.writeHashList(QJsonArray{e}));
        zrtest::LogCatcher log;
        QCOMPARE(runCheck(day.dayPath).last(), QStringLiteral("end_check(false)"));
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: check integrity :: no hash log for file ")
                             + day.dayPath + QStringLiteral("/cam/a.zrvideo")));
    }

    // The list may only point at the files of the day being checked.
    void entryOutsideTheDayFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("absoluteOutside"); // "absolutepath" names the outside file
        QTest::addColumn<QString>("logged");
        const QString outside = QStringLiteral("[ERROR] Integrity check :: check integrity :: path outside the day folder :: ");
        const QString notFound = QStringLiteral("[ERROR] Integrity check :: check integrity :: couldn't find file :: a.zrvideo");
        QTest::newRow("dot-dot, backslashes") << QStringLiteral("..\\..\\outside.bin") << false
                                              << outside + QStringLiteral("..\\..\\outside.bin");
        QTest::newRow("dot-dot, slashes") << QStringLiteral("cam/../../outside.bin") << false
                                          << outside + QStringLiteral("cam/../../outside.bin");
        QTest::newRow("sibling day") << QStringLiteral("../2026-12-02/cam/a.zrvideo") << false
                                     << outside + QStringLiteral("../2026-12-02/cam/a.zrvideo");
        QTest::newRow("absolute in path") << QStringLiteral("/outside.bin") << false << outside + QStringLiteral("/outside.bin");
        QTest::newRow("drive letter") << QStringLiteral("C:\\outside.bin") << false << outside + QStringLiteral("C:\\outside.bin");
        QTest::newRow("no path, absolute outside") << QString() << true << notFound;
        QTest::newRow("missing path, absolute outside") << QStringLiteral("cam/nothere.bin") << true << notFound;
    }

    void entryOutsideTheDayFolder()
    {
        QFETCH(QString, path);
        QFETCH(bool, absoluteOutside);
        QFETCH(QString, logged);
        HandMadeDay day;
        day.add(QStringLiteral("cam/a.zrvideo"), "a");
        // The outside file has the listed digest: only its place can make the check fail.
        const QString outside = day.dir.path() + QStringLiteral("/outside.bin");
        QVERIFY(writeBytes(outside, "a"));
        QVERIFY(writeBytes(day.exportPath + QStringLiteral("/2026-12-02/cam/a.zrvideo"), "a"));
        QJsonObject e = day.entries.at(0).toObject();
        if (path.isEmpty())
            e.remove(QStringLiteral("path"));
        else
            e.insert(QStringLiteral("path"), path);
        if (absoluteOutside)
            e.insert(QStringLiteral("absolutepath"), outside);
        QVERIFY(QFile::remove(day.dayPath + QStringLiteral("/cam/a.zrvideo")));
        QVERIFY(writeBytes(day.dayPath + QStringLiteral("/cam/other.zrvideo"), "x"));
        QVERIFY(day.writeHashList(QJsonArray{e}));

        zrtest::LogCatcher log;
        bool verdict = true;
        const QStringList got = runCheck(day.dayPath, &verdict);
        QVERIFY(!verdict);
        QCOMPARE(got.mid(4, 1), QStringList{QStringLiteral("begin_check_file(a.zrvideo)")});
        QCOMPARE(got.mid(5), (QStringList{QStringLiteral("end_check_file(a.zrvideo,false)"), QStringLiteral("end_check(false)")}));
        QVERIFY2(log.texts().contains(logged), qPrintable(log.texts().join(QLatin1Char('\n'))));
    }

    void symlinkOutOfTheDayIsRefused()
    {
        HandMadeDay day;
        const QString outside = day.dir.path() + QStringLiteral("/secret.bin");
        QVERIFY(writeBytes(outside, "secret"));
        QDir().mkpath(day.dayPath + QStringLiteral("/cam"));
        QVERIFY(QFile::link(outside, day.dayPath + QStringLiteral("/cam/a.zrvideo")));
        QJsonObject e;
        e.insert(QStringLiteral("file"), QStringLiteral("a.zrvideo"));
        e.insert(QStringLiteral("path"), QStringLiteral("cam\\a.zrvideo"));
        e.insert(QStringLiteral("absolutepath"), day.dayPath + QStringLiteral("/cam/a.zrvideo"));
        e.insert(QStringLiteral("sha256"), sha256Hex("secret"));
        QVERIFY(day.writeHashList(QJsonArray{e}));
        zrtest::LogCatcher log;
        bool verdict = true;
        runCheck(day.dayPath, &verdict);
        QVERIFY(!verdict);
        QVERIFY(log.contains(QStringLiteral("[ERROR] Integrity check :: check integrity :: path outside the day folder :: cam\\a.zrvideo")));
    }

    // A copy whose original is still on the recorder's disk: the copy is what gets hashed.
    void copyIsCheckedNotItsOriginal()
    {
        HandMadeDay day;
        day.add(QStringLiteral("cam/a.zrvideo"), QByteArray(1000, 'a'));
        day.add(QStringLiteral("cam/b.zrvideo"), QByteArray(1000, 'b'));
        QVERIFY(day.writeHashList());
        const QString copyDay = day.dir.path() + QStringLiteral("/copy/zrnova_aaaa-bbbb-cccc-dddd/2026-12-01");
        QVERIFY(QDir().mkpath(copyDay + QStringLiteral("/cam")));
        for (const QString& f : {QStringLiteral("hash.json"), QStringLiteral("cam/a.zrvideo"), QStringLiteral("cam/b.zrvideo")})
            QVERIFY(QFile::copy(day.dayPath + QLatin1Char('/') + f, copyDay + QLatin1Char('/') + f));
        QVERIFY(flipByte(copyDay + QStringLiteral("/cam/b.zrvideo"), 500));

        bool verdict = true;
        QCOMPARE(runCheck(copyDay, &verdict).mid(4),
                 (QStringList{QStringLiteral("begin_check_file(a.zrvideo)"), QStringLiteral("end_check_file(a.zrvideo,true)"),
                              QStringLiteral("begin_check_file(b.zrvideo)"), QStringLiteral("end_check_file(b.zrvideo,false)"),
                              QStringLiteral("end_check(false)")}));
        QVERIFY(!verdict);
        runCheck(day.dayPath, &verdict);
        QVERIFY(verdict);
    }

    void absolutePathInsideTheDayIsUsed()
    {
        // An entry without "path" is found through its absolute path when that is inside.
        HandMadeDay day;
        day.add(QStringLiteral("cam/a.zrvideo"), "a");
        QJsonObject e = day.entries.at(0).toObject();
        e.remove(QStringLiteral("path"));
        QVERIFY(day.writeHashList(QJsonArray{e}));
        bool verdict = false;
        QCOMPARE(runCheck(day.dayPath, &verdict), validSequence({QStringLiteral("a.zrvideo")}));
        QVERIFY(verdict);
    }

    void dayPathWrittenLoosely()
    {
        HandMadeDay day;
        day.add(QStringLiteral("cam/a.zrvideo"), "a");
        QVERIFY(day.writeHashList());
        bool verdict = false;
        QCOMPARE(runCheck(day.exportPath + QStringLiteral("//./2026-12-01/"), &verdict), validSequence({QStringLiteral("a.zrvideo")}));
        QVERIFY(verdict);
    }

    // Every counted file must be hashed exactly once for "validée".
    void everyCountedFileIsHashedOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("logged");
        QTest::newRow("duplicated entry") << QStringLiteral("duplicate") << QStringLiteral("file listed twice :: ");
        QTest::newRow("same file through two spellings") << QStringLiteral("spelling") << QStringLiteral("file listed twice :: ");
        QTest::newRow("no file, no path, no absolute path") << QStringLiteral("nothing") << QStringLiteral("couldn't find file :: #2");
        QTest::newRow("entry is not an object") << QStringLiteral("number") << QStringLiteral("couldn't find file :: #2");
        QTest::newRow("entry names the hash list") << QStringLiteral("hashlist") << QStringLiteral("not a counted file :: ");
        QTest::newRow("entry names a hidden file") << QStringLiteral("hidden") << QStringLiteral("not a counted file :: ");
    }

    void everyCountedFileIsHashedOnce()
    {
        QFETCH(QString, kind);
        QFETCH(QString, logged);
        HandMadeDay day;
        const QJsonObject a = day.add(QStringLiteral("cam/a.zrvideo"), "a");
        day.add(QStringLiteral("cam/b.zrvideo"), "b"); // never listed: must never pass unhashed
        QJsonObject second;
        if (kind == QLatin1String("duplicate")) {
            second = a;
        } else if (kind == QLatin1String("spelling")) {
            second = a;
            second.insert(QStringLiteral("file"), QStringLiteral("a again"));
            second.insert(QStringLiteral("path"), QStringLiteral("cam\\.\\..\\cam\\a.zrvideo"));
        } else if (kind == QLatin1String("nothing")) {
            second.insert(QStringLiteral("sha256"), sha256Hex("b"));
        } else if (kind == QLatin1String("hashlist")) {
            second.insert(QStringLiteral("file"), QStringLiteral("hash.json"));
            second.insert(QStringLiteral("path"), QStringLiteral("hash.json"));
            second.insert(QStringLiteral("sha256"), sha256Hex("b"));
        } else if (kind == QLatin1String("hidden")) {
            writeBytes(day.dayPath + QStringLiteral("/cam/.hidden"), "b");
            second.insert(QStringLiteral("file"), QStringLiteral(".hidden"));
            second.insert(QStringLiteral("path"), QStringLiteral("cam/.hidden"));
            second.insert(QStringLiteral("sha256"), sha256Hex("b"));
        }
        QJsonArray list{a};
        if (kind == QLatin1String("number"))
            list.append(7);
        else
            list.append(second);
        QVERIFY(day.writeHashList(list));

        zrtest::LogCatcher log;
        bool verdict = true;
        const QStringList got = runCheck(day.dayPath, &verdict);
        QVERIFY(!verdict);
        QCOMPARE(got.at(3), QStringLiteral("file_count_check(true)"));
        QCOMPARE(got.at(5), QStringLiteral("end_check_file(a.zrvideo,true)"));
        QVERIFY(got.at(7).startsWith(QStringLiteral("end_check_file(")) && got.at(7).endsWith(QStringLiteral(",false)")));
        QCOMPARE(got.last(), QStringLiteral("end_check(false)"));
        QVERIFY2(log.contains(logged), qPrintable(log.texts().join(QLatin1Char('\n'))));
    }

    void entryWithoutFileNameIsStillChecked()
    {
        HandMadeDay day;
        day.add(QStringLiteral("cam/a.zrvideo"), "a");
        QJsonObject e = day.entries.at(0).toObject();
        e.remove(QStringLiteral("file"));
        e.remove(QStringLiteral("absolutepath"));
        QVERIFY(day.writeHashList(QJsonArray{e}));
        bool verdict = false;
        QCOMPARE(runCheck(day.dayPath, &verdict), validSequence({QStringLiteral("cam\\a.zrvideo")}));
        QVERIFY(verdict);
        // ... and its content is really compared.
        QVERIFY(writeBytes(day.dayPath + QStringLiteral("/cam/a.zrvideo"), "z"));
        QCOMPARE(runCheck(day.dayPath, &verdict).mid(5, 1), QStringList{QStringLiteral("end_check_file(cam\\a.zrvideo,false)")});
        QVERIFY(!verdict);
    }

    void stopBetweenFiles()
    {
        HandMadeDay day;
        for (int i = 0; i < 4; ++i)
            day.add(QStringLiteral("cam/f%1.zrvideo").arg(i), QByteArray(100, char('a' + i)));
        QVERIFY(day.writeHashList());
        IntegrityCheck check(day.dayPath);
        SignalLog signalLog;
        signalLog.attach(&check);
        // Stop as the second file ends: the check leaves before the third.
        connect(&check, &IntegrityCheck::end_check_file, &check, [&](const QString& f, bool) {
            if (f == QLatin1String("f1.zrvideo"))
                check.user_stop();
        }, Qt::DirectConnection);
        zrtest::LogCatcher log;
        check.start();
        QVERIFY(check.wait(10000));
        QCOMPARE(signalLog.items().mid(4),
                 (QStringList{QStringLiteral("begin_check_file(f0.zrvideo)"), QStringLiteral("end_check_file(f0.zrvideo,true)"),
                              QStringLiteral("begin_check_file(f1.zrvideo)"), QStringLiteral("end_check_file(f1.zrvideo,true)"),
                              QStringLiteral("end_check(false)")}));
        QVERIFY(!check.get_result());
        QVERIFY(log.contains(QStringLiteral("[INFO] Integrity check :: stopped by user")));
    }

    void stopInsideALargeFile()
    {
        // A stop while a file is hashed ends the check without a verdict for that file.
        HandMadeDay day;
        day.add(QStringLiteral("cam/big.zrvideo"), QByteArray(64 * 1024 * 1024, 'x'));
        QVERIFY(day.writeHashList());
        IntegrityCheck check(day.dayPath);
        SignalLog signalLog;
        signalLog.attach(&check);
        connect(&check, &IntegrityCheck::begin_check_file, &check, [&](const QString&) { check.user_stop(); },
                Qt::DirectConnection);
        check.start();
        QVERIFY(check.wait(10000));
        QCOMPARE(signalLog.items().mid(4),
                 (QStringList{QStringLiteral("begin_check_file(big.zrvideo)"), QStringLiteral("end_check(false)")}));
    }

    void destroyingARunningCheckWaitsForIt()
    {
        HandMadeDay day;
        for (int i = 0; i < 3; ++i)
            day.add(QStringLiteral("cam/f%1.zrvideo").arg(i), QByteArray(8 * 1024 * 1024, char('a' + i)));
        QVERIFY(day.writeHashList());
        std::atomic<bool> ended{false};
        QSemaphore begun;
        {
            IntegrityCheck check(day.dayPath);
            connect(&check, &IntegrityCheck::end_check, &check, [&](bool) { ended = true; }, Qt::DirectConnection);
            connect(&check, &IntegrityCheck::begin_check_file, &check, [&](const QString&) { begun.release(); },
                    Qt::DirectConnection);
            check.start();
            QVERIFY(begun.tryAcquire(1, 10000));
        } // the destructor stops the check and waits for its thread
        QVERIFY(ended.load());
    }

    // --- the count and the list -----------------------------------------------------------

    void countAndListExclusions()
    {
        HandMadeDay day;
        const QStringList counted{QStringLiteral("a.zrvideo"), QStringLiteral("cam/b.zrseek"), QStringLiteral("cam/sub/c.jpg")};
        for (const QString& f : counted)
            writeBytes(day.dayPath + QLatin1Char('/') + f, "x");
        const QStringList excluded{QStringLiteral("hash.json"), QStringLiteral("index.zrnfo"), QStringLiteral("cam/old_hash.json"),
                                   QStringLiteral("cam/sub/zrvideoindex.json"), QStringLiteral("cam/1_index.zrnfo.bak")};
        for (const QString& f : excluded)
            writeBytes(day.dayPath + QLatin1Char('/') + f, "x");
        writeBytes(day.dayPath + QStringLiteral("/cam/zrindex_cache.v1.bin"), "x");
        writeBytes(day.dayPath + QStringLiteral("/.zrindex/zrindex_cache.v1.bin"), "x"); // hidden folder
        writeBytes(day.dayPath + QStringLiteral("/cam/.hidden"), "x");

        IntegrityCheck check(day.dayPath);
        QCOMPARE(check.count_files(day.dayPath), counted.size());
        QStringList listed;
        for (const QFileInfo& info : check.list_files(day.dayPath))
            listed << info.absoluteFilePath().mid(day.dayPath.size() + 1);
        // The cache file is listed though not counted; files of a folder come before its sub-folders.
        QCOMPARE(listed, (QStringList{QStringLiteral("a.zrvideo"), QStringLiteral("cam/b.zrseek"),
                                      QStringLiteral("cam/zrindex_cache.v1.bin"), QStringLiteral("cam/sub/c.jpg")}));
    }

    void folderWalkDoesNotFollowLinks()
    {
        HandMadeDay day;
        writeBytes(day.dayPath + QStringLiteral("/cam/a.zrvideo"), "x");
        // A link back to the day folder would otherwise recurse forever.
        QVERIFY(QFile::link(day.dayPath, day.dayPath + QStringLiteral("/cam/loop")));
        IntegrityCheck check(day.dayPath);
        QCOMPARE(check.count_files(day.dayPath), 1);
        QCOMPARE(check.list_files(day.dayPath).size(), 1);
    }

    void missingDayFolder()
    {
        HandMadeDay day;
        const QStringList got = runCheck(day.exportPath + QStringLiteral("/2026-01-01"));
        QCOMPARE(got, (QStringList{QStringLiteral("hash_file_found(false)"), QStringLiteral("file_count(0)"),
                                   QStringLiteral("start_check()"), QStringLiteral("file_count_check(true)"),
                                   QStringLiteral("end_check(false)")}));
    }
};

ZR_TEST_MAIN_CORE(TestIntegrityCheck)
#include "tst_integritycheck.moc"
