// The preset library file: reading records line by line, finding one by name, appending one.
#include "PresetLibrary.h"

#include "Messages.h"
#include "PresetFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kNameLength = kNameChars - 1;
// Longer than any 32-bit number; a longer word is damage, read as no number at all.
constexpr int kWordChars = 24;

// Where the reader takes its bytes: an open file, or a library read whole into memory.
class FileSource {
public:
    explicit FileSource(FILE* file) : file_(file) {}
    int Get() { return std::getc(file_); }
    void Unget(int c) { std::ungetc(c, file_); }

private:
    FILE* file_;
};

class TextSource {
public:
    explicit TextSource(const std::string& text) : text_(text) {}
    int Get() { return at_ < text_.size() ? static_cast<unsigned char>(text_[at_++]) : EOF; }
    void Unget(int) { --at_; }  // only ever the byte just taken

private:
    const std::string& text_;
    size_t at_ = 0;
};

// Reads one line and hands each character to put, up to the line end (LF or CR LF), which it
// consumes. Returns false when the source was already at its end.
template <typename Source, typename Put>
bool ReadLine(Source& in, Put put)
{
    int c = in.Get();
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = in.Get()) {
        if (c == '\r') {
            const int next = in.Get();
            if (next == '\n' || next == EOF) break;
            in.Unget(next);
        }
        put(static_cast<char>(c));
    }
    return true;
}

// A name line: at most 255 characters are kept, the rest of an over-long line is dropped.
template <typename Source>
bool ReadNameLine(Source& in, char name[kNameChars])
{
    int length = 0;
    const bool read = ReadLine(in, [&](char c) {
        if (length < kNameLength) name[length++] = c;
    });
    name[length] = '\0';
    return read;
}

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// A name holds something besides blanks; an empty or blanks-only line between records is none.
bool HasNonBlank(const char* text)
{
    for (; *text; ++text)
        if (!IsBlank(static_cast<unsigned char>(*text))) return true;
    return false;
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

// The numbers of a record, read as the C library reads numbers: blanks, line ends and empty lines
// between them are skipped, so rows may be split or joined as a hand edit left them. A word that
// is no number is taken whole and read as no number, so that the damage stays where it is.
enum class Number { Read, Unreadable, Missing };

template <typename Source>
class NumberReader {
public:
    explicit NumberReader(Source& in) : in_(in) {}

    // The next number; Missing when the source ended first.
    Number Next(int32_t& value)
    {
        int c = in_.Get();
        while (c != EOF && IsBlank(c)) c = in_.Get();
        if (c == EOF) return Number::Missing;
        char word[kWordChars + 1];
        int length = 0;
        bool damaged = false;
        for (; c != EOF && !IsBlank(c); c = in_.Get()) {
            if (length < kWordChars && c != '\0')
                word[length++] = static_cast<char>(c);
            else
                damaged = true;
        }
        word[length] = '\0';
        atLineEnd_ = c == EOF || c == '\n';
        return !damaged && ParseNumber(word, value) ? Number::Read : Number::Unreadable;
    }

    // Drops what is left of the line of the last number: words after a record's last number are
    // not the next name.
    void EndLine()
    {
        if (atLineEnd_) return;
        for (int c = in_.Get(); c != EOF && c != '\n';) c = in_.Get();
        atLineEnd_ = true;
    }

private:
    Source& in_;
    bool atLineEnd_ = true;
};

// Reads the next record, as ReadPreset tells. missingNumbers counts the numbers of the record
// that were not there because the source ended first: a record cut short.
template <typename Source>
bool ReadRecord(Source& in, char name[kNameChars], KernelRecord* record, int& missingNumbers)
{
    missingNumbers = 0;
    // Empty and blanks-only lines between records are no names; the end of the source ends the library.
    do {
        if (!ReadNameLine(in, name)) {
            name[0] = '\0';
            return false;
        }
    } while (!HasNonBlank(name));

    NumberReader<Source> numbers(in);
    auto next = [&](int32_t& value) {
        const Number n = numbers.Next(value);
        missingNumbers += n == Number::Missing;
        return n == Number::Read;
    };
    int32_t size = 0;
    const bool sizeOk = next(size);
    const int blockSize = sizeOk ? PresetBlockSize(size) : kGridSide;

    std::fill(std::begin(record->weights), std::end(record->weights), 0);
    for (int r = 0; r < blockSize; ++r)
        for (int c = 0; c < blockSize; ++c) {
            int32_t w = 0;
            if (next(w)) record->weights[SubKernelCell(blockSize, r, c)] = w;
        }
    // Without a readable size the whole grid was read; 9 says so, and writes it back whole.
    record->size = sizeOk ? size : kGridSide;

    int32_t value = 0;
    if (next(value)) record->divisor = value;
    if (next(value)) record->offset = value;
    if (next(value)) record->invert = value;
    numbers.EndLine();
    return true;
}

bool IsValidName(const char* name)
{
    const size_t length = std::strlen(name);
    return HasNonBlank(name) && length <= static_cast<size_t>(kNameLength) && !std::strpbrk(name, "\r\n");
}

// Tells the user why the library could not be read, or extended when saving.
void TellWhy(LibraryStatus status, const char* path, bool saving)
{
    switch (status) {
    case LibraryStatus::Done:
    case LibraryStatus::Declined: break;
    case LibraryStatus::CannotOpen: ShowMessage("Error", "Can't open file: %s", path); break;
    case LibraryStatus::NotAFile: ShowMessage("Error", "Can't open file: %s (a folder or a device, not a file)", path); break;
    case LibraryStatus::TooLarge:
        ShowMessage("Error", "Can't %s file: %s (a preset library holds at most %s)", saving ? "write" : "open", path,
                    kMaxLibraryText);
        break;
    case LibraryStatus::CannotWrite: ShowMessage("Error", "Can't write file: %s", path); break;
    }
}

// What a save learns from the library it extends: whether the name is stored, and how many numbers
// the last record still lacks (a record cut short by a program that died while writing it).
struct LibraryScan {
    bool nameStored = false;
    int missingNumbers = 0;
};

LibraryScan ScanLibrary(const std::string& bytes, const char* name)
{
    LibraryScan scan;
    TextSource in(bytes);
    char found[kNameChars];
    KernelRecord scratch = DefaultKernelRecord();
    int missing = 0;
    while (ReadRecord(in, found, &scratch, missing)) {
        if (std::strcmp(found, name) == 0) scan.nameStored = true;
        scan.missingNumbers = missing;  // only the last record can lack numbers
    }
    return scan;
}

// The bytes that go after the library's own, so that the new record is read as itself and the
// old bytes stay as they are:
// - a last line without its line end gets one. The reader already ends a line at a lone CR, so
//   after a CR only the LF is added; the line reads as it did.
// - a last record cut short gets one "?" for each number it lacks, on a line of their own. The
//   reader takes a word that is no number exactly as a number that is not there (a cell 0, the
//   divisor, offset or invert kept), so that record reads as it did, and the new record starts
//   after it instead of being read as its numbers.
std::string Addition(const std::string& bytes, int missingNumbers, const std::string& record)
{
    std::string add;
    if (!bytes.empty() && bytes.back() == '\r') add = "\n";
    else if (!bytes.empty() && bytes.back() != '\n') add = "\r\n";
    for (int i = 0; i < missingNumbers; ++i) add += i ? " ?" : "?";
    if (missingNumbers) add += "\r\n";
    return add + record;
}

// Appends the record under the library's lock; with refuseStoredName, a name the library holds
// is refused under the same lock. The user is told after the lock is given back, so that a
// message box left open does not hold other saves up.
bool AppendUnderLock(const char* path, const char* name, const KernelRecord& record, bool refuseStoredName)
{
    const std::string text = FormatPreset(name, record, "\r\n");
    bool existed = true, stored = false;
    const LibraryStatus status = ExtendLibraryFile(path, [&](const std::string& bytes, bool there) {
        existed = there;
        const LibraryScan scan = ScanLibrary(bytes, name);
        stored = refuseStoredName && scan.nameStored;
        return stored ? std::string() : Addition(bytes, scan.missingNumbers, text);
    });
    const char* shown = path ? path : "";
    // The Save of the control dialog has always said so when its duplicate check found no library.
    if (refuseStoredName && !existed) ShowMessage("Error", "Can't open file: %s", shown);
    if (stored) ShowMessage("Error", "Change the filter name!");
    TellWhy(status, shown, true);
    return status == LibraryStatus::Done;
}

}  // namespace

FILE* OpenPresetLibrary(const char* path)
{
    LibraryStatus status;
    FILE* file = OpenLibraryForReading(path, status);
    if (!file) TellWhy(status, path ? path : "", false);
    return file;
}

bool ReadPreset(FILE* file, char name[kNameChars], KernelRecord* record)
{
    FileSource in(file);
    int missingNumbers = 0;
    return ReadRecord(in, name, record, missingNumbers);
}

bool FindPreset(const char* path, const char* name, KernelRecord* record)
{
    FILE* file = OpenPresetLibrary(path);
    if (!file) return false;
    // A scratch record, so that a name that is not there leaves the caller's record alone.
    KernelRecord scratch = *record;
    char found[kNameChars];
    bool result = false;
    while (ReadPreset(file, found, &scratch)) {
        if (std::strcmp(found, name) == 0) {
            *record = scratch;
            result = true;
            break;
        }
    }
    std::fclose(file);
    return result;
}

std::string FormatPreset(const char* name, const KernelRecord& record, const char* lineEnd)
{
    std::string text = std::string(name) + lineEnd + std::to_string(record.size) + lineEnd;
    const int blockSize = PresetBlockSize(record.size);
    for (int r = 0; r < blockSize; ++r) {
        for (int c = 0; c < blockSize; ++c) {
            if (c > 0) text += ' ';
            text += std::to_string(record.weights[SubKernelCell(blockSize, r, c)]);
        }
        text += lineEnd;
    }
    text += std::to_string(record.divisor) + ' ' + std::to_string(record.offset) + ' ' + std::to_string(record.invert);
    return text + lineEnd;
}

bool AppendPreset(const char* path, const char* name, const KernelRecord* record)
{
    if (!IsValidName(name)) return false;
    return AppendUnderLock(path, name, *record, false);
}

bool SavePreset(const char* path, const char* name, const KernelRecord* record)
{
    if (!HasNonBlank(name)) {
        ShowMessage("Error", "Input the filter name!");
        return false;
    }
    if (!IsValidName(name)) return false;
    return AppendUnderLock(path, name, *record, true);
}

bool PresetNameLess(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
        return lower(static_cast<unsigned char>(x)) < lower(static_cast<unsigned char>(y));
    });
}

bool ReadPresetNames(const char* path, std::vector<std::string>& names)
{
    names.clear();
    FILE* file = OpenPresetLibrary(path);
    if (!file) return false;
    char name[kNameChars];
    KernelRecord scratch = DefaultKernelRecord();
    while (ReadPreset(file, name, &scratch)) names.emplace_back(name);
    std::fclose(file);
    return true;
}

bool ListPresetNames(const char* path, std::vector<std::string>& names)
{
    if (!ReadPresetNames(path, names)) return false;
    std::stable_sort(names.begin(), names.end(), PresetNameLess);
    return true;
}

namespace {

std::string Lower(const std::string& text)
{
    std::string lower = text;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Typing mistakes between a and b: letters put in, left out or changed (Levenshtein distance).
size_t Mistakes(const std::string& a, const std::string& b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::vector<std::string> NearestPresetNames(const std::vector<std::string>& names, const std::string& wanted,
                                            size_t count)
{
    const std::string want = Lower(wanted);
    const size_t allowed = std::max<size_t>(2, want.size() / 3);
    std::vector<std::pair<size_t, std::string>> scored;
    for (const std::string& name : names) {
        const std::string have = Lower(name);
        size_t score = Mistakes(have, want);
        if (score > allowed && !want.empty() && (have.find(want) != std::string::npos || want.find(have) != std::string::npos))
            score = allowed;  // a part of the name, or the name and more
        if (score <= allowed) scored.emplace_back(score, name);
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> nearest;
    for (size_t i = 0; i < scored.size() && nearest.size() < count; ++i) nearest.push_back(scored[i].second);
    return nearest;
}
