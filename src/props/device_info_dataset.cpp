// The PTP DeviceInfo dataset: fixed operations, events and formats, empty
// identification strings, and the property codes the connected camera offers
// followed by the two zoom codes.
#include "log/trace.h"
#include "props/dataset_writer.h"
#include "props/property_code_map.h"
#include "props/property_services.h"

namespace kq {

namespace {

constexpr std::uint16_t kOperations[] = {0x9008, 0x9009, 0x901A, 0x900B, 0x900C, 0x900D};
constexpr std::uint16_t kEvents[] = {0xC008, 0xC00A};
// The translated codes in the order they are tested and listed.
constexpr std::uint16_t kCandidateCodes[] = {0xD006, 0xD008, 0xD01C, 0xD00A, 0xD00C, 0xD013, 0xD01D,
                                             0xD01E, 0xD01F, 0xD020, 0xD010, 0xD017, 0xD019};
constexpr std::uint16_t kZoomCodes[] = {kZoomPositionCode, kZoomMaximumCode};
constexpr std::uint16_t kImageFormat = 0x3801;
constexpr std::uint32_t kCandidateCount = sizeof kCandidateCodes / sizeof kCandidateCodes[0];

// Everything but the property codes: 55 bytes.
constexpr std::uint32_t kFixedSize = 2 + 4 + 2 + 1 + 2 +  // versions, description, mode
                                     4 + sizeof kOperations + 4 + sizeof kEvents +  // lists
                                     4 +              // property count
                                     4 + 2 + 4 + 2 +  // capture and image formats
                                     4;               // four empty strings
static_assert(kFixedSize == 55, "DeviceInfo without property codes");

template <typename T, std::uint32_t N>
void CodeArray(DatasetWriter& writer, const T (&codes)[N]) {
    writer.U32(N);
    for (std::uint16_t code : codes) writer.U16(code);
}

}  // namespace

KQResult WriteDeviceInfo(CSDKWrapper& state, std::uint32_t* size, void* buffer) {
    // Each candidate is asked about once; the count and the list below come
    // from the same answers.
    std::uint16_t offered[kCandidateCount] = {};
    std::uint32_t offeredCount = 0;
    for (std::uint16_t code : kCandidateCodes) {
        std::int32_t sdkPropertyId = kNoSdkProperty;
        SdkPropertyForCode(code, &sdkPropertyId);
        if (state.IsPropSupported(sdkPropertyId)) offered[offeredCount++] = code;
    }
    const std::uint32_t codeCount = offeredCount + sizeof kZoomCodes / sizeof kZoomCodes[0];
    const std::uint32_t datasetSize = kFixedSize + 2 * codeCount;
    if (*size < datasetSize) return RESULT_BUFFER_TOO_SMALL;

    DatasetWriter writer(buffer, datasetSize);
    writer.U16(0);         // StandardVersion
    writer.U32(0);         // VendorExtensionID
    writer.U16(0);         // VendorExtensionVersion
    writer.EmptyString();  // VendorExtensionDesc
    writer.U16(0);         // FunctionalMode
    CodeArray(writer, kOperations);
    CodeArray(writer, kEvents);
    writer.U32(codeCount);
    for (std::uint32_t i = 0; i < offeredCount; ++i) writer.U16(offered[i]);
    for (std::uint16_t code : kZoomCodes) writer.U16(code);
    writer.U32(1);  // CaptureFormats
    writer.U16(kImageFormat);
    writer.U32(1);  // ImageFormats
    writer.U16(kImageFormat);
    writer.EmptyString();  // Manufacturer
    writer.EmptyString();  // Model
    writer.EmptyString();  // DeviceVersion
    writer.EmptyString();  // SerialNumber
    *size = writer.Written();
    TraceCall("KQ_GetDeviceInfo end\n");
    return RESULT_OK;
}

}  // namespace kq
