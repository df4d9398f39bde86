#include "display/PlayoutPacing.h"

#include <cmath>

FrameWait plan_frame_wait(double fps, bool pacing, bool compensate, qint64 paint_duration_us)
{
    FrameWait w;
    w.rate = (std::isfinite(fps) && fps >= 1.0) ? fps : 1.0;
    if (!pacing)
        return w;
    double interval = 1000000.0 / w.rate;
    if (compensate)
        interval -= static_cast<int>(static_cast<double>(paint_duration_us) * 1.5);
    const int n = static_cast<int>(interval);
    if (n < 1) {
        w.late = true;
        const long skip = std::lround(static_cast<double>(paint_duration_us) / (1000000.0 / w.rate));
        w.skip_count = static_cast<int>(skip < 1 ? 1 : skip > 5 ? 5 : skip);
        return w;
    }
    w.sleep_ms = n / 1000;
    return w;
}

int playout_max_list_size(double fps, int buffer_ms, qint64 picture_bytes)
{
    const int rate = (std::isfinite(fps) && fps > 0 && fps < 1e6) ? static_cast<int>(fps) : 0;
    qint64 size = (static_cast<qint64>(rate) * buffer_ms / 1000) * 2;
    if (picture_bytes > 0)
        size = qMin(size, kPlayoutBufferBytes / picture_bytes);
    return static_cast<int>(qBound(qint64(3), size, qint64(200)));
}
