// The engine's benchmark: the reference, every fast path this CPU has, Render as a whole and the
// memory floor, interleaved round by round, medians printed as markdown tables with ratios.
#include "ConvolveDispatch.h"
#include "FrameMemory.h"
#include "ImageAccess.h"
#include "KernelFilter.h"
#include "MaddRate.h"
#include "MemoryBitmap.h"
#include "ProgressWindow.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

struct FrameSize {
    int width, height, rounds;
};

struct Workload {
    std::string name;
    int size;
    std::vector<int32_t> weights;  // size x size
    int32_t divisor;
    bool masked;
};

std::string CpuName()
{
#if defined(__i386__) || defined(__x86_64__)
    unsigned regs[12] = {};
    unsigned top = 0, unused = 0;
    __get_cpuid(0x80000000u, &top, &unused, &unused, &unused);
    if (top >= 0x80000004u) {
        for (unsigned i = 0; i < 3; ++i)
            __get_cpuid(0x80000002u + i, &regs[4 * i], &regs[4 * i + 1], &regs[4 * i + 2], &regs[4 * i + 3]);
        char text[49] = {};
        std::memcpy(text, regs, 48);
        std::string name = text;
        name.erase(0, name.find_first_not_of(' '));
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        __get_cpuid(1, &eax, &ebx, &ecx, &edx);
        const unsigned family = ((eax >> 8) & 0xF) + ((eax >> 20) & 0xFF);
        const unsigned model = ((eax >> 4) & 0xF) | ((eax >> 12) & 0xF0);
        return name + " (family " + std::to_string(family) + ", model " + std::to_string(model) + ")";
    }
#endif
    return "unknown CPU";
}

// Dense kernels with every weight non-zero and a divisor that is no power of two.
Workload Dense(int size)
{
    Workload w{"dense " + std::to_string(size) + "x" + std::to_string(size), size, {}, 0, false};
    int64_t sum = 0;
    for (int m = 0; m < size; ++m)
        for (int n = 0; n < size; ++n) {
            const int32_t v = 1 + (m * 7 + n * 3) % 5 - ((m + n) % 4 == 0 ? 3 : 0);
            w.weights.push_back(v);
            sum += v;
        }
    w.divisor = static_cast<int32_t>(sum);
    return w;
}

Workload Binomial9()
{
    const int32_t factor[9] = {1, 8, 28, 56, 70, 56, 28, 8, 1};
    Workload w{"separable 9x9", 9, {}, 65536, false};
    for (int m = 0; m < 9; ++m)
        for (int n = 0; n < 9; ++n) w.weights.push_back(factor[m] * factor[n]);
    return w;
}

Image MakeFrame(int width, int height)
{
    Image image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * height);
    uint32_t seed = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const uint16_t noise = static_cast<uint16_t>(seed >> 20);
            image.pixels[static_cast<size_t>(y) * width + x] = {static_cast<uint16_t>(x * 97 + noise),
                                                                static_cast<uint16_t>(y * 131 + noise),
                                                                static_cast<uint16_t>((x ^ y) * 61), 65535};
        }
    return image;
}

// Material ids in blocks of 32 x 32; id 1 covers about half of the frame.
std::vector<uint8_t> MakeIds(int width, int height)
{
    std::vector<uint8_t> ids(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) ids[static_cast<size_t>(y) * width + x] = ((x / 32) + (y / 32)) % 2 ? 1 : 2;
    return ids;
}

double Milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Column {
    std::string name;
    ConvolvePath path;  // for engine columns
};

void Usage()
{
    std::fprintf(stderr, "usage: kcf_bench [--quick] [--rounds N] [--frame WxH] [--kernel TEXT] [--engines LIST]\n"
                         "  --quick         640x480 and 1920x1080 only, fewer rounds\n"
                         "  --rounds N      rounds for every frame size (default 9, 7 and 3)\n"
                         "  --frame WxH     this frame size only\n"
                         "  --kernel TEXT   only the kernels whose name contains TEXT (e.g. \"9x9\", \"masked\")\n"
                         "  --engines LIST  only these engine columns, comma-separated (e.g. reference,sse2)\n");
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<FrameSize> sizes = {{640, 480, 9}, {1920, 1080, 7}, {3840, 2160, 3}};
    std::string kernelFilter, engineFilter;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            sizes = {{640, 480, 5}, {1920, 1080, 3}};
        } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            const int rounds = std::atoi(argv[++i]);
            if (rounds < 1 || rounds > 1000) {
                Usage();
                return 2;
            }
            for (FrameSize& s : sizes) s.rounds = rounds;
        } else if (std::strcmp(argv[i], "--frame") == 0 && i + 1 < argc) {
            int width = 0, height = 0;
            if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 1 || height < 1 || width > 65535 ||
                height > 65535) {
                Usage();
                return 2;
            }
            sizes = {{width, height, sizes.front().rounds == 5 ? 5 : 7}};
        } else if (std::strcmp(argv[i], "--kernel") == 0 && i + 1 < argc) {
            kernelFilter = argv[++i];
        } else if (std::strcmp(argv[i], "--engines") == 0 && i + 1 < argc) {
            engineFilter = std::string(",") + argv[++i] + ",";
        } else {
            Usage();
            return 2;
        }
    }

    std::vector<Column> engines;
    for (int p = 0; p < kConvolvePathCount; ++p) {
        const auto path = static_cast<ConvolvePath>(p);
        const std::string name = ConvolvePathName(path);
        if (ConvolvePathAvailable(path) && (engineFilter.empty() || engineFilter.find("," + name + ",") != std::string::npos))
            engines.push_back({name, path});
    }
    if (engines.empty()) {
        Usage();
        return 2;
    }
    const ConvolvePath best = BestConvolvePath();

    std::printf("CPU: %s\n", CpuName().c_str());
    std::printf("build: %s, %d-bit\n",
#ifdef _WIN32
                "32-bit Windows (mingw-w64)",
#else
                "native",
#endif
                static_cast<int>(sizeof(void*) * 8));
    std::printf("paths measured (of those this CPU offers):");
    for (const Column& c : engines) std::printf(" %s", c.name.c_str());
    std::printf("; Render takes %s\n", ConvolvePathName(best));
    // The roofline: the multiply-adds each case's plan needs, at the rate this machine retires them.
    const bool wideMadd = ConvolvePathAvailable(ConvolvePath::Avx512Vnni);
    const double maddRate = MaddsPerNanosecond(wideMadd);
    const int maddLanes = wideMadd ? 16 : 8;
    if (maddRate > 0)
        std::printf("multiply-add rate: %.2f %s a nanosecond (%d lanes each), measured here\n", maddRate,
                    wideMadd ? "vpdpwssd" : "vpmaddwd", maddLanes);
    else
        std::printf("multiply-add rate: not measured (no AVX2 or AVX-512 VNNI)\n");
    std::printf("times: median milliseconds of interleaved rounds. Engine columns: Convolve alone on a ready "
                "KernelImage (x = speed-up on the reference). Render: the whole call with its two copies and the "
                "write-back. floor: four plain copies of the frame. fresh: the same four copies, two of them into "
                "frame memory taken and given back as Render does. messages: the progress and check-abort messages "
                "that every engine column and Render send, two a row, alone. bound: the best path's multiply-adds (its plan's "
                "pair taps x 3 channels, a lane per pixel) at the measured rate; copy: one plain frame copy\n");

    std::vector<Workload> workloads = {Dense(3), Dense(5), Dense(7), Dense(9), Binomial9()};
    Workload masked = Dense(9);
    masked.name = "dense 9x9 masked (half)";
    masked.masked = true;
    workloads.push_back(masked);
    if (!kernelFilter.empty())
        workloads.erase(std::remove_if(workloads.begin(), workloads.end(),
                                       [&](const Workload& w) { return w.name.find(kernelFilter) == std::string::npos; }),
                        workloads.end());

    ProgressWindow progress;
    for (const FrameSize& size : sizes) {
        const Image frame = MakeFrame(size.width, size.height);
        const std::vector<uint8_t> ids = MakeIds(size.width, size.height);
        const size_t bytes = frame.pixels.size() * sizeof(BMM_Color_64);
        std::vector<BMM_Color_64> copyA(frame.pixels.size()), copyB(frame.pixels.size()), copyC(frame.pixels.size());

        std::printf("\n### %d x %d, %d rounds\n\n", size.width, size.height, size.rounds);
        std::printf("| kernel |");
        for (const Column& c : engines) std::printf(" %s |", c.name.c_str());
        std::printf(" Render | floor | fresh | messages | best vs reference | Render vs floor | bound | best vs bound | "
                    "best vs copy |\n|---|");
        for (size_t i = 0; i < engines.size() + 9; ++i) std::printf("---:|");
        std::printf("\n");

        for (const Workload& work : workloads) {
            MemoryStorage storage(frame);
            if (work.masked) storage.SetMaterialChannel(ids);
            Bitmap bitmap(&storage);
            KernelImage image(progress.Handle(), &bitmap);
            if (work.masked) image.RequestChannel(GB_CHAN_MTL_EFFECTS);
            const int maskId = work.masked ? 1 : -1;

            MemoryStorage renderStorage(frame);
            if (work.masked) renderStorage.SetMaterialChannel(ids);
            Bitmap renderBitmap(&renderStorage);
            KernelFilter filter;
            filter.settings.sourceMode = work.masked ? kSourceMaterialEffects : kSourceWholeImage;
            filter.settings.materialId = 1;
            filter.settings.kernel.size = work.size;
            std::fill(std::begin(filter.settings.kernel.weights), std::end(filter.settings.kernel.weights), 0);
            const int first = (9 - work.size) / 2;
            for (int m = 0; m < work.size; ++m)
                for (int n = 0; n < work.size; ++n)
                    filter.settings.kernel.weights[(first + m) * 9 + first + n] = work.weights[m * work.size + n];
            filter.settings.kernel.divisor = work.divisor;
            filter.SetSource(&renderBitmap);

            std::vector<std::vector<double>> times(engines.size() + 5);
            ConvolveRun bestRun;
            for (int round = 0; round < size.rounds; ++round) {
                for (size_t e = 0; e < engines.size(); ++e) {
                    const ScopedConvolvePath guard(engines[e].path);
                    const ConvolveKernel kernel = {work.weights.data(), work.size, work.divisor, 0, 0, maskId};
                    const auto start = std::chrono::steady_clock::now();
                    image.Convolve(kernel, &bestRun);  // kept from the last column: the fastest path measured
                    times[e].push_back(Milliseconds(std::chrono::steady_clock::now() - start));
                }
                auto start = std::chrono::steady_clock::now();
                filter.Render(progress.Handle());
                times[engines.size()].push_back(Milliseconds(std::chrono::steady_clock::now() - start));

                start = std::chrono::steady_clock::now();
                std::memcpy(copyA.data(), frame.pixels.data(), bytes);
                std::memcpy(copyB.data(), frame.pixels.data(), bytes);
                std::memcpy(copyC.data(), copyB.data(), bytes);
                std::memcpy(copyB.data(), copyA.data(), bytes);
                times[engines.size() + 1].push_back(Milliseconds(std::chrono::steady_clock::now() - start));

                start = std::chrono::steady_clock::now();
                void* fresh[2] = {AllocateFrameMemory(bytes), AllocateFrameMemory(bytes)};
                if (fresh[0] && fresh[1]) {
                    std::memcpy(fresh[0], frame.pixels.data(), bytes);
                    std::memcpy(fresh[1], frame.pixels.data(), bytes);
                    std::memcpy(copyC.data(), fresh[1], bytes);
                    std::memcpy(copyA.data(), fresh[0], bytes);
                }
                FreeFrameMemory(fresh[0], bytes);
                FreeFrameMemory(fresh[1], bytes);
                times[engines.size() + 2].push_back(Milliseconds(std::chrono::steady_clock::now() - start));

                start = std::chrono::steady_clock::now();
                std::memcpy(copyC.data(), frame.pixels.data(), bytes);
                times[engines.size() + 3].push_back(Milliseconds(std::chrono::steady_clock::now() - start));

                // What the host's protocol costs on this platform, apart from the engine.
                BOOL abortFlag = FALSE;
                start = std::chrono::steady_clock::now();
                for (int y = 0; y < size.height; ++y) {
                    SendMessageA(progress.Handle(), FLT_PROGRESS, static_cast<WPARAM>(y), size.height - 1);
                    SendMessageA(progress.Handle(), FLT_CHECKABORT, 0, reinterpret_cast<LPARAM>(&abortFlag));
                }
                times[engines.size() + 4].push_back(Milliseconds(std::chrono::steady_clock::now() - start));
            }

            std::vector<double> medians;
            for (const auto& t : times) medians.push_back(Median(t));
            // Speed-ups are on the reference engine's time, when it is among the columns.
            const double reference = engines[0].path == ConvolvePath::Reference ? medians[0] : 0;
            const double render = medians[engines.size()], floor = medians[engines.size() + 1];
            const double fresh = medians[engines.size() + 2], copy = medians[engines.size() + 3];
            const double messages = medians[engines.size() + 4];
            // Vector multiply-adds a pixel of the plan the best path ran, times the pixels it filters.
            ConvolvePlan plan;
            const ConvolveKernel planned = {work.weights.data(), work.size, work.divisor, 0, 0, maskId};
            double maddsPerPixel = 0;
            if (BuildConvolvePlan(planned, true, plan)) {
                if (plan.tier == ConvolveTier::Narrow)
                    maddsPerPixel = 3.0 * (plan.pairTapCount + (plan.separable ? plan.verticalTapCount : 0));
                else if (plan.tier == ConvolveTier::Wide)  // double lanes: half as many a vector
                    maddsPerPixel = 3.0 * (plan.separable ? plan.pairTapCount : 0) + 6.0 * plan.wideTapCount;
            }
            double selectedFraction = 1;
            if (work.masked)
                selectedFraction = static_cast<double>(std::count(ids.begin(), ids.end(), uint8_t(1))) / ids.size();
            const double bound = maddRate > 0 ? maddsPerPixel * static_cast<double>(frame.pixels.size()) *
                                                    selectedFraction / maddLanes / maddRate / 1e6
                                              : 0;
            const char* tier = bestRun.tier == ConvolveTier::Narrow ? "32-bit" : bestRun.tier == ConvolveTier::Wide ? "double" : "64-bit";
            std::printf("| %s (%s%s", work.name.c_str(), tier, bestRun.separable ? ", two passes" : "");
            if (bestRun.sharedRows > 1) std::printf(", %d rows a pass", bestRun.sharedRows);
            std::printf(") |");
            for (size_t e = 0; e < engines.size(); ++e) {
                if (engines[e].path == ConvolvePath::Reference || reference == 0)
                    std::printf(" %.2f |", medians[e]);
                else
                    std::printf(" %.2f (%.1fx) |", medians[e], reference / medians[e]);
            }
            // "best": the fastest path among the columns (the reference only when it stands alone);
            // usually the one Render takes, but at some sizes a narrower path measures faster.
            double bestTime = medians[engines.size() - 1];
            for (size_t e = 0; e < engines.size(); ++e)
                if (engines[e].path != ConvolvePath::Reference) bestTime = std::min(bestTime, medians[e]);
            if (reference > 0)
                std::printf(" %.2f | %.2f | %.2f | %.2f | %.1fx | %.2fx |", render, floor, fresh, messages,
                            reference / bestTime, render / floor);
            else
                std::printf(" %.2f | %.2f | %.2f | %.2f | - | %.2fx |", render, floor, fresh, messages, render / floor);
            if (bound > 0)
                std::printf(" %.2f | %.2fx | %.2fx |\n", bound, bestTime / bound, bestTime / copy);
            else
                std::printf(" - | - | %.2fx |\n", bestTime / copy);
            std::fflush(stdout);
        }
    }
    return 0;
}
