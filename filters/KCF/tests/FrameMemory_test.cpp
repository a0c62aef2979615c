// The frame copies' memory: zero-filled whichever way the platform takes it, aligned for the
// engine's streamed stores, and the frame read into it intact.
#include "FrameFixture.h"
#include "FrameMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

TEST(FrameMemory, ZeroFilledBelowAndAboveTheMappingSize)
{
    // At 2 MB the POSIX build switches from the heap to mapped huge pages.
    for (size_t bytes : {size_t(64), (size_t(2) << 20) - 8, (size_t(2) << 20) + 8, size_t(9) << 20}) {
        for (int round = 0; round < 2; ++round) {  // the second block may reuse the first's memory
            auto* block = static_cast<unsigned char*>(AllocateFrameMemory(bytes));
            ASSERT_NE(block, nullptr) << bytes;
            size_t nonZero = 0;
            for (size_t i = 0; i < bytes; ++i) nonZero += block[i] != 0;
            EXPECT_EQ(nonZero, 0u) << bytes;
            std::memset(block, 0xA5, bytes);
            FreeFrameMemory(block, bytes);
        }
    }
}

TEST(FrameMemory, LargeFrameCopiesAreAlignedAndIntact)
{
    // 1100 x 500 pixels: 4.4 MB a copy, above the mapping size.
    TestFrame f(MakeImage(1100, 500, [](int x, int y) {
        return BMM_Color_64{uint16_t(x * 31 + y), uint16_t(y * 7), uint16_t(x ^ y), uint16_t(x + y)};
    }));
    KernelImage image(f.progress.Handle(), &f.bitmap);
    ASSERT_TRUE(image.Ready());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(image.WorkBuffer()) % 64, 0u);
    EXPECT_EQ(std::memcmp(image.WorkBuffer(), f.storage.image().pixels.data(), 1100 * 500 * sizeof(BMM_Color_64)), 0);
    const auto identity = Identity(3);
    EXPECT_EQ(image.Convolve(ConvolveKernel{identity.data(), 3, 1, 0, 0, -1}), 1);
    EXPECT_EQ(std::memcmp(image.WorkBuffer(), f.storage.image().pixels.data(), 1100 * 500 * sizeof(BMM_Color_64)), 0);
}
