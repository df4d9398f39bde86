//! labels: unit
// Playback reader: opening a stream, seek tables, reading and decoding frames, seeking, and the
// frame hand-over's lifetime.
#include "media/ZRStreamReadAndControl.h"
#include "tests/media/FrameSink.h"
#include "tests/media/RecordingFixture.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// Gives the tests the reader's protected frame read.
class Reader : public ZRStreamReadAndControl
{
public:
    using ZRStreamReadAndControl::read_frame;
};

QList<QFileInfo> dataFilesOf(const QStringList& seekTables)
{
    QList<QFileInfo> out;
    for (QString s : seekTables)
        out << QFileInfo(s.replace(".zrseek", ".zrvideo"));
    return out;
}

void writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

} // namespace

class TestStreamReader : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void openAndSeekShowsKeyFrame()
    {
        zrtest::RecordingSpec recipe;
        recipe.dir = dir.path();
        const QString seek = zrtest::writeRecording(recipe);
        zrtest::LogCatcher log;
        Reader r;
        zrtest::FrameSink sink;
        sink.attach(&r);
        QSignalSpy times(&r, &ZRStreamReadAndControl::setTime);
        QSignalSpy streams(&r, &ZRStreamReadAndControl::send_available_videostream);

        QVERIFY(r.init_displayer_for_stream(QFileInfo(seek), "1", dataFilesOf({seek})));
        QCoreApplication::processEvents();
        QCOMPARE(sink.shown.size(), 0); // nothing shown before a tick or a seek
        QCOMPARE(r.get_index(), 0);
        QVERIFY(streams.count() >= 2);
        QCOMPARE(streams.last().at(0).toStringList(), QStringList{"1"});
        QCOMPARE(r.get_fps(), 50.0 / 1.0); // 50 frames, one change of second counted
        QVERIFY(log.contains("[INFO] ZRStream read & control ::  get FPS :: 50.00"));

        // 12:00:01 is the second group's key frame (index 25).
        r.set_read_timestamp("20260310120001");
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() == 1; }));
        const zrtest::ShownFrame& f = sink.shown.first();
        QCOMPARE(f.timestamp, QString("2026-03-10 12:00:01.000"));
        QCOMPARE(f.frameId, 25);
        QVERIFY(f.key);
        QCOMPARE(f.fps, r.get_effective_fps());
        QCOMPARE(f.overlay, QString());
        QVERIFY(!f.unwrapped);
        QCOMPARE(f.image.size(), QSize(160, 120));
        QVERIFY(f.linesize >= 160 * 4);
        QVERIFY2(qAbs(f.grey() - zrtest::expectedGrey(25)) <= 2, qPrintable(QString::number(f.grey())));
        QCOMPARE(times.count(), 1);
        QCOMPARE(times.first().at(0).toTime(), QTime(12, 0, 1));
        QCOMPARE(r.get_index(), 25);

        // A seek within a group lands on the next key frame; past the last key frame nothing
        // happens.
        r.set_read_timestamp("20260310120000");
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() == 2; }));
        QCOMPARE(sink.shown.last().frameId, 0);
        r.set_read_timestamp("20260310120002");
        QCoreApplication::processEvents();
        QCOMPARE(sink.shown.size(), 2);
        QCOMPARE(r.get_index(), 0);
    }

    // Several seeks in a row before the display runs, and a codec change and the reader's
    // destruction between emit and delivery: every delivered picture is the one that was sent.
    void handedOverPixelsOutliveDecoder()
    {
        zrtest::RecordingSpec h264;
        h264.dir = dir.path();
        h264.camera = 21;
        const QString seek = zrtest::writeRecording(h264);
        zrtest::RecordingSpec jpeg = h264;
        jpeg.camera = 22;
        jpeg.encoder = "mjpeg";
        jpeg.codecText = "frame/jpeg";
        jpeg.gop = 1;
        // One table: the H.264 frames then MJPEG frames from a second data file.
        const QString jpegSeek = zrtest::writeRecording(jpeg);
        QFile a(seek), b(jpegSeek);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        const QByteArray mixed = a.readAll() + b.readAll();
        a.close();
        b.close();
        writeText(seek, mixed);
        // The MJPEG lines' offsets count the H.264 sizes, so append the MJPEG bytes to the data.
        QFile hd(QString(seek).replace(".zrseek", ".zrvideo")), jd(QString(jpegSeek).replace(".zrseek", ".zrvideo"));
        QVERIFY(jd.open(QIODevice::ReadOnly));
        QVERIFY(hd.open(QIODevice::Append));
        hd.write(jd.readAll());
        hd.close();

        zrtest::LogCatcher log;
        auto* r = new Reader;
        zrtest::FrameSink sink;
        sink.attach(r);
        QVERIFY(r->init_displayer_for_stream(QFileInfo(seek), "1", dataFilesOf({seek})));
        QCOMPARE(r->get_frames().size(), 100);
        QVERIFY(r->read_frame(false, 0, "1"));
        QVERIFY(r->read_frame(false, 1, "1"));
        QVERIFY(r->read_frame(false, 60, "1")); // decoder change to MJPEG: the H.264 decoder goes
        QVERIFY(log.contains("[INFO] read frame :: decoder change/open to mjpeg"));
        QVERIFY(r->read_frame(false, 61, "1"));
        delete r; // and the reader itself, before any delivery
        QCOMPARE(sink.shown.size(), 0);
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() == 4; }));
        const int expected[] = {0, 1, 10, 11}; // MJPEG picture i of its clip is clipLuma(i)
        for (int k = 0; k < 4; ++k) {
            const int g = sink.shown[k].grey();
            const int want = k < 2 ? zrtest::expectedGrey(expected[k]) : zrtest::clipLuma(expected[k]);
            QVERIFY2(qAbs(g - want) <= 3, qPrintable(QString("%1: %2 vs %3").arg(k).arg(g).arg(want)));
        }
        QCOMPARE(sink.shown[2].frameId, 60);
    }

    // Stopping the reader between emit and delivery leaves the picture intact too.
    void stopBetweenEmitAndDelivery()
    {
        zrtest::RecordingSpec recipe;
        recipe.dir = dir.path();
        recipe.camera = 23;
        const QString seek = zrtest::writeRecording(recipe);
        Reader r;
        zrtest::FrameSink sink;
        sink.attach(&r);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(seek), "1", dataFilesOf({seek})));
        r.set_read_timestamp("20260310120000");
        r.stop();
        QVERIFY(r.init_displayer_for_stream(QFileInfo(seek), "1", dataFilesOf({seek})));
        r.set_read_timestamp("20260310120001");
        QVERIFY(zrtest::waitUntil([&] { return sink.shown.size() == 2; }));
        QVERIFY(qAbs(sink.shown[0].grey() - zrtest::expectedGrey(0)) <= 2);
        QVERIFY(qAbs(sink.shown[1].grey() - zrtest::expectedGrey(25)) <= 2);
    }

    void decodesEveryCodec_data()
    {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QString>("codecText");
        QTest::newRow("h264") << "libx264" << "frame/h264";
        QTest::newRow("hevc") << "libx265" << "frame/h265";
        QTest::newRow("mjpeg") << "mjpeg" << "frame/jpeg";
        QTest::newRow("mpeg4") << "mpeg4" << "frame/MPEG4";
    }
    void decodesEveryCodec()
    {
        QFETCH(QString, encoder);
        QFETCH(QString, codecText);
        const QByteArray enc = encoder.toUtf8();
        zrtest::RecordingSpec recipe;
        recipe.dir = dir.path();
        recipe.camera = 30 + QTest::currentDataTag()[1];
        recipe.encoder = enc.constData();
        recipe.codecText = codecText;
        recipe.frames = 30;
        recipe.gop = 10;
        const QString seek = zrtest::writeRecording(recipe);
        Reader r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        QVERIFY(r.init_displayer_for_stream(QFileInfo(seek), "1", dataFilesOf({seek})));
        for (int i = 10; i < 30; ++i)
            QVERIFY(r.read_frame(false, i, "1"));
        QCOMPARE(sink.shown.size(), 20);
        for (int k = 0; k < 20; ++k) {
            const int i = 10 + k;
            const int want = encoder == "mjpeg" ? zrtest::clipLuma(i) : zrtest::expectedGrey(i);
            QVERIFY2(qAbs(sink.shown[k].grey() - want) <= 3, qPrintable(QString("%1").arg(i)));
            QCOMPARE(sink.shown[k].key, r.get_frames()[i].is_keyframe());
            if (encoder != "mpeg4") // its encoder makes every flat picture intra
                QCOMPARE(sink.shown[k].key, i % 10 == 0 || encoder == "mjpeg");
            QCOMPARE(sink.shown[k].timestamp, zrtest::displayStamp(recipe, i));
        }
    }

    void streamNotFound()
    {
        zrtest::RecordingSpec recipe;
        recipe.dir = dir.path();
        recipe.camera = 40;
        recipe.stream = "video2";
        recipe.frames = 10;
        const QString seek = zrtest::writeRecording(recipe);
        zrtest::LogCatcher log;
        Reader r;
        QSignalSpy errors(&r, &ZRStreamReadAndControl::error);
        QVERIFY(!r.init_displayer_for_stream(QFileInfo(seek), "1", dataFilesOf({seek})));
        QVERIFY(log.contains("[INFO] ZRStream read & control :: ID STREAM NOT FOUND, set to 2"));
        QVERIFY(log.contains("[ERROR] ZRStream read & control :: Read Seek File :: no frame found"));
        QVERIFY(log.contains("[ERROR] ZRStream read & control ::  init displayer for stream :: failed to read SEEK file"));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().at(0).toInt(), -10);
        QCOMPARE(r.get_idstream(), QString("2"));
        QCOMPARE(r.read_seek_file(r.get_files(), r.get_idstream()).size(), 10);
    }

    // Refusals of read_frame, each a log line and false.
    void readFrameRefusals()
    {
        const QString base = dir.filePath("50_20260310_120000");
        zrtest::RecordingSpec recipe;
        recipe.dir = dir.path();
        recipe.camera = 50;
        recipe.frames = 5;
        const QString seek = zrtest::writeRecording(recipe);
        QFile f(seek);
        QVERIFY(f.open(QIODevice::Append));
        f.write("20260310120001000:video11:frame/h264:160x120:1:10\n");
        f.close();
        zrtest::LogCatcher log;
        Reader r;
        QVERIFY(!r.read_frame(false, 0, "1"));
        QVERIFY(log.contains("[WARN] read frame :: framelist empty"));
        QVERIFY(r.init_displayer_for_stream(QFileInfo(seek), "1", dataFilesOf({seek})));
        QCOMPARE(r.get_frames().size(), 6); // "11" is kept by the containment filter...
        QVERIFY(!r.read_frame(false, 5, "1")); // ...and refused here
        QVERIFY(log.contains("[WARN] read frame :: frame stream mismatch. want=1 got=11"));
        QVERIFY(!r.read_frame(false, -1, "1"));
        QVERIFY(log.contains("[WARN] read frame :: invalid index"));
        QVERIFY(!r.read_frame(false, 6, "1"));
        QVERIFY(log.contains("[WARN] read frame :: index out of bounds"));
        QVERIFY(QFile::remove(base + ".zrvideo"));
        r.set_read_timestamp("20260310115959"); // reopens nothing: file still open
        QVERIFY(QFile::exists(seek));
    }

    // A frame that lies beyond the data file is a short read with the bytes actually there,
    // including sizes that would make a huge allocation; no read, no crash.
    void shortReads()
    {
        const QString seek = dir.filePath("60_20260310_120000.zrseek");
        const QString data = dir.filePath("60_20260310_120000.zrvideo");
        const auto packets = zrtest::encodeClip("libx264", 160, 120, 2, 25);
        writeText(data, packets[0].data + packets[1].data.left(10));
        writeText(seek, QStringLiteral("20260310120000000:video1:frame/h264:160x120:1:%1\n"
                                       "20260310120000040:video1:frame/h264:160x120:0:%2\n"
                                       "20260310120000080:video1:frame/h264:160x120:0:2147483647\n"
                                       "20260310120000120:video1:frame/h264:160x120:0:2147483647\n")
                            .arg(packets[0].data.size())
                            .arg(packets[1].data.size())
                            .toUtf8());
        zrtest::LogCatcher log;
        Reader r;
        QVERIFY(r.init_displayer_for_stream(QFileInfo(seek), "1", dataFilesOf({seek})));
        QCOMPARE(r.get_frames()[3].get_offset(), qint64(packets[0].data.size()) + packets[1].data.size() + 2147483647LL);
        QVERIFY(!r.read_frame(false, 1, "1"));
        QVERIFY(log.contains(QStringLiteral("[WARN] read frame :: short read 10 / %1").arg(packets[1].data.size())));
        QVERIFY(!r.read_frame(false, 2, "1"));
        QVERIFY(log.contains("[WARN] read frame :: short read 0 / 2147483647"));
        QVERIFY(!r.read_frame(false, 3, "1"));
        QCOMPARE(log.count("short read 0 / 2147483647"), 2);
    }

    void noKeyFrameFailsToOpen()
    {
        const QString seek = dir.filePath("70_20260310_120000.zrseek");
        const auto packets = zrtest::encodeClip("libx264", 160, 120, 3, 25);
        writeText(dir.filePath("70_20260310_120000.zrvideo"), packets[0].data + packets[1].data + packets[2].data);
        QByteArray table;
        for (int i = 0; i < 3; ++i)
            table += "2026031012000" + QByteArray::number(i) + "000:video1:frame/h264:160x120:0:"
                     + QByteArray::number(packets[i].data.size()) + "\n";
        writeText(seek, table);
        zrtest::LogCatcher log;
        Reader r;
        zrtest::FrameSink sink;
        sink.attach(&r);
        QVERIFY(!r.init_displayer_for_stream(QFileInfo(seek), "1", dataFilesOf({seek})));
        QVERIFY(log.contains("[ERROR] ZRStream read & control ::  init displayer for stream :: failed to read first frame"));
        QCoreApplication::processEvents();
        QCOMPARE(sink.shown.size(), 0);
    }

    // Garbage in the data file: frames are skipped, nothing crashes, later key frames decode.
    void corruptDataSkipped()
    {
        zrtest::RecordingSpec recipe;
        recipe.dir = dir.path();
        recipe.camera = 80;
        recipe.frames = 50;
        const QString seek = zrtest::writeRecording(recipe);
        const QString data = QString(seek).replace(".zrseek", ".zrvideo");
        QFile f(data);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 size = f.size();
        f.seek(0);
        QByteArray head = f.read(size / 3);
        for (int i = 40; i < head.size(); i += 3)
            head[i] = char(head[i] ^ 0x5a);
        f.seek(0);
        f.write(head);
        f.close();
        Reader r;
        zrtest::FrameSink sink;
        sink.attach(&r, Qt::DirectConnection);
        // Opening may or may not find frame 0 decodable; either way no crash, and the second
        // group decodes.
        r.init_displayer_for_stream(QFileInfo(seek), "1", dataFilesOf({seek}));
        if (r.get_frames().isEmpty())
            QFAIL("frames expected");
        for (int i = 0; i < 50; ++i)
            r.read_frame(false, i, "1");
        QVERIFY(!sink.shown.isEmpty());
        QVERIFY(qAbs(sink.shown.last().grey() - zrtest::expectedGrey(49)) <= 2);
    }

    void frameRateEstimate_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("intervalMs");
        QTest::addColumn<double>("fps");
        QTest::newRow("10 s at 25") << 250 << 40 << 250.0 / 9.0;
        QTest::newRow("one frame") << 1 << 40 << 1.0;
        QTest::newRow("sub-second file") << 10 << 40 << 10.0;
    }
    void frameRateEstimate()
    {
        QFETCH(int, frames);
        QFETCH(int, intervalMs);
        QFETCH(double, fps);
        zrtest::RecordingSpec recipe;
        recipe.dir = dir.path();
        recipe.camera = 90 + frames;
        recipe.frames = frames;
        recipe.intervalMs = intervalMs;
        recipe.width = 32;
        recipe.height = 32;
        const QString seek = zrtest::writeRecording(recipe);
        Reader r;
        QVERIFY(r.init_displayer_for_stream(QFileInfo(seek), "1", dataFilesOf({seek})));
        QVERIFY(std::isfinite(r.get_fps()));
        QCOMPARE(r.get_fps(), fps);
    }

    // A second open without stop replaces the day's list instead of holding every file twice.
    void secondOpenReplacesList()
    {
        zrtest::RecordingSpec a;
        a.dir = dir.path();
        a.camera = 100;
        a.frames = 5;
        zrtest::RecordingSpec b = a;
        b.start = QTime(12, 1, 0);
        const QString sa = zrtest::writeRecording(a);
        const QString sb = zrtest::writeRecording(b);
        const QList<QFileInfo> day = dataFilesOf({sa, sb}) << QFileInfo(dir.filePath("notes.txt"));
        Reader r;
        QVERIFY(r.init_displayer_for_stream(QFileInfo(sa), "1", day));
        QVERIFY(r.init_displayer_for_stream(QFileInfo(sb), "1", day));
        QCOMPARE(r.get_files().size(), 2);
        QCOMPARE(r.get_files()[1].fileName(), QFileInfo(sb).fileName());
        r.stop();
        QVERIFY(r.get_files().isEmpty());
        QCOMPARE(r.get_idstream(), QString());
    }

    void continueRead()
    {
        zrtest::RecordingSpec a;
        a.dir = dir.path();
        a.camera = 110;
        a.frames = 5;
        zrtest::RecordingSpec b = a;
        b.start = QTime(12, 1, 0);
        zrtest::RecordingSpec empty = a;
        empty.start = QTime(12, 2, 0);
        const QString sa = zrtest::writeRecording(a);
        const QString sb = zrtest::writeRecording(b);
        const QString se = zrtest::writeRecording(empty);
        writeText(se, "garbage only\n"); // in the list, no frame
        zrtest::LogCatcher log;
        Reader r;
        QVERIFY(r.init_displayer_for_stream(QFileInfo(sa), "1", dataFilesOf({sa, sb, se})));

        QVERIFY(!r.continue_read(QString(sb).replace(".zrseek", ".zrvideo"), "2", false, "next"));
        QVERIFY(log.contains("[ERROR] ZRStream read & control :: continue read :: idstream not match"));

        QVERIFY(r.continue_read(QString(sb).replace(".zrseek", ".zrvideo"), "1", false, "previous"));
        QVERIFY(log.contains("[INFO] ZRStream read & control :: continue read :: seek ready :: " + sb));
        QVERIFY(log.contains("[INFO] ZRStream read & control :: continue read :: frame List size :: 5 / previous"));
        QCOMPARE(r.get_index(), 4);
        QCOMPARE(r.get_current_file().fileName(), QFileInfo(sb).fileName());

        // In the list but without frames: a failure, not a success.
        QVERIFY(!r.continue_read(QString(se).replace(".zrseek", ".zrvideo"), "1", false, "next"));
        QVERIFY(log.contains("[ERROR] ZRStream read & control :: continue read :: frame list is empty"));
        // An empty path fails the same way.
        QVERIFY(!r.continue_read(QString(), "1", false, "next"));

        // Audio only is accepted as such.
        QVERIFY(r.continue_read(dir.filePath("110_20260310_120000.zraudio"), "9", false, "next"));
        QVERIFY(log.contains("[INFO] Zrplayer Canvas :: continue decoding :: audio only"));
    }
};

ZR_TEST_MAIN_CORE(TestStreamReader)
#include "tst_stream_reader.moc"
