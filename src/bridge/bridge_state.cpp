// BridgeState's construction, destruction and the Camera SDK lifecycle:
// Init behind KQ_StartSDK, Destroy behind KQ_FinishSDK, and CleanUp.
#include <cstdlib>
#include <cstring>

#include "bridge/callbacks.h"
#include "bridge/sdk_wrapper.h"
#include "log/trace.h"

namespace kq {

CSDKWrapper::CSDKWrapper() {
    std::memset(transferBuffer, 0, sizeof transferBuffer);
    std::memset(jpegBuffer, 0, sizeof jpegBuffer);
}

// Runs at unload, possibly under the loader lock: nothing here may wait, so
// a handle that a thread still uses is left to that thread.
CSDKWrapper::~CSDKWrapper() {
    BeginLogUnload();
    CleanUp(1, Deadline::Immediate());
    cache.Destroy();
    download.downloadValue = 0;
    std::free(download.downloadPath.exchange(nullptr));
}

void CSDKWrapper::DownloadRecord::Destroy() {
    downloadCtx = nullptr;
    downloadValue = 0;
    std::free(downloadPath.exchange(nullptr));
}

void CSDKWrapper::SupportedValueCache::Destroy() { Replace(SupportedValuesRef()); }

void CSDKWrapper::SupportedValueCache::Replace(SupportedValuesRef values) {
    // The previous list goes when `previous` does, outside the lock, unless
    // a reader still holds it.
    SupportedValuesRef previous;
    {
        std::lock_guard<std::mutex> lock(mutex);
        previous = std::move(list);
        list = std::move(values);
        if (list) {
            cachedPropId = list->propId();
            cachedCount = list->count();
            cachedValues = list->values();
        } else {
            cachedCount = 0;
            cachedValues = nullptr;
        }
    }
}

SupportedValuesRef CSDKWrapper::SupportedValueCache::Snapshot() {
    std::lock_guard<std::mutex> lock(mutex);
    return list.Share();
}

void CSDKWrapper::Reset() {
    handles.ForgetAllForTesting();
    download.Destroy();
    cache.Destroy();
    cache.cachedPropId = 0;
    sdkStarted = 0;
    skipSdkInit = 0;
    connected = 0;
    previewCtx = nullptr;
    shootCtx = nullptr;
    zoomCtx = nullptr;
    cameraCount = 0;
    cameraHandle = 0;
    downloadPending = 1;
    releaseUnderWay = 0;
    pendingZoom = -1;
    lastError = 0;
    SetErrorReportMode(1);
    eventCallback.Clear();
    viewfinderCallback.Clear();
    std::memset(transferBuffer, 0, sizeof transferBuffer);
    transferCount = 0;
    transferBufferInUse = 0;
    std::memset(jpegBuffer, 0, sizeof jpegBuffer);
    jpegSize = 0;
    deliveringFrame = 0;
    droppedFrames = 0;
    emulateProp10 = 0;
    emulatedProp10Value = 24;
}

void CSDKWrapper::Init() {
    TraceCall("Init");
    lastError = 0;
    if (skipSdkInit == 0) {
        const ZTResult result = ZTInitializeSDK();
        lastError = result;
        if (result != ZT_OK) ReportSdkError(result, "ZTInitializeSDK failed");
    }
    // A manager from an earlier Init without a Destroy between is released
    // with everything made through it, children first, before a new one is
    // taken, so that no Camera SDK handle is lost or freed after its parent.
    const Deadline deadline = handles.ReleaseDeadline();
    if (cameraManager.occupied()) ReleaseHandles(deadline);
    HandleRef manager = cameraManager.Open(HandleRef(), HandleSlot::Mode::kReplace);
    if (manager.held()) {
        ZTHandle made = ZTGetCameraManager();
        manager.Adopt(made);
    }
    if (manager.get() == nullptr) ReportSdkError(0, "ZTGetCameraManager failed");
    listChangedSub.Release(deadline);
    // Without a manager the Camera SDK is still asked, and refuses.
    ZTHandle managerHandle = manager.get();
    const HandleRef noParent;
    const ZTHandle subscription = MakeInto(
        listChangedSub, managerHandle != nullptr ? manager : noParent, HandleSlot::Mode::kReplace,
        [&] { return ZTCameraListChangedSubscribe(managerHandle, CameraListChangedCallback, this); });
    if (subscription == nullptr) ReportSdkError(0, "ZTCameraListChangedSubscribe failed");
    sdkStarted = 1;
}

void CSDKWrapper::Destroy() {
    TraceCall("Destroy");
    CleanUp(0);
}

void CSDKWrapper::CleanUp(int terminate) { CleanUp(terminate, handles.ReleaseDeadline()); }

void CSDKWrapper::CleanUp(int terminate, const Deadline& deadline) {
    TraceInt("CleanUp", terminate);
    // The client's callbacks go first, so that no subscription released below
    // can still reach them.
    eventCallback.Clear();
    viewfinderCallback.Clear();
    ReleaseHandles(deadline);
    if (terminate != 0 && sdkStarted != 0) ZTTerminateSDK();
    sdkStarted = 0;
    skipSdkInit = terminate == 0 ? 1 : 0;
}

void CSDKWrapper::ReleaseHandles(const Deadline& deadline) {
    shootCompletedSub.Release(deadline);
    shootCtx = nullptr;
    downloadCompletedSub.Release(deadline);
    download.downloadCtx = nullptr;
    EndViewfinderRun(deadline);
    previewCtx = nullptr;
    zoomCompletedSub.Release(deadline);
    zoomCtx = nullptr;
    cameraErrorSub.Release(deadline);
    session.Release(deadline);
    cameraList.Release(deadline);
    cameraCount = 0;
    listChangedSub.Release(deadline);
    cameraManager.Release(deadline);
}

}  // namespace kq
