#pragma once

// Decodes the frames of a generated recording with libavcodec, straight from its seek table,
// for the generator's own tests.

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QList>
#include <QString>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace zrtoolstest {

struct SeekLine
{
    QString stamp;
    QString stream;
    QString codec;
    QString resolution;
    bool key = false;
    qint64 size = 0;
};

inline QList<SeekLine> readSeek(const QString& path)
{
    QList<SeekLine> lines;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QByteArray l = raw.trimmed();
        if (l.isEmpty())
            continue;
        const QList<QByteArray> p = l.split(':');
        SeekLine s;
        s.stamp = QString::fromLatin1(p.value(0));
        s.stream = QString::fromLatin1(p.value(1));
        if (p.size() >= 6) {
            s.codec = QString::fromLatin1(p.value(2));
            s.resolution = QString::fromLatin1(p.value(3));
            s.key = p.value(4) == "1";
            s.size = p.value(5).toLongLong();
        } else {
            s.codec = QString::fromLatin1(p.value(2));
            s.size = p.value(3).toLongLong();
        }
        lines << s;
    }
    return lines;
}

// Decodes the packets of one stream in order; returns the pictures as 32-bit images.
inline QList<QImage> decodeStream(const QString& dataPath, const QString& seekPath, const QString& stream,
                                  int maxFrames = 1000000)
{
    QList<QImage> images;
    QFile f(dataPath);
    if (!f.open(QIODevice::ReadOnly))
        return images;
    const QByteArray data = f.readAll();
    const QList<SeekLine> lines = readSeek(seekPath);
    if (lines.isEmpty())
        return images;
    AVCodecID id = AV_CODEC_ID_H264;
    if (lines.first().codec.contains(QLatin1String("265")))
        id = AV_CODEC_ID_HEVC;
    else if (lines.first().codec.contains(QLatin1String("jpeg")))
        id = AV_CODEC_ID_MJPEG;
    const AVCodec* codec = avcodec_find_decoder(id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    ctx->thread_count = 1;
    avcodec_open2(ctx, codec, nullptr);
    auto receive = [&]() {
        while (avcodec_receive_frame(ctx, frame) == 0) {
            QImage img(frame->width, frame->height, QImage::Format_RGB32);
            SwsContext* sws = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                             frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
            uint8_t* dst[1] = {img.bits()};
            int dstStride[1] = {int(img.bytesPerLine())};
            sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
            sws_freeContext(sws);
            images << img;
            av_frame_unref(frame);
        }
    };
    qint64 offset = 0;
    for (const SeekLine& l : lines) {
        if (images.size() >= maxFrames)
            break;
        if (l.stream == stream && offset + l.size <= data.size()) {
            av_new_packet(pkt, int(l.size));
            memcpy(pkt->data, data.constData() + offset, size_t(l.size));
            if (avcodec_send_packet(ctx, pkt) == 0)
                receive();
            av_packet_unref(pkt);
        }
        offset += l.size;
    }
    avcodec_send_packet(ctx, nullptr);
    receive();
    av_packet_free(&pkt);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return images;
}

} // namespace zrtoolstest
