#pragma once

#include "media/FFmpegHolders.h"
#include "media/ZRFrame.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <vector>

class VideoDecoder;

// Decoded pictures of whole groups (a key frame and the frames after it), for play going
// backward: each group is decoded once, forward, from its key frame, on a worker thread, and its
// pictures (in the codec's own format, not converted) are handed out from the last to the first.
// A picture is freed once play has gone back past it, and the pictures held stay under a memory
// bound; a group larger than the bound keeps only the pictures nearest its end. Pictures are
// identified by data file and offset, so a group decoded from one frame list serves another list
// of the same recording. Called from one thread; the decoding runs on the cache's own worker.
class DecodedGroupCache
{
public:
    DecodedGroupCache();
    ~DecodedGroupCache();

    DecodedGroupCache(const DecodedGroupCache&) = delete;
    DecodedGroupCache& operator=(const DecodedGroupCache&) = delete;

    // Starts decoding frames[k..last] (k a key frame) on the worker unless that group is held or
    // being decoded already. Frames whose stream id is not sid, and frames that cannot be read,
    // are not given to the decoder, as a read from the key frame would not have. Every group
    // but the one last shown from is dropped; with behind_last, the one asked for last is kept
    // too and this one is decoded after it (play is still waiting for that one).
    void prepare(const QList<ZRFrame>& frames, int k, int last, const QString& sid, bool behind_last = false);

    // The picture of frames[target] decoded from key frame frames[k]: waits for the group's
    // decoding when it is under way. Null when the group does not hold it (never decoded, freed,
    // beyond the bound, or the codec gave none). Valid until the next call.
    const AVFrame* picture(const QList<ZRFrame>& frames, int k, int target, const QString& sid);

    // Play has gone back to frames[target] of the group of key frame k: frees the pictures after
    // it, and every group other than this one and the one decoded last.
    void shown(const QList<ZRFrame>& frames, int k, int target, const QString& sid);

    // Whether the group of key frame frames[k] is held or being decoded.
    bool has_group(const QList<ZRFrame>& frames, int k, const QString& sid) const;
    // Whether the group of key frame frames[k] is being decoded still.
    bool decoding(const QList<ZRFrame>& frames, int k, const QString& sid) const;
    // Blocks until every group asked for is decoded (tests).
    void wait_idle();
    // Held, the worker starts no group (tests make a group late with it).
    void set_held(bool held);

    // Drops every group (a running decode stops at its next picture) and has the worker close
    // its decoder and data file.
    void clear();

    void set_budget(qint64 bytes) { budget = bytes; }
    qint64 get_budget() const { return budget; }
    qint64 bytes_held() const { return held->load(); }
    // Groups decoded so far with the codec's frame threads, and with one thread (the threads were
    // not used or could not be shown to give the one-thread decoder's pictures).
    int groups_decoded_with_threads() const;
    int groups_decoded_with_one_thread() const;
    int decode_threads() const;

private:
    struct Group;

    std::shared_ptr<Group> find(const ZRFrame& key, const QString& sid) const;
    // Drops every group but keep and the one last shown.
    void evict_except(const std::shared_ptr<Group>& keep);
    // Has the worker free the pictures dropped since it last did.
    void bury_on_worker();
    static void decode(Group& g);
    // With the codec's frame threads; false when the group is the one-thread decoder's after all
    // (what the threads gave is then dropped).
    static bool decode_threaded(Group& g);
    static void decode_one_thread(Group& g);

    // Most recently asked for last.
    std::vector<std::shared_ptr<Group>> groups;
    std::shared_ptr<Group> current; // the group last shown from
    std::shared_ptr<std::atomic<qint64>> held;
    qint64 budget;
    // The decoder the groups are decoded with, one group after the other. Held by the running
    // task: a wait for a task not yet started may run it in the waiting thread.
    struct Worker;
    std::shared_ptr<Worker> worker;
    bool worker_used = false; // a group was asked for since the last clear
    struct Hold;
    std::shared_ptr<Hold> hold;
    // One worker: groups are decoded one after the other, in the order asked.
    QThreadPool pool;
};
