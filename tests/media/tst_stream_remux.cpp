//! labels: unit net
// The stream remuxer over a generated recording's H.264 data file: the copy is a video file
// that ffprobe reads with every frame at the asked rate, under its final name, and the input
// is deleted only after a copy that fully succeeded. A URL input is read from a loopback HTTP
// server.
#include "media/ZRStreamRemux.h"
#include "tests/export/ExportedVideo.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/HttpServer.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

class TestStreamRemux : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;
    zrtest::GeneratedExport ex;
    QString rawPath;   // the generated data file, never handed to the remuxer itself
    int rawFrames = 0;
    int cameraId = 0;

private slots:
    void initTestCase()
    {
        ex = gen.generate({"--codec", "h264", "--size", "160x96", "--minutes", "1", "--file-seconds", "4", "--fps",
                           "25", "--first-camera", "4"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        const zrtest::GeneratedRecording& rec = ex.cameras.first().recordings.first();
        rawPath = rec.videoPath;
        rawFrames = rec.frames;
        cameraId = ex.cameras.first().id;
        QVERIFY(rawFrames > 10);
    }

    void remuxTable_data()
    {
        QTest::addColumn<QString>("input");      // "raw", "raw+marker", "missing", "garbage", "empty", "folder"
        QTest::addColumn<QString>("output");     // relative to the working folder
        QTest::addColumn<QString>("finalName");  // relative to the working folder
        QTest::addColumn<double>("fps");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("produced");   // where the video must end up, empty for none
        QTest::addColumn<QString>("logged");

        QTest::newRow("file input") << "raw" << "tmp.mp4" << "export.mp4" << 25.0 << 0 << "export.mp4"
                                    << "[INFO] ZRStream Remux :: Completed";
        QTest::newRow("blanks in the final name only")
            << "raw" << "work dir/tmp.mp4" << "my exports/My Export 1.mp4" << 25.0 << 0
            << "my exports/My_Export_1.mp4" << "[INFO] ZRStream Remux :: Completed";
        QTest::newRow("multipart marker removed") << "raw+marker" << "tmp.mp4" << "export.mp4" << 10.0 << 0
                                                  << "export.mp4" << "remux url after convert ";
        QTest::newRow("rate 0 falls back to 25") << "raw" << "tmp.mp4" << "export.mp4" << 0.0 << 0 << "export.mp4"
                                                 << "[INFO] ZRStream Remux :: Completed";
        QTest::newRow("missing input") << "missing" << "tmp.mp4" << "export.mp4" << 25.0 << -15 << ""
                                       << "[ERROR] ZRStream Remux :: Could not open input :: ";
        QTest::newRow("unreadable input") << "garbage" << "tmp.mp4" << "export.mp4" << 25.0 << -15 << ""
                                          << "[ERROR] ZRStream Remux :: ";
        QTest::newRow("input is a folder") << "folder" << "tmp.mp4" << "export.mp4" << 25.0 << -15 << ""
                                           << "[ERROR] ZRStream Remux :: Could not open input :: ";
        QTest::newRow("empty input") << "empty" << "tmp.mp4" << "export.mp4" << 25.0 << -15 << ""
                                     << "[ERROR] ZRStream Remux :: ";
        QTest::newRow("no container for the extension")
            << "raw" << "tmp.zrnothing" << "export.mp4" << 25.0 << -17 << ""
            << "[ERROR] ZRStream Remux :: Could not create output context for ";
        QTest::newRow("output in a missing folder") << "raw" << "absent/tmp.mp4" << "export.mp4" << 25.0 << -20 << ""
                                                    << "[ERROR] ZRStream Remux :: Could not open output file";
        QTest::newRow("final name taken") << "raw" << "tmp.mp4" << "taken.mp4" << 25.0 << 1 << ""
                                          << "[ERROR] ZRStream Remux :: Error occurred ";
    }
    void remuxTable()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QFETCH(QString, finalName);
        QFETCH(double, fps);
        QFETCH(int, code);
        QFETCH(QString, produced);
        QFETCH(QString, logged);

        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QDir dir(work.path());
        QVERIFY(dir.mkpath("work dir"));
        QVERIFY(dir.mkpath("my exports"));
        // Garbage under a name that no demuxer claims by its extension, so only its bytes are probed.
        const QString inPath = dir.filePath(input == "garbage" ? "tmp.stream" : "tmp.raw");
        if (input.startsWith("raw"))
            QVERIFY(QFile::copy(rawPath, inPath));
        if (input == "folder")
            QVERIFY(dir.mkpath("tmp.raw"));
        if (input == "garbage" || input == "empty") {
            QFile f(inPath);
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (input == "garbage")
                f.write(QByteArray("not a video stream\n").repeated(200));
        }
        const bool inExisted = QFile::exists(inPath);
        const QByteArray inBefore = QFileInfo(inPath).isFile() ? [&] {
            QFile f(inPath);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }() : QByteArray();
        QFile taken(dir.filePath("taken.mp4"));
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.write("operator's file");
        taken.close();

        zrtest::LogCatcher log;
        int got = 99;
        {
            ZRStreamRemux remuxer;
            const QString given = input == "raw+marker" ? inPath + "&zrmultipart=1" : inPath;
            got = remuxer.remux(given, dir.filePath(output), dir.filePath(finalName), fps);
        }
        if (got != code)
            log.dump();
        if (input == "empty")
            QVERIFY2(got == -15 || got == -16, qPrintable(QString::number(got)));
        else
            QCOMPARE(got, code);
        QVERIFY(log.contains("[INFO] ZRStream Remux :: create instance"));
        QVERIFY(log.contains("[INFO] ZRStream Remux :: create destroy"));
        QVERIFY2(log.contains(logged), qPrintable(logged));
        QVERIFY(log.contains("[INFO] ZRStream Remux :: remux url " + (input == "raw+marker" ? inPath + "&zrmultipart=1" : inPath)
                             + " to file " + dir.filePath(finalName)));
        QVERIFY(log.contains("[INFO] ZRStream Remux :: remux url after convert " + inPath + " to file "
                             + dir.filePath(output)));

        // The operator's file of the same name is never replaced.
        QFile after(dir.filePath("taken.mp4"));
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), QByteArray("operator's file"));

        if (produced.isEmpty()) {
            // A copy that did not fully succeed keeps its input, byte for byte.
            QCOMPARE(QFileInfo::exists(inPath), inExisted);
            if (QFileInfo(inPath).isFile()) {
                QFile in(inPath);
                QVERIFY(in.open(QIODevice::ReadOnly));
                QCOMPARE(in.readAll(), inBefore);
            }
            QVERIFY(!QFile::exists(dir.filePath(finalName)) || finalName == "taken.mp4");
            return;
        }

        QVERIFY(!QFile::exists(inPath));
        QVERIFY(!QFile::exists(dir.filePath(output)));
        QVERIFY(QFile::exists(dir.filePath(produced)));
        // Only the file name changes: folders keep their blanks and no other folder appears.
        QVERIFY(!QFile::exists(dir.filePath("my_exports")));
        QVERIFY(!QFile::exists(dir.filePath("work_dir")));

        const zrtest::ProbedVideo v = zrtest::probeVideo(dir.filePath(produced));
        QVERIFY2(v.ok, qPrintable(v.error));
        QCOMPARE(v.codec, QString("h264"));
        QVERIFY(v.format.contains("mp4"));
        QCOMPARE(v.width, 160);
        QCOMPARE(v.height, 96);
        QCOMPARE(v.frames, rawFrames);
        const double rate = fps >= 0.01 ? fps : 25.0;
        QVERIFY2(qAbs(v.duration - rawFrames / rate) <= 1.0 / rate + 1e-6,
                 qPrintable(QString("duration %1 for %2 frames at %3").arg(v.duration).arg(rawFrames).arg(rate)));

        // The copied pictures are the recording's, first to last.
        const QList<QImage> luma = zrtest::decodeLuma(dir.filePath(produced));
        QCOMPARE(luma.size(), rawFrames);
        const zrtest::FrameMarker first = zrtest::markerOf(luma.first());
        const zrtest::FrameMarker last = zrtest::markerOf(luma.last());
        QVERIFY(first.found && last.found);
        QCOMPARE(first.cameraId, cameraId);
        QCOMPARE(last.cameraId, cameraId);
        QCOMPARE(first.frameIndex, 0);
        QCOMPARE(last.frameIndex, rawFrames - 1);
    }

    // The input may be a URL: the stream is read from the server (its multipart marker
    // removed first) and copied; an address the server does not serve is -15.
    void urlInput_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("code");
        QTest::newRow("served") << "/stream/raw?camera=4&zrmultipart=1" << 0;
        QTest::newRow("not served") << "/nothing?camera=4" << -15;
    }
    void urlInput()
    {
        QFETCH(QString, path);
        QFETCH(int, code);
        QFile raw(rawPath);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        zrtest::HttpReply reply;
        reply.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/octet-stream")));
        reply.body = raw.readAll();
        zrtest::HttpServer server;
        server.route("/stream/raw", reply);
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString url = server.url(path);
        int got = 99;
        {
            ZRStreamRemux remuxer;
            got = remuxer.remux(url, work.filePath("tmp.mp4"), work.filePath("from url.mp4"), 25.0);
        }
        QCOMPARE(got, code);
        QVERIFY(server.requestCount() >= 1);
        QVERIFY(!server.requests().first().target.contains("zrmultipart"));
        if (code != 0) {
            QVERIFY(!QFile::exists(work.filePath("from_url.mp4")));
            return;
        }
        const zrtest::ProbedVideo v = zrtest::probeVideo(work.filePath("from_url.mp4"));
        QVERIFY2(v.ok, qPrintable(v.error));
        QCOMPARE(v.frames, rawFrames);
        QVERIFY(!QFile::exists(work.filePath("tmp.mp4")));
        QVERIFY(QFile::exists(rawPath)); // the recording itself is never the input
    }

    void finalFileName_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare") << "My Export.mp4" << "My_Export.mp4";
        QTest::newRow("folders with blanks") << "/data/my exports/day 1/cam 2 export.mp4"
                                             << "/data/my exports/day 1/cam_2_export.mp4";
        QTest::newRow("no blank") << "/a b/x.mp4" << "/a b/x.mp4";
    }
    void finalFileName()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        QCOMPARE(ZRStreamRemux::final_file_name(given), expected);
    }
};

ZR_TEST_MAIN_CORE(TestStreamRemux)
#include "tst_stream_remux.moc"
