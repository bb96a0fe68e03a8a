#include "sim_state.h"

#include <chrono>

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

bool SimState::WaitForCallbacks(std::unique_lock<std::mutex>& lock, uint64_t serial) {
    const std::thread::id self = std::this_thread::get_id();
    return callbackReturned.wait_for(lock, std::chrono::seconds(kCallbackWaitLimitSeconds), [&] {
        for (const RunningCallback& running : runningCallbacks) {
            if ((serial == 0 || running.serial == serial) && running.thread != self) return false;
        }
        return true;
    });
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
    callbacks.SetThreadCount(1);
    callDelayMs.fill(0);
    freeWaitsForCallbacks = false;
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
