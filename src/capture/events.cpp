// The client's event callback: registration, the 24-byte event records, and
// the two Camera SDK notifications that become events.
#include <cstring>

#include "bridge/callbacks.h"
#include "bridge/sdk_wrapper.h"
#include "log/trace.h"

namespace kq {

namespace {

// Each event is built in a record of its own on the raising thread's stack,
// so that events raised at once on two Camera SDK threads, or during a
// chunk delivery, never alter each other or the chunk. It lives until the
// client's callback returns.
int RaiseEvent(CSDKWrapper& state, std::uint16_t code, std::uint32_t param1, std::uint32_t param2,
               std::uint32_t param3) {
    const CallbackBinding<KQEventCallback> client = state.eventCallback.Load();
    if (client.callback == nullptr) return 0;
    KQEventRecord record;
    std::memset(&record, 0, sizeof record);
    record.length = sizeof record;
    record.containerType = 0;
    record.eventCode = code;
    record.transactionId = 0;
    record.param1 = param1;
    record.param2 = param2;
    record.param3 = param3;
    const CallbackScope inside;
    client.callback(state.cameraHandle.load(), client.context, &record);
    return 1;
}

}  // namespace

int CSDKWrapper::SetEventsCallback(std::uint32_t camera, void* context, KQEventCallback callback) {
    TraceCall("SetEventsCallback");
    if (callback != nullptr && camera != cameraHandle.load()) {
        Tracef("Wrong camera", kLogError);
        return 0;
    }
    eventCallback.Set(callback, context);
    return 1;
}

int CSDKWrapper::RaiseCalShutdown() {
    Tracef("kqCAL_SHUTDOWN event", kLogInfo);
    return RaiseEvent(*this, kqCAL_SHUTDOWN, 0, 0, 0);
}

int CSDKWrapper::RaiseFullViewReleased(std::uint32_t downloadValue) {
    Tracef("kqPTP_FULL_VIEW_RELEASED event", kLogInfo);
    return RaiseEvent(*this, kqPTP_FULL_VIEW_RELEASED, downloadValue, 0, 0);
}

int CSDKWrapper::RaiseCameraError(std::uint32_t param2) {
    return RaiseEvent(*this, kqPTP_CAMERA_ERROR, 2, param2, 0);
}

void ZT_STDCALL CameraListChangedCallback(void* context, const void* cameraRecord,
                                          std::int32_t changeKind) {
    try {
        const CallbackEntry entry(bridgeState.listChangedSub);
        TraceCall("CameraListChangedCallback");
        if (!entry.live() || context == nullptr || cameraRecord == nullptr ||
            changeKind != ZT_CAMERA_LIST_REMOVED) {
            return;
        }
        auto* state = static_cast<CSDKWrapper*>(context);
        std::uint32_t cameraId;
        std::memcpy(&cameraId, cameraRecord, sizeof cameraId);
        if (cameraId == state->cameraHandle.load()) state->RaiseCalShutdown();
    } catch (...) {
        // Nothing may unwind into the Camera SDK's thread.
    }
}

void ZT_STDCALL CameraErrorCallback(void* context, std::int32_t errorKind) {
    try {
        const CallbackEntry entry(bridgeState.cameraErrorSub);
        Tracef("CameraErrorCallback", kLogError);
        if (!entry.live() || context == nullptr || errorKind != ZT_CAMERA_ERROR_FATAL) return;
        auto* state = static_cast<CSDKWrapper*>(context);
        if (state->eventCallback.callback() == nullptr) return;
        state->RaiseCameraError(3);
        state->RaiseCameraError(4);
    } catch (...) {
    }
}

}  // namespace kq
