//! libs: zr_media
// Headless playback of three consecutive camera-like recordings (x264 veryfast, 1-second key-frame
// interval, 25 fps, a fixed bit rate over a one-second buffer, sensor noise) at every rate, in a
// real event loop, each run crossing a file boundary: pictures shown per second and
// recording-seconds per second beside what the pacing table aims at for this stream (int(fps - 1)
// pictures per second at +-1, 2 x |rate| key frames per second at +-2..8), process CPU per picture
// shown, the time the GUI thread spends in a tick (median, 99th percentile, max), the delay to the
// first picture and the pictures shown per second after it, and the peak resident memory. mpv
// plays the same bitstream forward and backward in the same run (one decode thread, converting to
// BGRA as the player does) as the baseline of CPU per picture; rate -1 also runs with every
// picture decoded from its key frame (the group cache off). Then the time a file crossing takes
// with the prefetch ready and with the synchronous fallback.
//
// ZR_BENCH_PLAYBACK_SIZES picks the sizes (default "1920x1080,3840x2160"), ZR_BENCH_PLAYBACK_RATES
// the rates (default every one, then -1 from key frames and mpv; naming rates leaves those out).
#include "app/DebugLevel.h"
#include "bench/support/BenchSupport.h"
#include "media/ZRSeekTable.h"
#include "media/ZRStreamReadAndControl.h"
#include "platform/ProcessFigures.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <tuple>
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
    qint64 peak_rss = 0;

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
        peak_rss = std::max(peak_rss, zrplatform::process_working_set());
        return r;
    }
};

class Reader : public ZRStreamReadAndControl
{
public:
    using ZRStreamReadAndControl::reset_forward_prefetch;
    using ZRStreamReadAndControl::switch_to_next_file;
    bool next_prefetched() const { return next_prefetch.isFinished(); }
    void without_group_cache() { source.set_group_cache_enabled(false); }
};

struct Stream
{
    QString size;
    QList<QFileInfo> files;
    QStringList seeks;
    QString day; // yyyyMMdd
    double fps = 25;
    int gop = 25;
    int file_seconds = 30;
    QString mkv; // the same bitstream in a container mpv can seek backward in
};

const int kFileSeconds = 30;

bool generate(const QString& out, const QString& size, int kbps, Stream* s)
{
    QProcess gen;
    gen.start(zrbench::toolPath(QStringLiteral("zr-make-export")),
              {QStringLiteral("--out"), out, QStringLiteral("--json"), QStringLiteral("--jobs"), QStringLiteral("3"),
               QStringLiteral("--size"), size, QStringLiteral("--minutes"), QStringLiteral("3"),
               QStringLiteral("--file-seconds"), QString::number(kFileSeconds), QStringLiteral("--preset"),
               QStringLiteral("veryfast"), QStringLiteral("--bitrate"), QString::number(kbps), QStringLiteral("--noise"),
               QStringLiteral("6"), QStringLiteral("--seed"), QStringLiteral("9")});
    if (!gen.waitForFinished(-1) || gen.exitStatus() != QProcess::NormalExit || gen.exitCode() != 0) {
        std::fprintf(stderr, "zr-make-export failed: %s\n", gen.readAllStandardError().constData());
        return false;
    }
    const QJsonObject j = QJsonDocument::fromJson(gen.readAllStandardOutput()).object();
    s->size = size;
    s->fps = j.value(QStringLiteral("fps")).toDouble();
    s->gop = j.value(QStringLiteral("gop")).toInt();
    s->file_seconds = kFileSeconds;
    const QJsonArray recs =
        j.value(QStringLiteral("cameras")).toArray().first().toObject().value(QStringLiteral("recordings")).toArray();
    QStringList videos;
    for (const QJsonValue& v : recs) {
        s->files << QFileInfo(v.toObject().value(QStringLiteral("video")).toString());
        s->seeks << v.toObject().value(QStringLiteral("seek")).toString();
        videos << v.toObject().value(QStringLiteral("video")).toString();
    }
    s->day = QDate::fromString(recs.first().toObject().value(QStringLiteral("day")).toString(), QStringLiteral("yyyy-MM-dd"))
                 .toString(QStringLiteral("yyyyMMdd"));
    if (recs.size() != 3)
        return false;
    // The recordings' packets copied unchanged into Matroska with their frame rate.
    s->mkv = out + QStringLiteral("/stream.mkv");
    const QString concat = QStringLiteral("concat:") + videos.join(QLatin1Char('|'));
    if (zrbench::shellSeconds(QStringLiteral("ffmpeg -v error -y -f h264 -framerate %1 -i '%2' -c copy '%3'")
                                  .arg(s->fps)
                                  .arg(concat, s->mkv),
                              1)
        < 0) {
        std::fprintf(stderr, "ffmpeg could not remux the stream for mpv\n");
        s->mkv.clear();
    }
    return true;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

double process_cpu_ms()
{
    qint64 k = 0, u = 0;
    zrplatform::process_times(&k, &u);
    return (k + u) / 1e4;
}

double children_cpu_ms()
{
    return zrbench::cpuSeconds(RUSAGE_CHILDREN) * 1e3;
}

struct Run
{
    double rate = 0;
    double seconds = 0;
    int shown = 0;
    double rec_seconds = 0; // recording time walked over
    double first_position_s = 0;
    double last_position_s = 0;
    double cpu_ms = 0;
    double median = 0;
    double p99 = 0;
    double max = 0;
    qint64 peak_rss = 0;
    int crossings = 0;
    double first_shown_ms = -1; // from the rate change to the first picture handed to the display
};

// What the pacing table aims at for this stream: pictures per second and recording-seconds per
// second.
double aimed_pictures(const Stream& s, double rate)
{
    if (std::abs(rate) >= 2)
        return 2 * std::abs(rate);
    return std::max(std::floor(s.fps - 1.0), 1.0);
}

double aimed_advance(const Stream& s, double rate)
{
    if (std::abs(rate) >= 2)
        return 2 * std::abs(rate) * s.gop / s.fps;
    return std::max(std::floor(s.fps - 1.0), 1.0) / s.fps;
}

Run play(BenchApp& app, const Stream& s, double rate, double seconds, bool group_cache = true)
{
    Run run;
    run.rate = rate;
    Reader r;
    if (!group_cache)
        r.without_group_cache();
    QImage display;
    QElapsedTimer t;
    // A display stand-in that copies each picture into the image it keeps while the size holds,
    // as the display widget does.
    QObject::connect(&r, &ZRStreamReadAndControl::set_display_frame, &app,
                     [&](uint8_t* px, int ls, int w, int h, QString, QString, bool, int, double, bool) {
                         if (display.width() != w || display.height() != h)
                             display = QImage(w, h, QImage::Format_ARGB32);
                         for (int y = 0; y < h && !display.isNull(); ++y)
                             std::memcpy(display.scanLine(y), px + qsizetype(y) * ls, size_t(w) * 4);
                         if (run.shown++ == 0)
                             run.first_shown_ms = t.nsecsElapsed() / 1e6;
                     },
                     Qt::QueuedConnection);
    qint64 last_ms = -1;
    QString last_file;
    QObject::connect(&r, &ZRStreamReadAndControl::slidervalue, &app, [&](int, QString stamp) {
        qint64 ms = 0;
        if (!ZRSeekTable::parse_stamp(stamp, &ms))
            return;
        // Recording time is walked from the first position reached to the last.
        if (last_ms < 0)
            run.first_position_s = t.nsecsElapsed() / 1e9;
        run.last_position_s = t.nsecsElapsed() / 1e9;
        const QString file = r.get_current_file().fileName();
        if (last_ms >= 0 && file == last_file)
            run.rec_seconds += std::abs(ms - last_ms) / 1000.0;
        else if (last_ms >= 0)
            ++run.crossings; // the gap between two files is not recording time
        last_ms = ms;
        last_file = file;
    });
    const bool forward = rate > 0;
    // Start so that play crosses a file boundary about half-way through the run.
    const double advance = aimed_advance(s, rate) * seconds;
    const int lead = std::clamp(int(advance / 2), 1, s.file_seconds - 1);
    const int file = forward ? 0 : 2;
    r.init_displayer_for_stream(QFileInfo(s.seeks[file]), QStringLiteral("1"), s.files);
    const QTime start(8, file, 0);
    const QTime at = forward ? start.addSecs(s.file_seconds - lead) : start.addSecs(lead);
    r.set_read_timestamp(s.day + at.toString(QStringLiteral("HHmmss")));
    QCoreApplication::processEvents();
    app.tick_ms.clear();
    app.peak_rss = 0;
    run.shown = 0;
    run.first_shown_ms = -1;
    app.watched = &r;
    const double cpu0 = process_cpu_ms();
    t.start();
    r.change_rate(rate);
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    r.toggle_pause();
    app.watched = nullptr;
    // Pictures handed over before the pause are delivered, and counted, now.
    QCoreApplication::processEvents();
    run.seconds = t.nsecsElapsed() / 1e9;
    run.cpu_ms = process_cpu_ms() - cpu0;
    run.median = percentile(app.tick_ms, 0.5);
    run.p99 = percentile(app.tick_ms, 0.99);
    run.max = app.tick_ms.empty() ? 0 : *std::max_element(app.tick_ms.begin(), app.tick_ms.end());
    run.peak_rss = app.peak_rss;
    return run;
}

void print(const Stream& s, const Run& run, const char* how = "")
{
    const double shown = run.shown / run.seconds;
    const double span = run.last_position_s - run.first_position_s;
    const double adv = span > 0 ? run.rec_seconds / span : 0;
    const double aim_p = aimed_pictures(s, run.rate);
    const double aim_a = aimed_advance(s, run.rate);
    // From the first picture on: the pace once play has started, without its start-up.
    const double after = run.seconds - run.first_shown_ms / 1000.0;
    const double shown_after = run.shown > 1 && after > 0 ? (run.shown - 1) / after : 0;
    std::printf("playback %-9s rate %+2.0f%s  shown %5.1f/s aimed %5.1f (%5.1f%%)  rec-s/s %6.3f aimed %6.3f (%5.1f%%)  "
                "CPU/picture %7.2f ms  tick median %6.2f p99 %7.2f max %7.2f ms  first picture %6.0f ms, then %5.1f/s "
                "(%5.1f%%)  peak RSS %5lld MiB\n",
                s.size.toLocal8Bit().constData(), run.rate, how, shown, aim_p, 100.0 * shown / aim_p, adv, aim_a,
                100.0 * adv / aim_a, run.shown ? run.cpu_ms / run.shown : 0.0, run.median, run.p99, run.max,
                run.first_shown_ms, shown_after, 100.0 * shown_after / aim_p,
                static_cast<long long>(run.peak_rss >> 20));
    std::fflush(stdout);
}

struct MpvRun
{
    bool ok = false;
    double pictures_per_s = 0;
    double cpu_per_picture = 0;
};

// mpv plays pictures of the same bitstream from a point in its middle file, in real time, one
// decode thread, converting to BGRA. Two runs, of `frames` pictures and of a fifth of that, so
// that start-up and the first seek drop out of the difference.
MpvRun mpv(const Stream& s, bool backward, int frames)
{
    MpvRun m;
    if (s.mkv.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("mpv")).isEmpty())
        return m;
    double wall[2] = {0, 0}, cpu[2] = {0, 0};
    const int counts[2] = {frames / 5, frames};
    for (int run = 0; run < 2; ++run) {
        QStringList args{QStringLiteral("--no-config"),      QStringLiteral("--vo=null"),
                         QStringLiteral("--ao=null"),        QStringLiteral("--vd-lavc-threads=1"),
                         QStringLiteral("--vf=format=bgra"), QStringLiteral("--really-quiet"),
                         QStringLiteral("--frames=%1").arg(counts[run]),
                         QStringLiteral("--start=%1").arg(backward ? s.file_seconds + 25 : s.file_seconds - 5)};
        if (backward)
            args << QStringLiteral("--play-dir=backward");
        args << s.mkv;
        const double cpu0 = children_cpu_ms();
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral("mpv"), args);
        if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            std::fprintf(stderr, "mpv failed: %s\n", p.readAllStandardError().constData());
            return m;
        }
        wall[run] = t.nsecsElapsed() / 1e9;
        cpu[run] = children_cpu_ms() - cpu0;
    }
    const int pictures = counts[1] - counts[0];
    m.ok = wall[1] > wall[0];
    m.pictures_per_s = m.ok ? pictures / (wall[1] - wall[0]) : 0;
    m.cpu_per_picture = (cpu[1] - cpu[0]) / pictures;
    return m;
}

QStringList sizes()
{
    const QString env = qEnvironmentVariable("ZR_BENCH_PLAYBACK_SIZES", QStringLiteral("1920x1080,3840x2160"));
    return env.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

std::vector<double> rates(bool* every)
{
    const QString env = qEnvironmentVariable("ZR_BENCH_PLAYBACK_RATES");
    *every = env.isEmpty();
    std::vector<double> out;
    for (const QString& r : env.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const double v = r.toDouble(&ok);
        if (ok && v != 0 && std::abs(v) <= 8)
            out.push_back(v);
    }
    if (out.empty())
        out = {1.0, 2.0, 4.0, 8.0, -1.0, -2.0, -4.0, -8.0};
    return out;
}

int kbps_for(const QString& size)
{
    const QStringList wh = size.split(QLatin1Char('x'));
    const qint64 pixels = wh.size() == 2 ? qint64(wh[0].toInt()) * wh[1].toInt() : 0;
    // What cameras send: about 6 Mbit/s at 1080p, 12 Mbit/s at 4K.
    return pixels > 1920 * 1080 ? 12000 : 6000;
}

} // namespace

int main(int argc, char** argv)
{
    BenchApp app(argc, argv);
    DebugLevel::instance()->set_level(0);

    const QString out = zrbench::tempDir(QStringLiteral("playback"));
    bool every = true;
    const std::vector<double> chosen = rates(&every);
    Stream first;
    for (const QString& size : sizes()) {
        Stream s;
        if (!generate(out + QLatin1Char('/') + size, size, kbps_for(size), &s))
            return 1;
        if (first.size.isEmpty())
            first = s;

        Run minus1, plus1;
        for (double rate : chosen) {
            const Run run = play(app, s, rate, std::abs(rate) < 2 ? 8.0 : 4.0);
            print(s, run);
            if (rate == -1.0)
                minus1 = run;
            if (rate == 1.0)
                plus1 = run;
        }
        if (!every)
            continue;
        // The same backward play with every picture decoded from its key frame, as before the
        // group cache.
        const Run uncached = play(app, s, -1.0, 8.0, false);
        print(s, uncached, " (from key frame)");
        const int frames = 10 * int(s.fps);
        const MpvRun fwd = mpv(s, false, frames);
        const MpvRun bwd = mpv(s, true, frames);
        for (const auto& [name, m] : {std::pair{"forward", fwd}, std::pair{"backward", bwd}}) {
            if (m.ok)
                std::printf("mpv      %-9s %-8s shown %5.1f/s  CPU/picture %7.2f ms\n",
                            s.size.toLocal8Bit().constData(), name, m.pictures_per_s, m.cpu_per_picture);
            else
                std::printf("mpv      %-9s %-8s not run\n", s.size.toLocal8Bit().constData(), name);
        }
        for (const auto& [what, m, run] : {std::tuple{"+1 vs mpv forward", fwd, plus1},
                                           std::tuple{"-1 vs mpv backward", bwd, minus1},
                                           std::tuple{"-1 from key frame vs mpv backward", bwd, uncached}}) {
            if (!m.ok)
                continue;
            zrbench::report(QStringLiteral("playback %1 rate %2: CPU per picture").arg(s.size, QString::fromLatin1(what)),
                            run.shown ? run.cpu_ms / run.shown : 0, m.cpu_per_picture, QStringLiteral("ms"));
            zrbench::report(QStringLiteral("playback %1 rate %2: pictures per second").arg(s.size, QString::fromLatin1(what)),
                            run.shown / run.seconds, m.pictures_per_s, QStringLiteral("1/s"));
        }
    }
    if (first.seeks.size() != 3)
        return 1;
    if (!every) {
        QDir(out).removeRecursively();
        return 0;
    }

    // File crossing: the switch itself, with the next file's table prefetched and without.
    std::vector<double> ready, fallback;
    for (int i = 0; i < 15; ++i) {
        for (bool prefetched : {true, false}) {
            Reader r;
            r.init_displayer_for_stream(QFileInfo(first.seeks[0]), QStringLiteral("1"), first.files);
            while (!r.next_prefetched())
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
