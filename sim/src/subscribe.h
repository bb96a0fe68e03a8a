// The common body of the six ZT...Subscribe functions.
#ifndef ZTSIM_SUBSCRIBE_H
#define ZTSIM_SUBSCRIBE_H

#include "sim_state.h"

namespace ztsim {

// Counts the call of `fn` and, unless a fault is injected, the SDK is not
// initialised, `proc` is null or `source` is not a live `sourceKind`, hands
// out a new subscription handle on `source`. Returns null otherwise.
ZTHandle Subscribe(ZTSimFunction fn, SubscriptionKind kind, ZTHandle source, ObjectKind sourceKind,
                   AnyProc proc, void* context) noexcept;

// Casts a callback of any of the six kinds for storage in the table.
template <typename Proc>
AnyProc ErasedProc(Proc proc) {
    return reinterpret_cast<AnyProc>(proc);
}

}  // namespace ztsim

#endif  // ZTSIM_SUBSCRIBE_H
