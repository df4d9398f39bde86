#pragma once

// Small in-memory clips encoded with real FFmpeg encoders, for tests that need encoded
// frames without a whole export folder.

#include <QByteArray>
#include <QList>
#include <QString>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace zrtest {

struct EncodedPacket
{
    QByteArray data;
    bool key = false;
};

// Picture i is filled with one flat colour (Y, U, V) = (yOf(i), 128, 128) unless a custom
// colour is given; flat pictures survive lossy coding to within a few levels.
inline int clipLuma(int i) { return 40 + (i * 37) % 180; }

// encoder: "libx264", "libx265", "mjpeg", "mpeg4". gop: key frame interval. textured: each
// picture is a moving diagonal pattern instead of a flat colour, so that a plane read from the
// wrong place or with the wrong line size shows.
inline QList<EncodedPacket> encodeClip(const char* encoder, int width, int height, int count, int gop = 25,
                                       int fixedY = -1, int fixedU = 128, int fixedV = 128, int indexBase = 0,
                                       bool textured = false)
{
    QList<EncodedPacket> out;
    av_log_set_level(AV_LOG_ERROR);
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    if (!codec)
        return out;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = width;
    ctx->height = height;
    ctx->time_base = AVRational{1, 25};
    ctx->framerate = AVRational{25, 1};
    ctx->gop_size = gop;
    ctx->max_b_frames = 0;
    const bool jpeg = QByteArray(encoder) == "mjpeg";
    ctx->pix_fmt = jpeg ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    if (jpeg)
        ctx->color_range = AVCOL_RANGE_JPEG;
    AVDictionary* opts = nullptr;
    if (QByteArray(encoder) == "libx264") {
        av_dict_set(&opts, "preset", "ultrafast", 0);
        av_dict_set(&opts, "tune", "zerolatency", 0);
    } else if (QByteArray(encoder) == "libx265") {
        av_dict_set(&opts, "preset", "ultrafast", 0);
        av_dict_set(&opts, "x265-params", "log-level=error:bframes=0:repeat-headers=1", 0);
    }
    if (avcodec_open2(ctx, codec, &opts) < 0) {
        av_dict_free(&opts);
        avcodec_free_context(&ctx);
        return out;
    }
    av_dict_free(&opts);
    AVFrame* frame = av_frame_alloc();
    frame->format = ctx->pix_fmt;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 32);
    AVPacket* pkt = av_packet_alloc();
    auto drain = [&]() {
        while (avcodec_receive_packet(ctx, pkt) == 0) {
            out.append({QByteArray(reinterpret_cast<const char*>(pkt->data), pkt->size),
                        (pkt->flags & AV_PKT_FLAG_KEY) != 0});
            av_packet_unref(pkt);
        }
    };
    for (int i = 0; i < count; ++i) {
        av_frame_make_writable(frame);
        const int y = fixedY >= 0 ? fixedY : clipLuma(i + indexBase);
        for (int r = 0; r < height; ++r) {
            uint8_t* line = frame->data[0] + r * frame->linesize[0];
            if (textured)
                for (int x = 0; x < width; ++x)
                    line[x] = uint8_t(16 + (x * 3 + r * 5 + i * 7) % 220);
            else
                memset(line, y, width);
        }
        for (int r = 0; r < height / 2; ++r) {
            uint8_t* u = frame->data[1] + r * frame->linesize[1];
            uint8_t* v = frame->data[2] + r * frame->linesize[2];
            if (textured) {
                for (int x = 0; x < width / 2; ++x) {
                    u[x] = uint8_t(64 + (x + i * 3) % 128);
                    v[x] = uint8_t(64 + (r * 2 + i) % 128);
                }
            } else {
                memset(u, fixedU, width / 2);
                memset(v, fixedV, width / 2);
            }
        }
        frame->pts = i;
        if (i % gop == 0)
            frame->pict_type = AV_PICTURE_TYPE_I;
        else
            frame->pict_type = AV_PICTURE_TYPE_NONE;
        avcodec_send_frame(ctx, frame);
        drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return out;
}

// Luma of BGRA pixel (x, y) by BT.601 limited-range maths (what the decoder's picture came from).
inline int bgraAt(const uint8_t* data, int linesize, int x, int y, int channel)
{
    return data[y * linesize + x * 4 + channel];
}

} // namespace zrtest
