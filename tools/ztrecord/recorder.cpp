// The recording Camera SDK: named and exporting exactly like the Camera SDK,
// it loads the real one from ZTRECORD_SDK, forwards every call and wraps
// every callback, and appends one line per call and per callback to
// ZTRECORD_OUT. It never changes what a call does or returns: it makes no
// call of its own on the real Camera SDK, hands every result back as it
// came, and keeps errno (and the thread's last error on Windows) as the real
// call left it.
//
// Callbacks: each subscription gets a context of the recorder's (the real
// callback and context, a number) and the recorder's trampoline in their
// place. Contexts are never freed while the process runs, because a Camera
// SDK whose ZTFree does not wait may still call one after the release; at
// most kMaxWraps are made, and later subscriptions are passed through as
// they are, unrecorded.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "text.h"
#include "trace_log.h"
#include "utf16_text.h"
#include "zt_functions.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point loadTime = Clock::now();

// Returned by every call when the real Camera SDK cannot be loaded (handle
// functions return null, ZTFree does nothing).
constexpr ZTResult kNoRealSdk = 0xE0DE0001u;
constexpr std::size_t kMaxWraps = 65536;
constexpr std::size_t kMaxTracked = 65536;
constexpr std::size_t kMaxPathUnits = 32768;
constexpr std::uint64_t kDefaultBound = 64ull << 20;

std::uint64_t Microseconds(Clock::time_point at) {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(at - loadTime).count());
}

std::uint32_t ThreadId() {
#if defined(_WIN32)
    return static_cast<std::uint32_t>(GetCurrentThreadId());
#else
    return static_cast<std::uint32_t>(syscall(SYS_gettid));
#endif
}

// errno and the last error as the real call left them, restored after the
// recorder's own work.
class KeepErrors {
public:
    KeepErrors() : errno_(errno) {
#if defined(_WIN32)
        lastError_ = GetLastError();
#endif
    }
    ~KeepErrors() {
        errno = errno_;
#if defined(_WIN32)
        SetLastError(lastError_);
#endif
    }
    KeepErrors(const KeepErrors&) = delete;
    KeepErrors& operator=(const KeepErrors&) = delete;

private:
    int errno_;
#if defined(_WIN32)
    DWORD lastError_ = 0;
#endif
};

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string Pointer(const void* pointer) {
    char text[24];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

std::string Quoted(const std::string& text) { return ztkit::Quoted(text, "\\x%02x"); }

std::string PathText(const std::uint16_t* path) {
    if (path == nullptr) return "null";
    return Quoted(ztkit::Utf16ToUtf8(path, ztkit::BoundedUtf16Length(path, kMaxPathUnits)));
}

enum class Kind { CameraListChanged, ShootCompleted, DownloadCompleted, ZoomCompleted, CameraError, NewPreviewFrame };

const char* KindName(Kind kind) {
    switch (kind) {
    case Kind::CameraListChanged: return "CameraListChanged";
    case Kind::ShootCompleted: return "ShootCompleted";
    case Kind::DownloadCompleted: return "DownloadCompleted";
    case Kind::ZoomCompleted: return "ZoomCompleted";
    case Kind::CameraError: return "CameraError";
    case Kind::NewPreviewFrame: return "NewPreviewFrame";
    }
    return "?";
}

struct Wrap {
    Kind kind = Kind::NewPreviewFrame;
    void (*callback)() = nullptr;  // the real callback, cast back by kind
    void* context = nullptr;
    std::uint32_t number = 0;
    std::atomic<bool> released{false};  // its ZTFree has returned
};

struct State {
    std::mutex mutex;
    bool loadTried = false;
    bool loaded = false;
    std::atomic<bool> ready{false};  // loaded, and api complete: read without the mutex
    ztkit::ZtApi api;
    std::vector<std::unique_ptr<Wrap>> wraps;
    std::unordered_map<const void*, Wrap*> liveSubscriptions;
    std::unordered_map<const void*, std::string> handedOut;  // what a ZTFree releases
    bool wrapLimitNoted = false;
    ztrecord::TraceLog log;
    std::atomic<std::uint64_t> calls{0};
    std::atomic<std::uint64_t> callbacks{0};
};

// Lives until the process ends: callbacks may come during its exit.
State& S() {
    static State* state = new State();
    return *state;
}

void Line(Clock::time_point start, const std::string& text) {
    try {
        const Clock::time_point end = Clock::now();
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(end - start).count();
        S().log.Write(ztrecord::TraceLine(Microseconds(start), ThreadId(),
                                          text + " [" + std::to_string(static_cast<long long>(us)) + " us]"));
    } catch (...) {
        // No line rather than an exception into the caller.
    }
}

// Line() with its text made inside the guard too.
template <class Text>
void Record(Clock::time_point start, Text text) {
    try {
        Line(start, text());
    } catch (...) {
    }
}

std::string Environment(const char* name) {
#if defined(_WIN32)
    std::wstring wide(name, name + std::strlen(name));
    const wchar_t* value = _wgetenv(wide.c_str());
    if (value == nullptr) return std::string();
    const std::size_t units = std::wcslen(value);
    std::vector<std::uint16_t> copy(value, value + units);
    return ztkit::Utf16ToUtf8(copy.data(), copy.size());
#else
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
#endif
}

// The folder this library was loaded from, with a trailing separator.
std::string OwnFolder() {
#if defined(_WIN32)
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&OwnFolder), &self)) {
        return std::string();
    }
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetModuleFileNameW(self, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return std::string();
    std::vector<std::uint16_t> units(buffer.data(), buffer.data() + length);
    std::string path = ztkit::Utf16ToUtf8(units.data(), units.size());
    const std::size_t slash = path.find_last_of("\\/");
#else
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr) return std::string();
    std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
#endif
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

#if defined(_WIN32)
const char kRealDefault[] = "ZTSDK_32.real.dll";
#else
const char kRealDefault[] = "libZTSDK_32.real.so";
#endif

// True once the real Camera SDK is loaded: the first call opens the trace
// and loads it (once, whichever thread calls first).
bool Load(State& state);

bool Ready() {
    State& state = S();
    if (state.ready.load(std::memory_order_acquire)) return true;
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.loadTried) return state.loaded;
    state.loadTried = true;
    try {
        return Load(state);
    } catch (...) {
        // Out of memory while loading: as if the real one could not be loaded.
        state.api = ztkit::ZtApi();
        return false;
    }
}

// Opens the trace and loads the real Camera SDK (with state.mutex held).
bool Load(State& state) {
    KeepErrors keep;
    std::string out = Environment("ZTRECORD_OUT");
    if (out.empty()) out = "ztrecord.log";
    std::uint64_t bound = kDefaultBound;
    const std::string max = Environment("ZTRECORD_MAX_BYTES");
    if (!max.empty()) {
        char* end = nullptr;
        const unsigned long long parsed = std::strtoull(max.c_str(), &end, 10);
        if (end != nullptr && *end == '\0' && parsed > 0) bound = parsed;
    }
    state.log.Open(out, bound);
    std::string path = Environment("ZTRECORD_SDK");
    if (path.empty()) path = OwnFolder() + kRealDefault;
    std::string error;
#if defined(_WIN32)
    std::vector<std::uint16_t> wide;
    {
        const int units = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
        std::vector<wchar_t> buffer(units > 0 ? static_cast<std::size_t>(units) : 1u, L'\0');
        if (units > 0) MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, buffer.data(), units);
        const HMODULE module = LoadLibraryW(buffer.data());
        if (module == nullptr) {
            error = "cannot load it (error " + std::to_string(GetLastError()) + ")";
        } else {
            ztkit::ResolveZtApi(
                [module](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); },
                &state.api, nullptr);
        }
    }
#else
    // RTLD_LOCAL: its symbols stay out of the global scope, where the
    // recorder's own (of the same names) are. RTLD_DEEPBIND: its calls of
    // its own functions reach its own, not the recorder's (not under the
    // sanitizers, whose runtime refuses it).
    int flags = RTLD_NOW | RTLD_LOCAL;
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    flags |= RTLD_DEEPBIND;
#endif
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(file.c_str(), flags);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = std::string("cannot load it: ") + (reason != nullptr ? reason : "unknown error");
    } else {
        ztkit::ResolveZtApi([handle](const char* name) { return dlsym(handle, name); }, &state.api, nullptr);
    }
#endif
    if (error.empty()) {
        std::string lacking;
#define ZTRECORD_NOTE_MISSING(fn) \
    if (state.api.fn == nullptr) lacking += (lacking.empty() ? "" : ", ") + std::string(#fn);
        ZT_FUNCTION_LIST(ZTRECORD_NOTE_MISSING)
#undef ZTRECORD_NOTE_MISSING
        if (state.api.ZTInitializeSDK == &::ZTInitializeSDK) {
            error = "it is the recorder itself";
        } else if (!lacking.empty()) {
            error = "it lacks " + lacking;
        }
    }
    const std::string head = "ztrecord: trace of the Camera SDK " + Quoted(path) + ", bound " + std::to_string(bound) +
                             " bytes";
    if (!error.empty()) {
        state.log.Write(ztrecord::TraceLine(Microseconds(Clock::now()), ThreadId(),
                                            head + ": " + error + "; every call answers " + Hex(kNoRealSdk)));
        state.api = ztkit::ZtApi();
        return false;
    }
    state.log.Write(ztrecord::TraceLine(Microseconds(Clock::now()), ThreadId(), head));
    state.loaded = true;
    state.ready.store(true, std::memory_order_release);
    return true;
}

void Track(const void* pointer, const std::string& what) {
    if (pointer == nullptr) return;
    try {
        State& state = S();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.handedOut.size() < kMaxTracked) state.handedOut[pointer] = what;
    } catch (...) {
    }
}

// --- callbacks ---

std::string CallbackHead(const Wrap* wrap) {
    return std::string("callback ") + KindName(wrap->kind) + " #" + std::to_string(wrap->number) +
           (wrap->released.load() ? " (after its ZTFree)" : "");
}

void ZT_STDCALL OnCameraListChanged(void* context, const void* record, std::int32_t changeKind) {
    Wrap* wrap = static_cast<Wrap*>(context);
    const Clock::time_point start = Clock::now();
    reinterpret_cast<ZTCameraListChangedProc>(wrap->callback)(wrap->context, record, changeKind);
    KeepErrors keep;
    S().callbacks++;
    try {
        std::uint32_t id = 0;
        if (record != nullptr) std::memcpy(&id, record, sizeof id);
        Line(start, CallbackHead(wrap) + "(record=" + Pointer(record) +
                        (record != nullptr ? " cameraId=" + Hex(id) : std::string()) +
                        ", changeKind=" + std::to_string(changeKind) + ")");
    } catch (...) {
    }
}

void ZT_STDCALL OnShootCompleted(void* context, const void* record) {
    Wrap* wrap = static_cast<Wrap*>(context);
    const Clock::time_point start = Clock::now();
    reinterpret_cast<ZTShootCompletedProc>(wrap->callback)(wrap->context, record);
    KeepErrors keep;
    S().callbacks++;
    try {
        std::uint32_t item = 0;
        if (record != nullptr) std::memcpy(&item, record, sizeof item);
        Line(start, CallbackHead(wrap) + "(record=" + Pointer(record) +
                        (record != nullptr ? " item=" + std::to_string(item) : std::string()) + ")");
    } catch (...) {
    }
}

void ZT_STDCALL OnDownloadCompleted(void* context, std::uint32_t value, const std::uint16_t* path) {
    Wrap* wrap = static_cast<Wrap*>(context);
    const Clock::time_point start = Clock::now();
    // The path is read before the callback, which may remove the file and
    // the SDK may reuse the buffer after it.
    std::string pathText;
    try {
        pathText = PathText(path);
    } catch (...) {
    }
    reinterpret_cast<ZTDownloadCompletedProc>(wrap->callback)(wrap->context, value, path);
    KeepErrors keep;
    S().callbacks++;
    try {
        Line(start, CallbackHead(wrap) + "(value=" + std::to_string(value) + ", path=" + pathText + ")");
    } catch (...) {
    }
}

void ZT_STDCALL OnZoomCompleted(void* context) {
    Wrap* wrap = static_cast<Wrap*>(context);
    const Clock::time_point start = Clock::now();
    reinterpret_cast<ZTZoomCompletedProc>(wrap->callback)(wrap->context);
    KeepErrors keep;
    S().callbacks++;
    try {
        Line(start, CallbackHead(wrap) + "()");
    } catch (...) {
    }
}

void ZT_STDCALL OnCameraError(void* context, std::int32_t errorKind) {
    Wrap* wrap = static_cast<Wrap*>(context);
    const Clock::time_point start = Clock::now();
    reinterpret_cast<ZTCameraErrorProc>(wrap->callback)(wrap->context, errorKind);
    KeepErrors keep;
    S().callbacks++;
    try {
        Line(start, CallbackHead(wrap) + "(errorKind=" + std::to_string(errorKind) + ")");
    } catch (...) {
    }
}

void ZT_STDCALL OnNewPreviewFrame(void* context) {
    Wrap* wrap = static_cast<Wrap*>(context);
    const Clock::time_point start = Clock::now();
    reinterpret_cast<ZTNewPreviewFrameProc>(wrap->callback)(wrap->context);
    KeepErrors keep;
    S().callbacks++;
    try {
        Line(start, CallbackHead(wrap) + "()");
    } catch (...) {
    }
}

// A context for a subscription: null when the limit is reached (or memory
// is short), and the subscription is then passed through as it is.
Wrap* NewWrap(Kind kind, void (*callback)(), void* context) {
    if (callback == nullptr) return nullptr;
    try {
        State& state = S();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.wraps.size() >= kMaxWraps) {
            if (!state.wrapLimitNoted) {
                state.wrapLimitNoted = true;
                state.log.Write(ztrecord::TraceLine(Microseconds(Clock::now()), ThreadId(),
                                                    "ztrecord: " + std::to_string(kMaxWraps) +
                                                        " subscriptions recorded; later ones pass unrecorded"));
            }
            return nullptr;
        }
        auto wrap = std::make_unique<Wrap>();
        wrap->kind = kind;
        wrap->callback = callback;
        wrap->context = context;
        wrap->number = static_cast<std::uint32_t>(state.wraps.size() + 1);
        state.wraps.push_back(std::move(wrap));
        return state.wraps.back().get();
    } catch (...) {
        return nullptr;
    }
}

// Subscribes through the real function, with the trampoline when wrapped.
template <class Proc, class Subscribe>
ZTHandle SubscribeWrapped(const char* name, Kind kind, ZTHandle target, Proc callback, void* context,
                          Proc trampoline, Subscribe subscribe) {
    if (!Ready()) return nullptr;
    S().calls++;
    Wrap* wrap = NewWrap(kind, reinterpret_cast<void (*)()>(callback), context);
    const Clock::time_point start = Clock::now();
    const ZTHandle handle = wrap != nullptr ? subscribe(target, trampoline, wrap) : subscribe(target, callback, context);
    KeepErrors keep;
    try {
        if (handle != nullptr && wrap != nullptr) {
            std::lock_guard<std::mutex> lock(S().mutex);
            S().liveSubscriptions[handle] = wrap;
        }
        Line(start, std::string(name) + "(" + Pointer(target) + ", callback=" + Pointer(reinterpret_cast<void*>(callback)) +
                        ", context=" + Pointer(context) + ") -> " + Pointer(handle) +
                        (wrap != nullptr ? " #" + std::to_string(wrap->number) : std::string(" (not recorded)")));
    } catch (...) {
    }
    return handle;
}

std::string ResultText(ZTResult result) { return Hex(result); }

}  // namespace

// --- the 25 exports ---

extern "C" {

ZT_API ZTResult ZT_STDCALL ZTInitializeSDK(void) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTInitializeSDK();
    KeepErrors keep;
    Record(start, [&]() { return "ZTInitializeSDK() -> " + ResultText(result); });
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTTerminateSDK(void) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTTerminateSDK();
    KeepErrors keep;
    Record(start, [&]() { return "ZTTerminateSDK() -> " + ResultText(result); });
    return result;
}

ZT_API ZTHandle ZT_STDCALL ZTGetCameraManager(void) {
    if (!Ready()) return nullptr;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTHandle handle = S().api.ZTGetCameraManager();
    KeepErrors keep;
    Track(handle, "camera manager");
    Record(start, [&]() { return "ZTGetCameraManager() -> " + Pointer(handle); });
    return handle;
}

ZT_API void ZT_STDCALL ZTFree(void* handleOrBuffer) {
    if (!Ready()) return;
    S().calls++;
    std::string what;
    Wrap* subscription = nullptr;
    try {
        std::lock_guard<std::mutex> lock(S().mutex);
        const auto live = S().liveSubscriptions.find(handleOrBuffer);
        if (live != S().liveSubscriptions.end()) {
            subscription = live->second;
            S().liveSubscriptions.erase(live);
            what = std::string(" subscription #") + std::to_string(subscription->number) + " " +
                   KindName(subscription->kind);
        } else {
            const auto item = S().handedOut.find(handleOrBuffer);
            if (item != S().handedOut.end()) {
                what = " " + item->second;
                S().handedOut.erase(item);
            }
        }
    } catch (...) {
    }
    const Clock::time_point start = Clock::now();
    S().api.ZTFree(handleOrBuffer);
    KeepErrors keep;
    if (subscription != nullptr) subscription->released = true;
    try {
        Line(start, "ZTFree(" + Pointer(handleOrBuffer) + what + ")");
    } catch (...) {
    }
}

ZT_API ZTHandle ZT_STDCALL ZTCameraListChangedSubscribe(ZTHandle manager, ZTCameraListChangedProc callback,
                                                        void* context) {
    return SubscribeWrapped("ZTCameraListChangedSubscribe", Kind::CameraListChanged, manager, callback, context,
                            static_cast<ZTCameraListChangedProc>(OnCameraListChanged),
                            [](ZTHandle t, ZTCameraListChangedProc c, void* x) {
                                return S().api.ZTCameraListChangedSubscribe(t, c, x);
                            });
}

ZT_API ZTResult ZT_STDCALL ZTGetCameraList(ZTHandle manager, ZTCameraRecord** list, std::uint32_t* count) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTGetCameraList(manager, list, count);
    KeepErrors keep;
    try {
        std::string text = "ZTGetCameraList(" + Pointer(manager) + ") -> " + ResultText(result);
        if (result == ZT_OK && list != nullptr && count != nullptr) {
            text += " list=" + Pointer(*list) + " count=" + std::to_string(*count);
            Track(*list, "camera list");
            const std::uint32_t shown = *count < 64 ? *count : 64;
            for (std::uint32_t i = 0; *list != nullptr && i < shown; ++i) {
                const ZTCameraRecord& record = (*list)[i];
                text += " [" + Hex(record.cameraId) + " " +
                        Quoted(ztkit::Utf16ToUtf8(record.name,
                                                  ztkit::BoundedUtf16Length(record.name, ZT_CAMERA_NAME_UNITS))) +
                        "]";
            }
        }
        Line(start, text);
    } catch (...) {
    }
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTOpenSession(ZTHandle manager, std::uint32_t cameraId, ZTHandle* session) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTOpenSession(manager, cameraId, session);
    KeepErrors keep;
    try {
        std::string text = "ZTOpenSession(" + Pointer(manager) + ", cameraId=" + Hex(cameraId) + ") -> " + ResultText(result);
        if (result == ZT_OK && session != nullptr) {
            text += " session=" + Pointer(*session);
            Track(*session, "session");
        }
        Line(start, text);
    } catch (...) {
    }
    return result;
}

ZT_API ZTHandle ZT_STDCALL ZTShootCompletedSubscribe(ZTHandle session, ZTShootCompletedProc callback, void* context) {
    return SubscribeWrapped("ZTShootCompletedSubscribe", Kind::ShootCompleted, session, callback, context,
                            static_cast<ZTShootCompletedProc>(OnShootCompleted),
                            [](ZTHandle t, ZTShootCompletedProc c, void* x) {
                                return S().api.ZTShootCompletedSubscribe(t, c, x);
                            });
}

ZT_API ZTHandle ZT_STDCALL ZTDownloadCompletedSubscribe(ZTHandle session, ZTDownloadCompletedProc callback,
                                                        void* context) {
    return SubscribeWrapped("ZTDownloadCompletedSubscribe", Kind::DownloadCompleted, session, callback, context,
                            static_cast<ZTDownloadCompletedProc>(OnDownloadCompleted),
                            [](ZTHandle t, ZTDownloadCompletedProc c, void* x) {
                                return S().api.ZTDownloadCompletedSubscribe(t, c, x);
                            });
}

ZT_API ZTHandle ZT_STDCALL ZTZoomCompletedSubscribe(ZTHandle session, ZTZoomCompletedProc callback, void* context) {
    return SubscribeWrapped("ZTZoomCompletedSubscribe", Kind::ZoomCompleted, session, callback, context,
                            static_cast<ZTZoomCompletedProc>(OnZoomCompleted),
                            [](ZTHandle t, ZTZoomCompletedProc c, void* x) {
                                return S().api.ZTZoomCompletedSubscribe(t, c, x);
                            });
}

ZT_API ZTHandle ZT_STDCALL ZTCameraErrorSubscribe(ZTHandle session, ZTCameraErrorProc callback, void* context) {
    return SubscribeWrapped("ZTCameraErrorSubscribe", Kind::CameraError, session, callback, context,
                            static_cast<ZTCameraErrorProc>(OnCameraError),
                            [](ZTHandle t, ZTCameraErrorProc c, void* x) {
                                return S().api.ZTCameraErrorSubscribe(t, c, x);
                            });
}

ZT_API ZTHandle ZT_STDCALL ZTNewPreviewFrameSubscribe(ZTHandle session, ZTNewPreviewFrameProc callback,
                                                      void* context) {
    return SubscribeWrapped("ZTNewPreviewFrameSubscribe", Kind::NewPreviewFrame, session, callback, context,
                            static_cast<ZTNewPreviewFrameProc>(OnNewPreviewFrame),
                            [](ZTHandle t, ZTNewPreviewFrameProc c, void* x) {
                                return S().api.ZTNewPreviewFrameSubscribe(t, c, x);
                            });
}

ZT_API ZTResult ZT_STDCALL ZTSetPreviewState(ZTHandle session, std::int32_t on) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTSetPreviewState(session, on);
    KeepErrors keep;
    Record(start, [&]() { return "ZTSetPreviewState(" + Pointer(session) + ", on=" + std::to_string(on) + ") -> " + ResultText(result); });
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTGetPreviewFrame(ZTHandle session, std::uint8_t** frame, std::int32_t* size) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTGetPreviewFrame(session, frame, size);
    KeepErrors keep;
    try {
        std::string text = "ZTGetPreviewFrame(" + Pointer(session) + ") -> " + ResultText(result);
        if (result == ZT_OK && frame != nullptr && size != nullptr) {
            text += " frame=" + Pointer(*frame) + " size=" + std::to_string(*size);
            // The picture's size from its header, read within the byte count.
            if (*frame != nullptr && *size >= 26) {
                std::int32_t width = 0, height = 0;
                std::memcpy(&width, *frame + 18, sizeof width);
                std::memcpy(&height, *frame + 22, sizeof height);
                text += " width=" + std::to_string(width) + " height=" + std::to_string(height);
            }
            Track(*frame, "preview frame");
        }
        Line(start, text);
    } catch (...) {
    }
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTShoot(ZTHandle session) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTShoot(session);
    KeepErrors keep;
    Record(start, [&]() { return "ZTShoot(" + Pointer(session) + ") -> " + ResultText(result); });
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTDownloadFile(ZTHandle session, std::uint32_t item, std::int32_t mode) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTDownloadFile(session, item, mode);
    KeepErrors keep;
    Record(start, [&]() { return "ZTDownloadFile(" + Pointer(session) + ", item=" + std::to_string(item) + ", mode=" +
                    std::to_string(mode) + ") -> " + ResultText(result); });
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTUpdateAEAF(ZTHandle session) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTUpdateAEAF(session);
    KeepErrors keep;
    Record(start, [&]() { return "ZTUpdateAEAF(" + Pointer(session) + ") -> " + ResultText(result); });
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTGetPropertyList(ZTHandle session, std::int32_t** ids, std::int32_t* count) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTGetPropertyList(session, ids, count);
    KeepErrors keep;
    try {
        std::string text = "ZTGetPropertyList(" + Pointer(session) + ") -> " + ResultText(result);
        if (result == ZT_OK && ids != nullptr && count != nullptr) {
            text += " ids=" + Pointer(*ids) + " count=" + std::to_string(*count);
            Track(*ids, "property list");
            if (*ids != nullptr && *count > 0 && *count <= 1024) {
                text += " [";
                for (std::int32_t i = 0; i < *count; ++i) text += (i == 0 ? "" : " ") + std::to_string((*ids)[i]);
                text += "]";
            }
        }
        Line(start, text);
    } catch (...) {
    }
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTGetPropertyDesc(ZTHandle session, std::int32_t propertyId, ZTPropertyDesc** desc) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTGetPropertyDesc(session, propertyId, desc);
    KeepErrors keep;
    try {
        std::string text = "ZTGetPropertyDesc(" + Pointer(session) + ", id=" + std::to_string(propertyId) + ") -> " +
                           ResultText(result);
        if (result == ZT_OK && desc != nullptr) {
            text += " desc=" + Pointer(*desc);
            Track(*desc, "property descriptor");
            const ZTPropertyDesc* d = *desc;
            if (d != nullptr) {
                text += " count=" + std::to_string(d->count);
                // Values only within a sane count; the first 64 of them.
                if (d->values != nullptr && d->count > 0 && d->count <= 4096) {
                    const std::int32_t shown = d->count < 64 ? d->count : 64;
                    text += " [";
                    for (std::int32_t i = 0; i < shown; ++i) text += (i == 0 ? "" : " ") + std::to_string(d->values[i]);
                    text += shown < d->count ? " ...]" : "]";
                }
            }
        }
        Line(start, text);
    } catch (...) {
    }
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTGetPropertyData(ZTHandle session, std::int32_t propertyId, std::int32_t* value) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTGetPropertyData(session, propertyId, value);
    KeepErrors keep;
    try {
        Line(start, "ZTGetPropertyData(" + Pointer(session) + ", id=" + std::to_string(propertyId) + ") -> " +
                        ResultText(result) +
                        (result == ZT_OK && value != nullptr ? " value=" + std::to_string(*value) : std::string()));
    } catch (...) {
    }
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTSetPropertyData(ZTHandle session, std::int32_t propertyId, std::int32_t value) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTSetPropertyData(session, propertyId, value);
    KeepErrors keep;
    Record(start, [&]() { return "ZTSetPropertyData(" + Pointer(session) + ", id=" + std::to_string(propertyId) + ", value=" +
                    std::to_string(value) + ") -> " + ResultText(result); });
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTGetPropertyName(std::int32_t propertyId, const char** name) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTGetPropertyName(propertyId, name);
    KeepErrors keep;
    try {
        std::string text = "ZTGetPropertyName(id=" + std::to_string(propertyId) + ") -> " + ResultText(result);
        if (result == ZT_OK && name != nullptr) {
            if (*name == nullptr) {
                text += " name=null";
            } else {
                std::size_t length = 0;
                while (length < 256 && (*name)[length] != '\0') ++length;
                text += " name=" + Quoted(std::string(*name, length)) + (length == 256 ? "..." : "");
            }
        }
        Line(start, text);
    } catch (...) {
    }
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTGetZoom(ZTHandle session, std::int32_t* position) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTGetZoom(session, position);
    KeepErrors keep;
    Record(start, [&]() { return "ZTGetZoom(" + Pointer(session) + ") -> " + ResultText(result) +
                    (result == ZT_OK && position != nullptr ? " position=" + std::to_string(*position) : std::string()); });
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTSetZoom(ZTHandle session, std::int32_t position) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTSetZoom(session, position);
    KeepErrors keep;
    Record(start, [&]() { return "ZTSetZoom(" + Pointer(session) + ", position=" + std::to_string(position) + ") -> " +
                    ResultText(result); });
    return result;
}

ZT_API ZTResult ZT_STDCALL ZTGetMaximumZoom(ZTHandle session, std::int32_t* maximum) {
    if (!Ready()) return kNoRealSdk;
    S().calls++;
    const Clock::time_point start = Clock::now();
    const ZTResult result = S().api.ZTGetMaximumZoom(session, maximum);
    KeepErrors keep;
    Record(start, [&]() { return "ZTGetMaximumZoom(" + Pointer(session) + ") -> " + ResultText(result) +
                    (result == ZT_OK && maximum != nullptr ? " maximum=" + std::to_string(*maximum) : std::string()); });
    return result;
}

}  // extern "C"

namespace {

// At unload: the closing line, and the file closed. The real Camera SDK
// stays loaded (on Windows it may not be unloaded from here, and elsewhere
// its threads may still be running); so do the contexts of the callbacks.
struct Finisher {
    ~Finisher() {
        try {
            State& state = S();
            KeepErrors keep;
            state.log.Finish(ztrecord::TraceLine(
                Microseconds(Clock::now()), ThreadId(),
                "ztrecord: unload after " + std::to_string(state.calls.load()) + " calls and " +
                    std::to_string(state.callbacks.load()) + " callbacks; " + std::to_string(state.log.Dropped()) +
                    " lines not written"));
        } catch (...) {
        }
    }
};
const Finisher finisher;

}  // namespace
