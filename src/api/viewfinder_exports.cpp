// Exports that start and stop the live viewfinder.
#include "api/export_guard.h"
#include "log/trace.h"

using namespace kq;

extern "C" {

// Whether the viewfinder could be started is not the client's concern: once
// the arguments check out the answer is 0, and failures are reported in the
// log.
KQ_API KQResult KQ_STDCALL KQ_RC_StartViewFinder(uint32_t camera, void* context,
                                                 KQViewFinderCallback callback) {
    return Guarded("KQ_RC_StartViewFinder", RESULT_OK, [&] {
        TraceCall("KQ_RC_StartViewFinder");
        if (KQResult check = SessionAwareCheck(camera)) return check;
        if (callback == nullptr) return RESULT_NULL_POINTER;
        bridgeState.PreviewStart(camera, context, callback);
        return RESULT_OK;
    });
}

// Needs neither a camera object nor a session: the Camera SDK is asked to
// turn the preview off in any case.
KQ_API KQResult KQ_STDCALL KQ_RC_TermViewFinder(uint32_t) {
    return Guarded("KQ_RC_TermViewFinder", RESULT_OK, [] {
        TraceCall("KQ_RC_TermViewFinder");
        bridgeState.PreviewClose();
        return RESULT_OK;
    });
}

}  // extern "C"
