// What the filter's tests share: a scratch directory of their own and a stand-in for the user
// who reads and closes message boxes.
#pragma once

#include "Messages.h"
#include "PresetLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Every record of a preset library, read as the dialog reads them: one scratch record carried from
// each read to the next, so that a number that cannot be read keeps the value before it.
struct PresetEntry {
    std::string name;
    KernelRecord record;
};

inline std::vector<PresetEntry> ReadPresetFile(const std::string& path)
{
    std::vector<PresetEntry> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    PresetEntry e{"", DefaultKernelRecord()};
    char name[kNameChars];
    while (ReadPreset(f, name, &e.record)) {
        e.name = name;
        out.push_back(e);
    }
    std::fclose(f);
    return out;
}

// A fresh directory under the system's temporary directory, removed with everything in it.
class ScratchDir {
public:
    ScratchDir()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        // A random part keeps runs of the same tests from other build trees apart.
        std::string leaf = "kcf-" + std::to_string(std::random_device{}() % 1000000);
        if (info) leaf += std::string("-") + info->test_suite_name() + "-" + info->name();
        path_ = std::filesystem::temp_directory_path() / leaf;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Takes the place of the user for the test's lifetime: every message is recorded, not shown.
class MessageRecorder {
public:
    struct Message {
        std::string text, caption;
    };
    MessageRecorder() { previous_ = SetMessageSink(&Record, this); }
    ~MessageRecorder() { SetMessageSink(previous_.sink, previous_.context); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<Message> messages;
    void Clear() { messages.clear(); }

private:
    static void Record(const char* text, const char* caption, void* self)
    {
        static_cast<MessageRecorder*>(self)->messages.push_back({text, caption});
    }
    MessageSinkSlot previous_;
};

inline std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string WithoutCarriageReturns(std::string s)
{
    std::erase(s, '\r');
    return s;
}

inline void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
