// IniFile: private-profile reads and writes by path, and the check that a file opens.
#include "IniFile.h"

#include "Text.h"

#include <vector>

bool FileOpensForReading(const std::string& path)
{
    if (path.empty() || !Fits(path)) return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool IniFile::Open(const std::string& path)
{
    path_ = path;
    return FileOpensForReading(path_);
}

bool IniFile::OpenIn(const std::string& directory, const char* name)
{
    foundIn_ = directory;
    return Open(JoinPath(directory, name));
}

namespace {

// No value or section read is taken cut short: past this size it counts as absent.
constexpr DWORD kLargestRead = 16u << 20;

}  // namespace

bool IniFile::ReadValue(const char* section, const char* key, std::string& value) const
{
    value.clear();
    if (path_.empty() || !Fits(path_)) return false;
    // Read whole values: a long one must never reach a caller cut short.
    std::vector<char> buffer;
    for (DWORD size = kMaxText + 1; size <= kLargestRead; size *= 4) {
        buffer.resize(size);
        const DWORD got = GetPrivateProfileStringA(section, key, "", buffer.data(), size, path_.c_str());
        if (got + 1 < size) {
            value.assign(buffer.data(), got);
            return !value.empty();
        }
    }
    return false;
}

DWORD SectionReadLimit()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return 32767;
    const bool windows7 = version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 1);
    return windows7 ? 0 : 32767;
}

IniSection IniFile::KeyByKey(const char* section) const
{
    return IniSection([this, name = std::string(section)](const std::string& key, std::string& value) {
        return ReadValue(name.c_str(), key.c_str(), value);
    });
}

IniSection IniFile::ReadSection(const char* section, DWORD limit) const
{
    IniSection lines;
    if (path_.empty() || !Fits(path_)) return lines;
    std::vector<char> buffer;
    for (DWORD size = 4096; size <= kLargestRead; size *= 4) {
        buffer.resize(size);
        // A section that does not fit comes back as the buffer's size less two.
        const DWORD got = GetPrivateProfileSectionA(section, buffer.data(), size, path_.c_str());
        if (limit != 0 && got + 2 >= limit) return KeyByKey(section);
        if (got + 2 < size) {
            for (size_t at = 0; at < got && buffer[at] != '\0';) {
                const std::string line(buffer.data() + at);
                lines.AddLine(line);
                at += line.size() + 1;
            }
            return lines;
        }
    }
    return KeyByKey(section);
}

bool IniFile::ReadNumbered(const char* section, const char* stem, int number, std::string& value) const
{
    const std::string key = NumberedKey(stem, number);
    return ReadValue(section, key.c_str(), value);
}

namespace {

class PlatformWriter final : public ProfileWriter {
public:
    bool Write(const char* section, const char* key, const char* value, const std::string& path) override
    {
        return WritePrivateProfileStringA(section, key, value, path.c_str()) != FALSE;
    }
};

}  // namespace

ProfileWriter& PlatformProfileWriter()
{
    static PlatformWriter writer;
    return writer;
}

bool IniFile::Writable() const
{
    if (path_.empty() || !Fits(path_)) return false;
    const DWORD attributes = GetFileAttributesA(path_.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

bool IniFile::WriteValue(const char* section, const char* key, const std::string& value, ProfileWriter& writer) const
{
    return Writable() && writer.Write(section, key, value.c_str(), path_);
}
