// The DeviceInfo and DevicePropDesc datasets, byte for byte.
#include <gtest/gtest.h>

#include "props/dataset_writer.h"
#include "props_test_support.h"

namespace kq::test {
namespace {

// DeviceInfo with the given property codes.
Bytes ExpectedDeviceInfo(std::vector<std::uint16_t> codes) {
    Bytes out(11, 0);
    auto u16 = [&out](std::uint32_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto u32 = [&](std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    u32(6);
    for (std::uint16_t op : {0x9008, 0x9009, 0x901A, 0x900B, 0x900C, 0x900D}) u16(op);
    u32(2);
    u16(0xC008);
    u16(0xC00A);
    u32(static_cast<std::uint32_t>(codes.size()));
    for (std::uint16_t code : codes) u16(code);
    u32(1);
    u16(0x3801);
    u32(1);
    u16(0x3801);
    out.insert(out.end(), 4, 0);
    return out;
}

class DatasetTest : public PropsSessionTest {};

TEST_F(DatasetTest, DeviceInfoWithoutSessionListsTheZoomCodes) {
    const Bytes info = DeviceInfo(59);
    ASSERT_EQ(info.size(), 59u);
    EXPECT_EQ(Bytes(info.begin() + 35, info.begin() + 43),
              (Bytes{0x02, 0x00, 0x00, 0x00, 0x2A, 0xD0, 0x3D, 0xD0}));
    EXPECT_EQ(info, ExpectedDeviceInfo({0xD02A, 0xD03D}));
    EXPECT_EQ(DeviceInfo(58, RESULT_BUFFER_TOO_SMALL), Bytes(58, 0xCC));
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyList), 0u);
    EXPECT_TRUE(Logged("INF KQ_GetDeviceInfo end"));
}

TEST_F(DatasetTest, DeviceInfoWithEveryPropertyInCandidateOrder) {
    Offer({0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 16, 17});
    Connect();
    const Bytes info = DeviceInfo();
    EXPECT_EQ(info.size(), 85u);
    EXPECT_EQ(info,
              ExpectedDeviceInfo({0xD006, 0xD008, 0xD01C, 0xD00A, 0xD00C, 0xD013, 0xD01D, 0xD01E,
                                  0xD01F, 0xD020, 0xD010, 0xD017, 0xD019, 0xD02A, 0xD03D}));
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyList), 13u);
    EXPECT_EQ(state.emulateProp10.load(), 0u);
}

TEST_F(DatasetTest, DeviceInfoWithoutPropertiesStillListsTheEmulatedOne) {
    Offer({});
    Connect();
    EXPECT_EQ(DeviceInfo(), ExpectedDeviceInfo({0xD01F, 0xD02A, 0xD03D}));
    // The default camera lacks only property 10.
    Offer({0, 1, 2, 3, 4, 5, 7, 8, 9, 11, 16, 17});
    EXPECT_EQ(DeviceInfo().size(), 85u);
    // A failed property list counts the code being tested as unsupported.
    ZTSim_SetFault(ZTSIM_FN_GetPropertyList, 0x40, 1);
    EXPECT_EQ(DeviceInfo().size(), 83u);
}

TEST_F(DatasetTest, DeviceInfoTooSmallLeavesSizeAndBuffer) {
    Connect();
    Bytes buffer(84, 0xCC);
    std::uint32_t size = 84;
    EXPECT_EQ(KQ_GetDeviceInfo(camera_, &size, buffer.data()), RESULT_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, 84u);
    EXPECT_EQ(buffer, Bytes(84, 0xCC));
}

TEST_F(DatasetTest, D01CDescriptorByteForByte) {
    Supported(7, {100, 200, 400});
    ZTSim_SetPropertyValue(7, 200);
    Connect();
    EXPECT_EQ(PropDesc(0xD01C), (Bytes{0x1C, 0xD0, 0x04, 0x00, 0x01, 0x00, 0x00, 0x50, 0x00, 0x02,
                                       0x03, 0x00, 0x48, 0x00, 0x50, 0x00, 0x58, 0x00}));
    // Too small by one: refused untouched, after the supported values were
    // asked for.
    const std::uint32_t descriptors = ZTSim_CallCount(ZTSIM_FN_GetPropertyDesc);
    EXPECT_EQ(PropDesc(0xD01C, 17, RESULT_BUFFER_TOO_SMALL), Bytes(17, 0xCC));
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyDesc), descriptors + 1);
    EXPECT_TRUE(Logged("INF KQ_GetDevicePropDesc end"));
}

TEST_F(DatasetTest, UnlistedSupportedValueShowsAsZero) {
    Supported(3, {0, 1, 9, 2});
    ZTSim_SetPropertyValue(3, 9);
    Connect();
    // Default 0, current without a PTP equivalent 0, values in camera order.
    EXPECT_EQ(PropDesc(0xD010), (Bytes{0x10, 0xD0, 0x02, 0x00, 0x01, 0x00, 0x00, 0x02, 0x04, 0x00,
                                       0x03, 0x01, 0x00, 0x00}));
}

struct FixedCase {
    const char* name;
    std::uint16_t code;
    Bytes dataset;
};

class DatasetFixedTest : public PropsSessionTest, public ::testing::WithParamInterface<FixedCase> {};

TEST_P(DatasetFixedTest, IsWrittenExactlyAndNeedsItsFullSize) {
    Connect();
    ZTSim_SetZoomPosition(50);  // user position 7 on the default maximum 100
    const Bytes& expected = GetParam().dataset;
    EXPECT_EQ(PropDesc(GetParam().code), expected);
    const auto shorter = static_cast<std::uint32_t>(expected.size() - 1);
    EXPECT_EQ(PropDesc(GetParam().code, shorter, RESULT_BUFFER_TOO_SMALL), Bytes(shorter, 0xCC));
}

Bytes Undefined(std::uint16_t code) {
    Bytes out{static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(code >> 8)};
    out.insert(out.end(), 20, 0);
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Dataset, DatasetFixedTest,
    ::testing::Values(
        FixedCase{"D007", 0xD007, {0x07, 0xD0, 0x02, 0x00, 0x00, 0x01, 0x01, 0x00}},
        FixedCase{"D029",
                  0xD029,
                  {0x29, 0xD0, 0x04, 0x00, 0x01, 0x02, 0x00, 0x02, 0x00, 0x02, 0x03, 0x00, 0x02,
                   0x00, 0x04, 0x00, 0x08, 0x00}},
        FixedCase{"D02A",
                  0xD02A,
                  {0x2A, 0xD0, 0x04, 0x00, 0x01, 0x00, 0x00, 0x07, 0x00, 0x01, 0x00, 0x00, 0x0E,
                   0x00, 0x01, 0x00}},
        FixedCase{"D03D", 0xD03D, {0x3D, 0xD0, 0x04, 0x00, 0x00, 0xFF, 0x00, 0x0E, 0x00, 0x00}},
        FixedCase{"Below", 0x1234, Undefined(0x1234)}, FixedCase{"D005", 0xD005, Undefined(0xD005)},
        FixedCase{"GapD021", 0xD021, Undefined(0xD021)},
        FixedCase{"Above", 0xD03E, Undefined(0xD03E)}),
    [](const ::testing::TestParamInfo<FixedCase>& param) { return param.param.name; });

TEST_F(DatasetTest, ZoomDescriptorsWhenTheMaximumCannotBeRead) {
    Connect();
    ZTSim_SetZoomPosition(30);
    ZTSim_SetFault(ZTSIM_FN_GetMaximumZoom, 0x41, -1);
    // Current value: the camera position unscaled; range as the call left it.
    EXPECT_EQ(PropDesc(0xD02A), (Bytes{0x2A, 0xD0, 0x04, 0x00, 0x01, 0x00, 0x00, 30, 0x00, 0x01,
                                       0x00, 0x00, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(PropDesc(0xD03D),
              (Bytes{0x3D, 0xD0, 0x04, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00}));
}

TEST_F(DatasetTest, EmulatedD01FEnumeratesItsSeventeenValues) {
    Connect();
    const Bytes desc = PropDesc(0xD01F);
    EXPECT_EQ(desc, (Bytes{0x1F, 0xD0, 0x02, 0x00, 0x01, 0x18, 0x18, 0x02, 17,
                           0x00, 0x08, 0x0B, 0x0C, 0x0D, 0x10, 0x13, 0x14, 0x15,
                           0x18, 0x1B, 0x1C, 0x1D, 0x20, 0x23, 0x24, 0x25, 0x28}));
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyDesc), 0u);
}

TEST_F(DatasetTest, OfferedD020IsTranslated) {
    ZTSim_SetPropertyValue(11, 100);
    Supported(11, {400, 0, 24});
    Connect();
    EXPECT_EQ(PropDesc(0xD020), (Bytes{0x20, 0xD0, 0x02, 0x00, 0x01, 0x18, 0x20, 0x02, 0x03, 0x00,
                                       0x08, 0x28, 0x00}));
}

// Sound behaviour: when the read fails, the current value is the factory
// default itself, which is a PTP-side value already.
TEST_F(DatasetTest, FailedReadShowsTheFactoryDefault) {
    // No session: no supported values, no current value.
    EXPECT_EQ(PropDesc(0xD01E),
              (Bytes{0x1E, 0xD0, 0x04, 0x00, 0x01, 0x98, 0x00, 0x98, 0x00, 0x02, 0x00, 0x00}));
    EXPECT_EQ(PropDesc(0xD006),
              (Bytes{0x06, 0xD0, 0x02, 0x00, 0x01, 0x02, 0x02, 0x02, 0x00, 0x00}));
    Connect();
    ZTSim_SetFault(ZTSIM_FN_GetPropertyData, 0x42, 1);
    const Bytes desc = PropDesc(0xD01D);
    ASSERT_EQ(desc.size(), 2u * 8 + 12);
    EXPECT_EQ(Bytes(desc.begin() + 5, desc.begin() + 9), (Bytes{0x08, 0x00, 0x08, 0x00}));
}

// Sound behaviour: 0xD00C is settable, and a write of it reaches the camera.
TEST_F(DatasetTest, D00CIsSettable) {
    Connect();
    const Bytes desc = PropDesc(0xD00C);
    ASSERT_EQ(desc.size(), 15u);
    EXPECT_EQ(desc[4], 0x01);
    EXPECT_EQ(Bytes(desc.begin() + 10, desc.end()), (Bytes{0x00, 0x01, 0x04, 0x03, 0x02}));
}

TEST_F(DatasetTest, HugeSupportedCountGivesAnEmptyEnumeration) {
    ZTSim_SetDescriptorCount(7, 1, 0x40000000);
    Connect();
    EXPECT_EQ(PropDesc(0xD01C),
              (Bytes{0x1C, 0xD0, 0x04, 0x00, 0x01, 0x00, 0x00, 0x50, 0x00, 0x02, 0x00, 0x00}));
}

TEST(DatasetWriterTest, WritesLittleEndianAndNeverPastItsBound) {
    std::uint8_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 0xCC);
    DatasetWriter writer(buffer, 7);
    writer.U16(0xD01C);
    writer.U32(0x11223344);
    EXPECT_FALSE(writer.Complete());
    writer.U16(0xBEEF);  // would end at 8: dropped whole
    EXPECT_FALSE(writer.Complete());
    writer.U8(0x5A);
    EXPECT_EQ(writer.Written(), 7u);
    EXPECT_FALSE(writer.Complete()) << "a dropped write is remembered";
    EXPECT_EQ(Bytes(buffer, buffer + 8), (Bytes{0x1C, 0xD0, 0x44, 0x33, 0x22, 0x11, 0x5A, 0xCC}));

    DatasetWriter exact(buffer, 3);
    exact.Value(0x1234, 2);
    exact.Zeros(1);
    EXPECT_TRUE(exact.Complete());
    exact.Zeros(1);
    EXPECT_FALSE(exact.Complete());
}

}  // namespace
}  // namespace kq::test
