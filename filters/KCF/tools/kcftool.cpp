// kcftool: the Kernelcraft Filter's settings as files, for users without the dialog and for scripts.
#include "AtomicFile.h"
#include "Messages.h"
#include "Platform.h"
#include "PresetFile.h"
#include "PresetLibrary.h"
#include "SettingsText.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: kcftool block --out BLOCK [--kernel \"ROW; ROW; ...\"] [--divisor N | --normalize] [--offset N|P%]\n"
    "                     [--invert] [--source whole|mtl|obj] [--mtl-id N] [--obj-id N] [--name TEXT]\n"
    "                     [--preset NAME --library FILE]\n"
    "       kcftool show [--as-args] BLOCK\n"
    "       kcftool presets --library FILE\n"
    "       kcftool find --library FILE NAME\n"
    "       kcftool add --library FILE --name NAME [--kernel \"ROW; ...\"] [--divisor N | --normalize]\n"
    "                   [--offset N|P%] [--invert]\n"
    "       kcftool add --library FILE --from BLOCK [--name NAME]\n"
    "A kernel is 3, 5, 7 or 9 rows of as many integers, rows separated by ';'. Ranges: divisor and\n"
    "offset -99999..99999, mtl id 0..15, obj id 0..65535, name up to 255 characters. The offset is on\n"
    "the 16-bit scale; P% is a percentage of it (50% is 32768, mid grey). --normalize makes the divisor\n"
    "the sum of the weights (1 when they sum to 0), so that flat areas keep their brightness.\n"
    "--preset takes the kernel, divisor, offset and invert (and, without --name, the name) from the\n"
    "preset NAME of the library FILE, as picking it in the control dialog does. show --as-args prints\n"
    "the block as block options to paste back. presets prints the library's names sorted without\n"
    "regard to ASCII case; find prints one record as the library holds it. add stores a preset as the\n"
    "control dialog's Save does, with its checks, its messages and its lock: a name the library holds\n"
    "is refused, and a save that fails leaves the library as it was. --from takes the kernel (and,\n"
    "without --name, the name) from a configuration block.\n"
    "Exit status: 0 done; 1 failed (a file, a name that is not there: the message says which);\n"
    "2 a command line that cannot be carried out as written.\n";

// A failure: a file that cannot be read or written, a name that is not there. Exit status 1.
int Fail(const std::string& message)
{
    std::fprintf(stderr, "kcftool: %s\n", message.c_str());
    return 1;
}

// A command line that cannot be carried out as written. Exit status 2.
int Usage(const std::string& message)
{
    std::fprintf(stderr, "kcftool: %s\n(kcftool --help lists the commands and their options)\n", message.c_str());
    return 2;
}

// Reads a stored configuration block, naming the file's real size when it is not one.
bool ReadBlockFile(const std::string& path, FilterSettings& settings, std::string& error)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        error = path + ": cannot open";
        return false;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = path + ": not a file";
        return false;
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size != sizeof(FilterSettings)) {
        error = path + ": a configuration block is " + std::to_string(sizeof(FilterSettings)) + " bytes; this one is " +
                std::to_string(size);
        return false;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    std::vector<unsigned char> bytes(sizeof(FilterSettings) + 1);
    const size_t read = file ? std::fread(bytes.data(), 1, bytes.size(), file.get()) : 0;
    if (!file) {
        error = path + ": cannot open";
        return false;
    }
    bytes.resize(read);
    if (!CheckBlock(bytes, settings, error)) {
        error = path + ": " + error;
        return false;
    }
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
    if (!ParseBlockOptions(args, settings, options, error)) return Usage(error);
    switch (ResolveBlockOptions(args, options, settings, error)) {
    case Resolved::Done: break;
    case Resolved::Usage: return Usage(error);
    case Resolved::Failed: return error.empty() ? 1 : Fail(error);
    }
    if (!WriteBlock(options.outPath, settings, error)) return Fail(error);
    return 0;
}

int Show(const std::vector<std::string>& args)
{
    const bool asArgs = !args.empty() && args[0] == "--as-args";
    if (args.size() != (asArgs ? 2u : 1u)) return Usage("show takes [--as-args] and one BLOCK file");
    FilterSettings settings;
    std::string error;
    if (!ReadBlockFile(args.back(), settings, error)) return Fail(error);
    if (!asArgs) {
        std::fputs(DescribeSettings(settings).c_str(), stdout);
        return 0;
    }
    std::vector<std::string> notes;
    const CommandLineStyle style = kWindowsCommandLine ? CommandLineStyle::Windows : CommandLineStyle::Posix;
    std::printf("%s\n", SettingsAsArgs(settings, style, notes).c_str());
    for (const std::string& note : notes) std::fprintf(stderr, "kcftool: note: %s\n", note.c_str());
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
    if (!TakeLibrary(args, library, rest) || !rest.empty()) return Usage("presets takes --library FILE and nothing else");
    std::vector<std::string> names;
    if (!ListPresetNames(library.c_str(), names)) return 1;  // the reader has said why
    for (const std::string& name : names) std::printf("%s\n", name.c_str());
    return 0;
}

int Find(const std::vector<std::string>& args)
{
    std::string library;
    std::vector<std::string> rest;
    if (!TakeLibrary(args, library, rest) || rest.size() != 1) return Usage("find takes --library FILE and one NAME");
    // Tells a missing library (the reader says so) from a missing name.
    if (FILE* file = OpenPresetLibrary(library.c_str())) std::fclose(file);
    else return 1;
    KernelRecord record = DefaultKernelRecord();
    if (!FindPreset(library.c_str(), rest[0].c_str(), &record)) {
        // The same words as block --preset: the nearest names.
        FilterSettings unused = DefaultFilterSettings();
        BlockOptions lookup;
        lookup.presetName = rest[0];
        lookup.libraryPath = library;
        std::string error;
        ResolveBlockOptions({}, lookup, unused, error);
        return Fail(error);
    }
    std::fputs(FormatPreset(rest[0].c_str(), record, "\n").c_str(), stdout);
    return 0;
}

// add: the control dialog's Save from the command line. The kernel comes from the options, as
// "block" reads them, or from a stored block; the size follows the weights, as in the dialog.
int Add(const std::vector<std::string>& args)
{
    std::string library;
    std::vector<std::string> rest;
    if (!TakeLibrary(args, library, rest)) return Usage("add needs --library FILE");
    KernelRecord kernel = DefaultKernelRecord();
    std::string name, from, error;
    bool nameGiven = false, kernelOptions = false, normalize = false, divisorGiven = false;
    for (size_t i = 0; i < rest.size(); ++i) {
        const std::string& a = rest[i];
        if (a == "--invert" || a == "--normalize") {
            if (a == "--invert") kernel.invert = 1;
            else normalize = true;
            kernelOptions = true;
            continue;
        }
        if (i + 1 >= rest.size()) return Usage("missing value after " + a);
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
            kernelOptions = divisorGiven = true;
        } else if (a == "--offset") {
            ok = ParseOffset(v, kernel.offset, error);
            kernelOptions = true;
        } else {
            return Usage("add takes --library, --name, --from, --kernel, --divisor, --normalize, --offset, --invert; not " + a);
        }
        if (!ok) return Usage(error);
    }
    if (normalize && divisorGiven) return Usage("give either --divisor or --normalize, not both");
    if (!from.empty()) {
        if (kernelOptions) return Usage("give either --from or --kernel, --divisor, --offset, --invert, not both");
        FilterSettings settings;
        if (!ReadBlockFile(from, settings, error)) return Fail(error);
        kernel = settings.kernel;
        if (!nameGiven) name.assign(settings.presetName, strnlen(settings.presetName, sizeof settings.presetName));
    } else if (!nameGiven) {
        return Usage("add needs --name NAME (or --from BLOCK)");
    }
    if (name.size() >= kNameChars || name.find_first_of("\r\n") != std::string::npos)
        return Usage("name must be one line of at most 255 characters");
    SetSizeFromWeights(kernel);  // as the dialog reads its grid
    if (normalize && !NormalizeDivisor(kernel, error)) return Fail(error);
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
