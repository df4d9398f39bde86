#pragma once

#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace zrtest {

// Spins the event loop until the condition holds or the time runs out.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

// Waits until the spy has seen at least count emissions.
inline bool waitForSignals(QSignalSpy& spy, int count = 1, int timeoutMs = 5000)
{
    return QTest::qWaitFor([&] { return spy.count() >= count; }, timeoutMs);
}

} // namespace zrtest
