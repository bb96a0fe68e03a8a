#include "names.h"

#include "kqsdk.h"

namespace kqcam {

const char* EventName(std::uint16_t code) {
    switch (code) {
    case kqCAL_SHUTDOWN: return "kqCAL_SHUTDOWN";
    case kqPTP_FULL_VIEW_RELEASED: return "kqPTP_FULL_VIEW_RELEASED";
    case kqPTP_CAMERA_ERROR: return "kqPTP_CAMERA_ERROR";
    default: return "";
    }
}

const char* PropertyName(std::uint16_t code) {
    switch (code) {
    case 0xD006: return "ImageQuality";
    case 0xD008: return "ExposureMode";
    case 0xD00A: return "MeteringMode";
    case 0xD00C: return "WhiteBalance";
    case 0xD010: return "FlashMode";
    case 0xD013: return "FocusMode";
    case 0xD017: return "Contrast";
    case 0xD019: return "Sharpness";
    case 0xD01C: return "IsoSpeed";
    case 0xD01D: return "Aperture";
    case 0xD01E: return "ShutterSpeed";
    case 0xD01F: return "ExposureCompensation";
    case 0xD020: return "FlashCompensation";
    case 0xD02A: return "Zoom";
    case 0xD03D: return "ZoomMaximum";
    default: return "";
    }
}

const char* OperationName(std::uint16_t code) {
    // The operation codes the library lists are vendor operations (0x9000
    // to 0x9FFF) with no standard names.
    return code >= 0x9000 && code <= 0x9FFF ? "vendor operation" : "";
}

const char* FormatName(std::uint16_t code) {
    switch (code) {
    case 0x3000: return "Undefined";
    case 0x3001: return "Association";
    case 0x3801: return "EXIF/JPEG";
    case 0x3808: return "JFIF";
    default: return "";
    }
}

const char* DataTypeName(std::uint16_t dataType) {
    switch (dataType) {
    case 0x0000: return "UNDEFINED";
    case 0x0001: return "INT8";
    case 0x0002: return "UINT8";
    case 0x0003: return "INT16";
    case 0x0004: return "UINT16";
    case 0x0005: return "INT32";
    case 0x0006: return "UINT32";
    case 0x0007: return "INT64";
    case 0x0008: return "UINT64";
    default: return "";
    }
}

}  // namespace kqcam
