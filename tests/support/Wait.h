#pragma once

#include <QSignalSpy>
#include <QTest>

#include <functional>

namespace zrtest {

// The default deadline is generous: a loaded machine can take seconds over what is quick alone,
// and a wait that succeeds returns as soon as its condition holds.
constexpr int kDefaultWaitMs = 30000;

// Spins the event loop until the condition holds or the time runs out.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = kDefaultWaitMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

// Waits until the spy has seen at least count emissions.
inline bool waitForSignals(QSignalSpy& spy, int count = 1, int timeoutMs = kDefaultWaitMs)
{
    return QTest::qWaitFor([&] { return spy.count() >= count; }, timeoutMs);
}

} // namespace zrtest
