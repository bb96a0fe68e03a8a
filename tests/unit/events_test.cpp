#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "bridge/callbacks.h"
#include "support/bridge_fixture.h"

namespace kq::test {
namespace {

struct ReceivedEvent {
    std::uint32_t camera;
    void* context;
    std::uint8_t bytes[sizeof(KQEventRecord)];
    std::thread::id thread;
};

std::mutex receivedMutex;
std::vector<ReceivedEvent> received;

std::uint32_t KQ_STDCALL RecordEvent(std::uint32_t camera, void* context, const KQEventRecord* record) {
    ReceivedEvent event;
    event.camera = camera;
    event.context = context;
    std::memcpy(event.bytes, record, sizeof event.bytes);
    event.thread = std::this_thread::get_id();
    std::lock_guard<std::mutex> lock(receivedMutex);
    received.push_back(event);
    return 0;
}

std::vector<std::uint8_t> Record(std::uint16_t code, std::uint32_t p1, std::uint32_t p2) {
    std::vector<std::uint8_t> bytes = {24, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(code),
                                       static_cast<std::uint8_t>(code >> 8), 0, 0, 0, 0};
    for (std::uint32_t p : {p1, p2, 0u}) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(p >> (8 * i)));
    }
    return bytes;
}

std::vector<std::uint8_t> Bytes(const ReceivedEvent& event) {
    return std::vector<std::uint8_t>(event.bytes, event.bytes + sizeof event.bytes);
}

class EventTest : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        received.clear();
    }
    int context_ = 0;
};

TEST_F(EventTest, CameraErrorOfKind8SendsTwoRecordsInOrder) {
    StandInSubscription(state.cameraErrorSub);
    state.cameraHandle = 77;
    ASSERT_EQ(KQ_SetEventCallBack(77, &context_, RecordEvent), RESULT_OK);
    CameraErrorCallback(&state, ZT_CAMERA_ERROR_FATAL);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(Bytes(received[0]), Record(0xC00A, 2, 3));
    EXPECT_EQ(Bytes(received[1]), Record(0xC00A, 2, 4));
    EXPECT_EQ(received[0].camera, 77u);
    EXPECT_EQ(received[0].context, &context_);
}

TEST_F(EventTest, OtherCameraErrorsAndMissingCallbackOnlyLog) {
    StandInSubscription(state.cameraErrorSub);
    CameraErrorCallback(&state, ZT_CAMERA_ERROR_FATAL);
    ASSERT_EQ(KQ_SetEventCallBack(0, nullptr, RecordEvent), RESULT_OK);
    log.Mark();
    CameraErrorCallback(&state, 7);
    CameraErrorCallback(nullptr, ZT_CAMERA_ERROR_FATAL);
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"ERR CameraErrorCallback", "ERR CameraErrorCallback"}));
}

TEST_F(EventTest, CameraRemovalArrivesOnTheSimulatorThread) {
    KQ_StartSDK();
    state.cameraHandle = 0x51;
    ASSERT_EQ(KQ_SetEventCallBack(0x51, &context_, RecordEvent), RESULT_OK);
    EXPECT_EQ(ZTSim_RaiseCameraListChanged(0x51, ZT_CAMERA_LIST_REMOVED), 1u);
    ZTSim_WaitIdle();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(Bytes(received[0]), Record(0xD001, 0, 0));
    EXPECT_NE(received[0].thread, std::this_thread::get_id());
}

TEST_F(EventTest, ListChangesForAnotherCameraOrKindOnlyLog) {
    KQ_StartSDK();
    state.cameraHandle = 0x51;
    ASSERT_EQ(KQ_SetEventCallBack(0x51, nullptr, RecordEvent), RESULT_OK);
    log.Mark();
    ZTSim_RaiseCameraListChanged(0x52, ZT_CAMERA_LIST_REMOVED);
    ZTSim_RaiseCameraListChanged(0x51, 2);
    ZTSim_WaitIdle();
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF CameraListChangedCallback",
                                                     "INF CameraListChangedCallback"}));
}

TEST_F(EventTest, NoEventAfterTheCallbackIsCleared) {
    StandInSubscription(state.cameraErrorSub);
    state.cameraHandle = 5;
    ASSERT_EQ(KQ_SetEventCallBack(5, nullptr, RecordEvent), RESULT_OK);
    ASSERT_EQ(KQ_DisconnectCamera(5), RESULT_OK);
    CameraErrorCallback(&state, ZT_CAMERA_ERROR_FATAL);
    EXPECT_TRUE(received.empty());
}

}  // namespace
}  // namespace kq::test
