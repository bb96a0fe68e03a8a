// Exports that find the camera, make it the current camera object, and open
// and close its session.
#include "api/export_guard.h"
#include "log/trace.h"

using namespace kq;

extern "C" {

KQ_API KQResult KQ_STDCALL KQ_GetDeviceList(uint32_t* size, KQDeviceList* list) {
    return Guarded([&] {
        TraceCall("KQ_GetDeviceList");
        if (size == nullptr || list == nullptr) return RESULT_NULL_POINTER;
        if (*size < KQ_DEVICE_LIST_MIN_SIZE) return RESULT_BUFFER_TOO_SMALL;
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_CreateCameraObject(const KQDeviceListEntry* entry,
                                                 uint32_t* cameraHandleOut) {
    return Guarded([&] {
        TraceCall("KQ_CreateCameraObject");
        if (entry == nullptr || cameraHandleOut == nullptr) return RESULT_NULL_POINTER;
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_DestroyCameraObject(uint32_t) {
    return Guarded([] {
        TraceCall("KQ_DestroyCameraObject");
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_ConnectCamera(uint32_t) {
    return Guarded([] {
        TraceCall("KQ_ConnectCamera");
        return RESULT_CONNECT_FAILED;
    });
}

KQ_API KQResult KQ_STDCALL KQ_DisconnectCamera(uint32_t camera) {
    return Guarded([&] {
        TraceCall("KQ_DisconnectCamera");
        if (KQResult check = PlainCheck(camera)) return check;
        bridgeState.SetEventsCallback(camera, nullptr, nullptr);
        return RESULT_OK;
    });
}

}  // extern "C"
