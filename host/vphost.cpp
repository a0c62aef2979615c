// vphost: a stand-in Video Post host that loads an image-filter module through its exports and
// runs it over image files, the way the host runs a filter event on each frame.
#include "AtomicFile.h"
#include "ConvolveEngine.h"
#include "FramePattern.h"
#include "HostCore.h"
#include "HostPlatform.h"
#include "HostWindow.h"
#include "ImageIO.h"
#include "MemoryBitmap.h"
#include "Messages.h"
#include "PresetLibrary.h"
#include "ProgressWindow.h"
#include "SettingsText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace {

// The most frames rendered at once (the most processes Windows waits for in one call).
constexpr int kMaxJobs = 64;

const char kVersion[] = "vphost " KCF_VERSION_TEXT;

const char kRenderUsage[] =
    "usage: vphost render --filter MODULE --in IN --out OUT [SETTINGS] [--mtl-ids IDS8] [--obj-ids IDS16]\n"
    "                     [--frames FIRST-LAST [--jobs N]] [--depth 8|16] [--compression 0-9] [--plugcfg DIR]\n"
    "SETTINGS: [--config BLOCK] [--preset NAME [--library FILE]] [--kernel \"ROW; ROW; ...\"] [--divisor N]\n"
    "          [--offset N] [--invert] [--source whole|mtl|obj] [--mtl-id N] [--obj-id N] [--name TEXT]\n"
    "The filter starts from its defaults, or from BLOCK; the other settings apply over it, as kcftool block\n"
    "reads them. --preset takes the kernel from the library FILE (default: ZAV_KCF.SET in DIR).\n"
    "IN: PNG, PAM, PGM or PPM, 8 or 16 bits. OUT by its name: *.png and *.pam RGBA, *.ppm RGB, *.pgm gray,\n"
    "at --depth bits (16 unless told). --compression: PNG's level (1, fast, unless told).\n"
    "IDS8 / IDS16: 8-bit / 16-bit gray images of IN's size: the material effects / object channel.\n"
    "--frames renders a sequence: IN, OUT (and IDS) are then patterns with one %d or %0Nd for the frame\n"
    "number (%% for a percent sign); N frames at a time (--jobs, default: one per processor).\n";
const char kInfoUsage[] = "usage: vphost info --filter MODULE [--plugcfg DIR]\n";
const char kConfigureUsage[] =
    "usage: vphost configure --filter MODULE [--config BLOCK] [--plugcfg DIR]   (Windows)\n"
    "Opens the filter's control dialog on BLOCK (the defaults when BLOCK does not exist) and writes BLOCK\n"
    "when the dialog closes with OK. The preset library is DIR's ZAV_KCF.SET.\n";
const char kAboutUsage[] = "usage: vphost about --filter MODULE   (Windows)\n";
const char kCommands[] = "commands: render, info, configure, about; vphost COMMAND --help tells more; vphost --version\n";

const char* CommandUsage(const std::string& command)
{
    return command == "render"      ? kRenderUsage
         : command == "info"        ? kInfoUsage
         : command == "configure"   ? kConfigureUsage
         : command == "about"       ? kAboutUsage
                                    : nullptr;
}

struct Options {
    std::string command, filter, in, out, config, mtlIds, objIds, plugCfg, frames;
    int abortAtRow = -1;
    int jobs = 0;  // 0: one per processor
    bool compressionGiven = false;
    WriteOptions write;
    // With --frames: the range and the file-name patterns, parsed with the other options.
    long firstFrame = 0, lastFrame = 0;
    FramePattern inPattern, outPattern, mtlPattern, objPattern;
    // The filter's settings as kcftool block takes them, in the order given.
    std::vector<std::string> settingArgs;
};

int Fail(const std::string& message)
{
    std::fprintf(stderr, "vphost: %s\n", message.c_str());
    return 1;
}

void Warn(const std::string& message) { std::fprintf(stderr, "vphost: warning: %s\n", message.c_str()); }

bool ParseNumber(const std::string& text, long min, long max, int& out)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || value < min || value > max) return false;
    out = static_cast<int>(value);
    return true;
}

// vphost's own options, each with a value; whatever else render is given is a setting.
bool IsHostOption(const std::string& a)
{
    static const char* const names[] = {"--filter", "--in",     "--out",  "--config", "--mtl-ids",     "--obj-ids",
                                        "--plugcfg", "--frames", "--jobs", "--depth",  "--compression", "--abort-at-row"};
    for (const char* n : names)
        if (a == n) return true;
    return false;
}

// Returns false (and says why) on a malformed command line.
bool ParseOptions(const std::vector<std::string>& args, Options& o, std::string& error)
{
    o.command = args[0];
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!IsHostOption(a)) {
            // A setting, with its value when the next word is not an option; the settings parser
            // decides which of them take one.
            if (o.command != "render" || a.rfind("--", 0) != 0) {
                error = "unknown option " + a;
                return false;
            }
            o.settingArgs.push_back(a);
            if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) o.settingArgs.push_back(args[++i]);
            continue;
        }
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
        else if (a == "--frames") o.frames = v;
        else if (a == "--jobs") {
            if (!ParseNumber(v, 1, kMaxJobs, o.jobs)) {
                error = "--jobs takes a number of processes from 1 to " + std::to_string(kMaxJobs) + ", not '" + v + "'";
                return false;
            }
        } else if (a == "--depth") {
            if (v != "8" && v != "16") {
                error = "--depth takes 8 or 16, not '" + v + "'";
                return false;
            }
            o.write.depth = v == "8" ? 8 : 16;
        } else if (a == "--compression") {
            if (!ParseNumber(v, 0, 9, o.write.compression)) {
                error = "--compression takes a level from 0 to 9, not '" + v + "'";
                return false;
            }
            o.compressionGiven = true;
        } else if (a == "--abort-at-row") {
            if (!ParseNumber(v, 0, 65535, o.abortAtRow)) {
                error = "--abort-at-row takes a row number 0..65535, not '" + v + "'";
                return false;
            }
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
    if (o.jobs && o.frames.empty()) {
        error = "--jobs goes with --frames";
        return false;
    }
    if (!o.frames.empty() &&
        (!ParseFrameRange(o.frames, o.firstFrame, o.lastFrame, error) ||
         !ParseFramePattern(o.in, "--in", o.inPattern, error) || !ParseFramePattern(o.out, "--out", o.outPattern, error) ||
         !ParseFramePattern(o.mtlIds, "--mtl-ids", o.mtlPattern, error) ||
         !ParseFramePattern(o.objIds, "--obj-ids", o.objPattern, error)))
        return false;
    // The settings' words and values are checked here, on defaults; they apply to the filter's block later.
    if (!o.settingArgs.empty()) {
        std::vector<std::string> settings = o.settingArgs;
        if (std::find(settings.begin(), settings.end(), "--preset") != settings.end() &&
            std::find(settings.begin(), settings.end(), "--library") == settings.end())
            settings.insert(settings.end(), {"--library", "-"});
        FilterSettings ignored = DefaultFilterSettings();
        BlockOptions parsed;
        parsed.outRequired = false;
        if (!ParseBlockOptions(settings, ignored, parsed, error)) return false;
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

// The filter's settings as a Kernelcraft Filter block, when the filter keeps one.
bool FilterBlock(ImageFilter& filter, FilterSettings& settings)
{
    std::string ignored;
    std::vector<unsigned char> block(filter.EvaluateConfigure());
    return block.size() == sizeof settings && filter.SaveConfigure(block.data()) && CheckBlock(block, settings, ignored);
}

// Applies the settings of the command line over the filter's block: BLOCK first, then the options.
bool ApplySettings(ImageFilter& filter, const Options& o, std::string& error)
{
    FilterSettings settings;
    if (!FilterBlock(filter, settings)) {
        error = o.filter + " keeps no Kernelcraft Filter settings; " + o.settingArgs[0] + " cannot apply";
        return false;
    }
    std::vector<std::string> args = o.settingArgs;
    BlockOptions parsed;
    parsed.outRequired = false;  // the block goes to the filter, not to a file
    const bool preset = std::find(args.begin(), args.end(), "--preset") != args.end();
    if (preset && std::find(args.begin(), args.end(), "--library") == args.end())
        args.insert(args.end(), {"--library", JoinPath(HostPlugCfgDir(), "ZAV_KCF.SET")});
    if (!ParseBlockOptions(args, settings, parsed, error)) return false;
    if (ResolveBlockOptions(o.settingArgs, parsed, settings, error) != Resolved::Done) {
        if (error.empty()) error = "cannot read the preset library " + parsed.libraryPath;
        return false;
    }
    if (!filter.LoadConfigure(&settings)) {
        error = "the filter refused the settings";
        return false;
    }
    return true;
}

// Loads the module, makes the filter object and gives it its settings; everything render checks
// before any image is read.
std::unique_ptr<ImageFilter> PrepareFilter(const Options& o, FilterModule& module, std::string& error)
{
    std::unique_ptr<ImageFilter> filter = OpenFilter(o, module, error);
    if (!filter) return nullptr;
    if (!o.config.empty()) {
        std::vector<unsigned char> block;
        if (!ReadBlockFile(o.config, block, error) || !LoadBlock(*filter, o.config, block, error)) return nullptr;
    }
    if (!o.settingArgs.empty() && !ApplySettings(*filter, o, error)) return nullptr;
    return filter;
}

// The kernel's result where its weights are all zero, or -1 when they are not.
long ZeroKernelLevel(const KernelRecord& k)
{
    const PackedKernel packed = PackKernel(k);
    for (int i = 0; i < packed.size * packed.size; ++i)
        if (packed.weights[i] != 0) return -1;
    return FinishChannel(0, k.divisor, k.offset, k.invert);
}

void WarnOfAZeroKernel(const FilterSettings& s)
{
    const long level = ZeroKernelLevel(s.kernel);
    if (level == 0) Warn("the kernel's weights are all zero: the filtered pixels come out black");
    else if (level > 0)
        Warn("the kernel's weights are all zero: every filtered pixel comes out at the level " + std::to_string(level) +
             " of 65535");
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

// Says so when the chosen id is on no pixel of the id channel: the frame then comes out unchanged.
void WarnOfAnUnusedId(const std::string& path, const std::vector<uint16_t>& ids, int32_t id, const char* channel)
{
    if (std::find(ids.begin(), ids.end(), static_cast<uint16_t>(id)) == ids.end() || id < 0 || id > 65535)
        Warn(path + ": no pixel has the " + channel + " id " + std::to_string(id) + ": the frame comes out unchanged");
}

int RenderFrame(const Options& o)
{
    std::string error;
    // Refused before the work of rendering: OUT as a folder, a device or a FIFO, or of a format
    // the build cannot write.
    if (!AtomicFile::CanReplace(o.out, error) || !CanWriteImage(o.out, error)) return Fail(error);
    UsePlugCfg(o);
    if (!MakeDirectories(HostPlugCfgDir())) return Fail("cannot create the plug-in configuration folder " + HostPlugCfgDir());

    FilterModule module;
    std::unique_ptr<ImageFilter> filter = PrepareFilter(o, module, error);
    if (!filter) return Fail(error);
    FilterSettings settings;
    const bool ours = FilterBlock(*filter, settings);
    if (ours) WarnOfAZeroKernel(settings);

    if (o.compressionGiven && !PngTakesCompressionLevel())
        std::fprintf(stderr, "vphost: note: this build's PNG encoder (the system's) chooses its own compression; --compression is not used\n");

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

    MemoryStorage storage(std::move(frame));
    const DWORD channels = filter->ChannelsRequired();
    if (channels & GB_CHAN_MTL_EFFECTS) {
        if (haveMtl) {
            if (ours) WarnOfAnUnusedId(o.mtlIds, mtl.values, settings.materialId, "material effects");
            storage.SetMaterialChannel(std::vector<uint8_t>(mtl.values.begin(), mtl.values.end()));
        } else {
            std::fprintf(stderr, "vphost: note: the filter asks for the material effects channel; without --mtl-ids the frame has none\n");
        }
    }
    if (channels & GB_CHAN_OBJECT) {
        if (haveObj) {
            if (ours) WarnOfAnUnusedId(o.objIds, obj.values, settings.objectId, "object");
            storage.SetObjectChannel(std::move(obj.values));
        } else {
            std::fprintf(stderr, "vphost: note: the filter asks for the object channel; without --obj-ids the frame has none\n");
        }
    }
    Bitmap bitmap(&storage);
    filter->SetSource(&bitmap);

    ProgressWindow progress;
    progress.abortAtRow = o.abortAtRow;
    progress.showBar = IsTerminal(stderr);
    if (!filter->Render(progress.Handle())) return Fail("the filter's Render failed; no output written");
    filter->SetSource(nullptr);

    if (!WriteImage(o.out, storage.image(), o.write, error)) return Fail(error);
    return 0;
}

// The sequence's progress on standard error: a bar redrawn in place on a terminal, otherwise one
// line for each frame as it ends.
class SequenceProgress {
public:
    SequenceProgress(long total, bool bar) : total_(total), bar_(bar) { Draw(); }
    ~SequenceProgress()
    {
        if (bar_) std::fputc('\n', stderr);
    }
    void Line(const std::string& text)
    {
        Clear();
        std::fprintf(stderr, "vphost: %s\n", text.c_str());
        Draw();
    }
    void FrameEnded(long frame, const std::string& out, bool ok, const std::string& why)
    {
        ++ended_;
        failed_ += ok ? 0 : 1;
        const std::string count = " (" + std::to_string(ended_) + " of " + std::to_string(total_) + ")";
        if (!ok) Line("frame " + std::to_string(frame) + " failed: " + why);
        else if (!bar_) Line("frame " + std::to_string(frame) + " written: " + out + count);
        else Draw();
    }
    long failed() const { return failed_; }

private:
    void Clear()
    {
        if (bar_ && shown_) std::fprintf(stderr, "\r%*s\r", static_cast<int>(shown_), "");
        shown_ = 0;
    }
    void Draw()
    {
        if (!bar_) return;
        const int width = 30, filled = static_cast<int>(ended_ * width / total_);
        const std::string text = "vphost: [" + std::string(filled, '#') + std::string(width - filled, '.') + "] " +
                                 std::to_string(ended_) + "/" + std::to_string(total_) + " frames" +
                                 (failed_ ? ", " + std::to_string(failed_) + " failed" : "");
        std::fprintf(stderr, "\r%s", text.c_str());
        std::fflush(stderr);
        shown_ = text.size();
    }
    long total_, ended_ = 0, failed_ = 0;
    bool bar_;
    size_t shown_ = 0;
};

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return lines;
    std::string line;
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r' && line.size() < 4096) {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    std::fclose(file);
    return lines;
}

// Renders frames first..last, each by a process of this program, at most jobs at a time.
int RenderSequence(const Options& o)
{
    std::string error;
    const long first = o.firstFrame, last = o.lastFrame;
    const FramePattern &in = o.inPattern, &out = o.outPattern, &mtl = o.mtlPattern, &obj = o.objPattern;
    if (!in.hasField || !out.hasField)
        return Fail("with --frames, --in and --out are patterns with the frame number as %d or %0Nd");
    if (!CanWriteImage(FrameFileName(out, first), error)) return Fail(error);
    UsePlugCfg(o);
    if (!MakeDirectories(HostPlugCfgDir())) return Fail("cannot create the plug-in configuration folder " + HostPlugCfgDir());
    {
        // Whatever would fail every frame fails once, here.
        FilterModule module;
        if (!PrepareFilter(o, module, error)) return Fail(error);
    }
    const std::string program = OwnProgramPath();
    if (program.empty()) return Fail("cannot tell where this program is, to start it for each frame");

    const long total = last - first + 1;
    const long jobs = std::min<long>(total, o.jobs ? o.jobs : std::min<unsigned>(ProcessorCount(), kMaxJobs));
    SequenceProgress progress(total, IsTerminal(stderr));
    struct Running {
        long frame;
        std::string errorFile;
    };
    std::map<ProcessId, Running> running;
    std::vector<ProcessId> ids;
    std::set<std::string> said;  // lines the frames wrote that were passed on once already
    long next = first;
    while (next <= last || !running.empty()) {
        while (next <= last && static_cast<long>(running.size()) < jobs) {
            const long frame = next++;
            std::vector<std::string> args = {program, "render", "--filter", o.filter, "--in", FrameFileName(in, frame),
                                             "--out", FrameFileName(out, frame), "--plugcfg", HostPlugCfgDir(),
                                             "--depth", std::to_string(o.write.depth)};
            if (!o.config.empty()) args.insert(args.end(), {"--config", o.config});
            if (!o.mtlIds.empty()) args.insert(args.end(), {"--mtl-ids", FrameFileName(mtl, frame)});
            if (!o.objIds.empty()) args.insert(args.end(), {"--obj-ids", FrameFileName(obj, frame)});
            if (o.compressionGiven) args.insert(args.end(), {"--compression", std::to_string(o.write.compression)});
            if (o.abortAtRow >= 0) args.insert(args.end(), {"--abort-at-row", std::to_string(o.abortAtRow)});
            args.insert(args.end(), o.settingArgs.begin(), o.settingArgs.end());
            std::string errorFile;
            ProcessId id = 0;
            if (!MakeTemporaryFile(errorFile)) {
                progress.FrameEnded(frame, "", false, "cannot make a temporary file for its messages");
                continue;
            }
            if (!StartProcess(program, args, errorFile, id, error)) {
                std::remove(errorFile.c_str());
                progress.FrameEnded(frame, "", false, error);
                continue;
            }
            running[id] = {frame, errorFile};
            ids.push_back(id);
        }
        if (running.empty()) continue;
        ProcessId ended = 0;
        int status = 0;
        if (!WaitForAnyProcess(ids, ended, status)) return Fail("waiting for the frames' processes failed");
        const Running done = running[ended];
        running.erase(ended);
        const std::vector<std::string> lines = ReadLines(done.errorFile);
        std::remove(done.errorFile.c_str());
        std::string why;
        for (const std::string& line : lines) {
            const std::string text = line.rfind("vphost: ", 0) == 0 ? line.substr(8) : line;
            if (status != 0) {
                if (!text.empty()) why = text;  // the last line says why
            } else if (!text.empty() && said.insert(text).second) {
                progress.Line(text);
            }
        }
        if (status != 0 && why.empty()) why = "exit status " + std::to_string(status);
        progress.FrameEnded(done.frame, FrameFileName(out, done.frame), status == 0, why);
    }
    if (progress.failed()) {
        progress.Line(std::to_string(progress.failed()) + " of " + std::to_string(total) + " frames failed");
        return 1;
    }
    return 0;
}

int Render(const Options& o)
{
    if (!o.frames.empty()) return RenderSequence(o);
    return RenderFrame(o);
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
        std::FILE* to = args.empty() ? stderr : stdout;
        for (const char* usage : {kRenderUsage, kInfoUsage, kConfigureUsage, kAboutUsage}) std::fputs(usage, to);
        std::fputs(kCommands, to);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
        std::printf("%s\n", kVersion);
        return 0;
    }
    const char* usage = CommandUsage(args[0]);
    if (!usage) {
        std::fprintf(stderr, "vphost: unknown command '%s'\n%s", args[0].c_str(), kCommands);
        return 2;
    }
    if (std::find(args.begin() + 1, args.end(), "--help") != args.end() ||
        std::find(args.begin() + 1, args.end(), "-h") != args.end()) {
        std::fputs(usage, stdout);
        return 0;
    }
    Options options;
    std::string error;
    if (!ParseOptions(args, options, error)) {
        std::fprintf(stderr, "vphost: %s (vphost %s --help tells more)\n", error.c_str(), args[0].c_str());
        return 2;
    }
    if (options.command == "render") return Render(options);
    if (options.command == "info") return Info(options);
    if (options.command == "configure") return Configure(options);
    return About(options);
}

}  // namespace

int main(int argc, char** argv)
{
    // Whatever could not be allocated, the user reads one line and no output is left behind.
    // The preset reader tells its user through ShowMessage; here the user reads standard error.
    SetMessageSink([](const char* text, const char*, void*) { std::fprintf(stderr, "vphost: %s\n", text); }, nullptr);
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        return Fail("out of memory; nothing written");
    }
}
