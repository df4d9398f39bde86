//! labels: unit slow
// The export thread end to end on generated recordings: every format read back with ffprobe
// and by its frame markers, key-frame start, file boundaries, a resolution change, stop, and
// the failures (unknown codec, missing folder, empty range, damaged files in the range).
#include "export/ff_export.h"
#include "tests/export/ExportedVideo.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QDir>
#include <QSignalSpy>
#include <QtTest>

using namespace zrtest;

namespace {

QFileInfoList filesOf(const GeneratedCamera& cam)
{
    QFileInfoList out;
    for (const GeneratedRecording& r : cam.recordings)
        out << QFileInfo(r.videoPath);
    return out;
}

// The stamp "yyyyMMddHHmmsszzz" of a time of the generated day.
QString stampAt(const GeneratedExport& e, const QString& hhmmss, int ms = 0)
{
    const QString day = e.days.first();
    const QTime t = QTime::fromString(hhmmss, "HHmmss").addMSecs(ms);
    return QString(day).remove('-') + t.toString("HHmmsszzz");
}

struct Run
{
    QStringList errors;
    int endings = 0;
    QStringList skipped;
    int encoded = 0;
    bool finished = false;
    QString firstStamp;
    QString endArgument;
    int lastProgress = -1;
};

// Runs one export to its end and records what it said.
Run runExport(ff_export& ex, int timeoutMs = 240000)
{
    Run r;
    QObject::connect(&ex, &ff_export::error, [&](int c) { r.errors << QString::number(c); });
    QObject::connect(&ex, &ff_export::endingsignal, [&] { ++r.endings; });
    QObject::connect(&ex, &ff_export::files_skipped, [&](const QStringList& f) { r.skipped = f; });
    QObject::connect(&ex, &ff_export::frame_downloaded_encoded, [&](const QString& stamp, const QString& end) {
        if (++r.encoded == 1)
            r.firstStamp = stamp;
        r.endArgument = end;
    });
    QObject::connect(&ex, &ff_export::valueChanged, [&](int v) { r.lastProgress = v; });
    ex.start();
    r.finished = waitUntil([&] { return ex.isFinished(); }, timeoutMs);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return r;
}

void setUp(ff_export& ex, const GeneratedCamera& cam, const QString& start, const QString& end, const QString& out,
           const QString& codec, bool overlay = false, const QString& size = QStringLiteral("normal"))
{
    ex.set_files(filesOf(cam));
    ex.set_start_time(start);
    ex.set_end_time(end);
    ex.set_camera_names({{cam.id, QStringLiteral("Entrée Nord")}});
    ex.set_stream_id(QStringLiteral("1"));
    ex.set_encoder_parameters(out, codec, 2048, -1, -1, overlay, size);
}

} // namespace

class TestFfExport : public QObject
{
    Q_OBJECT

    ExportGenerator gen;
    GeneratedExport main; // 10:14:00 - 10:16:00, key frame every 2 s
    QString outDir;

private slots:
    void initTestCase()
    {
        main = gen.generate({"--start", "10:14:00", "--minutes", "2", "--gop", "50", "--seed", "21"});
        QVERIFY2(main.ok, qPrintable(main.error));
        outDir = gen.tempPath() + "/out";
        QVERIFY(QDir().mkpath(outDir));
    }

    // Each format: codec, pixel format, container, frame count and duration from ffprobe,
    // and the markers of the first, a middle and the last picture.
    void formats_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("probeCodec");
        QTest::addColumn<QString>("pixFmt");
        QTest::addColumn<QString>("container");
        QTest::addColumn<int>("frames");
        QTest::newRow("h264 mp4") << "libx264" << "a.mp4" << "101510" << "h264" << "yuv420p" << "mp4" << 251;
        QTest::newRow("h265 mp4") << "hevc" << "b.mp4" << "101510" << "hevc" << "yuv420p" << "mp4" << 251;
        QTest::newRow("mjpeg avi") << "mjpeg" << "c.avi" << "101510" << "mjpeg" << "yuvj420p" << "avi" << 251;
        // VP9 is slow to encode: a shorter range keeps the test quick.
        QTest::newRow("vp9 webm") << "vp9" << "d.webm" << "101504" << "vp9" << "yuv420p" << "webm" << 101;
    }

    void formats()
    {
        QFETCH(QString, codec);
        QFETCH(QString, file);
        QFETCH(QString, end);
        QFETCH(QString, probeCodec);
        QFETCH(QString, pixFmt);
        QFETCH(QString, container);
        QFETCH(int, frames);
        const QString out = outDir + "/" + file;
        ff_export ex;
        setUp(ex, main.cameras[0], "101500", end, out, codec);
        const Run r = runExport(ex);
        QVERIFY(r.finished);
        QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join(',')));
        QCOMPARE(r.endings, 1);
        QCOMPARE(r.encoded, frames);
        QVERIFY(r.skipped.isEmpty());
        // Progress: 100 per frame over the frames of the seek table being read (here the
        // range's frames of one file), so 100 at the end.
        QCOMPARE(r.firstStamp, stampAt(main, "101500"));
        QCOMPARE(r.endArgument, end);
        QCOMPARE(r.lastProgress, 100);

        const ProbedVideo v = probeVideo(out);
        QVERIFY2(v.ok, qPrintable(v.error));
        QCOMPARE(v.codec, probeCodec);
        QCOMPARE(v.pixFmt, pixFmt);
        QVERIFY2(v.format.contains(container), qPrintable(v.format));
        QCOMPARE(v.frames, frames);
        QVERIFY2(qAbs(v.duration - frames / 25.0) < 0.0015, qPrintable(QString::number(v.duration)));
        QCOMPARE(QSize(v.width, v.height), QSize(640, 360));

        const QList<QImage> pictures = decodeLuma(out);
        QCOMPARE(pictures.size(), frames);
        for (int i : {0, frames / 2, frames - 1}) {
            const FrameMarker m = markerOf(pictures[i]);
            QVERIFY2(m.found, qPrintable(QString("no marker in picture %1").arg(i)));
            QCOMPARE(m.stamp(), stampAt(main, "101500", i * 40));
        }
    }

    // Names of other callers: "H264" and "h265" map to the encoders' names.
    void codecNamesOfOtherCallers()
    {
        for (const auto& [name, probed] : {std::pair<QString, QString>{"H264", "h264"}, {"h265", "hevc"}}) {
            const QString out = outDir + "/name-" + name + ".mp4";
            ff_export ex;
            setUp(ex, main.cameras[0], "101500", "101501", out, name);
            const Run r = runExport(ex);
            QVERIFY2(r.errors.isEmpty(), qPrintable(name));
            QCOMPARE(probeVideo(out).codec, probed);
        }
    }

    // Starts at the first key frame of the range; across a file boundary no picture is
    // missing or repeated.
    void keyFrameStartAndFileBoundary()
    {
        const QString out = outDir + "/boundary.mp4";
        ff_export ex;
        // Key frames every 2 s from 10:14:00: 10:14:57 is not one, 10:14:58 is.
        setUp(ex, main.cameras[0], "101457", "101502", out, "libx264");
        const Run r = runExport(ex);
        QVERIFY(r.finished);
        QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join(',')));
        const QList<QImage> pictures = decodeLuma(out);
        QCOMPARE(pictures.size(), 101); // 10:14:58.000 to 10:15:02.000
        for (int i = 0; i < pictures.size(); ++i) {
            const FrameMarker m = markerOf(pictures[i]);
            QVERIFY2(m.found, qPrintable(QString::number(i)));
            QCOMPARE(m.stamp(), stampAt(main, "101458", i * 40));
            // The index in its recording file: 1450.. in the first, 0.. in the second.
            QCOMPARE(m.frameIndex, i < 50 ? 1450 + i : i - 50);
        }
    }

    // A camera that changed resolution between two files of the range: one file at the first
    // size, every picture there.
    void resolutionChange()
    {
        const GeneratedExport e = gen.generate({"--start", "10:14:00", "--minutes", "2", "--fault", "resolution-change",
                                                "--seed", "22"});
        QVERIFY2(e.ok, qPrintable(e.error));
        QCOMPARE(e.cameras[0].recordings[1].width, 320);
        for (bool overlay : {false, true}) {
            const QString out = outDir + (overlay ? "/resolution-band.mp4" : "/resolution.mp4");
            ff_export ex;
            setUp(ex, e.cameras[0], "101458", "101502", out, "libx264", overlay);
            const Run r = runExport(ex);
            QVERIFY(r.finished);
            QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join(',')));
            const ProbedVideo v = probeVideo(out);
            QCOMPARE(QSize(v.width, v.height), QSize(640, 360));
            QCOMPARE(v.frames, 101);
            const QList<QImage> pictures = decodeLuma(out);
            QCOMPARE(pictures.size(), 101);
            for (int i : {0, 49, 50, 75, 100}) {
                const FrameMarker m = markerOf(pictures[i]);
                QVERIFY2(m.found, qPrintable(QString::number(i)));
                QCOMPARE(m.stamp(), stampAt(e, "101458", i * 40));
            }
        }
    }

    // Stopped in the middle: the thread ends at once and leaves a playable file with the
    // pictures encoded so far.
    void stopInTheMiddle()
    {
        const QString out = outDir + "/stopped.avi";
        ff_export ex;
        setUp(ex, main.cameras[0], "101400", "101559", out, "mjpeg");
        int encoded = 0;
        connect(&ex, &ff_export::frame_downloaded_encoded, &ex, [&] {
            if (++encoded == 60)
                ex.set_stop();
        });
        const Run r = runExport(ex);
        QVERIFY(r.finished);
        QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join(',')));
        QCOMPARE(r.endings, 1);
        QVERIFY(r.encoded >= 60);
        QVERIFY2(r.encoded < 2999, "the stop was not heard");
        const ProbedVideo v = probeVideo(out);
        QVERIFY2(v.ok, qPrintable(v.error));
        QCOMPARE(v.frames, r.encoded);
        const QList<QImage> pictures = decodeLuma(out);
        QCOMPARE(markerOf(pictures.last()).stamp(), stampAt(main, "101400", (r.encoded - 1) * 40));
    }

    // Deleting a running export stops it and waits for its threads.
    void deleteWhileRunning()
    {
        auto* ex = new ff_export();
        setUp(*ex, main.cameras[0], "101400", "101559", outDir + "/deleted.mp4", "libx264");
        bool started = false;
        connect(ex, &ff_export::frame_downloaded_encoded, ex, [&] { started = true; });
        ex->start();
        QVERIFY(waitUntil([&] { return started; }, 60000));
        delete ex;
    }

    void failures_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("log");
        QTest::newRow("unknown codec") << "H264x" << "unknown.mp4" << "101500" << "101502" << -5
                                       << "Failed to set video codec h264x";
        QTest::newRow("missing folder") << "libx264" << "missing/folder/x.mp4" << "101500" << "101502" << -5
                                        << "[ERROR] ZRStream Encoder :: Could not open ";
        QTest::newRow("no frame in range") << "libx264" << "empty.mp4" << "110000" << "110010" << -10
                                           << "no frame to encode in the range";
    }

    void failures()
    {
        QFETCH(QString, codec);
        QFETCH(QString, out);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(int, code);
        QFETCH(QString, log);
        LogCatcher logs;
        const QString path = outDir + "/" + out;
        ff_export ex;
        setUp(ex, main.cameras[0], start, end, path, codec);
        const Run r = runExport(ex);
        QVERIFY(r.finished);
        QCOMPARE(r.errors, QStringList{QString::number(code)});
        QCOMPARE(r.endings, 0);
        QVERIFY(!QFile::exists(path));
        QVERIFY2(logs.contains(log), qPrintable(logs.texts().join('\n')));
    }

    // The date-and-time band: dark, with text, taller for each larger size; without it the
    // top rows are the recording's own.
    void overlayBand()
    {
        auto firstPicture = [&](bool overlay, const QString& size) {
            const QString out = outDir + "/band-" + (overlay ? size : QString("none")) + ".mp4";
            ff_export ex;
            setUp(ex, main.cameras[0], "101500", "101501", out, "libx264", overlay, size);
            const Run r = runExport(ex);
            return r.errors.isEmpty() ? decodeLuma(out).value(0) : QImage();
        };
        // Rows from the top whose left edge is dark: the band.
        auto bandRows = [](const QImage& luma) {
            int rows = 0;
            while (rows < luma.height() && luma.pixelColor(0, rows).red() < 45 && luma.pixelColor(1, rows).red() < 45)
                ++rows;
            return rows;
        };
        auto brightInRows = [](const QImage& luma, int rows) {
            int n = 0;
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < luma.width(); ++x)
                    n += luma.constScanLine(y)[x] > 160;
            return n;
        };

        int previous = 0;
        for (const QString size : {"small", "normal", "large", "extralarge"}) {
            const QImage p = firstPicture(true, size);
            QVERIFY2(!p.isNull(), qPrintable(size));
            const int rows = bandRows(p);
            QVERIFY2(rows > previous, qPrintable(QString("%1: %2 rows after %3").arg(size).arg(rows).arg(previous)));
            QVERIFY2(brightInRows(p, rows) > 50, qPrintable(size + ": no text in the band"));
            // The band stops above the marker grid, which stays readable.
            QVERIFY(rows < p.height() / 4);
            QCOMPARE(markerOf(p).stamp(), stampAt(main, "101500"));
            previous = rows;
        }

        const QImage plain = firstPicture(false, "normal");
        QCOMPARE(bandRows(plain), 0);
        const QList<QImage> source = decodeLuma(main.cameras[0].recordings[1].videoPath);
        QVERIFY(!source.isEmpty());
        const QImage& original = source.first();
        QCOMPARE(original.size(), plain.size());
        qint64 diff = 0;
        const int rows = plain.height() / 5;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < plain.width(); ++x)
                diff += qAbs(int(plain.constScanLine(y)[x]) - int(original.constScanLine(y)[x]));
        QVERIFY2(diff / (rows * plain.width()) < 3, qPrintable(QString::number(diff / (rows * plain.width()))));
    }

    // A write that fails (a full disk) ends with -9 and leaves no file behind.
    void writeFailure()
    {
        if (!QFile::exists("/dev/full"))
            QSKIP("no /dev/full");
        const QString link = outDir + "/full.mp4";
        QVERIFY(QFile::link("/dev/full", link));
        ff_export ex;
        setUp(ex, main.cameras[0], "101500", "101559", link, "libx264");
        const Run r = runExport(ex);
        QVERIFY(r.finished);
        QCOMPARE(r.errors, QStringList{"-9"});
        QCOMPARE(r.endings, 0);
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(QFile::exists("/dev/full"));
    }

    // A damaged recording in the middle of the range is passed over: the rest is exported
    // and the end says which file was missing.
    void damagedFileInTheRange_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("truncated data") << "truncated";
        QTest::newRow("garbage seek table") << "garbage-seek";
        QTest::newRow("missing seek table") << "missing-seek";
    }

    void damagedFileInTheRange()
    {
        QFETCH(QString, fault);
        // A small picture: only the order and times of the pictures matter here.
        const GeneratedExport e = gen.generate({"--start", "10:14:00", "--minutes", "3", "--size", "320x180", "--fault", fault,
                                                "--seed", "23"});
        QVERIFY2(e.ok, qPrintable(e.error));
        const GeneratedRecording& damaged = e.cameras[0].recordings[1];
        QVERIFY(damaged.faultTarget);
        LogCatcher logs;
        const QString out = outDir + "/damaged-" + fault + ".mp4";
        ff_export ex;
        setUp(ex, e.cameras[0], "101458", "101602", out, "libx264");
        const Run r = runExport(ex);
        QVERIFY(r.finished);
        QVERIFY2(r.errors.isEmpty(), qPrintable(r.errors.join(',')));
        QCOMPARE(r.endings, 1);
        QCOMPARE(r.skipped, QStringList{damaged.videoPath});
        QVERIFY(logs.contains("[WARN] ZRPlayer Exporter :: part of the range is missing :: " + damaged.videoPath));

        const QList<QImage> pictures = decodeLuma(out);
        QVERIFY(pictures.size() >= 50 + 51);
        // The first file's part, then (what could be read of) the damaged one, then the third
        // file up to the end time.
        QCOMPARE(markerOf(pictures.first()).stamp(), stampAt(e, "101458"));
        QCOMPARE(markerOf(pictures.last()).stamp(), stampAt(e, "101602"));
        QCOMPARE(markerOf(pictures[pictures.size() - 51]).stamp(), stampAt(e, "101600"));
        int previous = -1;
        for (const QImage& p : pictures) {
            const FrameMarker m = markerOf(p);
            QVERIFY(m.found);
            QVERIFY2(m.msOfDay() > previous, "a picture repeated or out of order");
            previous = m.msOfDay();
        }
        if (fault == "truncated")
            QVERIFY(pictures.size() > 50 + 51);
        else
            QCOMPARE(pictures.size(), 50 + 51);
    }
};

ZR_TEST_MAIN_GUI(TestFfExport)
#include "tst_ff_export.moc"
