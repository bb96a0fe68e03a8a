// Configuration of the simulated camera from the environment, so that a
// program driving it as a separate process (the client tool and its tests)
// can meet an absent camera, a refused call or an unreadable download
// without calling the control functions. Read once, when the library is
// loaded; nothing is changed when none of the variables is set. ZTSim_Reset
// restores the defaults as usual.
//
//   ZTSIM_CAMERAS=N              N cameras attached (0 to 8); 0: none
//   ZTSIM_FAIL=FN:CODE[:TIMES],… make ZT function FN (name without "ZT",
//                                e.g. OpenSession) fail with CODE, TIMES
//                                times (default: every call)
//   ZTSIM_DOWNLOAD_PATH=PATH     the first download reports PATH instead of
//                                a file of its own
//   ZTSIM_CAMERA_ERROR=KIND@MS   a camera error of KIND, MS milliseconds
//                                after the first session opened
//   ZTSIM_CAMERA_ERROR=KIND@liveview
//                                a camera error of KIND as soon as live
//                                view is first on (a client is listening by
//                                then, whatever the host's speed)
//   ZTSIM_SHUTTER_BUTTON=COUNT@MS[+EVERY]
//                                COUNT presses of the shutter button, the
//                                first MS milliseconds after the first
//                                session opened, then every EVERY ms
//   ZTSIM_SHUTTER_DURING_SHOOT=N the N-th ZTShoot also presses the button
//   ZTSIM_FREE_WAITS=1           ZTFree of a subscription (and ZTTerminateSDK)
//                                waits for its callbacks running on other
//                                threads; 0: it does not (the default)
//   ZTSIM_CALLBACK_THREADS=N     preview frames delivered on N callback
//                                threads in turn (1 to 4)
//   ZTSIM_TRACE=PATH             the camera of a trace of the recording
//                                Camera SDK (ZTSim_LoadTraceCamera)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "zt_sim.h"

namespace {

const char* const kFunctionNames[ZTSIM_FN_COUNT] = {
    "InitializeSDK",   "TerminateSDK",          "GetCameraManager",
    "Free",            "CameraListChangedSubscribe", "GetCameraList",
    "OpenSession",     "ShootCompletedSubscribe", "DownloadCompletedSubscribe",
    "ZoomCompletedSubscribe", "CameraErrorSubscribe", "NewPreviewFrameSubscribe",
    "SetPreviewState", "GetPreviewFrame",       "Shoot",
    "DownloadFile",    "UpdateAEAF",            "GetPropertyList",
    "GetPropertyDesc", "GetPropertyData",       "SetPropertyData",
    "GetPropertyName", "GetZoom",               "SetZoom",
    "GetMaximumZoom",
};

bool ParseNumber(const std::string& text, long long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 0);
    if (end != text.c_str() + text.size()) return false;
    *value = parsed;
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

void ApplyCameras(const char* value) {
    long long count = 0;
    if (!ParseNumber(value, &count) || count < 0 || count > static_cast<long long>(ZTSIM_MAX_CAMERAS)) return;
    std::vector<uint32_t> ids;
    std::vector<const char*> names;
    for (long long i = 0; i < count; ++i) {
        ids.push_back(0x5A430001u + static_cast<uint32_t>(i));
        names.push_back("ZT Virtual Camera");
    }
    ZTSim_SetCameras(static_cast<uint32_t>(count), ids.data(), names.data());
}

void ApplyFaults(const char* value) {
    for (const std::string& entry : Split(value, ',')) {
        const std::vector<std::string> fields = Split(entry, ':');
        if (fields.size() < 2 || fields.size() > 3) continue;
        long long code = 0;
        long long times = -1;
        if (!ParseNumber(fields[1], &code)) continue;
        if (fields.size() == 3 && !ParseNumber(fields[2], &times)) continue;
        for (int fn = 0; fn < ZTSIM_FN_COUNT; ++fn) {
            if (kFunctionNames[fn] != nullptr && fields[0] == kFunctionNames[fn]) {
                ZTSim_SetFault(static_cast<ZTSimFunction>(fn), static_cast<uint32_t>(code),
                               static_cast<int32_t>(times));
            }
        }
    }
}

void ApplyDownloadPath(const char* value) {
    // The path is taken byte by byte; the variable is meant for plain paths.
    std::vector<uint16_t> units;
    for (const char* p = value; *p != '\0'; ++p) units.push_back(static_cast<unsigned char>(*p));
    units.push_back(0);
    ZTSim_SetNextDownloadPath(units.data());
}

// Raises the camera error from a thread of its own once a session is open;
// the thread ends after that, or when no session opens within a minute.
void ScheduleCameraError(const char* value) {
    const std::vector<std::string> fields = Split(value, '@');
    long long kind = 0;
    long long delayMs = 0;
    const bool atLiveView = fields.size() == 2 && fields[1] == "liveview";
    if (fields.size() != 2 || !ParseNumber(fields[0], &kind) ||
        (!atLiveView && (!ParseNumber(fields[1], &delayMs) || delayMs < 0))) {
        return;
    }
    std::thread([kind, delayMs, atLiveView]() {
        for (int waited = 0; waited < 60000; waited += 10) {
            if (atLiveView ? ZTSim_PreviewOnCount() > 0 : ZTSim_OpenSessionCount() > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                ZTSim_RaiseCameraError(static_cast<int32_t>(kind));
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }).detach();
}

// Presses the shutter button from a thread of its own once a session is
// open; the thread ends after the last press, or when no session opens within
// a minute. A press while no session is open is skipped.
void ScheduleShutterButton(const char* value) {
    const std::vector<std::string> fields = Split(value, '@');
    long long count = 0;
    long long delayMs = 0;
    long long everyMs = 0;
    if (fields.size() != 2 || !ParseNumber(fields[0], &count) || count <= 0 || count > 100000) return;
    const std::vector<std::string> times = Split(fields[1], '+');
    if (times.size() > 2 || !ParseNumber(times[0], &delayMs) || delayMs < 0 ||
        (times.size() == 2 && (!ParseNumber(times[1], &everyMs) || everyMs < 0))) {
        return;
    }
    std::thread([count, delayMs, everyMs]() {
        for (int waited = 0; waited < 60000; waited += 10) {
            if (ZTSim_OpenSessionCount() > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                for (long long i = 0; i < count; ++i) {
                    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
                    ZTSim_PressShutterButton(1);
                }
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }).detach();
}

void ApplyShutterDuringShoot(const char* value) {
    long long shoot = 0;
    if (!ParseNumber(value, &shoot) || shoot < 0 || shoot > 0x7FFFFFFF) return;
    ZTSim_PressShutterButtonDuringShoot(static_cast<uint32_t>(shoot));
}

void ApplyFreeWaits(const char* value) {
    long long on = 0;
    if (!ParseNumber(value, &on) || (on != 0 && on != 1)) return;
    ZTSim_SetFreeWaitsForCallbacks(static_cast<int32_t>(on));
}

void ApplyCallbackThreads(const char* value) {
    long long count = 0;
    if (!ParseNumber(value, &count) || count < 1 || count > 4) return;
    ZTSim_SetCallbackThreads(static_cast<uint32_t>(count));
}

void ApplyTrace(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return;
    std::string text;
    char chunk[65536];
    std::size_t got = 0;
    while (text.size() < (64u << 20) && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
    std::fclose(file);
    ZTSim_LoadTraceCamera(text.data(), static_cast<uint32_t>(text.size()));
}

struct EnvironmentConfig {
    EnvironmentConfig() {
        if (const char* value = std::getenv("ZTSIM_CAMERAS")) ApplyCameras(value);
        if (const char* value = std::getenv("ZTSIM_FAIL")) ApplyFaults(value);
        if (const char* value = std::getenv("ZTSIM_DOWNLOAD_PATH")) ApplyDownloadPath(value);
        if (const char* value = std::getenv("ZTSIM_CAMERA_ERROR")) ScheduleCameraError(value);
        if (const char* value = std::getenv("ZTSIM_SHUTTER_BUTTON")) ScheduleShutterButton(value);
        if (const char* value = std::getenv("ZTSIM_SHUTTER_DURING_SHOOT")) ApplyShutterDuringShoot(value);
        if (const char* value = std::getenv("ZTSIM_FREE_WAITS")) ApplyFreeWaits(value);
        if (const char* value = std::getenv("ZTSIM_CALLBACK_THREADS")) ApplyCallbackThreads(value);
        if (const char* value = std::getenv("ZTSIM_TRACE")) ApplyTrace(value);
    }
};

const EnvironmentConfig environmentConfig;

}  // namespace
