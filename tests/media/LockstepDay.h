#pragma once

// What the lockstep playback tests share: a reader whose backward-tick clock a test sets, the
// position it reports, and a day of three short generated recordings to play.
#include "media/ZRStreamReadAndControl.h"
#include "tests/media/FrameSink.h"
#include "tests/support/ExportGenerator.h"

#include <QDate>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtDebug>

#include <algorithm>
#include <chrono>

namespace zrtest {

class LockstepReader : public ZRStreamReadAndControl
{
public:
    FrameSource& frame_source() { return source; }

    // The next backward tick at rate -1 goes back n frames: its clock says n and a half
    // intervals have passed since the last one.
    void next_skip(int n)
    {
        const qint64 now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        const qint64 interval = qint64(std::max(pace.interval_ms(), 1)) * 1000000;
        pace.set_last_tick_ns(now - n * interval - interval / 2);
    }
};

// A reader with what it shows and the positions it reports, both taken as they are emitted.
struct WatchedReader
{
    LockstepReader r;
    FrameSink sink;
    QList<int> positions;

    WatchedReader()
    {
        sink.attach(&r, Qt::DirectConnection);
        QObject::connect(&r, &ZRStreamReadAndControl::slidervalue, &sink, [this](int i, QString) { positions << i; });
    }
};

struct LockstepPosition
{
    int index;
    QString stamp;
    QString file;
};

struct LockstepDay
{
    QList<QFileInfo> files;
    QStringList seeks;
    QString dayStamp;

    // Three four-second recordings a minute apart (08:00, 08:01, 08:02), a key frame every
    // 25 frames.
    bool make(ExportGenerator& gen, const QString& codec, const QString& seed)
    {
        const GeneratedExport ex =
            gen.generate({"--cameras", "1", "--minutes", "3", "--file-seconds", "4", "--size", "320x180", "--codec",
                          codec, "--seed", seed});
        if (!ex.ok) {
            qWarning().noquote() << ex.error;
            return false;
        }
        for (const GeneratedRecording& r : ex.cameras.first().recordings) {
            files << QFileInfo(r.videoPath);
            seeks << r.seekPath;
        }
        dayStamp = QDate::fromString(ex.cameras.first().recordings.first().day, "yyyy-MM-dd").toString("yyyyMMdd");
        return files.size() == 3;
    }

    // The reader on the middle recording, seeked to 08:01:02 (frame 50, a key frame), paused.
    bool open(LockstepReader* r) const
    {
        if (!r->init_displayer_for_stream(QFileInfo(seeks[1]), "1", files))
            return false;
        r->read_forward();
        r->set_read_timestamp(dayStamp + "080102");
        r->toggle_pause();
        return !r->is_playing();
    }
};

} // namespace zrtest
