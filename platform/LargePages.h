#pragma once

#include <cstddef>

namespace zrplatform {

// Memory for large pictures that the system may back with large pages. A decoder's first
// pictures then cost a few page faults instead of thousands: on a virtual machine, touching
// 260 MB of fresh small pages takes most of a second. Blocks come out zeroed.
// Null when the memory cannot be had; release with the size that was asked for.
void* large_pages_allocate(std::size_t size);
void large_pages_release(void* block, std::size_t size);

} // namespace zrplatform
