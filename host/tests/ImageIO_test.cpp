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
        "P6\n1 1\n255\n...",
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
