#pragma once

#include "media/FFmpegHolders.h"
#include "media/ZRFrame.h"

#include <QList>
#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class FrameSource;

// Decodes and converts to BGRA, on a thread of its own, the next few pictures play will show, so
// that a play tick only takes a finished picture and never waits for the decoder. The pictures
// come from a FrameSource of its own, read in the order play reads them: every frame from where
// play stands (rate 1), or the key frames in play's direction (rates 2 to 8, forward and back), so
// each is the picture the reader's own source gives for that frame. Aimed and taken from one
// thread (the reader's); the decoding runs on the worker.
class DecodeAhead
{
public:
    enum class Walk {
        Frames,       // every frame, forward
        KeysForward,  // the frames that start a key frame, forward
        KeysBackward, // the same, backward
    };

    // What the worker made of one frame, as the reader's read of it would have.
    struct Picture
    {
        bool attempted = false; // the frame was read at all (play waiting for a key frame skips others)
        bool read = false;      // the read succeeded (as FrameSource::read)
        ff::FramePtr picture;  // BGRA; null when the codec gave none, or the frame was not read
        int width = -1;
        int height = -1;
        bool key = false;
        bool waiting_after = false; // play at rate 1 still waits for a key frame after this one
    };

    enum class Take {
        Ready,     // the picture of the frame asked for is in *out
        Pending,   // being decoded, or (every frame needed) still to come: ask again
        Late,      // a key frame not started yet: passed over, the worker goes on with the next
        Elsewhere, // not on the worker's way: aim it first
    };

    DecodeAhead();
    ~DecodeAhead();

    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // Has the worker go over frames from frames[start] on, as walk says. waiting: play at rate 1
    // waits for a key frame (the frames before it are not read); rate_one: a key frame read ends
    // that wait (play at rate 1). Nothing changes when the worker is on that way already.
    void aim(const QList<ZRFrame>& frames, int start, Walk walk, const QString& sid, bool waiting, bool rate_one);
    // Where the way goes after the end of its list: the next recording's frames going forward,
    // the previous one's going backward.
    void follow_with(const QList<ZRFrame>& next);
    // The picture of frames[i]; what is before it on the way is dropped. Going over key frames, one
    // the worker has not started is passed over: it goes on with the key frame after. waiting: play
    // at rate 1 waits for a key frame at frames[i]; a worker that did not (or did) is elsewhere.
    Take take(const QList<ZRFrame>& frames, int i, const QString& sid, bool waiting, Picture* out);
    // Forgets the way and what was decoded, and has the worker close its decoder.
    void drop();

    // Pictures handed out, and takes that found theirs not decoded yet (pending or passed over).
    int taken() const { return taken_count; }
    int late() const { return late_count; }
    // Blocks until the worker has decoded as far ahead as it goes (tests only).
    void wait_idle();
    // How many pictures the worker keeps decoded ahead.
    void set_depth(int n);
    // Held, the worker starts no decode (tests make a picture late with it).
    void set_held(bool on);

private:
    struct Entry
    {
        ZRFrame frame;
        Picture picture;
        bool waiting_before; // play at rate 1 waited for a key frame when it came to this frame
    };

    void run();
    // A reference to a copy of picture, in a picture of the pool that nobody holds any more.
    static ff::FramePtr copy_of(const AVFrame* picture, std::vector<ff::FramePtr>* pool, size_t bound);
    // The frame after `at` on the way (list 0: frames, 1: the follower); false at its end. Under lock.
    bool next_on_way(int* list, int* at) const;
    const QList<ZRFrame>& list_of(int list) const { return list == 0 ? way : follower; }
    bool on_way(const ZRFrame& f, int* list, int* at) const;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::thread worker;
    bool stopping = false;
    bool release_decoder = false;
    bool held = false;
    bool busy = false;
    unsigned generation = 0;
    // The frame the worker is decoding, while busy.
    ZRFrame in_flight;
    bool in_flight_valid = false;
    int in_flight_list = -1;
    int in_flight_at = -1;
    bool in_flight_waiting = false;
    unsigned in_flight_generation = 0; // a decode for a way since left is of no use

    // The way, under mutex.
    bool aimed = false;
    QList<ZRFrame> way;
    QList<ZRFrame> follower;
    QString sid;
    Walk walk = Walk::Frames;
    bool waiting = false;
    bool rate_one = true;
    // The next frame the worker decodes; list -1 at the end of the way.
    int next_list = -1;
    int next_at = 0;
    std::deque<Entry> ready;
    size_t depth = 3;

    int taken_count = 0;
    int late_count = 0;
};
