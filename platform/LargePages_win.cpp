#include "platform/LargePages.h"

#include <windows.h>

namespace zrplatform {

// Large pages on Windows need a privilege an operator's account does not hold: plain committed
// pages, which the system hands out zeroed.
void* large_pages_allocate(std::size_t size)
{
    if (size == 0)
        return nullptr;
    return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void large_pages_release(void* block, std::size_t)
{
    if (block)
        VirtualFree(block, 0, MEM_RELEASE);
}

} // namespace zrplatform
