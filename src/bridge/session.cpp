// Camera enumeration and the camera session: the camera list, the current
// camera object, and the session with its four subscriptions.
#include <cstring>

#include "bridge/callbacks.h"
#include "bridge/camera_name.h"
#include "bridge/sdk_wrapper.h"
#include "log/trace.h"

namespace kq {

namespace {

// Releases a camera list held in the field, at most once.
void ReleaseCameraList(CSDKWrapper& state) {
    ZTCameraRecord* list = state.cameraList.exchange(nullptr);
    if (list != nullptr) ZTFree(list);
    state.cameraCount = 0;
}

}  // namespace

std::size_t CopyCameraName(std::uint16_t* destination, const std::uint16_t* source,
                           std::size_t sourceUnits) {
    std::size_t length = 0;
    while (length < sourceUnits && source[length] != 0) ++length;
    if (length > kMaxNameUnits) {
        length = kMaxNameUnits;
        // Never end on the first half of a surrogate pair.
        if (source[length - 1] >= 0xD800 && source[length - 1] <= 0xDBFF) --length;
    }
    std::memcpy(destination, source, length * sizeof(std::uint16_t));
    destination[length] = 0;
    return length;
}

int CSDKWrapper::GetCameraList() {
    if (sdkStarted == 0) return 0;
    ReleaseCameraList(*this);
    ZTHandle manager = cameraManager.load();
    if (manager == nullptr) return 0;
    ZTCameraRecord* list = nullptr;
    std::uint32_t count = 0;
    ZTGetCameraList(manager, &list, &count);
    cameraList = list;
    cameraCount = count;
    if (count == 0) {
        TraceCall("GetCameraList: No camera devices available");
        return 0;
    }
    return list != nullptr ? 1 : 0;
}

int CSDKWrapper::OpenSession(std::uint32_t cameraId) {
    TraceCall("OpenSession");
    ZTHandle manager = cameraManager.load();
    if (sdkStarted == 0 || manager == nullptr) {
        connected = 0;
        return 0;
    }
    ReleaseHandle(shootCompletedSub);
    ReleaseHandle(downloadCompletedSub);
    ReleaseHandle(previewFrameSub);
    ReleaseHandle(zoomCompletedSub);
    ReleaseHandle(cameraErrorSub);
    ReleaseHandle(session);

    ZTHandle opened = nullptr;
    const ZTResult result = ZTOpenSession(manager, cameraId, &opened);
    lastError = result;
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTOpenSession failed");
        connected = 0;
        return 0;
    }
    session = opened;

    // Each context field is set before its subscription exists: the Camera
    // SDK may deliver at once, before this returns.
    const char* failure = nullptr;
    shootCtx = this;
    shootCompletedSub = ZTShootCompletedSubscribe(opened, ShootCompletedCallback, &shootCtx);
    if (shootCompletedSub.load() == nullptr) failure = "ZTShootingCompletedSubscribe failed";
    if (failure == nullptr) {
        download.downloadCtx = this;
        downloadCompletedSub =
            ZTDownloadCompletedSubscribe(opened, DownloadCompletedCallback, &download.downloadCtx);
        if (downloadCompletedSub.load() == nullptr) failure = "ZTDownloadCompletedSubscribe failed";
    }
    if (failure == nullptr) {
        zoomCtx = this;
        zoomCompletedSub = ZTZoomCompletedSubscribe(opened, ZoomCompletedCallback, &zoomCtx);
        if (zoomCompletedSub.load() == nullptr) failure = "ZTZoomCompletedSubscribe failed";
    }
    if (failure == nullptr) {
        cameraErrorSub = ZTCameraErrorSubscribe(opened, CameraErrorCallback, this);
        if (cameraErrorSub.load() == nullptr) failure = "ZTCameraErrorSubscribe failed";
    }
    if (failure != nullptr) {
        // The subscriptions made so far stay until the next OpenSession,
        // CloseSession or CleanUp releases them.
        ReportSdkError(0, failure);
        ReleaseHandle(session);
        connected = 0;
        return 0;
    }
    connected = 1;
    return 1;
}

int CSDKWrapper::CloseSession() {
    TraceCall("CloseSession");
    if (cameraManager.load() == nullptr) return 0;
    ReleaseHandle(shootCompletedSub);
    ReleaseHandle(downloadCompletedSub);
    ReleaseHandle(previewFrameSub);
    ReleaseHandle(zoomCompletedSub);
    ReleaseHandle(session);
    cameraHandle = 0;
    connected = 0;
    return 1;
}

}  // namespace kq
