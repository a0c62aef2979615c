// The uninstall's check of an install record: every entry must be one that the package's own
// script could have made on the bound host, and none may act through a link.
#pragma once

#include "InstallPlan.h"
#include "RecordLog.h"

#include <string>
#include <vector>

// The files of the host a record may name: the two INI files of the binding.
struct RecordBounds {
    std::string folder;  // the record's own folder: saved copies come only from its kept folder
    std::string maxIni;
    std::string pluginIni;
};

// Checks the entries against the plan the kept script comes to on the bound host. On success,
// checked holds the entries with every path spelled as the plan and the record folder spell it,
// and the answer is empty; otherwise the answer names the first entry that fails, and why.
std::string CheckRecordEntries(const std::vector<RecordEntry>& entries, const InstallPlan& plan,
                               const RecordBounds& bounds, std::vector<RecordEntry>& checked);
