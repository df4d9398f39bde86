#pragma once

// Hand-written recordings (data file + seek table) from in-memory clips, for reader tests
// that need exact control over lines, sizes and codecs.

#include "tests/media/EncodedClip.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTime>

namespace zrtest {

struct RecordingSpec
{
    QString dir;
    int camera = 1;
    QString day = QStringLiteral("20260310"); // yyyyMMdd
    QTime start = QTime(12, 0, 0);
    const char* encoder = "libx264";
    QString codecText = QStringLiteral("frame/h264");
    int width = 160;
    int height = 120;
    int frames = 50;
    int gop = 25;
    QString stream = QStringLiteral("video1");
    int intervalMs = 40;
    int indexBase = 0; // picture i shows clipLuma(i + indexBase)
};

inline QString recordingBase(const RecordingSpec& s)
{
    return QDir(s.dir).filePath(QStringLiteral("%1_%2_%3").arg(s.camera).arg(s.day, s.start.toString("HHmmss")));
}

inline QString stampOf(const RecordingSpec& s, int i)
{
    return s.day + s.start.addMSecs(i * s.intervalMs).toString(QStringLiteral("HHmmsszzz"));
}

// Writes <camera>_<day>_<HHmmss>.zrvideo and .zrseek; returns the seek table's path.
inline QString writeRecording(const RecordingSpec& s)
{
    const auto packets = encodeClip(s.encoder, s.width, s.height, s.frames, s.gop, -1, 128, 128, s.indexBase);
    const QString base = recordingBase(s);
    QFile data(base + ".zrvideo");
    QFile seek(base + ".zrseek");
    if (!data.open(QIODevice::WriteOnly) || !seek.open(QIODevice::WriteOnly))
        return QString();
    for (int i = 0; i < packets.size(); ++i) {
        data.write(packets[i].data);
        seek.write(QStringLiteral("%1:%2:%3:%4x%5:%6:%7\n")
                       .arg(stampOf(s, i), s.stream, s.codecText)
                       .arg(s.width)
                       .arg(s.height)
                       .arg(packets[i].key ? 1 : 0)
                       .arg(packets[i].data.size())
                       .toUtf8());
    }
    return base + ".zrseek";
}

} // namespace zrtest

namespace zrtest {

// The displayed form "yyyy-MM-dd HH:mm:ss.zzz" of picture i's stamp.
inline QString displayStamp(const RecordingSpec& s, int i)
{
    const QString t = stampOf(s, i);
    return QStringLiteral("%1-%2-%3 %4:%5:%6.%7")
        .arg(t.mid(0, 4), t.mid(4, 2), t.mid(6, 2), t.mid(8, 2), t.mid(10, 2), t.mid(12, 2), t.mid(14, 3));
}

} // namespace zrtest
