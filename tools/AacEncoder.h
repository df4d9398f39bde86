#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// A mono tone encoded with libavcodec's AAC encoder, each packet wrapped in an ADTS header so
// that a reader can probe the stream from its bytes alone.
class AacEncoder
{
public:
    static constexpr int kSampleRate = 16000;
    static constexpr int kFrameSamples = 1024;

    // Packets covering `seconds` seconds of a tone at `frequency` Hz.
    static bool encode(int seconds, double frequency, std::vector<QByteArray>* packets, QString* error);
    static QByteArray adtsHeader(int payloadSize);
};
