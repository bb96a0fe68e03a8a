#include "ledger.h"

namespace ztsim {

namespace {

const char* const kFunctionNames[ZTSIM_FN_COUNT] = {
    "ZTInitializeSDK",
    "ZTTerminateSDK",
    "ZTGetCameraManager",
    "ZTFree",
    "ZTCameraListChangedSubscribe",
    "ZTGetCameraList",
    "ZTOpenSession",
    "ZTShootCompletedSubscribe",
    "ZTDownloadCompletedSubscribe",
    "ZTZoomCompletedSubscribe",
    "ZTCameraErrorSubscribe",
    "ZTNewPreviewFrameSubscribe",
    "ZTSetPreviewState",
    "ZTGetPreviewFrame",
    "ZTShoot",
    "ZTDownloadFile",
    "ZTUpdateAEAF",
    "ZTGetPropertyList",
    "ZTGetPropertyDesc",
    "ZTGetPropertyData",
    "ZTSetPropertyData",
    "ZTGetPropertyName",
    "ZTGetZoom",
    "ZTSetZoom",
    "ZTGetMaximumZoom",
};

}  // namespace

bool IsKnownFunction(ZTSimFunction fn) {
    const int index = static_cast<int>(fn);
    return index >= 0 && index < static_cast<int>(ZTSIM_FN_COUNT);
}

const char* FunctionName(ZTSimFunction fn) {
    return IsKnownFunction(fn) ? kFunctionNames[fn] : "?";
}

bool CallLedger::Enter(ZTSimFunction fn, uint32_t* faultCode) {
    if (!IsKnownFunction(fn)) return false;
    Slot& slot = slots_[fn];
    ++slot.calls;
    if (slot.faultsLeft == 0) return false;
    if (slot.faultsLeft > 0) --slot.faultsLeft;
    *faultCode = slot.faultCode;
    return true;
}

void CallLedger::SetFault(ZTSimFunction fn, uint32_t code, int32_t times) {
    if (!IsKnownFunction(fn)) return;
    slots_[fn].faultCode = times == 0 ? 0 : code;
    slots_[fn].faultsLeft = times;
}

uint32_t CallLedger::CallCount(ZTSimFunction fn) const {
    return IsKnownFunction(fn) ? slots_[fn].calls : 0;
}

void CallLedger::Clear() { slots_.fill(Slot{}); }

}  // namespace ztsim
