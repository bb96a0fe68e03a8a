#include <gtest/gtest.h>

#include "support/bridge_fixture.h"

namespace kq::test {
namespace {

class LifecycleTest : public BridgeTest {};

TEST_F(LifecycleTest, StartFinishStartInitialisesTheCameraSdkOnce) {
    KQ_StartSDK();
    ZTHandle firstManager = state.cameraManager.load();
    ZTHandle firstSubscription = state.listChangedSub.load();
    KQ_FinishSDK();
    KQ_StartSDK();
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_InitializeSDK), 1u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetCameraManager), 2u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_CameraListChangedSubscribe), 2u);
    EXPECT_NE(state.cameraManager.load(), nullptr);
    EXPECT_NE(state.listChangedSub.load(), nullptr);
    EXPECT_EQ(state.sdkStarted, 1u);
    (void)firstManager;
    (void)firstSubscription;
}

TEST_F(LifecycleTest, FailedInitialisationStillTakesManagerAndSubscribes) {
    ZTSim_SetFault(ZTSIM_FN_InitializeSDK, 0x77, 1);
    KQ_StartSDK();
    EXPECT_EQ(state.lastError, 0x77u);
    EXPECT_EQ(state.sdkStarted, 1u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetCameraManager), 1u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_CameraListChangedSubscribe), 1u);
    EXPECT_EQ(MessageBoxes(), (std::vector<std::string>{"ZTInitializeSDK failed: ErrorCode = 0x00000077"}));
}

TEST_F(LifecycleTest, MissingManagerAndSubscriptionAreReportedWithoutCode) {
    ZTSim_SetFault(ZTSIM_FN_GetCameraManager, 1, 1);
    KQ_StartSDK();
    EXPECT_EQ(state.cameraManager.load(), nullptr);
    EXPECT_EQ(state.listChangedSub.load(), nullptr);
    EXPECT_EQ(state.sdkStarted, 1u);
    EXPECT_EQ(MessageBoxes(), (std::vector<std::string>{"ZTGetCameraManager failed",
                                                        "ZTCameraListChangedSubscribe failed"}));
}

TEST_F(LifecycleTest, SecondStartWithoutFinishReleasesTheFirstManager) {
    KQ_StartSDK();
    KQ_StartSDK();
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_InitializeSDK), 2u);
    EXPECT_EQ(ZTSim_OutstandingCount(), 2u);  // one manager, one subscription
}

TEST_F(LifecycleTest, FinishTwiceIsHarmless) {
    KQ_StartSDK();
    KQ_FinishSDK();
    KQ_FinishSDK();
    EXPECT_EQ(state.sdkStarted, 0u);
    EXPECT_EQ(state.skipSdkInit, 1u);
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF KQ_StartSDK", "INF Init", "INF KQ_FinishSDK",
                                                     "INF Destroy", "INF CleanUp 0", "INF KQ_FinishSDK",
                                                     "INF Destroy", "INF CleanUp 0"}));
}

TEST_F(LifecycleTest, UnloadCleanUpTerminatesOnlyAStartedSdk) {
    KQ_StartSDK();
    state.CleanUp(1);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_TerminateSDK), 1u);
    EXPECT_EQ(state.skipSdkInit, 0u);

    KQ_StartSDK();
    KQ_FinishSDK();
    state.CleanUp(1);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_TerminateSDK), 1u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_InitializeSDK), 2u);
}

TEST_F(LifecycleTest, FinishKeepsConnectionStateButReleasesEveryHandle) {
    KQ_StartSDK();
    state.connected = 1;
    state.cameraHandle = 42;
    KQ_FinishSDK();
    EXPECT_EQ(state.connected, 1u);
    EXPECT_EQ(state.cameraHandle, 42u);
    EXPECT_EQ(KQ_RC_Release(7), RESULT_WRONG_CAMERA);
}

TEST_F(LifecycleTest, CleanUpClearsClientCallbacksAndContexts) {
    KQ_StartSDK();
    int context = 0;
    state.eventCallback.Set(reinterpret_cast<KQEventCallback>(1), &context);
    state.viewfinderCallback.Set(reinterpret_cast<KQViewFinderCallback>(1), &context);
    state.shootCtx = &state;
    state.zoomCtx = &state;
    state.previewCtx = &state;
    state.download.downloadCtx = &state;
    KQ_FinishSDK();
    EXPECT_EQ(state.eventCallback.callback(), nullptr);
    EXPECT_EQ(state.eventCallback.context(), nullptr);
    EXPECT_EQ(state.viewfinderCallback.callback(), nullptr);
    EXPECT_EQ(state.viewfinderCallback.context(), nullptr);
    EXPECT_EQ(state.shootCtx.load(), nullptr);
    EXPECT_EQ(state.zoomCtx.load(), nullptr);
    EXPECT_EQ(state.previewCtx.load(), nullptr);
    EXPECT_EQ(state.download.downloadCtx.load(), nullptr);
}

}  // namespace
}  // namespace kq::test
