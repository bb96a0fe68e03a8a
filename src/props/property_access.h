// Property values as clients see them. The six CSDKWrapper operations speak
// Camera SDK terms; these helpers sit on top and hand out PTP-side values.
// All of them know about the emulated SDK property 10, whose value and
// supported list are held on the PTP side: reads and enumerations bypass the
// translation lists, and a write is translated like any other (a value
// without an SDK equivalent goes no further) but keeps the client's value.
// This is the one place that decision is made.
#ifndef KQSDK_PROPS_PROPERTY_ACCESS_H
#define KQSDK_PROPS_PROPERTY_ACCESS_H

#include <cstdint>

#include "bridge/sdk_wrapper.h"

namespace kq {

// SDK property the bridge emulates when the camera lacks it.
constexpr std::int32_t kEmulatedPropertyId = 10;

enum class ClientRead {
    kFailed,        // no session or the Camera SDK read failed
    kNoEquivalent,  // the camera's value has no PTP-side equivalent
    kValue,         // *value holds the PTP-side value
};

// Reads the current value of an SDK property on the PTP side. Logs and
// behaves as GetProperty.
ClientRead ReadClientValue(CSDKWrapper& state, std::int32_t sdkPropertyId, std::int32_t* value);

enum class ClientWrite {
    kNoEquivalent,  // the client's value has no SDK equivalent: nothing sent
    kFailed,        // no session or the Camera SDK write failed
    kDone,          // written, or dropped as unsupported by the camera
};

// Writes a client's value of `width` bytes (zero-extended) to an SDK
// property: translates it to the SDK side (a value without an equivalent
// returns kNoEquivalent at once), then logs and behaves as SetProperty with
// the SDK-side value, except that the emulated property stores the client's
// value, and only when its list holds it.
ClientWrite WriteClientValue(CSDKWrapper& state, std::int32_t sdkPropertyId, std::uint32_t width,
                             std::int32_t value);

// The supported value at `index` of an enumerated list of an SDK property,
// on the PTP side; 0 when there is none or it has no PTP-side equivalent.
// `emulated` (CacheIsEmulated): the list holds PTP-side values already.
std::int32_t ClientSupportedValueAt(const SupportedValuesRef& list, std::int32_t sdkPropertyId,
                                    std::int32_t index, bool emulated);

// The cached list of property 10 is the emulated one exactly when the
// emulation is on: EnumPropVals fills it from the fixed list then, and the
// emulation is never switched off.
bool CacheIsEmulated(const CSDKWrapper& state, std::int32_t sdkPropertyId);

}  // namespace kq

#endif  // KQSDK_PROPS_PROPERTY_ACCESS_H
