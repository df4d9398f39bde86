#pragma once

// What the lockstep playback tests share: a reader whose backward-tick clock a test sets, the
// position it reports, a day of three short generated recordings to play, the script of operator
// actions both readers of a test play, and the comparison of what they showed.
#include "media/ZRStreamReadAndControl.h"
#include "tests/media/FrameSink.h"
#include "tests/support/ExportGenerator.h"
#include "tests/support/FrameMarker.h"

#include <QDate>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QtDebug>
#include <QtTest>

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

// An H.264 and an H.265 day, by codec name.
inline bool make_lockstep_days(ExportGenerator& gen, const QString& seed, QHash<QString, LockstepDay>* days)
{
    for (const QString codec : {"h264", "h265"}) {
        LockstepDay d;
        if (!d.make(gen, codec, seed))
            return false;
        days->insert(codec, d);
    }
    return true;
}

// What one reader of a lockstep pair showed and reported.
struct LockstepRecord
{
    FrameSink sink;
    QList<LockstepPosition> positions;

    void attach(LockstepReader* r)
    {
        sink.attach(r, Qt::DirectConnection);
        QObject::connect(r, &ZRStreamReadAndControl::slidervalue, &sink, [this, r](int i, QString stamp) {
            positions.append({i, stamp, r->get_current_file().fileName()});
        });
    }
};

// Script actions, separated by spaces:
//   t  a forward play tick     T<n>  a backward play tick (at -1 going back n frames, 1 if none)
//   f / b  a frame step forward / backward     p  pause and resume
//   r<x>  rate change to x (its timer paused again at once)     s<HHmmss>  seek
//   <a>*<n>  the action a, n times
inline QStringList lockstep_actions(const QString& script)
{
    QStringList actions;
    for (const QString& a : script.split(' ', Qt::SkipEmptyParts)) {
        const int star = a.indexOf('*');
        for (int n = star < 0 ? 1 : a.mid(star + 1).toInt(); n > 0; --n)
            actions << (star < 0 ? a : a.left(star));
    }
    return actions;
}

// Plays one action on a paused reader. Before and after it the seek-table prefetches (on the
// global pool) and the decoding ahead are done, so that both readers cross files at the same
// action and every tick finds what a real tick, coming later, would find.
inline void lockstep_act(LockstepReader* r, const QString& action, const LockstepDay& day)
{
    QThreadPool::globalInstance()->waitForDone();
    r->wait_decode_ahead();
    if (action.startsWith('T')) {
        r->next_skip(action.size() > 1 ? action.mid(1).toInt() : 1);
        r->read_and_display_previous_frame(false);
        // A group still being decoded: that tick shows nothing, the next one (no time later)
        // shows what this one aimed at.
        if (r->backward_frames_owed() > 0) {
            r->wait_decode_ahead();
            r->next_skip(0);
            r->read_and_display_previous_frame(false);
        }
    } else if (action == "t") {
        r->read_and_display_next_frame(false);
    } else if (action == "f") {
        r->read_and_display_next_frame(true);
    } else if (action == "b") {
        r->read_and_display_previous_frame(true);
    } else if (action == "p") {
        r->toggle_pause();
        r->toggle_pause();
    } else if (action.startsWith('s')) {
        r->set_read_timestamp(day.dayStamp + action.mid(1));
    } else if (action.startsWith('r')) {
        r->change_rate(action.mid(1).toDouble());
        r->toggle_pause();
    } else {
        QFAIL(qPrintable("bad action " + action));
    }
    QVERIFY(!r->is_playing());
    // A file crossing queues the tick that goes on in the new file.
    r->next_skip(1);
    QThreadPool::globalInstance()->waitForDone();
    r->wait_decode_ahead();
    QCoreApplication::processEvents();
}

// Both readers showed the same pictures and reported the same positions, in the same order:
// index, stamp and file; frame, stamp, rate, key flag and pixels, and each picture carries its
// own frame's marker. Play crossed at least one file boundary.
inline void lockstep_compare(const LockstepRecord& a, const LockstepRecord& b)
{
    QVERIFY2(a.sink.shown.size() > 20, qPrintable(QString::number(a.sink.shown.size())));
    QCOMPARE(a.positions.size(), b.positions.size());
    for (int i = 0; i < a.positions.size(); ++i) {
        const LockstepPosition& x = a.positions[i];
        const LockstepPosition& y = b.positions[i];
        QVERIFY2(x.index == y.index && x.stamp == y.stamp && x.file == y.file,
                 qPrintable(QString("position %1: %2 %3 %4 vs %5 %6 %7")
                                .arg(i)
                                .arg(x.index)
                                .arg(x.stamp, x.file)
                                .arg(y.index)
                                .arg(y.stamp, y.file)));
    }
    QCOMPARE(a.sink.shown.size(), b.sink.shown.size());
    for (int i = 0; i < a.sink.shown.size(); ++i) {
        const ShownFrame& x = a.sink.shown[i];
        const ShownFrame& y = b.sink.shown[i];
        const QString what = QString("picture %1 (frame %2)").arg(i).arg(x.frameId);
        QVERIFY2(x.frameId == y.frameId, qPrintable(what + QString(" vs frame %1").arg(y.frameId)));
        QCOMPARE(x.timestamp, y.timestamp);
        QCOMPARE(x.fps, y.fps);
        QCOMPARE(x.key, y.key);
        QCOMPARE(x.image.size(), y.image.size());
        QCOMPARE(x.linesize >= x.image.width() * 4, true);
        QVERIFY2(!x.image.isNull() && x.image == y.image, qPrintable("pixels differ on " + what));
        const FrameMarker m = readFrameMarker(x.image);
        QVERIFY2(m.found && m.frameIndex == x.frameId, qPrintable(QString("marker %1 on ").arg(m.frameIndex) + what));
        QCOMPARE(m.stamp(), QString(x.timestamp).remove(QRegularExpression("[^0-9]")));
    }
    QSet<QString> files;
    for (const LockstepPosition& p : a.positions)
        files.insert(p.file);
    QVERIFY2(files.size() >= 2, "no file boundary crossed");
}

} // namespace zrtest
