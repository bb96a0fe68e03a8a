// Camera enumeration and the camera session: the camera list, the current
// camera object, and the session with its four subscriptions.
#include <cstring>
#include <utility>

#include "bridge/callbacks.h"
#include "bridge/camera_name.h"
#include "bridge/sdk_wrapper.h"
#include "log/trace.h"

namespace kq {

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

int CSDKWrapper::GetCameraList(HandleRef* made) {
    if (sdkStarted == 0) return 0;
    cameraList.Release(handles.ReleaseDeadline());
    cameraCount = 0;
    HandleRef manager = cameraManager.Acquire();
    if (manager.get() == nullptr) return 0;
    // Opened before the call, so that the list is never without its record.
    HandleRef list = cameraList.Open(manager, HandleSlot::Mode::kReplace);
    if (!list.held()) return 0;
    ZTCameraRecord* records = nullptr;
    std::uint32_t count = 0;
    ZTGetCameraList(manager.get(), &records, &count);
    list.Adopt(records, records != nullptr ? count : 0);
    cameraCount = count;
    if (count == 0) {
        TraceCall("GetCameraList: No camera devices available");
        return 0;
    }
    if (records == nullptr) return 0;
    // The caller reads this call's own list, complete, even when another
    // thread's listing has since replaced it in the slot.
    if (made != nullptr) *made = std::move(list);
    return 1;
}

int CSDKWrapper::OpenSession(std::uint32_t cameraId) {
    TraceCall("OpenSession");
    if (sdkStarted == 0 || cameraManager.load() == nullptr) {
        connected = 0;
        return 0;
    }
    const Deadline deadline = handles.ReleaseDeadline();
    ReleaseSession(deadline);
    HandleRef manager = cameraManager.Acquire();
    HandleRef opened = session.Open(manager, HandleSlot::Mode::kReplace);
    if (manager.get() == nullptr || !opened.held()) {
        connected = 0;
        return 0;
    }
    ZTHandle handle = nullptr;
    const ZTResult result = ZTOpenSession(manager.get(), cameraId, &handle);
    lastError = result;
    if (result != ZT_OK) {
        // A handle the call may have written is not the Camera SDK's to keep.
        opened.Adopt(nullptr);
        ReportSdkError(result, "ZTOpenSession failed");
        connected = 0;
        return 0;
    }
    opened.Adopt(handle);
    manager.Reset();

    // Each context field is set before its subscription exists: the Camera
    // SDK may deliver at once, before the subscribe call returns.
    constexpr HandleSlot::Mode kReplace = HandleSlot::Mode::kReplace;
    const char* failure = nullptr;
    shootCtx = this;
    if (MakeInto(shootCompletedSub, opened, kReplace, [&] {
            return ZTShootCompletedSubscribe(handle, ShootCompletedCallback, &shootCtx);
        }) == nullptr) {
        failure = "ZTShootingCompletedSubscribe failed";
    }
    if (failure == nullptr) {
        download.downloadCtx = this;
        if (MakeInto(downloadCompletedSub, opened, kReplace, [&] {
                return ZTDownloadCompletedSubscribe(handle, DownloadCompletedCallback,
                                                    &download.downloadCtx);
            }) == nullptr) {
            failure = "ZTDownloadCompletedSubscribe failed";
        }
    }
    if (failure == nullptr) {
        zoomCtx = this;
        if (MakeInto(zoomCompletedSub, opened, kReplace, [&] {
                return ZTZoomCompletedSubscribe(handle, ZoomCompletedCallback, &zoomCtx);
            }) == nullptr) {
            failure = "ZTZoomCompletedSubscribe failed";
        }
    }
    if (failure == nullptr && MakeInto(cameraErrorSub, opened, kReplace, [&] {
            return ZTCameraErrorSubscribe(handle, CameraErrorCallback, this);
        }) == nullptr) {
        failure = "ZTCameraErrorSubscribe failed";
    }
    if (failure != nullptr) {
        // The subscriptions made so far go first: they were made through the
        // session, which must not be freed before them.
        ReportSdkError(0, failure);
        opened.Reset();
        ReleaseSession(deadline);
        connected = 0;
        return 0;
    }
    connected = 1;
    return 1;
}

void CSDKWrapper::ReleaseSession(const Deadline& deadline) {
    shootCompletedSub.Release(deadline);
    downloadCompletedSub.Release(deadline);
    EndViewfinderRun(deadline);
    zoomCompletedSub.Release(deadline);
    cameraErrorSub.Release(deadline);
    session.Release(deadline);
}

int CSDKWrapper::CloseSession() {
    TraceCall("CloseSession");
    if (cameraManager.load() == nullptr) return 0;
    // The camera-error subscription goes too: it was made through the
    // session, and a handle made through the session must not outlive it.
    ReleaseSession(handles.ReleaseDeadline());
    cameraHandle = 0;
    connected = 0;
    return 1;
}

}  // namespace kq
