#include "media/DecodedGroupCache.h"

#include "app/Log.h"
#include "media/GroupDecoder.h"
#include "media/VideoDecoder.h"

#include <QByteArray>
#include <QFile>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <condition_variable>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace {

// Room for the group being shown and the one decoded ahead of it: a one-second 4K group is
// about 311 MB of decoded pictures.
constexpr qint64 kDefaultBudget = qint64(768) << 20;

qint64 bytes_of(const AVFrame* f)
{
    qint64 n = 0;
    for (AVBufferRef* b : f->buf)
        if (b)
            n += qint64(b->size);
    return n;
}

} // namespace

struct DecodedGroupCache::Worker
{
    std::mutex mutex;
    // A group is decoded with the codec's frame threads: the first picture of backward play
    // waits for a whole group. The one-thread decoder, the one play itself uses, takes over a
    // group whose pictures the threads could not be shown to give exactly as it would.
    GroupDecoder threaded;
    int threads = 1;
    std::unique_ptr<VideoDecoder> decoder;
    // Kept open from one group to the next: going backward, they mostly come from one file.
    QFile data;
    QByteArray buffer;
    std::atomic<int> with_threads{0};
    std::atomic<int> with_one_thread{0};
    // Pictures play is done with, freed here rather than in play's thread: handing a picture
    // back to its pool takes the pool's lock, which the decoding threads take too while they
    // allocate, so play's thread never waits for them.
    std::mutex graveyard_mutex;
    std::vector<ff::FramePtr> graveyard;

    void drop(ff::FramePtr picture)
    {
        const std::lock_guard<std::mutex> lock(graveyard_mutex);
        graveyard.push_back(std::move(picture));
    }

    void bury()
    {
        std::vector<ff::FramePtr> dead;
        const std::lock_guard<std::mutex> lock(graveyard_mutex);
        dead.swap(graveyard);
    }

    // The bytes of f into buffer (padded for the codec); false when they cannot be read.
    bool read(const ZRFrame& f)
    {
        if (data.fileName() != f.get_data_file() || !data.isOpen()) {
            data.close();
            data.setFileName(f.get_data_file());
            if (!data.open(QIODevice::ReadOnly))
                return false;
        }
        const qint64 size = f.get_size();
        if (size <= 0 || f.get_offset() < 0 || data.size() - f.get_offset() < size || !data.seek(f.get_offset()))
            return false;
        buffer.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
        if (data.read(buffer.data(), size) != size)
            return false;
        std::fill(buffer.begin() + size, buffer.end(), '\0');
        return true;
    }
};

struct DecodedGroupCache::Group
{
    QList<ZRFrame> frames; // the key frame first
    QString sid;
    std::vector<ff::FramePtr> pictures;
    std::vector<qint64> sizes;
    std::atomic<bool> cancel{false};
    qint64 budget = 0;
    std::shared_ptr<std::atomic<qint64>> held;
    std::shared_ptr<Worker> worker;
    QFuture<void> done;

    // Keeps picture i, unless the bound has no room for it even once every picture before it
    // is freed: over the bound, the pictures nearest the group's end are the ones worth
    // keeping, since play going backward needs them first.
    void keep(ff::FramePtr copy, size_t i, size_t* oldest)
    {
        const qint64 bytes = bytes_of(copy.get());
        while (held->load() + bytes > budget && *oldest < i)
            release((*oldest)++);
        if (held->load() + bytes > budget)
            return;
        pictures[i] = std::move(copy);
        sizes[i] = bytes;
        held->fetch_add(bytes);
    }

    void release(size_t i)
    {
        if (!pictures[i])
            return;
        worker->drop(std::move(pictures[i]));
        held->fetch_sub(sizes[i]);
        sizes[i] = 0;
    }

    ~Group()
    {
        for (size_t i = 0; i < pictures.size(); ++i)
            release(i);
    }

    // Where frame f lies in the group; -1 when not in it.
    int position(const ZRFrame& f, int guess) const { return position_in(frames, f, guess); }
};

DecodedGroupCache::DecodedGroupCache()
    : held(std::make_shared<std::atomic<qint64>>(0))
    , budget(kDefaultBudget)
    , worker(std::make_shared<Worker>())
{
    pool.setMaxThreadCount(1);
    worker->threads = std::clamp(QThread::idealThreadCount(), 1, 4);
}

DecodedGroupCache::~DecodedGroupCache()
{
    set_held(false);
    clear();
    pool.waitForDone();
}

std::shared_ptr<DecodedGroupCache::Group> DecodedGroupCache::find(const ZRFrame& key, const QString& sid) const
{
    for (const std::shared_ptr<Group>& g : groups)
        if (g->sid == sid && same_frame(g->frames.first(), key))
            return g;
    return nullptr;
}

bool DecodedGroupCache::has_group(const QList<ZRFrame>& frames, int k, const QString& sid) const
{
    return k >= 0 && k < frames.size() && find(frames[k], sid) != nullptr;
}

void DecodedGroupCache::evict_except(const std::shared_ptr<Group>& keep)
{
    groups.erase(std::remove_if(groups.begin(), groups.end(),
                                [&](const std::shared_ptr<Group>& g) {
                                    if (g == keep || g == current)
                                        return false;
                                    g->cancel = true;
                                    return true;
                                }),
                 groups.end());
}

void DecodedGroupCache::prepare(const QList<ZRFrame>& frames, int k, int last, const QString& sid, bool behind_last)
{
    if (k < 0 || last < k || last >= frames.size() || find(frames[k], sid))
        return;
    auto g = std::make_shared<Group>();
    g->frames = frames.mid(k, last - k + 1);
    g->sid = sid;
    g->pictures.resize(size_t(g->frames.size()));
    g->sizes.assign(size_t(g->frames.size()), 0);
    g->budget = budget;
    g->held = held;
    g->worker = worker;
    evict_except(behind_last && !groups.empty() ? groups.back() : nullptr);
    groups.push_back(g);
    worker_used = true;
    g->done = QtConcurrent::run(&pool, [g]() { decode(*g); });
}

const AVFrame* DecodedGroupCache::picture(const QList<ZRFrame>& frames, int k, int target, const QString& sid)
{
    if (k < 0 || target < k || target >= frames.size())
        return nullptr;
    const std::shared_ptr<Group> g = find(frames[k], sid);
    if (!g)
        return nullptr;
    g->done.waitForFinished();
    const int at = g->position(frames[target], target - k);
    return at < 0 ? nullptr : g->pictures[size_t(at)].get();
}

bool DecodedGroupCache::decoding(const QList<ZRFrame>& frames, int k, const QString& sid) const
{
    if (k < 0 || k >= frames.size())
        return false;
    const std::shared_ptr<Group> g = find(frames[k], sid);
    return g && !g->done.isFinished();
}

void DecodedGroupCache::wait_idle()
{
    pool.waitForDone();
}

struct DecodedGroupCache::Hold
{
    std::mutex mutex;
    std::condition_variable released;
    bool held = true;
};

void DecodedGroupCache::set_held(bool on)
{
    if (on == bool(hold))
        return;
    if (on) {
        hold = std::make_shared<Hold>();
        const std::shared_ptr<Hold> h = hold;
        pool.start([h]() {
            std::unique_lock<std::mutex> lock(h->mutex);
            h->released.wait(lock, [&]() { return !h->held; });
        });
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(hold->mutex);
        hold->held = false;
    }
    hold->released.notify_all();
    hold.reset();
}

void DecodedGroupCache::shown(const QList<ZRFrame>& frames, int k, int target, const QString& sid)
{
    if (k < 0 || target < k || target >= frames.size())
        return;
    const std::shared_ptr<Group> g = find(frames[k], sid);
    if (!g || !g->done.isFinished())
        return;
    const int at = g->position(frames[target], target - k);
    if (at < 0)
        return;
    for (size_t i = size_t(at) + 1; i < g->pictures.size(); ++i)
        g->release(i);
    current = g;
    evict_except(groups.empty() ? nullptr : groups.back());
    bury_on_worker();
}

void DecodedGroupCache::bury_on_worker()
{
    const std::shared_ptr<Worker> w = worker;
    {
        const std::lock_guard<std::mutex> lock(w->graveyard_mutex);
        if (w->graveyard.empty())
            return;
    }
    pool.start([w]() { w->bury(); });
}

int DecodedGroupCache::groups_decoded_with_threads() const
{
    return worker->with_threads.load();
}

int DecodedGroupCache::groups_decoded_with_one_thread() const
{
    return worker->with_one_thread.load();
}

int DecodedGroupCache::decode_threads() const
{
    return worker->threads;
}

void DecodedGroupCache::clear()
{
    for (const std::shared_ptr<Group>& g : groups)
        g->cancel = true;
    groups.clear();
    current.reset();
    // The decoder's buffer pool keeps the memory of every picture it ever gave out at once (two
    // groups' worth) until it is closed: close it once backward play is over, on the worker, after
    // the decoding in hand.
    if (worker_used) {
        worker_used = false;
        const std::shared_ptr<Worker> w = worker;
        pool.start([w]() {
            const std::lock_guard<std::mutex> lock(w->mutex);
            w->bury();
            w->decoder.reset();
            w->threaded.close();
            w->data.close();
        });
    }
}

void DecodedGroupCache::decode(Group& g)
{
    const std::lock_guard<std::mutex> lock(g.worker->mutex);
    if (g.worker->threads > 1 && decode_threaded(g)) {
        ++g.worker->with_threads;
        return;
    }
    for (size_t i = 0; i < g.pictures.size(); ++i)
        g.release(i);
    decode_one_thread(g);
    ++g.worker->with_one_thread;
}

bool DecodedGroupCache::decode_threaded(Group& g)
{
    Worker& w = *g.worker;
    GroupDecoder& decoder = w.threaded;
    const size_t n = size_t(g.frames.size());
    std::vector<char> fed(n, 0), got(n, 0);
    size_t oldest = 0;
    int64_t last = -1;
    bool same = true; // every picture is the one the one-thread decoder gives for that packet
    const GroupDecoder::Output take = [&](ff::FramePtr picture, int64_t tag) {
        // In packet order, one picture for each packet: as the one-thread decoder gives them.
        if (!picture || tag <= last || tag >= int64_t(n) || !fed[size_t(tag)]) {
            same = false;
            return;
        }
        last = tag;
        got[size_t(tag)] = 1;
        g.keep(std::move(picture), size_t(tag), &oldest);
    };
    bool started = false;
    for (size_t i = 0; i < n && same; ++i) {
        w.bury();
        if (g.cancel) {
            decoder.restart();
            return true;
        }
        const ZRFrame& f = g.frames[int(i)];
        // What a read from the key frame would not give the decoder either.
        if (f.get_stream_id() != g.sid || !w.read(f))
            continue;
        const std::string codec = f.get_codec().toStdString();
        if (!decoder.is_open() || decoder.codec_name() != codec) {
            // A codec change inside a group is the one-thread decoder's.
            if (started || codec.empty() || !decoder.open(codec, w.threads))
                return false;
        }
        if (!started) {
            decoder.restart();
            started = true;
        }
        fed[i] = 1;
        if (!decoder.send(reinterpret_cast<const uint8_t*>(w.buffer.constData()), int(w.buffer.size())
                              - AV_INPUT_BUFFER_PADDING_SIZE, int64_t(i), take))
            same = false;
    }
    if (!started)
        return false;
    if (same)
        decoder.drain(take);
    decoder.restart();
    if (!same || decoder.may_reorder())
        return false;
    for (size_t i = 0; i < n; ++i)
        if (fed[i] && !got[i])
            return false;
    return true;
}

void DecodedGroupCache::decode_one_thread(Group& g)
{
    Worker& w = *g.worker;
    std::unique_ptr<VideoDecoder>& decoder = w.decoder;
    size_t oldest = 0;
    for (int i = 0; i < g.frames.size(); ++i) {
        w.bury();
        if (g.cancel)
            return;
        const ZRFrame& f = g.frames[i];
        // What a read from the key frame would not give the decoder either.
        if (f.get_stream_id() != g.sid || !w.read(f))
            continue;
        const std::string codec = f.get_codec().toStdString();
        if (!decoder || decoder->get_codec_name() != codec) {
            decoder = std::make_unique<VideoDecoder>();
            if (codec.empty() || !(decoder->open_decoder(codec) || decoder->open_decoder(codec))) {
                decoder.reset();
                continue;
            }
        }
        const AVFrame* out = decoder->decode_frame(reinterpret_cast<uint8_t*>(w.buffer.data()),
                                                   int(w.buffer.size()) - AV_INPUT_BUFFER_PADDING_SIZE, false);
        if (!out)
            continue;
        ff::FramePtr copy(av_frame_clone(out));
        if (copy)
            g.keep(std::move(copy), size_t(i), &oldest);
    }
}
