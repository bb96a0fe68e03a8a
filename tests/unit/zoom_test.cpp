// UserZoom: the conversions, the zoom operations on the simulated lens, and
// the one repeat on zoom completion.
#include "props/zoom.h"

#include <gtest/gtest.h>

#include "bridge/callbacks.h"
#include "props_test_support.h"

namespace kq::test {
namespace {

struct ConversionCase {
    std::int32_t maximum;
    std::int32_t in;
    std::int32_t out;
};

class ZoomToCameraTest : public ::testing::TestWithParam<ConversionCase> {};
class ZoomToUserTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ZoomToCameraTest, Converts) {
    EXPECT_EQ(UserZoomToCamera(GetParam().in, GetParam().maximum), GetParam().out);
}

TEST_P(ZoomToUserTest, Converts) {
    EXPECT_EQ(CameraZoomToUser(GetParam().in, GetParam().maximum), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Zoom, ZoomToCameraTest,
                         ::testing::Values(ConversionCase{100, 7, 50}, ConversionCase{100, 1, 7},
                                           ConversionCase{100, 14, 100}, ConversionCase{100, 0, 0},
                                           ConversionCase{14, 0, 0}, ConversionCase{14, 9, 9},
                                           ConversionCase{14, 14, 14}, ConversionCase{10, 5, 5},
                                           ConversionCase{10, 12, 10}, ConversionCase{10, 14, 10},
                                           ConversionCase{0, 14, 0}, ConversionCase{0, 3, 0},
                                           ConversionCase{100, 15, 100},
                                           ConversionCase{100, 65535, 100},
                                           ConversionCase{10, 15, 10}));

INSTANTIATE_TEST_SUITE_P(Zoom, ZoomToUserTest,
                         ::testing::Values(ConversionCase{100, 50, 7}, ConversionCase{100, 97, 14},
                                           ConversionCase{100, 100, 14}, ConversionCase{100, 0, 0},
                                           ConversionCase{14, 6, 6}, ConversionCase{14, 14, 14},
                                           ConversionCase{10, 10, 14}, ConversionCase{10, 9, 9},
                                           ConversionCase{0, 0, 14}));

class ZoomTest : public PropsSessionTest {
protected:
    void SetUp() override {
        PropsSessionTest::SetUp();
        Connect();
    }
};

TEST_F(ZoomTest, UserSetMovesTheLensAndPausesAfterwards) {
    ASSERT_EQ(state.SetUserZoom(7), 1);
    EXPECT_EQ(ZTSim_LastZoomRequest(), 50);
    EXPECT_EQ(Sleeps(), (std::vector<std::uint32_t>{125}));
    EXPECT_EQ(state.pendingZoom.load(), 50);
    ZTSim_WaitIdle();
    Sleeps().clear();
    std::int32_t position = -1;
    ASSERT_EQ(state.GetUserZoom(&position), 1);
    EXPECT_EQ(position, 7);
    EXPECT_EQ(Sleeps(), (std::vector<std::uint32_t>{10}));
    EXPECT_TRUE(Logged("INF SetZoom (User Zoom) 7"));
    EXPECT_TRUE(Logged("INF SetZoom 50"));
    EXPECT_TRUE(Logged("INF GetZoom (User Zoom) 7"));
}

TEST_F(ZoomTest, RangeIsAlwaysZeroToFourteen) {
    for (std::int32_t maximum : {100, 10, 0}) {
        ZTSim_SetZoomMaximum(maximum);
        std::int32_t minimum = -1, top = -1, step = -1;
        ASSERT_EQ(state.GetUserZoomRange(&minimum, &top, &step), 1);
        EXPECT_EQ(minimum, 0);
        EXPECT_EQ(top, 14);
        EXPECT_EQ(step, 1);
    }
}

// Sound behaviour: a UserZoom above 14 means the maximum, so no scaled
// position goes beyond the camera's maximum.
TEST_F(ZoomTest, UserValueAboveFourteenSendsTheMaximum) {
    const std::uint8_t fifteen[2] = {15, 0};
    EXPECT_EQ(KQ_SetDevicePropValue(camera_, 0xD02A, 2, fifteen), RESULT_OK);
    EXPECT_EQ(ZTSim_LastZoomRequest(), 100);
    // Its zoom-completed must not arrive after the maximum changed below.
    ZTSim_WaitIdle();
    const std::uint8_t huge[2] = {0xFF, 0xFF};
    ZTSim_SetZoomMaximum(10);
    EXPECT_EQ(KQ_SetDevicePropValue(camera_, 0xD02A, 2, huge), RESULT_OK);
    EXPECT_EQ(ZTSim_LastZoomRequest(), 10);
    EXPECT_TRUE(Logged("INF SetZoom (User Zoom) 65535"));
    // Without the maximum the value goes unscaled, but still not beyond 14.
    ZTSim_WaitIdle();
    ZTSim_SetZoomMaximum(100);
    ZTSim_SetFault(ZTSIM_FN_GetMaximumZoom, 0x50, 1);
    EXPECT_EQ(KQ_SetDevicePropValue(camera_, 0xD02A, 2, huge), RESULT_OK);
    EXPECT_EQ(ZTSim_LastZoomRequest(), 14);
}

// Without the maximum nothing is scaled or held back: a camera whose maximum
// is 10 is sent 12 and 14, refuses them, and the client gets a device error.
TEST_F(ZoomTest, FailedMaximumQuerySendsPositionsBeyondASmallMaximum) {
    ZTSim_SetZoomMaximum(10);
    ZTSim_SetFault(ZTSIM_FN_GetMaximumZoom, 0x52, -1);
    for (std::uint8_t user : {12, 14}) {
        SCOPED_TRACE(static_cast<int>(user));
        const std::uint8_t value[2] = {user, 0};
        EXPECT_EQ(KQ_SetDevicePropValue(camera_, 0xD02A, 2, value), RESULT_DEVICE_ERROR);
        EXPECT_EQ(ZTSim_LastZoomRequest(), user);
    }
    const std::uint8_t five[2] = {5, 0};
    EXPECT_EQ(KQ_SetDevicePropValue(camera_, 0xD02A, 2, five), RESULT_OK);
    EXPECT_EQ(ZTSim_LastZoomRequest(), 5);
}

TEST_F(ZoomTest, FailedMaximumQueryUsesUnscaledValues) {
    ZTSim_SetFault(ZTSIM_FN_GetMaximumZoom, 0x51, -1);
    ASSERT_EQ(state.SetUserZoom(5), 1);
    EXPECT_EQ(ZTSim_LastZoomRequest(), 5);
    EXPECT_TRUE(Logged("ERR ZTGetMaximumZoom failed: ErrorCode = 0x00000051"));
    EXPECT_TRUE(Logged("INF SetZoom User Zoom failed!"));
    ZTSim_WaitIdle();
    ZTSim_SetZoomPosition(60);
    std::int32_t position = 0;
    ASSERT_EQ(state.GetUserZoom(&position), 1);
    EXPECT_EQ(position, 60);
    EXPECT_TRUE(Logged("INF GetZoom User Zoom failed!"));
    std::int32_t minimum = -1, maximum = -1, step = -1;
    EXPECT_EQ(state.GetUserZoomRange(&minimum, &maximum, &step), 0);
    EXPECT_EQ(maximum, 0);
    EXPECT_EQ(step, 1);
}

TEST_F(ZoomTest, NothingWithoutSession) {
    ASSERT_EQ(KQ_DisconnectCamera(camera_), RESULT_OK);
    log.Mark();
    Sleeps().clear();
    EXPECT_EQ(state.SetUserZoom(3), 0);
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(Sleeps().empty());
    std::int32_t position = -1;
    EXPECT_EQ(state.GetUserZoom(&position), 0);
    EXPECT_EQ(Sleeps(), (std::vector<std::uint32_t>{10}));
    std::int32_t minimum = -1, maximum = -1, step = -1;
    EXPECT_EQ(state.GetUserZoomRange(&minimum, &maximum, &step), 0);
    EXPECT_EQ(minimum, -1);
    EXPECT_EQ(maximum, -1);
    EXPECT_EQ(step, -1);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetMaximumZoom), 0u);
}

TEST_F(ZoomTest, FailedSetKeepsThePendingPosition) {
    ASSERT_EQ(state.SetZoom(57), 1);
    ZTSim_WaitIdle();
    ZTSim_SetFault(ZTSIM_FN_SetZoom, 0x52, 1);
    EXPECT_EQ(state.SetUserZoom(3), 0);
    EXPECT_EQ(state.pendingZoom.load(), 57);
    EXPECT_EQ(Sleeps(), (std::vector<std::uint32_t>{125}));
    EXPECT_EQ(state.lastError.load(), 0x52u);
}

// The lens stops short once; the completion sends the request again, the
// second completion finds the lens there and sends nothing more.
TEST_F(ZoomTest, StoppedShortIsRepeatedExactlyOnce) {
    ZTSim_StopZoomShortOnce(40);
    const std::uint8_t eight[2] = {8, 0};  // 57 on the maximum 100
    ASSERT_EQ(KQ_SetDevicePropValue(camera_, 0xD02A, 2, eight), RESULT_OK);
    ZTSim_WaitIdle();
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetZoom), 2u);
    EXPECT_EQ(ZTSim_ZoomPosition(), 57);
    EXPECT_EQ(state.pendingZoom.load(), -1);
    const std::vector<std::string> lines = log.Lines();
    const auto repeat =
        std::find(lines.begin(), lines.end(), "INF OnZoomCompleted Repeat Zoom 40 57");
    ASSERT_NE(repeat, lines.end());
    ASSERT_NE(repeat + 1, lines.end());
    EXPECT_EQ(*(repeat + 1), "INF SetZoom 57");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "INF ZoomCompletedCallback"), 2);
}

TEST_F(ZoomTest, CompletionAtTheTargetKeepsTheRequestForOneLaterRepeat) {
    ASSERT_EQ(state.SetZoom(57), 1);
    ZTSim_WaitIdle();
    EXPECT_EQ(state.pendingZoom.load(), 57);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetZoom), 1u);
    // Moved elsewhere later: the next completion re-sends the old target.
    ZTSim_SetZoomPosition(20);
    ZoomCompletedCallback(&state.zoomCtx);
    ZTSim_WaitIdle();
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetZoom), 2u);
    EXPECT_EQ(ZTSim_ZoomPosition(), 57);
    EXPECT_EQ(state.pendingZoom.load(), -1);
}

TEST_F(ZoomTest, ForeignContextOrFailedReadSendsNothing) {
    ASSERT_EQ(state.SetZoom(57), 1);
    ZTSim_WaitIdle();
    ZTSim_SetZoomPosition(20);
    ZoomCompletedCallback(nullptr);
    ZoomCompletedCallback(&state.shootCtx);
    ZTSim_SetFault(ZTSIM_FN_GetZoom, 0x53, 1);
    ZoomCompletedCallback(&state.zoomCtx);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetZoom), 1u);
    EXPECT_EQ(state.pendingZoom.load(), 57);
    EXPECT_TRUE(Logged("ERR ZTGetZoom failed: ErrorCode = 0x00000053"));
}

}  // namespace
}  // namespace kq::test
