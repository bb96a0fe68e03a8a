// Property access in Camera SDK terms: the supported-value cache and the
// emulation of SDK property 10.
#include <gtest/gtest.h>

#include <vector>

#include "props/property_access.h"
#include "props_test_support.h"

namespace kq::test {
namespace {

class PropAccessTest : public PropsSessionTest {
protected:
    void SetUp() override {
        PropsSessionTest::SetUp();
        Connect();
    }

    std::vector<std::int32_t> Cached() const {
        if (state.cache.cachedValues == nullptr) return {};
        return std::vector<std::int32_t>(state.cache.cachedValues,
                                         state.cache.cachedValues + state.cache.cachedCount);
    }
};

TEST_F(PropAccessTest, MissingPropertyTenIsEmulatedWithoutAskingTheCamera) {
    EXPECT_EQ(state.IsPropSupported(10), 1);
    EXPECT_EQ(state.emulateProp10.load(), 1u);
    ASSERT_EQ(state.EnumPropVals(10), 17);
    EXPECT_EQ(Cached(), (std::vector<std::int32_t>{8, 11, 12, 13, 16, 19, 20, 21, 24, 27, 28, 29,
                                                   32, 35, 36, 37, 40}));
    std::int32_t value = 0;
    ASSERT_EQ(state.GetProperty(&value, 10), 1);
    EXPECT_EQ(value, 24);
    // Only values of its own list are kept; any other is dropped as
    // unsupported, as a camera drops a value it does not list.
    ASSERT_EQ(state.SetProperty(10, 13), 1);
    ASSERT_EQ(state.GetProperty(&value, 10), 1);
    EXPECT_EQ(value, 13);
    ASSERT_EQ(state.SetProperty(10, 12345), 1);
    EXPECT_TRUE(Logged("ERR ZT_UNSUPPORTED_PROPERTY_VALUE"));
    ASSERT_EQ(state.GetProperty(&value, 10), 1);
    EXPECT_EQ(value, 13);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyData), 0u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetPropertyData), 0u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyDesc), 0u);
    EXPECT_TRUE(Logged("ERR GetProperty: emulating property #10"));
    EXPECT_TRUE(Logged("ERR SetProperty: emulating property #10"));
}

TEST_F(PropAccessTest, OfferedPropertyTenGoesToTheCamera) {
    Offer({10});
    EXPECT_EQ(state.IsPropSupported(10), 1);
    EXPECT_EQ(state.emulateProp10.load(), 0u);
    std::int32_t value = 0;
    ASSERT_EQ(state.GetProperty(&value, 10), 1);
    EXPECT_EQ(value, 200);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyData), 1u);
}

TEST_F(PropAccessTest, WithoutThePropertyListTheEmulationIsNotInForce) {
    ASSERT_EQ(state.IsPropSupported(10), 1);  // emulation switched on
    ZTSim_SetFault(ZTSIM_FN_GetPropertyList, 0x77, -1);
    std::int32_t value = 0;
    EXPECT_EQ(state.GetProperty(&value, 10), 0);  // asked the camera, which lacks it
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyData), 1u);
    EXPECT_EQ(state.EnumPropVals(10), 0);
    EXPECT_EQ(state.SetProperty(10, 24), 1);  // dropped: nothing listed
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetPropertyData), 0u);
    EXPECT_EQ(state.emulatedProp10Value.load(), 24);
    EXPECT_TRUE(Logged("ERR ZTGetPropertyList failed: ErrorCode = 0x00000077"));
}

TEST_F(PropAccessTest, ValueOutsideTheSupportedListIsDroppedAsSuccess) {
    EXPECT_EQ(state.SetProperty(7, 300), 1);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetPropertyData), 0u);
    EXPECT_TRUE(Logged("ERR ZT_UNSUPPORTED_PROPERTY_VALUE"));
    EXPECT_TRUE(Logged("INF SetProperty IsoSpeed 300"));
    EXPECT_EQ(state.SetProperty(7, 800), 1);
    EXPECT_EQ(ZTSim_PropertyValue(7), 800);
}

TEST_F(PropAccessTest, PropertyNotOfferedEnumeratesNothing) {
    EXPECT_EQ(state.EnumPropVals(6), 0);
    EXPECT_EQ(state.cache.cachedValues, nullptr);
    EXPECT_EQ(state.cache.cachedCount, 0);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyDesc), 0u);
    EXPECT_EQ(state.IsPropSupported(-1), 0);
}

TEST_F(PropAccessTest, IndexOutsideTheCacheGivesZero) {
    ASSERT_EQ(state.EnumPropVals(2), 2);
    std::int32_t value = 99;
    EXPECT_EQ(state.GetPropValAt(2, -1, &value), 0);
    EXPECT_EQ(value, 0);
    value = 99;
    EXPECT_EQ(state.GetPropValAt(2, 2, &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(state.GetPropValAt(2, 1, &value), 1);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(state.GetPropValAt(-3, 0, &value), 0);
}

TEST_F(PropAccessTest, CacheAsksForTheDescriptorOncePerProperty) {
    std::int32_t first = 0;
    std::int32_t second = 0;
    ASSERT_EQ(state.GetPropValAt(7, 1, &first), 1);
    ASSERT_EQ(state.GetPropValAt(7, 2, &second), 1);
    EXPECT_EQ(first, 100);
    EXPECT_EQ(second, 200);
    EXPECT_EQ(state.IsPropValSupported(7, 1600), 1);
    EXPECT_EQ(state.IsPropValSupported(7, 1601), 0);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyDesc), 1u);
    ASSERT_EQ(state.GetPropValAt(8, 0, &first), 1);
    EXPECT_EQ(first, 32);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyDesc), 2u);
    EXPECT_EQ(state.cache.cachedPropId, 8);
}

TEST_F(PropAccessTest, WithoutSessionTheCacheStays) {
    ASSERT_EQ(state.EnumPropVals(2), 2);
    ASSERT_EQ(KQ_DisconnectCamera(camera_), RESULT_OK);
    const std::uint32_t descriptors = ZTSim_CallCount(ZTSIM_FN_GetPropertyDesc);
    EXPECT_EQ(state.EnumPropVals(2), 0);
    EXPECT_EQ(Cached(), (std::vector<std::int32_t>{1, 2}));
    std::int32_t value = 0;
    EXPECT_EQ(state.GetProperty(&value, 2), 0);
    EXPECT_EQ(state.SetProperty(2, 1), 0);
    EXPECT_EQ(state.IsPropValSupported(2, 1), 0);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyDesc), descriptors);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyData), 0u);
}

struct SdkFailureCase {
    const char* name;
    ZTSimFunction fn;
    const char* line;
};

class PropAccessFailureTest : public PropAccessTest,
                              public ::testing::WithParamInterface<SdkFailureCase> {};

// Each failing Camera SDK call fails the operation and is reported with its
// code, which is also left in lastError.
TEST_P(PropAccessFailureTest, IsReportedAndKeptInLastError) {
    ZTSim_SetFault(GetParam().fn, 0x2A, 1);
    std::int32_t value = 0;
    switch (GetParam().fn) {
    case ZTSIM_FN_GetPropertyData:
        EXPECT_EQ(state.GetProperty(&value, 7), 0);
        break;
    case ZTSIM_FN_SetPropertyData:
        EXPECT_EQ(state.SetProperty(7, 400), 0);
        break;
    default:
        EXPECT_EQ(state.EnumPropVals(7), 0);
        EXPECT_EQ(state.cache.cachedValues, nullptr);
        break;
    }
    EXPECT_EQ(state.lastError.load(), 0x2Au);
    EXPECT_TRUE(Logged(GetParam().line));
    EXPECT_EQ(MessageBoxes().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Prop, PropAccessFailureTest,
    ::testing::Values(SdkFailureCase{"Read", ZTSIM_FN_GetPropertyData,
                                     "ERR ZTGetPropertyData failed: ErrorCode = 0x0000002A"},
                      SdkFailureCase{"Write", ZTSIM_FN_SetPropertyData,
                                     "ERR ZTSetPropertyData failed: ErrorCode = 0x0000002A"},
                      SdkFailureCase{"Descriptor", ZTSIM_FN_GetPropertyDesc,
                                     "ERR ZTGetPropertyDesc failed: ErrorCode = 0x0000002A"}),
    [](const ::testing::TestParamInfo<SdkFailureCase>& param) { return param.param.name; });

// A descriptor whose count cannot be allocated (here: its byte size does not
// even fit the address space) is not trusted: the cache stays empty, the call
// fails, and the descriptor is still released.
TEST_F(PropAccessTest, CountTooLargeToAllocateLeavesTheCacheEmpty) {
    ZTSim_SetDescriptorCount(7, 1, 0x40000000);
    EXPECT_EQ(state.EnumPropVals(7), 0);
    EXPECT_EQ(state.cache.cachedValues, nullptr);
    EXPECT_EQ(state.cache.cachedCount, 0);
    std::int32_t value = 99;
    EXPECT_EQ(state.GetPropValAt(7, 0, &value), 0);
    EXPECT_EQ(value, 0);
    ZTSim_SetDescriptorCount(7, 1, -5);
    EXPECT_EQ(state.EnumPropVals(7), 0);
    EXPECT_EQ(state.cache.cachedValues, nullptr);
}

}  // namespace
}  // namespace kq::test
