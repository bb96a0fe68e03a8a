// The PTP DevicePropDesc dataset of one property code: built from the camera
// for the 13 translated codes, fixed or zoom-based for four further codes,
// and of the undefined data type for every other code.
#include "log/trace.h"
#include "props/dataset_writer.h"
#include "props/property_access.h"
#include "props/property_code_map.h"
#include "props/property_services.h"

namespace kq {

namespace {

constexpr std::uint16_t kTypeUndefined = 0x0000;
constexpr std::uint16_t kTypeUint8 = 0x0002;
constexpr std::uint16_t kTypeUint16 = 0x0004;
constexpr std::uint8_t kFormNone = 0;
constexpr std::uint8_t kFormRange = 1;
constexpr std::uint8_t kFormEnumeration = 2;

constexpr std::uint16_t kFixedFlashCode = 0xD007;
constexpr std::uint16_t kFixedEnumerationCode = 0xD029;
constexpr std::uint16_t kFixedEnumeration[] = {2, 4, 8};
// Current and default value of the undefined type: 8 zero bytes.
constexpr std::uint32_t kUndefinedWidth = 8;
// Shown for the largest zoom position when the zoom range cannot be read.
constexpr std::uint16_t kZoomMaximumFallback = 0x00FF;

// Code, data type, get/set and form flag: the bytes every dataset has.
constexpr std::uint32_t kHeaderAndFormFlag = 2 + 2 + 1 + 1;

// The factory default of a translated code (PTP side).
std::int32_t FactoryDefault(std::uint16_t code) {
    switch (code) {
    case 0xD006:
    case 0xD008:
        return 2;
    case 0xD00A:
        return 1;
    case 0xD01D:
        return 8;
    case 0xD01E:
        return 0x98;
    case 0xD01F:
    case 0xD020:
        return 0x18;
    default:
        return 0;
    }
}

void Header(DatasetWriter& writer, std::uint16_t code, std::uint16_t type, bool settable) {
    writer.U16(code);
    writer.U16(type);
    writer.U8(settable ? 1 : 0);
}

// Groups A and B: a translated property with its supported values.
void WriteTranslated(CSDKWrapper& state, DatasetWriter& writer, const PropertyCode& property,
                     const SupportedValuesRef& supported, std::uint16_t count) {
    const std::int32_t id = property.sdkPropertyId;
    const std::uint32_t width = property.width;
    const std::int32_t factoryDefault = FactoryDefault(property.ptpCode);
    Header(writer, property.ptpCode, width == 1 ? kTypeUint8 : kTypeUint16, true);
    writer.Value(static_cast<std::uint32_t>(factoryDefault), width);
    std::int32_t current = 0;
    switch (ReadClientValue(state, id, &current)) {
    case ClientRead::kValue:
        break;
    case ClientRead::kNoEquivalent:
        current = 0;
        break;
    case ClientRead::kFailed:
        // The default is a PTP-side value already: shown as it is.
        current = factoryDefault;
        break;
    }
    writer.Value(static_cast<std::uint32_t>(current), width);
    writer.U8(kFormEnumeration);
    writer.U16(count);
    const bool emulated = CacheIsEmulated(state, id);
    for (std::int32_t i = 0; i < count; ++i) {
        writer.Value(static_cast<std::uint32_t>(ClientSupportedValueAt(supported, id, i, emulated)),
                     width);
    }
}

void WriteZoomPosition(CSDKWrapper& state, DatasetWriter& writer) {
    Header(writer, kZoomPositionCode, kTypeUint16, true);
    writer.U16(0);
    std::int32_t position = 0;
    if (!state.GetUserZoom(&position)) position = 0;
    writer.U16(static_cast<std::uint32_t>(position));
    writer.U8(kFormRange);
    // The range as the call left it, also after a failure.
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t step = 0;
    state.GetUserZoomRange(&minimum, &maximum, &step);
    writer.U16(static_cast<std::uint32_t>(minimum));
    writer.U16(static_cast<std::uint32_t>(maximum));
    writer.U16(static_cast<std::uint32_t>(step));
}

void WriteZoomMaximum(CSDKWrapper& state, DatasetWriter& writer) {
    Header(writer, kZoomMaximumCode, kTypeUint16, false);
    writer.U16(kZoomMaximumFallback);
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t step = 0;
    const bool known = state.GetUserZoomRange(&minimum, &maximum, &step) != 0;
    writer.U16(known ? static_cast<std::uint32_t>(maximum) : kZoomMaximumFallback);
    writer.U8(kFormNone);
}

}  // namespace

KQResult WriteDevicePropDesc(CSDKWrapper& state, std::uint16_t code, std::uint32_t* size,
                             void* buffer) {
    const PropertyCode* property = FindPropertyCode(code);
    std::uint16_t count = 0;
    // The supported values are refreshed before the size is known, so this
    // happens also when the buffer then turns out too small. The dataset's
    // count and values come from this one enumeration.
    SupportedValuesRef supported;
    if (property != nullptr) {
        count = static_cast<std::uint16_t>(state.EnumPropVals(property->sdkPropertyId, &supported));
    }

    std::uint32_t datasetSize = 0;
    if (property != nullptr) {
        datasetSize = kHeaderAndFormFlag + 2 * property->width + 2 + count * property->width;
    } else if (code == kFixedFlashCode) {
        datasetSize = kHeaderAndFormFlag + 2;
    } else if (code == kFixedEnumerationCode) {
        datasetSize = kHeaderAndFormFlag + 4 + 2 + sizeof kFixedEnumeration;
    } else if (code == kZoomPositionCode) {
        datasetSize = kHeaderAndFormFlag + 4 + 6;
    } else if (code == kZoomMaximumCode) {
        datasetSize = kHeaderAndFormFlag + 4;
    } else {
        datasetSize = kHeaderAndFormFlag + 2 * kUndefinedWidth;
    }
    if (*size < datasetSize) return RESULT_BUFFER_TOO_SMALL;

    DatasetWriter writer(buffer, datasetSize);
    if (property != nullptr) {
        WriteTranslated(state, writer, *property, supported, count);
    } else if (code == kFixedFlashCode) {
        Header(writer, code, kTypeUint8, false);
        writer.U8(1);
        writer.U8(1);
        writer.U8(kFormNone);
    } else if (code == kFixedEnumerationCode) {
        Header(writer, code, kTypeUint16, true);
        writer.U16(2);
        writer.U16(2);
        writer.U8(kFormEnumeration);
        writer.U16(sizeof kFixedEnumeration / sizeof kFixedEnumeration[0]);
        for (std::uint16_t value : kFixedEnumeration) writer.U16(value);
    } else if (code == kZoomPositionCode) {
        WriteZoomPosition(state, writer);
    } else if (code == kZoomMaximumCode) {
        WriteZoomMaximum(state, writer);
    } else {
        Header(writer, code, kTypeUndefined, false);
        writer.Zeros(2 * kUndefinedWidth);
        writer.U8(kFormNone);
    }
    *size = writer.Written();
    TraceCall("KQ_GetDevicePropDesc end\n");
    return RESULT_OK;
}

}  // namespace kq
