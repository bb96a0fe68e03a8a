// Exports of device properties and the PTP datasets.
#include "api/export_guard.h"
#include "log/trace.h"
#include "props/property_services.h"

using namespace kq;

extern "C" {

KQ_API KQResult KQ_STDCALL KQ_GetDeviceInfo(uint32_t, uint32_t* size, void* buffer) {
    return Guarded("KQ_GetDeviceInfo", RESULT_OK, [&] {
        TraceCall("KQ_GetDeviceInfo begin");
        if (size == nullptr) return RESULT_NULL_POINTER;
        if (buffer == nullptr) return RESULT_BUFFER_TOO_SMALL;
        return WriteDeviceInfo(bridgeState, size, buffer);
    });
}

KQ_API KQResult KQ_STDCALL KQ_GetDevicePropDesc(uint32_t camera, uint32_t propertyCode,
                                                uint32_t* size, void* buffer) {
    return Guarded("KQ_GetDevicePropDesc", RESULT_OK, [&] {
        TraceCode("KQ_GetDevicePropDesc begin", static_cast<uint16_t>(propertyCode));
        if (size == nullptr) return RESULT_NULL_POINTER;
        if (buffer == nullptr) return RESULT_BUFFER_TOO_SMALL;
        if (KQResult check = SessionAwareCheck(camera)) return check;
        return WriteDevicePropDesc(bridgeState, static_cast<uint16_t>(propertyCode), size, buffer);
    });
}

KQ_API KQResult KQ_STDCALL KQ_GetDevicePropValue(uint32_t camera, uint32_t propertyCode,
                                                 uint32_t* size, void* buffer) {
    return Guarded("KQ_GetDevicePropValue", RESULT_DEVICE_ERROR, [&] {
        TraceCall("KQ_GetDevicePropValue");
        if (KQResult check = SessionAwareCheck(camera)) return check;
        if (size == nullptr) return RESULT_NULL_POINTER;
        if (buffer == nullptr) return RESULT_BUFFER_TOO_SMALL;
        return ReadDevicePropValue(bridgeState, static_cast<uint16_t>(propertyCode), size, buffer);
    });
}

KQ_API KQResult KQ_STDCALL KQ_SetDevicePropValue(uint32_t camera, uint32_t propertyCode,
                                                 uint32_t size, const void* value) {
    return Guarded("KQ_SetDevicePropValue", RESULT_DEVICE_ERROR, [&] {
        TraceCode("KQ_SetDevicePropValue", static_cast<uint16_t>(propertyCode));
        if (KQResult check = SessionAwareCheck(camera)) return check;
        if (size == 0 || value == nullptr) return RESULT_NULL_POINTER;
        return WriteDevicePropValue(bridgeState, static_cast<uint16_t>(propertyCode), size, value);
    });
}

}  // extern "C"
