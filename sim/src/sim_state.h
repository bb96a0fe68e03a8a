// The one simulator state shared by the ZT functions, the control functions
// and the callback threads. Everything in it is guarded by `mutex`, except the
// callback queue, which has a lock of its own taken after `mutex` when both
// are needed.
#ifndef ZTSIM_SIM_STATE_H
#define ZTSIM_SIM_STATE_H

#include <stdint.h>

#include <array>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
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

// A subscription callback being delivered, from the moment its delivery found
// the subscription live until the callback returns.
struct RunningCallback {
    uint64_t serial;  // of the subscription
    std::thread::id thread;
};

struct SimState {
    std::mutex mutex;
    bool initialized = false;
    CallLedger ledger;
    Registry registry;
    SubscriptionTable subscriptions;
    std::map<ZTHandle, Session> sessions;
    std::vector<SimCamera> cameras{SimCamera{kDefaultCameraId, kDefaultCameraName}};
    CallbackQueue callbacks;

    // Extra time each ZT function spends inside, in milliseconds.
    std::array<uint32_t, ZTSIM_FN_COUNT> callDelayMs{};
    // ZT calls of each function inside the simulator now. A reset leaves it
    // alone: the calls are still running.
    std::array<uint32_t, ZTSIM_FN_COUNT> callsInFlight{};
    std::vector<RunningCallback> runningCallbacks;
    // Signalled on `mutex` whenever a callback returns.
    std::condition_variable callbackReturned;
    // ZTFree of a subscription and ZTTerminateSDK wait for its running
    // callbacks.
    bool freeWaitsForCallbacks = false;

    // Whether `session` is a session handle still on record.
    bool IsSession(ZTHandle session) const;

    // Waits until no callback of the subscription with `serial` (of any
    // subscription when 0) is running on a thread other than the caller's,
    // with `lock` on `mutex` released meanwhile, for at most
    // kCallbackWaitLimitSeconds. Returns false when it gave up.
    bool WaitForCallbacks(std::unique_lock<std::mutex>& lock, uint64_t serial);

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
