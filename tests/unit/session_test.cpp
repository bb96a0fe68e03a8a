// Camera enumeration, the camera object and the camera session.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bridge/camera_name.h"
#include "support/bridge_fixture.h"

namespace kq::test {
namespace {

constexpr std::uint32_t kFirstId = 0x11223344;
constexpr std::uint32_t kSecondId = 0x55667788;

class SessionTest : public BridgeTest {
protected:
    // A DeviceList buffer one byte larger than the smallest accepted, filled
    // with a pattern so that untouched bytes show.
    struct Buffer {
        alignas(4) std::uint8_t bytes[KQ_DEVICE_LIST_MIN_SIZE + 8];
        KQDeviceList* list() { return reinterpret_cast<KQDeviceList*>(bytes); }
    };

    KQResult List(Buffer& buffer, std::uint32_t size = KQ_DEVICE_LIST_MIN_SIZE) {
        std::memset(buffer.bytes, 0xAB, sizeof buffer.bytes);
        return KQ_GetDeviceList(&size, buffer.list());
    }

    std::uint32_t Connect() {
        KQ_StartSDK();
        Buffer buffer;
        EXPECT_EQ(List(buffer), RESULT_OK);
        std::uint32_t handle = 0;
        EXPECT_EQ(KQ_CreateCameraObject(&buffer.list()->entry, &handle), RESULT_OK);
        EXPECT_EQ(KQ_ConnectCamera(handle), RESULT_OK);
        return handle;
    }
};

TEST_F(SessionTest, DeviceListHoldsTheFirstCameraByteForByte) {
    const std::uint32_t ids[] = {kFirstId, kSecondId};
    const char* names[] = {"Cam A", "Cam B"};
    ZTSim_SetCameras(2, ids, names);
    KQ_StartSDK();
    Buffer buffer;
    ASSERT_EQ(List(buffer), RESULT_OK);
    const std::uint8_t* b = buffer.bytes;
    EXPECT_EQ(std::vector<std::uint8_t>(b, b + 4), (std::vector<std::uint8_t>{1, 0, 0, 0}));
    EXPECT_EQ(std::vector<std::uint8_t>(b + 4, b + 1028), std::vector<std::uint8_t>(1024, 0));
    const std::uint8_t name[] = {'C', 0, 'a', 0, 'm', 0, ' ', 0, 'A', 0, 0, 0};
    EXPECT_EQ(std::memcmp(b + 1028, name, sizeof name), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(b + 1028 + sizeof name, b + 1098),
              std::vector<std::uint8_t>(70 - sizeof name, 0));
    EXPECT_EQ(std::vector<std::uint8_t>(b + 1098, b + 1102), (std::vector<std::uint8_t>{0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(std::vector<std::uint8_t>(b + 1102, b + 1110), std::vector<std::uint8_t>(8, 0));
    EXPECT_EQ(b[1110], 0xAB) << "nothing past the entry is touched";
}

TEST_F(SessionTest, NoCameraGivesCountZeroAndLeavesTheRest) {
    ZTSim_SetCameras(0, nullptr, nullptr);
    KQ_StartSDK();
    Buffer buffer;
    ASSERT_EQ(List(buffer), RESULT_OK);
    EXPECT_EQ(+buffer.list()->count, 0u);
    EXPECT_EQ(buffer.bytes[4], 0xAB);
    EXPECT_EQ(log.Lines().back(), "INF GetCameraList: No camera devices available");
}

TEST_F(SessionTest, NotStartedGivesCountZeroWithoutAskingTheCameraSdk) {
    Buffer buffer;
    ASSERT_EQ(List(buffer), RESULT_OK);
    EXPECT_EQ(+buffer.list()->count, 0u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetCameraList), 0u);
}

TEST_F(SessionTest, SizeBoundaryIs1111Bytes) {
    KQ_StartSDK();
    Buffer buffer;
    EXPECT_EQ(List(buffer, 1110), RESULT_BUFFER_TOO_SMALL);
    EXPECT_EQ(buffer.bytes[0], 0xAB);
    EXPECT_EQ(List(buffer, 1111), RESULT_OK);
    EXPECT_EQ(+buffer.list()->count, 1u);
}

TEST(CameraName, LongNamesAreCutTo34UnitsWithoutSplittingAPair) {
    std::vector<std::uint16_t> source(40, 'x');
    std::uint16_t out[kMaxNameUnits + 1];
    EXPECT_EQ(CopyCameraName(out, source.data(), source.size()), 34u);
    EXPECT_EQ(out[34], 0);
    source[33] = 0xD83D;  // first half of a pair that would straddle the cut
    source[34] = 0xDE00;
    EXPECT_EQ(CopyCameraName(out, source.data(), source.size()), 33u);
    EXPECT_EQ(out[33], 0);
}

TEST(CameraName, UnterminatedSourceIsReadOnlyWithinItsUnits) {
    const std::uint16_t source[3] = {'a', 'b', 'c'};
    std::uint16_t out[kMaxNameUnits + 1];
    EXPECT_EQ(CopyCameraName(out, source, 3), 3u);
    EXPECT_EQ(out[3], 0);
}

TEST_F(SessionTest, OverlongNameFromTheCameraSdkStaysInsideTheField) {
    std::vector<std::uint16_t> name(ZT_CAMERA_NAME_UNITS, 'N');  // fills the record, no terminator
    ZTSim_SetCameraNameUtf16(0, name.data(), static_cast<std::uint32_t>(name.size()));
    KQ_StartSDK();
    Buffer buffer;
    ASSERT_EQ(List(buffer), RESULT_OK);
    // The name field starts at byte 1028 of the buffer: unit 33 is 'N', unit 34 the terminator.
    const std::uint8_t* field = buffer.bytes + 4 + 1024;
    EXPECT_EQ(std::vector<std::uint8_t>(field + 66, field + 70), (std::vector<std::uint8_t>{'N', 0, 0, 0}));
    EXPECT_EQ(+buffer.list()->entry.cameraHandle, 0x5A430001u);
}

TEST_F(SessionTest, FirstCameraObjectStaysCurrentUntilDisconnect) {
    KQDeviceListEntry first{}, second{};
    first.cameraHandle = kFirstId;
    second.cameraHandle = kSecondId;
    std::uint32_t out = 0;
    EXPECT_EQ(KQ_CreateCameraObject(&first, &out), RESULT_OK);
    EXPECT_EQ(out, kFirstId);
    EXPECT_EQ(KQ_CreateCameraObject(&second, &out), RESULT_OK);
    EXPECT_EQ(out, kSecondId);
    EXPECT_EQ(state.cameraHandle, kFirstId);
    EXPECT_EQ(KQ_RC_Release(kSecondId), RESULT_NOT_CONNECTED);
    EXPECT_EQ(KQ_DestroyCameraObject(kFirstId), RESULT_OK);
    EXPECT_EQ(state.cameraHandle, kFirstId);
}

TEST_F(SessionTest, ConnectBeforeStartFailsWithoutCallingTheCameraSdk) {
    EXPECT_EQ(KQ_ConnectCamera(0x5A430001u), RESULT_CONNECT_FAILED);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_OpenSession), 0u);
    EXPECT_EQ(state.connected, 0u);
}

TEST_F(SessionTest, ConnectOpensTheSessionWithItsFourSubscriptions) {
    const std::uint32_t handle = Connect();
    EXPECT_EQ(handle, 0x5A430001u);
    EXPECT_EQ(state.connected, 1u);
    EXPECT_EQ(ZTSim_OpenSessionCount(), 1u);
    // manager, list subscription, camera list, session, four session subscriptions
    EXPECT_EQ(ZTSim_OutstandingCount(), 8u);
}

TEST_F(SessionTest, ReconnectReleasesEverythingBeforeOpeningAgain) {
    const std::uint32_t handle = Connect();
    ASSERT_EQ(KQ_ConnectCamera(handle), RESULT_OK);
    EXPECT_EQ(ZTSim_OpenSessionCount(), 1u);
    EXPECT_EQ(ZTSim_OutstandingCount(), 8u);
    ZTSim_SetFault(ZTSIM_FN_OpenSession, 0x42, 1);
    EXPECT_EQ(KQ_ConnectCamera(handle), RESULT_CONNECT_FAILED);
    EXPECT_EQ(state.connected, 0u);
    EXPECT_EQ(state.lastError, 0x42u);
    EXPECT_EQ(ZTSim_OpenSessionCount(), 0u);
    EXPECT_EQ(MessageBoxes().back(), "ZTOpenSession failed: ErrorCode = 0x00000042");
}

TEST_F(SessionTest, ConnectTriesTheHandleItIsGivenEvenIfNotCurrent) {
    KQ_StartSDK();
    EXPECT_EQ(KQ_ConnectCamera(0x5A430001u), RESULT_OK);
    EXPECT_EQ(state.cameraHandle, 0u);
    EXPECT_EQ(KQ_ConnectCamera(0xBAD), RESULT_CONNECT_FAILED);
}

struct SubscriptionFailure {
    ZTSimFunction function;
    const char* message;
    std::uint32_t madeBefore;  // subscriptions the attempt made before failing
};

class SubscriptionFailureTest : public SessionTest,
                                public ::testing::WithParamInterface<SubscriptionFailure> {};

// The subscriptions the attempt made go before the session they were made
// through (the simulator reports a parent freed before its child).
TEST_P(SubscriptionFailureTest, FailedSubscriptionClosesTheSessionAndWhatWasMadeThroughIt) {
    KQ_StartSDK();
    ZTSim_SetFault(GetParam().function, 1, 1);
    EXPECT_EQ(KQ_ConnectCamera(0x5A430001u), RESULT_CONNECT_FAILED);
    EXPECT_EQ(state.connected, 0u);
    EXPECT_EQ(state.session.load(), nullptr);
    EXPECT_EQ(MessageBoxes().back(), GetParam().message);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_Free), GetParam().madeBefore + 1);
    // the manager and its list subscription stay
    EXPECT_EQ(ZTSim_OutstandingCount(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, SubscriptionFailureTest,
    ::testing::Values(
        SubscriptionFailure{ZTSIM_FN_ShootCompletedSubscribe, "ZTShootingCompletedSubscribe failed", 0},
        SubscriptionFailure{ZTSIM_FN_DownloadCompletedSubscribe, "ZTDownloadCompletedSubscribe failed", 1},
        SubscriptionFailure{ZTSIM_FN_ZoomCompletedSubscribe, "ZTZoomCompletedSubscribe failed", 2},
        SubscriptionFailure{ZTSIM_FN_CameraErrorSubscribe, "ZTCameraErrorSubscribe failed", 3}));

// The camera-error subscription was made through the session, so it goes
// with it rather than outliving it.
TEST_F(SessionTest, DisconnectReleasesEverySubscriptionOfTheSessionAndReconnectMakesOneEach) {
    const std::uint32_t handle = Connect();
    ASSERT_EQ(KQ_DisconnectCamera(handle), RESULT_OK);
    EXPECT_EQ(state.connected, 0u);
    EXPECT_EQ(state.cameraHandle, 0u);
    EXPECT_EQ(state.cameraErrorSub.load(), nullptr);
    EXPECT_EQ(ZTSim_OpenSessionCount(), 0u);
    // What stays is the manager, its list subscription and the camera list.
    EXPECT_EQ(ZTSim_OutstandingCount(), 3u);
    EXPECT_EQ(KQ_ConnectCamera(handle), RESULT_OK);
    EXPECT_EQ(ZTSim_RaiseCameraError(ZT_CAMERA_ERROR_FATAL), 1u) << "exactly one subscription";
    ZTSim_WaitIdle();
}

TEST_F(SessionTest, DisconnectWithoutManagerOnlyClearsTheEventCallback) {
    state.cameraHandle = 9;
    state.connected = 1;
    EXPECT_EQ(KQ_DisconnectCamera(9), RESULT_OK);
    EXPECT_EQ(state.cameraHandle, 9u);
    EXPECT_EQ(state.connected, 1u);
    EXPECT_EQ(log.Lines().back(), "INF CloseSession");
}

}  // namespace
}  // namespace kq::test
