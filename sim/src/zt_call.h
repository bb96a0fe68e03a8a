// One ZT call inside the simulator.
#ifndef ZTSIM_ZT_CALL_H
#define ZTSIM_ZT_CALL_H

#include <mutex>

#include "camera_sdk.h"
#include "sim_state.h"
#include "zt_sim.h"

namespace ztsim {

// Holds State().mutex for the call, except where the call lets go of it (its
// configured delay, work done without the lock), and counts the call as in
// flight from construction to destruction: per function for
// ZTSim_CallsInFlight, and on the handle it was given, so that a ZTFree of
// that handle meanwhile is recorded as a fault.
class ZTCall {
public:
    // `handle`: the session or camera manager the call works on; null for
    // none.
    explicit ZTCall(ZTSimFunction fn, ZTHandle handle = nullptr);
    ~ZTCall();
    ZTCall(const ZTCall&) = delete;
    ZTCall& operator=(const ZTCall&) = delete;

    SimState& state;

    // Counts the call. Returns true when an injected fault answers it,
    // leaving its code in *faultCode.
    bool Faulted(uint32_t* faultCode);

    // Spends the function's configured delay, if any, with the lock let go:
    // other calls, ZTFree and callbacks go on meanwhile. Whatever the call
    // looked up before may be gone afterwards.
    void Delay();

    // The common entry of the calls made on a session: counts the call,
    // answers an injected fault or a missing out-pointer, spends the delay,
    // then answers an uninitialised SDK or an unknown session; ZT_OK when the
    // call may go on.
    ZTResult EnterOnSession(bool outPointerGiven = true);

    // Lets go of the lock for work that does not need it, and takes it back.
    void Unlock();
    void Relock();

    std::unique_lock<std::mutex>& Lock() { return lock_; }

private:
    ZTSimFunction fn_;
    ZTHandle handle_;
    std::unique_lock<std::mutex> lock_;
};

}  // namespace ztsim

#endif  // ZTSIM_ZT_CALL_H
