// The release: shot, download and hand-over on the simulator's threads, the
// polled wait with its time-out, the exposure/focus trigger, and the
// download-completed callback's record keeping.
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

#include "bridge/callbacks.h"
#include "capture/capture_testing.h"
#include "capture/quiet_preview_log.h"
#include "platform/platform.h"
#include "support/bridge_fixture.h"
#include "support/capture_support.h"

namespace kq::test {
namespace {

struct SeenEvent {
    std::uint16_t code;
    std::uint32_t param1;
    std::thread::id thread;
    std::uint32_t pendingAtEvent;
    Path pathAtEvent;
};

std::mutex seenMutex;
std::vector<SeenEvent> seen;

std::uint32_t KQ_STDCALL OnEvent(std::uint32_t, void*, const KQEventRecord* record) {
    SeenEvent event{record->eventCode, record->param1, std::this_thread::get_id(),
                    bridgeState.downloadPending.load(), RecordedPath()};
    std::lock_guard<std::mutex> lock(seenMutex);
    seen.push_back(event);
    return 0;
}

// Sleep hooks: each records its call like the fixture's fake, then acts.
std::mutex sleepMutex;
std::vector<std::uint32_t> sleeps;
Path pathToRaise;

std::vector<std::string> reports;

void RecordReport(const char* text) {
    std::lock_guard<std::mutex> lock(sleepMutex);
    reports.push_back(text);
}

void RecordSleep(std::uint32_t ms) {
    std::lock_guard<std::mutex> lock(sleepMutex);
    sleeps.push_back(ms);
}

// Lets the simulator deliver everything it has queued, as a real sleep would.
void SleepUntilSimulatorIdle(std::uint32_t ms) {
    RecordSleep(ms);
    ZTSim_WaitIdle();
}

// The download completes while the release sleeps for the 120th time.
void CompleteDuringThe120thSleep(std::uint32_t ms) {
    RecordSleep(ms);
    if (sleeps.size() == 120) {
        ZTSim_RaiseDownloadCompleted(7, pathToRaise.data());
        ZTSim_WaitIdle();
    }
}

void* FailingAllocator(std::size_t) { return nullptr; }

class ReleaseTest : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        seen.clear();
        sleeps.clear();
        reports.clear();
        quietPreviewLog = 1;
    }
    void TearDown() override {
        SetPathAllocatorForTesting(nullptr);
        BridgeTest::TearDown();
    }

    void UseSleep(void (*sleep)(std::uint32_t)) {
        platform::Hooks hooks{sleep, RecordReport};
        platform::SetHooksForTesting(&hooks);
    }

    // A connected camera with the event callback registered.
    std::uint32_t Connect() {
        const std::uint32_t handle = ConnectFirstCamera();
        EXPECT_EQ(KQ_SetEventCallBack(handle, nullptr, OnEvent), RESULT_OK);
        log.Mark();
        return handle;
    }

    // The download record made ready for direct calls of the callback.
    void* DownloadContext() {
        StandInSubscription(state.downloadCompletedSub);
        state.download.downloadCtx = &state;
        return &state.download.downloadCtx;
    }
};

TEST_F(ReleaseTest, CaptureChainRunsOnTheSimulatorThreads) {
    const std::uint32_t camera = Connect();
    UseSleep(SleepUntilSimulatorIdle);
    ZTSim_SetDownloadValue(0xABCD1234u);
    quietPreviewLog = 1;

    EXPECT_EQ(KQ_RC_Release(camera), RESULT_OK);

    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].code, kqPTP_FULL_VIEW_RELEASED);
    EXPECT_EQ(seen[0].param1, 0xABCD1234u);
    EXPECT_NE(seen[0].thread, std::this_thread::get_id());
    EXPECT_EQ(seen[0].pendingAtEvent, 1u) << "the flag is cleared only after the event";
    EXPECT_EQ(seen[0].pathAtEvent, LastShotPath()) << "the path is recorded before the event";
    EXPECT_LE(sleeps.size(), 1u) << "the first sleep lets the simulator finish";
    EXPECT_EQ(state.downloadPending.load(), 0u);
    EXPECT_EQ(state.download.downloadValue.load(), 0xABCD1234u);
    EXPECT_EQ(quietPreviewLog.load(), 0u);
    EXPECT_EQ(ZTSim_ShotCount(), 1u);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "INF KQ_RC_Release", "INF Release begin", "INF ShootCompletedCallback",
                               "INF Download begin", "INF DownloadCompletedCallback",
                               "INF kqPTP_FULL_VIEW_RELEASED event", "INF Download end",
                               "INF Release end"}));

    const std::vector<std::uint8_t> jpeg = ReadWholeFile(RecordedPath());
    ASSERT_GT(jpeg.size(), 200000u) << "a realistic image of several hundred kilobytes";
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    EXPECT_EQ(jpeg[jpeg.size() - 2], 0xFF);
    EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);
}

TEST_F(ReleaseTest, CompletionBeforeTheFirstPollNeedsNoSleep) {
    const std::uint32_t camera = Connect();
    ZTSim_SetShotDelays(ZTSIM_DELAY_AT_ONCE, ZTSIM_DELAY_AT_ONCE);
    ZTSim_SetShotSize(64, 48);
    EXPECT_EQ(KQ_RC_Release(camera), RESULT_OK);
    EXPECT_TRUE(Sleeps().empty());
    EXPECT_EQ(log.Lines().back(), "INF Release end");
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(ReleaseTest, DownloadThatNeverCompletesEndsAfter120PollsOf250Ms) {
    const std::uint32_t camera = Connect();
    ZTSim_SetShotDelays(0, ZTSIM_DELAY_NEVER);
    ZTSim_SetShotSize(64, 48);
    EXPECT_EQ(KQ_RC_Release(camera), RESULT_OK);
    EXPECT_EQ(Sleeps(), std::vector<std::uint32_t>(120, 250));
    ZTSim_WaitIdle();  // the shot's own lines may come after the time-out
    const std::vector<std::string> lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "ERR CSDKWrapper::OnDownloadCompleted was not called"),
              lines.end());
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "INF Release end"), lines.end());
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_DownloadFile), 1u);
    EXPECT_EQ(state.downloadPending.load(), 1u);
    EXPECT_TRUE(seen.empty());
}

TEST_F(ReleaseTest, CompletionDuringThe120thSleepStillSucceeds) {
    const std::uint32_t camera = Connect();
    pathToRaise = TestFile(10);
    ZTSim_SetShotDelays(ZTSIM_DELAY_NEVER, ZTSIM_DELAY_NEVER);
    ZTSim_SetShotSize(64, 48);
    UseSleep(CompleteDuringThe120thSleep);
    EXPECT_EQ(KQ_RC_Release(camera), RESULT_OK);
    EXPECT_EQ(sleeps, std::vector<std::uint32_t>(120, 250));
    const std::vector<std::string> lines = log.Lines();
    EXPECT_EQ(lines.back(), "INF Release end");
    for (const std::string& line : lines) EXPECT_EQ(line.rfind("ERR", 0), std::string::npos) << line;
    EXPECT_EQ(RecordedPath(), pathToRaise);
}

TEST_F(ReleaseTest, ReleaseWithoutSessionWritesOnlyTwoLines) {
    EXPECT_EQ(KQ_RC_Release(0), RESULT_OK);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF KQ_RC_Release", "INF Release begin"}));
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_Shoot), 0u);
    EXPECT_EQ(quietPreviewLog.load(), 0u) << "every release makes preview frames loggable";
}

TEST_F(ReleaseTest, FailedShootIsReportedWithoutWaiting) {
    const std::uint32_t camera = Connect();
    ZTSim_SetFault(ZTSIM_FN_Shoot, 0x77, 1);
    EXPECT_EQ(KQ_RC_Release(camera), RESULT_OK);
    EXPECT_TRUE(Sleeps().empty());
    EXPECT_EQ(MessageBoxes(), std::vector<std::string>{"ZTShoot failed: ErrorCode = 0x00000077"});
    EXPECT_EQ(state.lastError.load(), 0x77u);
    EXPECT_EQ(state.downloadPending.load(), 1u);
}

TEST_F(ReleaseTest, FailedDownloadLeavesTheReleaseToItsTimeOut) {
    const std::uint32_t camera = Connect();
    ZTSim_SetShotSize(64, 48);
    ZTSim_SetFault(ZTSIM_FN_DownloadFile, 0x99, 1);
    UseSleep(SleepUntilSimulatorIdle);
    EXPECT_EQ(KQ_RC_Release(camera), RESULT_OK);
    EXPECT_EQ(sleeps.size(), 120u);
    EXPECT_EQ(reports, std::vector<std::string>{"ZTDownloadFile failed: ErrorCode = 0x00000099"});
    EXPECT_EQ(log.Lines().back(), "ERR CSDKWrapper::OnDownloadCompleted was not called");
    EXPECT_TRUE(seen.empty());
}

TEST_F(ReleaseTest, FailedPathCopyIsLoggedKeepsTheEarlierDownloadAndTimesOut) {
    const std::uint32_t camera = Connect();
    const Path earlier = TestFile(1);
    DownloadCompletedCallback(&state.download.downloadCtx, 11, earlier.data());
    seen.clear();
    ZTSim_SetShotSize(64, 48);
    SetPathAllocatorForTesting(FailingAllocator);
    UseSleep(SleepUntilSimulatorIdle);
    log.Mark();
    EXPECT_EQ(KQ_RC_Release(camera), RESULT_OK);
    EXPECT_EQ(sleeps.size(), 120u);
    const std::vector<std::string> lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "ERR DownloadCompletedCallback: no memory for the file's path"),
              lines.end());
    EXPECT_EQ(lines.back(), "ERR CSDKWrapper::OnDownloadCompleted was not called");
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(RecordedPath(), earlier);
    EXPECT_EQ(state.download.downloadValue.load(), 11u);
}

TEST_F(ReleaseTest, DoAeAfAwbTriggersTheCameraAndReportsFailures) {
    EXPECT_EQ(KQ_RC_DoAeAfAwb(0, 0), RESULT_OK);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF KQ_RC_DoAeAfAwb", "INF AEAF"}));
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_UpdateAEAF), 0u) << "no session, no call";

    const std::uint32_t camera = Connect();
    EXPECT_EQ(KQ_RC_DoAeAfAwb(camera, 0xFFFFFFFFu), RESULT_OK);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_UpdateAEAF), 1u);
    EXPECT_EQ(state.lastError.load(), 0u);
    EXPECT_TRUE(MessageBoxes().empty());

    ZTSim_SetFault(ZTSIM_FN_UpdateAEAF, 0x42, 1);
    EXPECT_EQ(KQ_RC_DoAeAfAwb(camera, 0), RESULT_OK);
    EXPECT_EQ(MessageBoxes(), std::vector<std::string>{"ZTUpdateAEAF failed: ErrorCode = 0x00000042"});
    EXPECT_EQ(state.lastError.load(), 0x42u);
}

TEST_F(ReleaseTest, SecondDownloadReplacesThePathAndLeavesTheFirstFileOnDisk) {
    const Path first = TestFile(3);
    const Path second = TestFile(5);
    void* context = DownloadContext();
    DownloadCompletedCallback(context, 11, first.data());
    DownloadCompletedCallback(context, 22, second.data());
    EXPECT_EQ(RecordedPath(), second);
    EXPECT_EQ(state.download.downloadValue.load(), 22u);
    EXPECT_TRUE(Exists(first));
    EXPECT_EQ(state.downloadPending.load(), 0u) << "completion without an event callback still ends the wait";
}

TEST_F(ReleaseTest, ForeignContextsAndNullPathsOnlyLog) {
    const Path path = TestFile(1);
    StandInSubscription(state.downloadCompletedSub);
    StandInSubscription(state.shootCompletedSub);
    std::atomic<CSDKWrapper*> stray{&state};
    state.download.downloadCtx = nullptr;
    state.shootCtx = &state;
    DownloadCompletedCallback(nullptr, 1, path.data());
    DownloadCompletedCallback(&state.download.downloadCtx, 1, path.data());  // field cleared
    DownloadCompletedCallback(&state.shootCtx, 1, path.data());              // another field
    DownloadCompletedCallback(&stray, 1, path.data());                      // not a field of the state
    DownloadCompletedCallback(DownloadContext(), 1, nullptr);
    EXPECT_EQ(log.Lines(), std::vector<std::string>(5, "INF DownloadCompletedCallback"));
    EXPECT_EQ(state.download.downloadPath.load(), nullptr);
    EXPECT_EQ(state.downloadPending.load(), 1u);

    log.Mark();
    const std::uint32_t item = 5;
    state.shootCtx = nullptr;
    ShootCompletedCallback(&state.shootCtx, &item);
    state.shootCtx = &state;
    ShootCompletedCallback(&state.shootCtx, nullptr);
    ShootCompletedCallback(&state.download.downloadCtx, &item);
    EXPECT_EQ(log.Lines(), std::vector<std::string>(3, "INF ShootCompletedCallback"));
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_DownloadFile), 0u);
}

// A sleep that lasts until the test moves on (Pulse) or 20 ms at most, so
// that a release's 120 polls span every step of a test on any host while
// no poll waits longer than that.
// (Made by the test that uses it: a static condition variable that no
// test of a run waits on is one the race checker never saw made.)
struct Pulser {
    std::mutex mutex;
    std::condition_variable pulsed;
    std::uint32_t pulses = 0;
    std::atomic<std::uint32_t> secondThreadSleeps{0};
    std::atomic<std::thread::id> secondThread{};

    void Pulse() {
        std::lock_guard<std::mutex> lock(mutex);
        ++pulses;
        pulsed.notify_all();
    }
};
Pulser* pulser = nullptr;

void SleepUntilPulsed(std::uint32_t ms) {
    RecordSleep(ms);
    if (std::this_thread::get_id() == pulser->secondThread.load()) {
        pulser->secondThreadSleeps.fetch_add(1);
    }
    std::unique_lock<std::mutex> lock(pulser->mutex);
    const std::uint32_t seenPulses = pulser->pulses;
    pulser->pulsed.wait_for(lock, std::chrono::milliseconds(20),
                            [&] { return pulser->pulses != seenPulses; });
}

template <typename Done>
bool Eventually(Done done) {
    for (int i = 0; i < 5000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

std::size_t EventsSeen() {
    std::lock_guard<std::mutex> lock(seenMutex);
    return seen.size();
}

// A second release made while the first waits for its download takes its
// shot only after the first has ended, and returns only after the download
// of its own shot, as if the two had run one after the other.
TEST_F(ReleaseTest, SecondReleaseWaitsItsTurnAndReturnsAfterItsOwnPicture) {
    const std::uint32_t camera = Connect();
    ZTSim_SetShotDelays(0, ZTSIM_DELAY_NEVER);
    ZTSim_SetShotSize(32, 24);
    Pulser pulses;
    pulser = &pulses;
    UseSleep(SleepUntilPulsed);
    const Path firstPicture = TestFile(10);
    const Path secondPicture = TestFile(20);

    std::size_t eventsWhenFirstReturned = 0;
    std::thread first([&] {
        KQ_RC_Release(camera);
        eventsWhenFirstReturned = EventsSeen();
    });
    ASSERT_TRUE(Eventually([] { return ZTSim_CallCount(ZTSIM_FN_DownloadFile) == 1; }));
    std::size_t eventsWhenSecondReturned = 0;
    std::thread second([&] {
        pulses.secondThread = std::this_thread::get_id();
        KQ_RC_Release(camera);
        eventsWhenSecondReturned = EventsSeen();
    });
    ASSERT_TRUE(Eventually([&] { return pulses.secondThreadSleeps.load() != 0; }));
    EXPECT_EQ(ZTSim_ShotCount(), 1u) << "the second shot was taken during the first release";

    ZTSim_RaiseDownloadCompleted(1, firstPicture.data());
    pulses.Pulse();
    first.join();
    ASSERT_TRUE(Eventually([] { return ZTSim_CallCount(ZTSIM_FN_DownloadFile) == 2; }));
    ZTSim_RaiseDownloadCompleted(2, secondPicture.data());
    pulses.Pulse();
    second.join();
    UseSleep(RecordSleep);
    pulser = nullptr;

    EXPECT_EQ(eventsWhenFirstReturned, 1u);
    EXPECT_EQ(eventsWhenSecondReturned, 2u) << "the second release returned before its picture";
    EXPECT_EQ(RecordedPath(), secondPicture);
    const std::vector<std::string> lines = log.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "INF Release end"), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "ERR CSDKWrapper::OnDownloadCompleted was not called"), 0);
}

// The camera's own shutter button: shots with no release behind them reach
// the client as released-image events like any other, and a press during a
// release is delivered, after the release's own picture, before ZTShoot
// returns.
TEST_F(ReleaseTest, ShutterButtonShotsArriveAsReleasedImages) {
    EXPECT_EQ(ZTSim_PressShutterButton(1), 0u) << "no session open";
    const std::uint32_t camera = Connect();
    ZTSim_SetShotSize(64, 48);
    EXPECT_EQ(ZTSim_PressShutterButton(2), 2u);
    ZTSim_WaitIdle();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].code, kqPTP_FULL_VIEW_RELEASED);
    EXPECT_EQ(seen[1].code, kqPTP_FULL_VIEW_RELEASED);
    EXPECT_NE(seen[0].pathAtEvent, seen[1].pathAtEvent) << "a file of its own for each shot";
    EXPECT_EQ(ZTSim_ShutterButtonShots(), 2u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_Shoot), 0u);

    seen.clear();
    UseSleep(SleepUntilSimulatorIdle);
    ZTSim_PressShutterButtonDuringShoot(2);
    EXPECT_EQ(KQ_RC_Release(camera), RESULT_OK);
    ZTSim_WaitIdle();
    EXPECT_EQ(seen.size(), 1u) << "the first release is left alone";
    seen.clear();
    EXPECT_EQ(KQ_RC_Release(camera), RESULT_OK);
    ASSERT_EQ(seen.size(), 2u) << "both pictures delivered before the release returned";
    EXPECT_EQ(seen[1].pathAtEvent, LastShotPath()) << "the button's picture comes second";
    EXPECT_EQ(ZTSim_ShutterButtonShots(), 3u);
    EXPECT_EQ(ZTSim_ShotCount(), 5u);
}

}  // namespace
}  // namespace kq::test
