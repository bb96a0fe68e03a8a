#include "props/value_map.h"

#include "props/translation_lists.h"

namespace kq {

namespace {

// The entry whose PTP-side value is `ptpValue`, or null.
const TranslationPair* FindPtp(const TranslationPair* list, std::int32_t ptpValue) {
    for (; list->ptpValue != kTranslationEndMarker; ++list) {
        if (list->ptpValue == ptpValue) return list;
    }
    return nullptr;
}

}  // namespace

ValueMap::ValueMap() noexcept {
    try {
        for (const TranslationList& list : kTranslationLists) {
            lists_.emplace(list.sdkPropertyId, list.pairs);
        }
    } catch (...) {
        // Out of memory while the library loads: no translation succeeds, and
        // every translated value is refused rather than the load aborted.
        lists_.clear();
    }
}

const TranslationPair* ValueMap::Find(std::int32_t sdkPropertyId) const {
    auto found = lists_.find(sdkPropertyId);
    return found == lists_.end() ? nullptr : found->second;
}

bool PtpToSdkValue(std::int32_t sdkPropertyId, std::int32_t* value) {
    const TranslationPair* list = valueMap.Find(sdkPropertyId);
    const TranslationPair* entry = list != nullptr ? FindPtp(list, *value) : nullptr;
    // The first entry with the value decides, also when it has no SDK value.
    if (entry == nullptr || entry->sdkValue == kTranslationEndMarker) {
        *value = 0;
        return false;
    }
    *value = entry->sdkValue;
    return true;
}

bool SdkToPtpValue(std::int32_t sdkPropertyId, std::int32_t* value) {
    const TranslationPair* list = valueMap.Find(sdkPropertyId);
    if (list != nullptr) {
        // The marker on the SDK side means "no SDK equivalent"; a camera that
        // reports the marker's number must not match such an entry.
        for (; list->ptpValue != kTranslationEndMarker; ++list) {
            if (list->sdkValue != kTranslationEndMarker && list->sdkValue == *value) {
                *value = list->ptpValue;
                return true;
            }
        }
    }
    *value = 0;
    return false;
}

bool ClientToSdkValue(std::int32_t sdkPropertyId, std::uint32_t width, std::int32_t* value) {
    const TranslationPair* list = valueMap.Find(sdkPropertyId);
    if (width == 1 && list != nullptr && *value >= 0x80 && *value <= 0xFF &&
        FindPtp(list, *value) == nullptr) {
        *value = static_cast<std::int8_t>(*value);
    }
    return PtpToSdkValue(sdkPropertyId, value);
}

}  // namespace kq
