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

CSDKWrapper::~CSDKWrapper() {
    BeginLogUnload();
    CleanUp(1);
    cache.Destroy();
    download.downloadValue = 0;
    std::free(download.downloadPath.exchange(nullptr));
}

void CSDKWrapper::ReleaseHandle(std::atomic<ZTHandle>& field) {
    ZTHandle handle = field.exchange(nullptr);
    if (handle != nullptr) ZTFree(handle);
}

void CSDKWrapper::DownloadRecord::Destroy() {
    downloadCtx = nullptr;
    downloadValue = 0;
    std::free(downloadPath.exchange(nullptr));
}

void CSDKWrapper::SupportedValueCache::Destroy() {
    cachedCount = 0;
    std::free(cachedValues);
    cachedValues = nullptr;
}

void CSDKWrapper::Reset() {
    download.Destroy();
    cache.Destroy();
    cache.cachedPropId = 0;
    sdkStarted = 0;
    skipSdkInit = 0;
    cameraManager = nullptr;
    session = nullptr;
    connected = 0;
    listChangedSub = nullptr;
    shootCompletedSub = nullptr;
    downloadCompletedSub = nullptr;
    previewFrameSub = nullptr;
    zoomCompletedSub = nullptr;
    cameraErrorSub = nullptr;
    previewCtx = nullptr;
    shootCtx = nullptr;
    zoomCtx = nullptr;
    cameraList = nullptr;
    cameraCount = 0;
    cameraHandle = 0;
    downloadPending = 1;
    pendingZoom = -1;
    lastError = 0;
    errorReportMode = 1;
    eventCallback.Clear();
    viewfinderCallback.Clear();
    std::memset(transferBuffer, 0, sizeof transferBuffer);
    transferCount = 0;
    std::memset(jpegBuffer, 0, sizeof jpegBuffer);
    jpegSize = 0;
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
    // before a new one is taken, together with the subscription made on it,
    // so that no Camera SDK handle is lost.
    if (cameraManager.load() != nullptr) {
        ReleaseHandle(listChangedSub);
        ReleaseHandle(cameraManager);
    }
    ZTHandle manager = ZTGetCameraManager();
    cameraManager = manager;
    if (manager == nullptr) ReportSdkError(0, "ZTGetCameraManager failed");
    ReleaseHandle(listChangedSub);
    listChangedSub = ZTCameraListChangedSubscribe(manager, CameraListChangedCallback, this);
    if (listChangedSub.load() == nullptr) ReportSdkError(0, "ZTCameraListChangedSubscribe failed");
    sdkStarted = 1;
}

void CSDKWrapper::Destroy() {
    TraceCall("Destroy");
    CleanUp(0);
}

void CSDKWrapper::CleanUp(int terminate) {
    TraceInt("CleanUp", terminate);
    // The client's callbacks go first, so that no subscription released below
    // can still reach them.
    eventCallback.Clear();
    viewfinderCallback.Clear();
    ReleaseHandle(shootCompletedSub);
    shootCtx = nullptr;
    ReleaseHandle(downloadCompletedSub);
    download.downloadCtx = nullptr;
    ReleaseHandle(previewFrameSub);
    previewCtx = nullptr;
    ReleaseHandle(zoomCompletedSub);
    zoomCtx = nullptr;
    ReleaseHandle(cameraErrorSub);
    ReleaseHandle(session);
    ZTCameraRecord* list = cameraList.exchange(nullptr);
    if (list != nullptr) ZTFree(list);
    cameraCount = 0;
    ReleaseHandle(listChangedSub);
    ReleaseHandle(cameraManager);
    if (terminate != 0 && sdkStarted != 0) ZTTerminateSDK();
    sdkStarted = 0;
    skipSdkInit = terminate == 0 ? 1 : 0;
}

}  // namespace kq
