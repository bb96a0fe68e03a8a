// Exports that start and stop the live viewfinder.
#include "api/export_guard.h"
#include "log/trace.h"

using namespace kq;

extern "C" {

KQ_API KQResult KQ_STDCALL KQ_RC_StartViewFinder(uint32_t camera, void*,
                                                 KQViewFinderCallback callback) {
    return Guarded([&] {
        TraceCall("KQ_RC_StartViewFinder");
        if (KQResult check = SessionAwareCheck(camera)) return check;
        if (callback == nullptr) return RESULT_NULL_POINTER;
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_RC_TermViewFinder(uint32_t) {
    return Guarded([] {
        TraceCall("KQ_RC_TermViewFinder");
        return RESULT_OK;
    });
}

}  // extern "C"
