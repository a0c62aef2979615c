// What an install did to one host, kept in a folder of its own outside the host, so that uninstall
// can undo it: a log appended entry by entry, and the host's files that the install replaced or
// deleted.
#pragma once

#include "RecordLog.h"

#include <string>
#include <vector>

class InstallRecord {
public:
    explicit InstallRecord(std::string folder) : folder_(std::move(folder)) {}
    const std::string& Folder() const { return folder_; }
    std::string LogPath() const { return folder_ + "\\install.log"; }

    // Reads what earlier installs left; false when there is no log. A last line cut short (a
    // killed install) is left out.
    bool Load();
    const std::vector<RecordEntry>& Entries() const { return entries_; }
    // The entries as a check of them spelled them, in place of those read.
    void TakeChecked(std::vector<RecordEntry> entries) { entries_ = std::move(entries); }

    // Why the record cannot be trusted: the first of its folders and files that a link stands for,
    // that someone else owns or may change (RecordFolder.h), named with the reason; empty when
    // every one can be, or is not there yet. Asked before the record is read or written.
    std::string Untrusted() const;
    // Makes the folders that are not there yet, protected (the base of every record, the record's
    // own and its kept files); false when one cannot be made.
    bool Prepare();
    // Appends one entry to the log and flushes it to the disk; false when the log did not take it.
    bool Add(const RecordEntry& entry);
    // Replaces the log with these entries, whole or not at all (a new file renamed into place).
    bool Rewrite(const std::vector<RecordEntry>& entries);
    // Keeps a host file in the record folder before the install overwrites (copy) or deletes
    // (move) it; answers the kept file's path, empty when it could not be kept.
    std::string Keep(const std::string& path, bool move);

    // The first entry of an earlier install for a host file that it copied, or null.
    const RecordEntry* CopiedBefore(const std::string& path) const;
    // The first entry of an earlier install for an INI key it wrote, or null.
    const RecordEntry* KeyBefore(const std::string& file, const std::string& section, const std::string& key) const;
    bool Failed() const { return failed_; }

private:
    std::string folder_;
    std::vector<RecordEntry> entries_;
    int kept_ = 0;
    bool failed_ = false;
};

// A fingerprint of a file's bytes (its size and a 64-bit hash); empty when it does not read.
std::string Fingerprint(const std::string& path);

// The record folder of a package on a host: below base, named by the package's title and a hash of
// the host's folder, so that one package on two hosts has two.
std::string RecordFolderFor(const std::string& base, const std::string& title, const std::string& hostRoot);
// The name the package is listed under in the system's Uninstall key: the record folder's own name.
std::string RecordName(const std::string& folder);
