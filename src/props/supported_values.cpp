#include "props/supported_values.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace kq {

SupportedValuesRef SupportedValuesRef::Make(std::int32_t propId, const std::int32_t* values,
                                            std::int32_t count) noexcept {
    if (count <= 0 || values == nullptr) return SupportedValuesRef();
    const std::size_t valueBytes = static_cast<std::size_t>(count) * sizeof(std::int32_t);
    if (static_cast<std::size_t>(count) >
        (std::numeric_limits<std::size_t>::max() - sizeof(SupportedValues)) /
            sizeof(std::int32_t)) {
        return SupportedValuesRef();
    }
    void* block = std::malloc(sizeof(SupportedValues) + valueBytes);
    if (block == nullptr) return SupportedValuesRef();
    auto* list = new (block) SupportedValues(propId, count);
    std::memcpy(static_cast<unsigned char*>(block) + sizeof(SupportedValues), values, valueBytes);
    return SupportedValuesRef(list);
}

SupportedValuesRef& SupportedValuesRef::operator=(SupportedValuesRef&& other) noexcept {
    if (this != &other) {
        Reset();
        list_ = other.list_;
        other.list_ = nullptr;
    }
    return *this;
}

SupportedValuesRef SupportedValuesRef::Share() const noexcept {
    if (list_ != nullptr) list_->uses_.fetch_add(1);
    return SupportedValuesRef(list_);
}

void SupportedValuesRef::Reset() noexcept {
    SupportedValues* list = list_;
    list_ = nullptr;
    if (list == nullptr || list->uses_.fetch_sub(1) != 1) return;
    list->~SupportedValues();
    std::free(list);
}

}  // namespace kq
