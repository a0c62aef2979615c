// IniGuard: the copy, the check after each write and the put-back that keep a host INI file whole.
#include "IniGuard.h"

#include "IniText.h"
#include "ScriptText.h"
#include "Text.h"

namespace {

// A host INI file larger than this is not one the installer will write.
constexpr size_t kLargestIni = 16u << 20;

// A line as the profile functions see it; empty for a blank line.
std::string Normalised(const std::string& line)
{
    const IniLine read = ReadIniLine(line);
    switch (read.kind) {
    case IniLine::Kind::kBlank: return {};
    case IniLine::Kind::kHeader: return '[' + read.name + ']';
    case IniLine::Kind::kKey: return read.name + "=" + read.value;
    case IniLine::Kind::kOther: break;
    }
    return read.text;
}

// The file's lines, Unicode files through their code-page form.
std::vector<std::string> Lines(const std::string& bytes)
{
    std::string converted;
    const std::string& text = DecodeScript(bytes, converted) == ScriptEncoding::kConverted ? converted : bytes;
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = Normalised(text.substr(at, end - at));
        if (!line.empty()) lines.push_back(std::move(line));
        at = end + 1;
    }
    return lines;
}

bool IsHeaderOf(const std::string& line, const char* section)
{
    return !line.empty() && line[0] == '[' && SameText(line, '[' + TrimmedIniText(section) + ']');
}

bool IsKeyLine(const std::string& line, const std::string& key)
{
    const size_t equals = line.find('=');
    return equals != std::string::npos && line[0] != '[' && SameText(line.substr(0, equals), TrimmedIniText(key));
}

bool SameBytes(const std::string& path, const std::string& bytes)
{
    std::string now;
    return ReadWholeFile(path, kLargestIni, now) && now == bytes;
}

}  // namespace

namespace {

// The lines of a file without the key's line in the first section of that name; sectionThere tells
// whether the section was there at all.
std::vector<std::string> LinesButTheKey(const std::string& bytes, const char* section, const std::string& key,
                                        bool& sectionThere)
{
    std::vector<std::string> kept = Lines(bytes);
    bool inSection = false;
    sectionThere = false;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (kept[i][0] == '[') {
            if (inSection) break;
            inSection = IsHeaderOf(kept[i], section);
            sectionThere = sectionThere || inSection;
        } else if (inSection && IsKeyLine(kept[i], key)) {
            kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    return kept;
}

}  // namespace

bool KeepsEveryLineButTheKey(const std::string& before, const std::string& after, const char* section,
                             const std::string& key)
{
    bool sectionThere = false;
    return LinesButTheKey(before, section, key, sectionThere) == Lines(after);
}

bool KeepsEveryLinePlusTheKey(const std::string& before, const std::string& after, const char* section,
                              const std::string& key, const std::string& value)
{
    // The key's earlier line, in the first section of that name, is the one line that may change.
    bool sectionThere = false;
    const std::vector<std::string> kept = LinesButTheKey(before, section, key, sectionThere);
    const std::string keyLine = Normalised(key + "=" + value);
    size_t next = 0;
    int keyLines = 0;
    int headers = 0;
    for (const std::string& line : Lines(after)) {
        if (next < kept.size() && line == kept[next]) ++next;
        else if (IsKeyLine(line, key) && line.substr(line.find('=')) == keyLine.substr(keyLine.find('='))) ++keyLines;
        else if (IsHeaderOf(line, section)) ++headers;
        else return false;
    }
    return next == kept.size() && keyLines == 1 && headers == (sectionThere ? 0 : 1);
}

namespace {

// The lines of a file without the headers of a section; false when the section is not there or
// holds a key.
bool LinesButTheEmptySection(const std::string& bytes, const char* section, std::vector<std::string>& kept)
{
    kept.clear();
    bool inSection = false, sawHeader = false;
    for (const std::string& line : Lines(bytes)) {
        if (line[0] == '[') {
            inSection = IsHeaderOf(line, section);
            sawHeader = sawHeader || inSection;
            if (inSection) continue;
        } else if (inSection && line[0] != ';') {
            return false;
        }
        if (!inSection) kept.push_back(line);
    }
    return sawHeader;
}

}  // namespace

bool KeepsEveryLineButTheEmptySection(const std::string& before, const std::string& after, const char* section)
{
    std::vector<std::string> kept;
    return LinesButTheEmptySection(before, section, kept) && kept == Lines(after);
}

bool IniGuard::HasSection(const std::string& path, const char* section)
{
    std::string text;
    if (!ReadWholeFile(path, kLargestIni, text)) return false;
    for (const std::string& line : Lines(text))
        if (IsHeaderOf(line, section)) return true;
    return false;
}

IniWrite IniGuard::Write(const IniFile& ini, const char* section, const std::string& key, const std::string& value)
{
    return Change(ini, section, key, &value, Op::kWrite);
}

IniWrite IniGuard::Remove(const IniFile& ini, const char* section, const std::string& key)
{
    return Change(ini, section, key, nullptr, Op::kRemoveKey);
}

IniWrite IniGuard::RemoveEmptySection(const IniFile& ini, const char* section)
{
    return Change(ini, section, std::string(), nullptr, Op::kRemoveEmptySection);
}

IniWrite IniGuard::Change(const IniFile& ini, const char* section, const std::string& key, const std::string* value,
                          Op op)
{
    if (!ini.Writable()) return IniWrite::kNotWritten;
    Guarded* file = nullptr;
    for (Guarded& guarded : files_)
        if (SameText(guarded.path, ini.Path())) file = &guarded;
    if (!file) {
        file = &files_.emplace_back();
        file->path = ini.Path();
        const IniWrite copied = TakeCopy(*file);
        if (copied != IniWrite::kWritten) return copied;
    }
    if (file->state != State::kCopied) return IniWrite::kNotWritten;

    std::string before;
    if (!ReadWholeFile(file->path, kLargestIni, before)) {
        file->state = State::kGivenUp;
        return PutBack(*file);
    }
    std::vector<std::string> unused;
    if (op == Op::kRemoveEmptySection && !LinesButTheEmptySection(before, section, unused))
        return IniWrite::kWritten;  // gone already, or keys came into it since: nothing of ours to remove
    const bool claimed = op == Op::kWrite        ? ini.WriteValue(section, key.c_str(), *value, writer_)
                         : op == Op::kRemoveKey ? ini.Writable() && writer_.Write(section, key.c_str(), nullptr, file->path)
                                                : ini.Writable() && writer_.Write(section, nullptr, nullptr, file->path);
    // The platform's word is not enough: a full disk cuts the file short and still answers success.
    std::string after;
    std::string readBack;
    const bool read = claimed && ReadWholeFile(file->path, kLargestIni, after);
    const bool present = read && ini.ReadValue(section, key.c_str(), readBack);
    if (op == Op::kWrite && read && KeepsEveryLinePlusTheKey(before, after, section, key, *value) && present &&
        readBack == TrimmedIniText(*value))
        return IniWrite::kWritten;
    if (op == Op::kRemoveKey && read && KeepsEveryLineButTheKey(before, after, section, key) && !present)
        return IniWrite::kWritten;
    if (op == Op::kRemoveEmptySection && read && KeepsEveryLineButTheEmptySection(before, after, section))
        return IniWrite::kWritten;
    file->state = State::kGivenUp;
    return PutBack(*file);
}

IniWrite IniGuard::TakeCopy(Guarded& file)
{
    const std::string copy = CopyPathOf(file.path);
    if (!Fits(copy) || !ReadWholeFile(file.path, kLargestIni, file.original)) return IniWrite::kNotWritten;
    const DWORD attributes = GetFileAttributesA(file.path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) file.attributes = attributes;
    // Made new and only by us: a copy that an earlier install kept may be the only good one left.
    HANDLE handle = CreateFileA(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS ? IniWrite::kCopyInTheWay
                                                                                              : IniWrite::kNotWritten;
    if (!WriteAllAndClose(handle, file.original) || !SameBytes(copy, file.original)) {
        DeleteFileA(copy.c_str());
        return IniWrite::kNotWritten;
    }
    file.copyExists = true;
    file.state = State::kCopied;
    return IniWrite::kWritten;
}

IniWrite IniGuard::PutBack(Guarded& file)
{
    if (SameBytes(file.path, file.original)) return IniWrite::kNotWritten;
    // The copy is renamed into place: no byte is written, so a full disk cannot spoil the put-back.
    const std::string copy = CopyPathOf(file.path);
    if (MoveFileExA(copy.c_str(), file.path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        file.copyExists = false;
        SetFileAttributesA(file.path.c_str(), file.attributes);
        return IniWrite::kNotWritten;
    }
    file.state = State::kCopyKept;
    return IniWrite::kCopyKept;
}

void IniGuard::Finish()
{
    for (const Guarded& file : files_)
        if (file.copyExists && file.state != State::kCopyKept) DeleteFileA(CopyPathOf(file.path).c_str());
    files_.clear();
}
