#include "platform/ProcessFigures.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

namespace zrplatform {

namespace {

qint64 to100ns(const timeval& t)
{
    return qint64(t.tv_sec) * 10000000 + qint64(t.tv_usec) * 10;
}

// A "Name:   1234 kB" line of /proc/meminfo, in bytes; -1 when absent.
qint64 meminfoValue(const QByteArray& text, const QByteArray& name)
{
    for (const QByteArray& line : text.split('\n')) {
        if (!line.startsWith(name + ':'))
            continue;
        const QList<QByteArray> parts = line.mid(name.size() + 1).simplified().split(' ');
        bool ok = false;
        const qint64 value = parts.value(0).toLongLong(&ok);
        if (!ok)
            return -1;
        return parts.value(1) == "kB" ? value * 1024 : value;
    }
    return -1;
}

} // namespace

int processor_count()
{
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? int(n) : 1;
}

qint64 system_time_100ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 10000000 + qint64(ts.tv_nsec) / 100;
}

bool process_times(qint64* kernel_100ns, qint64* user_100ns)
{
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return false;
    if (kernel_100ns)
        *kernel_100ns = to100ns(usage.ru_stime);
    if (user_100ns)
        *user_100ns = to100ns(usage.ru_utime);
    return true;
}

qint64 process_working_set()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().simplified().split(' ');
    bool ok = false;
    const qint64 pages = fields.value(1).toLongLong(&ok);
    if (!ok)
        return -1;
    return pages * qint64(sysconf(_SC_PAGESIZE));
}

bool physical_memory(quint64* total, quint64* available)
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = meminfo.readAll();
    const qint64 t = meminfoValue(text, "MemTotal");
    const qint64 a = meminfoValue(text, "MemAvailable");
    if (t < 0 || a < 0)
        return false;
    if (total)
        *total = quint64(t);
    if (available)
        *available = quint64(a);
    return true;
}

} // namespace zrplatform
