// Per-function call counters and injected faults.
#ifndef ZTSIM_LEDGER_H
#define ZTSIM_LEDGER_H

#include <stdint.h>

#include <array>

#include "zt_sim.h"

namespace ztsim {

bool IsKnownFunction(ZTSimFunction fn);

// Name of the ZT function, e.g. "ZTGetCameraManager"; "?" when unknown.
const char* FunctionName(ZTSimFunction fn);

class CallLedger {
public:
    // Counts one call of fn. Returns true when an injected fault is armed for
    // it, consuming one use and leaving its code in *faultCode.
    bool Enter(ZTSimFunction fn, uint32_t* faultCode);

    // times < 0: fail until cleared; 0: clear; > 0: fail that many calls.
    void SetFault(ZTSimFunction fn, uint32_t code, int32_t times);

    uint32_t CallCount(ZTSimFunction fn) const;

    void Clear();

private:
    struct Slot {
        uint32_t calls = 0;
        uint32_t faultCode = 0;
        int32_t faultsLeft = 0;  // negative: unlimited
    };
    std::array<Slot, ZTSIM_FN_COUNT> slots_{};
};

}  // namespace ztsim

#endif  // ZTSIM_LEDGER_H
