#pragma once

// Reads back an exported video file: ffprobe's view of it, and its decoded pictures (luma
// planes) for the frame markers and the overlay band.

#include "tests/support/FrameMarker.h"

#include <QByteArray>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace zrtest {

struct ProbedVideo
{
    bool ok = false;
    QString error;
    QString codec;
    QString pixFmt;
    QString format;      // format_name, e.g. "mov,mp4,m4a,3gp,3g2,mj2"
    int width = 0;
    int height = 0;
    int frames = -1;     // nb_read_frames (decoded count)
    double duration = -1; // format duration, seconds
};

inline ProbedVideo probeVideo(const QString& path)
{
    ProbedVideo v;
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                        "stream=codec_name,pix_fmt,width,height,nb_read_frames:format=format_name,duration",
                                        "-of", "json", path});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        v.error = QString::fromLocal8Bit(p.readAllStandardError());
        return v;
    }
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    const QJsonObject s = o.value("streams").toArray().first().toObject();
    const QJsonObject f = o.value("format").toObject();
    v.codec = s.value("codec_name").toString();
    v.pixFmt = s.value("pix_fmt").toString();
    v.width = s.value("width").toInt();
    v.height = s.value("height").toInt();
    v.frames = s.value("nb_read_frames").toString().toInt();
    v.format = f.value("format_name").toString();
    v.duration = f.value("duration").toString().toDouble();
    v.ok = !v.codec.isEmpty();
    return v;
}

// The luma plane of every picture of the file's first video stream, as 8-bit gray images.
inline QList<QImage> decodeLuma(const QString& path)
{
    QList<QImage> out;
    AVFormatContext* fmt = nullptr;
    if (avformat_open_input(&fmt, path.toLocal8Bit().constData(), nullptr, nullptr) < 0)
        return out;
    AVCodecContext* ctx = nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const AVCodec* codec = nullptr;
    const int index = avformat_find_stream_info(fmt, nullptr) >= 0
                          ? av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0)
                          : -1;
    if (index >= 0 && codec) {
        ctx = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(ctx, fmt->streams[index]->codecpar);
        ctx->thread_count = 1;
        if (avcodec_open2(ctx, codec, nullptr) == 0) {
            auto receive = [&] {
                while (avcodec_receive_frame(ctx, frame) == 0) {
                    QImage img(frame->width, frame->height, QImage::Format_Grayscale8);
                    for (int y = 0; y < frame->height; ++y)
                        memcpy(img.scanLine(y), frame->data[0] + qsizetype(y) * frame->linesize[0], size_t(frame->width));
                    out << img;
                    av_frame_unref(frame);
                }
            };
            while (av_read_frame(fmt, pkt) >= 0) {
                if (pkt->stream_index == index && avcodec_send_packet(ctx, pkt) == 0)
                    receive();
                av_packet_unref(pkt);
            }
            avcodec_send_packet(ctx, nullptr);
            receive();
        }
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    avformat_close_input(&fmt);
    return out;
}

inline FrameMarker markerOf(const QImage& luma)
{
    return readFrameMarkerLuma(luma.constBits(), luma.width(), luma.height(), int(luma.bytesPerLine()));
}

} // namespace zrtest
