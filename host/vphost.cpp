// vphost: a stand-in Video Post host that loads an image-filter module through its exports and
// runs it over image files, the way the host runs a filter event on each frame.
#include "AtomicFile.h"
#include "HostCore.h"
#include "HostPlatform.h"
#include "HostWindow.h"
#include "ImageIO.h"
#include "MemoryBitmap.h"
#include "ProgressWindow.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: vphost render --filter MODULE --in IN --out OUT [--config BLOCK] [--mtl-ids IDS8]\n"
    "                     [--obj-ids IDS16] [--abort-at-row N] [--plugcfg DIR]\n"
    "       vphost info --filter MODULE [--plugcfg DIR]\n"
    "       vphost configure --filter MODULE [--config BLOCK] [--plugcfg DIR]   (Windows)\n"
    "       vphost about --filter MODULE   (Windows)\n"
    "IN: PNG or PAM, 8 or 16 bits, gray, gray+alpha, RGB or RGBA. OUT: 16-bit RGBA (PNG, or PAM for *.pam).\n"
    "IDS8 / IDS16: 8-bit / 16-bit gray images of IN's size: the material effects / object channel.\n"
    "configure opens the filter's control dialog on BLOCK (the defaults when BLOCK does not exist) and\n"
    "writes BLOCK when the dialog closes with OK. The preset library is DIR's ZAV_KCF.SET.\n";

struct Options {
    std::string command, filter, in, out, config, mtlIds, objIds, plugCfg;
    int abortAtRow = -1;
};

int Fail(const std::string& message)
{
    std::fprintf(stderr, "vphost: %s\n", message.c_str());
    return 1;
}

bool ParseRow(const std::string& text, int& row)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || value < 0 || value > 65535) return false;
    row = static_cast<int>(value);
    return true;
}

// Returns false (and says why) on a malformed command line.
bool ParseOptions(const std::vector<std::string>& args, Options& o, std::string& error)
{
    if (args.empty()) {
        error = "no command";
        return false;
    }
    o.command = args[0];
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (i + 1 >= args.size()) {
            error = "missing value after " + a;
            return false;
        }
        const std::string& v = args[++i];
        if (a == "--filter") o.filter = v;
        else if (a == "--in") o.in = v;
        else if (a == "--out") o.out = v;
        else if (a == "--config") o.config = v;
        else if (a == "--mtl-ids") o.mtlIds = v;
        else if (a == "--obj-ids") o.objIds = v;
        else if (a == "--plugcfg") o.plugCfg = v;
        else if (a == "--abort-at-row") {
            if (!ParseRow(v, o.abortAtRow)) {
                error = "--abort-at-row takes a row number 0..65535, not '" + v + "'";
                return false;
            }
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    if (o.filter.empty()) {
        error = "--filter MODULE is required";
        return false;
    }
    if (o.command == "render" && (o.in.empty() || o.out.empty())) {
        error = "render needs --in IN and --out OUT";
        return false;
    }
    return true;
}

bool ReadBlockFile(const std::string& path, std::vector<unsigned char>& block, std::string& error)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        error = path + ": cannot open the configuration block";
        return false;
    }
    unsigned char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        block.insert(block.end(), buffer, buffer + n);
        if (block.size() > (1u << 20)) break;
    }
    return true;
}

void UsePlugCfg(const Options& o)
{
    SetHostPlugCfgDir(o.plugCfg.empty() ? DefaultPlugCfgDir() : o.plugCfg);
}

// Loads the module and creates a filter object, as the host does for a filter event.
std::unique_ptr<ImageFilter> OpenFilter(const Options& o, FilterModule& module, std::string& error)
{
    if (!LoadFilterModule(o.filter, module, error)) return nullptr;
    return std::unique_ptr<ImageFilter>(CreateFilter(module, error));
}

// Hands a stored configuration block to the filter, refusing one of another size or not its own.
bool LoadBlock(ImageFilter& filter, const std::string& path, const std::vector<unsigned char>& block,
               std::string& error)
{
    const DWORD expected = filter.EvaluateConfigure();
    if (block.size() != expected) {
        error = path + ": the configuration block is " + std::to_string(block.size()) + " bytes; the filter expects " +
                std::to_string(expected);
        return false;
    }
    if (!filter.LoadConfigure(const_cast<unsigned char*>(block.data()))) {
        error = path + ": the filter refused the configuration block (not one of its own)";
        return false;
    }
    return true;
}

int Info(const Options& o)
{
    UsePlugCfg(o);
    FilterModule module;
    std::string error;
    if (!LoadFilterModule(o.filter, module, error)) return Fail(error);
    ClassDesc* desc = module.filterClass;
    const Class_ID id = desc->ClassID();
    std::printf("module:       %s\n", o.filter.c_str());
    std::printf("description:  %s\n", module.libDescription());
    std::printf("version:      0x%08lX\n", static_cast<unsigned long>(module.libVersion()));
    std::printf("classes:      %d\n", module.libNumberClasses());
    std::printf("class name:   %s\n", desc->ClassName());
    std::printf("category:     %s\n", desc->Category());
    std::printf("class id:     (0x%08lX, 0x%08lX)\n", static_cast<unsigned long>(id.PartA()),
                static_cast<unsigned long>(id.PartB()));
    std::printf("super-class:  0x%08lX\n", static_cast<unsigned long>(desc->SuperClassID()));
    std::printf("plug-in cfg:  %s\n", HostPlugCfgDir().c_str());
    return 0;
}

int Render(const Options& o)
{
    std::string error;
    // Refused before the work of rendering: OUT as a folder, a device or a FIFO.
    if (!AtomicFile::CanReplace(o.out, error)) return Fail(error);
    UsePlugCfg(o);
    if (!MakeDirectories(HostPlugCfgDir())) return Fail("cannot create the plug-in configuration folder " + HostPlugCfgDir());

    FilterModule module;
    if (!LoadFilterModule(o.filter, module, error)) return Fail(error);

    Image frame;
    if (!ReadImage(o.in, frame, error)) return Fail(error);
    IdImage mtl, obj;
    const bool haveMtl = !o.mtlIds.empty(), haveObj = !o.objIds.empty();
    if (haveMtl && !ReadIdImage(o.mtlIds, 8, mtl, error)) return Fail(error);
    if (haveObj && !ReadIdImage(o.objIds, 16, obj, error)) return Fail(error);
    for (const IdImage* ids : {haveMtl ? &mtl : nullptr, haveObj ? &obj : nullptr}) {
        if (ids && (ids->width != frame.width || ids->height != frame.height))
            return Fail((ids == &mtl ? o.mtlIds : o.objIds) + ": the id image is " + std::to_string(ids->width) + "x" +
                        std::to_string(ids->height) + ", the frame " + std::to_string(frame.width) + "x" +
                        std::to_string(frame.height));
    }
    std::vector<unsigned char> block;
    if (!o.config.empty() && !ReadBlockFile(o.config, block, error)) return Fail(error);

    std::unique_ptr<ImageFilter> filter(CreateFilter(module, error));
    if (!filter) return Fail(error);
    if (!o.config.empty() && !LoadBlock(*filter, o.config, block, error)) return Fail(error);

    MemoryStorage storage(std::move(frame));
    const DWORD channels = filter->ChannelsRequired();
    if (channels & GB_CHAN_MTL_EFFECTS) {
        if (haveMtl) storage.SetMaterialChannel(std::vector<uint8_t>(mtl.values.begin(), mtl.values.end()));
        else std::fprintf(stderr, "vphost: note: the filter asks for the material effects channel; without --mtl-ids the frame has none\n");
    }
    if (channels & GB_CHAN_OBJECT) {
        if (haveObj) storage.SetObjectChannel(std::move(obj.values));
        else std::fprintf(stderr, "vphost: note: the filter asks for the object channel; without --obj-ids the frame has none\n");
    }
    Bitmap bitmap(&storage);
    filter->SetSource(&bitmap);

    ProgressWindow progress;
    progress.abortAtRow = o.abortAtRow;
    progress.showBar = IsTerminal(stderr);
    if (!filter->Render(progress.Handle())) return Fail("the filter's Render failed; no output written");
    filter->SetSource(nullptr);

    if (!WriteImage(o.out, storage.image(), error)) return Fail(error);
    return 0;
}

// A failed write leaves the old block whole.
bool WriteBlockFile(const std::string& path, const std::vector<unsigned char>& block, std::string& error)
{
    AtomicFile file;
    if (!file.Open(path, error)) return false;
    file.Write(block.data(), block.size());  // a failed write makes Commit fail and say why
    return file.Commit(error);
}

bool FileExists(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file) std::fclose(file);
    return file != nullptr;
}

int Configure(const Options& o)
{
    if (!HostWindow::Available()) return Fail("configure shows the filter's control dialog, which only the Windows build has");
    UsePlugCfg(o);
    if (!MakeDirectories(HostPlugCfgDir())) return Fail("cannot create the plug-in configuration folder " + HostPlugCfgDir());
    FilterModule module;
    std::string error;
    std::unique_ptr<ImageFilter> filter = OpenFilter(o, module, error);
    if (!filter) return Fail(error);

    if (!o.config.empty() && FileExists(o.config)) {
        std::vector<unsigned char> block;
        if (!ReadBlockFile(o.config, block, error) || !LoadBlock(*filter, o.config, block, error)) return Fail(error);
    } else if (!o.config.empty()) {
        std::fprintf(stderr, "vphost: note: %s does not exist yet; the dialog starts from the filter's defaults\n",
                     o.config.c_str());
    }

    HostWindow host("Video Post - vphost");
    if (!filter->ShowControl(host.Handle())) {
        std::printf("configure: cancelled%s\n", o.config.empty() ? "" : ("; " + o.config + " left as it was").c_str());
        return 0;
    }
    if (o.config.empty()) {
        std::printf("configure: OK\n");
        return 0;
    }
    std::vector<unsigned char> block(filter->EvaluateConfigure());
    if (!filter->SaveConfigure(block.data())) return Fail("the filter did not hand over its configuration block");
    if (!WriteBlockFile(o.config, block, error)) return Fail(error);
    std::printf("configure: OK; wrote %s\n", o.config.c_str());
    return 0;
}

int About(const Options& o)
{
    if (!HostWindow::Available()) return Fail("about shows the filter's About box, which only the Windows build has");
    UsePlugCfg(o);
    FilterModule module;
    std::string error;
    std::unique_ptr<ImageFilter> filter = OpenFilter(o, module, error);
    if (!filter) return Fail(error);
    HostWindow host("Video Post - vphost");
    filter->ShowAbout(host.Handle());
    return 0;
}

int Run(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    Options options;
    std::string error;
    if (!ParseOptions(args, options, error)) {
        std::fprintf(stderr, "vphost: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.command == "render") return Render(options);
    if (options.command == "info") return Info(options);
    if (options.command == "configure") return Configure(options);
    if (options.command == "about") return About(options);
    std::fprintf(stderr, "vphost: unknown command '%s'\n%s", options.command.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    // Whatever could not be allocated, the user reads one line and no output is left behind.
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        return Fail("out of memory; nothing written");
    }
}
