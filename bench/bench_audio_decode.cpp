//! libs: zr_media
// One hour of generated AAC (the generator's ADTS sound, sixty one-minute recordings end to
// end) decoded and converted to 16-bit stereo by the audio player's stream decode path (FFmpeg
// decode, libswresample, SDL queue; SDL's disk driver writes to /dev/null as fast as it can),
// beside `ffmpeg -threads 1 -i FILE -f s16le -ac 2 -` and `ffmpeg -threads 1 -i FILE -f null -`
// on the same file in alternate rounds of the same run: real-time factor, CPU and peak memory.
// Ours is timed to the end of the decode loop (the input read, decoded, converted and queued;
// its CPU is the decode thread's own) and, apart, until SDL has written out what was queued.
#include "app/DebugLevel.h"
#include "bench/support/BenchSupport.h"
#include "media/ff_audio_decoder_sdl_player.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include <sys/resource.h>

extern "C" {
#include <libavutil/log.h>
}

namespace {

constexpr double kSeconds = 3600.0;

struct Result
{
    double seconds = 1e30;
    double cpu = 0;
    long peak = 0;         // KiB, ffmpeg only
    double drained = 1e30; // ours: seconds until SDL wrote out the queue and the loop closed
};

// The decode loop's end, seen in its log line from the decode thread itself.
QElapsedTimer clock_;
std::atomic<qint64> decodeEndNs{-1};
std::atomic<double> decodeThreadCpu{0};

void catchDecodeEnd(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (message.contains(QLatin1String("audio interrupted return true"))) {
        decodeThreadCpu = zrbench::cpuSeconds(RUSAGE_THREAD);
        decodeEndNs = clock_.nsecsElapsed();
    } else if (message.contains(QLatin1String("[ERROR]"))) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

Result runOurs(const QString& file, const QString& heard)
{
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(heard));
    Result r;
    decodeEndNs = -1;
    clock_.start();
    {
        ff_audio_decoder_sdl_player player(QString(), file);
        player.begin_stream();
        player.wait();
    }
    r.drained = clock_.nsecsElapsed() / 1e9;
    if (decodeEndNs < 0) {
        std::fprintf(stderr, "the decode loop did not reach the end of the input\n");
        r.seconds = -1;
        return r;
    }
    r.seconds = decodeEndNs / 1e9;
    r.cpu = decodeThreadCpu;
    return r;
}

Result runFfmpeg(const QString& command)
{
    Result r;
    const zrbench::CommandRun run = zrbench::runCommand(command);
    if (!run.ok) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", run.err.constData());
        r.seconds = -1;
        return r;
    }
    r.seconds = run.seconds;
    r.cpu = run.cpu;
    r.peak = run.peakKiB;
    return r;
}

void keepBest(Result* best, const Result& r)
{
    best->drained = std::min(best->drained, r.drained);
    if (r.seconds < best->seconds) {
        const long peak = std::max(best->peak, r.peak);
        *best = r;
        best->peak = peak;
    } else {
        best->peak = std::max(best->peak, r.peak);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    DebugLevel::instance()->set_level(1);
    qInstallMessageHandler(catchDecodeEnd);
    av_log_set_level(AV_LOG_ERROR);
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIODELAY", "0");

    const QString dir = zrbench::tempDir(QStringLiteral("audio-decode"));
    QProcess gen;
    gen.start(zrbench::toolPath(QStringLiteral("zr-make-export")),
              {QStringLiteral("--out"), dir, QStringLiteral("--json"), QStringLiteral("--jobs"), QStringLiteral("3"),
               QStringLiteral("--minutes"), QStringLiteral("60"), QStringLiteral("--audio"), QStringLiteral("--size"),
               QStringLiteral("64x36"), QStringLiteral("--fps"), QStringLiteral("1"), QStringLiteral("--seed"),
               QStringLiteral("5")});
    if (!gen.waitForFinished(-1) || gen.exitCode() != 0) {
        std::fprintf(stderr, "zr-make-export failed: %s\n", gen.readAllStandardError().constData());
        return 1;
    }
    const QJsonArray recordings = QJsonDocument::fromJson(gen.readAllStandardOutput()).object()
                                      .value(QStringLiteral("cameras")).toArray().first().toObject()
                                      .value(QStringLiteral("recordings")).toArray();
    const QString hour = dir + QStringLiteral("/hour.aac");
    QFile out(hour);
    if (recordings.size() != 60 || !out.open(QIODevice::WriteOnly))
        return 1;
    int packets = 0;
    for (const QJsonValue& v : recordings) {
        QFile part(v.toObject().value(QStringLiteral("audio")).toString());
        if (!part.open(QIODevice::ReadOnly))
            return 1;
        out.write(part.readAll());
        packets += v.toObject().value(QStringLiteral("audioPackets")).toInt();
    }
    out.close();
    zrbench::reportValue(QStringLiteral("audio: one hour of AAC, 16 kHz mono, bit rate"),
                         QFileInfo(hour).size() * 8.0 / kSeconds / 1000.0, QStringLiteral("kbit/s"));
    zrbench::reportValue(QStringLiteral("audio: packets"), packets, QStringLiteral("packets"));

    // What each side writes, once: 16-bit stereo at 16 kHz is 64,000 bytes per second (SDL's
    // disk driver adds the silence it writes while the player opens and closes).
    const QString heard = dir + QStringLiteral("/heard.raw");
    if (runOurs(hour, heard).seconds < 0)
        return 1;
    zrbench::reportValue(QStringLiteral("audio: seconds of sound written, ours"), QFileInfo(heard).size() / 64000.0,
                         QStringLiteral("s"));
    QFile::remove(heard);
    const QString count = QStringLiteral("ffmpeg -nostdin -loglevel error -threads 1 -i '%1' -f s16le -ac 2 - | wc -c").arg(hour);
    QProcess wc;
    wc.start(QStringLiteral("bash"), {QStringLiteral("-c"), count});
    wc.waitForFinished(-1);
    zrbench::reportValue(QStringLiteral("audio: seconds of sound written, ffmpeg"), wc.readAllStandardOutput().trimmed().toLongLong() / 64000.0,
                         QStringLiteral("s"));

    const QString s16 =
        QStringLiteral("ffmpeg -nostdin -hide_banner -nostats -loglevel info -benchmark -threads 1 -i '%1' -f s16le -ac 2 - > /dev/null")
            .arg(hour);
    const QString null =
        QStringLiteral("ffmpeg -nostdin -hide_banner -nostats -loglevel info -benchmark -threads 1 -i '%1' -f null -").arg(hour);
    Result ours, base, baseNull;
    for (int round = 0; round < 3; ++round) {
        const Result o = runOurs(hour, QStringLiteral("/dev/null"));
        if (o.seconds < 0)
            return 1;
        keepBest(&ours, o);
        const Result a = runFfmpeg(s16);
        const Result b = runFfmpeg(null);
        if (a.seconds < 0 || b.seconds < 0)
            return 1;
        keepBest(&base, a);
        keepBest(&baseNull, b);
    }
    zrbench::report(QStringLiteral("audio: real-time factor vs ffmpeg -f s16le -ac 2 (target >= 200)"), kSeconds / ours.seconds,
                    kSeconds / base.seconds, QStringLiteral("x"));
    zrbench::report(QStringLiteral("audio: real-time factor vs ffmpeg -f null"), kSeconds / ours.seconds,
                    kSeconds / baseNull.seconds, QStringLiteral("x"));
    zrbench::reportValue(QStringLiteral("audio: real-time factor, ours until SDL wrote the queue out to /dev/null"),
                         kSeconds / ours.drained, QStringLiteral("x"));
    zrbench::report(QStringLiteral("audio: real-time factor per CPU second (one core) vs ffmpeg -f s16le -ac 2"),
                    kSeconds / ours.cpu, kSeconds / base.cpu, QStringLiteral("x"));
    zrbench::report(QStringLiteral("audio: CPU seconds for the hour vs ffmpeg -f s16le -ac 2"), ours.cpu, base.cpu,
                    QStringLiteral("s"));
    zrbench::report(QStringLiteral("audio: CPU seconds for the hour vs ffmpeg -f null"), ours.cpu, baseNull.cpu,
                    QStringLiteral("s"));
    // Ours holds what SDL has not written out yet: the input decodes faster than the disk
    // driver writes.
    zrbench::report(QStringLiteral("audio: peak memory (ours: whole process; ffmpeg -f s16le: largest run)"),
                    zrbench::peakKiB(RUSAGE_SELF) / 1024.0, base.peak / 1024.0, QStringLiteral("MiB"));
    zrbench::reportValue(QStringLiteral("audio: peak memory, ffmpeg -f null"), baseNull.peak / 1024.0, QStringLiteral("MiB"));
    QDir(dir).removeRecursively();
    return 0;
}
