// The conformance host: loads a filter module and walks the host's whole road in the platform's C++ ABI.
//
// It is built by clang for i686-pc-windows-msvc, with no C library, and declares the host's
// classes in their plain form (HostAbi.h), so that every table slot, calling convention and
// result passing is the platform compiler's, not the module's compiler's. Each check prints one
// line; the last line counts the failures, and the exit code is 0 only when none failed.
//
//   msabi_host.exe MODULE [CONTROLS] [--windows MAJOR.MINOR]
//
// CONTROLS is a library that exports the custom controls as the host's core library does
// (ProbeGetICustEdit and the like); their interfaces are then called in the same ABI.
// --windows: the system must report that version (GetVersion, GetVersionExA), or a check fails.
//
// The host keeps only 4-byte stack alignment, so the road is walked four times, with the stack at
// 0, 4, 8 and 12 modulo 16 where it starts (RunAtStackResidue), loading and freeing the module
// each time. The road's own frames are of fixed size, so each call into the module meets each of
// the four residues once; the calls made through ThiscallStackDelta record theirs, and a check
// at the end proves it for them.
#include "HostAbi.h"

extern "C" int __cdecl ThiscallStackDelta(const void* function, void* self, const unsigned* args, int count,
                                          unsigned* eax);
extern "C" void __cdecl RunAtStackResidue(void(__cdecl* road)(void*), void* context, unsigned residue);
extern "C" unsigned probeStackAtCall;  // ESP at ThiscallStackDelta's last call instruction

namespace {

constexpr unsigned kTag = 0x33A25539;
constexpr unsigned kFltProgress = 0x0400 + 0x20;
constexpr unsigned kFltCheckAbort = 0x0400 + 0x21;
HWND const kMessageOnlyParent = reinterpret_cast<HWND>(-3);

int checks = 0;
int failures = 0;
const char* stage = "start";

// --- Stack residues: where each run starts, and what each probed call met -----------------------

constexpr int kRuns = 4;
constexpr int kMaxProbedCalls = 128;
struct RunResidues {
    unsigned start;  // ESP modulo 16 at the road's call
    int calls;       // calls made through ThiscallStackDelta
    unsigned char atCall[kMaxProbedCalls];
};
RunResidues runs[kRuns];
int currentRun = -1;

// ThiscallStackDelta, with the residue of ESP at its call recorded for the current run.
int Probe(const void* function, void* self, const unsigned* args, int count, unsigned* eax)
{
    const int delta = ThiscallStackDelta(function, self, args, count, eax);
    RunResidues& run = runs[currentRun];
    if (run.calls < kMaxProbedCalls) run.atCall[run.calls] = static_cast<unsigned char>(probeStackAtCall & 15);
    ++run.calls;
    return delta;
}

void Report(bool ok, const char* what)
{
    ++checks;
    if (!ok) ++failures;
    rt::Print(ok ? "ok    " : "FAIL  ");
    rt::Print(stage);
    rt::Print(": ");
    rt::Print(what);
}

void Check(bool ok, const char* what)
{
    Report(ok, what);
    rt::Print("\n");
}

void CheckEq(long got, long want, const char* what)
{
    Report(got == want, what);
    if (got != want) {
        rt::Print(" (got ");
        rt::PrintInt(got);
        rt::Print(", want ");
        rt::PrintInt(want);
        rt::Print(")");
    }
    rt::Print("\n");
}

void CheckText(const char* got, const char* want, const char* what)
{
    const bool ok = got && rt::StrCmp(got, want) == 0;
    Report(ok, what);
    if (!ok) {
        rt::Print(" (got ");
        rt::PrintHex(reinterpret_cast<unsigned long>(got));
        rt::Print(")");
    }
    rt::Print("\n");
}

// A crash in the module is a failed check, reported as such, not a hang or a silent exit.
long __stdcall OnException(ExceptionPointers* info)
{
    if (info->record->code < 0xC0000000u) return 0;  // not an error: let its handler have it
    rt::Print("FAIL  ");
    rt::Print(stage);
    rt::Print(": exception ");
    rt::PrintHex(info->record->code);
    rt::Print(" at ");
    rt::PrintHex(reinterpret_cast<unsigned long>(info->record->address));
    if (currentRun >= 0) {
        rt::Print(" (stack at ");
        rt::PrintInt(static_cast<long>(runs[currentRun].start));
        rt::Print(" mod 16)");
    }
    rt::Print("\nconformance: FAILED (crashed)\n");
    ExitProcess(3);
    return 0;
}

// --- The host's objects that the module calls back ---------------------------------------------

class HostInterface : public Interface {
public:
    const char* GetDir(int which) override
    {
        ++calls;
        lastWhich = which;
        return which == 9 ? "C:\\kcf-conformance\\plugcfg" : "";
    }
    int calls = 0;
    int lastWhich = -1;
};

class HostFPInterface : public FPInterface {
public:
    Interface_ID GetID() override { return Interface_ID{0x4B434631, 0x00C0FFEE}; }
};

constexpr int kWidth = 9;
constexpr int kHeight = 7;
constexpr int kPixels = kWidth * kHeight;

class HostStorage : public BitmapStorage {
public:
    unsigned short Width() const override { return kWidth; }
    unsigned short Height() const override { return kHeight; }
    int GetPixels(int x, int y, int count, BMM_Color_64* dest) override
    {
        if (!InRange(x, y, count)) return 0;
        memcpy(dest, pixels + y * kWidth + x, count * sizeof(BMM_Color_64));
        return 1;
    }
    int PutPixels(int x, int y, int count, const BMM_Color_64* src) override
    {
        if (!InRange(x, y, count)) return 0;
        memcpy(pixels + y * kWidth + x, src, count * sizeof(BMM_Color_64));
        ++putCalls;
        return 1;
    }
    void* GetChannel(unsigned channelId, unsigned& channelType) override
    {
        if (channelId == 2 && material) return channelType = 1, material;
        if (channelId == 4 && object) return channelType = 2, object;
        return nullptr;
    }

    BMM_Color_64 pixels[kPixels];
    unsigned char* material = nullptr;
    unsigned short* object = nullptr;
    int putCalls = 0;

private:
    static bool InRange(int x, int y, int count)
    {
        return x >= 0 && y >= 0 && y < kHeight && count >= 0 && x + count <= kWidth;
    }
};

// --- The Video Post window: progress and check-abort ----------------------------------------

struct ProgressLog {
    int progress = 0;     // FLT_PROGRESS messages
    int checkAbort = 0;   // FLT_CHECKABORT messages
    int abortAtRow = -1;  // answer "abort" when asked on this row
    int lastRow = -1;
    long lastRowArg = -1;
    bool rowsInOrder = true;
};
ProgressLog* progressLog = nullptr;

LRESULT_T __stdcall ProgressProc(HWND window, unsigned msg, WPARAM_T wParam, LPARAM_T lParam)
{
    ProgressLog* log = progressLog;
    if (log && msg == kFltProgress) {
        if (static_cast<int>(wParam) != log->lastRow + 1) log->rowsInOrder = false;
        log->lastRow = static_cast<int>(wParam);
        log->lastRowArg = lParam;
        ++log->progress;
        return 0;
    }
    if (log && msg == kFltCheckAbort) {
        ++log->checkAbort;
        if (log->lastRow == log->abortAtRow) *reinterpret_cast<BOOL*>(lParam) = 1;
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

// --- The module's frees, counted through its import table -----------------------------------

typedef void(__cdecl* FreeProc)(void*);
FreeProc moduleFree = nullptr;
int freeCount = 0;
void* lastFreed = nullptr;

void __cdecl CountingFree(void* block)
{
    if (block) {
        ++freeCount;
        lastFreed = block;
    }
    moduleFree(block);
}

// Points the module's import of dll!name at replacement; answers the function it imported.
void* HookImport(HMODULE module, const char* dll, const char* name, void* replacement)
{
    auto* base = static_cast<unsigned char*>(module);
    auto at = [base](unsigned rva) { return base + rva; };
    const unsigned peHeader = *reinterpret_cast<unsigned*>(at(0x3C));
    // The optional header follows the 4-byte signature and the 20-byte file header; in it, the
    // import directory is the second data directory, 96 + 8 bytes in.
    const unsigned importRva = *reinterpret_cast<unsigned*>(at(peHeader + 24 + 104));
    if (!importRva) return nullptr;
    for (auto* desc = reinterpret_cast<unsigned*>(at(importRva)); desc[3]; desc += 5) {
        const char* dllName = reinterpret_cast<const char*>(at(desc[3]));
        bool same = true;
        for (int i = 0; same && (dll[i] || dllName[i]); ++i) {
            char a = dll[i], b = dllName[i];
            if (a >= 'A' && a <= 'Z') a += 32;
            if (b >= 'A' && b <= 'Z') b += 32;
            same = a == b;
        }
        if (!same) continue;
        auto* names = reinterpret_cast<unsigned*>(at(desc[0] ? desc[0] : desc[4]));
        auto* slots = reinterpret_cast<void**>(at(desc[4]));
        for (int i = 0; names[i]; ++i) {
            if (names[i] & 0x80000000u) continue;  // by ordinal
            if (rt::StrCmp(reinterpret_cast<const char*>(at(names[i] + 2)), name) != 0) continue;
            unsigned long old = 0;
            VirtualProtect(&slots[i], sizeof(void*), 0x04 /* PAGE_READWRITE */, &old);
            void* original = slots[i];
            slots[i] = replacement;
            VirtualProtect(&slots[i], sizeof(void*), old, &old);
            return original;
        }
    }
    return nullptr;
}

// --- Stack balance: each slot pops exactly its arguments --------------------------------------

void* Slot(void* object, int index) { return (*static_cast<void***>(object))[index]; }

struct SlotCall {
    int index;
    const char* name;
    int argCount;
    unsigned args[5];
};

void CheckStackBalance(void* object, const SlotCall* calls, int count)
{
    for (int i = 0; i < count; ++i) {
        unsigned eax = 0;
        const int delta = Probe(Slot(object, calls[i].index), object, calls[i].args, calls[i].argCount, &eax);
        CheckEq(delta, 0, calls[i].name);
    }
}

// --- The configuration block, as the host sees it: 153 words -------------------------------

enum BlockWord {
    kWordTag = 0,
    kWordSourceMode = 1,
    kWordObjectId = 2,
    kWordMaterialId = 3,
    kWordSize = 4,
    kWordWeights = 5,
    kWordDivisor = 86,
    kWordOffset = 87,
    kWordInvert = 88,
    kBlockWords = 153
};

// --- Expected pixels, from the filter's arithmetic ---------------------------------------

struct RenderCase {
    const char* name;
    int sourceMode;
    int id;
    int size;
    int kernel[81];  // size x size, row-major
    int divisor, offset, invert;
    int abortAtRow;  // -1: none
    bool hasMaterial, hasObject;
};

int Clamp16(int v) { return v < 0 ? 0 : v > 65535 ? 65535 : v; }

void Expected(const RenderCase& c, const BMM_Color_64* src, const unsigned char* material,
              const unsigned short* object, BMM_Color_64* out)
{
    memcpy(out, src, kPixels * sizeof(BMM_Color_64));
    const unsigned char* mtl = c.sourceMode == 1010 && c.hasMaterial ? material : nullptr;
    const unsigned short* obj = c.sourceMode == 1011 && c.hasObject ? object : nullptr;
    if ((c.sourceMode == 1010 && !mtl) || (c.sourceMode == 1011 && !obj) || c.sourceMode < 1009 || c.sourceMode > 1011)
        return;
    const int half = c.size / 2;
    const int rows = c.abortAtRow >= 0 ? c.abortAtRow : kHeight;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int at = y * kWidth + x;
            if (mtl && mtl[at] != c.id) continue;
            if (obj && obj[at] != c.id) continue;
            int sum[3] = {0, 0, 0};
            for (int dy = -half; dy <= half; ++dy)
                for (int dx = -half; dx <= half; ++dx) {
                    if (y + dy < 0 || y + dy >= kHeight || x + dx < 0 || x + dx >= kWidth) continue;
                    const int w = c.kernel[(dy + half) * c.size + dx + half];
                    const BMM_Color_64& p = src[(y + dy) * kWidth + x + dx];
                    sum[0] += w * p.r;
                    sum[1] += w * p.g;
                    sum[2] += w * p.b;
                }
            unsigned short* channel[3] = {&out[at].r, &out[at].g, &out[at].b};
            for (int k = 0; k < 3; ++k) {
                int v = c.divisor ? sum[k] / c.divisor : sum[k];
                v = Clamp16(v + c.offset);
                *channel[k] = static_cast<unsigned short>(c.invert == 1 ? 65535 - v : v);
            }
        }
}

const RenderCase kRenderCases[] = {
    {"whole frame, 3x3 unmirrored, divisor 2, offset 500", 1009, 0, 3, {1, 2, 0, 0, 3, 0, 0, 0, -1}, 2, 500, 0, -1, true, true},
    {"whole frame, 5x5, negative divisor, invert",
     1009, 0, 5, {1, 0, -2, 0, 1, 0, 3, 0, 0, 0, -1, 0, 4, 0, 2, 0, 0, 0, 1, 0, 2, 0, 0, 0, -3}, -3, 60000, 1, -1, true, true},
    {"material effects id 1, 3x3 row", 1010, 1, 3, {0, 0, 0, 1, 1, 1, 0, 0, 0}, 3, 0, 0, -1, true, true},
    {"object id 300, 9x9 corners, no division",
     1011, 300, 9, {1, 0, 0, 0, 0, 0, 0, 0, 2,
                    0, 0, 0, 0, 0, 0, 0, 0, 0,
                    0, 0, 0, 0, 0, 0, 0, 0, 0,
                    0, 0, 0, 0, 0, 0, 0, 0, 0,
                    0, 0, 0, 0, 1, 0, 0, 0, 0,
                    0, 0, 0, 0, 0, 0, 0, 0, 0,
                    0, 0, 0, 0, 0, 0, 0, 0, 0,
                    0, 0, 0, 0, 0, 0, 0, 0, 0,
                    -1, 0, 0, 0, 0, 0, 0, 0, 1},
     0, -20000, 0, -1, true, true},
    {"whole frame, aborted at row 3", 1009, 0, 3, {0, 1, 0, 1, 4, 1, 0, 1, 0}, 8, 0, 0, 3, true, true},
    {"material effects channel missing: frame unchanged", 1010, 1, 3, {0, 0, 0, 0, 2, 0, 0, 0, 0}, 1, 0, 0, -1, false, true},
};

// The filter's configuration block with one case's settings.
void MakeBlock(const unsigned* defaults, const RenderCase& c, unsigned* block)
{
    memcpy(block, defaults, kBlockWords * 4);
    block[kWordSourceMode] = static_cast<unsigned>(c.sourceMode);
    block[kWordObjectId] = c.sourceMode == 1011 ? static_cast<unsigned>(c.id) : 0;
    block[kWordMaterialId] = c.sourceMode == 1010 ? static_cast<unsigned>(c.id) : 0;
    block[kWordSize] = static_cast<unsigned>(c.size);
    for (int i = 0; i < 81; ++i) block[kWordWeights + i] = 0;
    const int first = (9 - c.size) / 2;
    for (int r = 0; r < c.size; ++r)
        for (int col = 0; col < c.size; ++col)
            block[kWordWeights + (first + r) * 9 + first + col] = static_cast<unsigned>(c.kernel[r * c.size + col]);
    block[kWordDivisor] = static_cast<unsigned>(c.divisor);
    block[kWordOffset] = static_cast<unsigned>(c.offset);
    block[kWordInvert] = static_cast<unsigned>(c.invert);
}

// --- The road ------------------------------------------------------------------------------

struct Host {
    HostInterface core;
    HostFPInterface fpInterface;
    HostStorage storage;
    ProgressLog log;
    HWND window = nullptr;
    unsigned defaults[kBlockWords];
    unsigned block[kBlockWords];
    BMM_Color_64 original[kPixels];
    BMM_Color_64 expected[kPixels];
    unsigned char material[kPixels];
    unsigned short object[kPixels];
};

Host* host = nullptr;

void CheckClassDesc(ClassDesc* desc)
{
    stage = "ClassDesc";
    // Read-only answers first, so that a module laid out otherwise fails before it can do harm.
    CheckText(desc->ClassName(), "Kernelcraft Filter", "ClassName");
    CheckText(desc->Category(), "Image Filter", "Category");
    CheckEq(static_cast<long>(desc->SuperClassID()), 0x0E00, "SuperClassID");
    CheckEq(desc->IsPublic(), 1, "IsPublic");
    const Class_ID id = desc->ClassID();
    Check(id.PartA() == 0x33A25539 && id.PartB() == 0x39933116, "ClassID by value is (0x33A25539, 0x39933116)");
    Check(desc->GetRsrcString(0) != nullptr, "GetRsrcString answers a text");
    CheckEq(desc->NumInterfaces(), 0, "NumInterfaces before any is added");
    desc->AddInterface(&host->fpInterface);
    CheckEq(desc->NumInterfaces(), 1, "AddInterface takes the host's interface (the module asks its GetID)");
    Check(desc->GetInterface(Interface_ID{0x4B434631, 0x00C0FFEE}) == &host->fpInterface,
          "GetInterface finds it by its ID, passed by value");
    Check(desc->GetInterface(Interface_ID{1, 2}) == nullptr, "GetInterface of another ID is null");

    // ClassID's hidden result pointer: passed on the stack, popped by the module, answered in EAX.
    Class_ID result;
    unsigned resultAddress = reinterpret_cast<unsigned>(&result);
    unsigned eax = 0;
    CheckEq(Probe(Slot(desc, 5), desc, &resultAddress, 1, &eax), 0,
            "ClassID slot pops its hidden result pointer");
    Check(eax == resultAddress && result.PartA() == 0x33A25539 && result.PartB() == 0x39933116,
          "ClassID slot fills the result and answers its address");

    const SlotCall calls[] = {
        {1, "IsPublic slot pops nothing", 0, {}},
        {3, "ClassName slot pops nothing", 0, {}},
        {4, "SuperClassID slot pops nothing", 0, {}},
        {6, "Category slot pops nothing", 0, {}},
        {7, "GetRsrcString slot pops its argument", 1, {0}},
        {8, "GetInterface slot pops its ID by value", 2, {1, 2}},
        {9, "AddInterface slot pops its argument", 1, {0}},
        {10, "NumInterfaces slot pops nothing", 0, {}},
    };
    CheckStackBalance(desc, calls, sizeof calls / sizeof calls[0]);
}

void CheckIdentityAndSettings(ImageFilter* filter)
{
    stage = "ImageFilter";
    CheckText(filter->Description(), "Kernelcraft Filter", "Description");
    Check(rt::StrLen(filter->AuthorName()) > 0, "AuthorName");
    Check(rt::StrLen(filter->CopyrightMessage()) > 0, "CopyrightMessage");
    CheckEq(static_cast<long>(filter->Version()), 866276665, "Version");
    CheckEq(static_cast<long>(filter->Capability()), 6, "Capability");
    Check(filter->Max() == &host->core, "Max is the host's core interface, found through GetCOREInterface");
    Check(host->core.calls > 0 && host->core.lastWhich == 9, "Create asked the host for directory 9 (GetDir)");

    BMM_Color_64 out = {}, black = {0, 0, 0, 0}, white = {65535, 32768, 1000, 65535};
    filter->Lerp(&out, &black, &white, static_cast<WORD>(65535));
    Check(out.r == 65535 && out.g == 32768 && out.b == 1000 && out.a == 65535, "Lerp (WORD) at full weight");
    filter->Lerp(&out, &black, &white, 0.5f);
    Check(out.r == 32768 && out.g == 16384 && out.b == 500, "Lerp (float) at one half");

    stage = "configuration";
    CheckEq(static_cast<long>(filter->EvaluateConfigure()), 612, "EvaluateConfigure");
    CheckEq(filter->SaveConfigure(nullptr), 0, "SaveConfigure to null");
    CheckEq(filter->SaveConfigure(host->defaults), 1, "SaveConfigure");
    const unsigned* d = host->defaults;
    Check(d[kWordTag] == kTag && d[kWordSourceMode] == 1009 && d[kWordSize] == 3 && d[kWordDivisor] == 1 &&
              d[kWordOffset] == 0 && d[kWordInvert] == 0,
          "a new filter's block holds the defaults");
    memcpy(host->block, d, sizeof host->block);
    host->block[kWordTag] ^= 1;
    host->block[kWordSourceMode] = 1011;
    CheckEq(filter->LoadConfigure(host->block), 0, "LoadConfigure refuses another tag");
    CheckEq(static_cast<long>(filter->ChannelsRequired()), 0, "ChannelsRequired unchanged by a refused block");
    const struct { unsigned mode; long channels; } modes[] = {{1010, 2}, {1011, 4}, {1009, 0}, {7, 0}};
    for (const auto& m : modes) {
        memcpy(host->block, d, sizeof host->block);
        host->block[kWordSourceMode] = m.mode;
        host->block[kWordOffset] = 0x1234 + m.mode;
        CheckEq(filter->LoadConfigure(host->block), 1, "LoadConfigure");
        CheckEq(static_cast<long>(filter->ChannelsRequired()), m.channels, "ChannelsRequired for the block's source");
        unsigned back[kBlockWords];
        CheckEq(filter->SaveConfigure(back), 1, "SaveConfigure after LoadConfigure");
        Check(memcmp(back, host->block, sizeof back) == 0, "the block saved is the block loaded, byte for byte");
    }
}

void CheckRender(ImageFilter* filter)
{
    stage = "Render";
    Bitmap bitmap(&host->storage);
    CheckEq(filter->Render(host->window), 0, "Render without a source bitmap answers 0");
    filter->SetSource(&bitmap);
    for (const RenderCase& c : kRenderCases) {
        stage = c.name;
        memcpy(host->storage.pixels, host->original, sizeof host->original);
        host->storage.material = c.hasMaterial ? host->material : nullptr;
        host->storage.object = c.hasObject ? host->object : nullptr;
        host->storage.putCalls = 0;
        MakeBlock(host->defaults, c, host->block);
        CheckEq(filter->LoadConfigure(host->block), 1, "LoadConfigure");
        host->log = ProgressLog();
        host->log.abortAtRow = c.abortAtRow;
        CheckEq(filter->Render(host->window), 1, "Render answers 1");
        Expected(c, host->original, host->material, host->object, host->expected);
        int wrong = 0, firstWrong = -1;
        for (int i = 0; i < kPixels; ++i) {
            const BMM_Color_64 &a = host->storage.pixels[i], &b = host->expected[i];
            if (a.r != b.r || a.g != b.g || a.b != b.b || a.a != b.a) {
                if (firstWrong < 0) firstWrong = i;
                ++wrong;
            }
        }
        CheckEq(wrong, 0, "pixels written back as expected (count of wrong pixels)");
        if (wrong) CheckEq(firstWrong, -1, "first wrong pixel");
        CheckEq(host->storage.putCalls, kHeight, "every row put back once");
        const bool engineRan = !(c.sourceMode == 1010 && !c.hasMaterial);
        if (engineRan) {
            const int rows = c.abortAtRow >= 0 ? c.abortAtRow + 1 : kHeight;
            CheckEq(host->log.progress, rows, "progress messages, one a row");
            CheckEq(host->log.checkAbort, rows, "check-abort messages, one a row");
            Check(host->log.rowsInOrder && host->log.lastRowArg == kHeight - 1, "rows in order, last row passed");
        }
    }
    stage = "Render";
    filter->SetSource(nullptr);
}

void CheckFilterSlots(ImageFilter* filter)
{
    stage = "ImageFilter slots";
    static BMM_Color_64 a, b, out;
    static unsigned configuration[kBlockWords];
    filter->SaveConfigure(configuration);
    const unsigned window = reinterpret_cast<unsigned>(host->window);
    const SlotCall calls[] = {
        {1, "Description pops nothing", 0, {}},
        {2, "AuthorName pops nothing", 0, {}},
        {3, "CopyrightMessage pops nothing", 0, {}},
        {4, "Version pops nothing", 0, {}},
        {5, "Capability pops nothing", 0, {}},
        {8, "SetSource pops its argument", 1, {0}},
        {9, "SetForeground pops its argument", 1, {0}},
        {10, "SetMask pops its argument", 1, {0}},
        {11, "SetFilterInfo pops its argument", 1, {0}},
        {12, "Render pops its argument", 1, {window}},
        {13, "Max pops nothing", 0, {}},
        {14, "Lerp (float) pops four arguments", 4, {unsigned(&out), unsigned(&a), unsigned(&b), 0x3F000000u}},
        {15, "Lerp (WORD) pops four arguments", 4, {unsigned(&out), unsigned(&a), unsigned(&b), 1000}},
        {16, "EvaluateConfigure pops nothing", 0, {}},
        {17, "LoadConfigure pops its argument", 1, {unsigned(configuration)}},
        {18, "SaveConfigure pops its argument", 1, {unsigned(configuration)}},
        {19, "CreatePreview pops five arguments", 5, {0, 0, 0, 1, 1}},
        {20, "ChannelsRequired pops nothing", 0, {}},
        {21, "DlgHandle pops nothing", 0, {}},
        {22, "MakeDlgInteractive pops its argument", 1, {window}},
        {23, "IsInteractive pops nothing", 0, {}},
        {24, "CreateNode pops nothing", 0, {}},
        {25, "Node pops nothing", 0, {}},
        {26, "FilterUpdate pops nothing", 0, {}},
    };
    CheckStackBalance(filter, calls, sizeof calls / sizeof calls[0]);
    Check(filter->DlgHandle() == host->window && filter->IsInteractive() == 1, "MakeDlgInteractive is remembered");
    Check(filter->CreateNode() == nullptr && filter->Node() == nullptr, "CreateNode and Node keep the host's defaults");
}

void CheckDelete(ClassDesc* desc)
{
    stage = "delete";
    if (!moduleFree) {
        Check(false, "the module imports msvcrt free, so that its frees can be counted");
        return;
    }
    auto* first = static_cast<ImageFilter*>(desc->Create(0));
    freeCount = 0;
    lastFreed = nullptr;
    delete first;  // the host's own delete: the deleting destructor with flags 1
    Check(freeCount == 1 && lastFreed == first, "delete frees the object exactly once");

    auto* second = static_cast<ImageFilter*>(desc->Create(0));
    freeCount = 0;
    lastFreed = nullptr;
    const unsigned flags = 1;
    unsigned eax = 0;
    CheckEq(Probe(Slot(second, 0), second, &flags, 1, &eax), 0, "the destructor slot pops its flags");
    Check(eax == reinterpret_cast<unsigned>(second), "the destructor slot answers the object's address");
    Check(freeCount == 1 && lastFreed == second, "the destructor slot frees the object exactly once");
}

void CheckCustomControls(const char* path)
{
    stage = "custom controls";
    HMODULE library = LoadLibraryA(path);
    Check(library != nullptr, "the controls library loads");
    if (!library) return;
    typedef void (*InitProc)(HMODULE);
    typedef ICustEdit* (*GetEditProc)(HWND);
    typedef void (*ReleaseEditProc)(ICustEdit*);
    typedef ISpinnerControl* (*GetSpinnerProc)(HWND);
    typedef void (*ReleaseSpinnerProc)(ISpinnerControl*);
    auto init = reinterpret_cast<InitProc>(GetProcAddress(library, "ProbeInitCustomControls"));
    auto getEdit = reinterpret_cast<GetEditProc>(GetProcAddress(library, "ProbeGetICustEdit"));
    auto releaseEdit = reinterpret_cast<ReleaseEditProc>(GetProcAddress(library, "ProbeReleaseICustEdit"));
    auto getSpinner = reinterpret_cast<GetSpinnerProc>(GetProcAddress(library, "ProbeGetISpinner"));
    auto releaseSpinner = reinterpret_cast<ReleaseSpinnerProc>(GetProcAddress(library, "ProbeReleaseISpinner"));
    Check(init && getEdit && releaseEdit && getSpinner && releaseSpinner, "the controls' exports");
    if (!(init && getEdit && releaseEdit && getSpinner && releaseSpinner)) return;
    init(library);
    HWND editWindow = CreateWindowExA(0, "CustEdit", "", 0x80000000 /* WS_POPUP */, 0, 0, 80, 20, nullptr, nullptr, library, nullptr);
    HWND spinWindow = CreateWindowExA(0, "SpinnerControl", "", 0x80000000, 0, 0, 20, 20, nullptr, nullptr, library, nullptr);
    ICustEdit* edit = editWindow ? getEdit(editWindow) : nullptr;
    ISpinnerControl* spinner = spinWindow ? getSpinner(spinWindow) : nullptr;
    Check(edit && spinner, "ICustEdit and ISpinnerControl of the control windows");
    if (edit) {
        BOOL valid = 0;
        edit->SetText(42);
        CheckEq(edit->GetInt(&valid), 42, "ICustEdit::SetText (int), then GetInt");
        edit->SetText("-17");
        CheckEq(edit->GetInt(&valid), -17, "ICustEdit::SetText (text), then GetInt");
        CheckEq(valid, 1, "GetInt's valid flag");
        unsigned eax = 0;
        const unsigned seven = 7;
        CheckEq(ThiscallStackDelta(Slot(edit, 0), edit, &seven, 1, &eax), 0, "SetText (int) pops its argument");
        CheckEq(edit->GetInt(nullptr), 7, "the first slot is SetText (int)");
    }
    if (edit && spinner) {
        spinner->LinkToEdit(editWindow, 1);
        spinner->SetLimits(0, 100, 1);
        spinner->SetValue(55, 0);
        CheckEq(spinner->GetIVal(), 55, "ISpinnerControl::SetValue, then GetIVal");
        CheckEq(edit->GetInt(nullptr), 55, "the linked edit shows the value");
        edit->SetText(300);
        CheckEq(spinner->GetIVal(), 100, "a typed value beyond the limits comes back within them");
    }
    if (edit) releaseEdit(edit);
    if (spinner) releaseSpinner(spinner);
    DestroyWindow(editWindow);
    DestroyWindow(spinWindow);
    FreeLibrary(library);
}

// The command line's word n (0 is the program): null when there is none.
const char* Argument(int wanted)
{
    constexpr int kWords = 6;
    static char words[kWords][520];
    if (wanted < 0 || wanted >= kWords) return nullptr;
    char* word = words[wanted];
    constexpr size_t kWordChars = sizeof words[0];
    const char* p = GetCommandLineA();
    for (int n = 0; n <= wanted; ++n) {
        while (*p == ' ' || *p == '\t') ++p;
        size_t length = 0;
        bool quoted = false;
        for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
            if (*p == '"')
                quoted = !quoted;
            else if (length + 1 < kWordChars)
                word[length++] = *p;
        }
        word[length] = 0;
    }
    return word[0] ? word : nullptr;
}

// The version the system reports must be MAJOR.MINOR (both Windows NT): Wine's per-program
// version took effect, and the module is run as the old system would run it.
void CheckWindowsVersion(const char* wanted)
{
    stage = "windows";
    long major = 0, minor = 0;
    const char* p = wanted;
    while (*p >= '0' && *p <= '9') major = major * 10 + (*p++ - '0');
    const bool dotted = *p == '.';
    if (dotted)
        while (*++p >= '0' && *p <= '9') minor = minor * 10 + (*p - '0');
    Check(dotted && *p == 0 && p[-1] != '.', "--windows is MAJOR.MINOR");
    OsVersionInfoA info = {};
    info.size = sizeof info;
    Check(GetVersionExA(&info) != 0, "GetVersionExA");
    rt::Print("      windows: ");
    rt::PrintInt(static_cast<long>(info.major));
    rt::Print(".");
    rt::PrintInt(static_cast<long>(info.minor));
    rt::Print(" build ");
    rt::PrintInt(static_cast<long>(info.build));
    rt::Print(" ");
    rt::Print(info.servicePack);
    rt::Print("\n");
    CheckEq(static_cast<long>(info.major * 100 + info.minor), major * 100 + minor,
            "GetVersionExA reports that version (major * 100 + minor)");
    CheckEq(static_cast<long>(info.platform), 2, "GetVersionExA reports the NT platform");
    const unsigned long packed = GetVersion();
    CheckEq(static_cast<long>((packed & 0xFF) * 100 + ((packed >> 8) & 0xFF)), major * 100 + minor,
            "GetVersion reports that version");
    Check((packed & 0x80000000u) == 0, "GetVersion reports the NT platform");
}

struct RoadContext {
    const char* module;
    HWND window;
};

// The host's road, once: load the module, every export, slot and render, then free it.
void __cdecl Road(void* context)
{
    const RoadContext& road = *static_cast<RoadContext*>(context);
    Host state;
    host = &state;
    progressLog = &state.log;
    state.window = road.window;
    for (int i = 0; i < kPixels; ++i) {
        const int x = i % kWidth, y = i / kWidth;
        state.original[i] = {static_cast<unsigned short>(1000 + 7013 * x + 331 * y),
                             static_cast<unsigned short>(65535 - 3001 * y - 17 * x),
                             static_cast<unsigned short>((x * y * 4099) & 0xFFFF), static_cast<unsigned short>(40000 + x)};
        state.material[i] = static_cast<unsigned char>((x + 2 * y) % 3 == 0 ? 1 : (x + y) % 5);
        state.object[i] = static_cast<unsigned short>(x >= 3 && x <= 6 && y >= 2 ? 300 : 7);
    }

    stage = "exports";
    HMODULE module = LoadLibraryA(road.module);
    Check(module != nullptr, "the module loads");
    if (!module) {
        rt::Print("conformance: FAILED (the module does not load)\n");
        ExitProcess(2);
    }
    moduleFree = reinterpret_cast<FreeProc>(HookImport(module, "msvcrt.dll", "free", reinterpret_cast<void*>(CountingFree)));
    auto libVersion = reinterpret_cast<LibVersionProc>(GetProcAddress(module, "LibVersion"));
    auto libNumberClasses = reinterpret_cast<LibNumberClassesProc>(GetProcAddress(module, "LibNumberClasses"));
    auto libClassDesc = reinterpret_cast<LibClassDescProc>(GetProcAddress(module, "LibClassDesc"));
    auto libDescription = reinterpret_cast<LibDescriptionProc>(GetProcAddress(module, "LibDescription"));
    Check(libVersion && libNumberClasses && libClassDesc && libDescription, "the four exports, by plain name");
    if (!(libVersion && libNumberClasses && libClassDesc && libDescription)) ExitProcess(1);
    CheckEq(static_cast<long>(libVersion()), 0x17700D00, "LibVersion");
    CheckEq(libNumberClasses(), 1, "LibNumberClasses");
    const char* description = libDescription();
    Check(rt::StrLen(description) > 0, "LibDescription");
    ClassDesc* desc = libClassDesc(0);
    Check(desc != nullptr && desc == libClassDesc(0), "LibClassDesc(0), the same on every call");
    Check(libClassDesc(1) == nullptr && libClassDesc(-1) == nullptr, "LibClassDesc(1) and (-1) are null");
    if (!desc) ExitProcess(1);
    // The same four through the probe: cdecl (the caller pops), the same answers.
    const unsigned zero = 0;
    const struct {
        const void* function;
        const char* name;
        int argCount;
        unsigned answer;
    } exportCalls[] = {
        {reinterpret_cast<const void*>(libVersion), "LibVersion leaves the stack to the caller", 0, 0x17700D00},
        {reinterpret_cast<const void*>(libNumberClasses), "LibNumberClasses leaves the stack to the caller", 0, 1},
        {reinterpret_cast<const void*>(libDescription), "LibDescription leaves the stack to the caller", 0,
         reinterpret_cast<unsigned>(description)},
        {reinterpret_cast<const void*>(libClassDesc), "LibClassDesc leaves its argument to the caller", 1,
         reinterpret_cast<unsigned>(desc)},
    };
    for (const auto& call : exportCalls) {
        unsigned eax = 0;
        const int delta = Probe(call.function, nullptr, &zero, call.argCount, &eax);
        Check(delta == -4 * call.argCount && eax == call.answer, call.name);
    }

    CheckClassDesc(desc);
    stage = "Create";
    auto* filter = static_cast<ImageFilter*>(desc->Create(0));
    Check(filter != nullptr, "Create makes a filter");
    if (filter) {
        CheckIdentityAndSettings(filter);
        CheckRender(filter);
        CheckFilterSlots(filter);
        delete filter;
    }
    CheckDelete(desc);

    stage = "unload";
    Check(FreeLibrary(module) != 0, "FreeLibrary");
    host = nullptr;
    progressLog = nullptr;
}

// Every probed call met 0, 4, 8 and 12 modulo 16, one run each: the runs made the same calls, and
// each call's residue moved with the run's start.
void CheckResidues()
{
    stage = "stack";
    bool same = true, moved = true;
    for (int k = 0; k < kRuns; ++k) {
        int seen[4] = {0, 0, 0, 0};
        const int recorded = runs[k].calls < kMaxProbedCalls ? runs[k].calls : kMaxProbedCalls;
        for (int i = 0; i < recorded; ++i) {
            ++seen[runs[k].atCall[i] / 4 & 3];
            const unsigned shift = (runs[k].start - runs[0].start) & 15;
            if (runs[k].atCall[i] != ((runs[0].atCall[i] + shift) & 15)) moved = false;
        }
        same = same && runs[k].calls == runs[0].calls;
        rt::Print("      stack: the run at ");
        rt::PrintInt(static_cast<long>(runs[k].start));
        rt::Print(" mod 16 made ");
        rt::PrintInt(runs[k].calls);
        rt::Print(" probed module calls, at 0/4/8/12 mod 16: ");
        for (int r = 0; r < 4; ++r) {
            if (r) rt::Print("/");
            rt::PrintInt(seen[r]);
        }
        rt::Print("\n");
    }
    Check(runs[0].calls > 0 && same, "every run made the same probed module calls");
    Check(moved, "each probed module call met the stack at 0, 4, 8 and 12 mod 16, one run each");
}

}  // namespace

// The host's core interface, which a plug-in finds among the program's exports.
extern "C" __declspec(dllexport) Interface* __cdecl GetCOREInterface() { return host ? &host->core : nullptr; }

extern "C" void __cdecl HostMain()
{
    AddVectoredExceptionHandler(1, OnException);
    const char* positional[2] = {nullptr, nullptr};
    const char* windows = nullptr;
    int count = 0;
    for (int n = 1; const char* word = Argument(n); ++n) {
        if (rt::StrCmp(word, "--windows") == 0)
            windows = Argument(++n);
        else if (count < 2)
            positional[count++] = word;
    }
    if (!positional[0]) {
        rt::Print("conformance: FAILED (usage: msabi_host MODULE [CONTROLS] [--windows MAJOR.MINOR])\n");
        ExitProcess(2);
    }
    if (windows) CheckWindowsVersion(windows);

    WndClassA wc = {};
    wc.lpfnWndProc = ProgressProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KcfConformanceVideoPost";
    RegisterClassA(&wc);
    RoadContext road = {positional[0], nullptr};
    road.window = CreateWindowExA(0, wc.lpszClassName, "Video Post", 0, 0, 0, 0, 0, kMessageOnlyParent, nullptr,
                                  wc.hInstance, nullptr);

    for (int k = 0; k < kRuns; ++k) {
        currentRun = k;
        runs[k].start = 4u * static_cast<unsigned>(k);
        rt::Print("stack at ");
        rt::PrintInt(static_cast<long>(runs[k].start));
        rt::Print(" mod 16\n");
        RunAtStackResidue(Road, &road, runs[k].start);
    }
    currentRun = -1;
    CheckResidues();
    if (positional[1]) CheckCustomControls(positional[1]);
    DestroyWindow(road.window);

    rt::Print(failures ? "conformance: FAILED, " : "conformance: passed, ");
    rt::PrintInt(failures);
    rt::Print(" of ");
    rt::PrintInt(checks);
    rt::Print(" checks failed\n");
    ExitProcess(failures ? 1 : 0);
}
