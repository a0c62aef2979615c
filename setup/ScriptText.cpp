// Script text: telling code-page text from marked UTF-8 and UTF-16, converting, and scratch copies.
#include "ScriptText.h"

#include "Text.h"

namespace {

ScriptEncoding ToCodePage(const std::wstring& wide, std::string& text, UINT codePage)
{
    if (wide.find(L'\0') != std::wstring::npos) return ScriptEncoding::kNotText;
    text.clear();
    if (wide.empty()) return ScriptEncoding::kConverted;
    // No best-fit letters: a name that cannot be written exactly is refused, never guessed.
    const bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
    BOOL lacking = FALSE;
    const int length = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(codePage, utf ? 0 : WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0,
                                         nullptr, utf ? nullptr : &lacking);
    if (size <= 0 || lacking) return ScriptEncoding::kOutsideCodePage;
    text.resize(static_cast<size_t>(size));
    WideCharToMultiByte(codePage, utf ? 0 : WC_NO_BEST_FIT_CHARS, wide.data(), length, text.data(), size, nullptr,
                        utf ? nullptr : &lacking);
    return lacking ? ScriptEncoding::kOutsideCodePage : ScriptEncoding::kConverted;
}

bool StartsWith(const std::string& bytes, const char* mark)
{
    return bytes.compare(0, std::char_traits<char>::length(mark), mark) == 0;
}

}  // namespace

ScriptEncoding DecodeScript(const std::string& bytes, std::string& text, UINT codePage)
{
    std::wstring wide;
    if (StartsWith(bytes, "\xEF\xBB\xBF")) {
        const std::string body = bytes.substr(3);
        if (body.empty()) return ToCodePage(wide, text, codePage);
        const int length = static_cast<int>(body.size());
        const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, body.data(), length, nullptr, 0);
        if (size <= 0) return ScriptEncoding::kNotText;
        wide.resize(static_cast<size_t>(size));
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, body.data(), length, wide.data(), size);
        return ToCodePage(wide, text, codePage);
    }
    const bool little = StartsWith(bytes, "\xFF\xFE");
    if (little || StartsWith(bytes, "\xFE\xFF")) {
        if (bytes.size() % 2 != 0) return ScriptEncoding::kNotText;
        for (size_t at = 2; at < bytes.size(); at += 2) {
            const unsigned first = static_cast<unsigned char>(bytes[at]);
            const unsigned second = static_cast<unsigned char>(bytes[at + 1]);
            wide += static_cast<wchar_t>(little ? first | second << 8 : first << 8 | second);
        }
        return ToCodePage(wide, text, codePage);
    }
    // Without a mark the bytes are the code page's; a NUL byte means they are not text at all
    // (UTF-16 saved without its mark looks like this).
    return bytes.find('\0') == std::string::npos ? ScriptEncoding::kCodePage : ScriptEncoding::kNotText;
}

bool ReadWholeFile(const std::string& path, size_t limit, std::string& bytes)
{
    bytes.clear();
    if (!Fits(path)) return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    bool read = size != INVALID_FILE_SIZE && high == 0 && size <= limit;
    if (read) {
        bytes.resize(size);
        DWORD got = 0;
        read = size == 0 || (ReadFile(file, bytes.data(), size, &got, nullptr) && got == size);
    }
    CloseHandle(file);
    if (!read) bytes.clear();
    return read;
}

bool WriteAllAndClose(HANDLE file, const std::string& bytes)
{
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool wrote = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                                   written == bytes.size());
    wrote = FlushFileBuffers(file) && wrote;
    return CloseHandle(file) && wrote;
}

bool ScratchFile::Create(const std::string& contents)
{
    Remove();
    char directory[MAX_PATH] = "";
    char name[MAX_PATH] = "";
    const DWORD length = GetTempPathA(sizeof directory, directory);
    if (length == 0 || length >= sizeof directory || !GetTempFileNameA(directory, "kcs", 0, name)) return false;
    path_ = name;
    if (!Fits(path_)) {
        DeleteFileA(name);
        path_.clear();
        return false;
    }
    const bool wrote = WriteAllAndClose(
        CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr), contents);
    if (!wrote) Remove();
    return wrote;
}

void ScratchFile::Remove()
{
    if (!path_.empty()) DeleteFileA(path_.c_str());
    path_.clear();
}
