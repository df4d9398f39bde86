#pragma once

#include <QObject>

class AnalyseTools;

// Processor share and memory of the running process, one line per sample. Each sample
// measures the processor time used since the previous one (the first since construction).
class ProcessUsage : public QObject
{
    Q_OBJECT
public:
    explicit ProcessUsage(AnalyseTools* owner);

    void sample_usage();

    // The line of one sample: working set and memory in MiB, processor share in percent.
    static QString usage_text(double used_mib, quint64 available_mib, quint64 total_mib, double cpu_percent);

private:
    qint64 last_system_time = 0;
    qint64 last_kernel_time = 0;
    qint64 last_user_time = 0;
    int processor_count = 1;
    AnalyseTools* owner = nullptr;
};
