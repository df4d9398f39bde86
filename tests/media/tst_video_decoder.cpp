//! labels: unit
#include "media/VideoDecoder.h"
#include "media/ZRScaler.h"
#include "tests/media/EncodedClip.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QtTest>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

class TestVideoDecoder : public QObject
{
    Q_OBJECT

private slots:
    void codecNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ok");
        for (const char* n : {"libx264", "h264", "h.264", "hevc", "h265", "h.265", "mpeg4", "jpeg", "mjpeg"})
            QTest::newRow(n) << QString(n) << true;
        for (const char* n : {"H264", "libx265", "vp9", ""})
            QTest::newRow(n[0] ? n : "empty") << QString(n) << false;
    }
    void codecNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, ok);
        zrtest::LogCatcher log;
        VideoDecoder d;
        QCOMPARE(d.open_decoder(name.toStdString()), ok);
        QVERIFY(log.contains("[INFO] Video Decoder :: hardware decoder enable : 0"));
        QCOMPARE(log.contains("[ERROR] Video Decoder :: Codec decode NULL"), !ok);
        QCOMPARE(d.get_codec_name(), name.toStdString());
    }

    void refusals()
    {
        zrtest::LogCatcher log;
        VideoDecoder d;
        uint8_t byte = 0;
        QVERIFY(!d.decode_frame(&byte, 1, true));
        QVERIFY(log.contains("[ERROR] Video Decoder :: decode frame :: codec context is NULL"));
        QVERIFY(d.open_decoder("h264"));
        QVERIFY(!d.decode_frame(nullptr, 10, true));
        QVERIFY(log.contains("[ERROR] Video Decoder :: decode frame :: buffer image is NULL"));
        // Garbage gives no picture and no crash.
        QByteArray junk(4096, '\x5a');
        QVERIFY(!d.decode_frame(reinterpret_cast<uint8_t*>(junk.data()), junk.size(), true));
    }

    // Every codec decodes packet by packet to BGRA at the coded size with the key flags of
    // the stream; the flat luma of each picture identifies it.
    void decodeToBgra_data()
    {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<QString>("decoder");
        QTest::newRow("h264") << "libx264" << "libx264";
        QTest::newRow("hevc") << "libx265" << "hevc";
        QTest::newRow("mjpeg") << "mjpeg" << "mjpeg";
        QTest::newRow("mpeg4") << "mpeg4" << "mpeg4";
    }
    void decodeToBgra()
    {
        QFETCH(QString, encoder);
        QFETCH(QString, decoder);
        const int n = 12;
        const auto packets = zrtest::encodeClip(encoder.toUtf8().constData(), 176, 144, n, 5);
        if (packets.isEmpty())
            QSKIP("encoder not available");
        QCOMPARE(packets.size(), n);
        zrtest::LogCatcher log;
        VideoDecoder d;
        QVERIFY(d.open_decoder(decoder.toStdString()));
        for (int i = 0; i < n; ++i) {
            QByteArray bytes = packets[i].data;
            AVFrame* f = d.decode_frame(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(), true);
            QVERIFY2(f, qPrintable(QString("frame %1").arg(i)));
            QCOMPARE(f->format, int(AV_PIX_FMT_BGRA));
            QCOMPARE(f->width, 176);
            QCOMPARE(f->height, 144);
            QCOMPARE(d.get_width(), 176);
            QCOMPARE(d.get_height(), 144);
            QCOMPARE(d.get_is_keyframe(), packets[i].key);
            // Grey from limited-range luma Y: (Y-16)*255/219.
            const int expected = qBound(0, int((zrtest::clipLuma(i) - 16) * 255.0 / 219.0 + 0.5), 255);
            const int got = f->data[0][72 * f->linesize[0] + 88 * 4 + 1];
            if (encoder == "mjpeg") // full range: Y is the grey itself
                QVERIFY2(qAbs(got - zrtest::clipLuma(i)) <= 4, qPrintable(QString("%1: %2").arg(i).arg(got)));
            else
                QVERIFY2(qAbs(got - expected) <= 4, qPrintable(QString("%1: %2 vs %3").arg(i).arg(got).arg(expected)));
        }
        QCOMPARE(log.count("return first frame after scale"), 1);
        QCOMPARE(log.count("[INFO]  Video Decoder :: setup_scaler :: 176x144"), 1);
    }

    // Full-range MJPEG colours: pure red in YUVJ (Y=76, U=85, V=255) comes out near (255,0,0).
    void mjpegFullRangeColour()
    {
        const auto packets = zrtest::encodeClip("mjpeg", 64, 64, 1, 1, 76, 85, 255);
        QCOMPARE(packets.size(), 1);
        VideoDecoder d;
        QVERIFY(d.open_decoder("jpeg"));
        QByteArray bytes = packets[0].data;
        AVFrame* f = d.decode_frame(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size(), true);
        QVERIFY(f);
        const uint8_t* px = f->data[0] + 32 * f->linesize[0] + 32 * 4;
        QVERIFY2(px[2] >= 245 && px[1] <= 10 && px[0] <= 10,
                 qPrintable(QString("B=%1 G=%2 R=%3").arg(px[0]).arg(px[1]).arg(px[2])));
    }

    // A size change in mid-stream: unscaled decodes record the new size, scaled ones set the
    // scaler up again and return BGRA of the new size. A reopen logs the first frame again.
    void sizeChangeAndReopen()
    {
        const auto small = zrtest::encodeClip("mjpeg", 64, 48, 2, 1);
        const auto big = zrtest::encodeClip("mjpeg", 128, 96, 2, 1);
        zrtest::LogCatcher log;
        VideoDecoder d;
        QVERIFY(d.open_decoder("mjpeg"));
        QByteArray a = small[0].data, b = big[0].data, c = small[1].data;
        QVERIFY(d.decode_frame(reinterpret_cast<uint8_t*>(a.data()), a.size(), false));
        QCOMPARE(d.get_width(), 64);
        QVERIFY(d.decode_frame(reinterpret_cast<uint8_t*>(b.data()), b.size(), false));
        QCOMPARE(d.get_width(), 128);
        QCOMPARE(d.get_pix_fmt(), int(AV_PIX_FMT_YUVJ420P));
        AVFrame* f = d.decode_frame(reinterpret_cast<uint8_t*>(c.data()), c.size(), true);
        QVERIFY(f);
        QCOMPARE(f->width, 64);
        QCOMPARE(f->format, int(AV_PIX_FMT_BGRA));
        QCOMPARE(log.count("return first frame"), 1);
        QVERIFY(!d.open_decoder("nope"));
        QVERIFY(d.open_decoder("mjpeg"));
        QVERIFY(d.decode_frame(reinterpret_cast<uint8_t*>(c.data()), c.size(), true));
        QCOMPARE(log.count("return first frame after scale"), 1);
    }

    // A scaled picture always has the size the decoder announces, also when unscaled decodes
    // met the size change first: readers copy width x height pixels out of it.
    void scaledSizeAfterUnscaledSizeChange()
    {
        const auto small = zrtest::encodeClip("mjpeg", 64, 48, 1, 1);
        const auto big = zrtest::encodeClip("mjpeg", 128, 96, 2, 1);
        VideoDecoder d;
        QVERIFY(d.open_decoder("mjpeg"));
        QByteArray a = small[0].data, b = big[0].data, c = big[1].data;
        QVERIFY(d.decode_frame(reinterpret_cast<uint8_t*>(a.data()), a.size(), true));
        QVERIFY(d.decode_frame(reinterpret_cast<uint8_t*>(b.data()), b.size(), false));
        AVFrame* f = d.decode_frame(reinterpret_cast<uint8_t*>(c.data()), c.size(), true);
        QVERIFY(f);
        QCOMPARE(d.get_width(), 128);
        QCOMPARE(d.get_height(), 96);
        QCOMPARE(f->width, 128);
        QCOMPARE(f->height, 96);
        QVERIFY(f->linesize[0] >= 4 * 128);
    }

    void videoQuality()
    {
        zrtest::LogCatcher log;
        VideoDecoder d;
        d.set_video_quality(SWS_BILINEAR);
        d.set_video_quality(-1);
        QVERIFY(d.open_decoder("mjpeg"));
        const auto pk = zrtest::encodeClip("mjpeg", 64, 48, 1, 1);
        QByteArray a = pk[0].data;
        QVERIFY(d.decode_frame(reinterpret_cast<uint8_t*>(a.data()), a.size(), true));
        QVERIFY(d.get_scaler()->is_ready());
    }
};

ZR_TEST_MAIN_CORE(TestVideoDecoder)
#include "tst_video_decoder.moc"
