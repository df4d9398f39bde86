//! labels: unit
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/TestMain.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using namespace zrtest;

namespace {

// The text form of the recorder's key and IV, as `openssl enc` wants them (hex of the ASCII).
const QByteArray kKeyHex = QByteArray("5e1a9c07b3d24f68a0c19e7d42b8f3a6").toHex();
const QByteArray kIvHex = QByteArray("9c4e2a7f1b6d3085").toHex();

QByteArray opensslDecrypt(const QString& path, bool* ok)
{
    QProcess p;
    p.start(QStringLiteral("openssl"), {QStringLiteral("enc"), QStringLiteral("-d"), QStringLiteral("-aes-256-cbc"),
                                        QStringLiteral("-K"), QString::fromLatin1(kKeyHex), QStringLiteral("-iv"),
                                        QString::fromLatin1(kIvHex), QStringLiteral("-in"), path});
    p.waitForFinished(30000);
    *ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return p.readAllStandardOutput();
}

QJsonDocument decryptJson(const QString& path)
{
    bool ok = false;
    const QByteArray plain = opensslDecrypt(path, &ok);
    if (!ok)
        return {};
    return QJsonDocument::fromJson(plain);
}

QString sha256sum(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("sha256sum"), {path});
    p.waitForFinished(30000);
    return QString::fromLatin1(p.readAllStandardOutput().left(64));
}

// The files of a day that its hash list must cover.
QStringList countedFiles(const QString& day)
{
    QStringList out;
    QDirIterator it(day, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QFileInfo(path).fileName();
        if (!name.contains("index.zrnfo") && !name.contains("hash.json") && !name.contains("zrvideoindex.json")
            && !name.contains("zrindex_cache"))
            out << path;
    }
    out.sort();
    return out;
}

// Reads one line of the camera-name list form back to (id, name).
bool decodeNameLine(const QString& line, int* id, QString* name)
{
    static const QString standard = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static const QString substitution = "QwErTyUiOpAsDfGhJkLzXcVbNm7305916248qWeRtYuIoPaSdFgHjKlZxCvBnM";
    const QStringList parts = line.split('_');
    if (parts.size() < 2)
        return false;
    QString payload;
    for (QChar c : parts[1]) {
        const int pos = substitution.indexOf(c);
        if (pos < 0)
            return false;
        payload += standard.at(pos);
    }
    std::reverse(payload.begin(), payload.end());
    const QString text = QString::fromUtf8(QByteArray::fromBase64(payload.toUtf8()));
    QString idText;
    for (QString field : text.split('|')) {
        if (field.contains("id=") && !field.startsWith("name="))
            idText = field.remove("id=");
        else if (field.contains("name="))
            *name = field.remove("name=");
    }
    bool ok = false;
    *id = idText.toInt(&ok);
    return ok && !name->isEmpty();
}

} // namespace

// The tree, names, encrypted files and hash list of generated exports.
class TestGeneratedFiles : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    GeneratedExport ex;

private slots:
    void initTestCase()
    {
        ex = gen.generate({"--cameras", "2", "--days", "2", "--minutes", "2", "--file-seconds", "2", "--size", "320x180",
                           "--tags", "2", "--alarms", "3", "--previews", "--audio", "--id", "AbCd-0123-4567-89eF"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
    }

    void treeAndNames()
    {
        QCOMPARE(QFileInfo(ex.exportPath).fileName(), QStringLiteral("zrnova_abcd-0123-4567-89ef"));
        QCOMPARE(ex.dayFolders.size(), 2);
        const QRegularExpression video("^(\\d+)_([0-9]{8})_([0-9]{6})\\.zrvideo$");
        const QRegularExpression preview("^(\\d+)_([0-9]{8})_([0-9]{6})_(?:video)?preview\\.jpg$");
        const QRegularExpression alarm("^(\\d+)_(\\d+)_(\\d{8})_(\\d{6})(-thumb)?\\.jpg$");
        for (int d = 0; d < 2; ++d) {
            QCOMPARE(QFileInfo(ex.dayFolders[d]).fileName(), ex.days[d]);
            QCOMPARE(QDir(ex.dayFolders[d]).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);
        }
        for (const GeneratedCamera& c : ex.cameras) {
            QVERIFY(c.folder.contains(QRegularExpression("\\d{6}")));
            QCOMPARE(c.recordings.size(), 4);
            for (const GeneratedRecording& r : c.recordings) {
                const QRegularExpressionMatch m = video.match(QFileInfo(r.videoPath).fileName());
                QVERIFY(m.hasMatch());
                QCOMPARE(m.captured(1).toInt(), c.id);
                QCOMPARE(m.captured(2), QString(r.day).remove('-'));
                QCOMPARE(QFileInfo(r.videoPath).path(), r.dir);
                QVERIFY(QFileInfo(r.seekPath).size() > 0);
                QVERIFY(QFileInfo(r.audioSeekPath).size() > 0);
                QVERIFY(preview.match(QFileInfo(r.previewPath).fileName()).hasMatch());
                const FrameMarker pm = readFrameMarker(QImage(r.previewPath));
                QVERIFY(pm.found);
                QCOMPARE(pm.msOfDay(), r.startMs);
                QCOMPARE(pm.frameIndex, 0);
            }
            QCOMPARE(c.alarms.size(), 6);
            for (const GeneratedAlarm& a : c.alarms) {
                const QRegularExpressionMatch m = alarm.match(QFileInfo(a.image).fileName());
                QVERIFY(m.hasMatch());
                QCOMPARE(m.captured(1).toInt(), c.id);
                QCOMPARE(m.captured(2).toInt(), a.alarmId);
                QCOMPARE(QString(a.image).replace(".jpg", "-thumb.jpg"), a.thumb);
                for (const QString& path : {a.image, a.thumb}) {
                    const FrameMarker am = readFrameMarker(QImage(path));
                    QVERIFY2(am.found, qPrintable(path));
                    QCOMPARE(am.cameraId, c.id);
                    QCOMPARE(am.date.toString("yyyyMMdd") + am.time.toString("HHmmss"), a.datetime);
                }
            }
        }
    }

    void encryptedFilesDecryptWithOpenssl()
    {
        for (const GeneratedCamera& c : ex.cameras) {
            QCOMPARE(c.infoFiles.size(), 2);
            for (const QString& info : c.infoFiles) {
                QVERIFY(QFileInfo(info).fileName().startsWith(QString::number(c.id) + "_"));
                const QJsonObject o = decryptJson(info).object();
                QCOMPARE(o.value("cam_id").toInt(-1), c.id);
                QCOMPARE(o.value("cam_name").toString(), c.name);
            }
            QCOMPARE(c.tags.size(), 4);
            for (const GeneratedTag& t : c.tags) {
                const QJsonObject o = decryptJson(t.path).object();
                QVERIFY(o.value("tag_cam_id").isDouble());
                QCOMPARE(o.value("tag_cam_id").toInt(), c.id);
                QCOMPARE(o.value("tag_datetime").toString(), t.datetime);
                QCOMPARE(o.value("tag_id").toString(), t.id);
                for (const char* key : {"tag_user_id", "tag_name", "tag_created_at", "tag_description", "file_encoded_at"})
                    QVERIFY2(o.value(key).isString(), key);
            }
        }
    }

    void hashListCoversExactlyTheCountedFiles()
    {
        for (const QString& day : ex.dayFolders) {
            const QJsonArray list = decryptJson(day + "/hash.json").array();
            const QStringList files = countedFiles(day);
            QVERIFY(files.size() > 20);
            QCOMPARE(list.size(), files.size());
            QStringList listed;
            for (const QJsonValue& v : list) {
                const QJsonObject e = v.toObject();
                const QString path = e.value("absolutepath").toString();
                listed << path;
                QCOMPARE(e.value("file").toString(), QFileInfo(path).fileName());
                QCOMPARE(day + "/" + e.value("path").toString(), path);
                QCOMPARE(e.value("sha256").toString(), sha256sum(path));
            }
            listed.sort();
            QCOMPARE(listed, files);
        }
    }

    void cameraFileForms()
    {
        const GeneratedExport list = gen.generate({"--cameras", "3", "--minutes", "0", "--camera-list"});
        QVERIFY2(list.ok, qPrintable(list.error));
        const QJsonArray cams = decryptJson(list.cameras[1].infoFiles[0]).object().value("cameras").toArray();
        QCOMPARE(cams.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(cams[i].toObject().value("cam_id").toInt(), list.cameras[i].id);
            QCOMPARE(cams[i].toObject().value("cam_name").toString(), list.cameras[i].name);
        }

        const GeneratedExport names = gen.generate({"--cameras", "12", "--first-camera", "95", "--minutes", "0", "--camera-names"});
        QVERIFY2(names.ok, qPrintable(names.error));
        QFile f(names.cameras[0].infoFiles[0]);
        QVERIFY(f.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 12);
        for (int i = 0; i < lines.size(); ++i) {
            int id = -1;
            QString name;
            QVERIFY2(decodeNameLine(lines[i], &id, &name), qPrintable(lines[i]));
            QCOMPARE(id, names.cameras[i].id);
            QCOMPARE(name, names.cameras[i].name);
        }
    }

    void placeholderKeepsTheLayout()
    {
        const GeneratedExport p = gen.generate({"--placeholder", "--cameras", "3", "--minutes", "30", "--days", "2",
                                                "--previews", "--alarms", "1"});
        QVERIFY2(p.ok, qPrintable(p.error));
        QCOMPARE(p.cameras[2].recordings.size(), 60);
        const GeneratedRecording& r = p.cameras[2].recordings.last();
        QCOMPARE(QFileInfo(r.videoPath).fileName(), QStringLiteral("3_20250315_082900.zrvideo"));
        QVERIFY(QFileInfo(r.videoPath).size() > 0 && QFileInfo(r.videoPath).size() < 100);
        const QList<QByteArray> line = [&] {
            QFile s(r.seekPath);
            s.open(QIODevice::ReadOnly);
            return s.readAll().trimmed().split(':');
        }();
        QCOMPARE(line.size(), 6);
        QCOMPARE(line[5].toLongLong(), QFileInfo(r.videoPath).size());
        QCOMPARE(decryptJson(p.hashFiles[1]).array().size(), countedFiles(p.dayFolders[1]).size());
    }

    void sameSeedSameBytes()
    {
        const QStringList args = {"--cameras", "2", "--minutes", "2", "--file-seconds", "2", "--size", "160x90",
                                  "--tags", "2", "--alarms", "2", "--audio", "--seed", "99", "--codec", "h265"};
        const GeneratedExport a = gen.generate(args);
        const GeneratedExport b = gen.generate(args + QStringList{"--jobs", "1"});
        const GeneratedExport c = gen.generate(QStringList(args).replaceInStrings("99", "100"));
        QVERIFY(a.ok && b.ok && c.ok);
        QCOMPARE(a.id, b.id);
        QVERIFY(a.id != c.id);
        auto contents = [](const GeneratedExport& e) {
            QMap<QString, QByteArray> out;
            QDirIterator it(e.exportPath, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                if (path.endsWith("hash.json"))
                    continue; // it holds absolute paths
                QFile f(path);
                f.open(QIODevice::ReadOnly);
                out.insert(path.mid(e.exportPath.size()), QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256));
            }
            return out;
        };
        const auto ca = contents(a);
        QVERIFY(ca.size() > 20);
        QCOMPARE(ca, contents(b));
        QVERIFY(ca.keys() != contents(c).keys()); // alarm and tag times move with the seed
    }

    void commandLineErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no --out") << QStringList{"--days", "1"};
        QTest::newRow("bad id") << QStringList{"--out", "x", "--id", "zzzz-0000-0000-0000"};
        QTest::newRow("odd size") << QStringList{"--out", "x", "--size", "641x360"};
        QTest::newRow("unknown fault") << QStringList{"--out", "x", "--fault", "nonsense"};
        QTest::newRow("past midnight") << QStringList{"--out", "x", "--start", "23:59:00", "--minutes", "2"};
        QTest::newRow("unknown flag") << QStringList{"--out", "x", "--colour"};
    }

    void commandLineErrors()
    {
        QFETCH(QStringList, args);
        QByteArray out, err;
        QCOMPARE(ExportGenerator::runTool(args, &out, &err), 2);
        QVERIFY(err.startsWith("zr-make-export: "));
        QVERIFY(out.isEmpty());
    }

    void refusesAnExistingExport()
    {
        const QString dir = gen.tempPath() + "/twice";
        const QStringList args = {"--minutes", "0", "--id", "1111-2222-3333-4444"};
        QVERIFY(ExportGenerator::generateInto(dir, args).ok);
        const GeneratedExport second = ExportGenerator::generateInto(dir, args);
        QVERIFY(!second.ok);
        QVERIFY(second.error.contains("already exists"));
    }
};

ZR_TEST_MAIN_GUI(TestGeneratedFiles)
#include "tst_generated_files.moc"
