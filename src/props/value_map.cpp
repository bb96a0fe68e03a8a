#include "props/value_map.h"

namespace kq {

ValueMap::ValueMap() {}

const TranslationPair* ValueMap::Find(std::int32_t sdkPropertyId) const {
    auto found = lists_.find(sdkPropertyId);
    return found == lists_.end() ? nullptr : found->second;
}

}  // namespace kq
