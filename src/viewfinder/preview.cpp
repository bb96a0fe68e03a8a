// The viewfinder: the new-preview-frame subscription, and the delivery of
// every frame to the client's viewfinder callback as a JPEG image.
#include <cstdint>
#include <cstdio>

#include "bridge/callbacks.h"
#include "bridge/context_check.h"
#include "bridge/race_annotations.h"
#include "bridge/sdk_wrapper.h"
#include "capture/quiet_preview_log.h"
#include "log/trace.h"
#include "platform/platform.h"
#include "viewfinder/jpeg_encoder.h"

namespace kq {

namespace {

// Pause after each delivered frame, on the Camera SDK's thread.
constexpr std::uint32_t kFramePauseMs = 10;

// Marks a delivery in progress for as long as it lives; the mark is taken
// only when no other delivery holds it.
class DeliveryMark {
public:
    // The frame buffers pass from the delivery that cleared the flag to the
    // one that sets it next; the race checker is told so.
    explicit DeliveryMark(std::atomic<std::uint32_t>& flag)
        : flag_(flag), held_(flag.exchange(1) == 0) {
        if (held_) HandOffReceived(&flag_);
    }
    ~DeliveryMark() {
        if (!held_) return;
        HandOffSent(&flag_);
        flag_ = 0;
    }
    DeliveryMark(const DeliveryMark&) = delete;
    DeliveryMark& operator=(const DeliveryMark&) = delete;
    bool held() const { return held_; }

private:
    std::atomic<std::uint32_t>& flag_;
    const bool held_;
};

}  // namespace

int CSDKWrapper::PreviewStart(std::uint32_t camera, void* context, KQViewFinderCallback callback) {
    const HandleRef openSession = session.Acquire();
    if (openSession.get() == nullptr || camera != cameraHandle.load()) return 0;
    TraceCall("PreviewStart");
    if (previewFrameSub.occupied()) return 1;
    viewfinderCallback.Set(callback, context);
    previewCtx = this;
    // Two starts racing on two threads: the first subscription stays, and
    // the other start does not subscribe at all.
    HandleRef subscription = previewFrameSub.Open(openSession, HandleSlot::Mode::kIfEmpty);
    if (!subscription.held()) return previewFrameSub.occupied() ? 1 : 0;
    // A new viewfinder run: its first dropped frame gets a line of its own.
    droppedFrames = 0;
    ZTHandle made = ZTNewPreviewFrameSubscribe(openSession.get(), NewPreviewFrameCallback, &previewCtx);
    subscription.Adopt(made);
    if (made == nullptr) {
        ReportSdkError(0, "ZTNewPreviewFrameSubscribe failed");
        return 0;
    }
    const ZTResult result = ZTSetPreviewState(openSession.get(), 1);
    lastError = result;
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTSetPreviewState failed");
        return 0;
    }
    return 1;
}

int CSDKWrapper::PreviewClose() {
    TraceCall("PreviewClose");
    // Waits for frames being delivered: when this returns (outside a
    // callback), the client's viewfinder callback is no longer running.
    EndViewfinderRun(handles.ReleaseDeadline());
    const HandleRef openSession = session.Acquire();
    const ZTResult result = ZTSetPreviewState(openSession.get(), 0);
    lastError = result;
    viewfinderCallback.Clear();
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTSetPreviewState failed");
        return 0;
    }
    return 1;
}

int CSDKWrapper::DeliverPreviewFrame() {
    {
        HandleRef openSession = session.Acquire();
        if (openSession.get() == nullptr) return 0;
        if (viewfinderCallback.callback() == nullptr) return 1;

        // jpegBuffer and jpegOverflow hold one image at a time. A frame
        // announced while another is being encoded or read by the client (on
        // another Camera SDK thread, or from inside the client's callback) is
        // skipped; the next announcement brings a newer one.
        DeliveryMark mark(deliveringFrame);
        if (!mark.held()) return 0;

        std::uint8_t* frame = nullptr;
        std::int32_t count = 0;
        const ZTResult result = ZTGetPreviewFrame(openSession.get(), &frame, &count);
        lastError = result;
        if (result != ZT_OK) {
            PreviewClose();
            ReportSdkError(result, "ZTGetPreviewFrame failed");
            return 0;
        }
        if (frame == nullptr || count <= 0) {
            if (frame != nullptr) ZTFree(frame);
            PreviewClose();
            return 0;
        }

        JpegDestination destination{jpegBuffer, kJpegBufferSize, &jpegOverflow, kMaxJpegImageSize,
                                    nullptr};
        std::uint32_t encodedSize = 0;
        DropReason dropReason;
        const int encoded = EncodeFrameToJpeg(frame, static_cast<std::uint32_t>(count),
                                              &encodedSize, destination, &dropReason);
        jpegSize = encodedSize;
        // The frame was made through the session: freed while the session
        // is still held, and the session is not held across the client's
        // callback.
        ZTFree(frame);
        openSession.Reset();
        if (encoded == 0) {
            // A Camera SDK that sends malformed frames sends them all the
            // time: one line for the first of a viewfinder run, and their
            // number when the viewfinder stops (EndViewfinderRun).
            if (droppedFrames.fetch_add(1) == 0) {
                char line[kMaxMessageLength + 1];
                std::snprintf(line, sizeof line, "EncodeFrameToJpeg: frame dropped, %s",
                              dropReason.text);
                Tracef(line, kLogError);
            }
            return 0;
        }

        const CallbackBinding<KQViewFinderCallback> client = viewfinderCallback.Load();
        if (client.callback == nullptr) return 0;
        const CallbackScope inside;
        client.callback(cameraHandle.load(), client.context, jpegSize.load(), destination.image);
    }
    // The buffers are free again before the pause, so that a frame announced
    // meanwhile on another Camera SDK thread is delivered, not skipped.
    platform::Sleep(kFramePauseMs);
    return 1;
}

void CSDKWrapper::EndViewfinderRun(const Deadline& deadline) {
    previewFrameSub.Release(deadline);
    const std::uint32_t dropped = droppedFrames.exchange(0);
    if (dropped == 0) return;
    char line[kMaxMessageLength + 1];
    std::snprintf(line, sizeof line, "Viewfinder stopped, frames dropped: %u",
                  static_cast<unsigned>(dropped));
    Tracef(line, kLogError);
}

void ZT_STDCALL NewPreviewFrameCallback(void* context) {
    try {
        const CallbackEntry entry(bridgeState.previewFrameSub);
        if (quietPreviewLog.load() == 0) TraceCall("NewPreviewFrameCallback");
        if (!entry.live()) return;
        CSDKWrapper* owner = OwnerOfContextField(
            context, [](CSDKWrapper& state) -> ContextField& { return state.previewCtx; });
        if (owner == nullptr) return;
        owner->DeliverPreviewFrame();
    } catch (...) {
        // Nothing may unwind into the Camera SDK's thread; a throwing client
        // callback loses its frame only.
    }
}

}  // namespace kq
