#include "tools/PacketEncoder.h"

#include <algorithm>
#include <climits>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

namespace {

QString avError(int code)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return QString::fromUtf8(buf);
}

} // namespace

QString PacketEncoder::codecText(Codec codec)
{
    switch (codec) {
    case Codec::H264: return QStringLiteral("frame/h264");
    case Codec::H265: return QStringLiteral("frame/h265");
    case Codec::Mjpeg: return QStringLiteral("frame/jpeg");
    }
    return {};
}

QString PacketEncoder::codecName(Codec codec)
{
    switch (codec) {
    case Codec::H264: return QStringLiteral("h264");
    case Codec::H265: return QStringLiteral("h265");
    case Codec::Mjpeg: return QStringLiteral("mjpeg");
    }
    return {};
}

bool PacketEncoder::parseCodec(const QString& name, Codec* codec)
{
    for (Codec c : {Codec::H264, Codec::H265, Codec::Mjpeg})
        if (codecName(c) == name) {
            *codec = c;
            return true;
        }
    return false;
}

QStringList PacketEncoder::presets()
{
    return {QStringLiteral("ultrafast"), QStringLiteral("superfast"), QStringLiteral("veryfast"),
            QStringLiteral("faster"),    QStringLiteral("fast"),      QStringLiteral("medium"),
            QStringLiteral("slow"),      QStringLiteral("slower"),    QStringLiteral("veryslow")};
}

bool PacketEncoder::open(Codec codec, int width, int height, int fps, int gop, QString* error)
{
    const AVCodec* enc = nullptr;
    switch (codec) {
    case Codec::H264: enc = avcodec_find_encoder(AV_CODEC_ID_H264); break;
    case Codec::H265: enc = avcodec_find_encoder(AV_CODEC_ID_HEVC); break;
    case Codec::Mjpeg: enc = avcodec_find_encoder(AV_CODEC_ID_MJPEG); break;
    }
    if (!enc) {
        *error = QStringLiteral("no encoder for %1").arg(codecName(codec));
        return false;
    }
    m_ctx.reset(avcodec_alloc_context3(enc));
    m_frame = ff::make_frame();
    m_pkt = ff::make_packet();
    if (!m_ctx || !m_frame || !m_pkt) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    const int interval = gop > 0 ? gop : 1000000;
    m_ctx->width = width;
    m_ctx->height = height;
    m_ctx->time_base = AVRational{1, fps};
    m_ctx->framerate = AVRational{fps, 1};
    m_ctx->gop_size = interval;
    m_ctx->max_b_frames = 0;
    // One thread per encoder: files are encoded in parallel instead, and the output stays
    // the same from run to run.
    m_ctx->thread_count = 1;
    AVDictionary* opts = nullptr;
    if (codec == Codec::Mjpeg) {
        m_ctx->pix_fmt = AV_PIX_FMT_YUVJ420P;
        m_ctx->flags |= AV_CODEC_FLAG_QSCALE;
        m_ctx->global_quality = FF_QP2LAMBDA * 6;
        m_ctx->color_range = AVCOL_RANGE_JPEG;
    } else if (codec == Codec::H264) {
        m_ctx->pix_fmt = AV_PIX_FMT_YUV420P;
        m_ctx->keyint_min = interval;
        av_dict_set(&opts, "preset", m_preset.toLatin1().constData(), 0);
        if (m_kbps <= 0)
            av_dict_set(&opts, "crf", "26", 0);
        const QByteArray params = QStringLiteral("keyint=%1:min-keyint=%1:scenecut=0:bframes=0:repeat-headers=1:rc-lookahead=0:sync-lookahead=0")
                                      .arg(interval).toLatin1();
        av_dict_set(&opts, "x264-params", params.constData(), 0);
    } else {
        m_ctx->pix_fmt = AV_PIX_FMT_YUV420P;
        m_ctx->keyint_min = interval;
        av_dict_set(&opts, "preset", m_preset.toLatin1().constData(), 0);
        if (m_kbps <= 0)
            av_dict_set(&opts, "crf", "30", 0);
        const QByteArray params = QStringLiteral("keyint=%1:min-keyint=%1:scenecut=0:bframes=0:open-gop=0:repeat-headers=1:"
                                                 "pools=none:frame-threads=1:rc-lookahead=0:log-level=error")
                                      .arg(interval).toLatin1();
        av_dict_set(&opts, "x265-params", params.constData(), 0);
    }
    if (codec != Codec::Mjpeg && m_kbps > 0) {
        // As a camera sends: the bit rate held over a one-second buffer.
        m_ctx->bit_rate = qint64(m_kbps) * 1000;
        m_ctx->rc_max_rate = m_ctx->bit_rate;
        m_ctx->rc_buffer_size = int(std::min<qint64>(m_ctx->bit_rate, INT_MAX));
    }
    const int rc = avcodec_open2(m_ctx.get(), enc, &opts);
    av_dict_free(&opts);
    if (rc < 0) {
        *error = QStringLiteral("cannot open %1 encoder: %2").arg(codecName(codec), avError(rc));
        return false;
    }
    m_frame->format = m_ctx->pix_fmt;
    m_frame->width = width;
    m_frame->height = height;
    const int fr = av_frame_get_buffer(m_frame.get(), 0);
    if (fr < 0) {
        *error = QStringLiteral("cannot allocate a frame: %1").arg(avError(fr));
        return false;
    }
    return true;
}

bool PacketEncoder::encode(long long pts, QString* error)
{
    m_frame->pts = pts;
    const int rc = avcodec_send_frame(m_ctx.get(), m_frame.get());
    if (rc < 0) {
        *error = QStringLiteral("encoding failed: %1").arg(avError(rc));
        return false;
    }
    if (!drain(error))
        return false;
    // The encoder may still hold a reference to the frame's buffers.
    const int wr = av_frame_make_writable(m_frame.get());
    if (wr < 0) {
        *error = QStringLiteral("cannot reuse the frame: %1").arg(avError(wr));
        return false;
    }
    return true;
}

bool PacketEncoder::flush(QString* error)
{
    const int rc = avcodec_send_frame(m_ctx.get(), nullptr);
    if (rc < 0 && rc != AVERROR_EOF) {
        *error = QStringLiteral("flushing failed: %1").arg(avError(rc));
        return false;
    }
    return drain(error);
}

bool PacketEncoder::drain(QString* error)
{
    for (;;) {
        const int rc = avcodec_receive_packet(m_ctx.get(), m_pkt.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return true;
        if (rc < 0) {
            *error = QStringLiteral("encoding failed: %1").arg(avError(rc));
            return false;
        }
        Packet p;
        p.data = QByteArray(reinterpret_cast<const char*>(m_pkt->data), m_pkt->size);
        p.key = (m_pkt->flags & AV_PKT_FLAG_KEY) != 0;
        p.pts = m_pkt->pts;
        m_packets.push_back(std::move(p));
        av_packet_unref(m_pkt.get());
    }
}
