// The host installations found on this machine: version text and program directory, in scan order.
#pragma once

#include <string>
#include <vector>

struct HostEntry {
    std::string version;    // "6.0"
    std::string directory;  // drive and directory, ending in a backslash
};

class HostVersionList {
public:
    void Clear() { entries_.clear(); }
    void Append(const std::string& version, const std::string& directory) { entries_.push_back({version, directory}); }
    int Count() const { return static_cast<int>(entries_.size()); }
    // The entry at index, or nullptr when there is none.
    const HostEntry* At(int index) const
    {
        return index >= 0 && index < Count() ? &entries_[static_cast<size_t>(index)] : nullptr;
    }

private:
    std::vector<HostEntry> entries_;
};
