// The portable part of AtomicFile: temporary names, buffering, the write seam, commit and clean-up.
#include "AtomicFile.h"

#include "AtomicFilePlatform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace atomicfile;

namespace {

constexpr size_t kBufferBytes = 64 * 1024;
constexpr int kNameAttempts = 100;

// Test seam: KCF_TEST_WRITE_FAULT="fail:N" makes the process's Nth write call fail, "short:N"
// makes it write half and every later call fail as a full disk does, "pause:N" stops the program
// before it until a signal ends it. Counted over every AtomicFile of the process, from 1.
struct WriteFault {
    enum Kind { kNone, kFail, kShort, kPause } kind = kNone;
    long long at = 0;
};

WriteFault ParseWriteFault()
{
    WriteFault fault;
    const char* text = std::getenv("KCF_TEST_WRITE_FAULT");
    if (!text) return fault;
    const char* colon = std::strchr(text, ':');
    if (!colon) return fault;
    const std::string kind(text, colon);
    fault.at = std::atoll(colon + 1);
    fault.kind = kind == "fail" ? WriteFault::kFail : kind == "short" ? WriteFault::kShort
               : kind == "pause" ? WriteFault::kPause : WriteFault::kNone;
    return fault;
}

long long SeamedWrite(intptr_t handle, const void* data, size_t size, std::string& error)
{
    static const WriteFault fault = ParseWriteFault();
    static long long calls = 0;
    const long long call = ++calls;
    if (fault.kind != WriteFault::kNone && call >= fault.at) {
        if (fault.kind == WriteFault::kPause && call == fault.at) PauseForever();
        if (fault.kind == WriteFault::kFail && call == fault.at) {
            error = "input/output error (injected)";
            return -1;
        }
        if (fault.kind == WriteFault::kShort) {
            if (call == fault.at && size > 1) return WriteOnce(handle, data, size / 2, error);
            error = "no space left on device (injected)";
            return -1;
        }
    }
    return WriteOnce(handle, data, size, error);
}

bool namesRepeat = false;
uint64_t repeatSeed = 0;

// Six characters of [0-9a-z] from a 64-bit mix of state: short, and alike on every file system.
std::string TemporaryName(uint64_t& state)
{
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    std::string name = ".~kcf";
    for (int i = 0; i < 6; ++i, z /= 36) name += "0123456789abcdefghijklmnopqrstuvwxyz"[z % 36];
    return name;
}

}  // namespace

AtomicFile::~AtomicFile() { Abandon(); }

void AtomicFile::RepeatNamesForTesting(uint64_t seed)
{
    namesRepeat = true;
    repeatSeed = seed;
}

bool AtomicFile::CanReplace(const std::string& path, std::string& error)
{
    std::string target, why;
    if (ResolveTarget(path, target, why)) return true;
    error = path + ": " + why;
    return false;
}

bool AtomicFile::Open(const std::string& path, std::string& error)
{
    Abandon();
    std::string why;
    if (!ResolveTarget(path, target_, why)) {
        error = path + ": " + why;
        return false;
    }
    const std::string folder = FolderPart(target_);
    uint64_t state = namesRepeat ? repeatSeed : RandomSeed();
    bool exists = true;
    for (int attempt = 0; attempt < kNameAttempts && exists; ++attempt) {
        temporary_ = folder + TemporaryName(state);
        if (CreateExclusive(temporary_, target_, handle_, exists, why)) {
            path_ = path;
            failure_.clear();
            buffer_.clear();
            buffer_.reserve(kBufferBytes);
            open_ = true;
            return true;
        }
    }
    if (exists) why = "no free name for a temporary file in its folder";
    error = path + ": cannot write: " + why;
    return false;
}

bool AtomicFile::FlushBuffer()
{
    size_t done = 0;
    while (done < buffer_.size()) {
        const long long n = SeamedWrite(handle_, buffer_.data() + done, buffer_.size() - done, failure_);
        if (n <= 0) {
            if (failure_.empty()) failure_ = "the system wrote nothing";
            return false;
        }
        done += static_cast<size_t>(n);
    }
    buffer_.clear();
    return true;
}

bool AtomicFile::Write(const void* data, size_t size)
{
    if (!open_ || !failure_.empty()) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        if (buffer_.size() == kBufferBytes && !FlushBuffer()) return false;
        const size_t n = std::min(size, kBufferBytes - buffer_.size());
        buffer_.insert(buffer_.end(), bytes, bytes + n);
        bytes += n;
        size -= n;
    }
    return true;
}

bool AtomicFile::Commit(std::string& error)
{
    if (!open_) {
        error = path_ + ": cannot write: the file was not opened";
        return false;
    }
    bool ok = failure_.empty() && FlushBuffer();
    std::string why = failure_;
    const intptr_t handle = handle_;
    handle_ = kNoHandle;
    if (ok) ok = SyncAndClose(handle, why);
    else CloseQuietly(handle);
    if (ok) ok = RenameOver(temporary_, target_, why);
    if (!ok) RemoveTemporary(temporary_);
    open_ = false;
    if (!ok) error = path_ + ": cannot write: " + why;
    return ok;
}

void AtomicFile::Abandon()
{
    if (!open_) return;
    CloseQuietly(handle_);
    handle_ = kNoHandle;
    RemoveTemporary(temporary_);
    open_ = false;
}
