#include "datasets.h"

#include <cstdio>

namespace kqcam {

void ByteReader::Need(std::size_t bytes, const char* field) const {
    if (bytes > size_ - pos_) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "dataset ends inside field %s (needs %u bytes at offset %u, size %u)", field,
                      static_cast<unsigned>(bytes), static_cast<unsigned>(pos_),
                      static_cast<unsigned>(size_));
        throw DatasetError{text};
    }
}

std::uint8_t ByteReader::U8(const char* field) { return static_cast<std::uint8_t>(Value(1, field)); }

std::uint16_t ByteReader::U16(const char* field) {
    return static_cast<std::uint16_t>(Value(2, field));
}

std::uint32_t ByteReader::U32(const char* field) {
    return static_cast<std::uint32_t>(Value(4, field));
}

std::uint64_t ByteReader::Value(std::size_t width, const char* field) {
    Need(width, field);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value |= static_cast<std::uint64_t>(data_[pos_ + i]) << (8 * i);
    pos_ += width;
    return value;
}

std::string Utf16ToUtf8(const std::uint16_t* units, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else if (c < 0x800) {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            text += static_cast<char>(0xE0 | (c >> 12));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (c >> 18));
            text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

std::string ByteReader::String(const char* field) {
    const std::uint8_t count = U8(field);
    Need(static_cast<std::size_t>(count) * 2, field);
    std::vector<std::uint16_t> units;
    for (std::uint8_t i = 0; i < count; ++i) {
        const std::uint16_t c = U16(field);
        if (c != 0) units.push_back(c);  // the terminating NUL counts among the units
    }
    return Utf16ToUtf8(units.data(), units.size());
}

std::vector<std::uint16_t> ByteReader::CodeArray(const char* field) {
    const std::uint32_t count = U32(field);
    // The count is checked against the bytes left before anything is
    // allocated, so a wild count cannot exhaust memory.
    if (count > Remaining() / 2) {
        char text[160];
        std::snprintf(text, sizeof text, "%s: count %u does not fit the %u bytes left", field,
                      static_cast<unsigned>(count), static_cast<unsigned>(Remaining()));
        throw DatasetError{text};
    }
    std::vector<std::uint16_t> codes;
    codes.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) codes.push_back(U16(field));
    return codes;
}

DeviceInfo DecodeDeviceInfo(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    DeviceInfo info;
    info.standardVersion = in.U16("StandardVersion");
    info.vendorExtensionId = in.U32("VendorExtensionID");
    info.vendorExtensionVersion = in.U16("VendorExtensionVersion");
    info.vendorExtensionDesc = in.String("VendorExtensionDesc");
    info.functionalMode = in.U16("FunctionalMode");
    info.operations = in.CodeArray("OperationsSupported");
    info.events = in.CodeArray("EventsSupported");
    info.properties = in.CodeArray("DevicePropertiesSupported");
    info.captureFormats = in.CodeArray("CaptureFormats");
    info.imageFormats = in.CodeArray("ImageFormats");
    info.manufacturer = in.String("Manufacturer");
    info.model = in.String("Model");
    info.deviceVersion = in.String("DeviceVersion");
    info.serialNumber = in.String("SerialNumber");
    return info;
}

std::size_t DataTypeWidth(std::uint16_t dataType) {
    switch (dataType) {
    case 0x0000: return 8;  // undefined: the library writes eight bytes
    case 0x0001:            // INT8
    case 0x0002: return 1;  // UINT8
    case 0x0003:            // INT16
    case 0x0004: return 2;  // UINT16
    case 0x0005:            // INT32
    case 0x0006: return 4;  // UINT32
    case 0x0007:            // INT64
    case 0x0008: return 8;  // UINT64
    default: return 0;
    }
}

PropDesc DecodePropDesc(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    PropDesc desc;
    desc.code = in.U16("DevicePropertyCode");
    desc.dataType = in.U16("DataType");
    desc.width = DataTypeWidth(desc.dataType);
    if (desc.width == 0) {
        char text[96];
        std::snprintf(text, sizeof text, "data type 0x%04X is not a number type kqcam can show",
                      desc.dataType);
        throw DatasetError{text};
    }
    const std::uint8_t getSet = in.U8("GetSet");
    if (getSet > 1) throw DatasetError{"GetSet byte is neither 0 nor 1"};
    desc.settable = getSet == 1;
    desc.defaultValue = in.Value(desc.width, "FactoryDefaultValue");
    desc.currentValue = in.Value(desc.width, "CurrentValue");
    const std::uint8_t form = in.U8("FormFlag");
    switch (form) {
    case 0: desc.form = PropForm::kNone; break;
    case 1:
        desc.form = PropForm::kRange;
        desc.minimum = in.Value(desc.width, "MinimumValue");
        desc.maximum = in.Value(desc.width, "MaximumValue");
        desc.step = in.Value(desc.width, "StepSize");
        break;
    case 2: {
        desc.form = PropForm::kEnumeration;
        const std::uint16_t count = in.U16("NumberOfValues");
        if (count > in.Remaining() / desc.width) {
            throw DatasetError{"enumeration count does not fit the dataset"};
        }
        for (std::uint16_t i = 0; i < count; ++i) desc.choices.push_back(in.Value(desc.width, "SupportedValue"));
        break;
    }
    default: throw DatasetError{"unknown form flag " + std::to_string(form)};
    }
    return desc;
}

bool FormAllows(const PropDesc& desc, std::uint64_t value) {
    switch (desc.form) {
    case PropForm::kRange:
        if (value < desc.minimum || value > desc.maximum) return false;
        return desc.step == 0 || (value - desc.minimum) % desc.step == 0;
    case PropForm::kEnumeration:
        for (std::uint64_t choice : desc.choices) {
            if (choice == value) return true;
        }
        return false;
    case PropForm::kNone: break;
    }
    return desc.width >= 8 || value < (std::uint64_t{1} << (8 * desc.width));
}

}  // namespace kqcam
