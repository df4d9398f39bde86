#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <cmath>

namespace zrtest {

// Pitch of a pure tone in interleaved signed 16-bit samples (channel 0 of `channels`), from
// the rising zero crossings between the first and the last one, interpolated between samples.
// 0 when fewer than three crossings are found.
inline double toneHz(const qint16* samples, int frames, int channels, int rate)
{
    double first = -1.0, last = -1.0;
    int rising = 0;
    for (int i = 1; i < frames; ++i) {
        const int a = samples[(i - 1) * channels];
        const int b = samples[i * channels];
        if (a < 0 && b >= 0) {
            const double at = (i - 1) + double(-a) / double(b - a);
            if (first < 0)
                first = at;
            last = at;
            ++rising;
        }
    }
    if (rising < 3 || last <= first)
        return 0.0;
    return (rising - 1) * double(rate) / (last - first);
}

inline double toneHz(const QByteArray& s16, int channels, int rate)
{
    return toneHz(reinterpret_cast<const qint16*>(s16.constData()), int(s16.size() / (2 * channels)), channels, rate);
}

// A stretch of sound between silences in interleaved 16-bit samples: where it starts and its
// pitch measured over its middle (the edges carry resampler and decoder transitions).
struct ToneRun
{
    int startFrame = 0;
    int frames = 0;
    double hz = 0.0;
};

// Splits the sound at silences of at least minGapFrames frames (|sample| <= threshold).
inline QList<ToneRun> toneRuns(const QByteArray& s16, int channels, int rate, int minGapFrames, int threshold = 200)
{
    const auto* s = reinterpret_cast<const qint16*>(s16.constData());
    const int frames = int(s16.size() / (2 * channels));
    QList<ToneRun> runs;
    int start = -1, lastLoud = -1;
    auto close = [&]() {
        ToneRun r;
        r.startFrame = start;
        r.frames = lastLoud - start + 1;
        const int trim = r.frames / 8;
        r.hz = toneHz(s + (start + trim) * channels, r.frames - 2 * trim, channels, rate);
        runs << r;
    };
    for (int i = 0; i < frames; ++i) {
        if (std::abs(int(s[i * channels])) > threshold) {
            if (start < 0)
                start = i;
            lastLoud = i;
        } else if (start >= 0 && i - lastLoud >= minGapFrames) {
            close();
            start = -1;
        }
    }
    if (start >= 0)
        close();
    return runs;
}

} // namespace zrtest
