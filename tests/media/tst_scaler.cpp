//! labels: unit
#include "media/ZRScaler.h"
#include "tests/support/LogCatcher.h"
#include "tests/support/TestMain.h"

#include <QtTest>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace {

struct FrameHolder
{
    AVFrame* f = nullptr;
    FrameHolder(int w, int h, AVPixelFormat fmt, int y, int u = 128, int v = 128,
                AVColorRange range = AVCOL_RANGE_UNSPECIFIED)
    {
        f = av_frame_alloc();
        f->width = w;
        f->height = h;
        f->format = fmt;
        f->color_range = range;
        av_frame_get_buffer(f, 32);
        for (int r = 0; r < h; ++r)
            memset(f->data[0] + r * f->linesize[0], y, w);
        for (int r = 0; r < (h + 1) / 2; ++r) {
            memset(f->data[1] + r * f->linesize[1], u, (w + 1) / 2);
            memset(f->data[2] + r * f->linesize[2], v, (w + 1) / 2);
        }
    }
    ~FrameHolder() { av_frame_free(&f); }
};

} // namespace

class TestScaler : public QObject
{
    Q_OBJECT

private slots:
    void outputSize_data()
    {
        QTest::addColumn<int>("sw");
        QTest::addColumn<int>("sh");
        QTest::addColumn<int>("rw");
        QTest::addColumn<int>("rh");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<int>("ow");
        QTest::addColumn<int>("oh");
        QTest::newRow("fit wide into square") << 1920 << 1080 << 960 << 960 << true << 960 << 540;
        QTest::newRow("never enlarged") << 640 << 480 << 1920 << 1080 << true << 640 << 480;
        QTest::newRow("source size when 0x0") << 640 << 480 << 0 << 0 << false << 640 << 480;
        QTest::newRow("stretch without keep") << 640 << 480 << 320 << 100 << false << 320 << 100;
        QTest::newRow("fit tall") << 480 << 640 << 300 << 300 << true << 225 << 300;
    }
    void outputSize()
    {
        QFETCH(int, sw);
        QFETCH(int, sh);
        QFETCH(int, rw);
        QFETCH(int, rh);
        QFETCH(bool, keep);
        QFETCH(int, ow);
        QFETCH(int, oh);
        ZRScaler s;
        s.setup_scaler(sw, sh, rw, rh, keep, AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGRA);
        QVERIFY(s.is_ready());
        QCOMPARE(s.get_output_width(), ow);
        QCOMPARE(s.get_output_height(), oh);
        FrameHolder src(sw, sh, AV_PIX_FMT_YUV420P, 100);
        AVFrame* out = s.scale(src.f);
        QVERIFY(out);
        QCOMPARE(out->width, ow);
        QCOMPARE(out->height, oh);
        QCOMPARE(out->format, int(AV_PIX_FMT_BGRA));
    }

    void invalidSourceSize()
    {
        zrtest::LogCatcher log;
        ZRScaler s;
        s.set_name("cam");
        s.setup_scaler(0, 480, 0, 0, false, AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGRA);
        QVERIFY(!s.is_ready());
        QVERIFY(log.texts().contains("[WARN] ZRScaler [cam] :: setup_scaler invalid src size"));
        FrameHolder src(64, 48, AV_PIX_FMT_YUV420P, 100);
        QVERIFY(!s.scale(src.f));
        QVERIFY(!s.scale(nullptr));
    }

    void sameSetupKeepsContext()
    {
        zrtest::LogCatcher log;
        ZRScaler s;
        s.setup_scaler(64, 48, 0, 0, false, AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGRA);
        s.setup_scaler(64, 48, 0, 0, false, AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGRA);
        QCOMPARE(log.count("setup OK"), 1);
    }

    // A picture of another size rebuilds the context; the output keeps the requested size,
    // or follows the source when none was requested.
    void sourceSizeChange()
    {
        ZRScaler fixed;
        fixed.setup_scaler(640, 480, 640, 480, false, AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGRA);
        FrameHolder big(1280, 720, AV_PIX_FMT_YUV420P, 100);
        AVFrame* out = fixed.scale(big.f);
        QVERIFY(out);
        QCOMPARE(out->width, 640);
        QCOMPARE(out->height, 480);

        ZRScaler follow;
        follow.setup_scaler(640, 480, 0, 0, false, AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGRA);
        out = follow.scale(big.f);
        QVERIFY(out);
        QCOMPARE(out->width, 1280);
        QCOMPARE(out->height, 720);
    }

    // Full-range formats (and pictures marked full range) convert Y=16 to a grey well above
    // black; limited range maps Y=16 to black. Details are sent once per change.
    void colourRange_data()
    {
        QTest::addColumn<int>("fmt");
        QTest::addColumn<int>("range");
        QTest::addColumn<bool>("full");
        QTest::newRow("yuvj420p unspecified is full") << int(AV_PIX_FMT_YUVJ420P) << int(AVCOL_RANGE_UNSPECIFIED) << true;
        QTest::newRow("yuvj420p marked mpeg is limited") << int(AV_PIX_FMT_YUVJ420P) << int(AVCOL_RANGE_MPEG) << false;
        QTest::newRow("yuv420p unspecified is limited") << int(AV_PIX_FMT_YUV420P) << int(AVCOL_RANGE_UNSPECIFIED) << false;
        QTest::newRow("yuv420p marked jpeg is full") << int(AV_PIX_FMT_YUV420P) << int(AVCOL_RANGE_JPEG) << true;
    }
    void colourRange()
    {
        QFETCH(int, fmt);
        QFETCH(int, range);
        QFETCH(bool, full);
        zrtest::LogCatcher log;
        ZRScaler s;
        s.setup_scaler(32, 32, 0, 0, false, fmt, AV_PIX_FMT_BGRA);
        FrameHolder src(32, 32, AVPixelFormat(fmt), 16, 128, 128, AVColorRange(range));
        AVFrame* out = s.scale(src.f);
        QVERIFY(out);
        const int grey = out->data[0][16 * out->linesize[0] + 16 * 4 + 1];
        if (full)
            QVERIFY2(grey >= 12 && grey <= 22, qPrintable(QString::number(grey)));
        else
            QVERIFY2(grey <= 3, qPrintable(QString::number(grey)));
        QVERIFY(log.contains(full ? "colorspace range set: src=full dst=limited"
                                  : "colorspace range set: src=limited dst=limited"));
        const int before = log.count("colorspace range set");
        QVERIFY(s.scale(src.f));
        QCOMPARE(log.count("colorspace range set"), before);
    }

    // A holder of a reference to the last picture keeps its pixels: the next conversion
    // writes into fresh buffers.
    void referencedPictureSurvives()
    {
        ZRScaler s;
        s.setup_scaler(64, 48, 0, 0, false, AV_PIX_FMT_YUV420P, AV_PIX_FMT_BGRA);
        FrameHolder a(64, 48, AV_PIX_FMT_YUV420P, 200);
        FrameHolder b(64, 48, AV_PIX_FMT_YUV420P, 30);
        AVFrame* out = s.scale(a.f);
        QVERIFY(out);
        AVFrame* kept = av_frame_alloc();
        QCOMPARE(av_frame_ref(kept, out), 0);
        const uint8_t before = kept->data[0][0];
        QVERIFY(s.scale(b.f));
        QCOMPARE(kept->data[0][0], before);
        av_frame_free(&kept);
    }
};

ZR_TEST_MAIN_CORE(TestScaler)
#include "tst_scaler.moc"
