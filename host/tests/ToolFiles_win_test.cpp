// vphost.exe, a 32-bit program, on the largest frame it is documented to take: it renders it or
// refuses it in one line, and never dies of an allocation it could not make.
#include "ToolFiles.h"

#include <windows.h>

using namespace toolfiles;

TEST_F(ToolFiles, LargestFrameRendersOrFailsInOneLine)
{
    // 8192 x 8192 16-bit RGBA: 2^26 pixels, 512 MiB of samples, made sparse so that it costs no disk.
    const std::string in = Path("largest.pam"), out = Path("largest-out.pam");
    const std::string header = "P7\nWIDTH 8192\nHEIGHT 8192\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    const HANDLE file = CreateFileA(in.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, header.data(), static_cast<DWORD>(header.size()), &written, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(header.size()) + (LONGLONG(8192) * 8192 * 8);
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);

    const Outcome r = RunCapturing("vphost render --filter " + moduleName + identityKernel + " --in " + in + " --out " + out +
                               " --plugcfg " + dir);
    if (r.status == 0) {
        EXPECT_TRUE(fs::exists(out));
    } else {
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.err.rfind("vphost: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(fs::exists(out));
    }
    EXPECT_TRUE(Temporaries(dir).empty());
    fs::remove(in);
    fs::remove(out);
}
