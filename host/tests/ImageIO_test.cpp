// vphost's image decoding: damaged and hostile files are refused with a reason, good ones round-trip.
#include "ImageIO.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::vector<unsigned char> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string Pam(const std::string& header, size_t payload)
{
    return "P7\n" + header + "ENDHDR\n" + std::string(payload, '\x7f');
}

}  // namespace

TEST(DecodeImage, RefusesDamagedPamHeaders)
{
    const std::string bad[] = {
        "",
        "P6\n1 1\n255\n..",                                          // one byte short
        "P5\n1 1\n1023\n..",                                         // a maxval of neither depth
        "P6 1\n",                                                    // no height
        "P5\n1 1\n255",                                              // no blank after the maxval
        Pam("WIDTH 2\nHEIGHT 2\nDEPTH 3\nMAXVAL 255\n", 11),          // one byte short
        Pam("WIDTH 0\nHEIGHT 2\nDEPTH 3\nMAXVAL 255\n", 0),
        Pam("WIDTH 70000\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n", 70000),   // wider than a host bitmap
        Pam("WIDTH 60000\nHEIGHT 60000\nDEPTH 1\nMAXVAL 255\n", 16),  // more pixels than we take
        Pam("WIDTH 1\nHEIGHT 1\nDEPTH 5\nMAXVAL 255\n", 5),
        Pam("WIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 1023\n", 2),
        Pam("WIDTH -1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n", 2),
        Pam("WIDTH 99999999999\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n", 2),
        "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n",               // no ENDHDR
        "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nENDHDR",         // no newline after it
        "P7\nWIDTH",
    };
    for (const std::string& text : bad) {
        Raster raster;
        std::string error;
        EXPECT_FALSE(DecodeImage(Bytes(text), raster, error)) << text.substr(0, 60);
        EXPECT_FALSE(error.empty());
    }
}

TEST(DecodeImage, ReadsPamAtBothDepths)
{
    Raster raster;
    std::string error;
    ASSERT_TRUE(DecodeImage(Bytes("P7\n# made by hand\nWIDTH 2\nHEIGHT 1\nDEPTH 1\nMAXVAL 65535\nTUPLTYPE GRAYSCALE\nENDHDR\n"
                                  "\x12\x34\xff\xfe"),
                            raster, error))
        << error;
    EXPECT_EQ(raster.bits, 16);
    EXPECT_EQ(raster.samples, (std::vector<uint16_t>{0x1234, 0xfffe}));
}

TEST(DecodeImage, PngInputIsCheckedOrRefusedClearly)
{
    // A PNG signature and the start of its header, then nothing.
    const unsigned char header[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    Raster raster;
    std::string error;
    EXPECT_FALSE(DecodeImage(std::vector<unsigned char>(header, header + sizeof header), raster, error));
    EXPECT_FALSE(error.empty());
}

TEST(WriteImage, RoundTripsSixteenBitRgba)
{
    Image image;
    image.width = 3;
    image.height = 2;
    image.pixels = {{0, 1, 2, 3}, {65535, 256, 255, 0}, {4, 5, 6, 7}, {8, 9, 10, 11}, {12, 13, 14, 15}, {1, 1, 1, 1}};
    for (const char* name : {"roundtrip.pam", "roundtrip.png"}) {
        std::string error;
        if (std::string(name).ends_with(".png") && !PngSupported()) {
            EXPECT_FALSE(WriteImage(name, image, error));
            continue;
        }
        ASSERT_TRUE(WriteImage(name, image, error)) << error;
        Image back;
        ASSERT_TRUE(ReadImage(name, back, error)) << error;
        ASSERT_EQ(back.pixels.size(), image.pixels.size());
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            EXPECT_EQ(back.pixels[i].r, image.pixels[i].r);
            EXPECT_EQ(back.pixels[i].a, image.pixels[i].a);
        }
        std::remove(name);
    }
}

// Every format the build writes reads back as written: PAM and PNG whole, PPM without alpha, PGM as
// one gray value (the colour's own where red, green and blue agree, else its luma); at 8 bits each
// sample is the nearest level.
TEST(WriteImage, EachFormatAndDepthReadsBackAsWritten)
{
    Image image;
    image.width = 4;
    image.height = 2;
    image.pixels = {{0, 0, 0, 0},         {128, 128, 128, 129},  {385, 386, 257, 65535}, {65406, 65407, 65535, 1},
                    {1000, 1000, 1000, 7}, {65535, 0, 0, 40000}, {0, 65535, 0, 0},       {0, 0, 65535, 65535}};
    // The nearest 8-bit level of each 16-bit value: halves round down below 128.5 * 257 and up above.
    const struct {
        uint16_t v16, v8;
    } levels[] = {{0, 0}, {128, 0}, {129, 1}, {257, 1}, {385, 1}, {386, 2}, {65406, 254}, {65407, 255}, {65535, 255}};
    for (const auto& l : levels) EXPECT_EQ(EightBitLevel(l.v16), l.v8) << l.v16;

    const auto gray = [](const BMM_Color_64& p) {
        return p.r == p.g && p.g == p.b ? p.r : uint16_t((p.r * 299ull + p.g * 587ull + p.b * 114ull + 500) / 1000);
    };
    for (const char* name : {"each.pam", "each.png", "each.ppm", "each.pgm"}) {
        for (int depth : {8, 16}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(depth) + " bits");
            std::string error;
            const std::string n = name;
            if (n.ends_with(".png") && !PngSupported()) {
                EXPECT_FALSE(CanWriteImage(n, error));
                continue;
            }
            WriteOptions options;
            options.depth = depth;
            ASSERT_TRUE(WriteImage(n, image, options, error)) << error;
            Image back;
            ASSERT_TRUE(ReadImage(n, back, error)) << error;
            ASSERT_EQ(back.pixels.size(), image.pixels.size());
            for (size_t i = 0; i < image.pixels.size(); ++i) {
                const BMM_Color_64 p = image.pixels[i];
                const auto at = [&](uint16_t v) { return depth == 8 ? uint16_t(EightBitLevel(v) * 257) : v; };
                const bool noAlpha = n.ends_with(".ppm") || n.ends_with(".pgm");
                const BMM_Color_64 want = n.ends_with(".pgm")
                                              ? BMM_Color_64{at(gray(p)), at(gray(p)), at(gray(p)), 65535}
                                              : BMM_Color_64{at(p.r), at(p.g), at(p.b), noAlpha ? uint16_t(65535) : at(p.a)};
                const BMM_Color_64 q = back.pixels[i];
                EXPECT_TRUE(q.r == want.r && q.g == want.g && q.b == want.b && q.a == want.a)
                    << "pixel " << i << ": " << q.r << "," << q.g << "," << q.b << "," << q.a;
            }
            std::remove(name);
        }
    }
    std::string error;
    for (const char* refused : {"out.jpg", "out", "out.png.tmp"}) EXPECT_FALSE(CanWriteImage(refused, error)) << refused;
    EXPECT_TRUE(CanWriteImage("OUT.PGM", error));
}

// Frames large enough for the default level to deflate in several stripes, and in more than one
// round of them, read back whole at both depths; the file the native build wrote of the first 8200
// rows (two stripes, testdata/stripes-rgba16.png) reads the same in the Windows build, through the
// system's codec.
TEST(WriteImage, FramesOfSeveralStripesReadBackWhole)
{
    const auto frame = [](int height) {
        Image image;
        image.width = 16;
        image.height = height;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 16; ++x)
                image.pixels.push_back({uint16_t(x * 331 + y * 7), uint16_t(y * 13), uint16_t(x * 1000), uint16_t(65535 - x)});
        return image;
    };
    const auto expectSame = [](const Image& back, const Image& image, int depth) {
        ASSERT_EQ(back.pixels.size(), image.pixels.size());
        const auto at = [&](uint16_t v) { return depth == 8 ? uint16_t(EightBitLevel(v) * 257) : v; };
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            const BMM_Color_64 p = image.pixels[i], q = back.pixels[i];
            ASSERT_TRUE(q.r == at(p.r) && q.g == at(p.g) && q.b == at(p.b) && q.a == at(p.a)) << "pixel " << i;
        }
    };
    std::string error;
    Image back;
    ASSERT_TRUE(ReadImage("testdata/stripes-rgba16.png", back, error)) << error;
    expectSame(back, frame(8200), 16);
    if (!PngSupported()) return;
    const Image tall = frame(65535);  // 8 MB of filtered rows at 16 bits: nine stripes
    for (int depth : {8, 16}) {
        WriteOptions options;
        options.depth = depth;
        ASSERT_TRUE(WriteImage("stripes.png", tall, options, error)) << error;
        ASSERT_TRUE(ReadImage("stripes.png", back, error)) << error;
        expectSame(back, tall, depth);
        std::remove("stripes.png");
    }
}

// PNG files that another encoder wrote read as the PAM files of the same samples: in the native
// build through libpng, in the Windows build through the system's imaging component.
TEST(ReadImage, PngOfAnotherEncoderReadsAsItsPam)
{
    const struct {
        const char *png, *pam;
        int bits;  // the PNG's depth: 8 holds the PAM's nearest 8-bit levels
    } cases[] = {{"libpng-rgba16.png", "rgba16.pam", 16}, {"libpng-rgba8.png", "rgba16.pam", 8},
                 {"gray16.png", "gray16.pam", 16},         {"gray8.png", "gray8.pam", 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.png);
        std::string error;
        Image png, pam;
        ASSERT_TRUE(ReadImage(std::string("testdata/") + c.png, png, error)) << error;
        ASSERT_TRUE(ReadImage(std::string("testdata/") + c.pam, pam, error)) << error;
        ASSERT_EQ(png.pixels.size(), pam.pixels.size());
        const auto at = [&](uint16_t v) { return c.bits == 8 ? uint16_t(EightBitLevel(v) * 257) : v; };
        for (size_t i = 0; i < pam.pixels.size(); ++i) {
            const BMM_Color_64 p = png.pixels[i], q = pam.pixels[i];
            EXPECT_TRUE(p.r == at(q.r) && p.g == at(q.g) && p.b == at(q.b) && p.a == at(q.a)) << "pixel " << i;
        }
    }
    // Gray PNG files are id channels of their depth.
    for (int bits : {8, 16}) {
        const std::string name = "gray" + std::to_string(bits);
        IdImage fromPng, fromPam;
        std::string error;
        ASSERT_TRUE(ReadIdImage("testdata/" + name + ".png", bits, fromPng, error)) << error;
        ASSERT_TRUE(ReadIdImage("testdata/" + name + ".pam", bits, fromPam, error)) << error;
        EXPECT_EQ(fromPng.values, fromPam.values) << name;
        EXPECT_FALSE(ReadIdImage("testdata/" + name + ".png", 24 - bits, fromPng, error)) << name;
    }
}
