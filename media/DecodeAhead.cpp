#include "media/DecodeAhead.h"

#include "media/FrameSource.h"
#include "media/PictureBuffers.h"

extern "C" {
#include <libavutil/frame.h>
}

DecodeAhead::DecodeAhead() = default;

DecodeAhead::~DecodeAhead()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (worker.joinable())
        worker.join();
}

void DecodeAhead::set_depth(int n)
{
    const std::lock_guard<std::mutex> lock(mutex);
    depth = size_t(std::max(n, 1));
    wake.notify_all();
}

void DecodeAhead::set_held(bool on)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        held = on;
    }
    wake.notify_all();
}

bool DecodeAhead::next_on_way(int* list, int* at) const
{
    const QList<ZRFrame>& l = list_of(*list);
    switch (walk) {
    case Walk::Frames:
        if (*at + 1 < l.size()) {
            ++*at;
            return true;
        }
        if (*list == 0 && !follower.isEmpty()) {
            *list = 1;
            *at = 0;
            return true;
        }
        return false;
    case Walk::KeysForward:
        for (int p = *at + 1; p < l.size(); ++p) {
            if (l[p].starts_keyframe()) {
                *at = p;
                return true;
            }
        }
        if (*list == 0) {
            for (int p = 0; p < follower.size(); ++p) {
                if (follower[p].starts_keyframe()) {
                    *list = 1;
                    *at = p;
                    return true;
                }
            }
        }
        return false;
    case Walk::KeysBackward:
        for (int p = std::min(*at, int(l.size())) - 1; p >= 0; --p) {
            if (l[p].starts_keyframe()) {
                *at = p;
                return true;
            }
        }
        // Into the previous recording, as play enters it: from before its last frame.
        if (*list == 0) {
            for (int p = int(follower.size()) - 2; p >= 0; --p) {
                if (follower[p].starts_keyframe()) {
                    *list = 1;
                    *at = p;
                    return true;
                }
            }
        }
        return false;
    }
    return false;
}

bool DecodeAhead::on_way(const ZRFrame& f, int* list, int* at) const
{
    if (!aimed || next_list < 0)
        return false;
    for (int l = 0; l < 2; ++l) {
        const int p = position_in(list_of(l), f, -1);
        if (p < 0)
            continue;
        if (walk != Walk::Frames && !list_of(l)[p].starts_keyframe())
            return false;
        const bool ahead = l > next_list || (l == next_list && (walk == Walk::KeysBackward ? p <= next_at : p >= next_at));
        if (!ahead)
            return false;
        *list = l;
        *at = p;
        return true;
    }
    return false;
}

void DecodeAhead::aim(const QList<ZRFrame>& frames, int start, Walk w, const QString& s, bool wait, bool one)
{
    if (start < 0 || start >= frames.size())
        return;
    const ZRFrame& f = frames[start];
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (aimed && walk == w && sid == s && rate_one == one) {
            // Where the worker is on the way to f, and whether it waited for a key frame there.
            bool decoded = false;
            bool waited = waiting;
            for (const Entry& e : ready) {
                if (same_frame(e.frame, f)) {
                    decoded = true;
                    waited = e.waiting_before;
                }
            }
            int l = -1, p = -1;
            const bool inflight = !decoded && busy && in_flight_valid && in_flight_generation == generation && same_frame(in_flight, f);
            if (inflight)
                waited = in_flight_waiting;
            // Play waiting for a key frame (or not) where the worker did not: its way is not play's.
            const bool same_wait = w != Walk::Frames || waited == wait;
            if (same_wait && (decoded || inflight || on_way(f, &l, &p))) {
                while (decoded && !same_frame(ready.front().frame, f))
                    ready.pop_front();
                // Play has moved into the follower: it becomes the way.
                if (!follower.isEmpty() && position_in(follower, f, start) >= 0) {
                    way = follower;
                    follower.clear();
                    if (next_list == 1) {
                        next_list = 0;
                    } else if (next_list == 0) {
                        // The worker is still in the list play has left: it goes on in this one.
                        next_at = walk == Walk::KeysBackward ? int(way.size()) - 1 : -1;
                        if (!next_on_way(&next_list, &next_at))
                            next_list = -1;
                    }
                }
                wake.notify_all();
                return;
            }
        }
        ++generation;
        ready.clear();
        way = frames;
        follower.clear();
        walk = w;
        sid = s;
        waiting = wait;
        rate_one = one;
        next_list = 0;
        next_at = start;
        aimed = true;
        if (!worker.joinable())
            worker = std::thread([this]() { run(); });
    }
    wake.notify_all();
}

void DecodeAhead::follow_with(const QList<ZRFrame>& next)
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (!aimed || next.isEmpty() || !follower.isEmpty())
        return;
    if (!way.isEmpty() && same_frame(way.first(), next.first()))
        return;
    follower = next;
    if (next_list < 0) {
        // The worker had reached the end of the way: it goes on in the follower.
        // A position past either end of the way leads into the follower.
        int l = 0, p = walk == Walk::KeysBackward ? 0 : int(way.size()) - (walk == Walk::Frames ? 1 : 0);
        if (next_on_way(&l, &p)) {
            next_list = l;
            next_at = p;
        }
    }
    wake.notify_all();
}

DecodeAhead::Take DecodeAhead::take(const QList<ZRFrame>& frames, int i, const QString& s, bool wait, Picture* out)
{
    if (i < 0 || i >= frames.size())
        return Take::Elsewhere;
    const ZRFrame& f = frames[i];
    const std::lock_guard<std::mutex> lock(mutex);
    if (!aimed || sid != s)
        return Take::Elsewhere;
    for (size_t k = 0; k < ready.size(); ++k) {
        if (!same_frame(ready[k].frame, f))
            continue;
        if (walk == Walk::Frames && ready[k].waiting_before != wait)
            return Take::Elsewhere;
        *out = std::move(ready[k].picture);
        ready.erase(ready.begin(), ready.begin() + std::ptrdiff_t(k) + 1);
        ++taken_count;
        wake.notify_all();
        return Take::Ready;
    }
    int l = -1, p = -1;
    const bool inflight = busy && in_flight_valid && in_flight_generation == generation && same_frame(in_flight, f);
    if (!inflight && !on_way(f, &l, &p))
        return Take::Elsewhere;
    if (walk == Walk::Frames && (inflight ? in_flight_waiting : waiting) != wait)
        return Take::Elsewhere;
    // What is decoded lies before it on the way.
    ready.clear();
    ++late_count;
    wake.notify_all();
    // A picture of every frame is needed for the next, and one being decoded comes soon: the
    // next tick asks again.
    if (walk == Walk::Frames || inflight)
        return Take::Pending;
    // Key frames need nothing before them: the worker goes on with the one after, and the
    // picture it has in hand is of a frame play has passed.
    if (next_on_way(&l, &p)) {
        next_list = l;
        next_at = p;
    } else {
        next_list = -1;
    }
    if (busy)
        ++generation;
    return Take::Late;
}

void DecodeAhead::drop()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!aimed && ready.empty() && !worker.joinable())
            return;
        aimed = false;
        ++generation;
        ready.clear();
        way.clear();
        follower.clear();
        next_list = -1;
        release_decoder = true;
    }
    wake.notify_all();
}

void DecodeAhead::wait_idle()
{
    std::unique_lock<std::mutex> lock(mutex);
    idle.wait(lock, [this]() { return !busy && (held || !aimed || next_list < 0 || ready.size() >= depth); });
}

ff::FramePtr DecodeAhead::copy_of(const AVFrame* picture, std::vector<ff::FramePtr>* pool, size_t bound)
{
    // A picture of the pool nobody holds any more; the pool stays small.
    AVFrame* dst = nullptr;
    for (auto it = pool->begin(); it != pool->end();) {
        AVFrame* f = it->get();
        if (!av_frame_is_writable(f)) {
            ++it;
        } else if (f->width != picture->width || f->height != picture->height || f->format != picture->format) {
            it = pool->erase(it);
        } else {
            dst = f;
            break;
        }
    }
    if (!dst) {
        ff::FramePtr fresh = ff::make_frame();
        if (!fresh)
            return nullptr;
        fresh->width = picture->width;
        fresh->height = picture->height;
        fresh->format = picture->format;
        // Large pages, as the converters' pictures: this pool fills while play starts.
        if (!PictureBuffers::allocate(fresh.get(), 64) && av_frame_get_buffer(fresh.get(), 0) < 0)
            return nullptr;
        dst = fresh.get();
        if (pool->size() < bound)
            pool->push_back(std::move(fresh));
        else
            return av_frame_copy(dst, picture) < 0 ? nullptr : std::move(fresh);
    }
    if (av_frame_copy(dst, picture) < 0)
        return nullptr;
    ff::FramePtr out = ff::make_frame();
    if (!out || av_frame_ref(out.get(), dst) < 0)
        return nullptr;
    return out;
}

void DecodeAhead::run()
{
    // Pictures handed out come from here: the decoder's own converted picture is copied once,
    // into memory used before, so that its converter keeps writing in place.
    std::vector<ff::FramePtr> pool;
    std::unique_ptr<FrameSource> source;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this]() {
            return stopping || release_decoder || (!held && aimed && next_list >= 0 && ready.size() < depth);
        });
        if (stopping)
            break;
        if (release_decoder) {
            // Its buffers go with it: nothing is decoded ahead until play is aimed again.
            release_decoder = false;
            std::unique_ptr<FrameSource> gone = std::move(source);
            lock.unlock();
            gone.reset();
            pool.clear();
            lock.lock();
            continue;
        }
        const QList<ZRFrame> list = list_of(next_list);
        const int at = next_at;
        const unsigned gen = generation;
        const Walk w = walk;
        const QString s = sid;
        bool wait = waiting;
        const bool one = rate_one;
        const size_t keep = depth + 4; // pictures decoded ahead, taken, and on their way to the screen
        busy = true;
        in_flight = list[at];
        in_flight_valid = true;
        in_flight_list = next_list;
        in_flight_at = at;
        in_flight_waiting = wait;
        in_flight_generation = gen;
        if (!next_on_way(&next_list, &next_at))
            next_list = -1;
        lock.unlock();

        Picture p;
        if (!source) {
            source = std::make_unique<FrameSource>();
            source->set_group_cache_enabled(false);
        }
        // As play at rate 1 does: while it waits for a key frame, the frames before it are not read.
        if (!(w == Walk::Frames && wait && !list[at].is_keyframe())) {
            AVFrame* picture = nullptr;
            p.read = source->read(list, at, s, true, &picture);
            p.attempted = true;
            if (picture) {
                p.picture = copy_of(picture, &pool, keep);
                p.width = source->get_width();
                p.height = source->get_height();
                p.key = source->get_is_keyframe();
            }
            if (w == Walk::Frames && wait && p.read && one)
                wait = false;
        }
        p.waiting_after = wait;

        lock.lock();
        busy = false;
        in_flight_valid = false;
        if (gen == generation) {
            if (w == Walk::Frames)
                waiting = wait;
            ready.push_back(Entry{list[at], std::move(p), in_flight_waiting});
        }
        idle.notify_all();
    }
}
