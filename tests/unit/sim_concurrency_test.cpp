// The simulated Camera SDK under concurrency: delayed calls and what a free
// during them records, releases of parents before their children, callbacks
// on several threads, and releases that wait for running callbacks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "camera_sdk.h"
#include "zt_sim.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Long enough that the test thread, once it has seen a delayed call under
// way, acts well inside it.
constexpr uint32_t kCallDelayMs = 300;
// Bound of every wait for another thread.
constexpr auto kPatience = std::chrono::seconds(10);

std::string Describe() {
    const uint32_t length = ZTSim_Describe(nullptr, 0);
    std::string text(length + 1, '\0');
    ZTSim_Describe(&text[0], length + 1);
    text.resize(length);
    return text;
}

// Polls `condition` until it holds or kPatience has passed.
bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = steady_clock::now() + kPatience;
    while (!condition()) {
        if (steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

// Runs `body` on a thread of its own.
class Async {
public:
    explicit Async(std::function<void()> body)
        : thread_([this, body] {
              body();
              finished_ = true;
          }) {}
    ~Async() { Join(); }
    Async(const Async&) = delete;
    Async& operator=(const Async&) = delete;

    bool Finished() const { return finished_; }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

private:
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

// Holds callbacks until opened (at most kPatience) and remembers who came.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    int entered = 0;
    bool open = false;
    std::vector<std::thread::id> threads;

    void Pass() {
        std::unique_lock<std::mutex> lock(mutex);
        ++entered;
        threads.push_back(std::this_thread::get_id());
        changed.notify_all();
        changed.wait_for(lock, kPatience, [this] { return open; });
    }
    bool WaitEntered(int count) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, kPatience, [&] { return entered >= count; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        changed.notify_all();
    }
};

void ZT_STDCALL GateOnListChanged(void* context, const void*, int32_t) {
    static_cast<Gate*>(context)->Pass();
}

void ZT_STDCALL GateOnFrame(void* context) { static_cast<Gate*>(context)->Pass(); }

// Remembers the thread and order of deliveries.
struct Trace {
    std::mutex mutex;
    std::vector<std::thread::id> threads;
    std::vector<uint32_t> cameraIds;

    void Add(uint32_t cameraId) {
        std::lock_guard<std::mutex> lock(mutex);
        threads.push_back(std::this_thread::get_id());
        cameraIds.push_back(cameraId);
    }
    std::set<std::thread::id> Distinct() {
        std::lock_guard<std::mutex> lock(mutex);
        return std::set<std::thread::id>(threads.begin(), threads.end());
    }
};

void ZT_STDCALL TraceListChanged(void* context, const void* record, int32_t) {
    static_cast<Trace*>(context)->Add(*static_cast<const uint32_t*>(record));
}

void ZT_STDCALL TraceFrame(void* context) { static_cast<Trace*>(context)->Add(0); }

void ZT_STDCALL IgnoreError(void*, int32_t) {}
void ZT_STDCALL IgnoreShot(void*, const void*) {}
void ZT_STDCALL IgnoreDownload(void*, uint32_t, const uint16_t*) {}
void ZT_STDCALL IgnoreVoid(void*) {}
void ZT_STDCALL IgnoreListChanged(void*, const void*, int32_t) {}

class SimConcurrencyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZTInitializeSDK();
        ZTSim_Reset();
        manager_ = ZTGetCameraManager();
        ASSERT_NE(manager_, nullptr);
    }
    void TearDown() override { ZTSim_Reset(); }

    ZTHandle OpenSession(ZTHandle manager) {
        ZTHandle session = nullptr;
        EXPECT_EQ(ZTOpenSession(manager, 0x5A430001u, &session), ZT_OK);
        return session;
    }

    // A session whose preview is on, with no frames unless raised.
    ZTHandle PreviewSession() {
        ZTSim_SetPreviewRate(0);
        ZTHandle session = OpenSession(manager_);
        EXPECT_EQ(ZTSetPreviewState(session, 1), ZT_OK);
        return session;
    }

    ZTHandle manager_ = nullptr;
};

// ---- Call delays ----

TEST_F(SimConcurrencyTest, FreeDuringADelayedSessionCallIsRecordedOnceAndTheCallFails) {
    ZTHandle session = OpenSession(manager_);
    ZTSim_SetCallDelay(ZTSIM_FN_GetZoom, kCallDelayMs);
    ZTSim_SetCallDelay(ZTSIM_FN_GetPropertyData, kCallDelayMs);

    ZTResult zoomResult = ZT_OK;
    ZTResult dataResult = ZT_OK;
    int32_t position = 55;
    int32_t value = 66;
    Async zoom([&] { zoomResult = ZTGetZoom(session, &position); });
    Async data([&] { dataResult = ZTGetPropertyData(session, 7, &value); });
    ASSERT_TRUE(Eventually([] {
        return ZTSim_CallsInFlight(ZTSIM_FN_GetZoom) == 1 &&
               ZTSim_CallsInFlight(ZTSIM_FN_GetPropertyData) == 1;
    }));

    // Other calls on the same session go on meanwhile: no lock is held.
    int32_t maximum = 0;
    EXPECT_EQ(ZTGetMaximumZoom(session, &maximum), ZT_OK);
    ZTFree(session);
    zoom.Join();
    data.Join();

    EXPECT_EQ(zoomResult, ZTSIM_E_INVALID_HANDLE);
    EXPECT_EQ(dataResult, ZTSIM_E_INVALID_HANDLE);
    EXPECT_EQ(position, 55);
    EXPECT_EQ(value, 66);
    EXPECT_EQ(ZTSim_CallsInFlight(ZTSIM_FN_GetZoom), 0u);
    EXPECT_EQ(ZTSim_CallsInFlight(ZTSIM_FN_GetPropertyData), 0u);
    // Two calls in flight, one ZTFree: one fault. The release still happened.
    EXPECT_EQ(ZTSim_FreeFaultCount(), 1u) << Describe();
    EXPECT_EQ(ZTSim_OpenSessionCount(), 0u);
    EXPECT_NE(Describe().find("session from ZTOpenSession freed while a call on it is in flight"),
              std::string::npos)
        << Describe();
}

TEST_F(SimConcurrencyTest, CallsGivenAManagerCountAsInFlightOnIt) {
    ZTHandle listManager = ZTGetCameraManager();
    ZTHandle sessionManager = ZTGetCameraManager();
    ZTHandle subscribeManager = ZTGetCameraManager();
    ZTSim_SetCallDelay(ZTSIM_FN_GetCameraList, kCallDelayMs);
    ZTSim_SetCallDelay(ZTSIM_FN_OpenSession, kCallDelayMs);
    ZTSim_SetCallDelay(ZTSIM_FN_CameraListChangedSubscribe, kCallDelayMs);

    ZTResult listResult = ZT_OK;
    ZTResult openResult = ZT_OK;
    ZTHandle subscription = &listResult;
    Async list([&] {
        ZTCameraRecord* records = nullptr;
        uint32_t count = 0;
        listResult = ZTGetCameraList(listManager, &records, &count);
    });
    Async open([&] {
        ZTHandle session = nullptr;
        openResult = ZTOpenSession(sessionManager, 0x5A430001u, &session);
    });
    Async subscribe([&] {
        subscription = ZTCameraListChangedSubscribe(subscribeManager, IgnoreListChanged, nullptr);
    });
    ASSERT_TRUE(Eventually([] {
        return ZTSim_CallsInFlight(ZTSIM_FN_GetCameraList) == 1 &&
               ZTSim_CallsInFlight(ZTSIM_FN_OpenSession) == 1 &&
               ZTSim_CallsInFlight(ZTSIM_FN_CameraListChangedSubscribe) == 1;
    }));
    ZTFree(listManager);
    ZTFree(sessionManager);
    ZTFree(subscribeManager);
    list.Join();
    open.Join();
    subscribe.Join();

    EXPECT_EQ(listResult, ZTSIM_E_INVALID_HANDLE);
    EXPECT_EQ(openResult, ZTSIM_E_INVALID_HANDLE);
    EXPECT_EQ(subscription, nullptr);
    EXPECT_EQ(ZTSim_OutstandingCount(), 1u);  // the fixture's manager
    const std::string text = Describe();
    EXPECT_EQ(ZTSim_FreeFaultCount(), 3u) << text;
    for (const char* call :
         {"(ZTGetCameraList)", "(ZTOpenSession)", "(ZTCameraListChangedSubscribe)"}) {
        EXPECT_NE(text.find(std::string("freed while a call on it is in flight ") + call),
                  std::string::npos)
            << text;
    }
}

TEST_F(SimConcurrencyTest, DelayedCallWorksAsUsualWhenNothingIsFreed) {
    ZTHandle session = OpenSession(manager_);
    ZTSim_SetCallDelay(ZTSIM_FN_SetZoom, 20);
    ZTSim_SetCallDelay(ZTSIM_FN_Free, 20);
    EXPECT_EQ(ZTSetZoom(session, 40), ZT_OK);
    EXPECT_EQ(ZTSim_ZoomPosition(), 40);
    ZTFree(session);
    EXPECT_EQ(ZTSim_OpenSessionCount(), 0u);
    EXPECT_EQ(ZTSim_CallsInFlight(ZTSIM_FN_SetZoom), 0u);
    EXPECT_EQ(ZTSim_CallsInFlight(ZTSIM_FN_Free), 0u);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u) << Describe();
}

// A delay long enough to fail the test must not be spent by a call its fault
// or argument checks answer, nor by any call after a reset.
TEST_F(SimConcurrencyTest, DelayFollowsTheFaultAndArgumentChecksAndResetClearsIt) {
    constexpr uint32_t kTooLongMs = 20000;
    ZTHandle session = OpenSession(manager_);
    const auto start = steady_clock::now();

    ZTSim_SetCallDelay(ZTSIM_FN_GetZoom, kTooLongMs);
    ZTSim_SetFault(ZTSIM_FN_GetZoom, 0x77u, 1);
    int32_t position = 0;
    EXPECT_EQ(ZTGetZoom(session, &position), 0x77u);
    EXPECT_EQ(ZTGetZoom(session, nullptr), ZTSIM_E_INVALID_ARGUMENT);
    ZTSim_SetCallDelay(ZTSIM_FN_GetPropertyName, kTooLongMs);
    EXPECT_EQ(ZTGetPropertyName(0, nullptr), ZTSIM_E_INVALID_ARGUMENT);

    ZTSim_Reset();
    ZTHandle manager = ZTGetCameraManager();
    session = OpenSession(manager);
    EXPECT_EQ(ZTGetZoom(session, &position), ZT_OK);
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(10));
    ZTFree(session);
    ZTFree(manager);

    ZTSim_SetCallDelay(ZTSIM_FN_COUNT, 5);  // not a function: ignored
    EXPECT_EQ(ZTSim_CallsInFlight(ZTSIM_FN_COUNT), 0u);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u) << Describe();
}

// ---- Parents freed before their children ----

struct ChildCase {
    const char* name;
    bool ofSession;  // made through a session; otherwise through the manager
    std::function<void*(ZTHandle parent)> make;
    const char* describedAs;
};

std::vector<ChildCase> ChildCases() {
    return {
        {"session", false,
         [](ZTHandle manager) -> void* {
             ZTHandle session = nullptr;
             ZTOpenSession(manager, 0x5A430001u, &session);
             return session;
         },
         "(session from ZTOpenSession)"},
        {"camera list", false,
         [](ZTHandle manager) -> void* {
             ZTCameraRecord* records = nullptr;
             uint32_t count = 0;
             ZTGetCameraList(manager, &records, &count);
             return records;
         },
         "(camera list from ZTGetCameraList)"},
        {"list subscription", false,
         [](ZTHandle manager) -> void* {
             return ZTCameraListChangedSubscribe(manager, IgnoreListChanged, nullptr);
         },
         "(subscription from ZTCameraListChangedSubscribe)"},
        {"error subscription", true,
         [](ZTHandle session) -> void* {
             return ZTCameraErrorSubscribe(session, IgnoreError, nullptr);
         },
         "(subscription from ZTCameraErrorSubscribe)"},
        {"shot subscription", true,
         [](ZTHandle session) -> void* {
             return ZTShootCompletedSubscribe(session, IgnoreShot, nullptr);
         },
         "(subscription from ZTShootCompletedSubscribe)"},
        {"download subscription", true,
         [](ZTHandle session) -> void* {
             return ZTDownloadCompletedSubscribe(session, IgnoreDownload, nullptr);
         },
         "(subscription from ZTDownloadCompletedSubscribe)"},
        {"zoom subscription", true,
         [](ZTHandle session) -> void* {
             return ZTZoomCompletedSubscribe(session, IgnoreVoid, nullptr);
         },
         "(subscription from ZTZoomCompletedSubscribe)"},
        {"frame subscription", true,
         [](ZTHandle session) -> void* {
             return ZTNewPreviewFrameSubscribe(session, IgnoreVoid, nullptr);
         },
         "(subscription from ZTNewPreviewFrameSubscribe)"},
        {"property ids", true,
         [](ZTHandle session) -> void* {
             int32_t* ids = nullptr;
             int32_t count = 0;
             ZTGetPropertyList(session, &ids, &count);
             return ids;
         },
         "(array from ZTGetPropertyList)"},
        {"property descriptor", true,
         [](ZTHandle session) -> void* {
             ZTPropertyDesc* desc = nullptr;
             ZTGetPropertyDesc(session, 7, &desc);
             return desc;
         },
         "(property descriptor from ZTGetPropertyDesc)"},
        {"preview frame", true,
         [](ZTHandle session) -> void* {
             uint8_t* frame = nullptr;
             int32_t size = 0;
             ZTGetPreviewFrame(session, &frame, &size);
             return frame;
         },
         "(preview frame from ZTGetPreviewFrame)"},
    };
}

TEST_F(SimConcurrencyTest, EveryParentFreedBeforeItsChildIsRecordedAndChildFirstIsNot) {
    for (const ChildCase& child : ChildCases()) {
        SCOPED_TRACE(child.name);
        ZTSim_Reset();

        // Child first: no fault.
        ZTHandle manager = ZTGetCameraManager();
        ZTHandle parent = child.ofSession ? OpenSession(manager) : manager;
        void* made = child.make(parent);
        ASSERT_NE(made, nullptr);
        ZTFree(made);
        if (parent != manager) ZTFree(parent);
        ZTFree(manager);
        EXPECT_EQ(ZTSim_FreeFaultCount(), 0u) << Describe();

        // Parent first: one fault naming the child; both are still released.
        manager = ZTGetCameraManager();
        parent = child.ofSession ? OpenSession(manager) : manager;
        made = child.make(parent);
        ASSERT_NE(made, nullptr);
        ZTFree(parent);
        EXPECT_EQ(ZTSim_FreeFaultCount(), 1u) << Describe();
        const std::string text = Describe();
        const std::string fault = std::string("freed before a child made through it ") +
                                  child.describedAs;
        EXPECT_NE(text.find(fault), std::string::npos)
            << text;
        ZTFree(made);
        if (parent != manager) ZTFree(manager);
        EXPECT_EQ(ZTSim_FreeFaultCount(), 1u) << Describe();
        EXPECT_EQ(ZTSim_OutstandingCount(), 0u) << Describe();
    }
}

TEST_F(SimConcurrencyTest, ParentWithManyChildrenFaultsOnce) {
    ZTHandle session = OpenSession(manager_);
    ZTHandle error = ZTCameraErrorSubscribe(session, IgnoreError, nullptr);
    ZTHandle zoom = ZTZoomCompletedSubscribe(session, IgnoreVoid, nullptr);
    int32_t* ids = nullptr;
    int32_t count = 0;
    ASSERT_EQ(ZTGetPropertyList(session, &ids, &count), ZT_OK);

    ZTFree(session);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 1u) << Describe();
    // The oldest child is named.
    EXPECT_NE(Describe().find("freed before a child made through it (subscription from "
                              "ZTCameraErrorSubscribe)"),
              std::string::npos)
        << Describe();
    ZTFree(error);
    ZTFree(zoom);
    ZTFree(ids);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 1u) << Describe();
}

// Sessions freed before their children leave the children without a parent:
// releasing them later must not count against a new session that got a freed
// one's address. Many sessions make such reuse all but certain.
TEST_F(SimConcurrencyTest, ChildrenOfAFreedParentDoNotCountAgainstALaterHandleAtItsAddress) {
    constexpr int kSessions = 24;
    std::vector<ZTHandle> oldChildren;
    for (int i = 0; i < kSessions; ++i) {
        ZTHandle session = OpenSession(manager_);
        oldChildren.push_back(ZTCameraErrorSubscribe(session, IgnoreError, nullptr));
        ZTFree(session);
    }
    std::vector<ZTHandle> sessions;
    std::vector<ZTHandle> newChildren;
    for (int i = 0; i < kSessions; ++i) {
        sessions.push_back(OpenSession(manager_));
        newChildren.push_back(ZTCameraErrorSubscribe(sessions.back(), IgnoreError, nullptr));
    }
    for (ZTHandle child : oldChildren) ZTFree(child);
    for (ZTHandle session : sessions) ZTFree(session);
    for (ZTHandle child : newChildren) ZTFree(child);
    ZTFree(manager_);

    EXPECT_EQ(ZTSim_FreeFaultCount(), 2u * kSessions);
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
}

// ---- Callback threads ----

TEST_F(SimConcurrencyTest, FramesOnTwoThreadsAreDeliveredAtTheSameTime) {
    ZTSim_SetCallbackThreads(2);
    ZTHandle session = PreviewSession();
    Gate gate;
    ZTHandle subscription = ZTNewPreviewFrameSubscribe(session, GateOnFrame, &gate);
    ASSERT_NE(subscription, nullptr);

    EXPECT_EQ(ZTSim_RaisePreviewFrames(2), 2u);
    // Both callbacks are inside at once: neither returns before the gate opens.
    EXPECT_TRUE(gate.WaitEntered(2));
    EXPECT_EQ(ZTSim_CallbacksRunning(), 2u);
    gate.Open();
    ZTSim_WaitIdle();

    EXPECT_EQ(ZTSim_CallbacksRunning(), 0u);
    ASSERT_EQ(gate.threads.size(), 2u);
    EXPECT_NE(gate.threads[0], gate.threads[1]);
    EXPECT_NE(gate.threads[0], std::this_thread::get_id());
    ZTFree(subscription);
    ZTFree(session);
}

TEST_F(SimConcurrencyTest, OnlyFramesAreSpreadAndOtherNotificationsStayInOrderOnTheFirstThread) {
    ZTSim_SetCallbackThreads(3);
    ZTHandle session = PreviewSession();
    Trace frames;
    Trace changes;
    ZTHandle frameSub = ZTNewPreviewFrameSubscribe(session, TraceFrame, &frames);
    ZTHandle listSub = ZTCameraListChangedSubscribe(manager_, TraceListChanged, &changes);

    for (uint32_t id = 1; id <= 6; ++id) {
        EXPECT_EQ(ZTSim_RaisePreviewFrames(1), 1u);
        EXPECT_EQ(ZTSim_RaiseCameraListChanged(id, 0), 1u);
    }
    ZTSim_WaitIdle();  // waits for every thread

    EXPECT_EQ(frames.threads.size(), 6u);
    EXPECT_EQ(frames.Distinct().size(), 3u);
    EXPECT_EQ(changes.cameraIds, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(changes.Distinct().size(), 1u);
    EXPECT_EQ(frames.Distinct().count(changes.threads[0]), 1u)
        << "the first thread takes frames too";

    ZTFree(frameSub);
    ZTFree(listSub);
    ZTFree(session);
}

TEST_F(SimConcurrencyTest, ThreadCountIsClampedAndResetReturnsToOne) {
    struct Setting {
        uint32_t asked;
        size_t threads;
    };
    for (const Setting setting : {Setting{9, 4}, Setting{0, 1}, Setting{4, 4}}) {
        SCOPED_TRACE(setting.asked);
        ZTSim_Reset();
        ZTHandle manager = ZTGetCameraManager();
        ZTSim_SetCallbackThreads(setting.asked);
        ZTSim_SetPreviewRate(0);
        ZTHandle session = OpenSession(manager);
        ZTSetPreviewState(session, 1);
        Trace frames;
        ZTHandle sub = ZTNewPreviewFrameSubscribe(session, TraceFrame, &frames);
        EXPECT_EQ(ZTSim_RaisePreviewFrames(8), 8u);
        ZTSim_WaitIdle();
        EXPECT_EQ(frames.Distinct().size(), setting.threads);
        ZTFree(sub);
        ZTFree(session);
        ZTFree(manager);
    }

    ZTSim_SetCallbackThreads(4);
    ZTSim_Reset();
    ZTHandle manager = ZTGetCameraManager();
    ZTSim_SetPreviewRate(0);
    ZTHandle session = OpenSession(manager);
    ZTSetPreviewState(session, 1);
    Trace frames;
    ZTHandle sub = ZTNewPreviewFrameSubscribe(session, TraceFrame, &frames);
    ZTSim_RaisePreviewFrames(4);
    ZTSim_WaitIdle();
    EXPECT_EQ(frames.Distinct().size(), 1u);
    ZTFree(sub);
    ZTFree(session);
    ZTFree(manager);
}

// ---- Frees that wait for running callbacks ----

TEST_F(SimConcurrencyTest, ByDefaultFreeDoesNotWaitForARunningCallback) {
    ZTSim_SetFreeWaitsForCallbacks(1);
    ZTSim_Reset();  // back to the default
    manager_ = ZTGetCameraManager();
    Gate gate;
    ZTHandle subscription = ZTCameraListChangedSubscribe(manager_, GateOnListChanged, &gate);
    ZTSim_RaiseCameraListChanged(1, 0);
    ASSERT_TRUE(gate.WaitEntered(1));

    Async freeing([&] { ZTFree(subscription); });
    const bool returned = Eventually([&] { return freeing.Finished(); });
    EXPECT_EQ(ZTSim_CallbacksRunning(), 1u);
    gate.Open();
    freeing.Join();
    EXPECT_TRUE(returned) << "ZTFree waited for the callback";
    ZTSim_WaitIdle();
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u) << Describe();
}

TEST_F(SimConcurrencyTest, WaitingFreeWaitsForTheCallbackOnAnotherThreadOnly) {
    ZTSim_SetFreeWaitsForCallbacks(1);
    Gate gate;
    ZTHandle held = ZTCameraListChangedSubscribe(manager_, GateOnListChanged, &gate);
    ZTHandle other = ZTCameraListChangedSubscribe(manager_, IgnoreListChanged, nullptr);
    ZTSim_RaiseCameraListChanged(1, 0);
    ASSERT_TRUE(gate.WaitEntered(1));

    // Another subscription's release does not wait for this callback.
    ZTFree(other);

    Async freeing([&] { ZTFree(held); });
    ASSERT_TRUE(Eventually([] { return ZTSim_CallsInFlight(ZTSIM_FN_Free) == 1; }));
    // Released already (no new delivery starts), but not returned while the
    // callback runs.
    EXPECT_EQ(ZTSim_OutstandingCount(), 1u);
    EXPECT_EQ(ZTSim_CallbacksRunning(), 1u);
    EXPECT_FALSE(freeing.Finished());
    gate.Open();
    freeing.Join();
    EXPECT_EQ(ZTSim_CallbacksRunning(), 0u);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u) << Describe();
}

struct SelfFreeing {
    ZTHandle subscription = nullptr;
    std::atomic<int> calls{0};
};

void ZT_STDCALL FreeSelfOnListChanged(void* context, const void*, int32_t) {
    auto* self = static_cast<SelfFreeing*>(context);
    ++self->calls;
    ZTFree(self->subscription);
}

TEST_F(SimConcurrencyTest, WaitingFreeFromInsideItsOwnCallbackReturnsAtOnce) {
    ZTSim_SetFreeWaitsForCallbacks(1);
    SelfFreeing self;
    self.subscription = ZTCameraListChangedSubscribe(manager_, FreeSelfOnListChanged, &self);
    ZTSim_RaiseCameraListChanged(1, 0);
    ZTSim_RaiseCameraListChanged(2, 0);
    ZTSim_WaitIdle();
    EXPECT_EQ(self.calls, 1);
    EXPECT_EQ(ZTSim_OutstandingCount(), 1u);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u) << Describe();
}

// Two frames of one subscription on two threads; the first callback to come
// releases the subscription, which waits for the other one to return.
struct FramePair {
    ZTHandle subscription = nullptr;
    Gate second;  // holds the later callback
    std::mutex mutex;
    int arrived = 0;
    std::atomic<bool> freed{false};
};

void ZT_STDCALL FreeWhileTheOtherFrameRuns(void* context) {
    auto* pair = static_cast<FramePair*>(context);
    int order = 0;
    {
        std::lock_guard<std::mutex> lock(pair->mutex);
        order = ++pair->arrived;
    }
    if (order == 1) {
        pair->second.WaitEntered(1);
        ZTFree(pair->subscription);
        pair->freed = true;
    } else {
        pair->second.Pass();
    }
}

TEST_F(SimConcurrencyTest, WaitingFreeOnOneFrameThreadWaitsForTheOther) {
    ZTSim_SetCallbackThreads(2);
    ZTSim_SetFreeWaitsForCallbacks(1);
    ZTHandle session = PreviewSession();
    FramePair pair;
    pair.subscription = ZTNewPreviewFrameSubscribe(session, FreeWhileTheOtherFrameRuns, &pair);
    ASSERT_EQ(ZTSim_RaisePreviewFrames(2), 2u);

    ASSERT_TRUE(pair.second.WaitEntered(1));
    ASSERT_TRUE(Eventually([] { return ZTSim_CallsInFlight(ZTSIM_FN_Free) == 1; }));
    EXPECT_EQ(ZTSim_CallbacksRunning(), 2u);
    EXPECT_FALSE(pair.freed);
    pair.second.Open();
    ZTSim_WaitIdle();

    EXPECT_TRUE(pair.freed);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u) << Describe();
    ZTFree(session);
}

TEST_F(SimConcurrencyTest, WaitingTerminateWaitsForARunningCallback) {
    ZTSim_SetFreeWaitsForCallbacks(1);
    Gate gate;
    ZTHandle subscription = ZTCameraListChangedSubscribe(manager_, GateOnListChanged, &gate);
    ZTSim_RaiseCameraListChanged(1, 0);
    ASSERT_TRUE(gate.WaitEntered(1));

    ZTResult terminated = ~0u;
    Async terminating([&] { terminated = ZTTerminateSDK(); });
    ASSERT_TRUE(Eventually([] { return ZTSim_CallsInFlight(ZTSIM_FN_TerminateSDK) == 1; }));
    EXPECT_EQ(ZTSim_IsInitialized(), 0);
    EXPECT_FALSE(terminating.Finished());
    gate.Open();
    terminating.Join();
    EXPECT_EQ(terminated, ZT_OK);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u) << Describe();

    ZTInitializeSDK();
    ZTFree(subscription);
}

}  // namespace
