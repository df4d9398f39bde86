#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// A mono tone encoded with libavcodec's AAC encoder, each packet wrapped in an ADTS header so
// that a reader can probe the stream from its bytes alone. The pitch steps with the packet
// index, so whoever hears a packet can tell which one it was.
class AacEncoder
{
public:
    static constexpr int kSampleRate = 16000;
    static constexpr int kFrameSamples = 1024;

    // Pitch of packet k of a recording: 300 Hz + 30 Hz per packet, over a cycle of 100 packets
    // (6.4 s). Packet 0 holds the encoder's priming and decodes to near silence.
    static double toneOf(int packet);

    // Packets covering `seconds` seconds; decoding packet k in order gives toneOf(k).
    static bool encode(int seconds, std::vector<QByteArray>* packets, QString* error);
    static QByteArray adtsHeader(int payloadSize);
};
