// The starter preset library that ships with the filter: the kernels a user expects to find.
#pragma once

#include "KernelRecord.h"

#include <string>
#include <vector>

struct StarterPreset {
    std::string name;
    KernelRecord record;
};

// In the order they are written to the library.
std::vector<StarterPreset> StarterPresets();

// Writes them all with AppendPreset into path, which must not exist yet; false on any failure.
bool WriteStarterPresets(const char* path);
