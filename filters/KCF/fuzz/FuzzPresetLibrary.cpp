// Fuzz target: the preset library reader on any bytes. Every record it returns has a name of 1 to
// 255 characters, and what it returns, written again, reads back the same.
#include "PresetLibrary.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Reads one record from text held in memory.
bool ReadOne(const char* text, size_t length, char name[kNameChars], KernelRecord& record)
{
    FILE* f = fmemopen(const_cast<char*>(text), length, "rb");
    if (!f) std::abort();
    const int read = ReadPreset(f, name, &record);
    std::fclose(f);
    return read == 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return 0;
    char name[kNameChars];
    KernelRecord record = DefaultKernelRecord();
    int records = 0;
    while (ReadPreset(f, name, &record)) {
        const size_t length = strnlen(name, kNameChars);
        if (length == 0 || length >= kNameChars) std::abort();
        if (++records > 1000000) std::abort();
        if (std::strchr(name, '\r')) continue;  // a name the dialog could never have written

        char text[kPresetTextChars];
        const int written = FormatPreset(text, sizeof text, name, record, "\r\n");
        if (written < 0) std::abort();
        char again[kNameChars];
        KernelRecord back = DefaultKernelRecord();
        back.divisor = ~record.divisor;  // every field must come from the text
        if (!ReadOne(text, static_cast<size_t>(written), again, back)) std::abort();
        if (std::strcmp(again, name) != 0 || std::memcmp(&back, &record, sizeof back) != 0) std::abort();
    }
    std::fclose(f);
    return 0;
}
