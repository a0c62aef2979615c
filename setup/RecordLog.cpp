// The install record's log format: entries to lines and back.
#include "RecordLog.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char* const kKindNames[] = {"copied", "deleted", "renamed", "made", "ini", "section"};

// Fields are separated by tabs, entries by line ends: those and "%" are written as "%XX".
std::string Escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescaped(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += static_cast<char>(std::strtoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t at = 0;
    for (;;) {
        const size_t tab = line.find('\t', at);
        fields.push_back(Unescaped(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at)));
        if (tab == std::string::npos) return fields;
        at = tab + 1;
    }
}

}  // namespace

const char* RecordKindName(RecordEntry::Kind kind) { return kKindNames[static_cast<int>(kind)]; }

std::string RecordLine(const RecordEntry& entry)
{
    std::vector<std::string> fields = {RecordKindName(entry.kind), entry.path};
    switch (entry.kind) {
    case RecordEntry::Kind::kCopied: fields.insert(fields.end(), {entry.saved, entry.fingerprint}); break;
    case RecordEntry::Kind::kDeleted: fields.push_back(entry.saved); break;
    case RecordEntry::Kind::kRenamed: fields.push_back(entry.to); break;
    case RecordEntry::Kind::kMadeDir: break;
    case RecordEntry::Kind::kIniSection: fields.push_back(entry.section); break;
    case RecordEntry::Kind::kIniKey: fields.insert(fields.end(), {entry.section, entry.key, entry.value, entry.prior}); break;
    }
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) line += '\t';
        line += Escaped(fields[i]);
    }
    return line + "\r\n";
}

bool ParseRecordLine(const std::string& line, RecordEntry& entry)
{
    const std::vector<std::string> f = Fields(line);
    const auto count = [&](size_t n) { return f.size() == n; };
    if (f[0] == "copied" && count(4)) entry = RecordEntry::Copied(f[1], f[2], f[3]);
    else if (f[0] == "deleted" && count(3)) entry = RecordEntry::Deleted(f[1], f[2]);
    else if (f[0] == "renamed" && count(3)) entry = RecordEntry::Renamed(f[1], f[2]);
    else if (f[0] == "made" && count(2)) entry = RecordEntry::MadeDir(f[1]);
    else if (f[0] == "section" && count(3)) entry = RecordEntry::IniSection(f[1], f[2]);
    else if (f[0] == "ini" && count(6)) entry = RecordEntry::IniKey(f[1], f[2], f[3], f[4], f[5]);
    else return false;
    return true;
}

std::vector<RecordEntry> ParseRecordLog(const std::string& text)
{
    std::vector<RecordEntry> entries;
    size_t at = 0;
    for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        RecordEntry entry;
        if (ParseRecordLine(text.substr(at, end - at), entry)) entries.push_back(std::move(entry));
    }
    return entries;
}
