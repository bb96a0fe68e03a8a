// Exports that register and clear the client's event callback.
#include "api/export_guard.h"
#include "log/trace.h"

using namespace kq;

extern "C" {

KQ_API KQResult KQ_STDCALL KQ_SetEventCallBack(uint32_t camera, void* context,
                                               KQEventCallback callback) {
    return Guarded("KQ_SetEventCallBack", RESULT_WRONG_CAMERA, [&] {
        TraceCall("KQ_SetEventCallBack");
        if (KQResult check = PlainCheck(camera)) return check;
        if (bridgeState.eventCallback.callback() != nullptr) return RESULT_CALLBACK_IN_USE;
        return bridgeState.SetEventsCallback(camera, context, callback) ? RESULT_OK
                                                                        : RESULT_WRONG_CAMERA;
    });
}

KQ_API KQResult KQ_STDCALL KQ_ClearEventCallBack(uint32_t camera) {
    return Guarded("KQ_ClearEventCallBack", RESULT_OK, [&] {
        TraceCall("KQ_ClearEventCallBack");
        if (KQResult check = PlainCheck(camera)) return check;
        bridgeState.SetEventsCallback(camera, nullptr, nullptr);
        return RESULT_OK;
    });
}

}  // extern "C"
