// The preset library file: reading records line by line, finding one by name, appending one.
#include "PresetLibrary.h"

#include "Messages.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kNameLength = kNameChars - 1;
// Longer than any 32-bit number; a longer word is damage, read as no number at all.
constexpr int kWordChars = 24;

// Reads one line and hands each character to put, up to the line end (LF or CR LF), which it
// consumes. Returns false when the file was already at its end.
template <typename Put>
bool ReadLine(FILE* file, Put put)
{
    int c = std::getc(file);
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = std::getc(file)) {
        if (c == '\r') {
            const int next = std::getc(file);
            if (next == '\n' || next == EOF) break;
            std::ungetc(next, file);
        }
        put(static_cast<char>(c));
    }
    return true;
}

// A name line: at most 255 characters are kept, the rest of an over-long line is dropped.
bool ReadNameLine(FILE* file, char name[kNameChars])
{
    int length = 0;
    const bool read = ReadLine(file, [&](char c) {
        if (length < kNameLength) name[length++] = c;
    });
    name[length] = '\0';
    return read;
}

// Parses a whole word as a signed 32-bit number.
bool ParseNumber(const char* word, int32_t& value)
{
    if (!*word) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(word, &end, 10);
    if (*end || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int32_t>(v);
    return true;
}

// A line of numbers separated by blanks: the first count of them go to values, and ok[i] says
// whether value i could be read. Missing numbers are not ok; extra words are ignored.
void ReadNumberLine(FILE* file, int count, int32_t* values, bool* ok)
{
    std::fill(ok, ok + count, false);
    char word[kWordChars + 1];
    int wordLength = 0;
    bool overlong = false;
    int index = 0;
    auto endWord = [&] {
        if (wordLength == 0 && !overlong) return;
        word[wordLength] = '\0';
        if (index < count) ok[index] = !overlong && ParseNumber(word, values[index]);
        ++index;
        wordLength = 0;
        overlong = false;
    };
    ReadLine(file, [&](char c) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') {
            endWord();
        } else if (wordLength < kWordChars) {
            word[wordLength++] = c;
        } else {
            overlong = true;
        }
    });
    endWord();
}

bool IsValidName(const char* name)
{
    const size_t length = std::strlen(name);
    return length > 0 && length <= static_cast<size_t>(kNameLength) && !std::strpbrk(name, "\r\n");
}

// Appends to out (capacity chars, length used); false when it does not fit.
bool PutText(char* out, size_t capacity, size_t& length, const char* text)
{
    const size_t n = std::strlen(text);
    if (n >= capacity - length) return false;
    std::memcpy(out + length, text, n + 1);
    length += n;
    return true;
}

bool PutNumber(char* out, size_t capacity, size_t& length, long value, bool separated)
{
    char text[kWordChars];
    std::snprintf(text, sizeof text, separated ? " %ld" : "%ld", value);
    return PutText(out, capacity, length, text);
}

}  // namespace

FILE* OpenPresetLibrary(const char* path)
{
    FILE* file = path && *path ? std::fopen(path, "rb") : nullptr;
    if (!file) ShowMessage("Error", "Can't open file: %s", path ? path : "");
    return file;
}

int ReadPreset(FILE* file, char name[kNameChars], KernelRecord* record)
{
    // Empty lines between records are no names; the end of the file ends the library.
    do {
        if (!ReadNameLine(file, name)) {
            name[0] = '\0';
            return 0;
        }
    } while (name[0] == '\0');

    int32_t size = 0;
    bool sizeOk = false;
    ReadNumberLine(file, 1, &size, &sizeOk);
    const int blockSize = sizeOk && IsKernelSize(size) ? size : kGridSide;
    const int origin = SubKernelOrigin(blockSize);

    std::fill(std::begin(record->weights), std::end(record->weights), 0);
    for (int r = 0; r < blockSize; ++r) {
        int32_t row[kGridSide] = {};
        bool ok[kGridSide];
        ReadNumberLine(file, blockSize, row, ok);
        for (int c = 0; c < blockSize; ++c)
            record->weights[(origin + r) * kGridSide + origin + c] = ok[c] ? row[c] : 0;
    }
    // Without a readable size the whole grid was read; 9 says so, and writes it back whole.
    record->size = sizeOk ? size : kGridSide;

    int32_t last[3];
    bool ok[3];
    ReadNumberLine(file, 3, last, ok);
    if (ok[0]) record->divisor = last[0];
    if (ok[1]) record->offset = last[1];
    if (ok[2]) record->invert = last[2];
    return 1;
}

int FindPreset(const char* path, const char* name, KernelRecord* record)
{
    FILE* file = OpenPresetLibrary(path);
    if (!file) return 0;
    // A scratch record, so that a name that is not there leaves the caller's record alone.
    KernelRecord scratch = *record;
    char found[kNameChars];
    int result = 0;
    while (ReadPreset(file, found, &scratch)) {
        if (std::strcmp(found, name) == 0) {
            *record = scratch;
            result = 1;
            break;
        }
    }
    std::fclose(file);
    return result;
}

int FormatPreset(char* out, size_t capacity, const char* name, const KernelRecord& record, const char* lineEnd)
{
    if (capacity == 0) return -1;
    out[0] = '\0';
    size_t length = 0;
    bool fits = PutText(out, capacity, length, name) && PutText(out, capacity, length, lineEnd);
    fits = fits && PutNumber(out, capacity, length, record.size, false) && PutText(out, capacity, length, lineEnd);
    const int blockSize = IsKernelSize(record.size) ? record.size : kGridSide;
    const int origin = SubKernelOrigin(blockSize);
    for (int r = 0; fits && r < blockSize; ++r) {
        for (int c = 0; fits && c < blockSize; ++c)
            fits = PutNumber(out, capacity, length, record.weights[(origin + r) * kGridSide + origin + c], c > 0);
        fits = fits && PutText(out, capacity, length, lineEnd);
    }
    fits = fits && PutNumber(out, capacity, length, record.divisor, false);
    fits = fits && PutNumber(out, capacity, length, record.offset, true);
    fits = fits && PutNumber(out, capacity, length, record.invert, true);
    fits = fits && PutText(out, capacity, length, lineEnd);
    if (!fits) {
        out[0] = '\0';
        return -1;
    }
    return static_cast<int>(length);
}

int AppendPreset(const char* path, const char* name, const KernelRecord* record)
{
    if (!IsValidName(name)) return 0;
    char text[kPresetTextChars];
    const int length = FormatPreset(text, sizeof text, name, *record, "\r\n");
    if (length < 0) return 0;

    FILE* file = path && *path ? std::fopen(path, "a+b") : nullptr;
    if (!file) {
        ShowMessage("Error", "Can't open file: %s", path ? path : "");
        return 0;
    }
    // A file edited by hand may lack its last line end; the new name must start a line of its own.
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    if (ok && std::ftell(file) > 0 && std::fseek(file, -1, SEEK_END) == 0 && std::getc(file) != '\n')
        ok = std::fseek(file, 0, SEEK_END) == 0 && std::fputs("\r\n", file) >= 0;
    ok = ok && std::fseek(file, 0, SEEK_END) == 0;
    ok = ok && std::fwrite(text, 1, static_cast<size_t>(length), file) == static_cast<size_t>(length);
    // Not every C library reports a failed flush from fclose: flush first and ask.
    ok = ok && std::fflush(file) == 0 && !std::ferror(file);
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        ShowMessage("Error", "Can't write file: %s", path);
        return 0;
    }
    return 1;
}

bool PresetNameLess(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
        return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y));
    });
}

bool ListPresetNames(const char* path, std::vector<std::string>& names)
{
    names.clear();
    FILE* file = OpenPresetLibrary(path);
    if (!file) return false;
    char name[kNameChars];
    KernelRecord scratch = DefaultKernelRecord();
    while (ReadPreset(file, name, &scratch)) names.emplace_back(name);
    std::fclose(file);
    std::stable_sort(names.begin(), names.end(), PresetNameLess);
    return true;
}
