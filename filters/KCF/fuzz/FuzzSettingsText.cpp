// Fuzz target: kcftool's argument and kernel parsing, and the description of stored blocks.
#include "SettingsText.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    // The whole input as a kernel.
    KernelRecord kernel = DefaultKernelRecord();
    std::string error;
    if (ParseKernel(text, kernel, error) && !IsKernelSize(kernel.size)) std::abort();

    // The input split at NUL or newline as block options.
    std::vector<std::string> args;
    std::string current;
    for (char c : text) {
        if (c == '\0' || c == '\n') {
            args.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    args.push_back(current);
    FilterSettings settings = DefaultFilterSettings();
    BlockOptions options;
    if (ParseBlockOptions(args, settings, options, error)) {
        if (settings.presetName[sizeof settings.presetName - 1] != '\0') std::abort();
        if (settings.kernel.divisor < -kSpinnerLimit || settings.kernel.divisor > kSpinnerLimit) std::abort();
        if (settings.materialId < 0 || settings.materialId > kMaxMaterialId) std::abort();
    }

    // The input as a stored block.
    std::vector<unsigned char> bytes(data, data + size);
    FilterSettings stored;
    if (CheckBlock(bytes, stored, error)) (void)DescribeSettings(stored);
    if (size >= sizeof stored) {
        std::memcpy(&stored, data, sizeof stored);
        (void)DescribeSettings(stored);
    }
    return 0;
}
