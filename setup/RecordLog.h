// The install record's log format: one entry a line, fields separated by tabs and "%XX"-escaped,
// written and read back the same way on every platform.
#pragma once

#include <string>
#include <vector>

struct RecordEntry {
    enum class Kind { kCopied, kDeleted, kRenamed, kMadeDir, kIniKey, kIniSection };
    Kind kind = Kind::kCopied;
    std::string path;         // the host file or folder; kIniKey: the INI file; kRenamed: the old name
    std::string saved;        // kCopied: the file that was there before, kept in the record folder
                              // (empty: there was none); kDeleted: the deleted file, kept there
    std::string fingerprint;  // kCopied: of the file as installed
    std::string to;           // kRenamed: the new name
    std::string section, key, value, prior;  // kIniKey: what was written, and what the key held before;
                                             // kIniSection: a section the install's keys were the first in

    static RecordEntry Copied(std::string path, std::string saved, std::string fingerprint)
    {
        RecordEntry e = Of(Kind::kCopied, std::move(path));
        e.saved = std::move(saved);
        e.fingerprint = std::move(fingerprint);
        return e;
    }
    static RecordEntry Deleted(std::string path, std::string saved)
    {
        RecordEntry e = Of(Kind::kDeleted, std::move(path));
        e.saved = std::move(saved);
        return e;
    }
    static RecordEntry Renamed(std::string from, std::string to)
    {
        RecordEntry e = Of(Kind::kRenamed, std::move(from));
        e.to = std::move(to);
        return e;
    }
    static RecordEntry MadeDir(std::string path) { return Of(Kind::kMadeDir, std::move(path)); }
    static RecordEntry IniSection(std::string file, std::string section)
    {
        RecordEntry e = Of(Kind::kIniSection, std::move(file));
        e.section = std::move(section);
        return e;
    }
    static RecordEntry IniKey(std::string file, std::string section, std::string key, std::string value,
                              std::string prior)
    {
        RecordEntry e = Of(Kind::kIniKey, std::move(file));
        e.section = std::move(section);
        e.key = std::move(key);
        e.value = std::move(value);
        e.prior = std::move(prior);
        return e;
    }

private:
    static RecordEntry Of(Kind kind, std::string path)
    {
        RecordEntry e;
        e.kind = kind;
        e.path = std::move(path);
        return e;
    }
};

// The word a line of that kind opens with ("copied", "deleted", ...).
const char* RecordKindName(RecordEntry::Kind kind);
// One entry as its log line, line end included.
std::string RecordLine(const RecordEntry& entry);
// One log line without its line end; false when it is not an entry of a known kind and shape.
bool ParseRecordLine(const std::string& line, RecordEntry& entry);
// The entries of a whole log: lines that are not entries, and a last line cut short (a killed
// install) without its line end, are left out.
std::vector<RecordEntry> ParseRecordLog(const std::string& text);
