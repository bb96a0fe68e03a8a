// The PropertyCodeMap: the Camera SDK property behind each translated PTP
// device-property code, with the width of the value the client exchanges.
#ifndef KQSDK_PROPS_PROPERTY_CODE_MAP_H
#define KQSDK_PROPS_PROPERTY_CODE_MAP_H

#include <cstdint>

namespace kq {

// SDK property id reported for a code without an SDK property.
constexpr std::int32_t kNoSdkProperty = -1;

// The zoom codes, served by the zoom operations instead of an SDK property.
constexpr std::uint16_t kZoomPositionCode = 0xD02A;
constexpr std::uint16_t kZoomMaximumCode = 0xD03D;

struct PropertyCode {
    std::uint16_t ptpCode;
    std::int32_t sdkPropertyId;
    std::uint32_t width;  // bytes: 1 (PTP UINT8) or 2 (PTP UINT16)
};

// The map's entry for a code, or null when the code has no SDK property.
const PropertyCode* FindPropertyCode(std::uint16_t ptpCode);

// Whether the code is mapped; *sdkPropertyId is its SDK property id, or
// kNoSdkProperty when it is not.
bool SdkPropertyForCode(std::uint16_t ptpCode, std::int32_t* sdkPropertyId);

}  // namespace kq

#endif  // KQSDK_PROPS_PROPERTY_CODE_MAP_H
