//! labels: unit
#include "store/Encrypt.h"
#include "store/ZRFile.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <vector>

using CameraTable = ZRFile::CameraTable;
Q_DECLARE_METATYPE(CameraTable)

namespace {

const char kWarn[] = "[WARN] ZRFile :: check and parse nfo file :: different camid in nfo. Set NFO filename camid";

void writeEncrypted(const QString& path, const QByteArray& json)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QCOMPARE(Encrypt().encrypt_to_file(json.toStdString(), path), 1);
}

// The recorder's camera-name scrambling, from its definition: UTF-8, Base64, reversed, then
// each character of the standard alphabet replaced by the one at the same place in the other.
QString scramble(const QString& entry)
{
    const QString standard = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const QString substitution = "QwErTyUiOpAsDfGhJkLzXcVbNm7305916248qWeRtYuIoPaSdFgHjKlZxCvBnM";
    QString b64 = QString::fromLatin1(entry.toUtf8().toBase64());
    std::reverse(b64.begin(), b64.end());
    QString out;
    for (QChar c : b64) {
        const int pos = standard.indexOf(c);
        out.append(pos < 0 ? c : substitution.at(pos));
    }
    return out;
}

CameraTable table(std::initializer_list<std::pair<int, QString>> entries)
{
    CameraTable t;
    for (const auto& e : entries)
        t.insert(e.first, e.second);
    return t;
}

} // namespace

class TestCameraFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void parseNfo_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<CameraTable>("expected");
        QTest::addColumn<bool>("warns");
        const QByteArray hall = R"({"cam_id":4,"cam_name":"Hall"})";
        QTest::newRow("file name id differs") << "7_hall.zrnfo" << hall << table({{7, "CAMERA 7"}}) << true;
        QTest::newRow("file name id agrees") << "4_hall.zrnfo" << hall << table({{4, "Hall"}}) << false;
        QTest::newRow("no underscore") << "hall.zrnfo" << hall << table({{4, "Hall"}}) << false;
        QTest::newRow("merged list never renamed") << "index.zrnfo" << hall << table({{4, "Hall"}}) << false;
        QTest::newRow("index in name, underscore") << "9_index.zrnfo" << hall << table({{4, "Hall"}}) << false;
        QTest::newRow("file name id not a number") << "abc_hall.zrnfo" << hall << table({{0, "CAMERA abc"}}) << true;
        QTest::newRow("list, first name wins")
            << "5_list.zrnfo"
            << QByteArray(R"({"cameras":[{"cam_id":1,"cam_name":"A"},{"cam_id":1,"cam_name":"B"},{"cam_id":2,"cam_name":"C"}]})")
            << table({{1, "A"}, {2, "C"}}) << false;
        QTest::newRow("list skips -1 and nameless, no id is 0")
            << "x.zrnfo"
            << QByteArray(R"({"cameras":[{"cam_id":-1,"cam_name":"A"},{"cam_id":3},{"cam_id":6,"cam_name":""},{"cam_name":"Zero"},{"cam_id":8,"cam_name":5}]})")
            << table({{0, "Zero"}}) << false;
        QTest::newRow("empty list reads single form")
            << "3_x.zrnfo" << QByteArray(R"({"cameras":[],"cam_id":3,"cam_name":"Door"})") << table({{3, "Door"}}) << false;
        QTest::newRow("cameras not an array reads single form")
            << "x.zrnfo" << QByteArray(R"({"cameras":{"cam_id":9},"cam_id":3,"cam_name":"Door"})") << table({{3, "Door"}}) << false;
        QTest::newRow("single -1") << "x.zrnfo" << QByteArray(R"({"cam_id":-1,"cam_name":"Door"})") << CameraTable() << false;
        QTest::newRow("single without name") << "x.zrnfo" << QByteArray(R"({"cam_id":2})") << CameraTable() << false;
        QTest::newRow("single id not integral") << "x.zrnfo" << QByteArray(R"({"cam_id":2.5,"cam_name":"Door"})") << table({{0, "Door"}}) << false;
        QTest::newRow("not json") << "x.zrnfo" << QByteArray("cam_id=2") << CameraTable() << false;
        QTest::newRow("unicode name") << "x.zrnfo" << QByteArray(R"({"cam_id":11,"cam_name":"Entrée Nord"})") << table({{11, "Entrée Nord"}}) << false;
    }

    void parseNfo()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, json);
        QFETCH(CameraTable, expected);
        QFETCH(bool, warns);
        QTemporaryDir d;
        const QString path = d.filePath(fileName);
        writeEncrypted(path, json);
        zrtest::LogCatcher log;
        QCOMPARE(ZRFile::check_and_parse_nfo_file(QFileInfo(path), CameraTable()), expected);
        QCOMPARE(log.contains(kWarn), warns);
    }

    void knownIdsAreNeverRenamed()
    {
        const QString a = dir.filePath("fold/1_a.zrnfo");
        const QString b = dir.filePath("fold/1_b.zrnfo");
        writeEncrypted(a, R"({"cam_id":1,"cam_name":"First"})");
        writeEncrypted(b, R"({"cameras":[{"cam_id":1,"cam_name":"Second"},{"cam_id":2,"cam_name":"Two"}]})");
        CameraTable t = ZRFile::check_and_parse_nfo_file(QFileInfo(a), CameraTable());
        t = ZRFile::check_and_parse_nfo_file(QFileInfo(b), t);
        QCOMPARE(t, table({{1, "First"}, {2, "Two"}}));
        // A missing or undecryptable file returns the table it was given.
        QCOMPARE(ZRFile::check_and_parse_nfo_file(QFileInfo(dir.filePath("fold/none.zrnfo")), t), t);
    }

    void hashCamerasListPrefersMergedList()
    {
        const QString folder = dir.filePath("cameras-list");
        writeEncrypted(folder + "/1_a.zrnfo", R"({"cam_id":1,"cam_name":"A"})");
        writeEncrypted(folder + "/2_b.zrnfo", R"({"cam_id":2,"cam_name":"B"})");
        writeEncrypted(folder + "/3_c.zrnfo", R"({"cam_id":3,"cam_name":"C"})");
        writeEncrypted(folder + "/index.zrnfo", R"({"cameras":[{"cam_id":9,"cam_name":"Merged"}]})");
        {
            zrtest::LogCatcher log;
            QCOMPARE(ZRFile::hash_cameras_list(folder, CameraTable()), table({{9, "Merged"}}));
            QCOMPARE(log.count("[INFO] ZRFile :: hash cameras list :: zrnfo filename :: "), 1);
        }
        // A merged list that names nobody: every file is read, the merged one again included.
        writeEncrypted(folder + "/index.zrnfo", R"({"cameras":[]})");
        {
            zrtest::LogCatcher log;
            QCOMPARE(ZRFile::hash_cameras_list(folder, CameraTable()), table({{1, "A"}, {2, "B"}, {3, "C"}}));
            QCOMPARE(log.count("[INFO] ZRFile :: hash cameras list :: zrnfo filename :: "), 5);
        }
        zrtest::LogCatcher log;
        QCOMPARE(ZRFile::hash_cameras_list(QString(), table({{1, "kept"}})), table({{1, "kept"}}));
        QCOMPARE(log.texts(), QStringList({"[ERROR] ZRFile :: hash cameras list :: root directory is empty"}));
    }

    void cameraNameList()
    {
        const QString path = dir.filePath("names/cams.zrnfo");
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Text));
        const QStringList lines = {
            "x_" + scramble("id=5|name=Parking"),
            "prefix_" + scramble("name=Entrée|id=6") + "_suffix_more",
            "_" + scramble("id=5|name=Other"),          // known id: first name wins
            scramble("id=8|name=NoUnderscore"),          // no "_": nothing
            "a_" + scramble("id=9") + "_",               // no name
            "a_" + scramble("name=NoId"),
            "a_!!!!",                                    // garbage payload
            "a_" + scramble("id=12|name=Quai n°3 ✓"),    // Base64 with "+" and "/" and padding
            "",
        };
        f.write(lines.join('\n').toUtf8());
        f.close();
        zrtest::LogCatcher log;
        QCOMPARE(ZRFile::read_camera_names_file(QFileInfo(path), table({{1, "One"}})),
                 table({{1, "One"}, {5, "Parking"}, {6, "Entrée"}, {12, "Quai n°3 ✓"}}));
        QVERIFY(log.texts().isEmpty());
        QCOMPARE(ZRFile::read_camera_names_file(QFileInfo(dir.filePath("names/missing")), CameraTable()), CameraTable());
    }

    void mergedListRoundTrip()
    {
        const QString path = dir.filePath("merged/day/index.zrnfo");
        const CameraTable cams = table({{3, "Porte"}, {14, "Entrée"}});
        zrtest::LogCatcher log;
        ZRFile::create_zrnfo_index_file(QFileInfo(path), cams);
        QCOMPARE(ZRFile::check_and_parse_nfo_file(QFileInfo(path), CameraTable()), cams);

        // Compact list form with the keys in their order, and the announced log lines.
        const QString json = QString::fromStdString(Encrypt().decrypt_file(path));
        QVERIFY(json.startsWith(R"({"cameras":[{"cam_id":)"));
        QVERIFY(json.contains(R"({"cam_id":3,"cam_name":"Porte"})"));
        QVERIFY(json.contains(R"({"cam_id":14,"cam_name":"Entrée"})"));
        QVERIFY(!json.contains(' ') || json.contains("Entrée"));
        QVERIFY(log.contains("[INFO] ZRFile :: create zrnfo index file :: camera  3 - Porte"));
        QVERIFY(log.contains("[INFO] ZRFile :: create zrnfo index file :: path    " + path));
        QVERIFY(log.contains("[INFO] ZRFile :: create zrnfo index file :: value  " + json));

        const QString empty = dir.filePath("merged/empty/index.zrnfo");
        ZRFile::create_zrnfo_index_file(QFileInfo(empty), CameraTable());
        QCOMPARE(Encrypt().decrypt_file(empty), std::string(R"({"cameras":[]})"));
    }

    // Rewriting the same table would touch the day folder for nothing.
    void sameTableIsNotRewritten()
    {
        const QString path = dir.filePath("same/index.zrnfo");
        ZRFile::create_zrnfo_index_file(QFileInfo(path), table({{1, "A"}, {2, "B"}}));
        const QDateTime old = QDateTime::currentDateTimeUtc().addDays(-3);
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        }
        ZRFile::create_zrnfo_index_file(QFileInfo(path), table({{2, "B"}, {1, "A"}}));
        QCOMPARE(QFileInfo(path).lastModified().toSecsSinceEpoch(), old.toSecsSinceEpoch());

        ZRFile::create_zrnfo_index_file(QFileInfo(path), table({{1, "A"}, {2, "B2"}}));
        QVERIFY(QFileInfo(path).lastModified().toSecsSinceEpoch() > old.toSecsSinceEpoch());
        QCOMPARE(ZRFile::check_and_parse_nfo_file(QFileInfo(path), CameraTable()), table({{1, "A"}, {2, "B2"}}));
    }

    // Eight threads rewrite and read one merged list at once: every read sees a whole file.
    void concurrentWritersOfOneMergedList()
    {
        const QString path = dir.filePath("race/index.zrnfo");
        CameraTable a, b;
        for (int i = 0; i < 200; ++i) {
            a.insert(i, QStringLiteral("Camera A %1").arg(i));
            b.insert(i + 1000, QStringLiteral("Camera B %1").arg(i));
        }
        ZRFile::create_zrnfo_index_file(QFileInfo(path), a);
        std::atomic<int> bad{0};
        std::vector<QThread*> threads;
        for (int t = 0; t < 8; ++t) {
            threads.push_back(QThread::create([&, t] {
                for (int i = 0; i < 40; ++i) {
                    ZRFile::create_zrnfo_index_file(QFileInfo(path), (i + t) % 2 ? a : b);
                    const CameraTable read = ZRFile::check_and_parse_nfo_file(QFileInfo(path), CameraTable());
                    if (read != a && read != b)
                        ++bad;
                }
            }));
            threads.back()->start();
        }
        for (QThread* th : threads) {
            QVERIFY(th->wait(60000));
            delete th;
        }
        QCOMPARE(bad.load(), 0);
        const CameraTable last = ZRFile::check_and_parse_nfo_file(QFileInfo(path), CameraTable());
        QVERIFY(last == a || last == b);
    }

    void readDecryptedFile()
    {
        const QString path = dir.filePath("plain/tag.zrtag");
        writeEncrypted(path, R"({"tag_name":"Livraison"})");
        QCOMPARE(ZRFile::read_decrypted_file(QFileInfo(path)), QString(R"({"tag_name":"Livraison"})"));
        QVERIFY(ZRFile::read_decrypted_file(QFileInfo(dir.filePath("plain/none"))).isNull());
    }
};

ZR_TEST_MAIN_CORE(TestCameraFiles)
#include "tst_camera_files.moc"
