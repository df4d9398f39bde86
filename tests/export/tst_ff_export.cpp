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
};

// Runs one export to its end and records what it said.
Run runExport(ff_export& ex, int timeoutMs = 240000)
{
    Run r;
    QObject::connect(&ex, &ff_export::error, [&](int c) { r.errors << QString::number(c); });
    QObject::connect(&ex, &ff_export::endingsignal, [&] { ++r.endings; });
    QObject::connect(&ex, &ff_export::files_skipped, [&](const QStringList& f) { r.skipped = f; });
    QObject::connect(&ex, &ff_export::frame_downloaded_encoded, [&](const QString&, const QString&) { ++r.encoded; });
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
};

ZR_TEST_MAIN_GUI(TestFfExport)
#include "tst_ff_export.moc"
