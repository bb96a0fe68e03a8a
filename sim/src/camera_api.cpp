// The ZT functions that work on the camera list, a session and properties.
// Those the simulated camera does not offer yet count their call, honour an
// injected fault and otherwise answer ZTSIM_E_UNSUPPORTED (or a null handle)
// without touching any out-pointer.
#include <mutex>

#include "camera_sdk.h"
#include "guard.h"
#include "property_names.h"
#include "sim_state.h"
#include "subscribe.h"

using namespace ztsim;

namespace {

ZTResult NotOffered(ZTSimFunction fn) noexcept {
    return Guarded<ZTResult>(kInternalError, [fn]() -> ZTResult {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        uint32_t fault = 0;
        if (state.ledger.Enter(fn, &fault)) return fault;
        return ZTSIM_E_UNSUPPORTED;
    });
}

}  // namespace

extern "C" ZT_API ZTHandle ZT_STDCALL ZTShootCompletedSubscribe(ZTHandle session,
                                                                ZTShootCompletedProc callback,
                                                                void* context) {
    return Subscribe(ZTSIM_FN_ShootCompletedSubscribe, SubscriptionKind::ShootCompleted, session,
                     ObjectKind::Session, ErasedProc(callback), context);
}

extern "C" ZT_API ZTHandle ZT_STDCALL ZTDownloadCompletedSubscribe(ZTHandle session,
                                                                   ZTDownloadCompletedProc callback,
                                                                   void* context) {
    return Subscribe(ZTSIM_FN_DownloadCompletedSubscribe, SubscriptionKind::DownloadCompleted,
                     session, ObjectKind::Session, ErasedProc(callback), context);
}

extern "C" ZT_API ZTHandle ZT_STDCALL ZTZoomCompletedSubscribe(ZTHandle session,
                                                               ZTZoomCompletedProc callback,
                                                               void* context) {
    return Subscribe(ZTSIM_FN_ZoomCompletedSubscribe, SubscriptionKind::ZoomCompleted, session,
                     ObjectKind::Session, ErasedProc(callback), context);
}

extern "C" ZT_API ZTHandle ZT_STDCALL ZTCameraErrorSubscribe(ZTHandle session,
                                                             ZTCameraErrorProc callback,
                                                             void* context) {
    return Subscribe(ZTSIM_FN_CameraErrorSubscribe, SubscriptionKind::CameraError, session,
                     ObjectKind::Session, ErasedProc(callback), context);
}

extern "C" ZT_API ZTHandle ZT_STDCALL ZTNewPreviewFrameSubscribe(ZTHandle session,
                                                                 ZTNewPreviewFrameProc callback,
                                                                 void* context) {
    return Subscribe(ZTSIM_FN_NewPreviewFrameSubscribe, SubscriptionKind::NewPreviewFrame, session,
                     ObjectKind::Session, ErasedProc(callback), context);
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTSetPreviewState(ZTHandle, int32_t) {
    return NotOffered(ZTSIM_FN_SetPreviewState);
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTGetPreviewFrame(ZTHandle, uint8_t**, int32_t*) {
    return NotOffered(ZTSIM_FN_GetPreviewFrame);
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTShoot(ZTHandle) { return NotOffered(ZTSIM_FN_Shoot); }

extern "C" ZT_API ZTResult ZT_STDCALL ZTDownloadFile(ZTHandle, uint32_t, int32_t) {
    return NotOffered(ZTSIM_FN_DownloadFile);
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTUpdateAEAF(ZTHandle) {
    return NotOffered(ZTSIM_FN_UpdateAEAF);
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTGetPropertyList(ZTHandle, int32_t**, int32_t*) {
    return NotOffered(ZTSIM_FN_GetPropertyList);
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTGetPropertyDesc(ZTHandle, int32_t, ZTPropertyDesc**) {
    return NotOffered(ZTSIM_FN_GetPropertyDesc);
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTGetPropertyData(ZTHandle, int32_t, int32_t*) {
    return NotOffered(ZTSIM_FN_GetPropertyData);
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTSetPropertyData(ZTHandle, int32_t, int32_t) {
    return NotOffered(ZTSIM_FN_SetPropertyData);
}

// Names are static strings the client must not free. An unknown id leaves
// *name as it was.
extern "C" ZT_API ZTResult ZT_STDCALL ZTGetPropertyName(int32_t propertyId, const char** name) {
    return Guarded<ZTResult>(kInternalError, [propertyId, name]() -> ZTResult {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        uint32_t fault = 0;
        if (state.ledger.Enter(ZTSIM_FN_GetPropertyName, &fault)) return fault;
        if (name == nullptr) return ZTSIM_E_INVALID_ARGUMENT;
        const char* known = PropertyName(propertyId);
        if (known == nullptr) return ZTSIM_E_UNSUPPORTED;
        *name = known;
        return ZT_OK;
    });
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTGetZoom(ZTHandle, int32_t*) {
    return NotOffered(ZTSIM_FN_GetZoom);
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTSetZoom(ZTHandle, int32_t) {
    return NotOffered(ZTSIM_FN_SetZoom);
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTGetMaximumZoom(ZTHandle, int32_t*) {
    return NotOffered(ZTSIM_FN_GetMaximumZoom);
}
