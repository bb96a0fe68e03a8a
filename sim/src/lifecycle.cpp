// SDK start and end, the camera manager, ZTFree and the camera-list
// subscription.
#include <mutex>

#include "camera_sdk.h"
#include "guard.h"
#include "sim_state.h"
#include "subscribe.h"
#include "zt_call.h"

using namespace ztsim;

extern "C" ZT_API ZTResult ZT_STDCALL ZTInitializeSDK(void) {
    return Guarded<ZTResult>(kInternalError, []() -> ZTResult {
        ZTCall call(ZTSIM_FN_InitializeSDK);
        uint32_t fault = 0;
        if (call.Faulted(&fault)) return fault;
        call.Delay();
        call.state.initialized = true;
        return ZT_OK;
    });
}

// May run from a DLL's static destructor under the loader lock, so by default
// it only flips state and discards queued work; it never waits for the
// callback threads. When ZTFree is set to wait for callbacks it waits, as
// such an SDK would, for the callbacks running on other threads.
extern "C" ZT_API ZTResult ZT_STDCALL ZTTerminateSDK(void) {
    return Guarded<ZTResult>(kInternalError, []() -> ZTResult {
        ZTCall call(ZTSIM_FN_TerminateSDK);
        SimState& state = call.state;
        uint32_t fault = 0;
        if (call.Faulted(&fault)) return fault;
        call.Delay();
        if (!state.initialized) return ZTSIM_E_NOT_INITIALIZED;
        state.initialized = false;
        state.callbacks.DropPending();
        if (state.freeWaitsForCallbacks && !state.WaitForCallbacks(call.Lock(), 0)) {
            state.registry.AddTerminateWaitTimeout();
        }
        return ZT_OK;
    });
}

extern "C" ZT_API ZTHandle ZT_STDCALL ZTGetCameraManager(void) {
    return Guarded<ZTHandle>(nullptr, []() -> ZTHandle {
        ZTCall call(ZTSIM_FN_GetCameraManager);
        SimState& state = call.state;
        uint32_t fault = 0;
        if (call.Faulted(&fault)) return nullptr;
        call.Delay();
        if (!state.initialized) return nullptr;
        return state.registry.Issue(ObjectKind::CameraManager, ZTSIM_FN_GetCameraManager,
                                    kHandleBlockSize);
    });
}

// By default never waits for the callback threads: the client releases
// subscriptions from inside callbacks running on them. A notification already
// being delivered completes; none is delivered after this returns. When set
// to wait for callbacks, releasing a subscription waits until none of its
// callbacks runs on another thread (one on the calling thread is not waited
// for). An injected fault makes the call release nothing.
extern "C" ZT_API void ZT_STDCALL ZTFree(void* handleOrBuffer) {
    GuardedVoid([handleOrBuffer]() {
        ZTCall call(ZTSIM_FN_Free);
        SimState& state = call.state;
        uint32_t fault = 0;
        if (call.Faulted(&fault)) return;
        if (handleOrBuffer == nullptr) return;
        call.Delay();
        // Known before the release takes the subscription off the record.
        const Subscription* subscription = state.subscriptions.Get(handleOrBuffer);
        const uint64_t serial = subscription != nullptr ? subscription->serial : 0;
        const ZTSimFunction maker = state.registry.MakerOf(handleOrBuffer);
        ObjectKind kind = ObjectKind::CameraManager;
        if (!state.registry.Release(handleOrBuffer, &kind)) return;
        state.OnReleased(handleOrBuffer, kind);
        if (kind == ObjectKind::Subscription && serial != 0 && state.freeWaitsForCallbacks &&
            !state.WaitForCallbacks(call.Lock(), serial)) {
            state.registry.AddFreeWaitTimeout(handleOrBuffer, maker);
        }
    });
}

extern "C" ZT_API ZTHandle ZT_STDCALL ZTCameraListChangedSubscribe(ZTHandle manager,
                                                                   ZTCameraListChangedProc callback,
                                                                   void* context) {
    return Subscribe(ZTSIM_FN_CameraListChangedSubscribe, SubscriptionKind::CameraListChanged,
                     manager, ObjectKind::CameraManager, ErasedProc(callback), context);
}
