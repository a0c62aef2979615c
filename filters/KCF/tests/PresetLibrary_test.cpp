// The preset library file: its text, round trips in CR LF and LF, damage, duplicates, missing
// files, the reader's bounds on garbage, and saves that fail at each disk step.
#include "PresetFile.h"
#include "PresetLibrary.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// A record whose grid holds 100 r + c + 1 everywhere, so that every cell is told apart.
KernelRecord Numbered(int size, int divisor = 7, int offset = -3, int invert = 1)
{
    KernelRecord k = DefaultKernelRecord();
    k.size = size;
    for (int i = 0; i < kGridCells; ++i) k.weights[i] = 100 * (i / 9) + i % 9 + 1;
    k.divisor = divisor;
    k.offset = offset;
    k.invert = invert;
    return k;
}

// What a record reads back as: the cells outside the centred block are not kept.
KernelRecord OnlyBlock(KernelRecord k)
{
    const int size = PresetBlockSize(k.size);
    const int origin = SubKernelOrigin(size);
    for (int r = 0; r < 9; ++r)
        for (int c = 0; c < 9; ++c)
            if (r < origin || r >= origin + size || c < origin || c >= origin + size) k.weights[r * 9 + c] = 0;
    return k;
}

void ExpectSame(const KernelRecord& a, const KernelRecord& b, const std::string& what)
{
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << what;
}

std::vector<PresetEntry> ReadAll(const std::string& path) { return ReadPresetFile(path); }

int CountLines(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

class PresetLibraryTest : public ::testing::Test {
protected:
    ScratchDir dir;
    MessageRecorder user;
    std::string library = dir.File("ZAV_KCF.SET");
};

}  // namespace

TEST_F(PresetLibraryTest, RecordTextAndLineCounts)
{
    KernelRecord sharpen = DefaultKernelRecord();
    const int block[9] = {0, -1, 0, -1, 5, -1, 0, -1, 0};
    for (int i = 0; i < 9; ++i) sharpen.weights[(3 + i / 3) * 9 + 3 + i % 3] = block[i];
    ASSERT_TRUE(AppendPreset(library.c_str(), "Sharpen", &sharpen));
    EXPECT_EQ(ReadFileBytes(library), "Sharpen\r\n3\r\n0 -1 0\r\n-1 5 -1\r\n0 -1 0\r\n1 0 0\r\n");

    // Each size writes 3 + size lines; the last line of a record holds exactly three numbers.
    for (int size : {3, 5, 7, 9}) {
        const std::string path = dir.File("size" + std::to_string(size));
        const KernelRecord k = Numbered(size);
        ASSERT_TRUE(AppendPreset(path.c_str(), "n", &k));
        const std::string text = ReadFileBytes(path);
        EXPECT_EQ(CountLines(text), 3 + size) << size;
        EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1), "7 -3 1\r\n") << size;
        const int origin = SubKernelOrigin(size);
        const std::string firstRow = std::to_string(100 * origin + origin + 1) + " ";
        EXPECT_EQ(text.substr(6, firstRow.size()), firstRow) << "first row starts at the block's corner";
    }
    EXPECT_TRUE(user.messages.empty());
}

TEST_F(PresetLibraryTest, RoundTripsInCrLfAndInLf)
{
    const std::vector<std::string> names = {
        "Blur", "with %s and %d", "trailing blank ", std::string(255, 'x'), std::string(254, 'y') + "\xE9",
        "Kante \xFC" "ber", "  leading blanks",
    };
    std::vector<PresetEntry> written;
    int i = 0;
    for (const auto& name : names) {
        const int size = 3 + 2 * (i % 4);
        KernelRecord k = Numbered(size, i - 2, 1000 * i, i % 2);
        k.weights[40] = -2147483647 - 1;  // the extremes of a weight survive
        k.weights[41] = 2147483647;
        ASSERT_TRUE(AppendPreset(library.c_str(), name.c_str(), &k)) << name;
        written.push_back({name, OnlyBlock(k)});
        ++i;
    }
    const std::string crlf = ReadFileBytes(library);
    ASSERT_EQ(crlf.find('\n'), crlf.find("\r\n") + 1);

    const std::string lfLibrary = dir.File("lf.SET");
    WriteFileBytes(lfLibrary, WithoutCarriageReturns(crlf));
    for (const std::string& path : {library, lfLibrary}) {
        const auto read = ReadAll(path);
        ASSERT_EQ(read.size(), written.size()) << path;
        for (size_t j = 0; j < read.size(); ++j) {
            EXPECT_EQ(read[j].name, written[j].name) << path;
            ExpectSame(read[j].record, written[j].record, path + ": " + written[j].name);
        }
    }

    // Writing what was read, in the same order, gives the same text.
    const std::string again = dir.File("again.SET");
    for (const auto& e : ReadAll(lfLibrary)) ASSERT_TRUE(AppendPreset(again.c_str(), e.name.c_str(), &e.record));
    EXPECT_EQ(ReadFileBytes(again), crlf);
}

TEST_F(PresetLibraryTest, NamesKeepTheirEveryCharacter)
{
    // Every name comes back whole: 255 characters, leading blanks (also after the first record),
    // and a name whose last character would have been taken for a line end.
    const std::vector<std::string> names = {std::string(255, 'L'), "   Indented", "\tTabbed", "x"};
    const KernelRecord k = Numbered(3);
    for (const auto& n : names) ASSERT_TRUE(AppendPreset(library.c_str(), n.c_str(), &k));
    const auto read = ReadAll(library);
    ASSERT_EQ(read.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(read[i].name, names[i]);

    // The duplicate check therefore knows a stored name of 255 characters.
    KernelRecord found = DefaultKernelRecord();
    EXPECT_TRUE(FindPreset(library.c_str(), names[0].c_str(), &found));
    EXPECT_TRUE(FindPreset(library.c_str(), "   Indented", &found));
    EXPECT_FALSE(FindPreset(library.c_str(), "Indented", &found));
}

TEST_F(PresetLibraryTest, ReadsOldFilesAsBefore)
{
    // A file as the previous reader met it: CR LF, blank lines between records, a last line
    // with trailing blanks, and a file that ends without a line end. Every name of at most 254
    // characters reads as it did.
    std::string file = "Edge\r\n3\r\n-1 -1 -1\r\n-1 8 -1\r\n-1 -1 -1\r\n1 0 0   \r\n\r\n\r\n";
    file += std::string(254, 'N') + "\r\n5\r\n";
    for (int r = 0; r < 5; ++r) file += "1 2 3 4 5\r\n";
    file += "25 10 0\r\nLast\r\n3\r\n0 0 0\r\n0 1 0\r\n0 0 0\r\n1 0 1";
    WriteFileBytes(library, file);

    const auto read = ReadAll(library);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].name, "Edge");
    EXPECT_EQ(read[0].record.weights[40], 8);
    EXPECT_EQ(read[0].record.weights[30], -1);
    EXPECT_EQ(read[1].name, std::string(254, 'N'));
    EXPECT_EQ(read[1].record.size, 5);
    EXPECT_EQ(read[1].record.weights[2 * 9 + 2], 1);
    EXPECT_EQ(read[1].record.weights[6 * 9 + 6], 5);
    EXPECT_EQ(read[1].record.divisor, 25);
    EXPECT_EQ(read[1].record.offset, 10);
    EXPECT_EQ(read[2].name, "Last");
    EXPECT_EQ(read[2].record.invert, 1);
    EXPECT_EQ(read[2].record.weights[40], 1);
}

TEST_F(PresetLibraryTest, DamagedNumbers)
{
    // A word that is no number reads as a 0 cell, or leaves the divisor, offset or invert as they
    // were; it takes the place of one number, so the damage stays where it is and the next record
    // reads whole. Words after a record's last number are dropped with the rest of that line.
    WriteFileBytes(library,
                   "Damaged\r\n"
                   "3\r\n"
                   "1 x 3\r\n"
                   "12abc 99999999999 -\r\n"
                   "7 " + std::string(5000, '8') + " 9\r\n"
                   "q 5 zz and more words\r\n"
                   "Fine\r\n3\r\n1 2 3\r\n4 5 6\r\n7 8 9\r\n9 1 0\r\n");
    KernelRecord k = Numbered(9, 11, 22, 33);
    char name[kNameChars];
    FILE* f = std::fopen(library.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(ReadPreset(f, name, &k));
    EXPECT_STREQ(name, "Damaged");
    EXPECT_EQ(k.size, 3);
    const int expectBlock[9] = {1, 0, 3, 0, 0, 0, 7, 0, 9};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(k.weights[(3 + i / 3) * 9 + 3 + i % 3], expectBlock[i]) << i;
    EXPECT_EQ(k.weights[0], 0) << "cells outside the block are cleared";
    EXPECT_EQ(k.divisor, 11);
    EXPECT_EQ(k.offset, 5);
    EXPECT_EQ(k.invert, 33);

    ASSERT_TRUE(ReadPreset(f, name, &k));
    EXPECT_STREQ(name, "Fine");
    EXPECT_EQ(k.weights[5 * 9 + 5], 9);
    EXPECT_EQ(k.divisor, 9);
    EXPECT_EQ(k.offset, 1);
    EXPECT_EQ(k.invert, 0);
    EXPECT_FALSE(ReadPreset(f, name, &k));
    std::fclose(f);
}

TEST_F(PresetLibraryTest, HandEditedLayoutsReadAsTheirNumbers)
{
    // Numbers are read as the C library reads them, across blanks and line ends: a record whose
    // rows a hand edit joined, split or spaced out reads as written, and hides no record after it.
    const std::string sharpen = "Sharpen\r\n3\r\n0 -1 0\r\n-1 5 -1\r\n0 -1 0\r\n1 0 0\r\n";
    const struct {
        const char* what;
        std::string edited;
    } cases[] = {
        {"a blanks-only line between records", "Edited\r\n3\r\n0 0 0\r\n0 2 0\r\n0 0 0\r\n2 7 0\r\n   \t\r\n"},
        {"an empty line between the name and its size", "Edited\r\n\r\n3\r\n0 0 0\r\n0 2 0\r\n0 0 0\r\n2 7 0\r\n"},
        {"nine numbers on one line", "Edited\r\n3\r\n0 0 0 0 2 0 0 0 0\r\n2 7 0\r\n"},
        {"everything on the size line, LF ends", "Edited\n3 0 0 0 0 2 0 0 0 0 2 7 0\n"},
        {"rows split over lines, blank lines between", "Edited\r\n3\r\n0 0\r\n\r\n0 0 2\r\n0 0 0\r\n0\r\n2\r\n7 0\r\n"},
    };
    for (const auto& c : cases) {
        WriteFileBytes(library, c.edited + sharpen);
        const auto read = ReadAll(library);
        ASSERT_EQ(read.size(), 2u) << c.what;
        EXPECT_EQ(read[0].name, "Edited") << c.what;
        EXPECT_EQ(read[0].record.weights[40], 2) << c.what;
        EXPECT_EQ(read[0].record.divisor, 2) << c.what;
        EXPECT_EQ(read[0].record.offset, 7) << c.what;
        EXPECT_EQ(read[1].name, "Sharpen") << c.what;
        EXPECT_EQ(read[1].record.weights[40], 5) << c.what;
    }
    // A name of blanks only would read as no name at all, so it is never saved.
    const KernelRecord k = Numbered(3);
    EXPECT_FALSE(AppendPreset(library.c_str(), "   ", &k));
}

TEST_F(PresetLibraryTest, OddSizes)
{
    // A size that cannot be read reads the whole grid and becomes 9, so that the record writes
    // back whole; any other size is kept as written, with the whole grid, and writes back the same way.
    std::string file = "Unreadable size\r\nnine\r\n";
    for (int r = 0; r < 9; ++r) file += r == 1 ? "0 0 0 0 4 0 0 0 0\r\n" : "0 0 0 0 0 0 0 0 0\r\n";
    file += "1 0 0\r\n";
    WriteFileBytes(library, file);
    auto read = ReadAll(library);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].record.size, 9);
    EXPECT_EQ(read[0].record.weights[13], 4);
    const std::string rewritten = dir.File("rewritten.SET");
    ASSERT_TRUE(AppendPreset(rewritten.c_str(), read[0].name.c_str(), &read[0].record));
    const auto again = ReadAll(rewritten);
    ASSERT_EQ(again.size(), 1u);
    ExpectSame(again[0].record, read[0].record, "written back whole");

    const std::string odd = dir.File("odd.SET");
    for (int32_t size : {4, 0, -5, 1 << 20}) {
        KernelRecord k = Numbered(size);
        ASSERT_TRUE(AppendPreset(odd.c_str(), ("size " + std::to_string(size)).c_str(), &k));
    }
    read = ReadAll(odd);
    ASSERT_EQ(read.size(), 4u);
    int i = 0;
    for (int32_t size : {4, 0, -5, 1 << 20}) {
        EXPECT_EQ(read[i].record.size, size);
        ExpectSame(read[i].record, Numbered(size), "whole grid for size " + std::to_string(size));
        ++i;
    }
}

TEST_F(PresetLibraryTest, TwoRecordsOfOneName)
{
    KernelRecord first = Numbered(3, 1, 0, 0), second = Numbered(5, 2, 0, 0);
    ASSERT_TRUE(AppendPreset(library.c_str(), "Twin", &first));
    ASSERT_TRUE(AppendPreset(library.c_str(), "twin", &second));
    ASSERT_TRUE(AppendPreset(library.c_str(), "Twin", &second));

    KernelRecord found = DefaultKernelRecord();
    ASSERT_TRUE(FindPreset(library.c_str(), "Twin", &found));
    ExpectSame(found, OnlyBlock(first), "the first in file order");
    ASSERT_TRUE(FindPreset(library.c_str(), "twin", &found));
    ExpectSame(found, OnlyBlock(second), "names differ by case");

    std::vector<std::string> names;
    ASSERT_TRUE(ListPresetNames(library.c_str(), names));
    EXPECT_EQ(names, (std::vector<std::string>{"Twin", "twin", "Twin"}));
}

TEST_F(PresetLibraryTest, NameNotInTheFileLeavesTheRecordAlone)
{
    const KernelRecord stored = Numbered(5);
    ASSERT_TRUE(AppendPreset(library.c_str(), "Stored", &stored));
    KernelRecord mine = Numbered(3, 4, 5, 0);
    const KernelRecord before = mine;
    EXPECT_FALSE(FindPreset(library.c_str(), "Gone", &mine));
    ExpectSame(mine, before, "not found");
    EXPECT_FALSE(FindPreset(library.c_str(), "Stor", &mine)) << "no prefix matches";
    EXPECT_FALSE(FindPreset(library.c_str(), "stored", &mine)) << "case matters";
    ExpectSame(mine, before, "not found");
    EXPECT_TRUE(user.messages.empty());
}

TEST_F(PresetLibraryTest, MissingFile)
{
    KernelRecord k = Numbered(3);
    const KernelRecord before = k;
    EXPECT_FALSE(FindPreset(library.c_str(), "Any", &k));
    ExpectSame(k, before, "missing file");
    std::vector<std::string> names = {"stale"};
    EXPECT_FALSE(ListPresetNames(library.c_str(), names));
    EXPECT_TRUE(names.empty());
    ASSERT_EQ(user.messages.size(), 2u);
    for (const auto& m : user.messages) {
        EXPECT_EQ(m.text, "Can't open file: " + library);
        EXPECT_EQ(m.caption, "Error");
    }

    // The first append creates the file.
    user.Clear();
    ASSERT_TRUE(AppendPreset(library.c_str(), "First", &k));
    EXPECT_TRUE(user.messages.empty());
    EXPECT_EQ(ReadAll(library).size(), 1u);

    // A directory that does not exist, or no path at all, cannot be written.
    const std::string nowhere = dir.File("no-such-dir/ZAV_KCF.SET");
    EXPECT_FALSE(AppendPreset(nowhere.c_str(), "First", &k));
    EXPECT_FALSE(AppendPreset("", "First", &k));
    EXPECT_FALSE(FindPreset("", "First", &k));
    ASSERT_EQ(user.messages.size(), 3u);
    EXPECT_EQ(user.messages[0].text, "Can't open file: " + nowhere);
    EXPECT_EQ(user.messages[1].text, "Can't open file: ");
}

TEST_F(PresetLibraryTest, AppendReportsAFailedWrite)
{
    const KernelRecord k = Numbered(9);
    ASSERT_TRUE(AppendPreset(library.c_str(), "Kept", &k));
    const std::string before = ReadFileBytes(library);
    InjectLibraryFault(LibraryFault::Fail, 2);  // the write of the copy
    EXPECT_FALSE(AppendPreset(library.c_str(), "Lost", &k));
    EXPECT_TRUE(LibraryFaultFired());
    ASSERT_EQ(user.messages.size(), 1u);
    EXPECT_EQ(user.messages[0].text, "Can't write file: " + library);
    EXPECT_EQ(user.messages[0].caption, "Error");
    EXPECT_EQ(ReadFileBytes(library), before);

    // A device is no library: it is refused before anything is written, and stays a device.
    for (const std::string device : {"/dev/full", "/dev/null"}) {
        if (!std::filesystem::is_character_file(device)) continue;
        user.Clear();
        EXPECT_FALSE(AppendPreset(device.c_str(), "Lost", &k));
        ASSERT_EQ(user.messages.size(), 1u);
        EXPECT_EQ(user.messages[0].text, "Can't open file: " + device + " (a folder or a device, not a file)");
        EXPECT_TRUE(std::filesystem::is_character_file(device));
    }
}

TEST_F(PresetLibraryTest, ReadsAndSavesRefuseFoldersDevicesAndOversizedFiles)
{
    // Each would hang the reader (a device without end, a pipe), list nothing as if all were well
    // (a folder), or be read without bound. Every reader and writer refuses it and says why.
    const std::string huge = dir.File("huge.SET");
    WriteFileBytes(huge, "Big\r\n3\r\n0 0 0\r\n0 1 0\r\n0 0 0\r\n1 0 0\r\n");
    std::filesystem::resize_file(huge, kMaxLibraryBytes + 1);
    struct Row {
        std::string path, readMessage, saveMessage;
    };
    std::vector<Row> rows = {
        {dir.Path().string(), "(a folder or a device, not a file)", "(a folder or a device, not a file)"},
        {huge, "(a preset library holds at most 4 MB)", "(a preset library holds at most 4 MB)"},
    };
    if (std::filesystem::is_character_file("/dev/zero"))
        rows.push_back({"/dev/zero", "(a folder or a device, not a file)", "(a folder or a device, not a file)"});
    // A pipe no one writes to would hold a blocking reader for ever.
    const std::string pipe = dir.File("pipe.SET");
    if (std::system(("mkfifo " + pipe + " 2>" + dir.File("mkfifo.txt")).c_str()) == 0)
        rows.push_back({pipe, "(a folder or a device, not a file)", "(a folder or a device, not a file)"});
    for (const Row& row : rows) {
        user.Clear();
        std::vector<std::string> names = {"stale"};
        EXPECT_FALSE(ListPresetNames(row.path.c_str(), names)) << row.path;
        EXPECT_TRUE(names.empty());
        KernelRecord k = Numbered(3);
        EXPECT_FALSE(FindPreset(row.path.c_str(), "Big", &k)) << row.path;
        EXPECT_FALSE(SavePreset(row.path.c_str(), "New", &k)) << row.path;
        ASSERT_EQ(user.messages.size(), 3u) << row.path;
        EXPECT_EQ(user.messages[0].text, "Can't open file: " + row.path + " " + row.readMessage);
        EXPECT_EQ(user.messages[1].text, user.messages[0].text);
        EXPECT_EQ(user.messages[2].text.substr(0, 5), "Can't") << user.messages[2].text;
        EXPECT_NE(user.messages[2].text.find(row.path + " " + row.saveMessage), std::string::npos);
    }
    EXPECT_EQ(std::filesystem::file_size(huge), kMaxLibraryBytes + 1);
    EXPECT_FALSE(std::filesystem::exists(huge + ".new"));
}

TEST_F(PresetLibraryTest, ABrokenLastRecordIsNeverMergedInto)
{
    // Libraries whose end another program left broken: a record cut in the middle of a row, after
    // its size, after its name, before its last line, a lone CR, a name without a line end. A new
    // record goes after the old bytes, which stay as they were and read as they did.
    const std::string whole = "Whole\r\n3\r\n1 2 3\r\n4 5 6\r\n7 8 9\r\n2 1 0\r\n";
    const std::vector<std::string> tails = {
        "Cut\r\n5\r\n1 2 3 4 5\r\n1 2",
        "Cut\r\n7\r\n",
        "Cut\r\n",
        "Cut\n3\n1 1 1\n2 2 2\n3 3 3\n",
        "Cut\r\n3\r\n1 1 1\r\n2 2 2\r\n3 3 3\r\n4 5\r",
        "Cut",
        "Cut\r\n9\r\n" + std::string(3000, '7'),
    };
    const KernelRecord added = Numbered(5, 3, 2, 1);
    for (const std::string& tail : tails) {
        WriteFileBytes(library, whole + tail);
        const auto before = ReadAll(library);
        ASSERT_EQ(before.size(), 2u) << tail;
        ASSERT_TRUE(AppendPreset(library.c_str(), "Added", &added)) << tail;
        const std::string after = ReadFileBytes(library);
        EXPECT_EQ(after.substr(0, whole.size() + tail.size()), whole + tail) << "the old bytes stay";
        const auto read = ReadAll(library);
        ASSERT_EQ(read.size(), 3u) << tail;
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(read[i].name, before[i].name) << tail;
            ExpectSame(read[i].record, before[i].record, "reads as before: " + tail);
        }
        EXPECT_EQ(read[2].name, "Added") << tail;
        ExpectSame(read[2].record, OnlyBlock(added), "the new record, whole: " + tail);
    }
    EXPECT_TRUE(user.messages.empty());
}

TEST_F(PresetLibraryTest, ASaveFailingAtAnyDiskStepLeavesTheLibraryAsItWas)
{
    // Every disk step of a save in turn fails (a failed write writes half first), or writes half and
    // says so. A save that reports failure leaves every byte as it was (no file, if there was none)
    // and no copy behind; one that reports success holds the old bytes and the whole record.
    std::string big;
    for (int i = 0; i < 40; ++i) big += FormatPreset(("Stored " + std::to_string(i)).c_str(), Numbered(9), "\r\n");
    ASSERT_GT(big.size(), 8192u) << "the copy takes more than one page";
    const KernelRecord k = Numbered(7, 5, 4, 0);
    const std::string recordText = FormatPreset("Saved", k, "\r\n");

    for (const LibraryFault fault : {LibraryFault::Fail, LibraryFault::ShortWrite}) {
        for (const bool exists : {true, false}) {
            int steps = 0;
            for (int step = 1; step < 20; ++step) {
                const std::string what = std::string(fault == LibraryFault::Fail ? "fail" : "short") + " at step " +
                                         std::to_string(step) + (exists ? "" : ", no library yet");
                std::remove(library.c_str());
                if (exists) WriteFileBytes(library, big);
                user.Clear();
                InjectLibraryFault(fault, step);
                const bool saved = SavePreset(library.c_str(), "Saved", &k);
                const bool fired = LibraryFaultFired();
                const std::string old = exists ? big : "";
                EXPECT_FALSE(std::filesystem::exists(library + ".new")) << what;
                if (saved) {
                    EXPECT_EQ(ReadFileBytes(library), old + recordText) << what;
                } else {
                    EXPECT_EQ(std::filesystem::exists(library), exists) << what;
                    if (exists) {
                        EXPECT_EQ(ReadFileBytes(library), big) << what;
                    }
                    ASSERT_FALSE(user.messages.empty()) << what;
                    EXPECT_EQ(user.messages.back().text, "Can't write file: " + library) << what;
                }
                if (fault == LibraryFault::ShortWrite) {
                    EXPECT_TRUE(saved) << what << ": the rest is written";
                }
                if (!fired) {
                    EXPECT_TRUE(saved) << what;
                    break;
                }
                ++steps;
                if (fault == LibraryFault::Fail && step <= 4) {
                    EXPECT_FALSE(saved) << what << ": reported as a failure";
                }
            }
            EXPECT_GE(steps, 5) << "create, write, flush, close, rename";
        }
    }
}

TEST_F(PresetLibraryTest, AFullDiskLeavesTheLibraryAsItWas)
{
    // A small file system of its own, filled up so that the library's copy does not fit.
    const std::string disk = dir.File("disk");
    std::filesystem::create_directories(disk);
    if (std::system(("mount -t tmpfs -o size=256k kcftest " + disk + " 2>" + dir.File("mount.txt")).c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << ReadFileBytes(dir.File("mount.txt"));
    struct Unmount {
        std::string disk;
        ~Unmount() { std::system(("umount " + disk).c_str()); }
    } unmount{disk};

    const std::string onDisk = disk + "/ZAV_KCF.SET";
    std::string text;
    for (int i = 0; text.size() < 100 * 1024; ++i)
        text += FormatPreset(("Stored " + std::to_string(i)).c_str(), Numbered(9), "\r\n");
    WriteFileBytes(onDisk, text);
    ASSERT_EQ(ReadFileBytes(onDisk), text);
    const auto room = std::filesystem::space(disk).available;
    ASSERT_GT(room, 40u * 1024);
    const std::string filler = disk + "/filler";
    WriteFileBytes(filler, std::string(room - 40 * 1024, 'f'));
    ASSERT_EQ(std::filesystem::file_size(filler), room - 40 * 1024) << "the filler fits";

    const KernelRecord k = Numbered(3);
    EXPECT_FALSE(SavePreset(onDisk.c_str(), "Lost", &k));
    ASSERT_EQ(user.messages.size(), 1u);
    EXPECT_EQ(user.messages[0].text, "Can't write file: " + onDisk);
    EXPECT_EQ(ReadFileBytes(onDisk), text);
    EXPECT_FALSE(std::filesystem::exists(onDisk + ".new"));

    // With room again, the same save goes through.
    std::filesystem::remove(filler);
    EXPECT_TRUE(SavePreset(onDisk.c_str(), "Lost", &k));
    const std::string after = ReadFileBytes(onDisk);
    EXPECT_EQ(after.substr(0, text.size()), text);
    EXPECT_EQ(after.substr(text.size(), 6), "Lost\r\n");
}

TEST_F(PresetLibraryTest, AppendRefusesNamesThatWouldBreakTheFile)
{
    const KernelRecord k = Numbered(3);
    ASSERT_TRUE(AppendPreset(library.c_str(), "Kept", &k));
    const std::string before = ReadFileBytes(library);
    for (const std::string& bad : {std::string(), std::string(256, 'z'), std::string("two\nlines"),
                                   std::string("cr\rinside")})
        EXPECT_FALSE(AppendPreset(library.c_str(), bad.c_str(), &k)) << bad.size();
    EXPECT_EQ(ReadFileBytes(library), before);
    EXPECT_TRUE(user.messages.empty());
}

TEST_F(PresetLibraryTest, AppendStartsANewLineAfterAHandEditedEnd)
{
    WriteFileBytes(library, "Hand\n3\n0 0 0\n0 2 0\n0 0 0\n1 0 0");  // no last line end
    const KernelRecord k = Numbered(3);
    ASSERT_TRUE(AppendPreset(library.c_str(), "Added", &k));
    const auto read = ReadAll(library);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].record.weights[40], 2);
    EXPECT_EQ(read[0].record.invert, 0);
    EXPECT_EQ(read[1].name, "Added");
    ExpectSame(read[1].record, OnlyBlock(k), "appended record");
}

TEST_F(PresetLibraryTest, ListIsInTheListBoxOrder)
{
    const KernelRecord k = Numbered(3);
    for (const char* n : {"sharpen", "Box blur 5", "Box blur 3", "emboss", "Edge", "box blur 3", "Blur"})
        ASSERT_TRUE(AppendPreset(library.c_str(), n, &k));
    std::vector<std::string> names;
    ASSERT_TRUE(ListPresetNames(library.c_str(), names));
    EXPECT_EQ(names, (std::vector<std::string>{"Blur", "Box blur 3", "box blur 3", "Box blur 5", "Edge", "emboss",
                                               "sharpen"}));
}

TEST_F(PresetLibraryTest, GarbageAndOverlongLinesStayInTheirBuffers)
{
    // The name buffer and the record sit between guard bytes that no read may touch.
    struct Guarded {
        unsigned char before[64];
        char name[kNameChars];
        unsigned char between[64];
        KernelRecord record;
        unsigned char after[64];
    };
    std::mt19937 rng(77);
    const std::string alphabet = std::string("0123456789 -+\t\r\n\r\nabc") + '\0' + "\xFF";
    for (int trial = 0; trial < 300; ++trial) {
        std::string bytes;
        const int length = static_cast<int>(rng() % 6000);
        for (int i = 0; i < length; ++i) {
            if (trial % 3 == 0) bytes += static_cast<char>(rng() % 256);
            else bytes += alphabet[rng() % alphabet.size()];
        }
        if (trial % 5 == 0) bytes.insert(0, std::string(70000, 'A'));            // an endless name
        if (trial % 7 == 0) bytes.insert(0, "n\r\n3\r\n" + std::string(5000, '9'));  // an endless number
        WriteFileBytes(library, bytes);

        Guarded g;
        std::memset(&g, 0x5A, sizeof g);
        FILE* f = std::fopen(library.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        int records = 0;
        while (ReadPreset(f, g.name, &g.record) && records < 100000) {
            ++records;
            ASSERT_LE(std::strlen(g.name), 255u);
            ASSERT_GT(std::strlen(g.name), 0u);
        }
        std::fclose(f);
        ASSERT_LT(records, 100000) << "the reader must reach the end";
        for (unsigned char b : g.before) ASSERT_EQ(b, 0x5A) << trial;
        for (unsigned char b : g.between) ASSERT_EQ(b, 0x5A) << trial;
        for (unsigned char b : g.after) ASSERT_EQ(b, 0x5A) << trial;
    }
}
