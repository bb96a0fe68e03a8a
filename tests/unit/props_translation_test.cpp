// The PropertyCodeMap, the 13 translation lists and the translations.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "props/property_code_map.h"
#include "props/translation_lists.h"
#include "props/value_map.h"

namespace kq {
namespace {

struct ListCase {
    std::int32_t sdkId;
    std::size_t entries;
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs;  // PTP side, SDK side
    std::vector<std::int32_t> withoutSdkValue;
};

class TranslationListTest : public ::testing::TestWithParam<ListCase> {};

// Walks the list in the map: ascending unique PTP-side values, then the
// pairs and the values without an SDK equivalent as the table names them.
TEST_P(TranslationListTest, MatchesTheTable) {
    const ListCase& expected = GetParam();
    const TranslationPair* entry = valueMap.Find(expected.sdkId);
    ASSERT_NE(entry, nullptr);
    std::vector<std::pair<std::int32_t, std::int32_t>> pairs;
    std::vector<std::int32_t> withoutSdkValue;
    std::size_t entries = 0;
    for (; entry->ptpValue != kTranslationEndMarker; ++entry, ++entries) {
        if (entries > 0) {
            EXPECT_LT(entry[-1].ptpValue, entry->ptpValue) << "at entry " << entries;
        }
        if (entry->sdkValue == kTranslationEndMarker) {
            withoutSdkValue.push_back(entry->ptpValue);
        } else {
            pairs.emplace_back(entry->ptpValue, entry->sdkValue);
        }
    }
    EXPECT_EQ(entries, expected.entries);
    EXPECT_EQ(pairs, expected.pairs);
    EXPECT_EQ(withoutSdkValue, expected.withoutSdkValue);
}

INSTANTIATE_TEST_SUITE_P(
    Translation, TranslationListTest,
    ::testing::Values(
        ListCase{0,
                 41,
                 {{0x00, 0}, {0x01, 1}, {0x02, 4}, {0x03, 3}, {0x04, 2}},
                 {0x05, 0x06, 0x07, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88,
                  0x89, 0x8A, 0x8B, 0x8C, 0x8D, 0x8E, 0x8F, 0x90, 0x91, 0x92, 0x93, 0x94,
                  0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x9E, 0x9F, 0xA0}},
        ListCase{1, 5, {{0x00, 0}, {0x01, 1}, {0x02, 4}, {0x03, 2}, {0x07, 3}}, {}},
        ListCase{2, 6, {{0x02, 2}, {0x03, 1}}, {0x00, 0x01, 0x04, 0x05}},
        ListCase{3, 9, {{0x00, 2}, {0x01, 1}, {0x03, 0}}, {0x02, 0x04, 0x05, 0x06, 0x07, 0xFF}},
        ListCase{4,
                 14,
                 {{0x00, 0}, {0x01, 1}, {0x02, 2}, {0x03, 3}, {0x04, 4}, {0x07, 5}, {0x0E, 5}},
                 {0x06, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0xFF}},
        ListCase{5, 7, {{0x00, 2}, {0x01, 0}, {0x02, 1}}, {0x03, 0x04, 0x05, 0x06}},
        ListCase{7,
                 13,
                 {{0x00, 0}, {0x48, 100}, {0x50, 200}, {0x58, 400}, {0x60, 800}, {0x68, 1600}},
                 {0x28, 0x30, 0x38, 0x40, 0x43, 0x70, 0x78}},
        ListCase{8,
                 53,
                 {{0x23, 32},
                  {0x24, 35},
                  {0x28, 40},
                  {0x2C, 45},
                  {0x30, 56},
                  {0x33, 63},
                  {0x35, 71},
                  {0x38, 80}},
                 {0x08, 0x0B, 0x0C, 0x0D, 0x10, 0x13, 0x14, 0x15, 0x18, 0x1B, 0x1C, 0x1D,
                  0x20, 0x25, 0x2B, 0x2D, 0x34, 0x3B, 0x3C, 0x3D, 0x40, 0x43, 0x44, 0x45,
                  0x48, 0x4B, 0x4C, 0x4D, 0x50, 0x53, 0x54, 0x55, 0x58, 0x5B, 0x5C, 0x5D,
                  0x60, 0x63, 0x64, 0x65, 0x68, 0x6B, 0x6C, 0x6D, 0x70}},
        ListCase{9,
                 70,
                 {{0x18, 150000}, {0x1B, 130000}, {0x1C, 100000}, {0x20, 80000}, {0x24, 60000},
                  {0x25, 50000},  {0x2B, 32000},  {0x2D, 25000},  {0x30, 20000}, {0x33, 16000},
                  {0x35, 13000},  {0x38, 10000},  {0x3B, 8000},   {0x3D, 6000},  {0x40, 5000},
                  {0x43, 4000},   {0x44, 3000},   {0x48, 2500},   {0x4B, 2000},  {0x4C, 1666},
                  {0x50, 1250},   {0x54, 1000},   {0x55, 769},    {0x58, 666},   {0x5C, 500},
                  {0x5D, 400},    {0x60, 333},    {0x63, 250},    {0x65, 200},   {0x68, 166},
                  {0x6B, 125},    {0x6D, 100},    {0x70, 80},     {0x73, 62},    {0x75, 50},
                  {0x78, 40},     {0x7B, 31},     {0x7D, 25},     {0x80, 20},    {0x83, 15},
                  {0x85, 12},     {0x88, 10},     {0x8B, 8},      {0x8D, 6},     {0x90, 5},
                  {0x93, 4}},
                 {0x04, 0x10, 0x13, 0x14, 0x15, 0x1D, 0x23, 0x28, 0x2C, 0x34, 0x3C, 0x45,
                  0x4D, 0x53, 0x5B, 0x64, 0x6C, 0x74, 0x7C, 0x84, 0x8C, 0x94, 0x95, 0x98}},
        ListCase{10,
                 25,
                 {{0x08, 400},
                  {0x0B, 366},
                  {0x0D, 333},
                  {0x10, 300},
                  {0x13, 266},
                  {0x15, 233},
                  {0x18, 200},
                  {0x1B, 167},
                  {0x1D, 134},
                  {0x20, 100},
                  {0x23, 67},
                  {0x25, 34},
                  {0x28, 0}},
                 {0x00, 0x03, 0x04, 0x05, 0x0C, 0x14, 0x1C, 0x24, 0x2B, 0x2C, 0x2D, 0x30}},
        ListCase{11,
                 25,
                 {{0x08, 400},
                  {0x0B, 366},
                  {0x0D, 333},
                  {0x10, 300},
                  {0x13, 266},
                  {0x15, 233},
                  {0x18, 200},
                  {0x1B, 167},
                  {0x1D, 134},
                  {0x20, 100},
                  {0x23, 67},
                  {0x25, 34},
                  {0x28, 0}},
                 {0x00, 0x03, 0x04, 0x05, 0x0C, 0x14, 0x1C, 0x24, 0x2B, 0x2C, 0x2D, 0x30}},
        ListCase{16, 5, {{-2, 0}, {-1, 1}, {0x00, 2}, {0x01, 3}, {0x02, 4}}, {}},
        ListCase{17, 5, {{-2, 0}, {-1, 1}, {0x00, 2}, {0x01, 3}, {0x02, 4}}, {}}),
    [](const ::testing::TestParamInfo<ListCase>& param) {
        return "SdkProperty" + std::to_string(param.param.sdkId);
    });

TEST(TranslationMapTest, HoldsThirteenListsEnteredInTheFixedOrder) {
    std::vector<std::int32_t> order;
    for (const TranslationList& list : kTranslationLists) order.push_back(list.sdkPropertyId);
    EXPECT_EQ(order, (std::vector<std::int32_t>{2, 1, 7, 5, 0, 4, 8, 9, 10, 11, 3, 16, 17}));
    EXPECT_EQ(valueMap.Size(), 13u);
    EXPECT_EQ(valueMap.Find(6), nullptr);
}

enum class Direction { kPtpToSdk, kSdkToPtp, kClientByte };

struct TranslationCase {
    const char* name;
    Direction direction;
    std::int32_t sdkId;
    std::int32_t in;
    bool ok;
    std::int32_t out;
};

class TranslationTest : public ::testing::TestWithParam<TranslationCase> {};

TEST_P(TranslationTest, GivesTheValueOrZero) {
    const TranslationCase& c = GetParam();
    std::int32_t value = c.in;
    bool ok = false;
    switch (c.direction) {
    case Direction::kPtpToSdk:
        ok = PtpToSdkValue(c.sdkId, &value);
        break;
    case Direction::kSdkToPtp:
        ok = SdkToPtpValue(c.sdkId, &value);
        break;
    case Direction::kClientByte:
        ok = ClientToSdkValue(c.sdkId, 1, &value);
        break;
    }
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(value, c.out);
}

INSTANTIATE_TEST_SUITE_P(
    Translation, TranslationTest,
    ::testing::Values(
        TranslationCase{"Ptp18OfProperty10", Direction::kPtpToSdk, 10, 0x18, true, 200},
        TranslationCase{"Sdk200OfProperty10", Direction::kSdkToPtp, 10, 200, true, 0x18},
        TranslationCase{"PtpWithoutSdkValue", Direction::kPtpToSdk, 10, 0x0C, false, 0},
        TranslationCase{"PtpNotListed", Direction::kPtpToSdk, 10, 0x09, false, 0},
        TranslationCase{"SdkNotListed", Direction::kSdkToPtp, 10, 24, false, 0},
        TranslationCase{"SdkMarkerMatchesNoEntry", Direction::kSdkToPtp, 10, kTranslationEndMarker,
                        false, 0},
        TranslationCase{"SdkFiveFirstMatchWins", Direction::kSdkToPtp, 4, 5, true, 0x07},
        TranslationCase{"PtpEShareSdkFive", Direction::kPtpToSdk, 4, 0x0E, true, 5},
        TranslationCase{"SdkZeroOfProperty16IsMinusTwo", Direction::kSdkToPtp, 16, 0, true, -2},
        TranslationCase{"NoListPtp", Direction::kPtpToSdk, 6, 1, false, 0},
        TranslationCase{"NoListSdk", Direction::kSdkToPtp, 6, 1, false, 0},
        TranslationCase{"LargestListLastPair", Direction::kSdkToPtp, 9, 4, true, 0x93},
        TranslationCase{"ZeroExtendedFEFindsNothing", Direction::kPtpToSdk, 16, 0xFE, false, 0},
        // A client's byte: what a read delivered for -2 and -1 goes back.
        TranslationCase{"ClientFEOfProperty16", Direction::kClientByte, 16, 0xFE, true, 0},
        TranslationCase{"ClientFFOfProperty17", Direction::kClientByte, 17, 0xFF, true, 1},
        TranslationCase{"ClientPlainByte", Direction::kClientByte, 17, 0x02, true, 4},
        // A listed byte keeps its own entry, even one without an SDK value.
        TranslationCase{"ClientFFListedWithoutSdkValue", Direction::kClientByte, 3, 0xFF, false, 0},
        TranslationCase{"ClientHighByteNotListed", Direction::kClientByte, 1, 0xFF, false, 0}),
    [](const ::testing::TestParamInfo<TranslationCase>& param) { return param.param.name; });

TEST(TranslationClientWidthTest, ClientValuesOfTwoBytesAreNeverSignExtended) {
    std::int32_t value = 0xFFFE;
    EXPECT_FALSE(ClientToSdkValue(16, 2, &value));
    EXPECT_EQ(value, 0);
}

struct CodeCase {
    std::uint16_t code;
    std::int32_t sdkId;
    std::uint32_t width;
};

TEST(TranslationCodeMapTest, MapsThirteenCodesWithTheirWidths) {
    const CodeCase mapped[] = {{0xD006, 2, 1}, {0xD008, 1, 1}, {0xD00A, 5, 1},  {0xD00C, 0, 1},
                               {0xD010, 3, 1}, {0xD013, 4, 1}, {0xD017, 16, 1}, {0xD019, 17, 1},
                               {0xD01C, 7, 2}, {0xD01D, 8, 2}, {0xD01E, 9, 2},  {0xD01F, 10, 1},
                               {0xD020, 11, 1}};
    for (const CodeCase& c : mapped) {
        std::int32_t id = 99;
        EXPECT_TRUE(SdkPropertyForCode(c.code, &id)) << std::hex << c.code;
        EXPECT_EQ(id, c.sdkId) << std::hex << c.code;
        ASSERT_NE(FindPropertyCode(c.code), nullptr);
        EXPECT_EQ(FindPropertyCode(c.code)->width, c.width) << std::hex << c.code;
    }
    for (std::uint16_t code : {0xD007, 0xD029, 0xD02A, 0xD03D, 0xD00B, 0x0000, 0xFFFF}) {
        std::int32_t id = 99;
        EXPECT_FALSE(SdkPropertyForCode(code, &id)) << std::hex << code;
        EXPECT_EQ(id, -1) << std::hex << code;
    }
}

}  // namespace
}  // namespace kq
