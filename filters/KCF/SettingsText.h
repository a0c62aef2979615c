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

// Parses an offset: a whole number in the divisor and offset range, or a percentage of the 16-bit
// range ("50%" is 32768, "-12.5%" is -8192), rounded to the nearest level.
bool ParseOffset(const std::string& text, int32_t& out, std::string& error);

// Makes the divisor the sum of the weights Render uses (1 when they sum to 0), so that a flat area
// keeps its brightness; false, with the record unchanged, when the sum is beyond the divisor's range.
bool NormalizeDivisor(KernelRecord& kernel, std::string& error);

// Parses "ROW; ROW; ..." (3, 5, 7 or 9 rows of as many integers, separated by blanks or commas) into
// the centred block of a zero 9x9 grid; the size then follows the kernel-size rule, as in the dialog.
bool ParseKernel(const std::string& text, KernelRecord& kernel, std::string& error);

// Parses kcftool's "block" options into settings (starting from what settings holds). The preset
// options are returned for the caller to resolve: presetName and libraryPath stay empty when absent.
// --normalize is left for the caller too, to apply once the kernel is settled (ResolveBlockOptions).
// outRequired, set by the caller before parsing: --out must be given (kcftool; vphost has its own).
struct BlockOptions {
    bool outRequired = true;
    std::string outPath;
    std::string presetName;
    std::string libraryPath;
    bool kernelGiven = false;
    bool normalize = false;
};
bool ParseBlockOptions(const std::vector<std::string>& args, FilterSettings& settings, BlockOptions& options,
                       std::string& error);

// Applies what ParseBlockOptions left to its caller, as picking a preset in the control dialog
// does: the preset's kernel, divisor, offset and invert (and its name, unless args gave --name),
// then --normalize. Usage: --preset with --divisor, --offset or --invert. Failed: the library
// cannot be read (error empty: the reader has told the user why), a name that is not there (error
// names the nearest ones), weights that --normalize cannot take.
enum class Resolved { Done, Usage, Failed };
Resolved ResolveBlockOptions(const std::vector<std::string>& args, const BlockOptions& options, FilterSettings& settings,
                             std::string& error);

// Checks a stored block: exactly 612 bytes with our tag.
bool CheckBlock(const std::vector<unsigned char>& bytes, FilterSettings& out, std::string& error);

// A readable description of settings: size, grid, divisor, offset, invert, source, ids and name.
std::string DescribeSettings(const FilterSettings& settings);
// A readable description of a kernel record alone (size, grid, divisor, offset, invert).
std::string DescribeKernel(const KernelRecord& kernel);

// The settings as kcftool block options that give them back when pasted into a command line (every
// option but --out): quoted for a POSIX shell, or for Windows' cmd and the C runtime's argument
// rules. What the options cannot say (a value beyond the dialog's ranges, an invert other than 0 or
// 1, a stored size the weights do not give) is added to notes, one line each.
enum class CommandLineStyle { Posix, Windows };
std::string SettingsAsArgs(const FilterSettings& settings, CommandLineStyle style, std::vector<std::string>& notes);
