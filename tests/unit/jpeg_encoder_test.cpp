// The frame-to-JPEG encoder: orientation and channel order of the picture,
// the row layouts it accepts, frames it must drop without reading outside
// them, images larger than the fixed buffer, and errors inside libjpeg.
#include "viewfinder/jpeg_encoder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "support/bridge_fixture.h"
#include "unit/viewfinder_images.h"
#include "viewfinder/swap_red_blue.h"

namespace kq::test {
namespace {

class JpegEncoderTest : public BridgeTest {
protected:
    // Encodes a copy of `frame` held in a block of exactly its size, so that
    // AddressSanitizer sees any read past it.
    int Encode(const std::vector<std::uint8_t>& frame, JpegDestination& destination) {
        std::vector<std::uint8_t> copy(frame);
        size = 0xDEAD;
        const int result = EncodeFrameToJpeg(copy.data(), static_cast<std::uint32_t>(copy.size()),
                                             &size, destination, &dropped);
        if (result == 1) image.assign(destination.image, destination.image + size);
        modified = copy != frame;
        return result;
    }

    int Encode(const std::vector<std::uint8_t>& frame) {
        JpegDestination destination = Destination();
        return Encode(frame, destination);
    }

    JpegDestination Destination() {
        return JpegDestination{fixed.data(), static_cast<std::uint32_t>(fixed.size()), &overflow,
                               kMaxJpegImageSize, nullptr};
    }

    // Expects the decoded picture to be the Quadrants picture.
    void ExpectQuadrants(int width, int height) {
        const DecodedImage decoded = DecodeJpeg(image);
        ASSERT_TRUE(decoded.ok) << decoded.error;
        ASSERT_EQ(decoded.width, width);
        ASSERT_EQ(decoded.height, height);
        // Sample every row near both edges and near the vertical divide:
        // a shear or a flip moves some of them into the wrong quadrant.
        for (int y = 2; y < height - 2; y += 3) {
            if (y >= height / 2 - 4 && y <= height / 2 + 4) continue;
            for (int x : {3, width / 2 - 6, width / 2 + 6, width - 4}) {
                const Rgb expected = Quadrants(x, y, width, height);
                ASSERT_TRUE(Near(decoded.At(x, y), expected))
                    << "pixel " << x << "," << y << " is " << Describe(decoded.At(x, y))
                    << ", expected " << Describe(expected);
            }
        }
    }

    static std::vector<std::uint8_t> QuadrantBitmap(int width, int height, RowLayout layout,
                                                    bool topDown) {
        return MakeBitmap(width, height, layout, topDown,
                          [=](int x, int y) { return Quadrants(x, y, width, height); });
    }

    static void Put32(std::vector<std::uint8_t>& frame, std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) frame[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }

    std::vector<std::uint8_t> fixed = std::vector<std::uint8_t>(kJpegBufferSize);
    JpegOverflow overflow;
    std::uint32_t size = 0;
    std::vector<std::uint8_t> image;
    bool modified = false;
    DropReason dropped{};
};

TEST_F(JpegEncoderTest, BottomUpFrameComesOutTopRowFirstInRgb) {
    ASSERT_EQ(Encode(QuadrantBitmap(320, 240, RowLayout::Packed, false)), 1);
    ASSERT_GT(size, 4u);
    EXPECT_EQ(image[0], 0xFF);
    EXPECT_EQ(image[1], 0xD8);
    EXPECT_EQ(image[size - 2], 0xFF);
    EXPECT_EQ(image[size - 1], 0xD9);
    ExpectQuadrants(320, 240);
}

TEST_F(JpegEncoderTest, LibjpegDefaultsAreKept) {
    ASSERT_EQ(Encode(QuadrantBitmap(64, 48, RowLayout::Packed, false)), 1);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, image.data(), static_cast<unsigned long>(image.size()));
    ASSERT_EQ(jpeg_read_header(&cinfo, TRUE), JPEG_HEADER_OK);
    EXPECT_TRUE(cinfo.saw_JFIF_marker);
    EXPECT_EQ(cinfo.jpeg_color_space, JCS_YCbCr);
    EXPECT_EQ(cinfo.num_components, 3);
    EXPECT_EQ(cinfo.comp_info[0].h_samp_factor, 2);
    EXPECT_EQ(cinfo.comp_info[0].v_samp_factor, 2);
    EXPECT_EQ(cinfo.comp_info[1].h_samp_factor, 1);
    EXPECT_FALSE(cinfo.progressive_mode);
    jpeg_destroy_decompress(&cinfo);
}

TEST_F(JpegEncoderTest, TopDownFrameIsNotTurnedUpsideDown) {
    ASSERT_EQ(Encode(QuadrantBitmap(320, 240, RowLayout::Packed, true)), 1);
    ExpectQuadrants(320, 240);
}

// 3 x 101 = 303 bytes a row, 304 when padded: the two layouts differ, and
// reading one as the other shears the picture by a byte a row.
TEST_F(JpegEncoderTest, PaddedAndPackedRowsAreToldApartByTheHeader) {
    for (bool topDown : {false, true}) {
        for (RowLayout layout : {RowLayout::Padded, RowLayout::Packed}) {
            SCOPED_TRACE(std::string(layout == RowLayout::Padded ? "padded" : "packed") +
                         (topDown ? " top-down" : " bottom-up"));
            ASSERT_EQ(Encode(QuadrantBitmap(101, 80, layout, topDown)), 1);
            ExpectQuadrants(101, 80);
        }
    }
}

// Bytes to spare after the padded rows: read as a bitmap pads its rows.
TEST_F(JpegEncoderTest, TrailingBytesAfterPaddedRowsAreIgnored) {
    std::vector<std::uint8_t> frame = QuadrantBitmap(101, 80, RowLayout::Padded, false);
    frame.resize(frame.size() + 100, 0x00);
    ASSERT_EQ(Encode(frame), 1);
    ExpectQuadrants(101, 80);
}

// Which header field gives the size of the pixel data.
enum class SizeField { FileSize, ImageSize, Neither };

struct HeaderCase {
    const char* name;
    RowLayout rows;      // how the rows are stored
    RowLayout declared;  // the layout whose size the header gives
    SizeField field;
    std::uint32_t spare;  // bytes after the last row
    bool encodes;         // false: dropped as rows beyond the byte count
};

void PrintTo(const HeaderCase& c, std::ostream* out) { *out << c.name; }

class FrameHeaderTest : public JpegEncoderTest,
                        public ::testing::WithParamInterface<HeaderCase> {};

// A 101 x 50 frame (packed rows 303 bytes, padded 304): with 50 spare bytes
// a packed frame is exactly as long as a padded one, with 120 it is longer.
// Only the header tells which layout the rows are in.
TEST_P(FrameHeaderTest, RowLayoutFollowsTheSizeTheHeaderGives) {
    const HeaderCase& c = GetParam();
    constexpr int kWidth = 101;
    constexpr int kHeight = 50;
    std::vector<std::uint8_t> frame = QuadrantBitmap(kWidth, kHeight, c.rows, false);
    const std::uint32_t rowBytes = c.declared == RowLayout::Padded ? 304 : 303;
    const std::uint32_t pixelBytes = rowBytes * kHeight;
    Put32(frame, 2, c.field == SizeField::FileSize ? 54 + pixelBytes : 0);
    Put32(frame, 34, c.field == SizeField::ImageSize ? pixelBytes : 0);
    frame.resize(frame.size() + c.spare, 0x00);
    if (!c.encodes) {
        EXPECT_EQ(Encode(frame), 0);
        EXPECT_STREQ(dropped.text, "rows beyond the byte count");
        return;
    }
    ASSERT_EQ(Encode(frame), 1);
    ExpectQuadrants(kWidth, kHeight);
}

constexpr RowLayout kPadded = RowLayout::Padded;
constexpr RowLayout kPacked = RowLayout::Packed;

INSTANTIATE_TEST_SUITE_P(
    PaddedOrPacked, FrameHeaderTest,
    ::testing::Values(
        HeaderCase{"PaddedByFileSize", kPadded, kPadded, SizeField::FileSize, 0, true},
        HeaderCase{"PaddedByImageSize", kPadded, kPadded, SizeField::ImageSize, 0, true},
        HeaderCase{"PaddedWithSpare120", kPadded, kPadded, SizeField::ImageSize, 120, true},
        HeaderCase{"Packed", kPacked, kPacked, SizeField::FileSize, 0, true},
        HeaderCase{"PackedWithSpare50", kPacked, kPacked, SizeField::FileSize, 50, true},
        HeaderCase{"PackedWithSpare120", kPacked, kPacked, SizeField::FileSize, 120, true},
        HeaderCase{"PackedWithSpare50ByImageSize", kPacked, kPacked, SizeField::ImageSize, 50,
                   true},
        HeaderCase{"PackedWithSpare50NoSizes", kPacked, kPacked, SizeField::Neither, 50, true},
        // Claims padded rows that the byte count does not hold: dropped.
        HeaderCase{"PaddedClaimTooShort", kPacked, kPadded, SizeField::ImageSize, 49, false}),
    [](const ::testing::TestParamInfo<HeaderCase>& tested) {
        return std::string(tested.param.name);
    });

struct Malformed {
    const char* what;
    std::vector<std::uint8_t> frame;
};

TEST_F(JpegEncoderTest, FramesThatDoNotHoldTheirHeaderAreDroppedUntouched) {
    const std::vector<std::uint8_t> good = QuadrantBitmap(40, 30, RowLayout::Packed, false);
    auto with = [&good](std::size_t at, std::uint32_t value) {
        std::vector<std::uint8_t> frame(good);
        Put32(frame, at, value);
        return frame;
    };
    auto bits = [&good](std::uint16_t count) {
        std::vector<std::uint8_t> frame(good);
        frame[28] = static_cast<std::uint8_t>(count);
        frame[29] = static_cast<std::uint8_t>(count >> 8);
        return frame;
    };
    const std::vector<Malformed> cases = {
        {"shorter than the headers", std::vector<std::uint8_t>(good.begin(), good.begin() + 53)},
        {"one byte short of the last row", std::vector<std::uint8_t>(good.begin(), good.end() - 1)},
        {"32 bits per pixel", bits(32)},
        {"8 bits per pixel", bits(8)},
        {"width 0", with(18, 0)},
        {"negative width", with(18, static_cast<std::uint32_t>(-40))},
        {"height 0", with(22, 0)},
        {"most negative height", with(22, 0x80000000u)},
        {"width beyond a JPEG's", with(18, 65501)},
        {"rows whose size wraps 32 bits",
         [&with] {
             std::vector<std::uint8_t> frame = with(18, 65500);
             Put32(frame, 22, 65500);
             return frame;
         }()},
        {"pixel offset past the end", with(10, static_cast<std::uint32_t>(good.size() + 1))},
        {"pixel offset inside the headers", with(10, 20)},
        {"pixel offset near 4 GiB", with(10, 0xFFFFFFF0u)},
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Encode(c.frame), 0);
        EXPECT_EQ(size, 0u);
        EXPECT_FALSE(modified) << "a dropped frame is not reordered";
        EXPECT_NE(dropped.text[0], '\0') << "a dropped frame comes with its reason";
    }
    // The caller decides what to log about dropped frames.
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(Encode(good), 1) << "the encoder still works after the drops";
    EXPECT_STREQ(dropped.text, "");
}

std::vector<std::uint8_t> NoiseBitmap(int width, int height) {
    std::mt19937 random(12345);
    return MakeBitmap(width, height, RowLayout::Packed, false, [&random](int, int) {
        const std::uint32_t v = random();
        return Rgb{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                   static_cast<std::uint8_t>(v >> 16)};
    });
}

TEST_F(JpegEncoderTest, ImageLargerThanTheFixedBufferMovesToTheGrownOverflow) {
    ASSERT_EQ(Encode(NoiseBitmap(640, 480)), 1);
    EXPECT_GT(size, kJpegBufferSize);
    const DecodedImage decoded = DecodeJpeg(image);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, 640);
    EXPECT_EQ(decoded.height, 480);
    EXPECT_GE(overflow.capacity(), size);

    JpegDestination destination = Destination();
    ASSERT_EQ(Encode(QuadrantBitmap(320, 240, RowLayout::Packed, false), destination), 1);
    EXPECT_EQ(destination.image, fixed.data()) << "an image that fits stays at the fixed address";
    ExpectQuadrants(320, 240);
}

// The destination refuses to grow past its limit: libjpeg's error exit
// returns to the encoder mid-image, the frame is dropped with its reason,
// and the next frame encodes normally. Under AddressSanitizer this also
// shows that nothing allocated for the abandoned image is lost.
TEST_F(JpegEncoderTest, ErrorInsideLibjpegDropsTheFrameOnly) {
    for (JpegOverflow* spill : {static_cast<JpegOverflow*>(nullptr), &overflow}) {
        SCOPED_TRACE(spill == nullptr ? "no overflow" : "overflow with a limit");
        JpegDestination limited{fixed.data(), 2000, spill, 8192, nullptr};
        EXPECT_EQ(Encode(NoiseBitmap(200, 200), limited), 0);
        EXPECT_EQ(size, 0u);
        EXPECT_STREQ(dropped.text, "encoded image too large");
        ASSERT_EQ(Encode(QuadrantBitmap(320, 240, RowLayout::Packed, false)), 1);
        ExpectQuadrants(320, 240);
    }
}

TEST_F(JpegEncoderTest, SwapRedBlueTouchesOnlyTheGivenPixels) {
    std::uint8_t row[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    SwapRedBlue(row, 2);
    const std::uint8_t expected[] = {3, 2, 1, 6, 5, 4, 7, 8, 9};
    EXPECT_EQ(std::memcmp(row, expected, sizeof row), 0);
}

}  // namespace
}  // namespace kq::test
