// The preview: Render's arithmetic on the 16-bit scale, the sample widened and the result rounded to 8 bits.
#include "PreviewKernel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Picture {
    int width, height;
    std::vector<Rgb8> pixels;
    const Rgb8& At(int x, int y) const { return pixels[y * width + x]; }
};

Picture Gradient(int width, int height)
{
    Picture p{width, height, std::vector<Rgb8>(width * height)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.pixels[y * width + x] = {static_cast<uint8_t>(10 * x + y), static_cast<uint8_t>(200 - 7 * y),
                                       static_cast<uint8_t>((x * y) % 256)};
    return p;
}

Picture Apply(const Picture& in, const std::vector<int32_t>& block, int size, int32_t divisor, int32_t offset,
              int32_t invert)
{
    Picture out{in.width, in.height, std::vector<Rgb8>(in.pixels.size(), Rgb8{1, 2, 3})};
    EXPECT_TRUE(PreviewConvolve(in.pixels.data(), in.width, in.height, block.data(), size, divisor, offset, invert,
                                out.pixels.data()));
    return out;
}

uint8_t Channel(const Rgb8& p, int c) { return c == 0 ? p.r : c == 1 ? p.g : p.b; }

}  // namespace

// Each case maps every input level v (per channel) to an expected level, independently of its
// neighbours: the widening and rounding, and the offset on the 16-bit scale.
TEST(PreviewConvolve, LevelsOnTheSixteenBitScale)
{
    const Picture in = Gradient(12, 9);
    std::vector<int32_t> identity(9, 0);
    identity[4] = 1;
    const struct {
        const char* name;
        int32_t divisor, offset, invert;
        int (*expect)(int v);
    } cases[] = {
        {"identity gives the picture back", 1, 0, 0, [](int v) { return v; }},
        {"offset 2570 is ten levels", 1, 2570, 0, [](int v) { return v + 10 > 255 ? 255 : v + 10; }},
        {"offset 128 is half a level, not 128 levels", 1, 128, 0, [](int v) { return v; }},
        {"invert", 1, 0, 1, [](int v) { return 255 - v; }},
        {"invert other than 1 does not", 1, 0, 2, [](int v) { return v; }},
        {"negative divisor with the full offset inverts", -1, 65535, 0, [](int v) { return 255 - v; }},
        {"halving rounds to the nearest level", 2, 0, 0, [](int v) { return (v * 257 / 2 + 128) / 257; }},
    };
    for (const auto& c : cases) {
        const Picture out = Apply(in, identity, 3, c.divisor, c.offset, c.invert);
        for (size_t i = 0; i < in.pixels.size(); ++i)
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_EQ(Channel(out.pixels[i], ch), c.expect(Channel(in.pixels[i], ch))) << c.name << " at " << i;
    }
}

TEST(PreviewConvolve, NeighboursBordersAndImpossibleSizes)
{
    // Not renormalised at the border: a uniform 90 under a 3x3 box keeps 90 inside, 60 on an edge
    // (six neighbours) and 40 in a corner (four).
    const Picture flat{4, 3, std::vector<Rgb8>(12, Rgb8{90, 90, 90})};
    Picture out = Apply(flat, std::vector<int32_t>(9, 1), 3, 9, 0, 0);
    EXPECT_EQ(out.At(1, 1).r, 90);
    EXPECT_EQ(out.At(1, 0).g, 60);
    EXPECT_EQ(out.At(0, 0).b, 40);
    // An edge kernel with offset 32768 shows a flat area as mid grey.
    out = Apply(flat, {-1, 0, 1, -2, 0, 2, -1, 0, 1}, 3, 1, 32768, 0);
    EXPECT_EQ(out.At(1, 1).r, 128);

    // The weight two to the right of the centre takes the pixel two to the right: not mirrored.
    const Picture in = Gradient(12, 9);
    std::vector<int32_t> right(25, 0);
    right[2 * 5 + 4] = 1;
    out = Apply(in, right, 5, 1, 0, 0);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            const Rgb8 want = x + 2 < in.width ? in.At(x + 2, y) : Rgb8{0, 0, 0};
            ASSERT_EQ(out.At(x, y).r, want.r) << x << "," << y;
            ASSERT_EQ(out.At(x, y).b, want.b) << x << "," << y;
        }

    for (int size : {0, 4, 11, -3}) {
        out = Apply(in, std::vector<int32_t>(81, 1), size, 1, 0, 0);
        for (size_t i = 0; i < in.pixels.size(); ++i) ASSERT_EQ(out.pixels[i].g, in.pixels[i].g) << size;
    }
}
