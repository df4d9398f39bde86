#include "app/DebugLevel.h"

DebugLevel* DebugLevel::instance()
{
    // Function-local static: created once, thread-safe, never destroyed before exit.
    static DebugLevel* object = new DebugLevel();
    return object;
}

int DebugLevel::get_level() const
{
    return level.load(std::memory_order_relaxed);
}

void DebugLevel::set_level(int value)
{
    level.store(value, std::memory_order_relaxed);
}
