// The attached cameras: the camera list and camera sessions.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "camera_sdk.h"
#include "guard.h"
#include "sim_state.h"
#include "utf.h"
#include "zt_call.h"
#include "zt_sim.h"

using namespace ztsim;

namespace {

std::u16string FromUtf8(const char* text) {
    return text != nullptr ? Utf8ToUtf16(text) : std::u16string();
}

}  // namespace

extern "C" ZT_API ZTResult ZT_STDCALL ZTGetCameraList(ZTHandle manager, ZTCameraRecord** list,
                                                      uint32_t* count) {
    return Guarded<ZTResult>(kInternalError, [=]() -> ZTResult {
        ZTCall call(ZTSIM_FN_GetCameraList, manager);
        SimState& state = call.state;
        uint32_t fault = 0;
        if (call.Faulted(&fault)) return fault;
        if (list == nullptr || count == nullptr) return ZTSIM_E_INVALID_ARGUMENT;
        call.Delay();
        if (!state.initialized) return ZTSIM_E_NOT_INITIALIZED;
        if (!state.registry.IsLive(manager, ObjectKind::CameraManager)) return ZTSIM_E_INVALID_HANDLE;
        const uint32_t n = static_cast<uint32_t>(state.cameras.size());
        // An empty list is still a list the caller releases.
        auto* records = static_cast<ZTCameraRecord*>(state.registry.Issue(
            ObjectKind::CameraList, ZTSIM_FN_GetCameraList,
            sizeof(ZTCameraRecord) * std::max<uint32_t>(n, 1), manager));
        for (uint32_t i = 0; i < n; ++i) {
            records[i].cameraId = state.cameras[i].id;
            const std::u16string& name = state.cameras[i].name;
            const size_t units = std::min<size_t>(name.size(), ZT_CAMERA_NAME_UNITS);
            for (size_t u = 0; u < units; ++u) records[i].name[u] = name[u];
        }
        *list = records;
        *count = n;
        return ZT_OK;
    });
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTOpenSession(ZTHandle manager, uint32_t cameraId,
                                                    ZTHandle* session) {
    return Guarded<ZTResult>(kInternalError, [=]() -> ZTResult {
        ZTCall call(ZTSIM_FN_OpenSession, manager);
        SimState& state = call.state;
        uint32_t fault = 0;
        if (call.Faulted(&fault)) return fault;
        if (session == nullptr) return ZTSIM_E_INVALID_ARGUMENT;
        call.Delay();
        if (!state.initialized) return ZTSIM_E_NOT_INITIALIZED;
        if (!state.registry.IsLive(manager, ObjectKind::CameraManager)) return ZTSIM_E_INVALID_HANDLE;
        const bool attached =
            std::any_of(state.cameras.begin(), state.cameras.end(),
                        [cameraId](const SimCamera& camera) { return camera.id == cameraId; });
        if (!attached) return ZTSIM_E_NO_CAMERA;
        ZTHandle handle = state.registry.Issue(ObjectKind::Session, ZTSIM_FN_OpenSession,
                                               kHandleBlockSize, manager);
        state.sessions[handle] = Session{manager, cameraId};
        *session = handle;
        return ZT_OK;
    });
}

extern "C" ZTSIM_API void ZTSim_SetCameras(uint32_t count, const uint32_t* ids,
                                           const char* const* names) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        state.cameras.clear();
        const uint32_t n = std::min(count, ZTSIM_MAX_CAMERAS);
        for (uint32_t i = 0; i < n; ++i) {
            state.cameras.push_back(SimCamera{ids != nullptr ? ids[i] : i + 1,
                                              FromUtf8(names != nullptr ? names[i] : nullptr)});
        }
    });
}

extern "C" ZTSIM_API void ZTSim_SetCameraNameUtf16(uint32_t index, const uint16_t* name,
                                                   uint32_t units) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (index >= state.cameras.size()) return;
        std::u16string text;
        for (uint32_t i = 0; name != nullptr && i < units; ++i) text += static_cast<char16_t>(name[i]);
        state.cameras[index].name = text;
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_OpenSessionCount(void) {
    return Guarded<uint32_t>(0, []() -> uint32_t {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return static_cast<uint32_t>(state.sessions.size());
    });
}
