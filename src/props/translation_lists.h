// The constant translation lists behind the ValueMap, one per translated SDK
// property, in the order they enter the map at load.
#ifndef KQSDK_PROPS_TRANSLATION_LISTS_H
#define KQSDK_PROPS_TRANSLATION_LISTS_H

#include <cstddef>
#include <cstdint>

#include "props/value_map.h"

namespace kq {

struct TranslationList {
    std::int32_t sdkPropertyId;
    const TranslationPair* pairs;  // ended by a pair with kTranslationEndMarker
};

constexpr std::size_t kTranslationListCount = 13;

// In insertion order: SDK ids 2, 1, 7, 5, 0, 4, 8, 9, 10, 11, 3, 16, 17.
extern const TranslationList kTranslationLists[kTranslationListCount];

}  // namespace kq

#endif  // KQSDK_PROPS_TRANSLATION_LISTS_H
