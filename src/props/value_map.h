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
    // Enters the translation lists in their fixed order.
    ValueMap() noexcept;
    // The translation list of an SDK property, or null when it has none.
    const TranslationPair* Find(std::int32_t sdkPropertyId) const;
    std::size_t Size() const { return lists_.size(); }

private:
    std::map<std::int32_t, const TranslationPair*> lists_;
};

extern const ValueMap valueMap;

// Replace *value (PTP side) with the SDK-side value of that property. On
// failure (no list, value not listed, or listed without an SDK equivalent)
// *value becomes 0; callers write that 0.
bool PtpToSdkValue(std::int32_t sdkPropertyId, std::int32_t* value);
// Replace *value (SDK side) with the PTP-side value of the first entry that
// carries it. On failure *value becomes 0.
bool SdkToPtpValue(std::int32_t sdkPropertyId, std::int32_t* value);

// A client's value of `width` bytes (1 or 2), zero-extended, to the SDK side.
// Reads cut PTP-side values to the client's width, so the values -2 and -1 of
// SDK properties 16 and 17 reach the client as the bytes 0xFE and 0xFF; a
// 1-byte value that its list does not hold is therefore also tried as a
// signed byte, so that whatever a read delivered can be written back. On
// failure *value becomes 0.
bool ClientToSdkValue(std::int32_t sdkPropertyId, std::uint32_t width, std::int32_t* value);

}  // namespace kq

#endif  // KQSDK_PROPS_VALUE_MAP_H
