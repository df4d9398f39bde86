#include "bench/support/BenchSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QUuid>

#include <cstdio>
#include <limits>

#include <sys/resource.h>

namespace zrbench {

double bestSeconds(const std::function<void()>& fn, int repeats)
{
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer t;
        t.start();
        fn();
        best = std::min(best, t.nsecsElapsed() / 1e9);
    }
    return best;
}

double shellSeconds(const QString& commandLine, int repeats)
{
    double best = std::numeric_limits<double>::max();
    for (int i = 0; i < repeats; ++i) {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral("bash"), {QStringLiteral("-c"), commandLine});
        if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return -1;
        best = std::min(best, t.nsecsElapsed() / 1e9);
    }
    return best;
}

void report(const QString& what, double ours, double baseline, const QString& unit)
{
    const double ratio = baseline != 0 ? ours / baseline : 0;
    std::printf("%-60s ours %12.4f %-8s baseline %12.4f %-8s ratio %.3f\n", what.toLocal8Bit().constData(), ours,
                unit.toLocal8Bit().constData(), baseline, unit.toLocal8Bit().constData(), ratio);
    std::fflush(stdout);
}

void reportValue(const QString& what, double value, const QString& unit)
{
    std::printf("%-60s %12.4f %s\n", what.toLocal8Bit().constData(), value, unit.toLocal8Bit().constData());
    std::fflush(stdout);
}

double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long peakKiB(int who)
{
    rusage u{};
    getrusage(who, &u);
    return u.ru_maxrss;
}

CommandRun runCommand(const QString& commandLine)
{
    CommandRun r;
    const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
    QProcess run;
    QElapsedTimer t;
    t.start();
    run.start(QStringLiteral("bash"), {QStringLiteral("-c"), commandLine + QStringLiteral(" & wait $!")});
    r.ok = run.waitForFinished(-1) && run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
    r.seconds = t.nsecsElapsed() / 1e9;
    r.cpu = cpuSeconds(RUSAGE_CHILDREN) - cpu0;
    r.err = run.readAllStandardError();
    const int at = r.err.lastIndexOf("maxrss=");
    if (at >= 0)
        r.peakKiB = r.err.mid(at + 7).split('k').first().toLong();
    return r;
}

QString toolPath(const QString& name)
{
    return QStringLiteral(ZR_TOOLS_BUILD_DIR) + QLatin1Char('/') + name;
}

QString tempDir(const QString& tag)
{
    const QString path = QDir::tempPath() + QStringLiteral("/zrbench-") + tag + QLatin1Char('-')
        + QUuid::createUuid().toString(QUuid::Id128).left(8);
    QDir().mkpath(path);
    return path;
}

} // namespace zrbench
