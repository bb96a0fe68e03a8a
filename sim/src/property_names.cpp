#include "property_names.h"

#include <stddef.h>

namespace ztsim {

namespace {

struct NamedProperty {
    int32_t id;
    const char* name;
};

// Filled in with the camera model's properties.
constexpr NamedProperty kNames[] = {
    {-1, nullptr},
};

}  // namespace

const char* PropertyName(int32_t propertyId) {
    for (const NamedProperty& entry : kNames) {
        if (entry.name != nullptr && entry.id == propertyId) return entry.name;
    }
    return nullptr;
}

}  // namespace ztsim
