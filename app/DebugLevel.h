#pragma once

#include <atomic>

// Process-wide debug level: above 0, write_log forwards texts to the debug output.
class DebugLevel
{
public:
    static DebugLevel* instance();

    int get_level() const;
    void set_level(int level);

private:
    DebugLevel() = default;
    DebugLevel(const DebugLevel&) = delete;
    DebugLevel& operator=(const DebugLevel&) = delete;

    std::atomic<int> level{1};
};
