// kcftool: the Kernelcraft Filter's settings as files, for users without the dialog and for scripts.
#include "AtomicFile.h"
#include "Messages.h"
#include "PresetFile.h"
#include "PresetLibrary.h"
#include "SettingsText.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: kcftool block --out BLOCK [--kernel \"ROW; ROW; ...\"] [--divisor N] [--offset N] [--invert]\n"
    "                     [--source whole|mtl|obj] [--mtl-id N] [--obj-id N] [--name TEXT]\n"
    "                     [--preset NAME --library FILE]\n"
    "       kcftool show BLOCK\n"
    "       kcftool presets --library FILE\n"
    "       kcftool find --library FILE NAME\n"
    "       kcftool add --library FILE --name NAME [--kernel \"ROW; ...\"] [--divisor N] [--offset N] [--invert]\n"
    "       kcftool add --library FILE --from BLOCK [--name NAME]\n"
    "A kernel is 3, 5, 7 or 9 rows of as many integers, rows separated by ';'. Ranges: divisor and\n"
    "offset -99999..99999, mtl id 0..15, obj id 0..65535, name up to 255 characters.\n"
    "--preset takes the kernel, divisor, offset and invert (and, without --name, the name) from the\n"
    "preset NAME of the library FILE, as picking it in the control dialog does. presets prints the\n"
    "library's names in the dialog's list order; find prints one record as the library holds it and\n"
    "exits 1 when there is none of that exact name. add stores a preset as the control dialog's Save\n"
    "does, with its checks, its messages and its lock: a name the library holds is refused, and a save\n"
    "that fails leaves the library as it was. --from takes the kernel (and, without --name, the name)\n"
    "from a configuration block.\n";

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

// A failed write leaves an existing block as it was; a device or FIFO named as BLOCK is refused.
bool WriteBlock(const std::string& path, const FilterSettings& settings, std::string& error)
{
    AtomicFile file;
    if (!file.Open(path, error)) return false;
    file.Write(&settings, sizeof settings);  // a failed write makes Commit fail and say why
    return file.Commit(error);
}

int Block(const std::vector<std::string>& args)
{
    FilterSettings settings = DefaultFilterSettings();
    BlockOptions options;
    std::string error;
    if (!ParseBlockOptions(args, settings, options, error)) return Fail(error);
    if (!options.presetName.empty()) {
        for (const char* clash : {"--divisor", "--offset", "--invert"})
            if (std::find(args.begin(), args.end(), clash) != args.end())
                return Fail(std::string("give either --preset or ") + clash + ", not both");
        KernelRecord found = settings.kernel;
        if (!FindPreset(options.libraryPath.c_str(), options.presetName.c_str(), &found))
            return Fail("no preset named \"" + options.presetName + "\" in " + options.libraryPath);
        settings.kernel = found;
        settings.kernel.size = KernelSizeOf(settings.kernel.weights);  // as the dialog shows it
        if (!settings.presetName[0] && options.presetName.size() < sizeof settings.presetName)
            std::memcpy(settings.presetName, options.presetName.c_str(), options.presetName.size() + 1);
    }
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

// The library FILE of "--library FILE", and the other arguments; false when it is missing.
bool TakeLibrary(const std::vector<std::string>& args, std::string& library, std::vector<std::string>& rest)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--library" && i + 1 < args.size() && library.empty()) library = args[++i];
        else rest.push_back(args[i]);
    }
    return !library.empty();
}

int Presets(const std::vector<std::string>& args)
{
    std::string library;
    std::vector<std::string> rest;
    if (!TakeLibrary(args, library, rest) || !rest.empty()) return Fail("presets takes --library FILE and nothing else");
    std::vector<std::string> names;
    if (!ListPresetNames(library.c_str(), names)) return 1;  // the reader has said why
    for (const std::string& name : names) std::printf("%s\n", name.c_str());
    return 0;
}

int Find(const std::vector<std::string>& args)
{
    std::string library;
    std::vector<std::string> rest;
    if (!TakeLibrary(args, library, rest) || rest.size() != 1) return Fail("find takes --library FILE and one NAME");
    // Tells a missing library (the reader says so) from a missing name.
    if (FILE* file = OpenPresetLibrary(library.c_str())) std::fclose(file);
    else return 1;
    KernelRecord record = DefaultKernelRecord();
    if (!FindPreset(library.c_str(), rest[0].c_str(), &record))
        return Fail("no preset named \"" + rest[0] + "\" in " + library);
    char text[kPresetTextChars];
    if (FormatPreset(text, sizeof text, rest[0].c_str(), record, "\n") < 0) return Fail("the record does not fit");
    std::fputs(text, stdout);
    return 0;
}

// add: the control dialog's Save from the command line. The kernel comes from the options, as
// "block" reads them, or from a stored block; the size follows the weights, as in the dialog.
int Add(const std::vector<std::string>& args)
{
    std::string library;
    std::vector<std::string> rest;
    if (!TakeLibrary(args, library, rest)) return Fail("add needs --library FILE");
    KernelRecord kernel = DefaultKernelRecord();
    std::string name, from, error;
    bool nameGiven = false, kernelOptions = false;
    for (size_t i = 0; i < rest.size(); ++i) {
        const std::string& a = rest[i];
        if (a == "--invert") {
            kernel.invert = 1;
            kernelOptions = true;
            continue;
        }
        if (i + 1 >= rest.size()) return Fail("missing value after " + a);
        const std::string& v = rest[++i];
        bool ok = true;
        if (a == "--name") {
            name = v;
            nameGiven = true;
        } else if (a == "--from") {
            from = v;
        } else if (a == "--kernel") {
            ok = ParseKernel(v, kernel, error);
            kernelOptions = true;
        } else if (a == "--divisor") {
            ok = ParseBoundedInt(v, "divisor", -kSpinnerLimit, kSpinnerLimit, kernel.divisor, error);
            kernelOptions = true;
        } else if (a == "--offset") {
            ok = ParseBoundedInt(v, "offset", -kSpinnerLimit, kSpinnerLimit, kernel.offset, error);
            kernelOptions = true;
        } else {
            return Fail("add takes --library, --name, --from, --kernel, --divisor, --offset, --invert; not " + a);
        }
        if (!ok) return Fail(error);
    }
    if (!from.empty()) {
        if (kernelOptions) return Fail("give either --from or --kernel, --divisor, --offset, --invert, not both");
        std::vector<unsigned char> bytes;
        if (!ReadWholeFile(from, bytes, 1 << 16, error)) return Fail(error);
        FilterSettings settings;
        if (!CheckBlock(bytes, settings, error)) return Fail(from + ": " + error);
        kernel = settings.kernel;
        if (!nameGiven) name.assign(settings.presetName, strnlen(settings.presetName, sizeof settings.presetName));
    } else if (!nameGiven) {
        return Fail("add needs --name NAME (or --from BLOCK)");
    }
    if (name.size() >= kNameChars || name.find_first_of("\r\n") != std::string::npos)
        return Fail("name must be one line of at most 255 characters");
    kernel.size = KernelSizeOf(kernel.weights);  // as the dialog reads its grid
    // The dialog's own Save: it says why when it refuses or fails.
    return SavePreset(library.c_str(), name.c_str(), &kernel) ? 0 : 1;
}

int Run(const std::vector<std::string>& args)
{
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "block") return Block(rest);
    if (args[0] == "show") return Show(rest);
    if (args[0] == "presets") return Presets(rest);
    if (args[0] == "find") return Find(rest);
    if (args[0] == "add") return Add(rest);
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::fprintf(stderr, "kcftool: unknown command '%s'\n%s", args[0].c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    // The preset reader tells its user through ShowMessage; here the user reads standard error.
    SetMessageSink([](const char* text, const char*, void*) { std::fprintf(stderr, "kcftool: %s\n", text); }, nullptr);
    // For the tests: a disk fault in the next save ("fail:N", "short:N", "kill:N"; PresetFile.h).
    const char* fault = std::getenv("KCFTOOL_LIBRARY_FAULT");
    if (fault && *fault) {
        LibraryFault kind;
        int step;
        if (!ParseLibraryFault(fault, kind, step)) return Fail("KCFTOOL_LIBRARY_FAULT is not fail:N, short:N or kill:N");
        InjectLibraryFault(kind, step);
    }
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    }
}
