#include "subscribe.h"

#include "guard.h"

namespace ztsim {

ZTHandle Subscribe(ZTSimFunction fn, SubscriptionKind kind, ZTHandle source, ObjectKind sourceKind,
                   AnyProc proc, void* context) noexcept {
    return Guarded<ZTHandle>(nullptr, [&]() -> ZTHandle {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        uint32_t fault = 0;
        if (state.ledger.Enter(fn, &fault)) return nullptr;
        if (!state.initialized || proc == nullptr || source == nullptr) return nullptr;
        if (!state.registry.IsLive(source, sourceKind)) return nullptr;
        if (sourceKind == ObjectKind::Session && !state.IsSession(source)) return nullptr;
        ZTHandle handle = state.registry.Issue(ObjectKind::Subscription, fn, kHandleBlockSize);
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
