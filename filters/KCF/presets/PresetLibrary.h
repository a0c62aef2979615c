// The preset library: named kernels kept one after another in a text file, read and appended with C stdio.
//
// A record is 3 + size lines, each ending in CR LF: the name; the kernel size; one line of size
// numbers for each row of the centred size x size block of the grid; "divisor offset invert".
// The reader takes LF line ends as well, and keeps every name exactly as it was written. A name is
// one line (empty and blanks-only lines between records are skipped); the numbers after it are
// read across blanks and line ends, as the C library reads numbers, so a hand edit may join or
// split rows; words after a record's last number are dropped with the rest of their line.
//
// Every operation here answers true when it did what it says and false when it did not; where the
// user can do something about a failure (a library that cannot be opened or written, a name that
// is refused) they have been told, through ShowMessage, before it returns.
#pragma once

#include "KernelRecord.h"

#include <cstdio>
#include <string>
#include <vector>

// Opens the library for reading. When it cannot, tells the user "Can't open file: %s" with the
// path and returns null; likewise, with the reason after the path, for a folder, a device or a
// pipe, and for a file larger than a library may be (4 MB, PresetFile.h).
FILE* OpenPresetLibrary(const char* path);

// The block of the grid that a record of a stored size holds in the library: the centred one of
// that size, or the whole grid for a size that is none of 3, 5, 7, 9 (only damage gives one).
constexpr int PresetBlockSize(int32_t size) { return IsKernelSize(size) ? size : kGridSide; }

// Reads the next record of an open library: its name into name (256 characters) and its kernel
// into record. True when a record was read, false at the end of the file. A number that cannot
// be read leaves a grid cell 0 and the divisor, offset or invert as it was. The size is kept as
// written; a size that is none of 3, 5, 7, 9 reads the whole grid, and one that cannot be read
// reads the whole grid and becomes 9.
bool ReadPreset(FILE* file, char name[kNameChars], KernelRecord* record);

// Looks for the first record named exactly name (case matters). True, with the record in record,
// when found; false, with record untouched, when it is not there or the library cannot be opened
// (the user is told of the latter).
bool FindPreset(const char* path, const char* name, KernelRecord* record);

// Appends a record at the end of the library, creating the file if need be. The block written is
// PresetBlockSize's. The save takes the library's lock and is all or nothing (PresetFile.h): on any
// failure the file is left byte for byte as it was. A last line without its line end, or a last
// record cut short, is ended first, so that the new record is never read as part of it. False,
// with nothing written, for a name that is empty, longer than 255 characters or holds a line
// break, and when the file cannot be opened or written (the user is told which).
bool AppendPreset(const char* path, const char* name, const KernelRecord* record);

// The control dialog's Save, which kcftool's add shares: an empty name is refused with "Input the
// filter name!", a name the library holds with "Change the filter name!" (both caption "Error");
// otherwise the record is appended as AppendPreset does. The name is checked under the same lock
// as the append, so that two saves of one name from two processes store it once. A library that
// does not exist yet is reported ("Can't open file: %s") and then created. True when the record
// was added.
bool SavePreset(const char* path, const char* name, const KernelRecord* record);

// Every name of the library, in file order. False (names emptied) when the library cannot be
// opened; the user is told.
bool ReadPresetNames(const char* path, std::vector<std::string>& names);
// The same in the order the control dialog's list shows them: alphabetical without regard to
// case, names that differ only in case in file order.
bool ListPresetNames(const char* path, std::vector<std::string>& names);

// The list's order: byte-wise alphabetical without regard to ASCII case.
bool PresetNameLess(const std::string& a, const std::string& b);

// Up to count names of names that a user who typed wanted may have meant, the likeliest first:
// the same but for case, those within a few typing mistakes, those that hold it or that it holds.
std::vector<std::string> NearestPresetNames(const std::vector<std::string>& names, const std::string& wanted,
                                            size_t count);

// The record as a library holds it: the name, the size, the rows of PresetBlockSize's block and
// "divisor offset invert", each line ending in lineEnd.
std::string FormatPreset(const char* name, const KernelRecord& record, const char* lineEnd);
