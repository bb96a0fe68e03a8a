// Exports that find the camera, make it the current camera object, and open
// and close its session.
#include <cstring>

#include "api/export_guard.h"
#include "bridge/camera_name.h"
#include "log/trace.h"

using namespace kq;

extern "C" {

KQ_API KQResult KQ_STDCALL KQ_GetDeviceList(uint32_t* size, KQDeviceList* list) {
    return Guarded("KQ_GetDeviceList", RESULT_OK, [&] {
        TraceCall("KQ_GetDeviceList");
        if (size == nullptr || list == nullptr) return RESULT_NULL_POINTER;
        if (*size < KQ_DEVICE_LIST_MIN_SIZE) return RESULT_BUFFER_TOO_SMALL;
        // The list this call made stays valid while it is read, whatever
        // another thread lists or finishes meanwhile; its count comes with it.
        HandleRef held;
        bridgeState.GetCameraList(&held);
        const auto* cameras = static_cast<const ZTCameraRecord*>(held.get());
        if (cameras == nullptr || held.items() == 0) {
            list->count = 0;
            return RESULT_OK;
        }
        // Only the first camera is reported, whatever the count says.
        std::memset(&list->entry, 0, sizeof list->entry);
        std::uint16_t name[kMaxNameUnits + 1] = {0};
        CopyCameraName(name, cameras->name, ZT_CAMERA_NAME_UNITS);
        std::memcpy(list->entry.name, name, sizeof name);
        list->entry.cameraHandle = cameras->cameraId;
        list->count = 1;
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_CreateCameraObject(const KQDeviceListEntry* entry,
                                                 uint32_t* cameraHandleOut) {
    return Guarded("KQ_CreateCameraObject", RESULT_OK, [&] {
        TraceCall("KQ_CreateCameraObject");
        if (entry == nullptr || cameraHandleOut == nullptr) return RESULT_NULL_POINTER;
        const std::uint32_t camera = entry->cameraHandle;
        // The first camera object stays current until a disconnect clears it.
        std::uint32_t none = 0;
        bridgeState.cameraHandle.compare_exchange_strong(none, camera);
        *cameraHandleOut = camera;
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_DestroyCameraObject(uint32_t) {
    return Guarded("KQ_DestroyCameraObject", RESULT_OK, [] {
        TraceCall("KQ_DestroyCameraObject");
        return RESULT_OK;
    });
}

KQ_API KQResult KQ_STDCALL KQ_ConnectCamera(uint32_t camera) {
    return Guarded("KQ_ConnectCamera", RESULT_CONNECT_FAILED, [&] {
        TraceCall("KQ_ConnectCamera");
        return bridgeState.OpenSession(camera) ? RESULT_OK : RESULT_CONNECT_FAILED;
    });
}

KQ_API KQResult KQ_STDCALL KQ_DisconnectCamera(uint32_t camera) {
    return Guarded("KQ_DisconnectCamera", RESULT_OK, [&] {
        TraceCall("KQ_DisconnectCamera");
        if (KQResult check = PlainCheck(camera)) return check;
        bridgeState.SetEventsCallback(camera, nullptr, nullptr);
        bridgeState.CloseSession();
        return RESULT_OK;
    });
}

}  // extern "C"
