// What an install did to one host, kept in a folder of its own outside the host, so that uninstall
// can undo it: a log appended entry by entry, and the host's files that the install replaced or
// deleted.
#pragma once

#include "RecordLog.h"

#include <windows.h>

#include <string>
#include <vector>

// The package as the system's list of installed programs shows it.
struct ProgramListing {
    std::string name;       // the package's name and the host folder
    std::string version;
    std::string publisher;
    std::string hostRoot;
};

class InstallRecord {
public:
    explicit InstallRecord(std::string folder) : folder_(std::move(folder)) {}
    const std::string& Folder() const { return folder_; }
    std::string LogPath() const { return folder_ + "\\install.log"; }
    // The copies kept beside the log: the program that uninstalls, and the script it plans from.
    std::string ProgramPath() const { return folder_ + "\\setup.exe"; }
    std::string ScriptPath() const { return folder_ + "\\SETUP.INI"; }

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
    // Copies the program (none when empty) and the script beside the log, each as a new file; false
    // when one of them could not be kept.
    bool KeepProgramAndScript(const std::string& program, const std::string& script) const;
    // Lists the package in the system's Uninstall key (null: not listed), under the record folder's
    // name, uninstalled by the program kept beside the log; false when the key cannot be written.
    bool List(HKEY uninstallRoot, const ProgramListing& listing) const;
    // Removes the record whole: its listing, files and folder, and the base of every record once no
    // other is left. A running copy of the program, which cannot delete itself, goes with its folder
    // when the system next starts.
    void Remove(HKEY uninstallRoot) const;

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
