//! labels: unit
// The video encoder on its own: codec names, failures and their signals, font sizes, pictures
// of another size than the encoder's, and the raw mode's data file and seek table.
#include "media/ZRSeekTable.h"
#include "media/ZRStreamEncoder.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

extern "C" {
#include <libavutil/frame.h>
}

namespace {

struct Picture
{
    AVFrame* f = av_frame_alloc();
    Picture(int w, int h, int luma)
    {
        f->width = w;
        f->height = h;
        f->format = AV_PIX_FMT_YUV420P;
        av_frame_get_buffer(f, 32);
        for (int r = 0; r < h; ++r)
            memset(f->data[0] + r * f->linesize[0], luma, size_t(w));
        for (int p = 1; p < 3; ++p)
            for (int r = 0; r < h / 2; ++r)
                memset(f->data[p] + r * f->linesize[p], 128, size_t(w / 2));
    }
    ~Picture() { av_frame_free(&f); }
};

QString probe(const QString& path, const QString& entries)
{
    QProcess p;
    p.start("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries", entries, "-of",
                        "default=nw=1:nk=1", path});
    p.waitForFinished(60000);
    return QString::fromLatin1(p.readAllStandardOutput()).trimmed().replace('\n', ' ');
}

} // namespace

class TestStreamEncoder : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;

private slots:
    void unknownCodecNameSaysSoWithoutSignal()
    {
        zrtest::LogCatcher logs;
        ZRStreamEncoder e;
        QSignalSpy errors(&e, &ZRStreamEncoder::error);
        QVERIFY(!e.init_encoder(tmp.filePath("x.mp4"), "H264", 2048, 25, 160, 120, false, "normal", AV_PIX_FMT_YUV420P));
        QVERIFY(logs.contains("[ERROR] ZRStream Encoder :: init encoder :: Failed to set video codec H264"));
        QCOMPARE(errors.count(), 0);
        QVERIFY(!QFile::exists(tmp.filePath("x.mp4")));
    }

    void missingFolderIsMinus9()
    {
        ZRStreamEncoder e;
        QSignalSpy errors(&e, &ZRStreamEncoder::error);
        const QString path = tmp.filePath("no/such/folder/x.mp4");
        QVERIFY(!e.init_encoder(path, "libx264", 2048, 25, 160, 120, false, "normal", AV_PIX_FMT_YUV420P));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().first().toInt(), -9);
    }

    void fontSizes_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("points");
        QTest::newRow("small") << "small" << 12;
        QTest::newRow("normal") << "normal" << 16;
        QTest::newRow("large") << "large" << 20;
        QTest::newRow("extralarge") << "extralarge" << 26;
        QTest::newRow("other") << "Large" << -1;
    }

    void fontSizes()
    {
        QFETCH(QString, size);
        QFETCH(int, points);
        ZRStreamEncoder e;
        QVERIFY(e.init_encoder(tmp.filePath("font-" + size + ".avi"), "mjpeg", 2048, 25, 160, 120, true, size,
                               AV_PIX_FMT_YUV420P));
        QCOMPARE(e.get_font_size(), points);
        QVERIFY(e.end_encoding());
    }

    // Pictures of other sizes are brought to the encoder's size; the file's timing counts one
    // frame per picture from the first.
    void otherSizesAreConverted()
    {
        const QString path = tmp.filePath("sizes.mp4");
        ZRStreamEncoder e;
        QVERIFY(e.init_encoder(path, "libx264", 2048, 25, 320, 240, false, "normal", AV_PIX_FMT_YUV420P));
        Picture same(320, 240, 100), smaller(160, 120, 150), larger(640, 480, 200);
        for (int i = 0; i < 5; ++i)
            for (Picture* p : {&same, &smaller, &larger})
                QVERIFY(e.encode_frame(p->f, p->f->width, p->f->height, "20250314101500000", "", 7000 + i));
        QVERIFY(e.end_encoding());
        QVERIFY(!e.has_write_error());
        QCOMPARE(probe(path, "stream=width,height,nb_read_frames"), QString("320 240 15"));
        QCOMPARE(probe(path, "format=duration"), QString("0.600000"));
    }

    // Raw mode: the packets go to a data file and a seek table in the recording format.
    void rawModeWritesARecording()
    {
        const QString data = tmp.filePath("9_20250314_101500.zrvideo");
        const QString seek = tmp.filePath("9_20250314_101500.zrseek");
        FILE* df = std::fopen(data.toLocal8Bit().constData(), "wb");
        FILE* sf = std::fopen(seek.toLocal8Bit().constData(), "wb");
        QVERIFY(df && sf);
        QDateTime time;
        {
            ZRStreamEncoder e;
            QVERIFY(e.init_encoder(tmp.filePath("raw-side.avi"), "mjpeg", 2048, 25, 160, 120, false, "normal",
                                   AV_PIX_FMT_YUV420P));
            for (int i = 0; i < 30; ++i) {
                Picture p(160, 120, 40 + i * 5);
                QVERIFY(e.encode_frame(p.f, 160, 120, "20250314101500000", "", i, df, sf, &time));
            }
            QVERIFY(e.end_encoding());
        }
        std::fclose(df);
        std::fclose(sf);
        QFile s(seek);
        QVERIFY(s.open(QIODevice::ReadOnly));
        const QByteArray text = s.readAll();
        const QList<ZRFrame> frames = ZRSeekTable::parse_text(text, "video", data);
        QCOMPARE(frames.size(), 30);
        qint64 total = 0;
        for (int i = 0; i < frames.size(); ++i) {
            QCOMPARE(frames[i].get_offset(), total);
            total += frames[i].get_size();
            QCOMPARE(frames[i].get_stream_id(), QString("1"));
            QCOMPARE(frames[i].get_resolution(), QString("160x120"));
        }
        QCOMPARE(total, QFileInfo(data).size());
        QVERIFY(frames[0].is_keyframe());
        QVERIFY(text.startsWith("20250314101500000:video1:frame/jpeg:160x120:1:"));
        // Times start at the first picture's stamp and advance by the packets' distance.
        QCOMPARE(frames.last().get_timestamp(), QString("20250314101501160"));
        QCOMPARE(time.toString("yyyyMMddHHmmsszzz"), QString("20250314101501160"));
    }
};

ZR_TEST_MAIN_GUI(TestStreamEncoder)
#include "tst_stream_encoder.moc"
