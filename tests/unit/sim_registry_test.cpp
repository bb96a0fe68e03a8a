// The simulated Camera SDK's own bookkeeping: handle records, free faults,
// injected faults, call counters and notification delivery.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera_sdk.h"
#include "zt_sim.h"

namespace {

struct Delivery {
    void* context;
    uint32_t cameraId;
    int32_t changeKind;
    uint8_t lastRecordByte;
    std::thread::id thread;
};

struct Probe {
    std::mutex mutex;
    std::vector<Delivery> deliveries;
    ZTHandle freeOnDelivery = nullptr;  // released from inside the callback

    std::vector<Delivery> Seen() {
        std::lock_guard<std::mutex> lock(mutex);
        return deliveries;
    }
};

void ZT_STDCALL OnListChanged(void* context, const void* record, int32_t changeKind) {
    Probe* probe = static_cast<Probe*>(context);
    Delivery seen{};
    seen.context = context;
    std::memcpy(&seen.cameraId, record, sizeof seen.cameraId);
    seen.changeKind = changeKind;
    // The whole record must be readable, up to its last byte.
    seen.lastRecordByte = static_cast<const uint8_t*>(record)[ZT_CAMERA_RECORD_SIZE - 1];
    seen.thread = std::this_thread::get_id();
    ZTHandle toFree = nullptr;
    {
        std::lock_guard<std::mutex> lock(probe->mutex);
        probe->deliveries.push_back(seen);
        toFree = probe->freeOnDelivery;
        probe->freeOnDelivery = nullptr;
    }
    if (toFree != nullptr) ZTFree(toFree);
}

// Holds the callback thread inside its first delivery until opened, so a test
// can queue more notifications behind it.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool open = false;

    void WaitEntered() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return entered; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        changed.notify_all();
    }
};

void ZT_STDCALL HoldOnGate(void* context, const void*, int32_t) {
    Gate* gate = static_cast<Gate*>(context);
    std::unique_lock<std::mutex> lock(gate->mutex);
    gate->entered = true;
    gate->changed.notify_all();
    gate->changed.wait(lock, [gate] { return gate->open; });
}

std::string Describe() {
    const uint32_t length = ZTSim_Describe(nullptr, 0);
    std::string text(length + 1, '\0');
    ZTSim_Describe(&text[0], length + 1);
    text.resize(length);
    return text;
}

class SimRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZTInitializeSDK();
        ZTSim_Reset();  // keeps the SDK initialised, clears counters and records
    }
    void TearDown() override { ZTSim_Reset(); }
};

TEST_F(SimRegistryTest, DoubleAndForeignFreesAreRecordedNotFatal) {
    ZTHandle manager = ZTGetCameraManager();
    ASSERT_NE(manager, nullptr);

    ZTFree(nullptr);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);

    ZTFree(manager);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);
    ZTFree(manager);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 1u);

    int foreign = 0;
    ZTFree(&foreign);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 2u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_Free), 4u);

    const std::string text = Describe();
    EXPECT_NE(text.find("already released camera manager from ZTGetCameraManager"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("never handed out"), std::string::npos) << text;
}

TEST_F(SimRegistryTest, OutstandingCountFollowsHandlesAndDescribeNamesTheirMaker) {
    Probe probe;
    ZTHandle manager = ZTGetCameraManager();
    ZTHandle subscription = ZTCameraListChangedSubscribe(manager, OnListChanged, &probe);
    ASSERT_NE(subscription, nullptr);
    EXPECT_EQ(ZTSim_OutstandingCount(), 2u);
    EXPECT_NE(Describe().find("subscription from ZTCameraListChangedSubscribe"), std::string::npos);

    // A description cut to a small buffer stays terminated and in bounds.
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_GT(ZTSim_Describe(small, sizeof small), sizeof small);
    EXPECT_EQ(small[sizeof small - 1], '\0');

    ZTFree(subscription);
    ZTFree(manager);
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);
}

TEST_F(SimRegistryTest, ResetForgetsRecordsAndALateFreeIsAFault) {
    ZTHandle manager = ZTGetCameraManager();
    ZTSim_Reset();
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetCameraManager), 0u);

    ZTFree(manager);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 1u);
    EXPECT_NE(Describe().find("before the last reset"), std::string::npos);
}

TEST_F(SimRegistryTest, HandleFaultGivesNullForExactlyTheInjectedCalls) {
    ZTSim_SetFault(ZTSIM_FN_GetCameraManager, 0x1234u, 2);
    EXPECT_EQ(ZTGetCameraManager(), nullptr);
    EXPECT_EQ(ZTGetCameraManager(), nullptr);
    ZTHandle manager = ZTGetCameraManager();
    EXPECT_NE(manager, nullptr);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetCameraManager), 3u);
    EXPECT_EQ(ZTSim_OutstandingCount(), 1u);

    ZTSim_SetFault(ZTSIM_FN_CameraListChangedSubscribe, 0, 1);
    Probe probe;
    EXPECT_EQ(ZTCameraListChangedSubscribe(manager, OnListChanged, &probe), nullptr);
    EXPECT_EQ(ZTSim_OutstandingCount(), 1u);
}

TEST_F(SimRegistryTest, ErrorFaultGivesItsCodeForExactlyTheInjectedCalls) {
    ZTSim_SetFault(ZTSIM_FN_InitializeSDK, 0x8007u, 1);
    EXPECT_EQ(ZTInitializeSDK(), 0x8007u);
    EXPECT_EQ(ZTInitializeSDK(), ZT_OK);

    ZTSim_SetFault(ZTSIM_FN_Shoot, 0x55u, -1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ZTShoot(nullptr), 0x55u);
    ZTSim_SetFault(ZTSIM_FN_Shoot, 0x55u, 0);
    EXPECT_EQ(ZTShoot(nullptr), ZTSIM_E_INVALID_HANDLE) << "cleared: the call runs normally again";
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_Shoot), 4u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_InitializeSDK), 2u);
}

TEST_F(SimRegistryTest, HandlesNeedAnInitialisedSdkAndAKnownSource) {
    Probe probe;
    int notAManager = 0;
    EXPECT_EQ(ZTCameraListChangedSubscribe(nullptr, OnListChanged, &probe), nullptr);
    EXPECT_EQ(ZTCameraListChangedSubscribe(&notAManager, OnListChanged, &probe), nullptr);
    EXPECT_EQ(ZTCameraErrorSubscribe(&notAManager, nullptr, &probe), nullptr);

    EXPECT_EQ(ZTTerminateSDK(), ZT_OK);
    EXPECT_EQ(ZTSim_IsInitialized(), 0);
    EXPECT_EQ(ZTGetCameraManager(), nullptr);
    EXPECT_EQ(ZTInitializeSDK(), ZT_OK);
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
}

TEST_F(SimRegistryTest, UnofferedCallsLeaveOutPointersAlone) {
    const char* name = "untouched";
    EXPECT_EQ(ZTGetPropertyName(9999, &name), ZTSIM_E_UNSUPPORTED);
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(ZTGetPropertyName(0, nullptr), ZTSIM_E_INVALID_ARGUMENT);

    int32_t value = 77;
    EXPECT_EQ(ZTGetZoom(nullptr, &value), ZTSIM_E_INVALID_HANDLE);
    EXPECT_EQ(value, 77);
    ZTHandle session = &value;
    EXPECT_EQ(ZTOpenSession(nullptr, 1, &session), ZTSIM_E_INVALID_HANDLE);
    EXPECT_EQ(session, static_cast<ZTHandle>(&value));
}

TEST_F(SimRegistryTest, CameraListNotificationReachesLiveSubscriptionOnItsOwnThread) {
    Probe live;
    Probe freed;
    ZTHandle manager = ZTGetCameraManager();
    ZTHandle liveSub = ZTCameraListChangedSubscribe(manager, OnListChanged, &live);
    ZTHandle freedSub = ZTCameraListChangedSubscribe(manager, OnListChanged, &freed);
    ASSERT_NE(liveSub, nullptr);
    ASSERT_NE(freedSub, nullptr);
    ZTFree(freedSub);

    EXPECT_EQ(ZTSim_RaiseCameraListChanged(0xC0FFEEu, ZT_CAMERA_LIST_REMOVED), 1u);
    ZTSim_WaitIdle();

    const std::vector<Delivery> seen = live.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].context, &live);
    EXPECT_EQ(seen[0].cameraId, 0xC0FFEEu);
    EXPECT_EQ(seen[0].changeKind, ZT_CAMERA_LIST_REMOVED);
    EXPECT_NE(seen[0].thread, std::this_thread::get_id());
    EXPECT_TRUE(freed.Seen().empty());
}

TEST_F(SimRegistryTest, SubscriptionFreedInsideItsCallbackGetsNoFurtherNotifications) {
    Gate gate;
    Probe probe;
    ZTHandle manager = ZTGetCameraManager();
    ZTHandle blocker = ZTCameraListChangedSubscribe(manager, HoldOnGate, &gate);
    ZTHandle subscription = ZTCameraListChangedSubscribe(manager, OnListChanged, &probe);
    ASSERT_NE(blocker, nullptr);
    ASSERT_NE(subscription, nullptr);
    probe.freeOnDelivery = subscription;

    // The second notification is queued while the first is still being
    // delivered, before the subscription frees itself.
    EXPECT_EQ(ZTSim_RaiseCameraListChanged(1, 0), 2u);
    gate.WaitEntered();
    EXPECT_EQ(ZTSim_RaiseCameraListChanged(2, 0), 2u);
    gate.Open();
    ZTSim_WaitIdle();

    const std::vector<Delivery> seen = probe.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].cameraId, 1u);
    EXPECT_EQ(ZTSim_OutstandingCount(), 2u);  // the manager and the blocker
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);
}

// Terminating while a callback is running must neither wait for it (it may
// run under a loader lock) nor let queued notifications through afterwards.
TEST_F(SimRegistryTest, TerminateDoesNotWaitAndDropsQueuedNotifications) {
    Gate gate;
    Probe probe;
    ZTHandle manager = ZTGetCameraManager();
    ASSERT_NE(ZTCameraListChangedSubscribe(manager, HoldOnGate, &gate), nullptr);
    ASSERT_NE(ZTCameraListChangedSubscribe(manager, OnListChanged, &probe), nullptr);

    EXPECT_EQ(ZTSim_RaiseCameraListChanged(1, 0), 2u);
    gate.WaitEntered();
    EXPECT_EQ(ZTTerminateSDK(), ZT_OK);
    EXPECT_EQ(ZTSim_RaiseCameraListChanged(2, 0), 0u);
    gate.Open();
    ZTSim_WaitIdle();

    EXPECT_TRUE(probe.Seen().empty());
    EXPECT_EQ(ZTInitializeSDK(), ZT_OK);
}

}  // namespace
