//! labels: unit
#include "media/FFmpegHolders.h"
#include "media/PictureBuffers.h"
#include "platform/LargePages.h"
#include "tests/media/EncodedClip.h"
#include "tests/support/TestMain.h"

#include <QtTest>

#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

struct Segment
{
    int width;
    int height;
};

// Decodes every packet with the codec's own buffers, or with ours; the pictures come back as
// references that outlive the decoder.
std::vector<ff::FramePtr> decodeAll(const QList<zrtest::EncodedPacket>& packets, AVCodecID id, int threads,
                                    bool ours)
{
    std::vector<ff::FramePtr> out;
    auto buffers = ours ? std::make_unique<PictureBuffers>() : nullptr;
    const AVCodec* codec = avcodec_find_decoder(id);
    ff::CodecContextPtr c(avcodec_alloc_context3(codec));
    c->thread_count = threads;
    c->thread_type = FF_THREAD_FRAME;
    if (buffers)
        buffers->install(c.get());
    if (avcodec_open2(c.get(), codec, nullptr) < 0)
        return out;
    ff::PacketPtr packet = ff::make_packet();
    auto receive = [&]() {
        for (;;) {
            ff::FramePtr f = ff::make_frame();
            if (avcodec_receive_frame(c.get(), f.get()) < 0)
                break;
            out.push_back(std::move(f));
        }
    };
    for (const zrtest::EncodedPacket& p : packets) {
        packet->data = reinterpret_cast<uint8_t*>(const_cast<char*>(p.data.constData()));
        packet->size = int(p.data.size());
        while (avcodec_send_packet(c.get(), packet.get()) == AVERROR(EAGAIN))
            receive();
        receive();
    }
    avcodec_send_packet(c.get(), nullptr);
    receive();
    // The codec goes first, then the buffers: the pictures keep their memory.
    c.reset();
    buffers.reset();
    return out;
}

// The first plane row, or pixel, where two pictures differ; empty when they are the same.
QString difference(const AVFrame* a, const AVFrame* b)
{
    if (a->format != b->format || a->width != b->width || a->height != b->height)
        return QStringLiteral("format or size differs: %1x%2 vs %3x%4").arg(a->width).arg(a->height).arg(b->width).arg(b->height);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(a->format));
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? AV_CEIL_RSHIFT(a->width, desc->log2_chroma_w) : a->width;
        const int h = plane ? AV_CEIL_RSHIFT(a->height, desc->log2_chroma_h) : a->height;
        for (int y = 0; y < h; ++y)
            if (memcmp(a->data[plane] + y * a->linesize[plane], b->data[plane] + y * b->linesize[plane], size_t(w)) != 0)
                return QStringLiteral("plane %1 row %2 differs").arg(plane).arg(y);
    }
    return {};
}

} // namespace

class TestPictureBuffers : public QObject
{
    Q_OBJECT

private slots:
    // Our buffers decode to what the codec's own give, picture by picture, with frame threads or
    // not, across a change of picture size, and the pictures stay whole after the decoder and its
    // buffers are gone (AddressSanitizer or a fault would catch memory handed back too early).
    void sameAsCodecBuffers_data()
    {
        QTest::addColumn<QString>("encoder");
        QTest::addColumn<int>("threads");
        QTest::addColumn<QList<QPoint>>("segments");
        const QList<QPoint> small{{64, 48}};
        const QList<QPoint> large{{1920, 1080}};
        const QList<QPoint> changing{{64, 48}, {1920, 1080}, {176, 144}};
        QTest::newRow("h264 small") << "libx264" << 1 << small;
        QTest::newRow("h264 1080p threads") << "libx264" << 4 << large;
        QTest::newRow("h264 size change") << "libx264" << 1 << changing;
        QTest::newRow("h264 size change threads") << "libx264" << 4 << changing;
        QTest::newRow("h265 small threads") << "libx265" << 4 << small;
        QTest::newRow("h265 1080p") << "libx265" << 1 << large;
    }
    void sameAsCodecBuffers()
    {
        QFETCH(QString, encoder);
        QFETCH(int, threads);
        QFETCH(QList<QPoint>, segments);
        QList<zrtest::EncodedPacket> packets;
        for (const QPoint& s : segments)
            packets += zrtest::encodeClip(qPrintable(encoder), s.x(), s.y(), 5, 3, -1, 128, 128, 0, true);
        QVERIFY(!packets.isEmpty());
        const AVCodecID id = encoder == "libx264" ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC;

        const std::vector<ff::FramePtr> theirs = decodeAll(packets, id, threads, false);
        const std::vector<ff::FramePtr> ours = decodeAll(packets, id, threads, true);
        QCOMPARE(int(theirs.size()), 5 * int(segments.size()));
        QCOMPARE(ours.size(), theirs.size());
        for (size_t i = 0; i < ours.size(); ++i) {
            const QString diff = difference(theirs[i].get(), ours[i].get());
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("picture %1: %2").arg(i).arg(diff)));
            const QPoint expected = segments[int(i / 5)];
            QCOMPARE(QPoint(ours[i]->width, ours[i]->height), expected);
        }
    }

    // A single picture (the converters' destination) gets the line sizes FFmpeg's own would
    // have, and planes that fit their block without overlapping; what cannot be laid out is
    // refused.
    void singlePicture_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        for (const auto& [name, format] : {std::pair{"bgra", AV_PIX_FMT_BGRA}, std::pair{"yuv420p", AV_PIX_FMT_YUV420P},
                                            std::pair{"nv12", AV_PIX_FMT_NV12}}) {
            QTest::newRow(qPrintable(QStringLiteral("%1 1x1").arg(name))) << int(format) << 1 << 1;
            QTest::newRow(qPrintable(QStringLiteral("%1 63x17").arg(name))) << int(format) << 63 << 17;
            QTest::newRow(qPrintable(QStringLiteral("%1 4K").arg(name))) << int(format) << 3840 << 2160;
        }
    }
    void singlePicture()
    {
        QFETCH(int, format);
        QFETCH(int, width);
        QFETCH(int, height);
        ff::FramePtr theirs = ff::make_frame();
        ff::FramePtr ours = ff::make_frame();
        for (AVFrame* f : {theirs.get(), ours.get()}) {
            f->format = format;
            f->width = width;
            f->height = height;
        }
        QCOMPARE(av_frame_get_buffer(theirs.get(), 32), 0);
        QVERIFY(PictureBuffers::allocate(ours.get(), 32));
        QVERIFY(ours->buf[0]);
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(format));
        const uint8_t* block = ours->buf[0]->data;
        const uint8_t* end = block + ours->buf[0]->size;
        const uint8_t* previous_end = block;
        for (int plane = 0; plane < av_pix_fmt_count_planes(AVPixelFormat(format)); ++plane) {
            QCOMPARE(ours->linesize[plane], theirs->linesize[plane]);
            QCOMPARE(reinterpret_cast<std::uintptr_t>(ours->data[plane]) % 64, std::uintptr_t(0));
            const int rows = plane ? AV_CEIL_RSHIFT(height, desc->log2_chroma_h) : height;
            QVERIFY(ours->data[plane] >= previous_end);
            previous_end = ours->data[plane] + size_t(ours->linesize[plane]) * rows;
            QVERIFY(previous_end <= end);
            memset(ours->data[plane], 0x5a, size_t(ours->linesize[plane]) * rows);
        }
        QCOMPARE(av_frame_is_writable(ours.get()), 1);

        ff::FramePtr refused = ff::make_frame();
        refused->format = format;
        refused->width = 0;
        refused->height = height;
        QVERIFY(!PictureBuffers::allocate(refused.get(), 32));
        refused->format = AV_PIX_FMT_NONE;
        refused->width = width;
        QVERIFY(!PictureBuffers::allocate(refused.get(), 32));
    }

    // Blocks come zeroed, writable to their last byte and aligned for the widest vector loads,
    // at every size on both sides of the large page.
    void largePageBlocks()
    {
        for (std::size_t size : {std::size_t(1), std::size_t(4095), std::size_t(2 << 20) - 1, std::size_t(2 << 20),
                                 std::size_t(12'441'600 + 79)}) {
            auto* block = static_cast<uint8_t*>(zrplatform::large_pages_allocate(size));
            QVERIFY(block);
            QCOMPARE(reinterpret_cast<std::uintptr_t>(block) % 64, std::uintptr_t(0));
            QCOMPARE(block[0], uint8_t(0));
            QCOMPARE(block[size / 2], uint8_t(0));
            QCOMPARE(block[size - 1], uint8_t(0));
            block[0] = block[size - 1] = 0xa5;
            zrplatform::large_pages_release(block, size);
        }
        QVERIFY(!zrplatform::large_pages_allocate(0));
        zrplatform::large_pages_release(nullptr, 10);
    }
};

ZR_TEST_MAIN_CORE(TestPictureBuffers)
#include "tst_picture_buffers.moc"
