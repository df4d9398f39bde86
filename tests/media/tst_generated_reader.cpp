//! labels: unit
// The playback reader over generated exports: every picture's frame marker must name the
// camera, time and index of the seek line it was read for; damaged recordings are skipped or
// refused cleanly.
#include "media/ZRStreamReadAndControl.h"
#include "tests/media/FrameSink.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

class Reader : public ZRStreamReadAndControl
{
public:
    using ZRStreamReadAndControl::read_frame;
};

QList<QFileInfo> dayFiles(const zrtest::GeneratedCamera& cam)
{
    QList<QFileInfo> out;
    for (const auto& r : cam.recordings)
        out << QFileInfo(r.videoPath);
    return out;
}

const zrtest::GeneratedRecording* faultTarget(const zrtest::GeneratedExport& e)
{
    for (const auto& r : e.cameras.first().recordings)
        if (r.faultTarget)
            return &r;
    return nullptr;
}

// The frame marker agrees with the seek line the picture was read for.
bool markerMatches(const zrtest::ShownFrame& shown, const ZRFrame& line, int index, int cameraId, QString* why)
{
    const zrtest::FrameMarker m = zrtest::readFrameMarker(shown.image);
    if (!m.found) {
        *why = "no marker";
        return false;
    }
    if (m.cameraId != cameraId || m.stamp() != line.get_timestamp() || m.frameIndex != index) {
        *why = QString("marker cam %1 %2 #%3, line %4 #%5").arg(m.cameraId).arg(m.stamp()).arg(m.frameIndex)
                   .arg(line.get_timestamp()).arg(index);
        return false;
    }
    return true;
}

} // namespace

class TestGeneratedReader : public QObject
{
    Q_OBJECT

    zrtest::ExportGenerator gen;

private slots:
    void decodesGeneratedCodecs_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::newRow("h264") << "h264";
        QTest::newRow("h265") << "h265";
        QTest::newRow("mjpeg") << "mjpeg";
    }
    void decodesGeneratedCodecs()
    {
        QFETCH(QString, codec);
        const zrtest::GeneratedExport e =
            gen.generate({"--codec", codec, "--size", "320x180", "--file-seconds", "3", "--first-camera", "7"});
        QVERIFY2(e.ok, qPrintable(e.error));
        const zrtest::GeneratedCamera& cam = e.cameras.first();
        const zrtest::GeneratedRecording& rec = cam.recordings.first();
        Reader r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(rec.seekPath), "1", dayFiles(cam)));
        const QList<ZRFrame> frames = r.get_frames();
        QCOMPARE(frames.size(), rec.frames);
        for (int i = 0; i < frames.size(); ++i) {
            QVERIFY(r.read_frame(false, i, "1"));
            QCOMPARE(sink.shown.size(), i + 1);
            const zrtest::ShownFrame& s = sink.shown.last();
            QCOMPARE(s.image.size(), QSize(320, 180));
            QString why;
            QVERIFY2(markerMatches(s, frames[i], i, 7, &why), qPrintable(QString("%1: %2").arg(i).arg(why)));
        }
    }

    void openAtTimeShowsItsKeyFrame()
    {
        const zrtest::GeneratedExport e = gen.generate({"--size", "320x180", "--minutes", "2", "--gop", "50"});
        QVERIFY2(e.ok, qPrintable(e.error));
        const zrtest::GeneratedCamera& cam = e.cameras.first();
        const zrtest::GeneratedRecording& rec = cam.recordings[1]; // 08:01:00
        Reader r;
        zrtest::FrameSink sink;
        sink.attach(&r);
        QSignalSpy times(&r, &ZRStreamReadAndControl::setTime);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(rec.seekPath), "1", dayFiles(cam)));
        QCOMPARE(r.get_files().size(), 2);
        r.set_read_timestamp("20250314080110");
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() == 1; }));
        const zrtest::ShownFrame& s = sink.shown.first();
        QCOMPARE(s.timestamp, QString("2025-03-14 08:01:10.000"));
        QCOMPARE(s.frameId, 250);
        QVERIFY(s.key);
        QString why;
        QVERIFY2(markerMatches(s, r.get_frames()[250], 250, 1, &why), qPrintable(why));
        QCOMPARE(times.last().at(0).toTime(), QTime(8, 1, 10));

        // After the last key frame of the file (08:01:58): nothing changes.
        r.set_read_timestamp("20250314080159");
        QCoreApplication::processEvents();
        QCOMPARE(sink.shown.size(), 1);
        QCOMPARE(r.get_index(), 250);
    }

    void streamVideo2Only()
    {
        const zrtest::GeneratedExport e =
            gen.generate({"--size", "320x180", "--minutes", "2", "--file-seconds", "2", "--fault", "stream-change"});
        QVERIFY2(e.ok, qPrintable(e.error));
        const zrtest::GeneratedRecording* target = faultTarget(e);
        QVERIFY(target);
        zrtest::LogCatcher log;
        Reader r;
        QSignalSpy errors(&r, &ZRStreamReadAndControl::error);
        QVERIFY(!r.init_displayer_for_stream(QFileInfo(target->seekPath), "1", dayFiles(e.cameras.first())));
        QVERIFY(log.contains("[INFO] ZRStream read & control :: ID STREAM NOT FOUND, set to 2"));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().at(0).toInt(), -10);
        QCOMPARE(r.get_idstream(), QString("2"));
        QCOMPARE(r.read_seek_file(r.get_files(), r.get_idstream()).size(), target->frames);
    }

    // Each fault: whether the target opens, and that every frame before the damage shows its
    // own marker while nothing crashes after it.
    void damagedRecordings_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<bool>("allMarkersRight");
        QTest::newRow("truncated") << "truncated" << true << "[WARN] read frame :: short read" << false;
        QTest::newRow("size-nan") << "size-nan" << true << "" << false;
        QTest::newRow("size-negative") << "size-negative" << true << "" << false;
        QTest::newRow("size-too-large") << "size-too-large" << true << "[WARN] read frame :: short read" << false;
        QTest::newRow("bad-timestamp") << "bad-timestamp" << true << "" << true;
        QTest::newRow("crlf") << "crlf" << true << "" << true;
        QTest::newRow("codec-change") << "codec-change" << true << "" << true;
        QTest::newRow("resolution-change") << "resolution-change" << true << "" << true;
        QTest::newRow("no-keyframe") << "no-keyframe" << false
                                     << "[ERROR] ZRStream read & control ::  init displayer for stream :: failed to read first frame"
                                     << false;
        QTest::newRow("missing-seek") << "missing-seek" << false
                                      << "[ERROR] ZRStream read & control ::  init displayer for stream :: failed to read SEEK file"
                                      << false;
        QTest::newRow("empty-seek") << "empty-seek" << false
                                    << "[ERROR] ZRStream read & control ::  init displayer for stream :: failed to read SEEK file"
                                    << false;
    }
    void damagedRecordings()
    {
        QFETCH(QString, fault);
        QFETCH(bool, opens);
        QFETCH(QString, logged);
        QFETCH(bool, allMarkersRight);
        const zrtest::GeneratedExport e =
            gen.generate({"--size", "320x180", "--minutes", "2", "--file-seconds", "3", "--fault", fault});
        QVERIFY2(e.ok, qPrintable(e.error));
        const zrtest::GeneratedRecording* target = faultTarget(e);
        QVERIFY(target);
        const zrtest::GeneratedFault* f = e.fault(fault);
        QVERIFY(f);
        zrtest::LogCatcher log;
        Reader r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        const QString seek = QString(target->videoPath).replace(".zrvideo", ".zrseek");
        QCOMPARE(r.init_displayer_for_stream(QFileInfo(seek), "1", dayFiles(e.cameras.first())), opens);
        if (!logged.isEmpty() && !opens)
            QVERIFY2(log.contains(logged), qPrintable(log.texts().join('\n')));
        if (!opens)
            return;
        const QList<ZRFrame> frames = r.get_frames();
        QVERIFY(!frames.isEmpty());
        // Frames before a damaged line (or all of them) must be right.
        const int clean = allMarkersRight ? int(frames.size()) : (f->line > 0 ? f->line : 1);
        int right = 0;
        for (int i = 0; i < frames.size(); ++i) {
            const qsizetype before = sink.shown.size();
            r.read_frame(false, i, "1");
            if (sink.shown.size() == before)
                continue;
            QString why;
            if (i < clean) {
                QVERIFY2(markerMatches(sink.shown.last(), frames[i], i, 1, &why), qPrintable(QString("%1: %2").arg(i).arg(why)));
                ++right;
            }
        }
        QVERIFY(right >= 1);
        if (!logged.isEmpty())
            QVERIFY2(log.contains(logged), qPrintable(log.texts().mid(0, 50).join('\n')));
        if (fault == "resolution-change")
            QCOMPARE(sink.shown.last().image.size(), QSize(160, 90));
    }
};

ZR_TEST_MAIN_CORE(TestGeneratedReader)
#include "tst_generated_reader.moc"
