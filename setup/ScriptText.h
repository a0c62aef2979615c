// SETUP.INI as text that the profile functions read alike on every system: code-page text stays as
// it is, UTF-8 and UTF-16 marked by their byte-order mark are read through a code-page copy.
#pragma once

#include <windows.h>

#include <string>

enum class ScriptEncoding {
    kCodePage,         // read the file itself
    kConverted,        // read the code-page text put out
    kNotText,          // NUL bytes, malformed UTF-8 or UTF-16: no text the installer can read
    kOutsideCodePage,  // Unicode text with characters the code page lacks: names would come out wrong
};

// Looks at the bytes of a script; for marked Unicode text, puts its code-page form in text.
ScriptEncoding DecodeScript(const std::string& bytes, std::string& text, UINT codePage = CP_ACP);

// The whole file when it opens and holds at most limit bytes.
bool ReadWholeFile(const std::string& path, size_t limit, std::string& bytes);

// Writes all of bytes to a file just opened for writing, flushes and closes it: true only when
// every step says so and the count written is the whole (INVALID_HANDLE_VALUE gives false).
bool WriteAllAndClose(HANDLE file, const std::string& bytes);

// A file of the installer's own in the temporary folder, removed with its owner.
class ScratchFile {
public:
    ScratchFile() = default;
    ~ScratchFile() { Remove(); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Writes the contents into a new file, in place of an earlier one; false when that fails.
    bool Create(const std::string& contents);
    void Remove();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};
