// The simulated zoom lens: ZTGetZoom, ZTSetZoom and ZTGetMaximumZoom, and
// their ZTSim_ controls. A request moves the lens at once (or, when armed,
// stops it short of the target once) and reports completion on the callback
// thread a moment later.
#include <mutex>

#include "camera_sdk.h"
#include "guard.h"
#include "notifications.h"
#include "properties.h"
#include "sim_state.h"
#include "zt_call.h"
#include "zt_sim.h"

using namespace ztsim;

namespace {


}  // namespace

extern "C" ZT_API ZTResult ZT_STDCALL ZTGetZoom(ZTHandle session, int32_t* position) {
    return Guarded<ZTResult>(kInternalError, [=]() -> ZTResult {
        ZTCall call(ZTSIM_FN_GetZoom, session);
        const ZTResult entered = call.EnterOnSession(position != nullptr);
        if (entered != ZT_OK) return entered;
        *position = Controls().zoom.position;
        return ZT_OK;
    });
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTGetMaximumZoom(ZTHandle session, int32_t* maximum) {
    return Guarded<ZTResult>(kInternalError, [=]() -> ZTResult {
        ZTCall call(ZTSIM_FN_GetMaximumZoom, session);
        const ZTResult entered =
            call.EnterOnSession(maximum != nullptr);
        if (entered != ZT_OK) return entered;
        *maximum = Controls().zoom.maximum;
        return ZT_OK;
    });
}

// Positions outside 0..maximum are refused and leave the lens where it is.
extern "C" ZT_API ZTResult ZT_STDCALL ZTSetZoom(ZTHandle session, int32_t position) {
    return Guarded<ZTResult>(kInternalError, [=]() -> ZTResult {
        ZTCall call(ZTSIM_FN_SetZoom, session);
        SimState& state = call.state;
        const ZTResult entered = call.EnterOnSession(true);
        if (entered != ZT_OK) return entered;
        SimZoom& zoom = Controls().zoom;
        zoom.lastRequest = position;
        if (position < 0 || position > zoom.maximum) return ZTSIM_E_INVALID_ARGUMENT;
        zoom.position = position;
        if (zoom.stopShortArmed) {
            zoom.stopShortArmed = false;
            zoom.position = zoom.stopShortAt;
        }
        for (const LiveSubscription& target :
             state.subscriptions.OfKind(SubscriptionKind::ZoomCompleted, session)) {
            QueueNotification(state, target, kZoomCompletionDelayMs,
                              [](AnyProc proc, void* context) {
                                  reinterpret_cast<ZTZoomCompletedProc>(proc)(context);
                              });
        }
        return ZT_OK;
    });
}

extern "C" ZTSIM_API void ZTSim_SetZoomMaximum(int32_t maximum) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        Controls().zoom.maximum = maximum;
    });
}

extern "C" ZTSIM_API void ZTSim_SetZoomPosition(int32_t position) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        Controls().zoom.position = position;
    });
}

extern "C" ZTSIM_API int32_t ZTSim_ZoomPosition(void) {
    return Guarded<int32_t>(0, []() -> int32_t {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return Controls().zoom.position;
    });
}

extern "C" ZTSIM_API int32_t ZTSim_LastZoomRequest(void) {
    return Guarded<int32_t>(-1, []() -> int32_t {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return Controls().zoom.lastRequest;
    });
}

extern "C" ZTSIM_API void ZTSim_StopZoomShortOnce(int32_t position) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        Controls().zoom.stopShortArmed = true;
        Controls().zoom.stopShortAt = position;
    });
}
