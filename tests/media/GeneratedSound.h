#pragma once

// The generator's sound as the audio tests hear it: SDL's disk driver writes what would be
// heard to a file, and each seek line's packet is a tone of its own pitch.

#include "tests/support/ExportGenerator.h"
#include "tests/support/ToneMeter.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <cmath>

namespace zrtest {

// The pitch of the packet of seek line n (a cycle of 100 lines).
inline double toneOfLine(int line)
{
    return 300.0 + 30.0 * (line % 100);
}

inline bool isToneOfLine(double hz, int line)
{
    return std::abs(hz - toneOfLine(line)) < 8.0;
}

// The tones of lines first, first + 1, ... appear one after the other among the runs.
inline bool heardInOrder(const QList<ToneRun>& runs, int first, int count)
{
    for (int i = 0; i + count <= runs.size(); ++i) {
        int k = 0;
        while (k < count && isToneOfLine(runs[i + k].hz, first + k))
            ++k;
        if (k == count)
            return true;
    }
    return false;
}

// Offset of seek line n in the sound's data file (the sum of the earlier lines' sizes).
inline qint64 audioOffsetOfLine(const GeneratedRecording& r, int line)
{
    QFile src(r.audioSeekPath);
    if (!src.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = src.readAll().split('\n');
    qint64 sum = 0;
    for (int i = 0; i < line && i < lines.size(); ++i)
        sum += lines[i].split(':').value(3).toLongLong();
    return sum;
}

// Ten seconds of one camera with sound (AAC, mono 16 kHz, one 1024-sample packet per seek
// line) and a small picture.
inline GeneratedExport generateWithSound(ExportGenerator& gen)
{
    return gen.generate({"--audio", "--file-seconds", "10", "--size", "64x36", "--fps", "5"});
}

// SDL plays through its disk driver; next() gives each run a fresh file of what was heard.
class DiskAudioOutput
{
public:
    DiskAudioOutput()
    {
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIODELAY", "20");
    }

    QString next()
    {
        const QString path = dir.filePath(QStringLiteral("heard%1.raw").arg(++runs));
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(path));
        return path;
    }

private:
    QTemporaryDir dir;
    int runs = 0;
};

} // namespace zrtest
