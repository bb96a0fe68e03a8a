// CSDKWrapper: all state of the bridge in one object, BridgeState, shared by
// the client's threads (exports) and the Camera SDK's threads (callbacks).
// Fields that both kinds of thread touch are atomic or behind a small lock
// of their own; Camera SDK handles live in HandleSlots, which count their
// users so that each handle is released exactly once and never under a
// running call or callback.
#ifndef KQSDK_BRIDGE_SDK_WRAPPER_H
#define KQSDK_BRIDGE_SDK_WRAPPER_H

#include <atomic>
#include <cstdint>
#include <mutex>

#include "bridge/client_callback.h"
#include "bridge/handle_slot.h"
#include "camera_sdk.h"
#include "kqsdk.h"
#include "props/supported_values.h"
#include "viewfinder/jpeg_buffer.h"

namespace kq {

constexpr std::uint32_t kTransferBufferSize = 20480;
constexpr std::uint32_t kJpegBufferSize = 102400;

class CSDKWrapper {
public:
    CSDKWrapper();
    ~CSDKWrapper();
    CSDKWrapper(const CSDKWrapper&) = delete;
    CSDKWrapper& operator=(const CSDKWrapper&) = delete;

    // Lifecycle behind KQ_StartSDK and KQ_FinishSDK.
    void Init();
    void Destroy();
    void CleanUp(int terminate);
    // CleanUp whose releases wait at most until the deadline.
    void CleanUp(int terminate, const Deadline& deadline);
    // Releases every Camera SDK handle, children before parents: the
    // session's subscriptions, the session, the camera list, the camera-list
    // subscription, the camera manager. Clears the subscription contexts.
    void ReleaseHandles(const Deadline& deadline);

    // Camera enumeration and session.
    // When it returns 1 and `made` is given, hands out a use of the list
    // this call made, so that the caller reads that list whatever other
    // threads list or release meanwhile.
    int GetCameraList(HandleRef* made = nullptr);
    int OpenSession(std::uint32_t cameraId);
    int CloseSession();
    // Releases the session's subscriptions, then the session.
    void ReleaseSession(const Deadline& deadline);

    // Events to the client (each returns 1 when a callback was called).
    int SetEventsCallback(std::uint32_t camera, void* context, KQEventCallback callback);
    int RaiseCalShutdown();
    int RaiseFullViewReleased(std::uint32_t downloadValue);
    int RaiseCameraError(std::uint32_t param2);

    // Release, download and the released-image transfer.
    int Release();
    int AEAF();
    int Download(std::uint32_t item);
    void OnDownloadCompleted(std::uint32_t downloadValue);
    int GetReleasedData(KQReleasedDataCallback callback, std::uint32_t clientValue, void* context);

    // Property access in Camera SDK terms, with the supported-value cache.
    int GetProperty(std::int32_t* value, std::int32_t sdkPropertyId);
    int SetProperty(std::int32_t sdkPropertyId, std::int32_t value);
    int IsPropSupported(std::int32_t sdkPropertyId);
    int EnumPropVals(std::int32_t sdkPropertyId);
    // EnumPropVals that also hands out the list it cached (empty when none),
    // so that a dataset reads its count and values from one enumeration
    // whatever other threads cache meanwhile.
    int EnumPropVals(std::int32_t sdkPropertyId, SupportedValuesRef* enumerated);
    int GetPropValAt(std::int32_t sdkPropertyId, std::int32_t index, std::int32_t* value);
    int IsPropValSupported(std::int32_t sdkPropertyId, std::int32_t value);

    // Zoom in UserZoom steps 0..14 and in camera units.
    int SetUserZoom(std::int32_t userValue);
    int GetUserZoom(std::int32_t* position);
    int GetUserZoomRange(std::int32_t* minimum, std::int32_t* maximum, std::int32_t* step);
    int SetZoom(std::int32_t position);
    int GetZoom(std::int32_t* position);
    int GetZoomRange(std::int32_t* minimum, std::int32_t* maximum, std::int32_t* step);
    void OnZoomCompleted();

    // Viewfinder.
    int PreviewStart(std::uint32_t camera, void* context, KQViewFinderCallback callback);
    int PreviewClose();
    int DeliverPreviewFrame();
    // Ends a viewfinder run: releases the preview-frame subscription (see
    // HandleSlot::Release for when that waits) and logs the number of frames
    // the run dropped, if any.
    void EndViewfinderRun(const Deadline& deadline);

    // Resets every field to its value at load (the constructor's work).
    void Reset();

    // The records of every handle slot below; declared first, so that it is
    // made before the slots and outlives them.
    HandleTable handles;

    // Lifecycle state.
    std::atomic<std::uint32_t> sdkStarted{0};
    std::atomic<std::uint32_t> skipSdkInit{0};
    HandleSlot cameraManager{handles, "camera manager"};
    HandleSlot session{handles, "session"};
    std::atomic<std::uint32_t> connected{0};

    // Subscriptions. A callback acts only while it holds its subscription.
    HandleSlot listChangedSub{handles, "camera-list subscription"};
    HandleSlot shootCompletedSub{handles, "shot-completed subscription"};
    HandleSlot downloadCompletedSub{handles, "download-completed subscription"};
    HandleSlot previewFrameSub{handles, "preview-frame subscription"};
    HandleSlot zoomCompletedSub{handles, "zoom-completed subscription"};
    HandleSlot cameraErrorSub{handles, "camera-error subscription"};

    // Subscription contexts: each holds this object's address while its
    // subscription may deliver; cleared fields make late callbacks harmless.
    std::atomic<CSDKWrapper*> previewCtx{nullptr};
    std::atomic<CSDKWrapper*> shootCtx{nullptr};
    std::atomic<CSDKWrapper*> zoomCtx{nullptr};

    // The download record: the file the last completed download wrote.
    // `mutex` guards replacing and clearing path and value together, with
    // `generation`, which counts completed downloads, so that a transfer can
    // tell whether the record still names the file it transferred. It is
    // never held while calling the client or the Camera SDK.
    struct DownloadRecord {
        std::atomic<CSDKWrapper*> downloadCtx{nullptr};
        std::atomic<std::uint32_t> downloadValue{0};
        std::atomic<std::uint16_t*> downloadPath{nullptr};
        std::mutex mutex;
        std::uint32_t generation = 0;
        void Destroy();
    } download;

    // The SupportedValueCache: supported values of one SDK property. Client
    // threads replace and read it at once: `mutex` guards the fields, and
    // the values themselves are an immutable list that a reader keeps for as
    // long as it reads, whatever replaces the cache meanwhile.
    struct SupportedValueCache {
        std::int32_t cachedPropId = 0;
        std::int32_t cachedCount = 0;
        const std::int32_t* cachedValues = nullptr;  // the values of `list`
        SupportedValuesRef list;
        std::mutex mutex;
        // Empties the cache; cachedPropId stays.
        void Destroy();
        // Makes `values` the cached list (empty: Destroy).
        void Replace(SupportedValuesRef values);
        // The cached list, shared; empty when there is none.
        SupportedValuesRef Snapshot();
    } cache;

    // Camera enumeration. The slot's record also carries the list's entry
    // count, so that a reader never pairs one list with another's count.
    HandleSlot cameraList{handles, "camera list"};
    std::atomic<std::uint32_t> cameraCount{0};
    std::atomic<std::uint32_t> cameraHandle{0};

    // Capture and zoom.
    std::atomic<std::uint32_t> downloadPending{1};
    // 1 while a release is under way: from before its shot to the end of
    // its wait for the download.
    std::atomic<std::uint32_t> releaseUnderWay{0};
    std::atomic<std::int32_t> pendingZoom{-1};
    std::atomic<std::uint32_t> lastError{0};
    // The error report mode is kept by the reporter itself (log/trace.h,
    // SetErrorReportMode); Reset sets it back to 1 with the fields here.

    // Client callbacks, each with the client's context.
    AtomicCallbackBinding<KQEventCallback> eventCallback;
    AtomicCallbackBinding<KQViewFinderCallback> viewfinderCallback;

    // Working buffers. A transfer reads its chunks into transferBuffer while
    // transferBufferInUse is 1; a transfer running meanwhile on another
    // thread, or from inside the client's callback, reads into a buffer of
    // its own, so that no chunk changes while a client reads it.
    std::uint8_t transferBuffer[kTransferBufferSize];
    std::atomic<std::uint32_t> transferCount{0};
    std::atomic<std::uint32_t> transferBufferInUse{0};
    // The JPEG image of the latest viewfinder frame. Every image that fits
    // is written to jpegBuffer, so the client sees one address; a larger one
    // goes to jpegOverflow, which grows to fit and is kept for reuse.
    // deliveringFrame is 1 while a frame is being encoded and handed to the
    // client, so that these buffers are never written by two threads at once
    // nor while the client reads them.
    std::uint8_t jpegBuffer[kJpegBufferSize];
    std::atomic<std::uint32_t> jpegSize{0};
    JpegOverflow jpegOverflow;
    std::atomic<std::uint32_t> deliveringFrame{0};
    // Frames the encoder dropped since the start that subscribed: the first
    // of them is logged, the number when the viewfinder stops.
    std::atomic<std::uint32_t> droppedFrames{0};

    // Emulation of SDK property 10 when the camera lacks it.
    std::atomic<std::uint32_t> emulateProp10{0};
    std::atomic<std::int32_t> emulatedProp10Value{24};
};

// The single instance, constructed when the library is loaded.
extern CSDKWrapper bridgeState;

}  // namespace kq

#endif  // KQSDK_BRIDGE_SDK_WRAPPER_H
