#include "media/DecodedGroupCache.h"

#include "app/Log.h"
#include "media/VideoDecoder.h"

#include <QByteArray>
#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
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
    std::unique_ptr<VideoDecoder> decoder;
    // Kept open from one group to the next: going backward, they mostly come from one file.
    QFile data;
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

    void release(size_t i)
    {
        if (!pictures[i])
            return;
        pictures[i].reset();
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
}

DecodedGroupCache::~DecodedGroupCache()
{
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

void DecodedGroupCache::prepare(const QList<ZRFrame>& frames, int k, int last, const QString& sid)
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
    evict_except(nullptr);
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
            w->decoder.reset();
            w->data.close();
        });
    }
}

void DecodedGroupCache::decode(Group& g)
{
    const std::lock_guard<std::mutex> lock(g.worker->mutex);
    std::unique_ptr<VideoDecoder>& decoder = g.worker->decoder;
    QFile& data = g.worker->data;
    QByteArray buffer;
    size_t oldest = 0;
    for (int i = 0; i < g.frames.size(); ++i) {
        if (g.cancel)
            return;
        const ZRFrame& f = g.frames[i];
        // What a read from the key frame would not give the decoder either.
        if (f.get_stream_id() != g.sid)
            continue;
        if (data.fileName() != f.get_data_file() || !data.isOpen()) {
            data.close();
            data.setFileName(f.get_data_file());
            if (!data.open(QIODevice::ReadOnly))
                continue;
        }
        const qint64 size = f.get_size();
        if (size <= 0 || f.get_offset() < 0 || data.size() - f.get_offset() < size || !data.seek(f.get_offset()))
            continue;
        buffer.resize(size + AV_INPUT_BUFFER_PADDING_SIZE);
        if (data.read(buffer.data(), size) != size)
            continue;
        std::fill(buffer.begin() + size, buffer.end(), '\0');

        const std::string codec = f.get_codec().toStdString();
        if (!decoder || decoder->get_codec_name() != codec) {
            decoder = std::make_unique<VideoDecoder>();
            if (codec.empty() || !(decoder->open_decoder(codec) || decoder->open_decoder(codec))) {
                decoder.reset();
                continue;
            }
        }
        const AVFrame* out = decoder->decode_frame(reinterpret_cast<uint8_t*>(buffer.data()), int(size), false);
        if (!out)
            continue;
        ff::FramePtr copy(av_frame_clone(out));
        if (!copy)
            continue;
        const qint64 bytes = bytes_of(copy.get());
        // Over the bound, the pictures nearest the group's end are the ones worth keeping:
        // play going backward needs them first.
        while (g.held->load() + bytes > g.budget && oldest < size_t(i))
            g.release(oldest++);
        if (g.held->load() + bytes > g.budget)
            continue;
        g.pictures[size_t(i)] = std::move(copy);
        g.sizes[size_t(i)] = bytes;
        g.held->fetch_add(bytes);
    }
}
