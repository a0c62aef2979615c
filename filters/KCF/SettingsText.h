// The filter's settings as text: parsing a kernel and option values the way users type them, and
// describing a configuration block. Used by kcftool; portable.
#pragma once

#include "KernelRecord.h"

#include <string>
#include <vector>

// Value ranges the control dialog allows.
constexpr int32_t kMaxMaterialId = 15;
constexpr int32_t kMaxObjectId = 65535;
constexpr int32_t kSpinnerLimit = 99999;  // divisor and offset: -99999 .. 99999

// Parses a whole decimal integer in [min, max]; on failure error names the value and the range.
bool ParseBoundedInt(const std::string& text, const char* what, long long min, long long max, int32_t& out,
                     std::string& error);

// Parses "ROW; ROW; ..." (3, 5, 7 or 9 rows of as many integers, separated by blanks or commas) into
// the centred block of a zero 9x9 grid; the size then follows the kernel-size rule, as in the dialog.
bool ParseKernel(const std::string& text, KernelRecord& kernel, std::string& error);

// Parses kcftool's "block" options into settings (starting from what settings holds). The preset
// options are returned for the caller to resolve: presetName and libraryPath stay empty when absent.
struct BlockOptions {
    std::string outPath;
    std::string presetName;
    std::string libraryPath;
    bool kernelGiven = false;
};
bool ParseBlockOptions(const std::vector<std::string>& args, FilterSettings& settings, BlockOptions& options,
                       std::string& error);

// Checks a stored block: exactly 612 bytes with our tag.
bool CheckBlock(const std::vector<unsigned char>& bytes, FilterSettings& out, std::string& error);

// A readable description of settings: size, grid, divisor, offset, invert, source, ids and name.
std::string DescribeSettings(const FilterSettings& settings);
// A readable description of a kernel record alone (size, grid, divisor, offset, invert).
std::string DescribeKernel(const KernelRecord& kernel);
