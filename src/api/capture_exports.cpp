// Exports of the release-control family: release, exposure/focus trigger,
// and the transfer of the released image.
#include "api/export_guard.h"
#include "log/trace.h"

using namespace kq;

extern "C" {

KQ_API KQResult KQ_STDCALL KQ_InitiateReleaseControl(uint32_t camera) {
    return Guarded("KQ_InitiateReleaseControl", RESULT_OK, [&] {
        TraceCall("KQ_InitiateReleaseControl");
        return SessionAwareCheck(camera);
    });
}

KQ_API KQResult KQ_STDCALL KQ_TerminateReleaseControl(uint32_t) {
    return Guarded("KQ_TerminateReleaseControl", RESULT_OK, [] {
        TraceCall("KQ_TerminateReleaseControl");
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_RC_Release(uint32_t camera) {
    return Guarded("KQ_RC_Release", RESULT_OK, [&] {
        TraceCall("KQ_RC_Release");
        if (KQResult check = SessionAwareCheck(camera)) return check;
        // A failed release shows only in the log; the client learns of a
        // successful one through the full-view-released event.
        bridgeState.Release();
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_RC_DoAeAfAwb(uint32_t camera, uint32_t) {
    return Guarded("KQ_RC_DoAeAfAwb", RESULT_OK, [&] {
        TraceCall("KQ_RC_DoAeAfAwb");
        if (KQResult check = SessionAwareCheck(camera)) return check;
        bridgeState.AEAF();
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_RC_GetReleasedData(uint32_t camera, uint32_t clientValue,
                                                 uint32_t eventCode, uint32_t, void* context,
                                                 KQReleasedDataCallback callback) {
    return Guarded("KQ_RC_GetReleasedData", RESULT_OK, [&] {
        TraceCall("KQ_RC_GetReleasedData");
        if (KQResult check = SessionAwareCheck(camera)) return check;
        if (callback == nullptr) return RESULT_NULL_POINTER;
        // Only the low 16 bits carry the event code.
        if ((eventCode & 0xFFFFu) == kqPTP_FULL_VIEW_RELEASED) {
            bridgeState.GetReleasedData(callback, clientValue, context);
        }
        return RESULT_OK;
    });
}

}  // extern "C"
