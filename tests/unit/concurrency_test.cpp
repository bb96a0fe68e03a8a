// The bridge under real concurrency, each case made deterministic with the
// simulator's controls: Camera SDK calls held inside for a while, frames on
// two callback threads, a ZTFree that waits for running callbacks, and the
// registry's reports of a handle freed under a running call or before what
// was made through it. Every test ends with the fixture's checks: nothing
// outstanding, nothing freed twice or out of order, no handle record left.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/bridge_fixture.h"
#include "support/capture_support.h"

namespace kq::test {
namespace {

constexpr std::uint32_t kCamera = 0x5A430001u;

// Polls (bounded, a few seconds) until `done` holds.
template <typename Done>
bool Eventually(Done done) {
    for (int i = 0; i < 5000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// A gate a callback or a pause can wait at until the test opens it.
class Gate {
public:
    void Arrive() {
        std::unique_lock<std::mutex> lock(mutex_);
        ++arrived_;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
    }
    bool AwaitArrivals(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return arrived_ >= count; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int arrived_ = 0;
    bool open_ = false;
};

class ConcurrencyTest : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        ZTSim_SetPreviewRate(0);  // frames come only when a test raises them
        gate_ = &gate;
    }
    void TearDown() override {
        gate.Open();  // nothing may stay parked at it
        BridgeTest::TearDown();
        gate_ = nullptr;
        frames_ = 0;
        insideCall_ = nullptr;
    }

    static std::uint32_t Connect() {
        const std::uint32_t camera = ConnectFirstCamera();
        EXPECT_EQ(camera, kCamera);
        return camera;
    }

    // Where a callback or a pause waits until the test lets it go; gate_ is
    // the same gate for the callbacks, which cannot reach the fixture.
    Gate gate;
    static Gate* gate_;
    static std::atomic<int> frames_;
    // What the viewfinder callback does from inside, for the tests that need it.
    static void (*insideCall_)();
    static std::uint32_t KQ_STDCALL OnFrame(std::uint32_t, void*, std::uint32_t, const std::uint8_t*) {
        frames_.fetch_add(1);
        if (insideCall_ != nullptr) insideCall_();
        return 0;
    }
};

Gate* ConcurrencyTest::gate_ = nullptr;
std::atomic<int> ConcurrencyTest::frames_{0};
void (*ConcurrencyTest::insideCall_)() = nullptr;

// ---- Property calls on two client threads ----

std::vector<std::uint8_t> PropDesc(std::uint16_t code) {
    std::vector<std::uint8_t> dataset(256);
    std::uint32_t size = 256;
    EXPECT_EQ(KQ_GetDevicePropDesc(kCamera, code, &size, dataset.data()), RESULT_OK);
    dataset.resize(size);
    return dataset;
}

// Thread A has enumerated 0xD01C's values and is reading its current value
// (held inside the camera) when thread B enumerates 0xD01D's: each dataset
// still comes whole from its own enumeration, and no list is freed under a
// reader or twice.
TEST_F(ConcurrencyTest, DatasetsOnTwoThreadsEachComeFromTheirOwnEnumeration) {
    Connect();
    const std::vector<std::uint8_t> expectedA = PropDesc(0xD01C);
    const std::vector<std::uint8_t> expectedB = PropDesc(0xD01D);
    const std::uint32_t descriptorsBefore = ZTSim_CallCount(ZTSIM_FN_GetPropertyDesc);

    ZTSim_SetCallDelay(ZTSIM_FN_GetPropertyData, 60);
    std::vector<std::uint8_t> gotA;
    std::thread a([&] { gotA = PropDesc(0xD01C); });
    EXPECT_TRUE(Eventually([] { return ZTSim_CallsInFlight(ZTSIM_FN_GetPropertyData) == 1; }));
    const std::vector<std::uint8_t> gotB = PropDesc(0xD01D);
    a.join();

    EXPECT_EQ(gotA, expectedA);
    EXPECT_EQ(gotB, expectedB);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_GetPropertyDesc), descriptorsBefore + 2)
        << "each dataset enumerates once, however the cache changes meanwhile";
}

// ---- Releases while the bridge's own Camera SDK call is running ----

enum class Teardown { kDisconnect, kFinish };

struct RunningCall {
    const char* name;
    ZTSimFunction function;
    Teardown teardown;
};

class RunningCallTest : public ConcurrencyTest,
                        public ::testing::WithParamInterface<RunningCall> {};

std::uint32_t KQ_STDCALL IgnoreFrame(std::uint32_t, void*, std::uint32_t, const std::uint8_t*) {
    return 0;
}

// Starts the call on a Camera SDK thread, as the bridge makes it there.
void StartOnCameraThread(ZTSimFunction function, std::uint32_t camera) {
    switch (function) {
    case ZTSIM_FN_GetPreviewFrame:
        ASSERT_EQ(KQ_RC_StartViewFinder(camera, nullptr, IgnoreFrame), RESULT_OK);
        ZTSim_RaisePreviewFrames(1);
        break;
    case ZTSIM_FN_DownloadFile:
        // The shot-completed callback asks for the download.
        ASSERT_EQ(ZTShoot(bridgeState.session.load()), ZT_OK);
        break;
    case ZTSIM_FN_SetZoom: {
        // The zoom stops short; the zoom-completed callback asks again.
        ZTSim_StopZoomShortOnce(5);
        const std::uint8_t top[2] = {14, 0};
        ASSERT_EQ(KQ_SetDevicePropValue(camera, 0xD02A, 2, top), RESULT_OK);
        break;
    }
    default:
        FAIL() << "no way to start that call";
    }
}

TEST_P(RunningCallTest, TeardownWaitsForTheCallAndFreesTheSessionAfterIt) {
    const std::uint32_t camera = Connect();
    const ZTSimFunction function = GetParam().function;
    ZTSim_SetCallDelay(function, 80);
    StartOnCameraThread(function, camera);
    // For the zoom, the client's own first request was delayed too and is
    // over; the repeat from the callback is the one in flight.
    ASSERT_TRUE(Eventually([function] { return ZTSim_CallsInFlight(function) == 1; }));
    if (GetParam().teardown == Teardown::kDisconnect) {
        EXPECT_EQ(KQ_DisconnectCamera(camera), RESULT_OK);
    } else {
        EXPECT_EQ(KQ_FinishSDK(), RESULT_OK);
    }
    EXPECT_EQ(ZTSim_CallsInFlight(function), 0u) << "returned under a running call";
    EXPECT_EQ(ZTSim_OpenSessionCount(), 0u);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    EachCall, RunningCallTest,
    ::testing::Values(RunningCall{"FrameDisconnect", ZTSIM_FN_GetPreviewFrame, Teardown::kDisconnect},
                      RunningCall{"FrameFinish", ZTSIM_FN_GetPreviewFrame, Teardown::kFinish},
                      RunningCall{"DownloadDisconnect", ZTSIM_FN_DownloadFile, Teardown::kDisconnect},
                      RunningCall{"DownloadFinish", ZTSIM_FN_DownloadFile, Teardown::kFinish},
                      RunningCall{"ZoomDisconnect", ZTSIM_FN_SetZoom, Teardown::kDisconnect},
                      RunningCall{"ZoomFinish", ZTSIM_FN_SetZoom, Teardown::kFinish}),
    [](const ::testing::TestParamInfo<RunningCall>& each) { return std::string(each.param.name); });

// A second listing starts while the first one's ZTGetCameraList is under
// way and replaces the list the first is making: each still answers with a
// whole list, its own, as when they run one after the other.
TEST_F(ConcurrencyTest, TwoListingsAtOnceEachAnswerFromAWholeList) {
    KQ_StartSDK();
    ZTSim_SetCallDelay(ZTSIM_FN_GetCameraList, 100);
    KQDeviceList first{};
    std::thread lister([&] {
        std::uint32_t size = KQ_DEVICE_LIST_MIN_SIZE;
        KQ_GetDeviceList(&size, &first);
    });
    EXPECT_TRUE(Eventually([] { return ZTSim_CallsInFlight(ZTSIM_FN_GetCameraList) == 1; }));
    KQDeviceList second{};
    std::uint32_t size = KQ_DEVICE_LIST_MIN_SIZE;
    KQ_GetDeviceList(&size, &second);
    lister.join();
    EXPECT_EQ(first.count, 1u) << "the first listing lost the camera";
    EXPECT_EQ(second.count, 1u);
    // (Copied out: the record is packed, its handle field unaligned.)
    const std::uint32_t firstHandle = first.entry.cameraHandle;
    const std::uint32_t secondHandle = second.entry.cameraHandle;
    EXPECT_EQ(firstHandle, kCamera);
    EXPECT_EQ(secondHandle, kCamera);
    ZTSim_SetCallDelay(ZTSIM_FN_GetCameraList, 0);
}

// The camera list is read while another thread finishes, and a zoom read
// runs while another disconnects: each ends with a whole answer or a clean
// failure, and nothing is freed under the running call.
TEST_F(ConcurrencyTest, ListingAndZoomReadRacingTheTeardownEndCleanly) {
    KQ_StartSDK();
    ZTSim_SetCallDelay(ZTSIM_FN_GetCameraList, 60);
    KQDeviceList list{};
    KQResult listed = 0xFFFFFFFFu;
    std::thread lister([&] {
        std::uint32_t size = KQ_DEVICE_LIST_MIN_SIZE;
        listed = KQ_GetDeviceList(&size, &list);
    });
    EXPECT_TRUE(Eventually([] { return ZTSim_CallsInFlight(ZTSIM_FN_GetCameraList) == 1; }));
    KQ_FinishSDK();
    lister.join();
    EXPECT_EQ(listed, RESULT_OK);
    EXPECT_TRUE(list.count == 0 || list.entry.cameraHandle == kCamera);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);

    ZTSim_SetCallDelay(ZTSIM_FN_GetCameraList, 0);
    const std::uint32_t camera = Connect();
    ZTSim_SetCallDelay(ZTSIM_FN_GetZoom, 60);
    KQResult read = 0xFFFFFFFFu;
    std::thread reader([&] {
        std::uint8_t value[2] = {};
        std::uint32_t size = sizeof value;
        read = KQ_GetDevicePropValue(camera, 0xD02A, &size, value);
    });
    EXPECT_TRUE(Eventually([] { return ZTSim_CallsInFlight(ZTSIM_FN_GetZoom) == 1; }));
    EXPECT_EQ(KQ_DisconnectCamera(camera), RESULT_OK);
    reader.join();
    EXPECT_TRUE(read == RESULT_OK || read == RESULT_DEVICE_ERROR);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);
}

// ---- Transfers on two client threads ----

struct Transfer {
    std::vector<std::uint8_t> bytes;
    int chunks = 0;
    bool changedWhileRead = false;
    bool holdFirstChunk = false;         // stay on the first chunk for a while
    std::atomic<bool> holding{false};    // on the first chunk now
    std::atomic<int>* othersChunks = nullptr;
};

std::atomic<int> secondTransferChunks{0};

std::uint32_t KQ_STDCALL Collect(std::uint32_t, std::uint32_t, void* context,
                                 const KQTransferProgress* progress) {
    auto* transfer = static_cast<Transfer*>(context);
    if (progress->status != KQ_TRANSFER_DATA) return 0;
    const std::vector<std::uint8_t> copy(progress->data, progress->data + progress->count);
    if (transfer->othersChunks != nullptr) transfer->othersChunks->fetch_add(1);
    if (transfer->holdFirstChunk && transfer->chunks == 0) {
        // Stay on the first chunk until the other transfer has moved on to
        // its second, then check that this one did not change under us.
        transfer->holding = true;
        Eventually([] { return secondTransferChunks.load() >= 2; });
        transfer->changedWhileRead =
            std::memcmp(copy.data(), progress->data, progress->count) != 0;
    }
    transfer->bytes.insert(transfer->bytes.end(), copy.begin(), copy.end());
    ++transfer->chunks;
    return 0;
}

// While one transfer is on its first chunk, a second one for the same
// picture gets nothing (the picture is the first's, as when the first has
// run and deleted it); once a newer picture has come, the second transfers
// that one into a buffer of its own.
TEST_F(ConcurrencyTest, TwoTransfersAtOnceEachTakeTheirOwnPictureAndBuffer) {
    Connect();
    const Path firstFile = TestFile(3 * KQ_TRANSFER_CHUNK_SIZE + 100);
    const Path secondFile = TestFile(2 * KQ_TRANSFER_CHUNK_SIZE + 7);
    const std::vector<std::uint8_t> firstContent = ReadWholeFile(firstFile);
    const std::vector<std::uint8_t> secondContent = ReadWholeFile(secondFile);
    ZTSim_RaiseDownloadCompleted(1, firstFile.data());
    ZTSim_WaitIdle();
    secondTransferChunks = 0;

    Transfer first;
    first.holdFirstChunk = true;
    Transfer second;
    second.othersChunks = &secondTransferChunks;
    std::thread reader([&] {
        KQ_RC_GetReleasedData(kCamera, 0, kqPTP_FULL_VIEW_RELEASED, 0, &first, Collect);
    });
    EXPECT_TRUE(Eventually([&] { return first.holding.load(); }));
    KQ_RC_GetReleasedData(kCamera, 0, kqPTP_FULL_VIEW_RELEASED, 0, &second, Collect);
    EXPECT_EQ(second.chunks, 0) << "the picture a running transfer took was delivered twice";
    ZTSim_RaiseDownloadCompleted(2, secondFile.data());
    ZTSim_WaitIdle();
    KQ_RC_GetReleasedData(kCamera, 0, kqPTP_FULL_VIEW_RELEASED, 0, &second, Collect);
    reader.join();
    EXPECT_FALSE(first.changedWhileRead) << "a chunk changed while the client was reading it";
    EXPECT_EQ(first.bytes, firstContent);
    EXPECT_EQ(second.bytes, secondContent);
    EXPECT_FALSE(Exists(firstFile));
    EXPECT_FALSE(Exists(secondFile));
}

// ---- Frames on two Camera SDK threads ----

Gate* pauseGate = nullptr;

void PauseAtGate(std::uint32_t milliseconds) {
    if (milliseconds == 10 && pauseGate != nullptr) pauseGate->Arrive();
}

void NoMessageBox(const char*) {}

// A frame announced on the second thread while the first is in its pause
// after a delivery is fetched and delivered, not dropped.
TEST_F(ConcurrencyTest, FrameDuringThePauseAfterAnotherIsDelivered) {
    const std::uint32_t camera = Connect();
    Gate& pause = gate;
    pauseGate = &pause;
    platform::Hooks hooks{PauseAtGate, NoMessageBox};
    platform::SetHooksForTesting(&hooks);
    ZTSim_SetCallbackThreads(2);
    ASSERT_EQ(KQ_RC_StartViewFinder(camera, nullptr, OnFrame), RESULT_OK);
    ZTSim_RaisePreviewFrames(1);
    ASSERT_TRUE(pause.AwaitArrivals(1));
    ZTSim_RaisePreviewFrames(1);
    EXPECT_TRUE(pause.AwaitArrivals(2)) << "the second frame was not delivered";
    EXPECT_EQ(frames_.load(), 2);
    EXPECT_EQ(ZTSim_PreviewFramesHandedOut(), 2u);
    pause.Open();
    EXPECT_EQ(KQ_RC_TermViewFinder(camera), RESULT_OK);
    pauseGate = nullptr;
}

// ---- A second start without a finish ----

TEST_F(ConcurrencyTest, SecondStartReleasesTheOldManagersChildrenBeforeIt) {
    Connect();
    ASSERT_EQ(KQ_RC_StartViewFinder(kCamera, nullptr, OnFrame), RESULT_OK);
    ASSERT_EQ(KQ_StartSDK(), RESULT_OK);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u) << "a parent was freed before its children";
    EXPECT_EQ(ZTSim_OpenSessionCount(), 0u);
    EXPECT_EQ(ZTSim_OutstandingCount(), 2u) << "the new manager and its list subscription";
}

// ---- Calls from inside callbacks ----

// Stopping everything from inside the viewfinder callback, with a Camera
// SDK whose ZTFree waits for running callbacks and with one that does not:
// no deadlock, and what was released is freed once the callback returns.
class InsideCallbackTest : public ConcurrencyTest, public ::testing::WithParamInterface<bool> {};

TEST_P(InsideCallbackTest, TeardownFromInsideTheViewfinderCallbackCompletesAfterIt) {
    ZTSim_SetFreeWaitsForCallbacks(GetParam() ? 1 : 0);
    const std::uint32_t camera = Connect();
    insideCall_ = [] {
        KQ_RC_TermViewFinder(kCamera);
        KQ_DisconnectCamera(kCamera);
        KQ_FinishSDK();
    };
    ASSERT_EQ(KQ_RC_StartViewFinder(camera, nullptr, OnFrame), RESULT_OK);
    ZTSim_RaisePreviewFrames(1);
    ZTSim_WaitIdle();
    EXPECT_EQ(frames_.load(), 1);
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);
    EXPECT_EQ(state.handles.LiveRecordCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(BothKindsOfCameraSdk, InsideCallbackTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& each) {
                             return std::string(each.param ? "FreeWaits" : "FreeNeverWaits");
                         });

// A release from inside the viewfinder callback cannot complete there: the
// picture's notifications need the very thread the callback is holding. It
// ends by its time-out (120 polls), and the picture follows afterwards.
TEST_F(ConcurrencyTest, ReleaseFromInsideACallbackOnTheDeliveringThreadEndsByItsTimeOut) {
    const std::uint32_t camera = Connect();
    ZTSim_SetShotDelays(0, 0);
    insideCall_ = [] { KQ_RC_Release(kCamera); };
    ASSERT_EQ(KQ_RC_StartViewFinder(camera, nullptr, OnFrame), RESULT_OK);
    ZTSim_RaisePreviewFrames(1);
    ZTSim_WaitIdle();
    insideCall_ = nullptr;
    EXPECT_EQ(std::count(Sleeps().begin(), Sleeps().end(), 250u), 120);
    EXPECT_EQ(ZTSim_ShotCount(), 1u);
    EXPECT_EQ(state.downloadPending.load(), 0u) << "the picture arrived once the callback returned";
}

// A viewfinder callback that outlasts the wait: the stop returns at the
// bound, names what is still in use, and the subscription goes when the
// callback returns.
TEST_F(ConcurrencyTest, CallbackOutlastingTheWaitIsNamedAndFreedWhenItReturns) {
    const std::uint32_t camera = Connect();
    state.handles.SetWaitLimitForTesting(20);
    Gate& hold = gate;
    insideCall_ = [] { gate_->Arrive(); };
    ASSERT_EQ(KQ_RC_StartViewFinder(camera, nullptr, OnFrame), RESULT_OK);
    ZTSim_RaisePreviewFrames(1);
    ASSERT_TRUE(hold.AwaitArrivals(1));
    log.Mark();
    EXPECT_EQ(KQ_RC_TermViewFinder(camera), RESULT_OK);
    const std::vector<std::string> lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "ERR Release: preview-frame subscription still in use, left to its last user"),
              lines.end());
    const std::uint32_t outstanding = ZTSim_OutstandingCount();
    hold.Open();
    ZTSim_WaitIdle();
    EXPECT_EQ(ZTSim_OutstandingCount(), outstanding - 1) << "freed by the callback on its way out";
}

}  // namespace
}  // namespace kq::test
