#include "platform/LargePages.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace zrplatform {

namespace {

constexpr std::size_t kLargePage = std::size_t(2) << 20;
constexpr std::size_t kSmallAlignment = 64;

std::size_t page_rounded(std::size_t size)
{
    constexpr std::size_t page = 4096;
    return (size + page - 1) / page * page;
}

} // namespace

void* large_pages_allocate(std::size_t size)
{
    if (size == 0)
        return nullptr;
    if (size < kLargePage) {
        void* block = nullptr;
        if (posix_memalign(&block, kSmallAlignment, size) != 0)
            return nullptr;
        std::memset(block, 0, size);
        return block;
    }
    // Map a large page more than needed and cut the ends off, so that the block starts on a
    // large-page boundary and every whole large page inside it can be backed by one.
    const std::size_t length = page_rounded(size);
    void* mapped = mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kLargePage - 1) & ~(std::uintptr_t(kLargePage) - 1);
    if (aligned > start)
        munmap(mapped, aligned - start);
    const std::size_t tail = (start + length + kLargePage) - (aligned + length);
    if (tail > 0)
        munmap(reinterpret_cast<void*>(aligned + length), tail);
#ifdef MADV_HUGEPAGE
    // Only a hint: where large pages are off, the block works with small ones.
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

void large_pages_release(void* block, std::size_t size)
{
    if (!block)
        return;
    if (size < kLargePage)
        std::free(block);
    else
        munmap(block, page_rounded(size));
}

} // namespace zrplatform
