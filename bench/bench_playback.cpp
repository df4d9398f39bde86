//! libs: zr_media
// Headless playback of three consecutive generated one-minute 1080p25 H.264 recordings at every
// rate: recording-seconds advanced per wall-second beside the speed the pacing aims at, frames
// shown per second, and the time of a tick (median, 99th percentile) against its interval; then
// the time a file crossing takes with the prefetch ready and with the synchronous fallback.
// Rate -1 is also run at 640x360.
#include "app/DebugLevel.h"
#include "bench/support/BenchSupport.h"
#include "media/ZRSeekTable.h"
#include "media/ZRStreamReadAndControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Times every timer event delivered to the watched reader's play timer, and every queued call
// to the reader (the tick that follows a file crossing).
class BenchApp : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;
    QObject* watched = nullptr;
    std::vector<double> tick_ms;

    bool notify(QObject* receiver, QEvent* event) override
    {
        const bool tick = watched
            && ((event->type() == QEvent::Timer && receiver->parent() == watched && qobject_cast<QTimer*>(receiver))
                || (event->type() == QEvent::MetaCall && receiver == watched));
        if (!tick)
            return QCoreApplication::notify(receiver, event);
        QElapsedTimer t;
        t.start();
        const bool r = QCoreApplication::notify(receiver, event);
        tick_ms.push_back(t.nsecsElapsed() / 1e6);
        return r;
    }
};

class Reader : public ZRStreamReadAndControl
{
public:
    using ZRStreamReadAndControl::reset_forward_prefetch;
    using ZRStreamReadAndControl::switch_to_next_file;
};

QJsonArray generate(const QString& out, const QString& size)
{
    QProcess gen;
    gen.start(zrbench::toolPath(QStringLiteral("zr-make-export")),
              {QStringLiteral("--out"), out, QStringLiteral("--json"), QStringLiteral("--jobs"), QStringLiteral("3"),
               QStringLiteral("--size"), size, QStringLiteral("--minutes"), QStringLiteral("3"), QStringLiteral("--seed"),
               QStringLiteral("9")});
    if (!gen.waitForFinished(-1) || gen.exitStatus() != QProcess::NormalExit || gen.exitCode() != 0) {
        std::fprintf(stderr, "zr-make-export failed: %s\n", gen.readAllStandardError().constData());
        return {};
    }
    const QJsonObject s = QJsonDocument::fromJson(gen.readAllStandardOutput()).object();
    return s.value(QStringLiteral("cameras")).toArray().first().toObject().value(QStringLiteral("recordings")).toArray();
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

struct Run
{
    double rate;
    double advance = 0;  // recording-seconds per wall-second
    double design = 0;   // what the pacing aims at
    double shown = 0;    // frames shown per wall-second
    double median = 0;
    double p99 = 0;
    int interval = 0;
    int crossings = 0;
};

Run play(BenchApp& app, const QList<QFileInfo>& files, const QStringList& seeks, double rate, double seconds)
{
    Run run;
    run.rate = rate;
    Reader r;
    QImage display;
    int shown = 0;
    // A display stand-in that copies each picture, as the display widget does.
    QObject::connect(&r, &ZRStreamReadAndControl::set_display_frame, &app,
                     [&](uint8_t* px, int ls, int w, int h, QString, QString, bool, int, double, bool) {
                         display = QImage(px, w, h, ls, QImage::Format_ARGB32).copy();
                         ++shown;
                     },
                     Qt::QueuedConnection);
    qint64 first_ms = -1, last_ms = -1;
    QElapsedTimer wall;
    double first_wall = 0, last_wall = 0;
    QObject::connect(&r, &ZRStreamReadAndControl::slidervalue, &app, [&](int, QString stamp) {
        qint64 ms = 0;
        if (!ZRSeekTable::parse_stamp(stamp, &ms))
            return;
        if (first_ms < 0) {
            first_ms = ms;
            first_wall = wall.nsecsElapsed() / 1e9;
        }
        last_ms = ms;
        last_wall = wall.nsecsElapsed() / 1e9;
    });
    const bool forward = rate > 0;
    // Start so that play crosses a file boundary about half-way through the run.
    const double speed = std::abs(rate) >= 2 ? 2 * std::abs(rate) : 1.0;
    const int lead = int(speed * seconds / 2);
    const int file = forward ? 0 : 1;
    r.init_displayer_for_stream(QFileInfo(seeks[file]), QStringLiteral("1"), files);
    const QTime at = forward ? QTime(8, 0, 0).addSecs(60 - lead) : QTime(8, 1, 0).addSecs(lead);
    r.set_read_timestamp(QStringLiteral("20250314") + at.toString(QStringLiteral("HHmmss")));
    QCoreApplication::processEvents();
    app.tick_ms.clear();
    app.watched = &r;
    shown = 0;
    wall.start();
    r.change_rate(rate);
    run.interval = r.get_timer_interval();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double elapsed = t.nsecsElapsed() / 1e9;
    r.toggle_pause();
    app.watched = nullptr;
    run.advance = last_wall > first_wall ? std::abs(last_ms - first_ms) / 1000.0 / (last_wall - first_wall) : 0;
    run.shown = shown / elapsed;
    run.median = percentile(app.tick_ms, 0.5);
    run.p99 = percentile(app.tick_ms, 0.99);
    // Recording time between two frames, and between two key frames, from the table.
    const QList<ZRFrame> frames = r.get_frames();
    qint64 a = 0, b = 0;
    ZRSeekTable::parse_stamp(frames.first().get_timestamp(), &a);
    ZRSeekTable::parse_stamp(frames.last().get_timestamp(), &b);
    const double frame_s = (b - a) / 1000.0 / (frames.size() - 1);
    int keys = 0;
    for (const ZRFrame& f : frames)
        keys += f.starts_keyframe() ? 1 : 0;
    const double gop_s = frame_s * frames.size() / std::max(keys, 1);
    run.design = (1000.0 / run.interval) * (std::abs(rate) >= 2 ? gop_s : frame_s);
    return run;
}

void print(const QString& title, const Run& run)
{
    std::printf("%-18s rate %+3.0f  rec-s/s %6.3f  aimed %6.3f  (%5.1f%%)  shown %6.1f fps  tick median %6.2f ms  p99 %7.2f ms  interval %3d ms\n",
                title.toLocal8Bit().constData(), run.rate, run.advance, run.design,
                run.design > 0 ? 100.0 * run.advance / run.design : 0.0, run.shown, run.median, run.p99, run.interval);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    BenchApp app(argc, argv);
    DebugLevel::instance()->set_level(0);

    const QString out = zrbench::tempDir(QStringLiteral("playback"));
    auto load = [&](const QString& size, QList<QFileInfo>* files, QStringList* seeks) {
        const QJsonArray recs = generate(out + QLatin1Char('/') + size, size);
        for (const QJsonValue& v : recs) {
            *files << QFileInfo(v.toObject().value(QStringLiteral("video")).toString());
            *seeks << v.toObject().value(QStringLiteral("seek")).toString();
        }
        return recs.size() == 3;
    };
    QList<QFileInfo> files, smallFiles;
    QStringList seeks, smallSeeks;
    if (!load(QStringLiteral("1920x1080"), &files, &seeks) || !load(QStringLiteral("640x360"), &smallFiles, &smallSeeks))
        return 1;

    const double seconds = 6.0;
    for (double rate : {1.0, 2.0, 4.0, 8.0, -1.0, -2.0, -4.0, -8.0})
        print(QStringLiteral("playback 1080p"), play(app, files, seeks, rate, seconds));
    print(QStringLiteral("playback 640x360"), play(app, smallFiles, smallSeeks, -1.0, seconds));

    // File crossing: the switch itself, with the next file's table prefetched and without.
    std::vector<double> ready, fallback;
    for (int i = 0; i < 15; ++i) {
        for (bool prefetched : {true, false}) {
            Reader r;
            r.init_displayer_for_stream(QFileInfo(seeks[0]), QStringLiteral("1"), files);
            QElapsedTimer wait;
            wait.start();
            while (wait.elapsed() < 200)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (!prefetched)
                r.reset_forward_prefetch();
            QElapsedTimer t;
            t.start();
            r.switch_to_next_file();
            (prefetched ? ready : fallback).push_back(t.nsecsElapsed() / 1e6);
            QCoreApplication::processEvents();
        }
    }
    zrbench::report(QStringLiteral("playback: file crossing, prefetch ready vs sync fallback (median)"),
                    percentile(ready, 0.5), percentile(fallback, 0.5), QStringLiteral("ms"));

    QDir(out).removeRecursively();
    return 0;
}
