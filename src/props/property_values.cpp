// Reading and writing the current value of one device property by its PTP
// code: the 13 translated codes through the property access, the zoom codes
// through the zoom operations, every other code answered without the camera.
#include <cstring>

#include "props/dataset_writer.h"
#include "props/property_access.h"
#include "props/property_code_map.h"
#include "props/property_services.h"

namespace kq {

namespace {

constexpr std::uint32_t kZoomValueWidth = 2;

// The client's value of `width` bytes, little-endian, zero-extended.
std::int32_t ClientBytes(const void* value, std::uint32_t width) {
    const auto* bytes = static_cast<const std::uint8_t*>(value);
    std::uint32_t result = bytes[0];
    if (width == 2) result |= static_cast<std::uint32_t>(bytes[1]) << 8;
    return static_cast<std::int32_t>(result);
}

// Writes a value of `width` bytes and reports the width as the size.
void DeliverValue(std::int32_t value, std::uint32_t width, std::uint32_t* size, void* buffer) {
    DatasetWriter writer(buffer, width);
    writer.Value(static_cast<std::uint32_t>(value), width);
    *size = width;
}

}  // namespace

KQResult ReadDevicePropValue(CSDKWrapper& state, std::uint16_t code, std::uint32_t* size,
                             void* buffer) {
    if (const PropertyCode* property = FindPropertyCode(code)) {
        if (*size < property->width) return RESULT_BUFFER_TOO_SMALL;
        std::int32_t value = 0;
        switch (ReadClientValue(state, property->sdkPropertyId, &value)) {
        case ClientRead::kFailed:
            return RESULT_DEVICE_ERROR;
        case ClientRead::kNoEquivalent:
            return RESULT_OK;  // nothing written, the size left as it was
        case ClientRead::kValue:
            DeliverValue(value, property->width, size, buffer);
            return RESULT_OK;
        }
        return RESULT_OK;
    }
    if (code == kZoomPositionCode || code == kZoomMaximumCode) {
        if (*size < kZoomValueWidth) return RESULT_BUFFER_TOO_SMALL;
        std::int32_t value = 0;
        if (code == kZoomPositionCode) {
            if (!state.GetUserZoom(&value)) return RESULT_DEVICE_ERROR;
        } else {
            std::int32_t minimum = 0;
            std::int32_t step = 0;
            if (!state.GetUserZoomRange(&minimum, &value, &step)) return RESULT_DEVICE_ERROR;
        }
        DeliverValue(value, kZoomValueWidth, size, buffer);
        return RESULT_OK;
    }
    // A code the bridge does not serve reads as zeros over the whole buffer.
    std::memset(buffer, 0, *size);
    return RESULT_OK;
}

KQResult WriteDevicePropValue(CSDKWrapper& state, std::uint16_t code, std::uint32_t size,
                              const void* value) {
    if (const PropertyCode* property = FindPropertyCode(code)) {
        if (size < property->width) return RESULT_BUFFER_TOO_SMALL;
        const ClientWrite written = WriteClientValue(
            state, property->sdkPropertyId, property->width, ClientBytes(value, property->width));
        return written == ClientWrite::kFailed ? RESULT_DEVICE_ERROR : RESULT_OK;
    }
    if (code == kZoomPositionCode) {
        if (size < kZoomValueWidth) return RESULT_BUFFER_TOO_SMALL;
        return state.SetUserZoom(ClientBytes(value, kZoomValueWidth)) ? RESULT_OK
                                                                      : RESULT_DEVICE_ERROR;
    }
    return RESULT_OK;
}

}  // namespace kq
