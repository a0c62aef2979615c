// vphost end to end: the built program loads the built module and filters image files exactly as
// the reference engine does, and every failure ends with a message, a non-zero status and no output.
#include "ConvolveEngine.h"
#include "HostPlatform.h"
#include "ImageIO.h"
#include "KernelRecord.h"
#include "PreviewKernel.h"
#include "RunProgram.h"
#include "StarterPresets.h"

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
        "vphost frobnicate --filter " + moduleName,
    };
    for (const std::string& command : failing) {
        EXPECT_NE(RunProgram(command), 0) << command;
        EXPECT_FALSE(Exists(out)) << command;
    }
}

TEST_F(VphostTest, InfoNamesTheModule)
{
    EXPECT_EQ(RunProgram("vphost info --filter " + moduleName), 0);
    EXPECT_NE(RunProgram("vphost info --filter " + std::string(NOT_A_PLUGIN)), 0);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODULE\n", argv[0]);
        return 2;
    }
    moduleName = argv[1];
    return RUN_ALL_TESTS();
}
