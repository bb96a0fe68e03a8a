// The ZTSim_ control functions used by tests and the client tool.
#include <cstring>
#include <mutex>
#include <string>

#include "guard.h"
#include "ledger.h"
#include "notifications.h"
#include "sim_state.h"
#include "zt_sim.h"

using namespace ztsim;

// The SDK's initialised state is left alone: a client that keeps its own
// "already initialised" flag across tests must still find the SDK usable.
// Calls still inside the simulator (a delayed one, say) stay counted as in
// flight until they return.
extern "C" ZTSIM_API void ZTSim_Reset(void) {
    GuardedVoid([]() {
        SimState& state = State();
        state.callbacks.WaitIdle();
        std::lock_guard<std::mutex> lock(state.mutex);
        state.ResetLocked();
    });
}

extern "C" ZTSIM_API void ZTSim_DropForgottenBlocks(void) {
    GuardedVoid([]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        state.registry.DropForgotten();
    });
}

extern "C" ZTSIM_API void ZTSim_SetFault(ZTSimFunction fn, uint32_t code, int32_t times) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        state.ledger.SetFault(fn, code, times);
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_CallCount(ZTSimFunction fn) {
    return Guarded<uint32_t>(0, [fn]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return state.ledger.CallCount(fn);
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_OutstandingCount(void) {
    return Guarded<uint32_t>(0, []() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return state.registry.OutstandingCount();
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_FreeFaultCount(void) {
    return Guarded<uint32_t>(0, []() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return state.registry.FreeFaultCount();
    });
}

// Returns the text's length without the terminating NUL, like snprintf.
extern "C" ZTSIM_API uint32_t ZTSim_Describe(char* buffer, uint32_t size) {
    return Guarded<uint32_t>(0, [buffer, size]() {
        std::string text;
        {
            SimState& state = State();
            std::lock_guard<std::mutex> lock(state.mutex);
            text = state.registry.Describe();
        }
        if (buffer != nullptr && size > 0) {
            const size_t copied = text.size() < size ? text.size() : size - 1;
            std::memcpy(buffer, text.data(), copied);
            buffer[copied] = '\0';
        }
        return static_cast<uint32_t>(text.size());
    });
}

extern "C" ZTSIM_API void ZTSim_WaitIdle(void) {
    GuardedVoid([]() { State().callbacks.WaitIdle(); });
}

extern "C" ZTSIM_API int32_t ZTSim_IsInitialized(void) {
    return Guarded<int32_t>(0, []() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return state.initialized ? 1 : 0;
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_RaiseCameraListChanged(uint32_t cameraId, int32_t changeKind) {
    return Guarded<uint32_t>(0, [=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return QueueCameraListChanged(state, cameraId, changeKind);
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_RaiseCameraError(int32_t errorKind) {
    return Guarded<uint32_t>(0, [=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return QueueCameraError(state, nullptr, errorKind);
    });
}

extern "C" ZTSIM_API void ZTSim_SetCallDelay(ZTSimFunction fn, uint32_t milliseconds) {
    GuardedVoid([=]() {
        if (!IsKnownFunction(fn)) return;
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        state.callDelayMs[fn] = milliseconds;
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_CallsInFlight(ZTSimFunction fn) {
    return Guarded<uint32_t>(0, [fn]() -> uint32_t {
        if (!IsKnownFunction(fn)) return 0;
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return state.callsInFlight[fn];
    });
}

extern "C" ZTSIM_API void ZTSim_SetCallbackThreads(uint32_t count) {
    GuardedVoid([count]() { State().callbacks.SetThreadCount(count); });
}

extern "C" ZTSIM_API void ZTSim_SetFreeWaitsForCallbacks(int32_t on) {
    GuardedVoid([on]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        state.freeWaitsForCallbacks = on != 0;
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_CallbacksRunning(void) {
    return Guarded<uint32_t>(0, []() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return static_cast<uint32_t>(state.runningCallbacks.size());
    });
}
