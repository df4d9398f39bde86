#pragma once

#include "media/DecodedFrame.h"

#include <QMutex>
#include <QWaitCondition>

#include <deque>

// A consumer's queue of decoded frames with the mutex that guards it. The consumer owns it
// and lends the producer pointers to its parts; records enter at the back and leave at the
// front, and a record taken off belongs to whoever took it. Every access to the deque, its
// size included, is made with the mutex held. `changed` is signalled (with the mutex held)
// whenever one side acts, so a side waiting on an empty or full queue wakes at once instead
// of sleeping out its step.
struct DecodedFrameQueue
{
    std::deque<DecodedFrame*> frames;
    QMutex mutex;
    QWaitCondition changed;

    DecodedFrameQueue() = default;
    ~DecodedFrameQueue() { clear(); }
    DecodedFrameQueue(const DecodedFrameQueue&) = delete;
    DecodedFrameQueue& operator=(const DecodedFrameQueue&) = delete;

    // Producer: push at the back and wake the consumer.
    void push(DecodedFrame* frame)
    {
        QMutexLocker lock(&mutex);
        frames.push_back(frame);
        changed.wakeAll();
    }

    // Consumer: the front record, now owned by the caller; null when empty.
    DecodedFrame* take()
    {
        QMutexLocker lock(&mutex);
        if (frames.empty())
            return nullptr;
        DecodedFrame* f = frames.front();
        frames.pop_front();
        changed.wakeAll();
        return f;
    }

    size_t size()
    {
        QMutexLocker lock(&mutex);
        return frames.size();
    }

    // Wakes every side waiting on the queue (a stop, an end).
    void wake()
    {
        QMutexLocker lock(&mutex);
        changed.wakeAll();
    }

    // Consumer at its end: deletes every record still queued.
    void clear()
    {
        QMutexLocker lock(&mutex);
        while (!frames.empty()) {
            delete frames.front();
            frames.pop_front();
        }
        changed.wakeAll();
    }
};
