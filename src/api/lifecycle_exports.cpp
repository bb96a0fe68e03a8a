// Exports that start and finish the Camera SDK, and the inert exports that
// exist for compatibility and do nothing.
#include "api/export_guard.h"
#include "log/trace.h"

using namespace kq;

// The assembler name of KQ_GetFunctions, which the focus exports alias:
// stdcall names carry their argument size on Win32.
#if defined(_WIN32)
#define KQ_GET_FUNCTIONS_SYMBOL "KQ_GetFunctions@4"
#else
#define KQ_GET_FUNCTIONS_SYMBOL "KQ_GetFunctions"
#endif

// g++ finds that KQ_GetFunctions cannot throw and wants its aliases to say so
// (-Wmissing-attributes); clang reads nothrow as an exception guarantee
// that the header's declarations lack, and refuses it.
#if defined(__clang__)
#define KQ_ALIAS_OF_GET_FUNCTIONS __attribute__((alias(KQ_GET_FUNCTIONS_SYMBOL)))
#else
#define KQ_ALIAS_OF_GET_FUNCTIONS __attribute__((nothrow, alias(KQ_GET_FUNCTIONS_SYMBOL)))
#endif

extern "C" {

KQ_API KQResult KQ_STDCALL KQ_StartSDK(void) {
    return Guarded("KQ_StartSDK", RESULT_OK, [] {
        TraceCall("KQ_StartSDK");
        bridgeState.Init();
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_FinishSDK(void) {
    return Guarded("KQ_FinishSDK", RESULT_OK, [] {
        TraceCall("KQ_FinishSDK");
        bridgeState.Destroy();
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_GetDllsVersion(void*, void*) { return RESULT_OK; }

// One body behind three names: KQ_GetFunctions, KQ_RC_FocusLock and
// KQ_RC_FocusUnlock.
KQ_API KQResult KQ_STDCALL KQ_GetFunctions(uint32_t) { return RESULT_OK; }
KQ_API KQResult KQ_STDCALL KQ_RC_FocusLock(uint32_t) KQ_ALIAS_OF_GET_FUNCTIONS;
KQ_API KQResult KQ_STDCALL KQ_RC_FocusUnlock(uint32_t) KQ_ALIAS_OF_GET_FUNCTIONS;

KQ_API KQResult KQ_STDCALL KQ_RC_GetChangedReleaseParamesList(uint32_t, void*, void*) {
    return RESULT_OK;
}

KQ_API KQResult KQ_STDCALL KQ_RC_GetNumAvailableShot(uint32_t, void*) {
    return Guarded("KQ_RC_GetNumAvailableShot", RESULT_OK, [] {
        TraceCall("KQ_RC_GetNumAvailableShot");
        return RESULT_OK;
    });
}

}  // extern "C"
