#pragma once

#include <QtGlobal>

// The playout loop's arithmetic as plain functions, so that tests can check it without a
// stream or a clock.

// What waiting one frame interval means at a rate, given how long the last paint took.
struct FrameWait
{
    double rate = 1.0;   // the rate used (at least 1)
    bool late = false;   // the paint took the whole interval: the next frames may be skipped
    int skip_count = 0;  // how many non-key frames may be skipped (1..5) when late
    int sleep_ms = 0;    // whole milliseconds to sleep when not late
};

// pacing: the frame just sent asks for an interval; compensate: subtract 1.5 x the paint time.
FrameWait plan_frame_wait(double fps, bool pacing, bool compensate, qint64 paint_duration_us);

// Largest number of frames the playout buffer keeps for a rate and a buffer time, 3..200.
// When the size of one decoded picture is known, the buffer also stays within
// kPlayoutBufferBytes (200 buffered 4K pictures would be 2.5 GB).
constexpr qint64 kPlayoutBufferBytes = 768ll * 1024 * 1024;
int playout_max_list_size(double fps, int buffer_ms, qint64 picture_bytes = 0);
