#pragma once

#include <QtGlobal>

// Processor and memory figures of the running process and of the machine. Times are in
// 100-nanosecond units, sizes in bytes.
namespace zrplatform {

// Logical processors available to the process (at least 1).
int processor_count();

// A steady clock for measuring elapsed time between two samples.
qint64 system_time_100ns();

// Processor time the process has spent in the kernel and in user code so far.
bool process_times(qint64* kernel_100ns, qint64* user_100ns);

// Physical memory the process currently occupies (its resident set); -1 when unknown.
qint64 process_working_set();

// Total and available physical memory of the machine.
bool physical_memory(quint64* total, quint64* available);

} // namespace zrplatform
