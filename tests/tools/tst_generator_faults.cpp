//! labels: unit
#include "tests/support/ExportGenerator.h"
#include "tests/support/TestMain.h"
#include "tests/tools/VideoFrames.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using namespace zrtest;
using zrtoolstest::SeekLine;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<QByteArray> rawLines(const QString& path)
{
    QList<QByteArray> lines = readAll(path).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

qint64 sizeSum(const QList<SeekLine>& lines)
{
    qint64 sum = 0;
    for (const SeekLine& l : lines)
        sum += l.size;
    return sum;
}

bool validStamp(const QString& s)
{
    return QDateTime::fromString(s, QStringLiteral("yyyyMMddHHmmsszzz")).isValid();
}

QByteArray opensslDecrypt(const QString& path)
{
    QProcess p;
    p.start("openssl", {"enc", "-d", "-aes-256-cbc", "-K", QByteArray("5e1a9c07b3d24f68a0c19e7d42b8f3a6").toHex(), "-iv",
                        QByteArray("9c4e2a7f1b6d3085").toHex(), "-in", path});
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

QString sha256(const QString& path)
{
    QProcess p;
    p.start("sha256sum", {path});
    p.waitForFinished(30000);
    return QString::fromLatin1(p.readAllStandardOutput().left(64));
}

} // namespace

// Each --fault variant damages the fault target the way it names, and nothing else.
class TestGeneratorFaults : public QObject
{
    Q_OBJECT

    ExportGenerator gen;

private slots:
    void eachFaultDoesWhatItSays_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* k : {"truncated", "size-nan", "size-negative", "size-too-large", "bad-timestamp", "crlf",
                              "missing-seek", "empty-seek", "no-keyframe", "stream-change", "codec-change",
                              "resolution-change", "hash-corrupt", "garbage-seek"})
            QTest::newRow(k) << QString::fromLatin1(k);
    }

    void eachFaultDoesWhatItSays()
    {
        QFETCH(QString, kind);
        const GeneratedExport ex = gen.generate({"--minutes", "3", "--file-seconds", "2", "--size", "320x180",
                                                 "--fault", kind, "--seed", "11"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        const QList<GeneratedRecording>& recs = ex.cameras[0].recordings;
        QCOMPARE(recs.size(), 3);
        const GeneratedRecording& t = recs[1];
        QVERIFY(t.faultTarget);
        const GeneratedFault* f = ex.fault(kind);
        QVERIFY(f);
        QCOMPARE(ex.faults.size(), 1);

        // The recordings around the target are sound.
        for (int i : {0, 2}) {
            const QList<SeekLine> lines = zrtoolstest::readSeek(recs[i].seekPath);
            QCOMPARE(lines.size(), 50);
            QCOMPARE(sizeSum(lines), QFileInfo(recs[i].videoPath).size());
            QCOMPARE(lines[0].stream, QStringLiteral("video1"));
            QCOMPARE(lines[0].codec, QStringLiteral("frame/h264"));
            QCOMPARE(lines[0].resolution, QStringLiteral("320x180"));
            QVERIFY(lines[0].key);
        }

        const QList<SeekLine> lines = zrtoolstest::readSeek(t.seekPath);
        const qint64 fileSize = QFileInfo(t.videoPath).size();
        if (kind == "truncated") {
            QCOMPARE(f->file, t.videoPath);
            QCOMPARE(fileSize, sizeSum(lines) * 6 / 10);
        } else if (kind == "size-nan" || kind == "size-negative") {
            const QByteArray want = kind == "size-nan" ? "12a" : "-5";
            const QList<QByteArray> raw = rawLines(t.seekPath);
            QCOMPARE(raw.size(), 50);
            QCOMPARE(f->line, 25);
            QCOMPARE(raw[f->line].split(':').value(5), want);
            qint64 others = 0;
            for (int i = 0; i < raw.size(); ++i)
                if (i != f->line)
                    others += raw[i].split(':').value(5).toLongLong();
            QVERIFY(others < fileSize); // the damaged line's frame is still in the data
        } else if (kind == "size-too-large") {
            QCOMPARE(f->line, 49);
            QVERIFY(lines.last().size > fileSize);
        } else if (kind == "bad-timestamp") {
            QCOMPARE(lines.size(), 51);
            QVERIFY(!validStamp(lines[1].stamp));
            QCOMPARE(lines[1].stamp.left(4), lines[0].stamp.left(4));
            qint64 valid = 0;
            for (const SeekLine& l : lines)
                if (validStamp(l.stamp))
                    valid += l.size;
            QCOMPARE(valid, fileSize);
        } else if (kind == "crlf") {
            const QByteArray text = readAll(t.seekPath);
            QCOMPARE(text.count("\r\n"), 50);
            QCOMPARE(text.count('\n'), 50);
            QCOMPARE(sizeSum(lines), fileSize);
        } else if (kind == "missing-seek") {
            QVERIFY(!QFile::exists(t.seekPath));
            QVERIFY(fileSize > 0);
        } else if (kind == "empty-seek") {
            QVERIFY(QFile::exists(t.seekPath));
            QCOMPARE(QFileInfo(t.seekPath).size(), 0);
            QVERIFY(fileSize > 0);
        } else if (kind == "no-keyframe") {
            QCOMPARE(lines.size(), 50);
            for (const SeekLine& l : lines)
                QVERIFY(!l.key);
            QCOMPARE(sizeSum(lines), fileSize);
            // No IDR slice and no SPS anywhere in the data.
            const QByteArray data = readAll(t.videoPath);
            for (int i = 0; i + 3 < data.size(); ++i)
                if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
                    const int type = data[i + 3] & 0x1f;
                    QVERIFY(type != 5 && type != 7);
                }
        } else if (kind == "stream-change") {
            for (const SeekLine& l : lines)
                QCOMPARE(l.stream, QStringLiteral("video2"));
            QCOMPARE(t.stream, QStringLiteral("video2"));
            QCOMPARE(zrtoolstest::decodeStream(t.videoPath, t.seekPath, "video2").size(), 50);
        } else if (kind == "codec-change") {
            QCOMPARE(lines[0].codec, QStringLiteral("frame/h265"));
            QCOMPARE(t.codec, QStringLiteral("h265"));
            QCOMPARE(zrtoolstest::decodeStream(t.videoPath, t.seekPath, "video1").size(), 50);
        } else if (kind == "resolution-change") {
            QCOMPARE(lines[0].resolution, QStringLiteral("160x90"));
            const QList<QImage> frames = zrtoolstest::decodeStream(t.videoPath, t.seekPath, "video1");
            QCOMPARE(frames.size(), 50);
            QCOMPARE(frames[0].size(), QSize(160, 90));
        } else if (kind == "garbage-seek") {
            QCOMPARE(QFileInfo(t.seekPath).size(), 4096);
            for (const SeekLine& l : lines)
                QVERIFY(!validStamp(l.stamp));
            QVERIFY(fileSize > 0);
        } else if (kind == "hash-corrupt") {
            const QJsonArray list = QJsonDocument::fromJson(opensslDecrypt(ex.hashFiles[0])).array();
            QVERIFY(!list.isEmpty());
            int wrong = 0;
            for (const QJsonValue& v : list) {
                const QJsonObject e = v.toObject();
                const QString path = e.value("absolutepath").toString();
                if (e.value("sha256").toString() != sha256(path)) {
                    ++wrong;
                    QCOMPARE(path, t.videoPath);
                }
            }
            QCOMPARE(wrong, 1);
        }
    }

    void faultsCombine()
    {
        const GeneratedExport ex = gen.generate({"--minutes", "2", "--file-seconds", "1", "--size", "64x36", "--fault",
                                                 "crlf", "--fault", "size-nan", "--fault", "size-negative"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        QCOMPARE(ex.faults.size(), 3);
        const QList<QByteArray> raw = rawLines(ex.cameras[0].recordings[1].seekPath);
        QVERIFY(raw[ex.fault("size-nan")->line].endsWith(":12a\r"));
        QVERIFY(raw[ex.fault("size-negative")->line].endsWith(":-5\r"));
        QVERIFY(ex.fault("size-nan")->line != ex.fault("size-negative")->line);
    }
};

ZR_TEST_MAIN_GUI(TestGeneratorFaults)
#include "tst_generator_faults.moc"
