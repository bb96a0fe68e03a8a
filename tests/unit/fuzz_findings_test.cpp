// Faults the fuzzers found, kept as unit tests so that every preset checks
// them (the fuzzers themselves run on Linux with clang only).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/bridge_fixture.h"
#include "unit/viewfinder_images.h"
#include "viewfinder/jpeg_encoder.h"

namespace kq::test {
namespace {

class FuzzFindingsTest : public BridgeTest {};

std::vector<std::uint8_t> Grey(int width, int height) {
    return MakeBitmap(width, height, RowLayout::Padded, false,
                      [](int, int) { return Rgb{128, 128, 128}; });
}

// An empty fixed block: libjpeg writes its first byte before it asks for
// room, so the encoder must find room (or give up) before anything is written.
TEST_F(FuzzFindingsTest, EmptyFixedBlockWithoutOverflowDropsTheFrame) {
    std::vector<std::uint8_t> frame = Grey(3, 2);
    // A guard byte where the image would have gone.
    std::uint8_t fixed[1] = {0x5A};
    JpegDestination destination{fixed, 0, nullptr, kMaxJpegImageSize, nullptr};
    std::uint32_t size = 1;
    EXPECT_EQ(EncodeFrameToJpeg(frame.data(), static_cast<std::uint32_t>(frame.size()), &size,
                                destination),
              0);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(destination.image, nullptr);
    EXPECT_EQ(fixed[0], 0x5A);
}

TEST_F(FuzzFindingsTest, EmptyFixedBlockMovesStraightToTheOverflow) {
    std::vector<std::uint8_t> frame = Grey(16, 16);
    JpegOverflow overflow;
    JpegDestination destination{nullptr, 0, &overflow, kMaxJpegImageSize, nullptr};
    std::uint32_t size = 0;
    ASSERT_EQ(EncodeFrameToJpeg(frame.data(), static_cast<std::uint32_t>(frame.size()), &size,
                                destination),
              1);
    ASSERT_EQ(destination.image, overflow.data());
    ASSERT_LE(size, overflow.capacity());
    const DecodedImage decoded = DecodeJpeg(destination.image, size);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, 16);
    EXPECT_EQ(decoded.height, 16);
}

}  // namespace
}  // namespace kq::test
