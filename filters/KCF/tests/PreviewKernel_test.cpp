// The preview arithmetic: neighbourhood, borders, division, offset, clamping and inversion.
#include "PreviewKernel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Picture {
    int width, height;
    std::vector<Rgb8> pixels;
    Rgb8& At(int x, int y) { return pixels[y * width + x]; }
};

Picture Gradient(int width, int height)
{
    Picture p{width, height, std::vector<Rgb8>(width * height)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.At(x, y) = {static_cast<uint8_t>(10 * x + y), static_cast<uint8_t>(200 - 7 * y),
                          static_cast<uint8_t>((x * y) % 256)};
    return p;
}

Picture Apply(const Picture& in, const std::vector<int32_t>& block, int size, int32_t divisor, int32_t offset,
              int32_t invert)
{
    Picture out{in.width, in.height, std::vector<Rgb8>(in.pixels.size(), Rgb8{1, 2, 3})};
    PreviewConvolve(in.pixels.data(), in.width, in.height, block.data(), size, divisor, offset, invert,
                    out.pixels.data());
    return out;
}

bool Same(const Rgb8& a, const Rgb8& b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

}  // namespace

TEST(PreviewConvolve, IdentityAndUnmirroredShift)
{
    Picture in = Gradient(12, 9);
    std::vector<int32_t> identity(25, 0);
    identity[12] = 1;
    Picture out = Apply(in, identity, 5, 1, 0, 0);
    for (size_t i = 0; i < in.pixels.size(); ++i) ASSERT_TRUE(Same(out.pixels[i], in.pixels[i])) << i;

    // The weight at block (row e, column e + 2) takes the pixel two to the right: not mirrored.
    std::vector<int32_t> right(25, 0);
    right[2 * 5 + 4] = 1;
    out = Apply(in, right, 5, 1, 0, 0);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            const Rgb8 expect = x + 2 < in.width ? in.At(x + 2, y) : Rgb8{0, 0, 0};
            ASSERT_TRUE(Same(out.At(x, y), expect)) << x << "," << y;
        }

    // The weight above the centre takes the pixel above.
    std::vector<int32_t> up(9, 0);
    up[1] = 1;
    out = Apply(in, up, 3, 1, 0, 0);
    EXPECT_TRUE(Same(out.At(4, 5), in.At(4, 4)));
    EXPECT_TRUE(Same(out.At(4, 0), Rgb8{0, 0, 0}));
}

TEST(PreviewConvolve, BordersAreNotRenormalised)
{
    Picture in{4, 3, std::vector<Rgb8>(12, Rgb8{90, 90, 90})};
    std::vector<int32_t> box(9, 1);
    Picture out = Apply(in, box, 3, 9, 0, 0);
    EXPECT_EQ(out.At(1, 1).r, 90);
    EXPECT_EQ(out.At(0, 0).r, 40);  // 4 neighbours: 360 / 9
    EXPECT_EQ(out.At(1, 0).g, 60);  // 6 neighbours: 540 / 9
    EXPECT_EQ(out.At(3, 2).b, 40);
}

TEST(PreviewConvolve, DivisionOffsetClampAndInvert)
{
    Picture in{1, 1, {Rgb8{7, 100, 255}}};
    // Divisor 0 means no division: the sum, clamped.
    Picture out = Apply(in, {0, 0, 0, 0, 3, 0, 0, 0, 0}, 3, 0, 0, 0);
    EXPECT_TRUE(Same(out.At(0, 0), Rgb8{21, 255, 255}));
    // Division truncates toward zero, before the offset: -7 / 2 = -3, then + 10.
    out = Apply(in, {0, 0, 0, 0, -1, 0, 0, 0, 0}, 3, 2, 10, 0);
    EXPECT_EQ(out.At(0, 0).r, 7);
    EXPECT_EQ(out.At(0, 0).g, 0);  // -50 + 10 clamps to 0
    // Negative divisors.
    out = Apply(in, {0, 0, 0, 0, 1, 0, 0, 0, 0}, 3, -2, 200, 0);
    EXPECT_TRUE(Same(out.At(0, 0), Rgb8{197, 150, 73}));
    // Invert is applied after the clamp, and only when it is exactly 1.
    out = Apply(in, {0, 0, 0, 0, 1, 0, 0, 0, 0}, 3, 1, 0, 1);
    EXPECT_TRUE(Same(out.At(0, 0), Rgb8{248, 155, 0}));
    out = Apply(in, {0, 0, 0, 0, 1, 0, 0, 0, 0}, 3, 1, 0, 2);
    EXPECT_TRUE(Same(out.At(0, 0), Rgb8{7, 100, 255}));
}

TEST(PreviewConvolve, ExtremeWeightsDoNotOverflow)
{
    Picture in{9, 9, std::vector<Rgb8>(81, Rgb8{255, 255, 1})};
    std::vector<int32_t> block(81, 2147483647);
    // 81 x 255 x (2^31 - 1) needs more than 32 bits; divided back it is exact.
    Picture out = Apply(in, block, 9, 2147483647, 0, 0);
    EXPECT_EQ(out.At(4, 4).r, 255);       // 81 x 255 clamps
    EXPECT_EQ(out.At(4, 4).b, 81);
    out = Apply(in, std::vector<int32_t>(81, -2147483647 - 1), 9, -2147483647 - 1, -100, 0);
    EXPECT_EQ(out.At(4, 4).b, 0);         // 81 - 100
    EXPECT_EQ(out.At(0, 0).b, 0);         // 25 - 100
    out = Apply(in, std::vector<int32_t>(81, -2147483647 - 1), 9, -2147483647 - 1, 0, 0);
    EXPECT_EQ(out.At(0, 0).b, 25);
}

TEST(PreviewConvolve, ImpossibleSizeCopiesThePicture)
{
    Picture in = Gradient(5, 4);
    std::vector<int32_t> block(81, 1);
    for (int size : {0, 4, 11, -3}) {
        Picture out = Apply(in, block, size, 1, 0, 0);
        for (size_t i = 0; i < in.pixels.size(); ++i) ASSERT_TRUE(Same(out.pixels[i], in.pixels[i])) << size;
    }
}
