// The supported values of one SDK property as one immutable, shared list:
// the SupportedValueCache holds one, and a reader keeps the one it took for
// as long as it reads, so a list is never freed or changed under a reader.
#ifndef KQSDK_PROPS_SUPPORTED_VALUES_H
#define KQSDK_PROPS_SUPPORTED_VALUES_H

#include <atomic>
#include <cstdint>

namespace kq {

class SupportedValues {
public:
    std::int32_t propId() const { return propId_; }
    std::int32_t count() const { return count_; }
    // The values, in the order the camera (or the emulation) listed them.
    const std::int32_t* values() const { return reinterpret_cast<const std::int32_t*>(this + 1); }

private:
    friend class SupportedValuesRef;
    SupportedValues(std::int32_t propId, std::int32_t count) : propId_(propId), count_(count) {}
    std::atomic<std::uint32_t> uses_{1};
    std::int32_t propId_;
    std::int32_t count_;
    // `count_` values follow in the same heap block.
};

// One use of a list; the last use frees it. Move-only; Share() adds a use.
class SupportedValuesRef {
public:
    SupportedValuesRef() noexcept = default;
    SupportedValuesRef(SupportedValuesRef&& other) noexcept : list_(other.list_) {
        other.list_ = nullptr;
    }
    SupportedValuesRef& operator=(SupportedValuesRef&& other) noexcept;
    ~SupportedValuesRef() { Reset(); }
    SupportedValuesRef(const SupportedValuesRef&) = delete;
    SupportedValuesRef& operator=(const SupportedValuesRef&) = delete;

    // A new list with a copy of `count` values; empty when count is not
    // positive, values is null or memory ran out. Never throws.
    static SupportedValuesRef Make(std::int32_t propId, const std::int32_t* values,
                                   std::int32_t count) noexcept;

    SupportedValuesRef Share() const noexcept;
    void Reset() noexcept;

    const SupportedValues* get() const { return list_; }
    const SupportedValues* operator->() const { return list_; }
    explicit operator bool() const { return list_ != nullptr; }

private:
    explicit SupportedValuesRef(SupportedValues* list) noexcept : list_(list) {}
    SupportedValues* list_ = nullptr;
};

}  // namespace kq

#endif  // KQSDK_PROPS_SUPPORTED_VALUES_H
