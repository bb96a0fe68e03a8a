// The work of the four property exports, after their entry checks.
#ifndef KQSDK_PROPS_PROPERTY_SERVICES_H
#define KQSDK_PROPS_PROPERTY_SERVICES_H

#include <cstdint>

#include "bridge/sdk_wrapper.h"
#include "kqsdk.h"

namespace kq {

// KQ_GetDevicePropValue: reads one property into the client's buffer.
KQResult ReadDevicePropValue(CSDKWrapper& state, std::uint16_t code, std::uint32_t* size,
                             void* buffer);
// KQ_SetDevicePropValue: writes one property from the client's bytes.
KQResult WriteDevicePropValue(CSDKWrapper& state, std::uint16_t code, std::uint32_t size,
                              const void* value);
// KQ_GetDevicePropDesc: the DevicePropDesc dataset of one property.
KQResult WriteDevicePropDesc(CSDKWrapper& state, std::uint16_t code, std::uint32_t* size,
                             void* buffer);
// KQ_GetDeviceInfo: the DeviceInfo dataset.
KQResult WriteDeviceInfo(CSDKWrapper& state, std::uint32_t* size, void* buffer);

}  // namespace kq

#endif  // KQSDK_PROPS_PROPERTY_SERVICES_H
