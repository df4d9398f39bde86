//! labels: unit
// The stored hash of a day index, read without building the document: always what the JSON
// library reads, and a cut, damaged, empty or foreign file never passes for a current index.
#include "store/DayListing.h"
#include "store/StoredIndexHash.h"
#include "store/ZRDirectorySnapshot.h"
#include "store/ZRIndexManager.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/TestMain.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// What the JSON library reads, as the index manager read it before.
QString libraryHash(const QByteArray& json)
{
    const QJsonValue value = QJsonDocument::fromJson(json).object().value(QStringLiteral("last_modified"));
    return value.isString() ? value.toString() : QString();
}

QString fromDevice(const QByteArray& json)
{
    QBuffer buffer;
    buffer.setData(json);
    buffer.open(QIODevice::ReadOnly);
    return StoredIndexHash::fromFile(&buffer);
}

bool writeAll(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

const QByteArray kHash = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

} // namespace

class TestStoredIndexHash : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;

private slots:
    // Documents of every shape: the pass and the library agree on each, null or not, in
    // memory and read in pieces; the pass decides alone where it says it does.
    void agreesWithTheLibrary_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("scan");
        const int found = int(StoredIndexHash::Scan::Found);
        const int absent = int(StoredIndexHash::Scan::Absent);
        const int truncated = int(StoredIndexHash::Scan::Truncated);
        const int unsure = int(StoredIndexHash::Scan::Unsure);
        QTest::newRow("index") << "{\"date_directory\":[],\"last_modified\":\"" + kHash
                + "\",\"root_directory\":\"/x/2024-05-01\",\"zrvideo_files\":[\"/x/a b\",\"/x/c\"]}" << found;
        QTest::newRow("spaced") << QByteArray(" \r\n\t{ \"a\" : [ true , false , null , { } , [ ] ] ,\n \"last_modified\" : \"abc\" }\n")
                                << found;
        QTest::newRow("empty text") << QByteArray("{\"last_modified\":\"\"}") << found;
        QTest::newRow("no member") << QByteArray("{\"zrvideo_files\":[\"a\"]}") << absent;
        QTest::newRow("empty object") << QByteArray("{}") << absent;
        QTest::newRow("nested member only") << QByteArray("{\"a\":{\"last_modified\":\"x\"}}") << absent;
        QTest::newRow("non-ASCII elsewhere") << QByteArray("{\"a\":\"cam\xc3\xa9ra \xf0\x9f\x98\x80\",\"last_modified\":\"h\"}")
                                             << found;
        QTest::newRow("escapes elsewhere") << QByteArray("{\"a\":\"q\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\",\"last_modified\":\"h\"}")
                                           << found;
        QTest::newRow("long key") << QByteArray("{\"last_modified_and_more\":\"x\",\"last_modified\":\"h\"}") << found;
        // Left to the library.
        QTest::newRow("number") << QByteArray("{\"a\":1,\"last_modified\":\"h\"}") << unsure;
        QTest::newRow("not a text") << QByteArray("{\"last_modified\":12}") << unsure;
        QTest::newRow("array member") << QByteArray("{\"last_modified\":[\"h\"]}") << unsure;
        QTest::newRow("twice") << QByteArray("{\"last_modified\":\"a\",\"last_modified\":\"b\"}") << unsure;
        QTest::newRow("escaped key") << QByteArray("{\"last\\u005fmodified\":\"h\"}") << unsure;
        QTest::newRow("escaped value") << QByteArray("{\"last_modified\":\"a\\u0062c\"}") << unsure;
        QTest::newRow("non-ASCII value") << QByteArray("{\"last_modified\":\"\xc3\xa9\"}") << unsure;
        QTest::newRow("byte-order mark") << QByteArray("\xef\xbb\xbf{\"last_modified\":\"h\"}") << unsure;
        QTest::newRow("top-level array") << QByteArray("[{\"last_modified\":\"h\"}]") << unsure;
        QTest::newRow("garbage after") << QByteArray("{\"last_modified\":\"h\"} x") << unsure;
        QTest::newRow("two documents") << QByteArray("{\"last_modified\":\"h\"}{}") << unsure;
        QTest::newRow("control byte") << QByteArray("{\"a\":\"\x01\",\"last_modified\":\"h\"}") << unsure;
        QTest::newRow("bad escape") << QByteArray("{\"a\":\"\\x\",\"last_modified\":\"h\"}") << unsure;
        QTest::newRow("bad unicode escape") << QByteArray("{\"a\":\"\\u12g4\",\"last_modified\":\"h\"}") << unsure;
        QTest::newRow("overlong UTF-8") << QByteArray("{\"a\":\"\xc0\xaf\",\"last_modified\":\"h\"}") << unsure;
        QTest::newRow("surrogate in UTF-8") << QByteArray("{\"a\":\"\xed\xa0\x80\",\"last_modified\":\"h\"}") << unsure;
        QTest::newRow("past U+10FFFF") << QByteArray("{\"a\":\"\xf4\x90\x80\x80\",\"last_modified\":\"h\"}") << unsure;
        QTest::newRow("lone continuation") << QByteArray("{\"a\":\"\x80\",\"last_modified\":\"h\"}") << unsure;
        QTest::newRow("missing comma") << QByteArray("{\"a\":\"b\" \"last_modified\":\"h\"}") << unsure;
        QTest::newRow("missing colon") << QByteArray("{\"last_modified\" \"h\"}") << unsure;
        QTest::newRow("trailing comma") << QByteArray("{\"a\":[\"b\",],\"last_modified\":\"h\"}") << unsure;
        QTest::newRow("bare word") << QByteArray("{\"a\":nul,\"last_modified\":\"h\"}") << unsure;
        QTest::newRow("unquoted key") << QByteArray("{last_modified:\"h\"}") << unsure;
        QTest::newRow("deep") << "{\"a\":" + QByteArray(100, '[') + QByteArray(100, ']') + ",\"last_modified\":\"h\"}"
                              << unsure;
        // No document at all.
        QTest::newRow("empty") << QByteArray() << truncated;
        QTest::newRow("blank") << QByteArray(" \n ") << truncated;
        QTest::newRow("cut in text") << QByteArray("{\"last_modified\":\"01") << truncated;
        QTest::newRow("cut in escape") << QByteArray("{\"a\":\"\\u00") << truncated;
        QTest::newRow("cut in UTF-8") << QByteArray("{\"a\":\"\xe2\x82") << truncated;
        QTest::newRow("cut in word") << QByteArray("{\"a\":tr") << truncated;
        QTest::newRow("cut before end") << QByteArray("{\"last_modified\":\"h\",\"a\":[]  ") << truncated;
    }

    void agreesWithTheLibrary()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, scan);
        QString value;
        QCOMPARE(int(StoredIndexHash::scan(json, &value)), scan);
        const QString expected = libraryHash(json);
        const QString inMemory = StoredIndexHash::fromJson(json);
        const QString read = fromDevice(json);
        QCOMPARE(inMemory, expected);
        QCOMPARE(inMemory.isNull(), expected.isNull());
        QCOMPARE(read, expected);
        QCOMPARE(read.isNull(), expected.isNull());
        if (scan == int(StoredIndexHash::Scan::Found))
            QCOMPARE(value, expected);
    }

    // A document read in pieces: its member, its strings and its UTF-8 sequences cut by a
    // piece's end at every place.
    void piecesOfAFile()
    {
        for (int shift = 0; shift < 120; ++shift) {
            QByteArray json = "{\"a\":[\"" + QByteArray(64 * 1024 - 40 - 120 + shift, 'p') + "\",\"\xc3\xa9\xf0\x9f\x98\x80\\u00e9\"],";
            json += "\"last_modified\":\"" + kHash + "\",\"z\":true}";
            QCOMPARE(fromDevice(json), QString::fromLatin1(kHash));
            QCOMPARE(fromDevice(json.left(json.size() - 1)), QString());
            json.replace("\"last_modified\"", "\"last_modifiex\"");
            QCOMPARE(fromDevice(json), QString());
        }
    }

    // A day's real index, then that index cut short at many places, damaged inside, replaced by
    // garbage and emptied: only the whole index makes the day count as current.
    void onlyTheWholeIndexIsCurrent()
    {
        const zrtest::GeneratedExport ex =
            gen.generate({"--days", "1", "--cameras", "2", "--minutes", "40", "--placeholder", "--audio", "--seed", "3"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        const QString day = ex.dayFolders.first();
        ZRIndexManager().background_generation(day);
        const QString indexPath = ZRIndexManager::dayIndexPath(QFileInfo(day));
        QFile file(indexPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        file.close();
        QVERIFY(whole.size() > 8000);
        QString value;
        QCOMPARE(StoredIndexHash::scan(whole, &value), StoredIndexHash::Scan::Found);
        ZRDirectorySnapshot snapshot;
        QStringList changed;
        const QString current = snapshot.twoPhase(day, &changed, true);
        QCOMPARE(value, current);

        const auto isCurrent = [&](const QByteArray& content) {
            if (!writeAll(indexPath, content))
                return false;
            return ZRIndexManager().get_zrvideo_indexfile_lastmodified_hash(QFileInfo(day)) == current
                && !DayListing::load_day(day).rebuild;
        };
        QVERIFY(isCurrent(whole));

        // Every cut in memory; a spread of them through the file and the day's load.
        for (qsizetype size = 0; size < whole.size(); size += size < 400 ? 1 : 7) {
            QString cutValue;
            QVERIFY2(StoredIndexHash::scan(QByteArrayView(whole).first(size), &cutValue) == StoredIndexHash::Scan::Truncated,
                     qPrintable(QString::number(size)));
        }
        const qsizetype valueAt = whole.indexOf(current.toLatin1());
        QVERIFY(valueAt > 0);
        for (const qsizetype size : {qsizetype(1), qsizetype(20), valueAt, valueAt + 64, valueAt + 66,
                                     whole.size() / 2, whole.size() - 2, whole.size() - 1})
            QVERIFY2(!isCurrent(whole.left(size)), qPrintable(QString::number(size)));

        QByteArray quoted = whole;
        quoted.insert(whole.indexOf(".zrvideo", whole.size() / 2), '"');
        QVERIFY(!isCurrent(quoted));
        QByteArray noComma = whole;
        noComma.replace(noComma.lastIndexOf("\",\""), 3, "\" \"");
        QVERIFY(!isCurrent(noComma));
        QByteArray garbage(4096, Qt::Uninitialized);
        QRandomGenerator random(7);
        for (char& c : garbage)
            c = char(random.bounded(256));
        QVERIFY(!isCurrent(garbage));
        QVERIFY(!isCurrent(QByteArray()));
        QVERIFY(!isCurrent(whole + "x"));

        QVERIFY(isCurrent(whole));
    }
};

ZR_TEST_MAIN_CORE(TestStoredIndexHash)
#include "tst_stored_index_hash.moc"
