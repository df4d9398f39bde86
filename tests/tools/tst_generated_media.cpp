//! labels: unit
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"
#include "tests/support/TestMain.h"
#include "tests/support/ToneMeter.h"
#include "tests/tools/VideoFrames.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

using namespace zrtest;
using zrtoolstest::SeekLine;

namespace {

struct ProbedPacket
{
    qint64 size = 0;
    bool key = false;
};

QList<ProbedPacket> probe(const QString& format, const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"), format,
                                        QStringLiteral("-show_entries"), QStringLiteral("packet=size,flags"),
                                        QStringLiteral("-of"), QStringLiteral("csv=p=0"), path});
    p.waitForFinished(120000);
    QList<ProbedPacket> out;
    for (const QByteArray& l : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = l.trimmed().split(',');
        if (f.size() < 2)
            continue;
        out << ProbedPacket{f[0].toLongLong(), f[1].startsWith('K')};
    }
    return out;
}

qint64 stampMs(const QString& stamp)
{
    const QDateTime t = QDateTime::fromString(stamp, QStringLiteral("yyyyMMddHHmmsszzz"));
    return t.isValid() ? t.time().msecsSinceStartOfDay() : -1;
}

} // namespace

// Data files and seek tables of generated recordings, checked with ffprobe and libavcodec.
class TestGeneratedMedia : public QObject
{
    Q_OBJECT

    ExportGenerator gen;

private slots:
    void dataFilesMatchTheirSeekTables_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("probeFormat");
        QTest::addColumn<QString>("codecText");
        QTest::addColumn<int>("gop");
        QTest::newRow("h264") << "h264" << "h264" << "frame/h264" << 10;
        QTest::newRow("h265") << "h265" << "hevc" << "frame/h265" << 25;
        QTest::newRow("mjpeg") << "mjpeg" << "mjpeg" << "frame/jpeg" << 25;
    }

    void dataFilesMatchTheirSeekTables()
    {
        QFETCH(QString, codec);
        QFETCH(QString, probeFormat);
        QFETCH(QString, codecText);
        QFETCH(int, gop);
        const GeneratedExport ex = gen.generate({"--codec", codec, "--gop", QString::number(gop), "--streams", "2",
                                                 "--minutes", "2", "--file-seconds", "3", "--size", "320x180",
                                                 "--seed", "5"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        QCOMPARE(ex.cameras.size(), 1);
        QCOMPARE(ex.cameras[0].recordings.size(), 2);
        for (const GeneratedRecording& r : ex.cameras[0].recordings) {
            QCOMPARE(r.frames, 75);
            QCOMPARE(r.frames2, 75);
            const QList<SeekLine> lines = zrtoolstest::readSeek(r.seekPath);
            QCOMPARE(lines.size(), 150);
            QFile data(r.videoPath);
            QVERIFY(data.open(QIODevice::ReadOnly));
            const QByteArray bytes = data.readAll();
            qint64 sum = 0;
            for (int i = 0; i < lines.size(); ++i) {
                const SeekLine& l = lines[i];
                const int frame = i / 2;
                // Streams interleave frame by frame, with their own sizes.
                QCOMPARE(l.stream, i % 2 ? QStringLiteral("video2") : QStringLiteral("video1"));
                QCOMPARE(l.codec, codecText);
                QCOMPARE(l.resolution, i % 2 ? QStringLiteral("160x90") : QStringLiteral("320x180"));
                QCOMPARE(stampMs(l.stamp), qint64(r.startMs + frame * 40));
                QCOMPARE(l.key, codec == QLatin1String("mjpeg") || frame % gop == 0);
                if (l.key && codec == QLatin1String("h264"))
                    QCOMPARE(bytes.at(sum + 4) & 0x1f, 7);          // SPS first
                if (l.key && codec == QLatin1String("h265"))
                    QCOMPARE((bytes.at(sum + 4) >> 1) & 0x3f, 32);  // VPS first
                sum += l.size;
            }
            QCOMPARE(sum, qint64(bytes.size()));

            const QList<ProbedPacket> probed = probe(probeFormat, r.videoPath);
            QCOMPARE(probed.size(), lines.size());
            // FFmpeg's HEVC parser gives the leading zero byte of a four-byte start code to the
            // packet before it; compare the packets' start offsets allowing for that.
            qint64 ours = 0, theirs = 0;
            for (int i = 0; i < lines.size(); ++i) {
                QCOMPARE(probed[i].key, lines[i].key);
                if (probeFormat == QLatin1String("hevc"))
                    QVERIFY(theirs == ours || (theirs == ours + 1 && bytes.at(ours) == 0));
                else
                    QCOMPARE(probed[i].size, lines[i].size);
                ours += lines[i].size;
                theirs += probed[i].size;
            }
            QCOMPARE(theirs, ours);

            // No B-frames: pictures come out in file order, each marked with its index.
            for (const QString& stream : {QStringLiteral("video1"), QStringLiteral("video2")}) {
                const QList<QImage> frames = zrtoolstest::decodeStream(r.videoPath, r.seekPath, stream);
                QCOMPARE(frames.size(), 75);
                for (int i = 0; i < frames.size(); ++i) {
                    const FrameMarker m = readFrameMarker(frames[i]);
                    QVERIFY(m.found);
                    QCOMPARE(m.frameIndex, i);
                    QCOMPARE(m.msOfDay(), r.startMs + i * 40);
                    QCOMPARE(m.cameraId, 1);
                }
            }
        }
    }

    void audioFilesAreAacPackets()
    {
        const GeneratedExport ex = gen.generate({"--audio", "--file-seconds", "5", "--size", "160x90", "--seed", "2"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        const GeneratedRecording& r = ex.cameras[0].recordings[0];
        QVERIFY(QFile::exists(r.audioPath));
        const QList<SeekLine> lines = zrtoolstest::readSeek(r.audioSeekPath);
        QCOMPARE(lines.size(), r.audioPackets);
        QCOMPARE(lines.size(), 5 * 16000 / 1024);
        const QList<ProbedPacket> probed = probe(QStringLiteral("aac"), r.audioPath);
        QCOMPARE(probed.size(), lines.size());
        qint64 sum = 0;
        for (int i = 0; i < lines.size(); ++i) {
            QCOMPARE(lines[i].stream, QStringLiteral("audio1"));
            QCOMPARE(lines[i].codec, QStringLiteral("aac"));
            QCOMPARE(probed[i].size, lines[i].size);
            QCOMPARE(stampMs(lines[i].stamp), qint64(r.startMs + i * 64));
            sum += lines[i].size;
        }
        QCOMPARE(sum, QFileInfo(r.audioPath).size());

        // Decoded in order, packet k sounds at 300 + 30 * (k % 100) Hz (packet 0 is the priming).
        QProcess ff;
        ff.start(QStringLiteral("ffmpeg"), {"-v", "error", "-f", "aac", "-i", r.audioPath, "-f", "s16le", "-ac", "1",
                                            "-ar", "16000", "-"});
        QVERIFY(ff.waitForFinished(120000));
        const QByteArray pcm = ff.readAllStandardOutput();
        QVERIFY(pcm.size() >= lines.size() * 1024 * 2);
        for (int k = 1; k < lines.size(); ++k) {
            const double hz = toneHz(pcm.mid(k * 2048, 2048), 1, 16000);
            const double want = 300.0 + 30.0 * (k % 100);
            QVERIFY2(std::abs(hz - want) < 6.0, qPrintable(QStringLiteral("packet %1: %2 Hz, want %3").arg(k).arg(hz).arg(want)));
        }
    }

    void recordingsFollowTheClock()
    {
        const GeneratedExport ex = gen.generate({"--cameras", "2", "--first-camera", "7", "--days", "2", "--first-day",
                                                 "2025-12-31", "--minutes", "4", "--skip", "1,2", "--start",
                                                 "23:50:00", "--file-seconds", "1", "--size", "64x36", "--fps", "10"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        QCOMPARE(ex.days, (QStringList{"2025-12-31", "2026-01-01"}));
        QCOMPARE(ex.cameras.size(), 2);
        const GeneratedCamera& c = ex.cameras[1];
        QCOMPARE(c.id, 8);
        QCOMPARE(c.recordings.size(), 4);
        const QList<GeneratedRecording> day2 = c.recordingsOf(QStringLiteral("2026-01-01"));
        QCOMPARE(day2.size(), 2);
        QCOMPARE(QFileInfo(day2[0].videoPath).fileName(), QStringLiteral("8_20260101_235000.zrvideo"));
        QCOMPARE(QFileInfo(day2[1].videoPath).fileName(), QStringLiteral("8_20260101_235300.zrvideo"));
        QCOMPARE(day2[1].start, QDateTime(QDate(2026, 1, 1), QTime(23, 53, 0)));
        QCOMPARE(day2[1].frames, 10);
        const QList<SeekLine> lines = zrtoolstest::readSeek(day2[1].seekPath);
        QCOMPARE(lines.last().stamp, QStringLiteral("20260101235300900"));
        QVERIFY(day2[1].dir.endsWith(QStringLiteral("/2026-01-01/cam000008")));
    }

    // Sensor noise makes every picture differ and the stream larger, the markers still read,
    // and the same seed writes the same bytes.
    void noiseKeepsMarkers()
    {
        const QStringList args{"--file-seconds", "2", "--size", "320x180", "--seed", "9"};
        const GeneratedExport plain = gen.generate(args);
        const GeneratedExport noisy = gen.generate(args + QStringList{"--noise", "8"});
        const GeneratedExport again = gen.generate(args + QStringList{"--noise", "8"});
        QVERIFY2(plain.ok && noisy.ok && again.ok, qPrintable(plain.error + noisy.error + again.error));
        const GeneratedRecording& a = plain.cameras[0].recordings[0];
        const GeneratedRecording& b = noisy.cameras[0].recordings[0];
        QVERIFY2(QFileInfo(b.videoPath).size() > QFileInfo(a.videoPath).size() * 5 / 4,
                 qPrintable(QString("%1 vs %2").arg(QFileInfo(b.videoPath).size()).arg(QFileInfo(a.videoPath).size())));
        QFile x(b.videoPath), y(again.cameras[0].recordings[0].videoPath);
        QVERIFY(x.open(QIODevice::ReadOnly) && y.open(QIODevice::ReadOnly));
        QCOMPARE(x.readAll(), y.readAll());
        const QList<QImage> pictures = zrtoolstest::decodeStream(b.videoPath, b.seekPath, "video1");
        QCOMPARE(pictures.size(), 50);
        for (int i : {0, 25, 49}) {
            const FrameMarker m = readFrameMarker(pictures[i]);
            QVERIFY(m.found);
            QCOMPARE(m.frameIndex, i);
        }
    }

    // A camera-like stream: the bit rate asked for (over a one-second buffer) whatever the noise,
    // the preset said in the summary, and pictures that still carry their markers. A preset or a
    // rate the encoders do not know is refused.
    void cameraLikeRate()
    {
        const GeneratedExport ex = gen.generate({"--file-seconds", "4", "--size", "320x180", "--seed", "9", "--noise",
                                                 "12", "--preset", "veryfast", "--bitrate", "600"});
        QVERIFY2(ex.ok, qPrintable(ex.error));
        QCOMPARE(ex.json.value("preset").toString(), QStringLiteral("veryfast"));
        QCOMPARE(ex.json.value("bitrate").toInt(), 600);
        const GeneratedRecording& r = ex.cameras[0].recordings[0];
        const double kbps = QFileInfo(r.videoPath).size() * 8.0 / 1000.0 / 4.0;
        QVERIFY2(kbps > 600 * 0.7 && kbps < 600 * 1.25, qPrintable(QString("%1 kbit/s").arg(kbps)));
        const QList<QImage> pictures = zrtoolstest::decodeStream(r.videoPath, r.seekPath, "video1");
        QCOMPARE(pictures.size(), 100);
        for (int i : {0, 37, 99}) {
            const FrameMarker m = readFrameMarker(pictures[i]);
            QVERIFY(m.found);
            QCOMPARE(m.frameIndex, i);
        }

        for (const QStringList& bad : {QStringList{"--preset", "sluggish"}, QStringList{"--bitrate", "0"},
                                       QStringList{"--bitrate", "fast"}}) {
            const GeneratedExport refused = gen.generate(QStringList{"--file-seconds", "1", "--size", "64x36"} + bad);
            QVERIFY2(!refused.ok, qPrintable(bad.join(' ')));
            QVERIFY2(refused.error.contains(bad.first()), qPrintable(refused.error));
        }
    }
};

ZR_TEST_MAIN_GUI(TestGeneratedMedia)
#include "tst_generated_media.moc"
