// Exports of the release-control family: release, exposure/focus trigger,
// and the transfer of the released image.
#include "api/export_guard.h"
#include "log/trace.h"

using namespace kq;

extern "C" {

KQ_API KQResult KQ_STDCALL KQ_InitiateReleaseControl(uint32_t camera) {
    return Guarded([&] {
        TraceCall("KQ_InitiateReleaseControl");
        return SessionAwareCheck(camera);
    });
}

KQ_API KQResult KQ_STDCALL KQ_TerminateReleaseControl(uint32_t) {
    return Guarded([] {
        TraceCall("KQ_TerminateReleaseControl");
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_RC_Release(uint32_t camera) {
    return Guarded([&] {
        TraceCall("KQ_RC_Release");
        return SessionAwareCheck(camera);
    });
}

KQ_API KQResult KQ_STDCALL KQ_RC_DoAeAfAwb(uint32_t camera, uint32_t) {
    return Guarded([&] {
        TraceCall("KQ_RC_DoAeAfAwb");
        return SessionAwareCheck(camera);
    });
}

KQ_API KQResult KQ_STDCALL KQ_RC_GetReleasedData(uint32_t camera, uint32_t, uint32_t, uint32_t,
                                                 void*, KQReleasedDataCallback callback) {
    return Guarded([&] {
        TraceCall("KQ_RC_GetReleasedData");
        if (KQResult check = SessionAwareCheck(camera)) return check;
        if (callback == nullptr) return RESULT_NULL_POINTER;
        return RESULT_OK;
    });
}

}  // extern "C"
