#pragma once

#include <QtGlobal>

// The pace of play at rate -1. Each tick goes back as many frames as whole timer intervals have
// passed since the last one; the remainder is carried, so a tick that comes a little early
// repeats once and the next one catches up. After a gap longer than kRestartFrames intervals
// (first tick, pause) a tick goes back kRestartFrames frames and starts afresh. While the group of
// the frame a tick aims at is still being decoded, the frames play goes past are owed, and the
// first tick that can show catches up with them, though not past that group's key frame.
class BackwardPace
{
public:
    static constexpr int kRestartFrames = 5;

    void set_interval_ms(int ms) { interval = ms; }
    int interval_ms() const { return interval; }

    // The frame the tick at now (steady clock, ns) aims at, going back from index in a list of
    // count frames (index may stand past the last frame after forward play). Negative: before
    // the list's start.
    int aim(int index, int count, qint64 now_ns);
    // The tick aiming at frames[aimed], going back from index, found its group still decoding:
    // play waits for the group of key frame key.
    void wait(int index, int aimed, int key);
    // A picture was shown, or play went elsewhere: nothing is owed.
    void forget();
    int owed() const { return owed_frames; }

    // Tests set the clock of the last tick.
    qint64 last_tick_ns() const { return last_tick; }
    void set_last_tick_ns(qint64 ns) { last_tick = ns; }

private:
    qint64 last_tick = 0;
    int interval = 40;
    int owed_frames = 0;
    int waited_key = -1;
};
