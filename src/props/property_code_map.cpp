#include "props/property_code_map.h"

namespace kq {

namespace {

constexpr PropertyCode kPropertyCodes[] = {
    {0xD006, 2, 1}, {0xD008, 1, 1},  {0xD00A, 5, 1},  {0xD00C, 0, 1}, {0xD010, 3, 1},
    {0xD013, 4, 1}, {0xD017, 16, 1}, {0xD019, 17, 1}, {0xD01C, 7, 2}, {0xD01D, 8, 2},
    {0xD01E, 9, 2}, {0xD01F, 10, 1}, {0xD020, 11, 1},
};

}  // namespace

const PropertyCode* FindPropertyCode(std::uint16_t ptpCode) {
    for (const PropertyCode& entry : kPropertyCodes) {
        if (entry.ptpCode == ptpCode) return &entry;
    }
    return nullptr;
}

bool SdkPropertyForCode(std::uint16_t ptpCode, std::int32_t* sdkPropertyId) {
    const PropertyCode* entry = FindPropertyCode(ptpCode);
    *sdkPropertyId = entry != nullptr ? entry->sdkPropertyId : kNoSdkProperty;
    return entry != nullptr;
}

}  // namespace kq
