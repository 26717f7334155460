#include "platform/LargeMemory.h"

#include <cstdint>
#include <sys/mman.h>

void adviseLargePages(void* block, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    // Only the whole 2 MiB pages inside the block can be large ones.
    constexpr std::uintptr_t kLarge = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t first = (begin + kLarge - 1) & ~(kLarge - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kLarge - 1);
    if (block != nullptr && last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}
