#include "platform/PreciseSleep.h"

#include <cerrno>
#include <ctime>

namespace zrplatform {

int64_t precise_sleep_interval(int ms)
{
    return static_cast<int64_t>(static_cast<int32_t>(static_cast<float>(ms) * -10000.0f));
}

void precise_sleep(int ms)
{
    if (ms <= 0)
        return;
    // An absolute deadline on the monotonic clock: a signal that interrupts the sleep cannot
    // stretch it, and the wall clock changing cannot shorten it.
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const int64_t ns = -precise_sleep_interval(ms) * 100;
    deadline.tv_sec += static_cast<time_t>(ns / 1000000000);
    deadline.tv_nsec += static_cast<long>(ns % 1000000000);
    if (deadline.tv_nsec >= 1000000000) {
        deadline.tv_nsec -= 1000000000;
        ++deadline.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

} // namespace zrplatform
