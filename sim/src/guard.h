// Exception barrier for every exported simulator function: nothing thrown
// inside (allocation failure, a lock error) may reach the caller, which is C
// code or a bridge built without knowledge of our runtime.
#ifndef ZTSIM_GUARD_H
#define ZTSIM_GUARD_H

#include <stdint.h>

namespace ztsim {

// Answer of a ZT function that failed for an internal reason (out of memory).
constexpr uint32_t kInternalError = 0x200000FFu;

template <typename R, typename Body>
R Guarded(R fallback, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

template <typename Body>
void GuardedVoid(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

}  // namespace ztsim

#endif  // ZTSIM_GUARD_H
