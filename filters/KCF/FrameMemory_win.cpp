// Frame memory on Windows: the C runtime's heap (large pages would need a privilege that a
// plug-in cannot count on).
#include "FrameMemory.h"

#include <cstdlib>

void* AllocateFrameMemory(size_t bytes) { return std::calloc(bytes, 1); }

void FreeFrameMemory(void* block, size_t) { std::free(block); }
