// InstallRecord: the log's appends and rewrite, the kept files, the record's life cycle (its folder,
// the copies beside it, its listing among the installed programs) and the file fingerprints.
#include "InstallRecord.h"

#include "RecordFolder.h"
#include "ScriptText.h"
#include "Text.h"

#include <windows.h>

#include <cctype>
#include <cstdio>

namespace {

// A log larger than this is not one an install wrote.
constexpr size_t kLargestLog = 64u << 20;

std::string Hex(unsigned long long value, int digits)
{
    char text[20];
    std::snprintf(text, sizeof text, "%0*llx", digits, value);
    return text;
}

unsigned long long Hash(const std::string& bytes)
{
    unsigned long long hash = 1469598103934665603ull;
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

void MakeFolders(const std::string& folder)
{
    for (size_t at = folder.find('\\', 3); at != std::string::npos; at = folder.find('\\', at + 1))
        CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
}

}  // namespace

bool InstallRecord::Load()
{
    entries_.clear();
    std::string text;
    if (!Fits(LogPath()) || !ReadWholeFile(LogPath(), kLargestLog, text)) return false;
    entries_ = ParseRecordLog(text);
    kept_ = static_cast<int>(entries_.size());
    return true;
}

std::string InstallRecord::Untrusted() const
{
    // The folder above (the base of every record), the record's own, and all that is read back.
    const size_t slash = folder_.find_last_of('\\');
    const std::string base = slash == std::string::npos ? std::string() : folder_.substr(0, slash);
    for (const std::string& path : {base, folder_, folder_ + "\\kept", LogPath(), LogPath() + ".new",
                                    ProgramPath(), ScriptPath()}) {
        if (path.empty()) continue;
        const std::string why = WhyUntrusted(path);
        if (!why.empty()) return path + " " + why;
    }
    return {};
}

bool InstallRecord::Prepare()
{
    if (!Fits(folder_ + "\\kept\\0000000000-") || !IsFullPath(folder_)) return false;
    // Folders above the base are the system's (the common application data folder); the base, the
    // record and its kept files are made protected.
    const size_t slash = folder_.find_last_of('\\');
    const std::string base = folder_.substr(0, slash);
    const size_t above = base.find_last_of('\\');
    if (above != std::string::npos && above > 2) MakeFolders(base.substr(0, above));
    for (const std::string& folder : {base, folder_, folder_ + "\\kept"}) {
        if (!Exists(folder) && !MakeProtectedFolder(folder)) return false;
        if (!IsDirectory(folder)) return false;
    }
    return true;
}

bool InstallRecord::Add(const RecordEntry& entry)
{
    const std::string line = RecordLine(entry);
    // Appended and flushed: a failure or a kill leaves the entries before it whole.
    const bool written = WriteAllAndClose(CreateFileA(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                                          line);
    if (!written) failed_ = true;
    else entries_.push_back(entry);
    return written;
}

bool InstallRecord::Rewrite(const std::vector<RecordEntry>& entries)
{
    std::string text;
    for (const RecordEntry& entry : entries) text += RecordLine(entry);
    const std::string fresh = LogPath() + ".new";
    // A new file, never one that was there: a stale copy of ours (a killed uninstall) goes first.
    DeleteFileA(fresh.c_str());
    HANDLE file = CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool written = WriteAllAndClose(file, text);
    std::string check;
    if (!written || !ReadWholeFile(fresh, kLargestLog, check) || check != text ||
        !MoveFileExA(fresh.c_str(), LogPath().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(fresh.c_str());
        return false;
    }
    entries_ = entries;
    return true;
}

std::string InstallRecord::Keep(const std::string& path, bool move)
{
    std::string kept;
    do kept = folder_ + "\\kept\\" + std::to_string(++kept_) + "-" + FileNameOf(path);
    while (Exists(kept));
    if (!Fits(kept)) return {};
    const bool done = move ? MoveFileExA(path.c_str(), kept.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)
                           : CopyFileA(path.c_str(), kept.c_str(), TRUE);
    // A copy is only as good as its bytes, and readable by no more users than the original: check
    // both before the original may go. (A moved file keeps its own access list.)
    if (done && !move && (!CopyAccess(path, kept) || Fingerprint(kept) != Fingerprint(path))) {
        DeleteFileA(kept.c_str());
        return {};
    }
    return done ? kept : std::string();
}

bool InstallRecord::KeepProgramAndScript(const std::string& program, const std::string& script) const
{
    // The same file, whatever the spelling of its path? (Uninstall runs from the kept copy.)
    const auto same = [](const std::string& a, const std::string& b) {
        char fullA[MAX_PATH] = "";
        char fullB[MAX_PATH] = "";
        return GetFullPathNameA(a.c_str(), MAX_PATH, fullA, nullptr) &&
               GetFullPathNameA(b.c_str(), MAX_PATH, fullB, nullptr) && SameText(fullA, fullB);
    };
    // New files, never ones that were there: an earlier copy of ours goes first.
    const auto copyNew = [&](const std::string& from, const std::string& to) {
        if (same(from, to)) return true;
        DeleteFileA(to.c_str());
        return CopyFileA(from.c_str(), to.c_str(), TRUE) != FALSE;
    };
    const bool kept = program.empty() || copyNew(program, ProgramPath());
    return copyNew(script, ScriptPath()) && kept;
}

bool InstallRecord::List(HKEY uninstallRoot, const ProgramListing& listing) const
{
    if (!uninstallRoot) return true;
    HKEY key = nullptr;
    if (RegCreateKeyExA(uninstallRoot, RecordName(folder_).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const auto text = [&](const char* name, const std::string& value) {
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    };
    std::string program = ProgramPath();  // quoted, built in place: GCC 12 warns falsely on "\"" + text
    program.insert(program.begin(), '"');
    program += '"';
    text("DisplayName", listing.name);
    text("DisplayVersion", listing.version);
    text("Publisher", listing.publisher);
    text("InstallLocation", listing.hostRoot);
    text("UninstallString", program + " /U /D=" + listing.hostRoot);
    text("QuietUninstallString", program + " /S /U /D=" + listing.hostRoot);
    const DWORD one = 1;
    RegSetValueExA(key, "NoModify", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegSetValueExA(key, "NoRepair", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegCloseKey(key);
    return true;
}

void InstallRecord::Remove(HKEY uninstallRoot) const
{
    if (uninstallRoot) RegDeleteKeyA(uninstallRoot, RecordName(folder_).c_str());
    DeleteFileA(LogPath().c_str());
    DeleteFileA(ScriptPath().c_str());
    RemoveDirectoryA((folder_ + "\\kept").c_str());
    const std::string program = ProgramPath();
    if (Exists(program) && !DeleteFileA(program.c_str())) {
        MoveFileExA(program.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        MoveFileExA(folder_.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    RemoveDirectoryA(folder_.c_str());
    const size_t slash = folder_.find_last_of('\\');
    if (slash != std::string::npos) RemoveDirectoryA(folder_.substr(0, slash).c_str());  // only when empty
}

const RecordEntry* InstallRecord::CopiedBefore(const std::string& path) const
{
    for (const RecordEntry& entry : entries_)
        if (entry.kind == RecordEntry::Kind::kCopied && SameText(entry.path, path)) return &entry;
    return nullptr;
}

const RecordEntry* InstallRecord::KeyBefore(const std::string& file, const std::string& section,
                                            const std::string& key) const
{
    for (const RecordEntry& entry : entries_)
        if (entry.kind == RecordEntry::Kind::kIniKey && SameText(entry.path, file) && SameText(entry.section, section) &&
            SameText(entry.key, key))
            return &entry;
    return nullptr;
}

std::string Fingerprint(const std::string& path)
{
    std::string bytes;
    if (!Fits(path) || !ReadWholeFile(path, 1u << 30, bytes)) return {};
    return std::to_string(bytes.size()) + "-" + Hex(Hash(bytes), 16);
}

std::string RecordFolderFor(const std::string& base, const std::string& title, const std::string& hostRoot)
{
    std::string name;
    for (const char c : title.substr(0, 60))
        name += (std::isalnum(static_cast<unsigned char>(c)) || c == ' ' || c == '-' || c == '_') ? c : '_';
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name.empty()) name = "Plug-In";
    std::string host = hostRoot;
    StripOneBackslash(host);
    if (!host.empty()) CharUpperBuffA(host.data(), static_cast<DWORD>(host.size()));
    return JoinPath(base, name + " " + Hex(Hash(host) & 0xFFFFFFFFull, 8));
}

std::string RecordName(const std::string& folder) { return FileNameOf(folder); }
