// Fuzz target: the preset library reader on any bytes. Every record it returns has a name of 1 to
// 255 characters, and what it returns, written again, reads back the same.
#include "PresetLibrary.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Reads one record from text held in memory.
bool ReadOne(const char* text, size_t length, char name[kNameChars], KernelRecord& record)
{
    FILE* f = fmemopen(const_cast<char*>(text), length, "rb");
    if (!f) std::abort();
    const bool read = ReadPreset(f, name, &record);
    std::fclose(f);
    return read;
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

        const std::string text = FormatPreset(name, record, "\r\n");
        char again[kNameChars];
        KernelRecord back = DefaultKernelRecord();
        back.divisor = ~record.divisor;  // every field must come from the text
        if (!ReadOne(text.data(), text.size(), again, back)) std::abort();
        if (std::strcmp(again, name) != 0 || std::memcmp(&back, &record, sizeof back) != 0) std::abort();
    }
    std::fclose(f);
    return 0;
}
