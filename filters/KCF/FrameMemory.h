// Zero-filled memory for the frame copies, taken and given back once per rendered frame.
#pragma once

#include <cstddef>

// bytes of zero-filled memory, or null. FreeFrameMemory must get the same byte count.
void* AllocateFrameMemory(size_t bytes);
void FreeFrameMemory(void* block, size_t bytes);
