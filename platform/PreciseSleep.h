#pragma once

#include <cstdint>

namespace zrplatform {

// The sleep interval in the native 100-ns units, negative for "relative to now":
// 40 ms gives -400000. The callers pass at most 1000 ms.
int64_t precise_sleep_interval(int ms);

// Sleeps the calling thread for ms whole milliseconds (0 allowed) at the finest timer
// resolution the system offers.
void precise_sleep(int ms);

} // namespace zrplatform
