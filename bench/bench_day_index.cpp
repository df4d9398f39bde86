//! libs: zr_store
// Day index on a large placeholder export (7 days x 16 cameras x 1440 recordings, about
// 320,000 files), beside `find DIR -printf '%p %s %T@\n'` over the same folders. Cold means no
// index and no snapshot cache, with the folders' metadata in the page cache as after a first
// listing (a find over the whole export runs first):
//  (a) one day's index built cold, beside find over that day, with the thread pool and on the
//      calling thread alone;
//  (a) every day's index rebuilt by the index controller, cold and with the caches of a previous
//      run, beside one single-threaded find over the export and one find per day in parallel,
//  (b) checking an unchanged day with a warm cache (stored hash against a fresh snapshot hash),
//      right after the run that created the day's cache and in later runs, in this process and
//      in a process of its own (as at the program's start),
//  (c) the same check right after one recording was added to one media folder.
// An existing export folder may be given as the argument (it is then kept, caches aside).
#include "bench/support/BenchSupport.h"
#include "platform/ProcessFigures.h"
#include "store/ZRDirectorySnapshot.h"
#include "store/ZRIndexController.h"
#include "store/ZRIndexManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QThreadPool>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>

namespace {

void removeDayCaches(const QString& exportPath, const QString& dayName)
{
    QDir(exportPath + QStringLiteral("/.zrindex/") + dayName).removeRecursively();
    QDir(exportPath + QLatin1Char('/') + dayName + QStringLiteral("/.zrindex")).removeRecursively();
}

void removeCaches(const QString& exportPath)
{
    QDir(exportPath + QStringLiteral("/.zrindex")).removeRecursively();
    for (const QString& day : QDir(exportPath).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        QDir(exportPath + QLatin1Char('/') + day + QStringLiteral("/.zrindex")).removeRecursively();
}

// The fastest of several runs, with the processor time (all threads, user and system) that
// run took.
struct Figure
{
    double wall = std::numeric_limits<double>::max();
    double cpu = 0;

    void keep(double runWall, double runCpu)
    {
        if (runWall < wall) {
            wall = runWall;
            cpu = runCpu;
        }
    }
};

double processCpu()
{
    qint64 kernel = 0;
    qint64 user = 0;
    zrplatform::process_times(&kernel, &user);
    return double(kernel + user) / 1e7;
}

double childrenCpu()
{
    struct rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A shell command line, best of repeats, with the processor time of its processes.
Figure shell(const QString& commandLine, int repeats)
{
    Figure figure;
    for (int i = 0; i < repeats; ++i) {
        const double cpu = childrenCpu();
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.start(QStringLiteral("bash"), {QStringLiteral("-c"), commandLine});
        if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return Figure{-1, -1};
        figure.keep(t.nsecsElapsed() / 1e9, childrenCpu() - cpu);
    }
    return figure;
}

// Runs fn, timed with the processor time it took, into figure.
void measure(Figure* figure, const std::function<void()>& fn)
{
    const double cpu = processCpu();
    QElapsedTimer t;
    t.start();
    fn();
    figure->keep(t.nsecsElapsed() / 1e9, processCpu() - cpu);
}

void rebuildAll(const QString& exportPath)
{
    ZRIndexController controller;
    QEventLoop loop;
    QObject::connect(&controller, &ZRIndexController::allFinished, &loop, &QEventLoop::quit);
    controller.start(exportPath);
    if (controller.isRunning())
        loop.exec();
}

// What the camera listing does before it trusts a day's index.
bool checkDay(const QString& day)
{
    ZRIndexManager manager;
    const QString stored = manager.get_zrvideo_indexfile_lastmodified_hash(QFileInfo(day));
    ZRDirectorySnapshot snapshot;
    QStringList changed;
    return snapshot.twoPhase(day, &changed, true) == stored;
}

QString findCommand(const QString& folder)
{
    return QStringLiteral("find '%1' -printf '%p %s %T@\\n' > /dev/null").arg(folder);
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

} // namespace

// The child process of the fresh-process check: "--check-day DAY" prints the milliseconds of
// reading the stored hash alone, of the whole check, and its result.
int checkDayChild(const QString& day)
{
    FILE* err = freopen("/dev/null", "w", stderr);
    (void)err;
    QElapsedTimer t;
    t.start();
    const QString stored = ZRIndexManager().get_zrvideo_indexfile_lastmodified_hash(QFileInfo(day));
    const double storedMs = t.nsecsElapsed() / 1e6;
    ZRDirectorySnapshot snapshot;
    QStringList changed;
    const bool same = !stored.isEmpty() && snapshot.twoPhase(day, &changed, true) == stored;
    const double checkMs = t.nsecsElapsed() / 1e6;
    std::printf("%f %f %d\n", storedMs, checkMs, same ? 1 : 0);
    return 0;
}

// "--build-day DAY N", for a profiler: the day's index built N times without caches, on the
// calling thread alone.
int buildDayChild(const QString& exportPath, const QString& dayName, int times)
{
    FILE* err = freopen("/dev/null", "w", stderr);
    (void)err;
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    QThreadPool::globalInstance()->reserveThread();
    for (int i = 0; i < times; ++i) {
        removeDayCaches(exportPath, dayName);
        ZRIndexManager().background_generation(exportPath + QLatin1Char('/') + dayName);
    }
    QThreadPool::globalInstance()->releaseThread();
    return 0;
}

// The check run as a program would run it at start-up, in a process of its own: best of
// repeats, whole check and stored-hash read; the result is false when a run saw a change.
struct FreshCheck
{
    double checkMs = std::numeric_limits<double>::max();
    double storedMs = std::numeric_limits<double>::max();
    bool unchanged = true;
};

FreshCheck freshCheck(const QString& program, const QString& day, int repeats)
{
    FreshCheck figure;
    for (int i = 0; i < repeats; ++i) {
        QProcess p;
        p.start(program, {QStringLiteral("--check-day"), day});
        if (!p.waitForFinished(-1) || p.exitCode() != 0)
            return FreshCheck{-1, -1, false};
        const QList<QByteArray> parts = p.readAllStandardOutput().trimmed().split(' ');
        if (parts.size() != 3)
            return FreshCheck{-1, -1, false};
        figure.storedMs = std::min(figure.storedMs, parts.at(0).toDouble());
        figure.checkMs = std::min(figure.checkMs, parts.at(1).toDouble());
        figure.unchanged = figure.unchanged && parts.at(2) == "1";
    }
    return figure;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], "--check-day") == 0)
        return checkDayChild(QString::fromLocal8Bit(argv[2]));
    if (argc > 3 && qstrcmp(argv[1], "--build-day") == 0) {
        const QFileInfo day(QString::fromLocal8Bit(argv[2]));
        return buildDayChild(day.absolutePath(), day.fileName(), std::max(1, atoi(argv[3])));
    }
    QString out;
    QString exportPath;
    if (argc > 1) {
        exportPath = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    } else {
        out = zrbench::tempDir(QStringLiteral("dayindex"));
        QProcess gen;
        gen.start(zrbench::toolPath(QStringLiteral("zr-make-export")),
                  {QStringLiteral("--out"), out, QStringLiteral("--placeholder"), QStringLiteral("--days"),
                   QStringLiteral("7"), QStringLiteral("--cameras"), QStringLiteral("16"), QStringLiteral("--minutes"),
                   QStringLiteral("1440"), QStringLiteral("--start"), QStringLiteral("00:00:00"),
                   QStringLiteral("--seed"), QStringLiteral("1")});
        if (!gen.waitForFinished(-1) || gen.exitCode() != 0) {
            std::fprintf(stderr, "zr-make-export failed: %s\n", gen.readAllStandardError().constData());
            return 1;
        }
        const QStringList exports = QDir(out).entryList({QStringLiteral("zrnova_*")}, QDir::Dirs);
        if (exports.isEmpty())
            return 1;
        exportPath = out + QLatin1Char('/') + exports.first();
    }
    const QStringList days = QDir(exportPath).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (days.isEmpty())
        return 1;
    const QString day = exportPath + QLatin1Char('/') + days.first();
    const QString media = day + QStringLiteral("/cam000001");

    // The log echo would dominate the figures; the lines still pass through write_log.
    FILE* err = freopen("/dev/null", "w", stderr);
    (void)err;

    std::printf("cores (ideal thread count) %d, load average at start %s\n", QThread::idealThreadCount(),
                loadAverage().toLatin1().constData());
    std::fflush(stdout);

    // A first listing brings every folder's metadata into the page cache.
    shell(findCommand(exportPath), 1);
    const Figure findDay = shell(findCommand(day), 5);
    const Figure findExport = shell(findCommand(exportPath), 3);
    QStringList perDay;
    for (const QString& name : days)
        perDay << findCommand(exportPath + QLatin1Char('/') + name) + QStringLiteral(" &");
    const Figure findParallel = shell(perDay.join(QLatin1Char(' ')) + QStringLiteral(" wait"), 3);

    Figure coldDay;
    for (int i = 0; i < 5; ++i) {
        removeDayCaches(exportPath, days.first());
        measure(&coldDay, [&] { ZRIndexManager().background_generation(day); });
    }
    // The same on one thread (the pool lends none), as on a machine whose other cores are busy.
    Figure coldDayOne;
    const int poolThreads = QThreadPool::globalInstance()->maxThreadCount();
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    for (int i = 0; i < 5; ++i) {
        removeDayCaches(exportPath, days.first());
        QThreadPool::globalInstance()->reserveThread(); // the calling thread alone
        measure(&coldDayOne, [&] { ZRIndexManager().background_generation(day); });
        QThreadPool::globalInstance()->releaseThread();
    }
    QThreadPool::globalInstance()->setMaxThreadCount(poolThreads);
    Figure cold;
    for (int i = 0; i < 3; ++i) {
        removeCaches(exportPath);
        measure(&cold, [&] { rebuildAll(exportPath); });
    }
    Figure warm;
    for (int i = 0; i < 3; ++i)
        measure(&warm, [&] { rebuildAll(exportPath); });

    // The day's index and cache built afresh, then the check as the next start of the program
    // makes it, twice, each in a process of its own (a fresh heap, the index file in the page
    // cache).
    const QString self = QCoreApplication::applicationFilePath();
    removeDayCaches(exportPath, days.first());
    ZRIndexManager().background_generation(day);
    const FreshCheck freshFirst = freshCheck(self, day, 1);
    const FreshCheck freshSecond = freshCheck(self, day, 1);

    // The day's cache created afresh (which sets the day folder's time to now), then the very
    // next check.
    QDir(day + QStringLiteral("/.zrindex")).removeRecursively();
    checkDay(day);
    bool unchangedOk = true;
    QElapsedTimer afterCreationTimer;
    afterCreationTimer.start();
    unchangedOk = checkDay(day);
    const double afterCreation = afterCreationTimer.nsecsElapsed() / 1e9;

    // Later runs, once every folder is past the snapshot's same-second guard.
    QThread::sleep(3);
    checkDay(day);
    const double unchanged = zrbench::bestSeconds([&] { unchangedOk = checkDay(day) && unchangedOk; }, 5);
    const FreshCheck freshLater = freshCheck(self, day, 5);
    unchangedOk = unchangedOk && freshFirst.unchanged && freshSecond.unchanged && freshLater.unchanged;

    double added = std::numeric_limits<double>::max();
    bool addedSeen = true;
    const QString source = media + QStringLiteral("/1_") + QString(days.first()).remove(QLatin1Char('-')) + QStringLiteral("_000000");
    QStringList copies;
    for (int i = 0; i < 3; ++i) {
        const QString base = media + QStringLiteral("/1_20991231_00000%1").arg(i);
        QFile::copy(source + QStringLiteral(".zrvideo"), base + QStringLiteral(".zrvideo"));
        QFile::copy(source + QStringLiteral(".zrseek"), base + QStringLiteral(".zrseek"));
        copies << base + QStringLiteral(".zrvideo") << base + QStringLiteral(".zrseek");
        QElapsedTimer t;
        t.start();
        addedSeen = !checkDay(day) && addedSeen;
        added = std::min(added, t.nsecsElapsed() / 1e9);
        // The stored index is rebuilt by the player after a mismatch; do the same here.
        ZRIndexManager().background_generation(day);
    }

    const QString cpu = QStringLiteral("    processor time of those runs");
    zrbench::report(QStringLiteral("(a) one day's index, cold (find = that day)"), coldDay.wall, findDay.wall, QStringLiteral("s"));
    zrbench::report(cpu, coldDay.cpu, findDay.cpu, QStringLiteral("s"));
    zrbench::report(QStringLiteral("(a) one day's index, cold, one thread (find = that day)"), coldDayOne.wall, findDay.wall, QStringLiteral("s"));
    zrbench::report(cpu, coldDayOne.cpu, findDay.cpu, QStringLiteral("s"));
    zrbench::report(QStringLiteral("(a) every day's index, cold (find = export, one thread)"), cold.wall, findExport.wall, QStringLiteral("s"));
    zrbench::report(cpu, cold.cpu, findExport.cpu, QStringLiteral("s"));
    zrbench::report(QStringLiteral("(a) every day's index, cold (find = one per day, in parallel)"), cold.wall, findParallel.wall, QStringLiteral("s"));
    zrbench::report(cpu, cold.cpu, findParallel.cpu, QStringLiteral("s"));
    zrbench::report(QStringLiteral("(a) every day's index, warm cache (find = export, one thread)"), warm.wall, findExport.wall, QStringLiteral("s"));
    zrbench::report(cpu, warm.cpu, findExport.cpu, QStringLiteral("s"));
    zrbench::report(QStringLiteral("(b) check unchanged day, run after the cache's creation (find = one day)"), afterCreation * 1000, findDay.wall * 1000, QStringLiteral("ms"));
    zrbench::report(QStringLiteral("(b) check unchanged day, warm cache, later runs (find = one day)"), unchanged * 1000, findDay.wall * 1000, QStringLiteral("ms"));
    const auto reportFresh = [&](const QString& when, const FreshCheck& figure) {
        zrbench::report(QStringLiteral("(b) check unchanged day, own process, ") + when + QStringLiteral(" (find = one day)"),
                        figure.checkMs, findDay.wall * 1000, QStringLiteral("ms"));
        zrbench::reportValue(QStringLiteral("    of which reading the stored hash"), figure.storedMs, QStringLiteral("ms"));
    };
    reportFresh(QStringLiteral("first run after creation"), freshFirst);
    reportFresh(QStringLiteral("second run after creation"), freshSecond);
    reportFresh(QStringLiteral("later runs"), freshLater);
    zrbench::report(QStringLiteral("(c) check day after one added recording (find = one day)"), added * 1000, findDay.wall * 1000, QStringLiteral("ms"));
    if (!unchangedOk || !addedSeen)
        std::printf("WARNING: check results unexpected (unchanged %d, added seen %d)\n", unchangedOk, addedSeen);
    std::printf("load average at end %s\n", loadAverage().toLatin1().constData());
    if (!out.isEmpty()) {
        QDir(out).removeRecursively();
    } else {
        // A given export is left as it came, its caches aside.
        for (const QString& copy : copies)
            QFile::remove(copy);
        removeCaches(exportPath);
    }
    return 0;
}
