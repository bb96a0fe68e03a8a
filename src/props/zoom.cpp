// Zoom: clients see positions 0..14 (UserZoom) whatever the camera's own
// scale; 14 always stands for the camera's maximum. A zoom request is sent
// once more when the camera reports it stopped elsewhere.
#include "bridge/callbacks.h"
#include "bridge/context_check.h"
#include "bridge/sdk_wrapper.h"
#include "log/trace.h"
#include "platform/platform.h"
#include "props/zoom.h"

namespace kq {

namespace {

constexpr std::int32_t kUserZoomMaximum = 14;
constexpr std::uint32_t kPauseAfterSetMs = 125;
constexpr std::uint32_t kPauseBeforeGetMs = 10;

}  // namespace

std::int32_t UserZoomToCamera(std::int32_t userValue, std::int32_t maximum) {
    if (userValue >= kUserZoomMaximum) return maximum;
    if (maximum > kUserZoomMaximum) {
        return static_cast<std::int32_t>(static_cast<double>(maximum) * userValue /
                                             kUserZoomMaximum +
                                         0.5);
    }
    return userValue > maximum ? maximum : userValue;
}

std::int32_t CameraZoomToUser(std::int32_t position, std::int32_t maximum) {
    if (position == maximum) return kUserZoomMaximum;
    if (maximum > kUserZoomMaximum) {
        return static_cast<std::int32_t>(static_cast<double>(position) * kUserZoomMaximum /
                                             maximum +
                                         0.5);
    }
    return position;
}

int CSDKWrapper::SetZoom(std::int32_t position) {
    TraceInt("SetZoom", position);
    const HandleRef open = session.Acquire();
    if (open.get() == nullptr) return 0;
    // Recorded before the call: the camera may report the zoom completed on
    // its own thread before ZTSetZoom returns, and that report must already
    // see what was asked. A refused request puts the previous one back,
    // unless a newer one has taken its place meanwhile.
    const std::int32_t previous = pendingZoom.exchange(position);
    const ZTResult result = ZTSetZoom(open.get(), position);
    lastError = result;
    if (result != ZT_OK) {
        std::int32_t asked = position;
        pendingZoom.compare_exchange_strong(asked, previous);
        ReportSdkError(result, "ZTSetZoom failed");
        return 0;
    }
    return 1;
}

int CSDKWrapper::GetZoom(std::int32_t* position) {
    *position = 0;
    const HandleRef open = session.Acquire();
    if (open.get() == nullptr) return 0;
    const ZTResult result = ZTGetZoom(open.get(), position);
    lastError = result;
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTGetZoom failed");
        return 0;
    }
    TraceInt("GetZoom", *position);
    return 1;
}

int CSDKWrapper::GetZoomRange(std::int32_t* minimum, std::int32_t* maximum, std::int32_t* step) {
    const HandleRef open = session.Acquire();
    if (open.get() == nullptr) return 0;
    std::int32_t cameraMaximum = 0;
    const ZTResult result = ZTGetMaximumZoom(open.get(), &cameraMaximum);
    *minimum = 0;
    *maximum = cameraMaximum;
    *step = 1;
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTGetMaximumZoom failed");
        return 0;
    }
    TraceIntInt("GetZoomRange", 0, cameraMaximum);
    return 1;
}

int CSDKWrapper::SetUserZoom(std::int32_t userValue) {
    HandleRef open = session.Acquire();
    if (open.get() == nullptr) return 0;
    TraceInt("SetZoom (User Zoom)", userValue);
    // Positions above the top of the scale mean the camera's maximum, so that
    // a scaled request never goes beyond what the camera can do. Without the
    // maximum the value is sent unscaled (at most 14): a camera whose maximum
    // is below 14 may then be sent a position beyond it, which it refuses,
    // and the client's write fails with a device error.
    if (userValue > kUserZoomMaximum) userValue = kUserZoomMaximum;
    std::int32_t maximum = 0;
    const ZTResult result = ZTGetMaximumZoom(open.get(), &maximum);
    open.Reset();  // not held across the pause below
    std::int32_t target = userValue;
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTGetMaximumZoom failed");
        TraceStr("SetZoom", "User Zoom failed!");
    } else {
        target = UserZoomToCamera(userValue, maximum);
    }
    const int done = SetZoom(target);
    platform::Sleep(kPauseAfterSetMs);
    return done;
}

int CSDKWrapper::GetUserZoom(std::int32_t* position) {
    platform::Sleep(kPauseBeforeGetMs);
    if (!GetZoom(position)) return 0;
    // A session closed meanwhile fails the read: the Camera SDK is never
    // handed a null session.
    const HandleRef open = session.Acquire();
    if (open.get() == nullptr) return 0;
    std::int32_t maximum = 0;
    const ZTResult result = ZTGetMaximumZoom(open.get(), &maximum);
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTGetMaximumZoom failed");
        TraceStr("GetZoom", "User Zoom failed!");
    } else {
        *position = CameraZoomToUser(*position, maximum);
    }
    TraceInt("GetZoom (User Zoom)", *position);
    return 1;
}

int CSDKWrapper::GetUserZoomRange(std::int32_t* minimum, std::int32_t* maximum,
                                  std::int32_t* step) {
    if (!GetZoomRange(minimum, maximum, step)) return 0;
    *maximum = kUserZoomMaximum;
    TraceIntInt("GetZoomRange (User Zoom)", *minimum, kUserZoomMaximum);
    return 1;
}

void CSDKWrapper::OnZoomCompleted() {
    const HandleRef open = session.Acquire();
    if (open.get() == nullptr) return;
    std::int32_t current = 0;
    const ZTResult result = ZTGetZoom(open.get(), &current);
    lastError = result;
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTGetZoom failed");
        return;
    }
    const std::int32_t pending = pendingZoom.load();
    if (pending != -1 && pending != current) {
        TraceIntInt("OnZoomCompleted Repeat Zoom", current, pending);
        SetZoom(pending);
        pendingZoom = -1;
    }
}

void ZT_STDCALL ZoomCompletedCallback(void* context) {
    try {
        const CallbackEntry entry(bridgeState.zoomCompletedSub);
        TraceCall("ZoomCompletedCallback");
        if (!entry.live()) return;
        if (CSDKWrapper* state = OwnerOfContextField(
                context, [](CSDKWrapper& owner) -> ContextField& { return owner.zoomCtx; })) {
            state->OnZoomCompleted();
        }
    } catch (...) {
        // Nothing may unwind into the Camera SDK's thread.
    }
}

}  // namespace kq
