// The install record's folders: made with a protected security descriptor, trusted only as such.
//
// setup.exe runs as an administrator and carries out later what its record says, so what it reads
// back must be as protected as what it writes. Below the common application data folder ordinary
// users may make folders of their own beforehand; a record folder is therefore made with SYSTEM
// and Administrators in full control, Users reading, nothing inherited and Administrators as
// owner, and one that already exists is used only if no one else could have made or changed it.
#pragma once

#include <string>

// The security descriptor of every record folder, in the system's descriptor language.
extern const char* const kRecordFolderSecurity;

// Makes folder (its parent must exist) with kRecordFolderSecurity; false when it cannot be made.
// A folder that is already there is not touched: ask WhyUntrusted about it.
bool MakeProtectedFolder(const std::string& folder);

// Why the existing folder or file at path cannot be trusted with the record, as one line ("is a
// link", ...); empty when it can, or when nothing is there. Trusted: no link or reparse point, owned
// by the installing user, the Administrators group or SYSTEM, and writable by no one else.
std::string WhyUntrusted(const std::string& path);

// Gives the file at to the access list of the file at from, protected from what its folder hands
// down: a host file kept in the record is readable by no more users than the original was, and is
// so again when it is put back. False when the list cannot be read or set.
bool CopyAccess(const std::string& from, const std::string& to);
