// Frame memory on POSIX systems: large copies come straight from the kernel, aligned to 2 MB and
// offered huge pages, so that touching a fresh frame costs a few hundred page faults, not thousands.
#include "FrameMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kMappedFrom = size_t(2) << 20;  // smaller copies stay on the heap
constexpr size_t kPage = 4096;

size_t MappedBytes(size_t bytes) { return (bytes + kPage - 1) & ~(kPage - 1); }

}  // namespace

void* AllocateFrameMemory(size_t bytes)
{
    if (bytes < kMappedFrom) return std::calloc(bytes, 1);
    const size_t length = MappedBytes(bytes);
    if (length > SIZE_MAX - kHugePage) return nullptr;
    // Map 2 MB more than needed, then give back the unaligned head and the tail.
    void* mapping = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapping);
    const uintptr_t aligned = (start + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
    if (aligned > start) munmap(mapping, aligned - start);
    const size_t tail = kHugePage - (aligned - start);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
    // Only a hint: without huge pages the frame is still there, in small pages.
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void FreeFrameMemory(void* block, size_t bytes)
{
    if (!block) return;
    if (bytes < kMappedFrom)
        std::free(block);
    else
        munmap(block, MappedBytes(bytes));
}
