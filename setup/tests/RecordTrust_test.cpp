// The install record is trusted only as setup.exe made it: protected folders, and every record
// that someone else could have made or changed beforehand refused, before anything is changed.
#include "InstallFixture.h"
#include "InstallRecord.h"
#include "RecordFolder.h"

#include <sddl.h>

#include <functional>

namespace {

std::string SecurityOf(const std::string& path)
{
    const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityA(path.c_str(), wanted, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    char* text = nullptr;
    if (size == 0 || !GetFileSecurityA(path.c_str(), wanted, buffer.data(), size, &size) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(buffer.data(), SDDL_REVISION_1, wanted, &text, nullptr))
        return "(unreadable)";
    std::string result = text;
    LocalFree(text);
    return result;
}

bool SetSecurity(const std::string& path, const char* sddl, SECURITY_INFORMATION what)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return false;
    const bool set = SetFileSecurityA(path.c_str(), what, descriptor) != FALSE;
    LocalFree(descriptor);
    return set;
}

// Windows Vista's CreateSymbolicLinkA, looked up: the test program may use it where it exists.
bool MakeFolderLink(const std::string& link, const std::string& target)
{
    using Function = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
    const auto make = reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
    return make && make(link.c_str(), target.c_str(), 1 /* a folder */);
}

const char kScript[] = "[Product]\nTitle=Trust Test\nVersion=1.0\nMAXVer=6.0\n[Root]\nFile1=t.txt\n";

class RecordTrustTest : public InstallFixture {
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        Source("t.txt", "new t.txt");
        Script(kScript);
        Load();
        folder = RecordFolderFor(records.Path(), "Trust Test", script->HostRoot());
    }
    std::string LastMessage() const { return desktop.shown.empty() ? "(none)" : desktop.shown.back().text; }
    std::string folder;
};

}  // namespace

// The descriptor says what it should, read back by the system's own parser; the folders made with
// it are trusted. (Wine keeps of a folder's descriptor only what its file modes can hold: there it
// reads back as the user's and SYSTEM's alone, which must be trusted too.)
TEST_F(RecordTrustTest, FoldersAreMadeProtectedAndTrusted)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(kRecordFolderSecurity, SDDL_REVISION_1, &descriptor,
                                                                     nullptr));
    char* text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_STREQ(text, "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
    LocalFree(text);
    LocalFree(descriptor);

    ASSERT_EQ(Install(), 1);
    for (const std::string& made : {folder, folder + "\\kept"}) {
        EXPECT_EQ(SecurityOf(made).find(";WD)"), std::string::npos) << made << ": " << SecurityOf(made);
        EXPECT_EQ(WhyUntrusted(made), "") << made;
    }
}

// Each way of turning a record against the administrator, set up before the install or between
// the install and the uninstall: refused with one line naming it, and nothing changed. A case
// whose descriptor this system does not keep (Wine keeps file modes, not owners) is skipped, and
// says so.
TEST_F(RecordTrustTest, RecordsSomeoneElseCouldChangeAreRefused)
{
    struct Case {
        const char* name;
        bool beforeInstall;
        std::function<bool(const std::string& folder)> tamper;
        const char* path;   // what was tampered with, below the record folder
        std::vector<const char*> shows;  // one of them in its descriptor once the system kept the change
                                          // (none for a link)
        const char* why;
    };
    const Case cases[] = {
        {"a folder made beforehand that everyone may change", true,
         [](const std::string& f) {
             return CreateDirectoryA(f.c_str(), nullptr) && SetSecurity(f, "D:(A;OICI;FA;;;WD)", DACL_SECURITY_INFORMATION);
         },
         "", {"FA;;;WD)", "0x1301ff;;;WD)"}, "lets others change it"},
        {"a folder made beforehand that belongs to the Users", true,
         [](const std::string& f) {
             return CreateDirectoryA(f.c_str(), nullptr) && SetSecurity(f, "O:BU", OWNER_SECURITY_INFORMATION);
         },
         "", {"O:BU"}, "belongs to someone other than you"},
        {"a link where the folder goes", true,
         [this](const std::string& f) { return MakeFolderLink(f, temp / "elsewhere"); }, "", {}, "is a link"},
        {"a log that everyone may change, after the install", false,
         [](const std::string& f) {
             return SetSecurity(f + "\\install.log", "D:(A;;FA;;;WD)", DACL_SECURITY_INFORMATION);
         },
         "\\install.log", {"FA;;;WD)", "0x1301ff;;;WD)", "0x1201bf;;;WD)"}, "lets others change it"},
        {"a kept folder that everyone may change, after the install", false,
         [](const std::string& f) {
             return SetSecurity(f + "\\kept", "D:(A;OICI;FA;;;WD)", DACL_SECURITY_INFORMATION);
         },
         "\\kept", {"FA;;;WD)", "0x1301ff;;;WD)"}, "lets others change it"},
    };
    MakeDir(temp / "elsewhere");
    int tried = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.beforeInstall) {
            ASSERT_EQ(Install(), 1);
            ASSERT_TRUE(FileExists(Host("t.txt")));
        }
        const auto before = TreeOf(temp.Path());
        const bool tampered = c.tamper(folder);
        const std::string target = folder + c.path;
        const std::string security = SecurityOf(target);
        const DWORD attributes = GetFileAttributesA(target.c_str());
        bool kept = tampered && c.shows.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
                    (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        for (const char* shown : c.shows) kept = kept || (tampered && security.find(shown) != std::string::npos);
        if (kept) {
            ++tried;
            desktop.shown.clear();
            Load();
            const int result = c.beforeInstall ? Install() : script->Uninstall(log);
            EXPECT_EQ(result, 0);
            EXPECT_NE(LastMessage().find(target + " " + c.why), std::string::npos) << LastMessage();
            EXPECT_NE(LastMessage().find(c.beforeInstall ? "Nothing was installed." : "Nothing was undone."),
                      std::string::npos)
                << LastMessage();
            EXPECT_EQ(TreeOf(temp.Path()), before);
        } else {
            std::printf("skipped: %s (this system does not keep it: %s)\n", c.name, SecurityOf(target).c_str());
        }
        // Cleared as an administrator would: the record and what the install left.
        for (const char* path : {"", "\\kept", "\\install.log"})
            SetSecurity(folder + path, "D:(A;OICI;FA;;;SY)", DACL_SECURITY_INFORMATION);
        RemoveDirectoryA(folder.c_str());  // a link goes by itself
        RemoveTree(folder);
        DeleteFileA(Host("t.txt").c_str());
    }
    EXPECT_GE(tried, 3) << "too few cases could be set up here";
}

// The log's replacement is a new file: one that stands there already (a link to another file, say)
// is removed, never written through.
TEST_F(RecordTrustTest, ALogReplacementIsNeverWrittenThroughAFileThatWasThere)
{
    InstallRecord record(folder);
    ASSERT_TRUE(record.Prepare());
    const std::string victim = temp / "victim.txt";
    WriteText(victim, "someone else's file");
    ASSERT_TRUE(CreateHardLinkA((record.LogPath() + ".new").c_str(), victim.c_str(), nullptr));
    EXPECT_TRUE(record.Rewrite({RecordEntry::MadeDir(Host("made"))}));
    EXPECT_EQ(ReadText(victim), "someone else's file");
}

// A host file that only administrators may read stays so in the record's kept folder, which
// everyone may read from, and when the uninstall puts it back.
TEST_F(RecordTrustTest, AKeptFileIsReadableByNoMoreUsersThanTheOriginal)
{
    WriteText(Host("t.txt"), "the host's own, restricted");
    ASSERT_TRUE(SetSecurity(Host("t.txt"), "D:P(A;;FA;;;SY)(A;;FA;;;BA)", DACL_SECURITY_INFORMATION));
    const std::string restricted = SecurityOf(Host("t.txt"));
    ASSERT_EQ(Install(), 1);
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\kept\\*-t.txt").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    const std::string kept = folder + "\\kept\\" + found.cFileName;
    EXPECT_EQ(SecurityOf(kept).substr(SecurityOf(kept).find("D:")), restricted.substr(restricted.find("D:")));
    Load();
    ASSERT_EQ(script->Uninstall(log), 1);
    EXPECT_EQ(ReadText(Host("t.txt")), "the host's own, restricted");
    EXPECT_EQ(SecurityOf(Host("t.txt")).substr(SecurityOf(Host("t.txt")).find("D:")), restricted.substr(restricted.find("D:")));
}
