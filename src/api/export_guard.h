// What every export does before its work: the handle checks, and a guard
// that keeps exceptions from crossing the exported boundary.
#ifndef KQSDK_API_EXPORT_GUARD_H
#define KQSDK_API_EXPORT_GUARD_H

#include <cstdint>

#include "bridge/sdk_wrapper.h"
#include "kqsdk.h"

namespace kq {

// Session-aware check: a handle other than the current camera object handle
// is the wrong camera while a session is open, and "not connected" otherwise.
inline KQResult SessionAwareCheck(std::uint32_t camera) {
    if (camera == bridgeState.cameraHandle.load()) return RESULT_OK;
    return bridgeState.connected.load() != 0 ? RESULT_WRONG_CAMERA : RESULT_NOT_CONNECTED;
}

// Plain check: any other handle is the wrong camera.
inline KQResult PlainCheck(std::uint32_t camera) {
    return camera == bridgeState.cameraHandle.load() ? RESULT_OK : RESULT_WRONG_CAMERA;
}

// Writes the ERR line of an export that an exception ended.
void LogExportException(const char* exportName) noexcept;

// Runs an export's body. The bridge allocates without throwing, so this only
// ever catches what a client callback or the host runtime throws. Such a
// call writes an ERR line and returns `onException`: what the export gives
// when its work fails (0 for most, 0x2003 for KQ_ConnectCamera, 0x2 for the
// property value exports, 0x22 for KQ_SetEventCallBack), never an exception
// unwinding into the client.
template <typename Body>
KQResult Guarded(const char* exportName, KQResult onException, Body body) noexcept {
    try {
        return body();
    } catch (...) {
        LogExportException(exportName);
        return onException;
    }
}

}  // namespace kq

#endif  // KQSDK_API_EXPORT_GUARD_H
