#include "support/ProcessUsage.h"

#include "platform/ProcessFigures.h"
#include "support/AnalyseTools.h"

ProcessUsage::ProcessUsage(AnalyseTools* owner)
    : QObject(nullptr)
    , owner(owner)
{
    processor_count = zrplatform::processor_count();
    last_system_time = zrplatform::system_time_100ns();
    zrplatform::process_times(&last_kernel_time, &last_user_time);
}

QString ProcessUsage::usage_text(double used_mib, quint64 available_mib, quint64 total_mib, double cpu_percent)
{
    return QStringLiteral("[INFO] Process Usage :: Physical Memory [ USE ") + QString::number(used_mib, 'f', 2)
        + QStringLiteral(" / AVAIL ") + QString::number(double(available_mib), 'f', 1)
        + QStringLiteral(" / TOT ") + QString::number(double(total_mib), 'f', 1)
        + QStringLiteral(" Mb ] --- CPU [ ") + QString::number(cpu_percent, 'f', 5) + QStringLiteral(" % ]");
}

void ProcessUsage::sample_usage()
{
    const qint64 workingSet = zrplatform::process_working_set();
    const double used = workingSet > 0 ? double(workingSet) * (1.0 / 1024) * (1.0 / 1024) : 0.0;

    quint64 total = 0;
    quint64 available = 0;
    if (zrplatform::physical_memory(&total, &available)) {
        total >>= 20;
        available >>= 20;
    } else {
        total = 0;
        available = 0;
        if (owner)
            owner->write_output(QStringLiteral("[INFO] Process Usage :: unknown Memory "));
    }
    if (!owner)
        return;

    const qint64 now = zrplatform::system_time_100ns();
    qint64 kernel = last_kernel_time;
    qint64 user = last_user_time;
    zrplatform::process_times(&kernel, &user);
    const qint64 elapsed = now - last_system_time;
    // Two samples within one tick of the clock: no time has passed to share out.
    const double cpu = elapsed > 0
        ? double((kernel + user) - (last_kernel_time + last_user_time)) / double(elapsed) / double(processor_count) * 100.0
        : 0.0;
    last_system_time = now;
    last_kernel_time = kernel;
    last_user_time = user;

    owner->write_output(usage_text(used, available, total, cpu));
}
