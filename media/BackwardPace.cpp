#include "media/BackwardPace.h"

#include <algorithm>

int BackwardPace::aim(int index, int count, qint64 now_ns)
{
    const qint64 step = qint64(std::max(interval, 1)) * 1000000;
    const qint64 elapsed = now_ns - last_tick;
    int skip;
    if (last_tick == 0 || elapsed > kRestartFrames * step || elapsed < 0) {
        skip = kRestartFrames;
        last_tick = now_ns;
        forget();
    } else {
        skip = int(elapsed / step);
        last_tick += skip * step;
    }
    int target = std::min(index - skip - owed_frames, count - 1);
    // Play does not run ahead of the group it waits for.
    if (waited_key >= 0 && target < waited_key)
        target = waited_key;
    return target;
}

void BackwardPace::wait(int index, int aimed, int key)
{
    owed_frames = index - aimed;
    waited_key = key;
}

void BackwardPace::forget()
{
    owed_frames = 0;
    waited_key = -1;
}
