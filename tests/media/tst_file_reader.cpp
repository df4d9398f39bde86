//! labels: unit
// The recording file reader: its window, stream choice, line pieces, frame rate, the queue's
// back-pressure and stop, byte-buffer mode, and recordings that cannot be read in the middle
// of a range.
#include "media/ZRAudioVideoFileReader.h"
#include "tests/media/EncodedClip.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"
#include "tests/support/Wait.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

extern "C" {
#include <libavutil/frame.h>
}

using namespace zrtest;

namespace {

const QString kDay = QStringLiteral("20260310");

struct Line
{
    QString stamp;   // "HHmmsszzz" of the day, or a full text when it has 17 characters
    QString stream = QStringLiteral("video1");
    QString extra;   // appended after the size field

    Line(QString s, QString st = QStringLiteral("video1"), QString e = {})
        : stamp(std::move(s)), stream(std::move(st)), extra(std::move(e))
    {
    }
};

// Writes <camera>_<day>_<HHmmss>.zrvideo/.zrseek with one encoded picture per line (picture i
// has the uniform luma clipLuma(i)); returns the data file's path.
QString writeRecording(const QString& dir, const QString& startHHmmss, const QList<Line>& lines,
                       const char* encoder = "libx264", const QString& codecText = QStringLiteral("frame/h264"),
                       int gop = 1, int camera = 3)
{
    const QList<EncodedPacket> packets = encodeClip(encoder, 160, 120, int(lines.size()), gop);
    const QString base = QDir(dir).filePath(QStringLiteral("%1_%2_%3").arg(camera).arg(kDay, startHHmmss));
    QFile data(base + ".zrvideo");
    QFile seek(base + ".zrseek");
    if (!data.open(QIODevice::WriteOnly) || !seek.open(QIODevice::WriteOnly) || packets.size() != lines.size())
        return QString();
    for (int i = 0; i < lines.size(); ++i) {
        data.write(packets[i].data);
        const QString stamp = lines[i].stamp.size() == 17 ? lines[i].stamp : kDay + lines[i].stamp;
        seek.write(QStringLiteral("%1:%2:%3:160x120:%4:%5%6\n")
                       .arg(stamp, lines[i].stream, codecText)
                       .arg(packets[i].key ? 1 : 0)
                       .arg(packets[i].data.size())
                       .arg(lines[i].extra)
                       .toUtf8());
    }
    return base + ".zrvideo";
}

QList<Line> evenLines(const QTime& start, int count, int intervalMs)
{
    QList<Line> out;
    for (int i = 0; i < count; ++i)
        out << Line{start.addMSecs(i * intervalMs).toString("HHmmsszzz")};
    return out;
}

QStringList stampsOf(const QList<ZRFrame>& frames)
{
    QStringList out;
    for (const ZRFrame& f : frames)
        out << f.get_timestamp().mid(8);
    return out;
}

// Pops everything queued; returns the records (owned by the caller).
QList<DecodedFrame*> drain(DecodedFrameQueue& q)
{
    QList<DecodedFrame*> out;
    while (DecodedFrame* f = q.take())
        out << f;
    return out;
}

int lumaOf(const DecodedFrame* f)
{
    return f->get_frame()->data[0][f->get_frame()->linesize[0] * 60 + 80];
}

} // namespace

class TestFileReader : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

    QString freshDir()
    {
        static int n = 0;
        const QString d = tmp.path() + QStringLiteral("/r%1").arg(++n);
        QDir().mkpath(d);
        return d;
    }

private slots:
    void window_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("taken");
        const QStringList all{"115959960", "120000000", "120200000", "120459960", "120500000", "120500040", "120600000"};
        QTest::newRow("12:00 to 12:05") << "120000" << "120500" << all.mid(1, 4);
        QTest::newRow("no start") << "" << "120500" << all;
        QTest::newRow("no end") << "120000" << "" << all;
        QTest::newRow("nothing inside") << "130000" << "130500" << QStringList();
    }

    // The window takes frames from its start up to and including the first one at or after
    // its end.
    void window()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QStringList, taken);
        QList<Line> lines;
        for (const char* s : {"115959960", "120000000", "120200000", "120459960", "120500000", "120500040", "120600000"})
            lines << Line{QString::fromLatin1(s)};
        const QString file = writeRecording(freshDir(), "115959", lines);
        ZRAudioVideoFileReader reader({QFileInfo(file)}, "1", start, end);
        QCOMPARE(reader.get_frame_count(), -1);
        QCOMPARE(reader.get_frame(-1).get_timestamp(), QString());
        QSignalSpy errors(&reader, &ZRAudioVideoFileReader::error);
        const QList<ZRFrame> frames = reader.read_seek_file({QFileInfo(file)}, "1", start, end, false);
        QCOMPARE(stampsOf(frames), taken);
        QCOMPARE(reader.get_frame_count(), taken.isEmpty() ? -1 : int(taken.size()));
        QCOMPARE(errors.count(), taken.isEmpty() ? 1 : 0);
        if (!taken.isEmpty()) {
            QCOMPARE(errors.count(), 0);
            QCOMPARE(frames.first().get_camera_name(), QString("CAMERA 3"));
            QCOMPARE(frames.first().get_codec(), QString("frame/h264"));
            QCOMPARE(frames.first().get_data_file(), file);
        } else {
            QCOMPARE(errors.first().first().toInt(), -10);
        }
    }

    // An absent stream id is replaced by the first one present; an id is matched by
    // containment, so 1 also takes 11 and 21.
    void streamChoice()
    {
        QList<Line> lines;
        for (const char* s : {"video2", "video11", "video1", "video21", "video2"})
            lines << Line{QTime(12, 0, int(lines.size())).toString("HHmmsszzz"), QString::fromLatin1(s)};
        const QString file = writeRecording(freshDir(), "120000", lines);
        {
            LogCatcher logs;
            ZRAudioVideoFileReader reader({QFileInfo(file)}, "7", "", "");
            reader.set_camera_names({{3, "Quai"}});
            const QList<ZRFrame> frames = reader.read_seek_file({QFileInfo(file)}, "7", "", "", false);
            QVERIFY(logs.contains("[INFO] ZRAudioVideo file reader :: Read Seek File :: ID STREAM NOT FOUND set it to 2"));
            QCOMPARE(stampsOf(frames), (QStringList{"120000000", "120003000", "120004000"}));
            QCOMPARE(frames.first().get_camera_name(), QString("Quai"));
        }
        ZRAudioVideoFileReader reader({QFileInfo(file)}, "1", "", "");
        const QList<ZRFrame> frames = reader.read_seek_file({QFileInfo(file)}, "1", "", "", false);
        QCOMPARE(stampsOf(frames), (QStringList{"120001000", "120002000", "120003000"}));
        // Offsets count every line of the table, whatever its stream.
        QVERIFY(frames[0].get_offset() > 0);
        QCOMPARE(frames[1].get_offset(), frames[0].get_offset() + frames[0].get_size());
    }

    // A line longer than 511 bytes is read in pieces, each parsed as a line.
    void longLineInPieces()
    {
        const QString dir = freshDir();
        const QString file = writeRecording(dir, "120000", {Line{"120000000"}, Line{"120000040"}});
        // Rewrite the table as one physical line: the first record padded to 511 bytes, the
        // second one starting right there.
        QFile seek(QString(file).replace(".zrvideo", ".zrseek"));
        QVERIFY(seek.open(QIODevice::ReadOnly));
        const QList<QByteArray> parts = seek.readAll().split('\n');
        seek.close();
        QByteArray first = parts[0] + ":";
        first += QByteArray(511 - first.size(), 'p');
        const QByteArray line = first + parts[1] + "\n";
        QVERIFY(line.size() > 511);
        QVERIFY(seek.open(QIODevice::WriteOnly));
        seek.write(line);
        seek.close();
        ZRAudioVideoFileReader reader({QFileInfo(file)}, "1", "", "");
        const QList<ZRFrame> frames = reader.read_seek_file({QFileInfo(file)}, "1", "", "", false);
        QCOMPARE(stampsOf(frames), (QStringList{"120000000", "120000040"}));
    }

    // The rate comes from the first and last stamps, rounded, at least 1, 25 when it cannot be
    // told.
    void frameRate_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("intervalMs");
        QTest::addColumn<double>("fps");
        QTest::newRow("10 s at 25") << 251 << 40 << 25.0;
        QTest::newRow("under a second") << 5 << 40 << 25.0;
        QTest::newRow("10 per second") << 12 << 100 << 10.0;
        QTest::newRow("one frame") << 1 << 40 << 25.0;
        QTest::newRow("slow camera") << 3 << 4000 << 1.0;
    }

    void frameRate()
    {
        QFETCH(int, count);
        QFETCH(int, intervalMs);
        QFETCH(double, fps);
        const QString file = writeRecording(freshDir(), "120000", evenLines(QTime(12, 0, 0), count, intervalMs), "mjpeg",
                                            "frame/jpeg");
        ZRAudioVideoFileReader reader({QFileInfo(file)}, "1", "", "");
        QCOMPARE(reader.get_stream_fps(), -1.0);
        reader.read_seek_file({QFileInfo(file)}, "1", "", "", false);
        QCOMPARE(reader.get_stream_fps(), fps);
    }

    void frameForTime()
    {
        const QString file = writeRecording(freshDir(), "120000", evenLines(QTime(12, 0, 0, 960), 4, 20), "mjpeg",
                                            "frame/jpeg");
        ZRAudioVideoFileReader reader({QFileInfo(file)}, "1");
        QCOMPARE(reader.get_frame_index_for_timestamp(kDay + "120001"), -1);
        reader.read_seek_file({QFileInfo(file)}, "1", "", "", false);
        QCOMPARE(reader.get_frame_index_for_timestamp(kDay + "120001"), 2);
        QCOMPARE(reader.get_frame_index_for_timestamp(kDay + "120001500"), 2);
        QCOMPARE(reader.get_frame_index_for_timestamp(kDay + "120002"), -1);
        QCOMPARE(reader.get_frame_index_for_timestamp("garbage"), -1);
        // Byte-buffer mode: the frame's bytes, undecoded.
        reader.buffer_mode = true;
        QVERIFY(reader.read_frame(false, 1, "1"));
        QFile data(file);
        QVERIFY(data.open(QIODevice::ReadOnly));
        const ZRFrame f = reader.get_frame(1);
        data.seek(f.get_offset());
        QCOMPARE(reader.buffer, data.read(f.get_size()));
        QVERIFY(!reader.read_frame(false, 4, "1"));
        QVERIFY(!reader.read_frame(false, -1, "1"));
    }

    // At most the limit waits in the queue; taking one lets the reader go on at once; a stop
    // ends the thread.
    void backPressureAndStop()
    {
        const QString file = writeRecording(freshDir(), "120000", evenLines(QTime(12, 0, 0), 80, 40));
        DecodedFrameQueue queue;
        ZRAudioVideoFileReader reader({QFileInfo(file)}, "1", "", "");
        reader.set_frame_queue(&queue);
        reader.set_max_queue_size(30);
        reader.start();
        QVERIFY(waitUntil([&] { return queue.size() >= 30; }, 60000));
        QCOMPARE(reader.get_queued_count(), 30);
        QCOMPARE(queue.size(), size_t(30));
        DecodedFrame* first = queue.take();
        QCOMPARE(first->get_frameid(), 0);
        QCOMPARE(QByteArray(first->get_timestamp()), (kDay + "120000000").toLatin1());
        QVERIFY(first->filled);
        QCOMPARE(first->get_drawoverlay(), QString("CAMERA 3"));
        QVERIFY(qAbs(lumaOf(first) - clipLuma(0)) <= 3);
        delete first;
        QVERIFY(waitUntil([&] { return reader.get_queued_count() == 31; }, 60000));
        QCOMPARE(queue.size(), size_t(30));
        QSignalSpy finished(&reader, &QThread::finished);
        reader.stop();
        QVERIFY(reader.wait(60000));
        QCOMPARE(reader.get_queued_count(), 31);
        const QList<DecodedFrame*> left = drain(queue);
        for (int i = 0; i < left.size(); ++i) {
            QCOMPARE(left[i]->get_frameid(), i + 1);
            QVERIFY(qAbs(lumaOf(left[i]) - clipLuma(i + 1)) <= 3);
        }
        qDeleteAll(left);
    }

    // A recording whose seek table or data cannot be read is passed over with a log line, and
    // the rest of the range is still read.
    void unreadableFileInTheMiddle_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("no seek table") << "seek";
        QTest::newRow("no data file") << "data";
        QTest::newRow("data cut short") << "cut";
    }

    void unreadableFileInTheMiddle()
    {
        QFETCH(QString, damage);
        const QString dir = freshDir();
        const QString a = writeRecording(dir, "120000", evenLines(QTime(12, 0, 0), 10, 40));
        const QString b = writeRecording(dir, "120100", evenLines(QTime(12, 1, 0), 10, 40));
        const QString c = writeRecording(dir, "120200", evenLines(QTime(12, 2, 0), 10, 40));
        if (damage == "seek")
            QVERIFY(QFile::remove(QString(b).replace(".zrvideo", ".zrseek")));
        else if (damage == "data")
            QVERIFY(QFile::remove(b));
        else
            QVERIFY(QFile::resize(b, QFileInfo(b).size() / 2));
        LogCatcher logs;
        DecodedFrameQueue queue;
        ZRAudioVideoFileReader reader({QFileInfo(a), QFileInfo(b), QFileInfo(c)}, "1", "115900", "120300");
        reader.set_frame_queue(&queue);
        reader.set_max_queue_size(100);
        reader.start();
        QVERIFY(reader.wait(60000));
        const QList<DecodedFrame*> got = drain(queue);
        QStringList stamps;
        for (DecodedFrame* f : got)
            stamps << QString::fromLatin1(f->get_timestamp()).mid(8, 4);
        qDeleteAll(got);
        QCOMPARE(stamps.count("1200"), 10);
        QCOMPARE(stamps.count("1202"), 10);
        if (damage == "cut")
            QVERIFY(stamps.count("1201") > 0 && stamps.count("1201") < 10);
        else
            QCOMPARE(stamps.count("1201"), 0);
        QCOMPARE(reader.get_skipped_files(), QStringList{b});
        QVERIFY(logs.contains("[WARN] ZRAudioVideo file reader :: skip file :: "));
    }

    // A frame that does not decode queues nothing: no record carries its frame id.
    void undecodableFrameLeavesAGap()
    {
        const QString dir = freshDir();
        const QString file = writeRecording(dir, "120000", evenLines(QTime(12, 0, 0), 6, 40), "mjpeg", "frame/jpeg");
        // Frame 3's bytes become garbage of the same size.
        ZRAudioVideoFileReader probe({QFileInfo(file)}, "1");
        probe.read_seek_file({QFileInfo(file)}, "1", "", "", false);
        const ZRFrame f3 = probe.get_frame(3);
        QFile data(file);
        QVERIFY(data.open(QIODevice::ReadWrite));
        data.seek(f3.get_offset());
        data.write(QByteArray(f3.get_size(), '\x55'));
        data.close();

        DecodedFrameQueue queue;
        ZRAudioVideoFileReader reader({QFileInfo(file)}, "1", "", "");
        reader.set_frame_queue(&queue);
        reader.set_max_queue_size(30);
        reader.start();
        QVERIFY(reader.wait(60000));
        const QList<DecodedFrame*> got = drain(queue);
        QList<int> ids;
        for (DecodedFrame* f : got)
            ids << f->get_frameid();
        qDeleteAll(got);
        QCOMPARE(ids, (QList<int>{0, 1, 2, 4, 5}));
    }
};

ZR_TEST_MAIN_CORE(TestFileReader)
#include "tst_file_reader.moc"
