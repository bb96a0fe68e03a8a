#include "property_names.h"

#include <stddef.h>

namespace ztsim {

namespace {

struct NamedProperty {
    int32_t id;
    const char* name;
};

// The camera model's properties, SDK ids 0 to 17.
constexpr NamedProperty kNames[] = {
    {0, "WhiteBalance"},
    {1, "ExposureMode"},
    {2, "ImageQuality"},
    {3, "FlashMode"},
    {4, "FocusMode"},
    {5, "MeteringMode"},
    {6, "DriveMode"},
    {7, "IsoSpeed"},
    {8, "Aperture"},
    {9, "ShutterSpeed"},
    {10, "ExposureCompensation"},
    {11, "FlashCompensation"},
    {12, "ColorSpace"},
    {13, "ImageSize"},
    {14, "NoiseReduction"},
    {15, "Bracketing"},
    {16, "Contrast"},
    {17, "Sharpness"},
};

}  // namespace

const char* PropertyName(int32_t propertyId) {
    for (const NamedProperty& entry : kNames) {
        if (entry.name != nullptr && entry.id == propertyId) return entry.name;
    }
    return nullptr;
}

}  // namespace ztsim
