#include "subscribe.h"

#include "guard.h"
#include "zt_call.h"

namespace ztsim {

ZTHandle Subscribe(ZTSimFunction fn, SubscriptionKind kind, ZTHandle source, ObjectKind sourceKind,
                   AnyProc proc, void* context) noexcept {
    return Guarded<ZTHandle>(nullptr, [&]() -> ZTHandle {
        ZTCall call(fn, source);
        SimState& state = call.state;
        uint32_t fault = 0;
        if (call.Faulted(&fault)) return nullptr;
        if (proc == nullptr) return nullptr;
        call.Delay();
        if (!state.initialized || source == nullptr) return nullptr;
        if (!state.registry.IsLive(source, sourceKind)) return nullptr;
        if (sourceKind == ObjectKind::Session && !state.IsSession(source)) return nullptr;
        ZTHandle handle =
            state.registry.Issue(ObjectKind::Subscription, fn, kHandleBlockSize, source);
        try {
            state.subscriptions.Add(handle, kind, source, proc, context);
        } catch (...) {
            ObjectKind released;
            state.registry.Release(handle, &released);
            throw;
        }
        return handle;
    });
}

}  // namespace ztsim
