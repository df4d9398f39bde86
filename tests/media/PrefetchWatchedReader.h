#pragma once

// The reader with a look at its seek-table prefetches, which run on the thread pool: a test
// waits until the one it needs has finished instead of sleeping for a while.

#include "media/ZRStreamReadAndControl.h"

#include <QFileInfo>
#include <QString>

namespace zrtest {

class PrefetchWatchedReader : public ZRStreamReadAndControl
{
public:
    // The prefetch of the file after (before) the current one has parsed the file at path.
    bool nextPrefetched(const QString& path) const
    {
        return next_prefetch_file.fileName() == QFileInfo(path).fileName() && next_prefetch.isFinished();
    }
    bool previousPrefetched(const QString& path) const
    {
        return previous_prefetch_file.fileName() == QFileInfo(path).fileName() && previous_prefetch.isFinished();
    }
    // No prefetch is parsing.
    bool prefetchesSettled() const { return next_prefetch.isFinished() && previous_prefetch.isFinished(); }
};

} // namespace zrtest
