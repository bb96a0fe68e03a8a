// The one simulator state shared by the ZT functions, the control functions
// and the callback thread. Everything in it is guarded by `mutex`, except the
// callback queue, which has a lock of its own taken after `mutex` when both
// are needed.
#ifndef ZTSIM_SIM_STATE_H
#define ZTSIM_SIM_STATE_H

#include <stdint.h>

#include <map>
#include <mutex>

#include "callback_thread.h"
#include "camera_sdk.h"
#include "ledger.h"
#include "registry.h"
#include "subscriptions.h"

namespace ztsim {

// An open session on one simulated camera.
struct Session {
    ZTHandle manager;
    uint32_t cameraId;
};

struct SimState {
    std::mutex mutex;
    bool initialized = false;
    CallLedger ledger;
    Registry registry;
    SubscriptionTable subscriptions;
    std::map<ZTHandle, Session> sessions;
    CallbackQueue callbacks;

    // Whether `session` is a session handle still on record.
    bool IsSession(ZTHandle session) const;

    // Lets go of what the simulator keeps for an object the client has just
    // released with ZTFree.
    void OnReleased(ZTHandle handle, ObjectKind kind);

    // Returns configuration and records to their initial state. The caller
    // holds `mutex` and has waited for the callback thread to become idle.
    void ResetLocked();
};

// The state is created on first use and intentionally never destroyed: no
// static destructor may run after (or wait on) the callback thread, and the
// client may still call in from its own static destructors.
SimState& State();

}  // namespace ztsim

#endif  // ZTSIM_SIM_STATE_H
