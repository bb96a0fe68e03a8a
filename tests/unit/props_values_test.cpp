// KQ_GetDevicePropValue and KQ_SetDevicePropValue.
#include <gtest/gtest.h>

#include "props_test_support.h"

namespace kq::test {
namespace {

class PropValueTest : public PropsSessionTest {
protected:
    void SetUp() override {
        PropsSessionTest::SetUp();
        Connect();
    }

    // Reads into a buffer of `capacity` bytes filled with 0xCC; returns the
    // whole buffer and leaves the reported size in size_.
    Bytes Read(std::uint16_t code, std::uint32_t capacity, KQResult expected = RESULT_OK) {
        Bytes buffer(capacity + 1, 0xCC);
        size_ = capacity;
        EXPECT_EQ(KQ_GetDevicePropValue(camera_, code, &size_, buffer.data()), expected);
        return buffer;
    }

    KQResult Write(std::uint16_t code, Bytes value) {
        return KQ_SetDevicePropValue(camera_, code, static_cast<std::uint32_t>(value.size()),
                                     value.data());
    }

    std::uint32_t size_ = 0;
};

TEST_F(PropValueTest, TwoByteCodeNeedsTwoBytesAndIsTranslated) {
    EXPECT_EQ(Read(0xD01C, 1, RESULT_BUFFER_TOO_SMALL), (Bytes{0xCC, 0xCC}));
    ZTSim_SetPropertyValue(7, 400);
    EXPECT_EQ(Read(0xD01C, 2), (Bytes{0x58, 0x00, 0xCC}));
    EXPECT_EQ(size_, 2u);
}

TEST_F(PropValueTest, OneByteCodeWritesOneByteOfALargerBuffer) {
    EXPECT_EQ(Read(0xD006, 4), (Bytes{0x02, 0xCC, 0xCC, 0xCC, 0xCC}));
    EXPECT_EQ(size_, 1u);
    EXPECT_EQ(Read(0xD006, 0, RESULT_BUFFER_TOO_SMALL), (Bytes{0xCC}));
}

TEST_F(PropValueTest, CameraValueWithoutPtpEquivalentWritesNothing) {
    ZTSim_SetPropertyValue(3, 7);
    EXPECT_EQ(Read(0xD010, 3), (Bytes{0xCC, 0xCC, 0xCC, 0xCC}));
    EXPECT_EQ(size_, 3u);
}

TEST_F(PropValueTest, MinusTwoReachesTheClientAsFE) {
    ZTSim_SetPropertyValue(16, 0);
    EXPECT_EQ(Read(0xD017, 1), (Bytes{0xFE, 0xCC}));
}

TEST_F(PropValueTest, UnservedCodeZeroesTheWholeBufferAndKeepsTheSize) {
    EXPECT_EQ(Read(0xD007, 10), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xCC}));
    EXPECT_EQ(size_, 10u);
    EXPECT_EQ(Read(0xD029, 0), (Bytes{0xCC}));
    EXPECT_EQ(size_, 0u);
}

TEST_F(PropValueTest, FailedReadIsADeviceError) {
    ZTSim_SetFault(ZTSIM_FN_GetPropertyData, 0x31, 1);
    EXPECT_EQ(Read(0xD008, 1, RESULT_DEVICE_ERROR), (Bytes{0xCC, 0xCC}));
    EXPECT_EQ(size_, 1u);
}

TEST_F(PropValueTest, TranslatedWriteReachesTheCamera) {
    EXPECT_EQ(Write(0xD01C, {0x60, 0x00}), RESULT_OK);
    EXPECT_EQ(ZTSim_PropertyValue(7), 800);
    EXPECT_EQ(Write(0xD008, {0x07}), RESULT_OK);
    EXPECT_EQ(ZTSim_PropertyValue(1), 3);
}

TEST_F(PropValueTest, SizeBoundariesOfWrites) {
    EXPECT_EQ(Write(0xD01D, {0x23}), RESULT_BUFFER_TOO_SMALL);
    std::uint8_t byte = 0;
    EXPECT_EQ(KQ_SetDevicePropValue(camera_, 0xD006, 0, &byte), RESULT_NULL_POINTER);
    EXPECT_EQ(Write(0xD02A, {0x03}), RESULT_BUFFER_TOO_SMALL);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetPropertyData), 0u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetZoom), 0u);
}

TEST_F(PropValueTest, WriteWithoutSdkEquivalentDoesNotReachTheCamera) {
    Offer({10});  // no emulation: the value goes through list 10
    EXPECT_EQ(Write(0xD01F, {0x0C}), RESULT_OK);
    EXPECT_EQ(Write(0xD01F, {0x09}), RESULT_OK);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetPropertyData), 0u);
    EXPECT_EQ(ZTSim_PropertyValue(10), 200);
    EXPECT_EQ(Write(0xD01F, {0x20}), RESULT_OK);
    EXPECT_EQ(ZTSim_PropertyValue(10), 100);
}

TEST_F(PropValueTest, ReadOnlyAndUnservedCodesIgnoreWrites) {
    for (std::uint16_t code : {0xD03D, 0xD029, 0xD007, 0x1234}) {
        EXPECT_EQ(Write(code, {0x05, 0x00}), RESULT_OK) << std::hex << code;
    }
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetPropertyData), 0u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetZoom), 0u);
}

TEST_F(PropValueTest, FailedOrSessionlessWriteIsADeviceError) {
    ZTSim_SetFault(ZTSIM_FN_SetPropertyData, 0x32, 1);
    EXPECT_EQ(Write(0xD01C, {0x48, 0x00}), RESULT_DEVICE_ERROR);
    ASSERT_EQ(KQ_DisconnectCamera(camera_), RESULT_OK);
    // Without a camera object the handle 0 is the current one.
    EXPECT_EQ(KQ_SetDevicePropValue(0, 0xD01C, 2, Bytes{0x48, 0x00}.data()), RESULT_DEVICE_ERROR);
    // A value without an SDK equivalent is refused before the session matters.
    EXPECT_EQ(KQ_SetDevicePropValue(0, 0xD01C, 2, Bytes{0x28, 0x00}.data()), RESULT_OK);
    std::uint8_t buffer[2] = {};
    std::uint32_t size = 2;
    EXPECT_EQ(KQ_GetDevicePropValue(0, 0xD01C, &size, buffer), RESULT_DEVICE_ERROR);
}

// Sound behaviour: the bytes 0xFE and 0xFF a read delivers for -2 and -1 of
// SDK properties 16 and 17 can be written back.
TEST_F(PropValueTest, BytesReadForMinusTwoAndMinusOneCanBeWrittenBack) {
    ZTSim_SetPropertyValue(17, 1);
    const Bytes read = Read(0xD019, 1);
    ASSERT_EQ(read[0], 0xFF);
    ZTSim_SetPropertyValue(17, 3);
    EXPECT_EQ(Write(0xD019, {read[0]}), RESULT_OK);
    EXPECT_EQ(ZTSim_PropertyValue(17), 1);
    EXPECT_EQ(Write(0xD017, {0xFE}), RESULT_OK);
    EXPECT_EQ(ZTSim_PropertyValue(16), 0);
}

// Sound behaviour: 0xD00C is written like its 1-byte neighbours, to SDK
// property 0 through list 0.
TEST_F(PropValueTest, D00CWritesSdkPropertyZero) {
    EXPECT_EQ(Write(0xD00C, {0x02}), RESULT_OK);
    EXPECT_EQ(ZTSim_PropertyValue(0), 4);
    EXPECT_EQ(Read(0xD00C, 1), (Bytes{0x02, 0xCC}));
    EXPECT_EQ(Write(0xD00C, {0x85}), RESULT_OK);  // no SDK equivalent
    EXPECT_EQ(ZTSim_PropertyValue(0), 4);
}

// Sound behaviour: the emulated property 10 is held on the PTP side: it reads
// 0x18 before any set and keeps the client's value. A write is translated
// first like any other, so a value without an SDK equivalent returns 0
// without reaching the camera, even for its property list; the emulation
// keeps only values of its own list.
TEST_F(PropValueTest, EmulatedD01FKeepsTheClientsValueFromItsList) {
    EXPECT_EQ(Read(0xD01F, 1), (Bytes{0x18, 0xCC}));
    log.Mark();
    EXPECT_EQ(Write(0xD01F, {0x28}), RESULT_OK);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF KQ_SetDevicePropValue 0xD01F",
                                                     "INF SetProperty ExposureCompensation 0",
                                                     "ERR SetProperty: emulating property #10"}));
    EXPECT_EQ(Read(0xD01F, 1), (Bytes{0x28, 0xCC}));
    EXPECT_EQ(Write(0xD01F, {0x18}), RESULT_OK);
    EXPECT_TRUE(Logged("INF SetProperty ExposureCompensation 200"));
    EXPECT_EQ(state.emulatedProp10Value.load(), 0x18);

    const std::uint32_t listQueries = ZTSim_CallCount(ZTSIM_FN_GetPropertyList);
    for (std::uint8_t refused : {0x0C, 0x00, 0x99, 0xFF, 0x14}) {
        SCOPED_TRACE(static_cast<int>(refused));
        log.Mark();
        EXPECT_EQ(Write(0xD01F, {refused}), RESULT_OK);
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF KQ_SetDevicePropValue 0xD01F"}));
    }
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyList), listQueries);
    EXPECT_EQ(Read(0xD01F, 1), (Bytes{0x18, 0xCC}));
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyData), 0u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetPropertyData), 0u);
}

// Every value the emulated property enumerates can be written and read
// back, except the four that list 10 gives no SDK equivalent.
TEST_F(PropValueTest, EmulatedD01FTakesEveryTranslatableValueOfItsList) {
    for (std::uint8_t listed : {8, 11, 12, 13, 16, 19, 20, 21, 24, 27, 28, 29, 32, 35, 36, 37, 40}) {
        SCOPED_TRACE(static_cast<int>(listed));
        const bool translatable = listed != 12 && listed != 20 && listed != 28 && listed != 36;
        const std::uint8_t before = Read(0xD01F, 1)[0];
        EXPECT_EQ(Write(0xD01F, {listed}), RESULT_OK);
        EXPECT_EQ(Read(0xD01F, 1)[0], translatable ? listed : before);
    }
}

TEST_F(PropValueTest, ZoomCodesCarryTwoBytes) {
    EXPECT_EQ(Read(0xD03D, 1, RESULT_BUFFER_TOO_SMALL), (Bytes{0xCC, 0xCC}));
    EXPECT_EQ(Read(0xD03D, 2), (Bytes{14, 0, 0xCC}));
    EXPECT_EQ(Write(0xD02A, {7, 0}), RESULT_OK);
    ZTSim_WaitIdle();  // the completion has been handled
    EXPECT_EQ(ZTSim_ZoomPosition(), 50);
    EXPECT_EQ(Read(0xD02A, 2), (Bytes{7, 0, 0xCC}));
    EXPECT_EQ(size_, 2u);
    ZTSim_SetFault(ZTSIM_FN_GetZoom, 0x33, 1);
    EXPECT_EQ(Read(0xD02A, 2, RESULT_DEVICE_ERROR), (Bytes{0xCC, 0xCC, 0xCC}));
    ZTSim_SetFault(ZTSIM_FN_GetMaximumZoom, 0x33, 1);
    EXPECT_EQ(Read(0xD03D, 2, RESULT_DEVICE_ERROR), (Bytes{0xCC, 0xCC, 0xCC}));
    ZTSim_SetFault(ZTSIM_FN_SetZoom, 0x33, 1);
    EXPECT_EQ(Write(0xD02A, {3, 0}), RESULT_DEVICE_ERROR);
}

}  // namespace
}  // namespace kq::test
