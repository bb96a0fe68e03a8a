// The ValueMap: for each translated SDK property, its constant list of
// (PTP-side value, SDK-side value) pairs. Built once at load, read-only after.
#ifndef KQSDK_PROPS_VALUE_MAP_H
#define KQSDK_PROPS_VALUE_MAP_H

#include <cstdint>
#include <map>

namespace kq {

struct TranslationPair {
    std::int32_t ptpValue;
    std::int32_t sdkValue;
};

// PTP-side value of a list's end pair, and SDK-side value of an entry that has
// no Camera SDK equivalent.
constexpr std::int32_t kTranslationEndMarker = -123123;

class ValueMap {
public:
    ValueMap();
    // The translation list of an SDK property, or null when it has none.
    const TranslationPair* Find(std::int32_t sdkPropertyId) const;

private:
    std::map<std::int32_t, const TranslationPair*> lists_;
};

extern const ValueMap valueMap;

}  // namespace kq

#endif  // KQSDK_PROPS_VALUE_MAP_H
