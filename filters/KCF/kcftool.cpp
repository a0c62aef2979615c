// kcftool: the Kernelcraft Filter's settings as files, for users without the dialog and for scripts.
#include "SettingsText.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: kcftool block --out BLOCK [--kernel \"ROW; ROW; ...\"] [--divisor N] [--offset N] [--invert]\n"
    "                     [--source whole|mtl|obj] [--mtl-id N] [--obj-id N] [--name TEXT]\n"
    "       kcftool show BLOCK\n"
    "A kernel is 3, 5, 7 or 9 rows of as many integers, rows separated by ';'. Ranges: divisor and\n"
    "offset -99999..99999, mtl id 0..15, obj id 0..65535, name up to 255 characters.\n";

int Fail(const std::string& message)
{
    std::fprintf(stderr, "kcftool: %s\n", message.c_str());
    return 1;
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>& bytes, size_t limit, std::string& error)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        error = path + ": cannot open";
        return false;
    }
    unsigned char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0 && bytes.size() <= limit)
        bytes.insert(bytes.end(), buffer, buffer + n);
    return true;
}

bool WriteBlock(const std::string& path, const FilterSettings& settings, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = path + ": cannot write";
        return false;
    }
    bool ok = std::fwrite(&settings, sizeof settings, 1, file) == 1;
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::remove(path.c_str());
        error = path + ": cannot write";
    }
    return ok;
}

int Block(const std::vector<std::string>& args)
{
    FilterSettings settings = DefaultFilterSettings();
    BlockOptions options;
    std::string error;
    if (!ParseBlockOptions(args, settings, options, error)) return Fail(error);
    if (!options.presetName.empty()) return Fail("--preset needs the preset library, which this build does not have");
    if (!WriteBlock(options.outPath, settings, error)) return Fail(error);
    return 0;
}

int Show(const std::vector<std::string>& args)
{
    if (args.size() != 1) return Fail("show takes one BLOCK file");
    std::vector<unsigned char> bytes;
    std::string error;
    if (!ReadWholeFile(args[0], bytes, 1 << 16, error)) return Fail(error);
    FilterSettings settings;
    if (!CheckBlock(bytes, settings, error)) return Fail(args[0] + ": " + error);
    std::fputs(DescribeSettings(settings).c_str(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "block") return Block(rest);
    if (args[0] == "show") return Show(rest);
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::fprintf(stderr, "kcftool: unknown command '%s'\n%s", args[0].c_str(), kUsage);
    return 2;
}
