// The one simulator state shared by the ZT functions, the control functions
// and the callback thread. Everything in it is guarded by `mutex`, except the
// callback queue, which has a lock of its own taken after `mutex` when both
// are needed.
#ifndef ZTSIM_SIM_STATE_H
#define ZTSIM_SIM_STATE_H

#include <stdint.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

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

// One camera the simulated Camera SDK lists.
struct SimCamera {
    uint32_t id;
    std::u16string name;  // stored without a terminator; cut to the record on listing
};

// Identifier and name of the default camera.
constexpr uint32_t kDefaultCameraId = 0x5A430001u;
constexpr char16_t kDefaultCameraName[] = u"ZT Virtual Camera";

struct SimState {
    std::mutex mutex;
    bool initialized = false;
    CallLedger ledger;
    Registry registry;
    SubscriptionTable subscriptions;
    std::map<ZTHandle, Session> sessions;
    std::vector<SimCamera> cameras{SimCamera{kDefaultCameraId, kDefaultCameraName}};
    CallbackQueue callbacks;

    // Whether `session` is a session handle still on record.
    bool IsSession(ZTHandle session) const;

    // The common entry of the calls made on a session, under `mutex`: counts
    // the call, then answers an injected fault, a missing out-pointer, an
    // uninitialised SDK or an unknown session, in that order; ZT_OK when the
    // call may go on.
    ZTResult EnterSessionCall(ZTSimFunction fn, ZTHandle session, bool outPointerGiven = true);

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
