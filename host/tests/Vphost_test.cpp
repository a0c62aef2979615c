// vphost end to end: the built program loads the built module and filters image files exactly as
// the reference engine does, and every failure ends with a message, a non-zero status and no output.
#include "ConvolveEngine.h"
#include "FramePattern.h"
#include "HostPlatform.h"
#include "ImageIO.h"
#include "KernelRecord.h"
#include "PresetLibrary.h"
#include "SettingsText.h"
#include "PreviewKernel.h"
#include "RunProgram.h"
#include "StarterPresets.h"

#include "ModuleTestMain.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string moduleName;  // the filter module's file name in the working directory
const std::string dir = "vphost_test_files";

std::string Path(const std::string& name) { return dir + "/" + name; }

bool Exists(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

void WriteBytes(const std::string& path, const void* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
}

void WriteBlock(const std::string& name, const FilterSettings& s) { WriteBytes(Path(name), &s, sizeof s); }

Image RandomImage(int width, int height, unsigned seed)
{
    std::mt19937 rng(seed);
    Image image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * height);
    for (auto& p : image.pixels) p = {uint16_t(rng()), uint16_t(rng()), uint16_t(rng()), uint16_t(rng())};
    return image;
}

void WriteGrayPam(const std::string& path, int width, int height, const std::vector<uint16_t>& values, int maxval)
{
    std::string data = "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
                       "\nDEPTH 1\nMAXVAL " + std::to_string(maxval) + "\nTUPLTYPE GRAYSCALE\nENDHDR\n";
    for (uint16_t v : values) {
        if (maxval == 65535) data += static_cast<char>(v >> 8);
        data += static_cast<char>(v & 0xFF);
    }
    WriteBytes(path, data.data(), data.size());
}

// What the host's frame must become: the reference engine on the whole frame.
Image Expected(const Image& in, const FilterSettings& s, const std::vector<uint16_t>* ids, uint32_t channel)
{
    Image out = in;
    int32_t sub[kGridCells];
    ExtractSubKernel(s.kernel.weights, s.kernel.size, sub);
    std::vector<uint8_t> ids8;
    if (ids && channel == GB_CHAN_MTL_EFFECTS) ids8.assign(ids->begin(), ids->end());
    const ConvolveFrame frame = {in.pixels.data(), out.pixels.data(), in.width, in.height,
                                 ids8.empty() ? nullptr : ids8.data(),
                                 ids && channel == GB_CHAN_OBJECT ? ids->data() : nullptr, channel};
    const int32_t mask = channel == 0 ? -1 : channel == GB_CHAN_MTL_EFFECTS ? s.materialId : s.objectId;
    const ConvolveKernel kernel = {sub, s.kernel.size, s.kernel.divisor, s.kernel.offset, s.kernel.invert, mask};
    for (int y = 0; y < in.height; ++y) ConvolveRowReference(frame, kernel, y);
    return out;
}

void ExpectSameImage(const Image& a, const Image& b)
{
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const BMM_Color_64 p = a.pixels[i], q = b.pixels[i];
        ASSERT_TRUE(p.r == q.r && p.g == q.g && p.b == q.b && p.a == q.a)
            << "pixel " << i << ": " << p.r << "," << p.g << "," << p.b << "," << p.a << " vs " << q.r << "," << q.g
            << "," << q.b << "," << q.a;
    }
}

std::string Render(const std::string& extra) { return "vphost render --filter " + moduleName + " " + extra; }

std::string Contents(const std::string& path)
{
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

struct Outcome {
    int status;
    std::string out, err;
};

// Runs a command line with its standard output and error kept.
Outcome RunCapturing(const std::string& commandLine)
{
    // Files of their own each time: under Wine a program just ended may hold the last ones a moment.
    static int runs = 0;
    const std::string out = Path("stdout-" + std::to_string(++runs) + ".txt"), err = Path("stderr-" + std::to_string(runs) + ".txt");
    const int status = RunProgram(commandLine + " >" + out + " 2>" + err, false);
    // Windows writes text lines with CR LF.
    const auto lines = [](std::string text) {
        std::erase(text, '\r');
        return text;
    };
    return {status, lines(Contents(out)), lines(Contents(err))};
}

size_t CountOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

FilterSettings WithKernel(const char* rows, int32_t divisor, int32_t offset, int32_t invert)
{
    FilterSettings s = DefaultFilterSettings();
    std::string error;
    EXPECT_TRUE(ParseKernel(rows, s.kernel, error)) << error;
    s.kernel.divisor = divisor;
    s.kernel.offset = offset;
    s.kernel.invert = invert;
    return s;
}

class VphostTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(MakeDirectories(dir)); }
};

}  // namespace

TEST_F(VphostTest, RendersAsTheReferenceEngine)
{
    const Image in = RandomImage(23, 17, 7);
    std::string error;
    ASSERT_TRUE(WriteImage(Path("in.pam"), in, error)) << error;

    std::mt19937 rng(99);
    std::vector<uint16_t> mtl(23 * 17), obj(23 * 17);
    for (auto& v : mtl) v = rng() % 4;
    for (auto& v : obj) v = (rng() % 3) * 30000;
    WriteGrayPam(Path("mtl.pam"), 23, 17, mtl, 255);
    WriteGrayPam(Path("obj.pam"), 23, 17, obj, 65535);

    struct Case {
        int size, divisor, offset, invert, mode, mtlId, objId;
    };
    const Case cases[] = {{3, 1, 0, 0, kSourceWholeImage, 0, 0},     {5, 7, -3000, 1, kSourceWholeImage, 0, 0},
                          {7, 0, 100, 0, kSourceMaterialEffects, 2, 0}, {9, -13, 65535, 2, kSourceObject, 0, 30000},
                          {3, 3, 0, 0, kSourceObject, 0, 0}};
    for (const Case& c : cases) {
        FilterSettings s = DefaultFilterSettings();
        const int origin = SubKernelOrigin(c.size);
        for (int r = 0; r < c.size; ++r)
            for (int col = 0; col < c.size; ++col)
                s.kernel.weights[(origin + r) * 9 + origin + col] = static_cast<int32_t>(rng() % 21) - 8;
        s.kernel.weights[origin * 9 + origin] = 1;  // the size rule then gives c.size
        s.kernel.size = KernelSizeOf(s.kernel.weights);
        s.kernel.divisor = c.divisor;
        s.kernel.offset = c.offset;
        s.kernel.invert = c.invert;
        s.sourceMode = c.mode;
        s.materialId = c.mtlId;
        s.objectId = c.objId;
        WriteBlock("case.blk", s);
        std::remove(Path("out.pam").c_str());
        ASSERT_EQ(RunProgram(Render("--config " + Path("case.blk") + " --in " + Path("in.pam") + " --out " +
                                    Path("out.pam") + " --mtl-ids " + Path("mtl.pam") + " --obj-ids " +
                                    Path("obj.pam") + " --plugcfg " + dir)),
                  0)
            << "size " << c.size;
        Image out;
        ASSERT_TRUE(ReadImage(Path("out.pam"), out, error)) << error;
        const uint32_t channel = c.mode == kSourceMaterialEffects ? GB_CHAN_MTL_EFFECTS
                               : c.mode == kSourceObject        ? GB_CHAN_OBJECT
                                                                : 0;
        const std::vector<uint16_t>* ids = channel == GB_CHAN_MTL_EFFECTS ? &mtl : channel ? &obj : nullptr;
        SCOPED_TRACE("size " + std::to_string(c.size));
        ExpectSameImage(out, Expected(in, s, ids, channel));
    }
}

// The control dialog's preview of a kernel is the frame Render writes for the sample picture, each
// channel at its nearest 8-bit level; and no starter preset turns the sample all black or all white.
TEST_F(VphostTest, PreviewShowsWhatRenderWrites)
{
    Image sample;
    std::string error;
    ASSERT_TRUE(ReadImage("testdata/sample.pam", sample, error)) << error;
    std::vector<Rgb8> sample8(sample.pixels.size());
    for (size_t i = 0; i < sample8.size(); ++i)
        sample8[i] = {PreviewLevel(sample.pixels[i].r), PreviewLevel(sample.pixels[i].g), PreviewLevel(sample.pixels[i].b)};

    std::vector<StarterPreset> kernels = StarterPresets();
    KernelRecord odd = DefaultKernelRecord();
    odd.weights[0] = 3, odd.weights[40] = -2, odd.weights[80] = 1;
    odd.size = KernelSizeOf(odd.weights);
    odd.divisor = -2, odd.offset = 40000, odd.invert = 1;
    kernels.push_back({"9x9 corners, negative divisor, offset, invert", odd});
    for (const StarterPreset& k : kernels) {
        SCOPED_TRACE(k.name);
        FilterSettings s = DefaultFilterSettings();
        s.kernel = k.record;
        WriteBlock("preview.blk", s);
        ASSERT_EQ(RunProgram(Render("--config " + Path("preview.blk") + " --in testdata/sample.pam --out " +
                                    Path("preview.pam") + " --plugcfg " + dir)),
                  0);
        Image rendered;
        ASSERT_TRUE(ReadImage(Path("preview.pam"), rendered, error)) << error;
        ASSERT_EQ(rendered.pixels.size(), sample8.size());

        int32_t block[kGridCells];
        ExtractSubKernel(k.record.weights, k.record.size, block);
        std::vector<Rgb8> preview(sample8.size());
        ASSERT_TRUE(PreviewConvolve(sample8.data(), sample.width, sample.height, block, k.record.size,
                                    k.record.divisor, k.record.offset, k.record.invert, preview.data()));
        size_t different = 0, black = 0, white = 0;
        for (size_t i = 0; i < preview.size(); ++i) {
            const BMM_Color_64& p = rendered.pixels[i];
            different += preview[i].r != PreviewLevel(p.r) || preview[i].g != PreviewLevel(p.g) ||
                         preview[i].b != PreviewLevel(p.b);
            black += p.r == 0 && p.g == 0 && p.b == 0;
            white += p.r == 65535 && p.g == 65535 && p.b == 65535;
        }
        EXPECT_EQ(different, 0u);
        // Edge kernels leave flat areas black, but the edges of the sample must show.
        EXPECT_LT(black, preview.size() * 95 / 100) << black << " of " << preview.size() << " black";
        EXPECT_LT(white, preview.size() * 95 / 100) << white << " of " << preview.size() << " white";
    }
}

TEST_F(VphostTest, EightBitInputScalesAndGainsAlpha)
{
    static const char bytes[] = "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n\x01\x02\x03\xff\x80\x00";
    const std::string pam(bytes, sizeof bytes - 1);
    WriteBytes(Path("in8.pam"), pam.data(), pam.size());
    ASSERT_EQ(RunProgram(Render("--in " + Path("in8.pam") + " --out " + Path("out8.pam") + " --plugcfg " + dir)), 0);
    Image out;
    std::string error;
    ASSERT_TRUE(ReadImage(Path("out8.pam"), out, error)) << error;
    // The default kernel is all zero: colour becomes 0, alpha stays.
    EXPECT_EQ(out.pixels[0].r, 0);
    EXPECT_EQ(out.pixels[0].a, 65535);

    FilterSettings s = DefaultFilterSettings();
    s.kernel.weights[40] = 1;
    WriteBlock("identity.blk", s);
    ASSERT_EQ(RunProgram(Render("--config " + Path("identity.blk") + " --in " + Path("in8.pam") + " --out " +
                                Path("out8.pam") + " --plugcfg " + dir)),
              0);
    ASSERT_TRUE(ReadImage(Path("out8.pam"), out, error)) << error;
    EXPECT_EQ(out.pixels[0].r, 257);
    EXPECT_EQ(out.pixels[0].b, 3 * 257);
    EXPECT_EQ(out.pixels[1].r, 65535);
    EXPECT_EQ(out.pixels[1].g, 128 * 257);
}

TEST_F(VphostTest, AbortAtRowKeepsTheRestAndSucceeds)
{
    const Image in = RandomImage(4, 6, 3);
    std::string error;
    ASSERT_TRUE(WriteImage(Path("abort-in.pam"), in, error));
    FilterSettings s = DefaultFilterSettings();
    s.kernel.weights[40] = 1;
    s.kernel.invert = 1;
    WriteBlock("invert.blk", s);
    ASSERT_EQ(RunProgram(Render("--config " + Path("invert.blk") + " --in " + Path("abort-in.pam") + " --out " +
                                Path("abort-out.pam") + " --abort-at-row 2 --plugcfg " + dir)),
              0);
    Image out;
    ASSERT_TRUE(ReadImage(Path("abort-out.pam"), out, error));
    for (int y = 0; y < 6; ++y) {
        const uint16_t v = in.pixels[y * 4].r;
        EXPECT_EQ(out.pixels[y * 4].r, y < 2 ? 65535 - v : v) << y;
    }
}

TEST_F(VphostTest, FailuresExitNonZeroAndLeaveNoOutput)
{
    const Image in = RandomImage(5, 4, 1);
    std::string error;
    ASSERT_TRUE(WriteImage(Path("f-in.pam"), in, error));
    WriteGrayPam(Path("small-ids.pam"), 4, 4, std::vector<uint16_t>(16, 1), 255);
    WriteGrayPam(Path("ids16.pam"), 5, 4, std::vector<uint16_t>(20, 1), 65535);
    WriteBytes(Path("garbage.pam"), "P7\nWIDTH 5\nHEIGHT", 17);
    FilterSettings s = DefaultFilterSettings();
    WriteBytes(Path("short.blk"), &s, 100);
    s.tag = 0x12345678;
    WriteBlock("wrongtag.blk", s);
    const std::string out = Path("never.pam");
    std::remove(out.c_str());

    const std::string good = " --in " + Path("f-in.pam") + " --out " + out + " --plugcfg " + dir;
    const std::string failing[] = {
        "vphost render --filter no_such_module.flt" + good,
        "vphost render --filter " + std::string(NOT_A_PLUGIN) + good,
        Render("--in " + Path("missing.pam") + " --out " + out),
        Render("--in " + Path("garbage.pam") + " --out " + out),
        Render("--mtl-ids " + Path("small-ids.pam") + good),
        Render("--mtl-ids " + Path("ids16.pam") + good),          // a 16-bit image is no 8-bit channel
        Render("--config " + Path("short.blk") + good),
        Render("--config " + Path("wrongtag.blk") + good),
        Render("--config " + Path("missing.blk") + good),
        Render("--in " + Path("f-in.pam") + " --out " + dir + "/no/such/dir/out.pam"),
        Render("--in " + Path("f-in.pam")),                       // no output named
        Render("--abort-at-row -1" + good),
        Render("--depth 12" + good),
        Render("--compression 10" + good),
        Render("--frames 1-3 --jobs 0 --in " + Path("f%d.pam") + " --out " + Path("never%d.pam")),
        Render("--frames 3-1 --in " + Path("f%d.pam") + " --out " + Path("never%d.pam")),
        Render("--frames 1-3 --in " + Path("f%n.pam") + " --out " + Path("never%d.pam")),
        Render("--frames 1-3 --in " + Path("f-in.pam") + " --out " + out),   // no frame number in the names
        Render("--in " + Path("f-in.pam") + " --out " + Path("never.jpg")),  // a format the build cannot write
        "vphost frobnicate --filter " + moduleName,
    };
    for (const std::string& command : failing) {
        EXPECT_NE(RunProgram(command), 0) << command;
        EXPECT_FALSE(Exists(out)) << command;
    }
}

// The settings given on the command line render as the same settings stored in a block: BLOCK
// first, the options over it; a preset comes from the library in the plug-in configuration folder.
TEST_F(VphostTest, SettingsOnTheCommandLineRenderAsTheirBlock)
{
    const Image in = RandomImage(19, 13, 11);
    std::string error;
    ASSERT_TRUE(WriteImage(Path("opt-in.pam"), in, error)) << error;
    const FilterSettings base = WithKernel("1 2 1; 2 4 2; 1 2 1", 16, 100, 0);
    WriteBlock("base.blk", base);
    const FilterSettings edge = WithKernel("0 0 -1 0 0; 0 -1 -2 -1 0; -1 -2 17 -2 -1; 0 -1 -2 -1 0; 0 0 -1 0 0", 3, -50, 1);
    std::remove(Path("ZAV_KCF.SET").c_str());
    ASSERT_EQ(AppendPreset(Path("ZAV_KCF.SET").c_str(), "Edge test", &edge.kernel), 1);

    FilterSettings overBase = base;
    overBase.kernel.divisor = 2;
    FilterSettings kernelOverBase = WithKernel("0 -1 0; -1 5 -1; 0 -1 0", 16, 100, 0);
    const struct {
        std::string options;
        FilterSettings settings;
    } cases[] = {
        {"--kernel \"1 2 1; 2 4 2; 1 2 1\" --divisor 16 --offset 100", base},
        {"--kernel \"0 -1 0; -1 5 -1; 0 -1 0\" --offset 300 --invert", WithKernel("0 -1 0; -1 5 -1; 0 -1 0", 1, 300, 1)},
        {"--config " + Path("base.blk") + " --divisor 2", overBase},
        {"--config " + Path("base.blk") + " --kernel \"0 -1 0; -1 5 -1; 0 -1 0\"", kernelOverBase},
        {"--preset \"Edge test\"", edge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        std::remove(Path("opt-out.pam").c_str());
        std::remove(Path("blk-out.pam").c_str());
        const std::string io = " --in " + Path("opt-in.pam") + " --plugcfg " + dir + " --out ";
        ASSERT_EQ(RunProgram(Render(c.options + io + Path("opt-out.pam"))), 0);
        WriteBlock("case.blk", c.settings);
        ASSERT_EQ(RunProgram(Render("--config " + Path("case.blk") + io + Path("blk-out.pam"))), 0);
        Image byOptions, byBlock;
        ASSERT_TRUE(ReadImage(Path("opt-out.pam"), byOptions, error)) << error;
        ASSERT_TRUE(ReadImage(Path("blk-out.pam"), byBlock, error)) << error;
        ExpectSameImage(byOptions, byBlock);
        ExpectSameImage(byOptions, Expected(in, c.settings, nullptr, 0));
    }
    // A setting that does not parse, a preset the library lacks, a preset with a divisor: refused.
    for (const char* bad : {"--divisor x", "--preset \"No such\"", "--preset \"Edge test\" --divisor 2", "--source all"}) {
        std::remove(Path("opt-out.pam").c_str());
        EXPECT_NE(RunProgram(Render(std::string(bad) + " --in " + Path("opt-in.pam") + " --plugcfg " + dir + " --out " +
                                    Path("opt-out.pam"))),
                  0)
            << bad;
        EXPECT_FALSE(Exists(Path("opt-out.pam"))) << bad;
    }
}

// --depth 8 writes each sample at its nearest 8-bit level.
TEST_F(VphostTest, EightBitOutputIsTheNearestLevel)
{
    const Image in = RandomImage(9, 7, 21);
    std::string error;
    ASSERT_TRUE(WriteImage(Path("d-in.pam"), in, error)) << error;
    ASSERT_EQ(RunProgram(Render("--kernel \"0 0 0; 0 1 0; 0 0 0\" --depth 8 --in " + Path("d-in.pam") + " --out " +
                                Path("d-out.pam") + " --plugcfg " + dir)),
              0);
    Image out;
    ASSERT_TRUE(ReadImage(Path("d-out.pam"), out, error)) << error;
    Image want = in;
    for (auto& p : want.pixels)
        p = {uint16_t(EightBitLevel(p.r) * 257), uint16_t(EightBitLevel(p.g) * 257), uint16_t(EightBitLevel(p.b) * 257),
             uint16_t(EightBitLevel(p.a) * 257)};
    ExpectSameImage(out, want);
}

// What renders but will not look as the user may expect is said on standard error; the exit status
// stays 0.
TEST_F(VphostTest, WarnsOfAZeroKernelAndAnIdOnNoPixel)
{
    const Image in = RandomImage(6, 5, 4);
    std::string error;
    ASSERT_TRUE(WriteImage(Path("w-in.pam"), in, error)) << error;
    WriteGrayPam(Path("w-obj.pam"), 6, 5, std::vector<uint16_t>(30, 7), 65535);
    const std::string io = " --in " + Path("w-in.pam") + " --out " + Path("w-out.pam") + " --plugcfg " + dir;
    const struct {
        std::string options, says;
    } cases[] = {
        {"", "the kernel's weights are all zero: the filtered pixels come out black"},
        {"--kernel \"0 0 0; 0 0 0; 0 0 0\" --offset 500", "at the level 500 of 65535"},
        {"--kernel \"0 0 0; 0 1 0; 0 0 0\" --source obj --obj-id 5 --obj-ids " + Path("w-obj.pam"),
         "w-obj.pam: no pixel has the object id 5: the frame comes out unchanged"},
        {"--kernel \"0 0 0; 0 1 0; 0 0 0\" --source obj --obj-id 7 --obj-ids " + Path("w-obj.pam"), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const Outcome r = RunCapturing(Render(c.options + io));
        EXPECT_EQ(r.status, 0) << r.err;
        if (c.says.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find("vphost: warning: "), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        }
    }
}

// A sequence renders every frame it can; a frame that fails is named on one line, leaves no file,
// and makes the exit status non-zero.
TEST_F(VphostTest, SequenceWithAMissingFrameWritesTheOthers)
{
    ASSERT_TRUE(MakeDirectories(Path("seq")));
    std::string error;
    std::vector<Image> frames;
    for (int f = 1; f <= 4; ++f) {
        frames.push_back(RandomImage(8, 6, 100 + f));
        std::remove(Path("seq/out-" + std::to_string(f) + ".pam").c_str());
        if (f != 3) {
            ASSERT_TRUE(WriteImage(Path("seq/in_0" + std::to_string(f) + ".pam"), frames.back(), error)) << error;
        }
    }
    const FilterSettings s = WithKernel("0 1 0; 1 -4 1; 0 1 0", 1, 20000, 0);
    const Outcome r = RunCapturing(Render("--kernel \"0 1 0; 1 -4 1; 0 1 0\" --offset 20000 --frames 1-4 --jobs 2 --in " +
                                          Path("seq/in_%02d.pam") + " --out " + Path("seq/out-%d.pam") + " --plugcfg " + dir));
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(CountOf(r.err, "failed: "), 1u) << r.err;
    EXPECT_NE(r.err.find("frame 3 failed: " + Path("seq/in_03.pam") + ": cannot open"), std::string::npos) << r.err;
    for (int f = 1; f <= 4; ++f) {
        SCOPED_TRACE("frame " + std::to_string(f));
        const std::string out = Path("seq/out-" + std::to_string(f) + ".pam");
        if (f == 3) {
            EXPECT_FALSE(Exists(out));
            continue;
        }
        Image got;
        ASSERT_TRUE(ReadImage(out, got, error)) << error;
        ExpectSameImage(got, Expected(frames[f - 1], s, nullptr, 0));
    }
}

TEST(FramePattern, OnlyOneFrameNumberFieldIsTaken)
{
    const struct {
        const char* pattern;
        bool ok;
        const char* frame12;
    } cases[] = {
        {"f%04d.png", true, "f0012.png"}, {"f%d.png", true, "f12.png"},   {"f%01d.png", true, "f12.png"},
        {"%09d", true, "000000012"},      {"100%%_%d.png", true, "100%_12.png"}, {"same.png", true, "same.png"},
        {"f%n.png", false, ""},           {"f%s.png", false, ""},          {"f%x.png", false, ""},
        {"f%4d.png", false, ""},          {"f%010d.png", false, ""},       {"f%d_%d.png", false, ""},
        {"f%", false, ""},                {"f%0", false, ""},              {"f%-4d.png", false, ""},
        {"f%ld.png", false, ""},          {"%%%", false, ""},              {"f%*d.png", false, ""},
    };
    for (const auto& c : cases) {
        FramePattern p;
        std::string error;
        EXPECT_EQ(ParseFramePattern(c.pattern, "--in", p, error), c.ok) << c.pattern;
        if (c.ok) {
            EXPECT_EQ(FrameFileName(p, 12), c.frame12) << c.pattern;
        } else {
            EXPECT_NE(error.find(c.pattern), std::string::npos) << error;
        }
    }
    const struct {
        const char* range;
        bool ok;
        long first, last;
    } ranges[] = {{"1-50", true, 1, 50},  {"7", true, 7, 7},      {"0-99999", true, 0, 99999}, {"50-1", false, 0, 0},
                  {"1-100001", false, 0, 0}, {"-5", false, 0, 0}, {"1-", false, 0, 0},         {"1-2-3", false, 0, 0},
                  {"999999999", false, 0, 0}, {"", false, 0, 0},  {"1 -5", false, 0, 0},       {"0x10", false, 0, 0}};
    for (const auto& r : ranges) {
        long first = -1, last = -1;
        std::string error;
        EXPECT_EQ(ParseFrameRange(r.range, first, last, error), r.ok) << r.range;
        if (r.ok) {
            EXPECT_TRUE(first == r.first && last == r.last) << r.range;
        }
    }
}

TEST_F(VphostTest, VersionAndHelpPerCommand)
{
    const struct {
        std::string command;
        int status;
        const char *out, *err;
    } cases[] = {
        {"vphost --version", 0, "vphost " KCF_VERSION_TEXT "\n", ""},
        {"vphost render --help", 0, "usage: vphost render", ""},
        {"vphost info --filter x --help", 0, "usage: vphost info", ""},
        {"vphost frobnicate --help", 2, "", "vphost: unknown command 'frobnicate'\n"},
        {"vphost render --filter " + moduleName + " --frobnicate 1 --in a.pam --out b.pam", 2, "",
         "vphost: unknown option --frobnicate"},
    };
    for (const auto& c : cases) {
        const Outcome r = RunCapturing(c.command);
        EXPECT_EQ(r.status, c.status) << c.command;
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << c.command << ": " << r.out;
        EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << c.command << ": " << r.err;
    }
    // The test-only option stays out of the user's help.
    EXPECT_EQ(RunCapturing("vphost render --help").out.find("abort"), std::string::npos);
}

TEST_F(VphostTest, InfoNamesTheModule)
{
    EXPECT_EQ(RunProgram("vphost info --filter " + moduleName), 0);
    EXPECT_NE(RunProgram("vphost info --filter " + std::string(NOT_A_PLUGIN)), 0);
}

int main(int argc, char** argv) { return RunTestsWithModule(argc, argv, moduleName); }
