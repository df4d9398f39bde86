//! libs: zr_export
// Export of a generated camera-like minute (1080p25 H.264 with sensor noise) through the
// export thread, to H.264 MP4 (crf 10) and MJPEG AVI, beside the ffmpeg command line that
// decodes the same data file (single-threaded decoder, as ours) and encodes it with the same
// encoder, settings and thread count (automatic), in alternate rounds of the same run. Also the
// runs with the date-and-time band, CPU seconds per frame and peak memory.
#include "app/DebugLevel.h"
#include "bench/support/BenchSupport.h"
#include "export/ff_export.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
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

struct Result
{
    double seconds = 1e30;
    double cpu = 0;
    int frames = 0;
};

Result runOurs(const QString& video, const QString& out, const QString& codec, bool band)
{
    QFile::remove(out);
    ff_export ex;
    ex.set_files({QFileInfo(video)});
    ex.set_start_time(QStringLiteral("080000"));
    ex.set_end_time(QStringLiteral("080100"));
    ex.set_stream_id(QStringLiteral("1"));
    ex.set_encoder_parameters(out, codec, 2048, -1, -1, band, QStringLiteral("normal"));
    std::atomic<int> frames{0};
    QObject::connect(&ex, &ff_export::frame_downloaded_encoded, &ex, [&] { ++frames; }, Qt::DirectConnection);
    bool failed = false;
    QObject::connect(&ex, &ff_export::error, &ex, [&](int c) {
        std::fprintf(stderr, "export failed: %d\n", c);
        failed = true;
    }, Qt::DirectConnection);
    Result r;
    const double cpu0 = zrbench::cpuSeconds(RUSAGE_SELF);
    QElapsedTimer t;
    t.start();
    ex.start();
    ex.wait();
    r.seconds = t.nsecsElapsed() / 1e9;
    r.cpu = zrbench::cpuSeconds(RUSAGE_SELF) - cpu0;
    r.frames = failed ? 0 : frames.load();
    return r;
}

long ffmpegPeakKiB = 0;

Result runFfmpeg(const QString& command, const QString& out)
{
    QFile::remove(out);
    Result r;
    const zrbench::CommandRun run = zrbench::runCommand(command);
    if (!run.ok) {
        r.seconds = -1;
        return r;
    }
    r.seconds = run.seconds;
    r.cpu = run.cpu;
    ffmpegPeakKiB = std::max(ffmpegPeakKiB, run.peakKiB);
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                                        QStringLiteral("-select_streams"), QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                                        QStringLiteral("stream=nb_read_frames"), QStringLiteral("-of"),
                                        QStringLiteral("default=nw=1:nk=1"), out});
    p.waitForFinished(-1);
    r.frames = p.readAllStandardOutput().trimmed().toInt();
    return r;
}

int probedFrames(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                                        QStringLiteral("-select_streams"), QStringLiteral("v:0"), QStringLiteral("-show_entries"),
                                        QStringLiteral("stream=nb_read_frames"), QStringLiteral("-of"),
                                        QStringLiteral("default=nw=1:nk=1"), path});
    p.waitForFinished(-1);
    return p.readAllStandardOutput().trimmed().toInt();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // the band's text needs fonts
    DebugLevel::instance()->set_level(0);
    av_log_set_level(AV_LOG_ERROR);

    const QString dir = zrbench::tempDir(QStringLiteral("export"));
    QProcess gen;
    gen.start(zrbench::toolPath(QStringLiteral("zr-make-export")),
              {QStringLiteral("--out"), dir, QStringLiteral("--json"), QStringLiteral("--jobs"), QStringLiteral("3"),
               QStringLiteral("--size"), QStringLiteral("1920x1080"), QStringLiteral("--noise"), QStringLiteral("8"),
               QStringLiteral("--seed"), QStringLiteral("5")});
    if (!gen.waitForFinished(-1) || gen.exitCode() != 0) {
        std::fprintf(stderr, "zr-make-export failed: %s\n", gen.readAllStandardError().constData());
        return 1;
    }
    const QJsonObject rec = QJsonDocument::fromJson(gen.readAllStandardOutput()).object()
                                .value(QStringLiteral("cameras")).toArray().first().toObject()
                                .value(QStringLiteral("recordings")).toArray().first().toObject();
    const QString video = rec.value(QStringLiteral("video")).toString();
    const int recorded = rec.value(QStringLiteral("frames")).toInt();
    zrbench::reportValue(QStringLiteral("export: recording bit rate (camera-like, --noise 8)"),
                         QFileInfo(video).size() * 8.0 / 60.0 / 1e6, QStringLiteral("Mbit/s"));

    struct Format
    {
        QString label, codec, ext, ffmpegArgs;
    };
    const QList<Format> formats = {
        {QStringLiteral("H.264 MP4 crf 10"), QStringLiteral("libx264"), QStringLiteral("mp4"),
         QStringLiteral("-c:v libx264 -crf 10 -g 25 -pix_fmt yuv420p")},
        {QStringLiteral("MJPEG AVI"), QStringLiteral("mjpeg"), QStringLiteral("avi"),
         QStringLiteral("-c:v mjpeg -qmin 2 -qmax 31 -qdiff 1 -g 25 -pix_fmt yuvj420p")},
    };
    for (const Format& f : formats) {
        const QString ours = dir + QStringLiteral("/ours.") + f.ext;
        const QString theirs = dir + QStringLiteral("/ffmpeg.") + f.ext;
        const QString command =
            QStringLiteral("ffmpeg -nostdin -hide_banner -nostats -loglevel info -benchmark -threads 1 -f h264 -framerate 25 -i '%1' %2 -threads 0 "
                           "-sws_flags spline -y '%3'")
                .arg(video, f.ffmpegArgs, theirs);
        Result best, base;
        for (int round = 0; round < 3; ++round) {
            const Result a = runOurs(video, ours, f.codec, false);
            if (a.seconds < best.seconds)
                best = a;
            const Result b = runFfmpeg(command, theirs);
            if (b.seconds < 0)
                return 1;
            if (b.seconds < base.seconds || base.seconds < 0)
                base = b;
        }
        const int ourFrames = probedFrames(ours);
        zrbench::reportValue(QStringLiteral("export %1: frames written, ours (of %2)").arg(f.label).arg(recorded), ourFrames,
                             QStringLiteral("frames"));
        zrbench::reportValue(QStringLiteral("export %1: frames written, ffmpeg").arg(f.label), base.frames,
                             QStringLiteral("frames"));
        zrbench::report(QStringLiteral("export %1: frames per second").arg(f.label), best.frames / best.seconds,
                        base.frames / base.seconds, QStringLiteral("fps"));
        zrbench::report(QStringLiteral("export %1: CPU ms per frame").arg(f.label), best.cpu * 1000 / std::max(1, best.frames),
                        base.cpu * 1000 / std::max(1, base.frames), QStringLiteral("ms"));
        const Result banded = runOurs(video, ours, f.codec, true);
        zrbench::report(QStringLiteral("export %1 with the band: frames per second").arg(f.label),
                        banded.frames / banded.seconds, base.frames / base.seconds, QStringLiteral("fps"));
    }
    zrbench::report(QStringLiteral("export: peak memory (ours: whole process; ffmpeg: largest run)"),
                    zrbench::peakKiB(RUSAGE_SELF) / 1024.0, ffmpegPeakKiB / 1024.0, QStringLiteral("MiB"));
    QDir(dir).removeRecursively();
    return 0;
}
