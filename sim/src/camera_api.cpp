// The ZT functions that work on the camera list, a session and properties.
#include <mutex>

#include "camera_sdk.h"
#include "guard.h"
#include "property_names.h"
#include "sim_state.h"
#include "subscribe.h"
#include "zt_call.h"

using namespace ztsim;

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

// Names are static strings the client must not free. An unknown id leaves
// *name as it was.
extern "C" ZT_API ZTResult ZT_STDCALL ZTGetPropertyName(int32_t propertyId, const char** name) {
    return Guarded<ZTResult>(kInternalError, [propertyId, name]() -> ZTResult {
        ZTCall call(ZTSIM_FN_GetPropertyName);
        uint32_t fault = 0;
        if (call.Faulted(&fault)) return fault;
        if (name == nullptr) return ZTSIM_E_INVALID_ARGUMENT;
        call.Delay();
        const char* known = PropertyName(propertyId);
        if (known == nullptr) return ZTSIM_E_UNSUPPORTED;
        *name = known;
        return ZT_OK;
    });
}

