//! libs: zr_display zr_platform
// A generated camera-like 1080p25 H.264 minute served as a live multipart stream from a loopback
// server at its real pace and played by a display with a 2-second buffer for 20 s: frames
// shown per second and skipped, the process CPU per shown frame and resident memory beside the
// playback reader showing the same frames from the file into the same display (decode, BGRA and
// paint in both), the same beside ffmpeg reading the same frames from the same kind of loopback
// server at the same pace (decode and BGRA, no paint), and the playout interval beside the
// interval the pacing aims at for that paint (the paint plus the sleep it planned).
// ffmpeg cannot read the multipart stream itself: its only multipart reader (mpjpeg) takes every
// part for a JPEG picture, so it is given the same access units as one H.264 byte stream.
#include "app/DebugLevel.h"
#include "bench/support/BenchSupport.h"
#include "display/Canvas.h"
#include "display/new_display_thread.h"
#include "media/ZRSeekTable.h"
#include "media/ZRStreamReadAndControl.h"
#include "platform/ProcessFigures.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// One loopback connection served from memory: every frame at its own absolute deadline, 40 ms
// apart, looping over the recording with time stamps that keep going; as multipart parts (part
// headers end with a bare LF, as the format has them) or as one plain H.264 byte stream.
class PacedServer
{
public:
    PacedServer(const std::vector<QByteArray>& frames, bool multipart)
        : frames(frames)
        , multipart(multipart)
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 4);
        socklen_t n = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        port = ntohs(a.sin_port);
        worker = std::thread([this] { serve(); });
    }
    ~PacedServer()
    {
        stop = true;
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        if (client >= 0)
            ::shutdown(client, SHUT_RDWR);
        worker.join();
        if (client >= 0)
            ::close(client);
    }
    quint16 port = 0;

private:
    void serve()
    {
        client = ::accept(fd, nullptr, nullptr);
        if (client < 0)
            return;
        char buf[4096];
        QByteArray request;
        while (!request.contains("\r\n\r\n")) {
            const ssize_t r = ::recv(client, buf, sizeof buf, 0);
            if (r <= 0)
                return;
            request.append(buf, int(r));
        }
        const QByteArray head = multipart
            ? QByteArray("HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace; boundary=myboundary\r\n\r\n")
            : QByteArray("HTTP/1.0 200 OK\r\nContent-Type: video/h264\r\n\r\n");
        ::send(client, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
        timespec deadline{};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        const QDateTime start(QDate(2025, 3, 14), QTime(8, 0, 0));
        for (size_t i = 0; !stop; ++i) {
            const QByteArray& data = frames[i % frames.size()];
            const QByteArray part = !multipart ? data
                                               : "--myboundary\nContent-Type: frame/h264\nContent-Length: "
                    + QByteArray::number(data.size()) + "\nTimestamp: "
                    + start.addMSecs(qint64(i) * 40).toString(QStringLiteral("yyyyMMddHHmmsszzz")).toLatin1()
                    + "\nFps: 25.00\n\n" + data + "\r\n";
            if (::send(client, part.constData(), size_t(part.size()), MSG_NOSIGNAL) < 0)
                return;
            deadline.tv_nsec += 40000000;
            if (deadline.tv_nsec >= 1000000000) {
                deadline.tv_nsec -= 1000000000;
                ++deadline.tv_sec;
            }
            while (!stop && clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
            }
        }
    }

    const std::vector<QByteArray>& frames;
    const bool multipart;
    int fd = -1;
    int client = -1;
    std::atomic<bool> stop{false};
    std::thread worker;
};

struct Figures
{
    double shown_fps = 0;
    quint64 skipped = 0;
    double cpu_ms_per_frame = 0;
    double p50_dev = 0;
    double p99_dev = 0;
    double peak_mib = 0; // resident memory, highest sample while measuring
};

// Samples the resident memory of a process while the event loop runs.
class MemorySampler
{
public:
    void sample()
    {
        const qint64 bytes = zrplatform::process_working_set();
        peak = std::max(peak, bytes / 1048576.0);
    }
    double peak = 0;
};

// Runs the event loop for the given time, sampling the memory every 50 ms. The loop sleeps
// between events: one that polls for them would spin and count its spinning as the display's CPU.
void runFor(double seconds, MemorySampler* memory)
{
    QEventLoop loop;
    QTimer sampler;
    if (memory) {
        QObject::connect(&sampler, &QTimer::timeout, &loop, [memory] { memory->sample(); });
        memory->sample();
        sampler.start(50);
    }
    QTimer::singleShot(int(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void configure(Canvas& c)
{
    c.set_keep_aspect_ratio(true);
    c.set_fullscreen_enabled(false);
    c.set_overlay_enabled(true);
    c.set_text_size(QStringLiteral("normal"));
    c.resize(960, 540);
}

Figures playLive(quint16 port, double seconds)
{
    Figures f;
    Canvas c;
    configure(c);
    c.set_stream(QStringLiteral("http"), QStringLiteral("127.0.0.1"), QString::number(port), QString(),
                 QStringLiteral("/live?id=bench"), QStringLiteral("h264"), QString());
    c.set_buffer_ms(2000);
    c.show();
    QElapsedTimer wait;
    wait.start();
    while (c.get_last_frame_id() < 0 && wait.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    new_display_thread* t = c.get_display_thread();
    if (!t)
        return f;
    // Let the buffer fill and the playout settle, then measure.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // The interval the arithmetic aims at for a paint: from one frame's hand-over to the end of
    // its paint, plus the sleep it planned from that paint time.
    std::vector<double> deviations;
    auto steady = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    std::atomic<qint64> last_emit{0};
    std::atomic<qint64> last_paint{0};
    QObject::connect(&c, &Canvas::send_duration, t, [&](qlonglong) { last_paint = steady(); }, Qt::DirectConnection);
    QObject::connect(
        t, &new_display_thread::set_display_frame, t,
        [&](uint8_t*, int, int, int, QString, QString, bool, int, double, bool) {
            const qint64 now = steady();
            const qint64 before = last_emit.exchange(now);
            const qint64 painted = last_paint.load();
            if (before > 0 && painted > before && painted < now) {
                const double aimed = (painted - before) / 1e6 + t->get_last_sleep_ms();
                deviations.push_back(std::abs((now - before) / 1e6 - aimed));
            }
        },
        Qt::DirectConnection);
    const quint64 sent0 = t->get_frames_sent();
    const quint64 skipped0 = t->get_frames_skipped();
    const double cpu0 = cpuSeconds();
    MemorySampler memory;
    QElapsedTimer run;
    run.start();
    runFor(seconds, &memory);
    const double elapsed = run.nsecsElapsed() / 1e9;
    f.peak_mib = memory.peak;
    const double cpu = cpuSeconds() - cpu0;
    const quint64 sent = t->get_frames_sent() - sent0;
    f.shown_fps = sent / elapsed;
    f.skipped = t->get_frames_skipped() - skipped0;
    f.cpu_ms_per_frame = sent ? cpu * 1000 / double(sent) : 0;
    QObject::disconnect(t, &new_display_thread::set_display_frame, t, nullptr);
    QObject::disconnect(&c, &Canvas::send_duration, t, nullptr);
    f.p50_dev = percentile(deviations, 0.5);
    f.p99_dev = percentile(deviations, 0.99);
    return f;
}

Figures playFile(const QString& seek, const QString& video, double seconds)
{
    Figures f;
    Canvas c;
    configure(c);
    c.set_stream_start(false);
    c.set_external_feed();
    c.set_stream_start(true);
    c.show();
    ZRStreamReadAndControl r;
    int shown = 0;
    QObject::connect(&r, &ZRStreamReadAndControl::set_display_frame, &c, &Canvas::displayFrame, Qt::QueuedConnection);
    QObject::connect(&r, &ZRStreamReadAndControl::set_display_frame, &c,
                     [&](uint8_t*, int, int, int, QString, QString, bool, int, double, bool) { ++shown; },
                     Qt::QueuedConnection);
    r.init_displayer_for_stream(QFileInfo(seek), QStringLiteral("1"), {QFileInfo(video)});
    r.set_read_timestamp(QStringLiteral("20250314080005"));
    QCoreApplication::processEvents();
    r.change_rate(1.0);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    shown = 0;
    const double cpu0 = cpuSeconds();
    MemorySampler memory;
    QElapsedTimer run;
    run.start();
    runFor(seconds, &memory);
    const double elapsed = run.nsecsElapsed() / 1e9;
    f.peak_mib = memory.peak;
    const double cpu = cpuSeconds() - cpu0;
    r.toggle_pause();
    f.shown_fps = shown / elapsed;
    f.cpu_ms_per_frame = shown ? cpu * 1000 / shown : 0;
    return f;
}

// ffmpeg reading the same frames from a paced loopback server, decoding them and converting
// them to BGRA, for as many seconds of video as the display played.
struct FfmpegFigures
{
    int frames = 0;
    double cpu_ms_per_frame = 0;
    double peak_mib = 0;
    QString error;
};

double childCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

FfmpegFigures playFfmpeg(quint16 port, double seconds)
{
    FfmpegFigures f;
    const QString command = QStringLiteral("ffmpeg -hide_banner -nostdin -benchmark -f h264 -framerate 25 -i "
                                           "http://127.0.0.1:%1/live.h264 -t %2 -pix_fmt bgra -f null -")
                                .arg(port)
                                .arg(seconds);
    const double cpu0 = childCpuSeconds();
    QProcess run;
    // Started as a background job so that bash forks it: a program exec'd straight from our
    // fork would report our own peak memory as its own.
    run.start(QStringLiteral("bash"), {QStringLiteral("-c"), command + QStringLiteral(" & wait $!")});
    if (!run.waitForFinished(int(seconds * 1000) + 60000) || run.exitCode() != 0) {
        run.kill();
        run.waitForFinished();
        f.error = QString::fromLocal8Bit(run.readAllStandardError().right(400));
        return f;
    }
    const double cpu = childCpuSeconds() - cpu0;
    const QByteArray err = run.readAllStandardError();
    // The last progress line counts the frames; "-benchmark" ends with "bench: maxrss=NkB".
    const int frameAt = err.lastIndexOf("frame=");
    if (frameAt >= 0)
        f.frames = err.mid(frameAt + 6).trimmed().split(' ').first().toInt();
    const int rssAt = err.lastIndexOf("maxrss=");
    if (rssAt >= 0)
        f.peak_mib = err.mid(rssAt + 7).split('k').first().toDouble() / 1024.0;
    f.cpu_ms_per_frame = f.frames > 0 ? cpu * 1000 / f.frames : 0;
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString dir = zrbench::tempDir(QStringLiteral("live"));
    qputenv("HOME", (dir + QStringLiteral("/home")).toLocal8Bit());
    QDir().mkpath(dir + QStringLiteral("/home"));
    QApplication app(argc, argv);
    DebugLevel::instance()->set_level(0);

    QProcess gen;
    gen.start(zrbench::toolPath(QStringLiteral("zr-make-export")),
              {QStringLiteral("--out"), dir + QStringLiteral("/export"), QStringLiteral("--json"), QStringLiteral("--jobs"),
               QStringLiteral("3"), QStringLiteral("--size"), QStringLiteral("1920x1080"), QStringLiteral("--noise"),
               QStringLiteral("8"), QStringLiteral("--seed"), QStringLiteral("5")});
    if (!gen.waitForFinished(-1) || gen.exitCode() != 0) {
        std::fprintf(stderr, "zr-make-export failed: %s\n", gen.readAllStandardError().constData());
        return 1;
    }
    const QJsonObject rec = QJsonDocument::fromJson(gen.readAllStandardOutput())
                                .object()
                                .value(QStringLiteral("cameras"))
                                .toArray()
                                .first()
                                .toObject()
                                .value(QStringLiteral("recordings"))
                                .toArray()
                                .first()
                                .toObject();
    const QString video = rec.value(QStringLiteral("video")).toString();
    const QString seek = rec.value(QStringLiteral("seek")).toString();
    QFile table(seek), data(video);
    if (!table.open(QIODevice::ReadOnly) || !data.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read the generated recording\n");
        return 1;
    }
    const QList<ZRFrame> index = ZRSeekTable::parse_text(table.readAll(), QStringLiteral("video"), video);
    QByteArray bytes = data.readAll();
    std::vector<QByteArray> frames;
    double served_mib = 0;
    for (const ZRFrame& f : index) {
        frames.push_back(bytes.mid(f.get_offset(), f.get_size()));
        served_mib += frames.back().size() / 1048576.0;
    }
    bytes.clear();
    bytes.squeeze();
    if (frames.empty()) {
        std::fprintf(stderr, "no frames in the generated recording\n");
        return 1;
    }

    const double seconds = 20.0;
    Figures live;
    {
        PacedServer server(frames, true);
        live = playLive(server.port, seconds);
    }
    const Figures file = playFile(seek, video, seconds);
    FfmpegFigures ffmpeg;
    {
        PacedServer server(frames, false);
        ffmpeg = playFfmpeg(server.port, seconds);
    }
    if (!ffmpeg.error.isEmpty())
        std::fprintf(stderr, "ffmpeg failed: %s\n", qPrintable(ffmpeg.error));

    zrbench::reportValue(QStringLiteral("live 1080p25: frames shown per second (of 25)"), live.shown_fps,
                         QStringLiteral("fps"));
    zrbench::reportValue(QStringLiteral("live 1080p25: frames skipped in 20 s"), double(live.skipped),
                         QStringLiteral("frames"));
    zrbench::report(QStringLiteral("live 1080p25 vs playback reader: process CPU per shown frame"),
                    live.cpu_ms_per_frame, file.cpu_ms_per_frame, QStringLiteral("ms"));
    zrbench::reportValue(QStringLiteral("playback reader 1080p25: frames shown per second"), file.shown_fps,
                         QStringLiteral("fps"));
    zrbench::report(QStringLiteral("live 1080p25 vs playback reader: resident memory, peak while playing"),
                    live.peak_mib, file.peak_mib, QStringLiteral("MiB"));
    zrbench::reportValue(QStringLiteral("live and playback memory include the served recording, held by the bench"),
                         served_mib, QStringLiteral("MiB"));
    zrbench::reportValue(QStringLiteral("ffmpeg, same frames over loopback: frames decoded (of %1)").arg(int(seconds * 25)),
                         double(ffmpeg.frames), QStringLiteral("frames"));
    zrbench::report(QStringLiteral("live 1080p25 vs ffmpeg decode+BGRA (no paint): CPU per frame"),
                    live.cpu_ms_per_frame, ffmpeg.cpu_ms_per_frame, QStringLiteral("ms"));
    zrbench::report(QStringLiteral("live 1080p25 vs ffmpeg decode+BGRA: peak resident memory"), live.peak_mib,
                    ffmpeg.peak_mib, QStringLiteral("MiB"));
    zrbench::reportValue(QStringLiteral("live 1080p25: playout interval deviation from paint + planned sleep, median"), live.p50_dev,
                         QStringLiteral("ms"));
    zrbench::reportValue(QStringLiteral("live 1080p25: playout interval deviation from paint + planned sleep, p99"), live.p99_dev,
                         QStringLiteral("ms"));
    QDir(dir).removeRecursively();
    return 0;
}
