#pragma once

#include "media/FFmpegHolders.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// One libavcodec video encoder session producing the packets of one recording file:
// Annex-B with parameter sets before every key frame, no B-frames, a fixed key-frame interval.
class PacketEncoder
{
public:
    enum class Codec { H264, H265, Mjpeg };

    struct Packet
    {
        QByteArray data;
        bool key = false;
        long long pts = 0;
    };

    PacketEncoder() = default;
    PacketEncoder(const PacketEncoder&) = delete;
    PacketEncoder& operator=(const PacketEncoder&) = delete;

    // H.264/H.265 speed preset and bit rate (kbit/s, 0: constant quality) of the next open.
    void setRate(const QString& preset, int kbps)
    {
        m_preset = preset;
        m_kbps = kbps;
    }
    static QStringList presets();

    // gop <= 0 means a single key frame at the start.
    bool open(Codec codec, int width, int height, int fps, int gop, QString* error);
    // A frame of the encoder's size and pixel format, owned by the encoder.
    AVFrame* frame() const { return m_frame.get(); }
    bool encode(long long pts, QString* error);
    bool flush(QString* error);
    std::vector<Packet>& packets() { return m_packets; }

    static QString codecText(Codec codec);      // seek-table codec text
    static QString codecName(Codec codec);      // command-line name
    static bool parseCodec(const QString& name, Codec* codec);

    // One JPEG picture of the frame painted by paint(frame) at the given size.
    template <typename Paint>
    static QByteArray jpeg(int width, int height, Paint paint, QString* error)
    {
        PacketEncoder e;
        if (!e.open(Codec::Mjpeg, width, height, 25, 1, error))
            return {};
        paint(e.frame());
        if (!e.encode(0, error) || !e.flush(error) || e.packets().empty())
            return {};
        return e.packets().front().data;
    }

private:
    bool drain(QString* error);

    ff::CodecContextPtr m_ctx;
    ff::FramePtr m_frame;
    ff::PacketPtr m_pkt;
    std::vector<Packet> m_packets;
    QString m_preset = QStringLiteral("ultrafast");
    int m_kbps = 0;
};
