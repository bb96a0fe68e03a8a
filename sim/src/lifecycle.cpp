// SDK start and end, the camera manager, ZTFree and the camera-list
// subscription.
#include <mutex>

#include "camera_sdk.h"
#include "guard.h"
#include "sim_state.h"
#include "subscribe.h"

using namespace ztsim;

extern "C" ZT_API ZTResult ZT_STDCALL ZTInitializeSDK(void) {
    return Guarded<ZTResult>(kInternalError, []() -> ZTResult {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        uint32_t fault = 0;
        if (state.ledger.Enter(ZTSIM_FN_InitializeSDK, &fault)) return fault;
        state.initialized = true;
        return ZT_OK;
    });
}

// May run from a DLL's static destructor under the loader lock, so it only
// flips state and discards queued work; it never waits for the callback
// thread.
extern "C" ZT_API ZTResult ZT_STDCALL ZTTerminateSDK(void) {
    return Guarded<ZTResult>(kInternalError, []() -> ZTResult {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        uint32_t fault = 0;
        if (state.ledger.Enter(ZTSIM_FN_TerminateSDK, &fault)) return fault;
        if (!state.initialized) return ZTSIM_E_NOT_INITIALIZED;
        state.initialized = false;
        state.callbacks.DropPending();
        return ZT_OK;
    });
}

extern "C" ZT_API ZTHandle ZT_STDCALL ZTGetCameraManager(void) {
    return Guarded<ZTHandle>(nullptr, []() -> ZTHandle {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        uint32_t fault = 0;
        if (state.ledger.Enter(ZTSIM_FN_GetCameraManager, &fault)) return nullptr;
        if (!state.initialized) return nullptr;
        return state.registry.Issue(ObjectKind::CameraManager, ZTSIM_FN_GetCameraManager,
                                    kHandleBlockSize);
    });
}

// Never waits for the callback thread: the client releases subscriptions
// from inside callbacks running on it. A notification already being delivered
// completes; none is delivered after this returns. An injected fault makes the
// call release nothing.
extern "C" ZT_API void ZT_STDCALL ZTFree(void* handleOrBuffer) {
    GuardedVoid([handleOrBuffer]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        uint32_t fault = 0;
        if (state.ledger.Enter(ZTSIM_FN_Free, &fault)) return;
        if (handleOrBuffer == nullptr) return;
        ObjectKind kind = ObjectKind::CameraManager;
        if (state.registry.Release(handleOrBuffer, &kind)) state.OnReleased(handleOrBuffer, kind);
    });
}

extern "C" ZT_API ZTHandle ZT_STDCALL ZTCameraListChangedSubscribe(ZTHandle manager,
                                                                   ZTCameraListChangedProc callback,
                                                                   void* context) {
    return Subscribe(ZTSIM_FN_CameraListChangedSubscribe, SubscriptionKind::CameraListChanged,
                     manager, ObjectKind::CameraManager, ErasedProc(callback), context);
}
