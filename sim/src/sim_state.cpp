#include "sim_state.h"

#include "zt_sim.h"

#include "preview.h"
#include "properties.h"
#include "shooting.h"

namespace ztsim {

SimState& State() {
    static SimState* const state = new SimState;
    return *state;
}

bool SimState::IsSession(ZTHandle session) const {
    return session != nullptr && registry.IsLive(session, ObjectKind::Session) &&
           sessions.count(session) != 0;
}

ZTResult SimState::EnterSessionCall(ZTSimFunction fn, ZTHandle session, bool outPointerGiven) {
    uint32_t fault = 0;
    if (ledger.Enter(fn, &fault)) return fault;
    if (!outPointerGiven) return ZTSIM_E_INVALID_ARGUMENT;
    if (!initialized) return ZTSIM_E_NOT_INITIALIZED;
    if (!IsSession(session)) return ZTSIM_E_INVALID_HANDLE;
    return ZT_OK;
}

void SimState::OnReleased(ZTHandle handle, ObjectKind kind) {
    switch (kind) {
    case ObjectKind::Subscription:
        // Queued notifications look the subscription up before delivery, so
        // from here on none reaches the callback.
        subscriptions.Remove(handle);
        break;
    case ObjectKind::Session:
        sessions.erase(handle);
        break;
    case ObjectKind::CameraManager:
    case ObjectKind::CameraList:
    case ObjectKind::Array:
    case ObjectKind::Descriptor:
    case ObjectKind::Frame:
        break;
    }
}

void SimState::ResetLocked() {
    callbacks.DropPending();
    ledger.Clear();
    registry.Forget();
    subscriptions.Clear();
    sessions.clear();
    ResetShootingLocked();
    ResetControlsLocked();
    ResetPreviewLocked();
    cameras.assign(1, SimCamera{kDefaultCameraId, kDefaultCameraName});
}

}  // namespace ztsim
