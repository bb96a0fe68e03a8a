#include "zt_call.h"

#include <chrono>
#include <thread>

namespace ztsim {

ZTCall::ZTCall(ZTSimFunction fn, ZTHandle handle)
    : state(State()), fn_(fn), handle_(handle), lock_(state.mutex) {
    state.registry.CallStarted(handle_, fn_);
    ++state.callsInFlight[fn_];
}

ZTCall::~ZTCall() {
    try {
        if (!lock_.owns_lock()) lock_.lock();
        --state.callsInFlight[fn_];
        state.registry.CallEnded(handle_, fn_);
    } catch (...) {
        // Only a broken mutex gets here; the call still returns.
    }
}

bool ZTCall::Faulted(uint32_t* faultCode) { return state.ledger.Enter(fn_, faultCode); }

void ZTCall::Delay() {
    const uint32_t delayMs = state.callDelayMs[fn_];
    if (delayMs == 0) return;
    lock_.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    lock_.lock();
}

ZTResult ZTCall::EnterOnSession(bool outPointerGiven) {
    uint32_t fault = 0;
    if (Faulted(&fault)) return fault;
    if (!outPointerGiven) return ZTSIM_E_INVALID_ARGUMENT;
    Delay();
    if (!state.initialized) return ZTSIM_E_NOT_INITIALIZED;
    if (!state.IsSession(handle_)) return ZTSIM_E_INVALID_HANDLE;
    return ZT_OK;
}

void ZTCall::Unlock() { lock_.unlock(); }

void ZTCall::Relock() { lock_.lock(); }

}  // namespace ztsim
