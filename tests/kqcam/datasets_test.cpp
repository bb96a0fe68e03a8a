// kqcam's dataset decoders on data the library never sends: a reader must
// refuse short or inconsistent datasets instead of reading past their end.
#include <gtest/gtest.h>

#include <vector>

#include "datasets.h"

namespace kqcam {
namespace {

// The library's 0xD01C descriptor: UINT16, settable, enumeration 0x48 0x50 0x58.
const std::vector<std::uint8_t> kIso = {0x1C, 0xD0, 0x04, 0x00, 0x01, 0x00, 0x00, 0x50, 0x00, 0x02,
                                        0x03, 0x00, 0x48, 0x00, 0x50, 0x00, 0x58, 0x00};

TEST(KqcamDatasets, EveryTruncationOfADescriptorIsRefused) {
    const PropDesc whole = DecodePropDesc(kIso.data(), kIso.size());
    EXPECT_EQ(whole.choices, (std::vector<std::uint64_t>{0x48, 0x50, 0x58}));
    EXPECT_EQ(whole.currentValue, 0x50u);
    for (std::size_t size = 0; size < kIso.size(); ++size) {
        EXPECT_THROW(DecodePropDesc(kIso.data(), size), DatasetError) << size;
    }
}

TEST(KqcamDatasets, DescriptorWithImpossibleFieldsIsRefused) {
    std::vector<std::uint8_t> data = kIso;
    data[10] = 0xFF;  // count far beyond the bytes that follow
    data[11] = 0xFF;
    EXPECT_THROW(DecodePropDesc(data.data(), data.size()), DatasetError);
    data = kIso;
    data[9] = 3;  // no such form
    EXPECT_THROW(DecodePropDesc(data.data(), data.size()), DatasetError);
    data = kIso;
    data[2] = 0x0A;  // an array type
    EXPECT_THROW(DecodePropDesc(data.data(), data.size()), DatasetError);
}

TEST(KqcamDatasets, TextsBecomeValidUtf8) {
    // "a", U+00E9, U+20AC, U+1F4F7 as a surrogate pair, then a lone high
    // and a lone low surrogate.
    const std::uint16_t units[] = {0x61, 0xE9, 0x20AC, 0xD83D, 0xDCF7, 0xD800, 0x62, 0xDC00};
    EXPECT_EQ(Utf16ToUtf8(units, 8), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\xB7\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    // A pair cut by the end of the text is a lone surrogate.
    EXPECT_EQ(Utf16ToUtf8(units + 3, 1), "\xEF\xBF\xBD");
}

TEST(KqcamDatasets, DeviceInfoWithAWildCountIsRefused) {
    std::vector<std::uint8_t> info(59, 0);
    info[11] = 6;  // six operations would need 12 bytes; give a huge count instead
    info[14] = 0x7F;
    EXPECT_THROW(DecodeDeviceInfo(info.data(), info.size()), DatasetError);
}

TEST(KqcamDatasets, RangeAndEnumerationDecideWhatMayBeSet) {
    PropDesc range;
    range.width = 2;
    range.form = PropForm::kRange;
    range.minimum = 2;
    range.maximum = 14;
    range.step = 3;
    EXPECT_TRUE(FormAllows(range, 2));
    EXPECT_TRUE(FormAllows(range, 14));
    EXPECT_FALSE(FormAllows(range, 13));
    EXPECT_FALSE(FormAllows(range, 17));
    EXPECT_FALSE(FormAllows(range, 0));
    const PropDesc iso = DecodePropDesc(kIso.data(), kIso.size());
    EXPECT_TRUE(FormAllows(iso, 0x58));
    EXPECT_FALSE(FormAllows(iso, 0x51));
}

}  // namespace
}  // namespace kqcam
