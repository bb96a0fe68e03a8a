#include "probe.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <type_traits>

#include "file_check.h"
#include "utf16_text.h"

namespace ztprobe {

namespace {

using Clock = std::chrono::steady_clock;

double MicrosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// What every callback touches: the probe's state shared with the Camera
// SDK's threads. Callbacks catch everything; nothing unwinds into the SDK.
struct Shared {
    ztkit::ZtApi api;
    std::thread::id caller;
    std::atomic<ZTHandle> session{nullptr};

    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::string, Latency> latencies;
    std::vector<Failure> failureList;
    bool onCaller = false;
    // The main preview subscription.
    std::set<std::thread::id> previewThreads;
    std::uint32_t previewFrames = 0;
    // The shot and its download.
    bool shot = false;
    bool shotRecordNull = false;
    std::uint32_t item = 0;
    std::string shotThread;
    bool downloadCalled = false;
    ZTResult downloadResult = ZT_OK;
    bool downloaded = false;
    bool downloadBeforeShot = false;
    std::uint32_t downloadValue = 0;
    bool pathNull = false;
    std::vector<std::uint16_t> path;

    void NoteThread() {
        if (std::this_thread::get_id() == caller) {
            std::lock_guard<std::mutex> lock(mutex);
            onCaller = true;
        }
    }

    void AddLatency(const char* function, double us) {
        std::lock_guard<std::mutex> lock(mutex);
        Latency& latency = latencies[function];
        if (latency.calls == 0 || us < latency.minUs) latency.minUs = us;
        if (us > latency.maxUs) latency.maxUs = us;
        latency.totalUs += us;
        ++latency.calls;
    }

    void AddFailure(const char* function, std::uint32_t code, bool nullHandle) {
        std::lock_guard<std::mutex> lock(mutex);
        failureList.push_back(Failure{function, code, nullHandle});
    }

    // Runs one Camera SDK call and notes its latency.
    template <class Call>
    auto Time(const char* function, Call call) {
        const Clock::time_point start = Clock::now();
        if constexpr (std::is_void_v<decltype(call())>) {
            call();
            AddLatency(function, MicrosecondsSince(start));
        } else {
            const auto value = call();
            AddLatency(function, MicrosecondsSince(start));
            return value;
        }
    }

    // A call that returns a result code; a failure is noted.
    template <class Call>
    bool Ok(const char* function, Call call) {
        const ZTResult result = Time(function, call);
        if (result != ZT_OK) AddFailure(function, result, false);
        return result == ZT_OK;
    }

    // A call that returns a handle; none is noted as a failure.
    template <class Call>
    ZTHandle Handle(const char* function, Call call) {
        const ZTHandle handle = Time(function, call);
        if (handle == nullptr) AddFailure(function, 0, true);
        return handle;
    }

    template <class Predicate>
    bool WaitFor(int milliseconds, Predicate predicate) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(milliseconds), predicate);
    }
};

// The context of a preview subscription freed while its callback is in
// flight. Its first callback lingers until ZTFree has returned (or lingerMs
// have passed); every callback notes whether it began after that.
struct FreeWatch {
    Shared* shared = nullptr;
    int lingerMs = 0;
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool finished = false;
    bool freeReturned = false;
    std::uint32_t late = 0;
    std::uint32_t runningAfter = 0;
};

// Contexts stay valid until the process ends: a Camera SDK that does not
// wait for its callbacks may still call one after its subscription is gone.
std::vector<std::unique_ptr<Shared>>& KeptShared() {
    static auto* kept = new std::vector<std::unique_ptr<Shared>>();
    return *kept;
}
std::vector<std::unique_ptr<FreeWatch>>& KeptWatches() {
    static auto* kept = new std::vector<std::unique_ptr<FreeWatch>>();
    return *kept;
}
std::mutex& KeptMutex() {
    static auto* mutex = new std::mutex();
    return *mutex;
}

void ZT_STDCALL OnPreviewFrame(void* context) {
    try {
        Shared* shared = static_cast<Shared*>(context);
        shared->NoteThread();
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->previewThreads.insert(std::this_thread::get_id());
        ++shared->previewFrames;
        shared->changed.notify_all();
    } catch (...) {
    }
}

void ZT_STDCALL OnWatchedFrame(void* context) {
    try {
        FreeWatch* watch = static_cast<FreeWatch*>(context);
        watch->shared->NoteThread();
        std::unique_lock<std::mutex> lock(watch->mutex);
        if (watch->freeReturned) {
            ++watch->late;
            return;
        }
        if (watch->entered) return;  // only the first callback lingers
        watch->entered = true;
        watch->changed.notify_all();
        watch->changed.wait_for(lock, std::chrono::milliseconds(watch->lingerMs),
                                [watch]() { return watch->freeReturned; });
        if (watch->freeReturned) ++watch->runningAfter;
        watch->finished = true;
        watch->changed.notify_all();
    } catch (...) {
    }
}

void ZT_STDCALL OnShootCompleted(void* context, const void* record) {
    try {
        Shared* shared = static_cast<Shared*>(context);
        shared->NoteThread();
        std::uint32_t item = 0;
        if (record != nullptr) std::memcpy(&item, record, sizeof item);
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (shared->shot) return;  // the first shot only
            shared->shot = true;
            shared->shotRecordNull = record == nullptr;
            shared->item = item;
            shared->changed.notify_all();
        }
        if (record == nullptr) return;
        // As the bridge does: the download is asked for from the callback.
        const ZTHandle session = shared->session.load();
        const ZTResult result = shared->Time(
            "ZTDownloadFile", [&]() { return shared->api.ZTDownloadFile(session, item, 1); });
        if (result != ZT_OK) shared->AddFailure("ZTDownloadFile", result, false);
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->downloadCalled = true;
        shared->downloadResult = result;
        shared->changed.notify_all();
    } catch (...) {
    }
}

void ZT_STDCALL OnDownloadCompleted(void* context, std::uint32_t value, const std::uint16_t* path) {
    try {
        Shared* shared = static_cast<Shared*>(context);
        shared->NoteThread();
        std::vector<std::uint16_t> copy;
        if (path != nullptr) copy.assign(path, path + ztkit::BoundedUtf16Length(path, kMaxPathUnits));
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->downloaded) return;
        shared->downloaded = true;
        shared->downloadBeforeShot = !shared->shot;
        shared->downloadValue = value;
        shared->pathNull = path == nullptr;
        shared->path = std::move(copy);
        shared->changed.notify_all();
    } catch (...) {
    }
}

void ZT_STDCALL OnCameraListChanged(void* context, const void*, std::int32_t) {
    try {
        static_cast<Shared*>(context)->NoteThread();
    } catch (...) {
    }
}
void ZT_STDCALL OnZoomCompleted(void* context) {
    try {
        static_cast<Shared*>(context)->NoteThread();
    } catch (...) {
    }
}
void ZT_STDCALL OnCameraError(void* context, std::int32_t) {
    try {
        static_cast<Shared*>(context)->NoteThread();
    } catch (...) {
    }
}

std::string LastCode(Shared& shared) {
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.failureList.empty()) return "an unknown code";
    const Failure& failure = shared.failureList.back();
    return failure.nullHandle ? "no handle" : Hex(failure.code);
}

std::string LastFunction(Shared& shared) {
    std::lock_guard<std::mutex> lock(shared.mutex);
    return shared.failureList.empty() ? std::string("a call") : shared.failureList.back().function;
}

Verdict& Add(ProbeResult& result, const char* key, const char* title) {
    result.verdicts.push_back(Verdict{key, title, Status::Skipped, std::string(), std::string()});
    return result.verdicts.back();
}

void SkipRest(ProbeResult& result, bool shoot) {
    static const char* const keys[][2] = {
        {"lifecycle", "Initialize, terminate and the camera list"},
        {"session", "Session and subscriptions"},
        {"callbacks", "Callbacks and their threads"},
        {"frames", "Preview frames"},
        {"properties", "Properties and zoom"},
        {"shot", "Shot and download"},
    };
    for (const auto& entry : keys) {
        bool present = false;
        for (const Verdict& verdict : result.verdicts) present = present || verdict.key == entry[0];
        if (present) continue;
        Verdict& verdict = Add(result, entry[0], entry[1]);
        verdict.detail = std::string(entry[0]) == "shot" && !shoot ? "not tried (--no-shoot)"
                                                                   : "not checked: an earlier step failed";
    }
}

// Frees a preview subscription while its first callback is in flight.
// Returns false when no callback came.
bool FreeDuringCallback(Shared& shared, ZTHandle session, int lingerMs, int waitMs, FreeWatch** out,
                        bool* finishedAtReturn, double* freeUs) {
    FreeWatch* watch = nullptr;
    {
        std::lock_guard<std::mutex> lock(KeptMutex());
        KeptWatches().push_back(std::make_unique<FreeWatch>());
        watch = KeptWatches().back().get();
    }
    watch->shared = &shared;
    watch->lingerMs = lingerMs;
    *out = watch;
    const ZTHandle subscription = shared.Handle("ZTNewPreviewFrameSubscribe", [&]() {
        return shared.api.ZTNewPreviewFrameSubscribe(session, OnWatchedFrame, watch);
    });
    if (subscription == nullptr) return false;
    bool entered = false;
    {
        std::unique_lock<std::mutex> lock(watch->mutex);
        entered = watch->changed.wait_for(lock, std::chrono::milliseconds(waitMs),
                                          [watch]() { return watch->entered; });
    }
    const Clock::time_point start = Clock::now();
    shared.api.ZTFree(subscription);
    *freeUs = MicrosecondsSince(start);
    shared.AddLatency("ZTFree", *freeUs);
    std::lock_guard<std::mutex> lock(watch->mutex);
    *finishedAtReturn = watch->finished;
    watch->freeReturned = true;
    watch->changed.notify_all();
    return entered;
}

}  // namespace

const char* StatusName(Status status) {
    switch (status) {
    case Status::Holds: return "holds";
    case Status::Caution: return "caution";
    case Status::Fails: return "fails";
    case Status::Skipped: return "skipped";
    }
    return "skipped";
}

ProbeResult RunProbe(const ztkit::ZtApi& api, const ProbeOptions& options) {
    ProbeResult result;
    // Verdicts are filled in through references: the vector never grows past this.
    result.verdicts.reserve(16);
    Shared* sharedPointer = nullptr;
    {
        std::lock_guard<std::mutex> lock(KeptMutex());
        KeptShared().push_back(std::make_unique<Shared>());
        sharedPointer = KeptShared().back().get();
    }
    Shared& shared = *sharedPointer;
    shared.api = api;
    shared.caller = std::this_thread::get_id();
    // Every return goes through here: the calls' facts are copied out.
    struct CopyOut {
        Shared& from;
        ProbeResult& to;
        ~CopyOut() {
            std::lock_guard<std::mutex> lock(from.mutex);
            to.latencies = from.latencies;
            to.failures = from.failureList;
        }
    } copyOut{shared, result};

    // 1. The functions.
    Verdict& functions = Add(result, "functions", "The 25 functions the bridge calls");
#define ZTPROBE_NOTE_MISSING(name) \
    if (api.name == nullptr) result.missing.push_back(#name);
    ZT_FUNCTION_LIST(ZTPROBE_NOTE_MISSING)
#undef ZTPROBE_NOTE_MISSING
    if (!result.missing.empty()) {
        functions.status = Status::Fails;
        for (const std::string& name : result.missing) {
            functions.detail += (functions.detail.empty() ? "missing: " : ", ") + name;
        }
        functions.meaning = "KQSDK cannot be loaded with this Camera SDK: it imports all 25.";
        SkipRest(result, options.shoot);
        return result;
    }
    functions.status = Status::Holds;
    functions.detail = "all 25 are exported";
    functions.meaning = "KQSDK loads with this Camera SDK.";

    // 2. Initialize, terminate, initialize again; the camera list.
    Verdict& lifecycle = Add(result, "lifecycle", "Initialize, terminate and the camera list");
    const bool started = shared.Ok("ZTInitializeSDK", [&]() { return api.ZTInitializeSDK(); }) &&
                         shared.Ok("ZTTerminateSDK", [&]() { return api.ZTTerminateSDK(); }) &&
                         shared.Ok("ZTInitializeSDK", [&]() { return api.ZTInitializeSDK(); });
    if (!started) {
        lifecycle.status = Status::Fails;
        lifecycle.detail = "ZTInitializeSDK, ZTTerminateSDK, ZTInitializeSDK again: " + LastFunction(shared) +
                           " failed with " + LastCode(shared);
        lifecycle.meaning = "KQ_StartSDK fails.";
        SkipRest(result, options.shoot);
        return result;
    }
    const ZTHandle manager = shared.Handle("ZTGetCameraManager", [&]() { return api.ZTGetCameraManager(); });
    ZTCameraRecord* list = nullptr;
    std::uint32_t cameraCount = 0;
    const bool listed = manager != nullptr && shared.Ok("ZTGetCameraList", [&]() {
        return api.ZTGetCameraList(manager, &list, &cameraCount);
    });
    std::string listProblem;
    if (listed) listProblem = CheckCameraList(list, cameraCount, &result.cameras);
    if (list != nullptr) shared.Time("ZTFree", [&]() { api.ZTFree(list); });
    auto finish = [&]() {
        if (manager != nullptr) shared.Time("ZTFree", [&]() { api.ZTFree(manager); });
        shared.Ok("ZTTerminateSDK", [&]() { return api.ZTTerminateSDK(); });
    };
    if (!listed || !listProblem.empty()) {
        lifecycle.status = Status::Fails;
        lifecycle.detail = manager == nullptr ? "ZTGetCameraManager gave no manager"
                           : !listed          ? "ZTGetCameraList failed with " + LastCode(shared)
                                              : "camera list: " + listProblem;
        lifecycle.meaning = "KQ_GetDeviceList fails or lists wrong cameras.";
        finish();
        SkipRest(result, options.shoot);
        return result;
    }
    if (result.cameras.empty()) {
        result.noCamera = true;
        lifecycle.status = Status::Holds;
        lifecycle.detail = "initialize and terminate work; no camera is attached";
        lifecycle.meaning = "Attach a camera (and switch it on) to probe the rest.";
        finish();
        return result;
    }
    const CameraFacts& camera = result.cameras.front();
    lifecycle.status = camera.terminated ? Status::Holds : Status::Caution;
    lifecycle.detail = "initialize, terminate and initialize again work; " + std::to_string(result.cameras.size()) +
                       (result.cameras.size() == 1 ? " camera" : " cameras") + ", the first " + Hex(camera.id) +
                       " \"" + camera.name + "\"" +
                       (camera.terminated ? "" : " (its name fills the record with no terminator)");
    lifecycle.meaning = camera.terminated ? "KQ_StartSDK and KQ_GetDeviceList work."
                                          : "The bridge cuts the name to the device list entry's length.";

    // 3. A session and the six subscriptions.
    Verdict& sessionVerdict = Add(result, "session", "Session and subscriptions");
    ZTHandle session = nullptr;
    if (!shared.Ok("ZTOpenSession", [&]() { return api.ZTOpenSession(manager, camera.id, &session); }) ||
        session == nullptr) {
        sessionVerdict.status = Status::Fails;
        sessionVerdict.detail = session == nullptr && shared.failureList.empty()
                                    ? "ZTOpenSession succeeded but gave no session"
                                    : "ZTOpenSession failed with " + LastCode(shared);
        sessionVerdict.meaning = "KQ_ConnectCamera fails.";
        finish();
        SkipRest(result, options.shoot);
        return result;
    }
    shared.session = session;
    std::vector<std::pair<const char*, ZTHandle>> subscriptions = {
        {"ZTCameraListChangedSubscribe", shared.Handle("ZTCameraListChangedSubscribe", [&]() {
             return api.ZTCameraListChangedSubscribe(manager, OnCameraListChanged, &shared);
         })},
        {"ZTShootCompletedSubscribe", shared.Handle("ZTShootCompletedSubscribe", [&]() {
             return api.ZTShootCompletedSubscribe(session, OnShootCompleted, &shared);
         })},
        {"ZTDownloadCompletedSubscribe", shared.Handle("ZTDownloadCompletedSubscribe", [&]() {
             return api.ZTDownloadCompletedSubscribe(session, OnDownloadCompleted, &shared);
         })},
        {"ZTZoomCompletedSubscribe", shared.Handle("ZTZoomCompletedSubscribe", [&]() {
             return api.ZTZoomCompletedSubscribe(session, OnZoomCompleted, &shared);
         })},
        {"ZTCameraErrorSubscribe", shared.Handle("ZTCameraErrorSubscribe", [&]() {
             return api.ZTCameraErrorSubscribe(session, OnCameraError, &shared);
         })},
        {"ZTNewPreviewFrameSubscribe", shared.Handle("ZTNewPreviewFrameSubscribe", [&]() {
             return api.ZTNewPreviewFrameSubscribe(session, OnPreviewFrame, &shared);
         })},
    };
    auto closeSession = [&]() {
        for (const auto& subscription : subscriptions) {
            if (subscription.second != nullptr) shared.Time("ZTFree", [&]() { api.ZTFree(subscription.second); });
        }
        shared.Time("ZTFree", [&]() { api.ZTFree(session); });
        finish();
    };
    std::string noHandle;
    for (const auto& subscription : subscriptions) {
        if (subscription.second == nullptr) noHandle += (noHandle.empty() ? "" : ", ") + std::string(subscription.first);
    }
    if (!noHandle.empty()) {
        sessionVerdict.status = Status::Fails;
        sessionVerdict.detail = "no handle from " + noHandle;
        sessionVerdict.meaning = "KQ_ConnectCamera fails: the bridge subscribes to all six.";
        closeSession();
        SkipRest(result, options.shoot);
        return result;
    }
    sessionVerdict.status = Status::Holds;
    sessionVerdict.detail = "ZTOpenSession gave a session; the six subscriptions gave handles";
    sessionVerdict.meaning = "KQ_ConnectCamera works.";

    // 4. Callbacks: preview threads, a ZTFree with a callback in flight, and
    // callbacks after ZTFree over many cycles.
    Verdict& callbacks = Add(result, "callbacks", "Callbacks and their threads");
    const bool previewOn = shared.Ok("ZTSetPreviewState", [&]() { return api.ZTSetPreviewState(session, 1); });
    constexpr std::uint32_t kFramesForThreads = 16;
    shared.WaitFor(options.waitMs / 2, [&]() { return shared.previewFrames >= kFramesForThreads; });
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        result.previewFrames = shared.previewFrames;
        result.previewCallbackThreads = static_cast<int>(shared.previewThreads.size());
    }
    if (result.previewFrames > 0) {
        FreeWatch* watch = nullptr;
        bool finishedAtReturn = false;
        if (FreeDuringCallback(shared, session, options.lingerMs, options.waitMs, &watch, &finishedAtReturn,
                               &result.freeWithCallbackUs)) {
            result.freeWaitsMeasured = true;
            result.freeWaitsForCallbacks = finishedAtReturn;
        }
        std::vector<FreeWatch*> cycles;
        for (int i = 0; i < options.freeCycles; ++i) {
            FreeWatch* cycle = nullptr;
            bool ignored = false;
            double us = 0;
            if (FreeDuringCallback(shared, session, options.cycleLingerMs, options.waitMs / 5, &cycle, &ignored, &us)) ++result.freeCycles;
            cycles.push_back(cycle);
        }
        cycles.push_back(watch);
        // Late callbacks come soon after the release, if at all.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (FreeWatch* cycle : cycles) {
            std::lock_guard<std::mutex> lock(cycle->mutex);
            result.callbacksAfterFree += cycle->late;
            if (cycle != watch) result.callbacksRunningAfterFree += cycle->runningAfter;
        }
    }
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        result.callbackOnCallerThread = shared.onCaller;
    }
    std::string& detail = callbacks.detail;
    if (!previewOn || result.previewFrames == 0) {
        callbacks.status = Status::Fails;
        detail = previewOn ? "no preview frame came within " + std::to_string(options.waitMs / 2000) + " s"
                           : "ZTSetPreviewState failed with " + LastCode(shared);
        callbacks.meaning = "KQ_RC_StartViewFinder delivers no frames.";
    } else {
        char text[512];
        std::snprintf(text, sizeof text,
                      "preview frames on %d thread%s (%u frames); ZTFree of a subscription with a callback in "
                      "flight returned %s it ended (%.1f ms); over %d cycles, %u callbacks began after ZTFree "
                      "returned and %u were still running",
                      result.previewCallbackThreads, result.previewCallbackThreads == 1 ? "" : "s",
                      result.previewFrames,
                      !result.freeWaitsMeasured ? "(not measured)" : result.freeWaitsForCallbacks ? "after" : "before",
                      result.freeWithCallbackUs / 1000.0, result.freeCycles, result.callbacksAfterFree,
                      result.callbacksRunningAfterFree);
        detail = text;
        std::string meaning;
        if (result.callbackOnCallerThread) {
            callbacks.status = Status::Fails;
            detail += "; a callback ran on the thread that called the Camera SDK";
            meaning = "Callbacks on the caller's thread can deadlock the bridge's waits. ";
        } else if (!result.freeWaitsForCallbacks || result.callbacksAfterFree > 0) {
            callbacks.status = Status::Caution;
        } else {
            callbacks.status = Status::Holds;
        }
        if (result.callbacksAfterFree > 0) {
            meaning += "Callbacks arrive after ZTFree of their subscription has returned: unloading KQSDK after "
                       "KQ_FinishSDK can crash; keep it loaded until exit.";
        } else if (!result.freeWaitsForCallbacks) {
            meaning += "ZTFree does not wait for callbacks in flight: unloading KQSDK right after KQ_FinishSDK "
                       "can crash; keep it loaded until exit.";
        } else {
            meaning += "ZTFree waits for callbacks in flight and none came after it: KQSDK may be unloaded "
                       "after KQ_FinishSDK.";
        }
        if (result.previewCallbackThreads > 1) {
            meaning += " Preview frames come on " + std::to_string(result.previewCallbackThreads) +
                       " threads: the viewfinder callback may be called on any of them.";
        }
        callbacks.meaning = meaning;
    }

    // 5. Preview frames.
    Verdict& frames = Add(result, "frames", "Preview frames");
    {
        std::uint8_t* frame = nullptr;
        std::int32_t size = 0;
        if (!shared.Ok("ZTGetPreviewFrame", [&]() { return api.ZTGetPreviewFrame(session, &frame, &size); })) {
            frames.status = Status::Fails;
            frames.detail = "ZTGetPreviewFrame failed with " + LastCode(shared);
            frames.meaning = "The viewfinder shows nothing.";
        } else {
            const std::string problem = CheckFrame(frame, size, &result.frame);
            result.frameChecked = true;
            if (frame != nullptr) shared.Time("ZTFree", [&]() { api.ZTFree(frame); });
            const FrameFacts& f = result.frame;
            if (!problem.empty()) {
                frames.status = Status::Fails;
                frames.detail = problem;
                frames.meaning = "The bridge picks packed or padded rows from these fields and drops frames whose "
                                 "rows do not fit: the viewfinder may show nothing or a skewed picture.";
            } else {
                char text[256];
                std::snprintf(text, sizeof text,
                              "%d x %d, 24 bits, %s, rows %s; bfSize, bfOffBits (%u) and biSizeImage (%u) agree "
                              "with the %d bytes",
                              f.width, f.height < 0 ? -f.height : f.height, f.height < 0 ? "top-down" : "bottom-up",
                              f.padded ? "padded to four bytes" : "packed", f.pixelOffset, f.imageSize, f.size);
                frames.status = Status::Holds;
                frames.detail = text;
                frames.meaning = "The viewfinder shows whole pictures.";
            }
        }
        if (previewOn) shared.Ok("ZTSetPreviewState", [&]() { return api.ZTSetPreviewState(session, 0); });
    }

    // 6. Properties and zoom.
    Verdict& properties = Add(result, "properties", "Properties and zoom");
    {
        std::int32_t* ids = nullptr;
        std::int32_t count = 0;
        std::string problem;
        int unlisted = 0;
        std::int32_t largest = 0;
        if (!shared.Ok("ZTGetPropertyList", [&]() { return api.ZTGetPropertyList(session, &ids, &count); })) {
            problem = "ZTGetPropertyList failed with " + LastCode(shared);
        } else {
            problem = CheckPropertyList(ids, count);
            if (problem.empty()) result.propertyCount = count;
            for (std::int32_t i = 0; problem.empty() && i < count; ++i) {
                const std::int32_t id = ids[i];
                ZTPropertyDesc* desc = nullptr;
                std::int32_t value = 0;
                std::string name;
                const char* rawName = nullptr;
                if (!shared.Ok("ZTGetPropertyDesc", [&]() { return api.ZTGetPropertyDesc(session, id, &desc); })) {
                    problem = "ZTGetPropertyDesc(" + std::to_string(id) + ") failed";
                } else if (!shared.Ok("ZTGetPropertyData",
                                      [&]() { return api.ZTGetPropertyData(session, id, &value); })) {
                    problem = "ZTGetPropertyData(" + std::to_string(id) + ") failed";
                } else if (!shared.Ok("ZTGetPropertyName", [&]() { return api.ZTGetPropertyName(id, &rawName); })) {
                    problem = "ZTGetPropertyName(" + std::to_string(id) + ") failed";
                } else {
                    bool valueListed = false;
                    problem = CheckDescriptor(desc, &valueListed, value);
                    if (problem.empty()) problem = CheckPropertyName(rawName, &name);
                    if (!problem.empty()) problem = "property " + std::to_string(id) + ": " + problem;
                    if (problem.empty() && desc->count > largest) largest = desc->count;
                    if (problem.empty() && !valueListed) ++unlisted;
                    // Written back unchanged: the call works and the camera keeps its setting.
                    if (problem.empty() && i == 0 &&
                        !shared.Ok("ZTSetPropertyData", [&]() { return api.ZTSetPropertyData(session, id, value); })) {
                        problem = "ZTSetPropertyData(" + std::to_string(id) + ", its own value) failed";
                    }
                }
                if (desc != nullptr) shared.Time("ZTFree", [&]() { api.ZTFree(desc); });
            }
        }
        if (ids != nullptr) shared.Time("ZTFree", [&]() { api.ZTFree(ids); });
        std::int32_t position = -1;
        if (problem.empty()) {
            if (!shared.Ok("ZTGetMaximumZoom", [&]() { return api.ZTGetMaximumZoom(session, &result.maxZoom); })) {
                problem = "ZTGetMaximumZoom failed with " + LastCode(shared);
            } else if (!shared.Ok("ZTGetZoom", [&]() { return api.ZTGetZoom(session, &position); })) {
                problem = "ZTGetZoom failed with " + LastCode(shared);
            } else if (result.maxZoom < 0 || position < 0 || position > result.maxZoom) {
                problem = "zoom position " + std::to_string(position) + " outside 0.." + std::to_string(result.maxZoom);
            }
        }
        if (!problem.empty()) {
            properties.status = Status::Fails;
            properties.detail = problem;
            properties.meaning = "KQ_GetDevicePropDesc, KQ_GetDevicePropValue or the zoom fail for this camera.";
        } else {
            properties.status = unlisted > 0 ? Status::Caution : Status::Holds;
            properties.detail = std::to_string(result.propertyCount) + " properties, descriptors of up to " +
                                std::to_string(largest) + " values; maximum zoom " + std::to_string(result.maxZoom) +
                                ", position " + std::to_string(position);
            if (unlisted > 0) {
                properties.detail += "; " + std::to_string(unlisted) + " current values not among their supported ones";
                properties.meaning = "An application that offers the supported values will not find the current one.";
            } else {
                properties.meaning = "Property descriptors, values and the zoom work.";
            }
        }
    }

    // 7. A shot, its download and the file it names.
    Verdict& shotVerdict = Add(result, "shot", "Shot and download");
    if (!options.shoot) {
        shotVerdict.detail = "not tried (--no-shoot)";
    } else {
        shared.Ok("ZTUpdateAEAF", [&]() { return api.ZTUpdateAEAF(session); });
        const bool shootOk = shared.Ok("ZTShoot", [&]() { return api.ZTShoot(session); });
        std::string problem;
        if (!shootOk) {
            problem = "ZTShoot failed with " + LastCode(shared);
        } else if (!shared.WaitFor(options.waitMs, [&]() { return shared.shot; })) {
            problem = "no shot-completed within " + std::to_string(options.waitMs / 1000) + " s";
        } else if (shared.WaitFor(0, [&]() { return shared.shotRecordNull; })) {
            problem = "shot-completed came with no record";
        } else if (!shared.WaitFor(options.waitMs, [&]() { return shared.downloadCalled; }) ||
                   shared.WaitFor(0, [&]() { return shared.downloadResult != ZT_OK; })) {
            problem = "ZTDownloadFile from the shot-completed callback failed";
        } else if (!shared.WaitFor(options.waitMs, [&]() { return shared.downloaded; })) {
            problem = "no download-completed within " + std::to_string(options.waitMs / 1000) + " s";
        }
        std::vector<std::uint16_t> path;
        bool beforeShot = false;
        bool pathNull = false;
        std::uint32_t item = 0, value = 0;
        {
            std::lock_guard<std::mutex> lock(shared.mutex);
            path = shared.path;
            beforeShot = shared.downloadBeforeShot;
            pathNull = shared.pathNull;
            item = shared.item;
            value = shared.downloadValue;
        }
        if (problem.empty() && beforeShot) problem = "download-completed came before shot-completed";
        if (problem.empty() && pathNull) problem = "download-completed named no file";
        if (problem.empty()) {
            result.shotFile = ztkit::Utf16ToUtf8(path.data(), path.size());
            const FileFacts file = InspectAndRemove(path);
            result.shotFileBytes = file.bytes;
            result.shotFileIsJpeg = file.jpeg;
            if (file.bytes <= 0) problem = "the file " + result.shotFile + (file.bytes < 0 ? " cannot be read" : " is empty");
        }
        if (!problem.empty()) {
            shotVerdict.status = Status::Fails;
            shotVerdict.detail = problem;
            shotVerdict.meaning = "KQ_RC_Release or KQ_RC_GetReleasedData fail: no picture reaches the application.";
        } else {
            shotVerdict.status = Status::Holds;
            shotVerdict.detail = "shot-completed (item " + std::to_string(item) + "), then download-completed (value " +
                                 std::to_string(value) + ") naming " + result.shotFile + ", " +
                                 std::to_string(result.shotFileBytes) + " bytes" +
                                 (result.shotFileIsJpeg ? ", a whole JPEG file" : "") +
                                 " (removed afterwards, as the bridge does)";
            shotVerdict.meaning = "KQ_RC_Release and KQ_RC_GetReleasedData deliver the picture.";
        }
    }

    closeSession();
    return result;
}

int ExitStatus(const ProbeResult& result) {
    if (result.noCamera) return 3;
    for (const Verdict& verdict : result.verdicts) {
        if (verdict.status == Status::Fails) return 1;
    }
    return 0;
}

}  // namespace ztprobe
