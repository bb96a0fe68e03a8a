#include "output.h"

#include <cmath>
#include <vector>

#include "json_forms.h"

#include "names.h"
#include "property_names.h"

namespace kqcam {

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string Hex(std::uint64_t value, std::size_t width) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", static_cast<int>(width * 2),
                  static_cast<unsigned long long>(value));
    return text;
}

namespace {

bool IsSigned(std::uint16_t dataType) {
    return dataType == 0x0001 || dataType == 0x0003 || dataType == 0x0005 || dataType == 0x0007;
}

std::string Decimal(std::uint64_t value, const PropDesc& desc) {
    char text[24];
    if (IsSigned(desc.dataType) && desc.width < 8) {
        const std::uint64_t sign = std::uint64_t{1} << (8 * desc.width - 1);
        const long long v = static_cast<long long>(value ^ sign) - static_cast<long long>(sign);
        std::snprintf(text, sizeof text, "%lld", v);
    } else if (IsSigned(desc.dataType)) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    } else {
        std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
    }
    return text;
}

void PrintCodeList(std::FILE* to, const char* title, const std::vector<std::uint16_t>& codes,
                   const char* (*name)(std::uint16_t)) {
    std::fprintf(to, "%s (%u):\n", title, static_cast<unsigned>(codes.size()));
    for (std::uint16_t code : codes) {
        const char* label = name(code);
        std::fprintf(to, "  0x%04X%s%s\n", code, label[0] != '\0' ? "  " : "", label);
    }
}

const char* FormName(PropForm form) {
    switch (form) {
    case PropForm::kRange: return "range";
    case PropForm::kEnumeration: return "enumeration";
    case PropForm::kNone: break;
    }
    return "none";
}

}  // namespace

std::string ValueText(std::uint64_t value, const PropDesc& desc) {
    const std::string label = ValueLabel(desc.code, value);
    return Hex(value, desc.width) + " (" + Decimal(value, desc) + ")" +
           (label.empty() ? "" : " " + label);
}

void PrintDeviceHeader(const Output& out) {
    if (out.json) return;
    std::fprintf(out.data, "%-34s %s\n", "Model", "Handle");
    std::fprintf(out.data, "%s\n", std::string(45, '-').c_str());
}

void PrintDevice(const Output& out, const std::string& model, std::uint32_t handle) {
    if (out.json) {
        std::fprintf(out.data, "{\"model\":%s,\"handle\":%s}\n", JsonString(model).c_str(),
                     JsonString(Hex(handle, 4)).c_str());
    } else {
        std::fprintf(out.data, "%-34s %s\n", model.c_str(), Hex(handle, 4).c_str());
    }
}

void PrintSummary(const Output& out, const std::string& model, std::uint32_t handle,
                  const DeviceInfo& info) {
    std::FILE* to = out.data;
    if (out.json) {
        std::fprintf(to, "%s\n", SummaryJson(model, handle, info).dump().c_str());
        return;
    }
    std::fprintf(to, "Camera summary:\n");
    std::fprintf(to, "Model: %s\n", model.c_str());
    std::fprintf(to, "Handle: %s\n", Hex(handle, 4).c_str());
    // An empty text is one the camera did not fill in.
    auto reported = [](const std::string& text) { return text.empty() ? "not reported" : text.c_str(); };
    std::fprintf(to, "Manufacturer: %s\n", reported(info.manufacturer));
    std::fprintf(to, "Device model: %s\n", reported(info.model));
    std::fprintf(to, "Device version: %s\n", reported(info.deviceVersion));
    std::fprintf(to, "Serial number: %s\n", reported(info.serialNumber));
    std::fprintf(to, "Standard version: %u\n", info.standardVersion);
    std::fprintf(to, "Vendor extension: %s version %u \"%s\"\n",
                 Hex(info.vendorExtensionId, 4).c_str(), info.vendorExtensionVersion,
                 info.vendorExtensionDesc.c_str());
    std::fprintf(to, "Functional mode: %s\n", Hex(info.functionalMode, 2).c_str());
    PrintCodeList(to, "Operations supported", info.operations, OperationName);
    PrintCodeList(to, "Events supported", info.events, EventName);
    PrintCodeList(to, "Device properties supported", info.properties, PropertyName);
    PrintCodeList(to, "Capture formats", info.captureFormats, FormatName);
    PrintCodeList(to, "Image formats", info.imageFormats, FormatName);
}

void PrintPropDesc(const Output& out, const PropDesc& desc) {
    std::FILE* to = out.data;
    if (out.json) {
        std::fprintf(to, "%s\n", PropDescJson(desc).dump().c_str());
        return;
    }
    std::fprintf(to, "Property: %s\n", Hex(desc.code, 2).c_str());
    std::fprintf(to, "Label: %s\n", PropertyName(desc.code));
    std::fprintf(to, "Type: %s %s\n", DataTypeName(desc.dataType), Hex(desc.dataType, 2).c_str());
    std::fprintf(to, "Readonly: %d\n", desc.settable ? 0 : 1);
    std::fprintf(to, "Default: %s\n", ValueText(desc.defaultValue, desc).c_str());
    std::fprintf(to, "Current: %s\n", ValueText(desc.currentValue, desc).c_str());
    std::fprintf(to, "Form: %s\n", FormName(desc.form));
    if (desc.form == PropForm::kRange) {
        std::fprintf(to, "Minimum: %s\n", ValueText(desc.minimum, desc).c_str());
        std::fprintf(to, "Maximum: %s\n", ValueText(desc.maximum, desc).c_str());
        std::fprintf(to, "Step: %s\n", ValueText(desc.step, desc).c_str());
    } else if (desc.form == PropForm::kEnumeration) {
        std::fprintf(to, "Choices: %u\n", static_cast<unsigned>(desc.choices.size()));
        for (std::size_t i = 0; i < desc.choices.size(); ++i) {
            std::fprintf(to, "Choice: %u %s\n", static_cast<unsigned>(i),
                         ValueText(desc.choices[i], desc).c_str());
        }
    }
    std::fprintf(to, "END\n\n");
}

void PrintEvent(const Output& out, const KQEventRecord& record, double seconds) {
    const char* name = EventName(record.eventCode);
    if (out.json) {
        nlohmann::json line = EventJson(record);
        line["time"] = std::round(seconds * 1000.0) / 1000.0;
        std::fprintf(out.data, "%s\n", line.dump().c_str());
    } else {
        std::fprintf(out.data, "EVENT 0x%04X %s params 0x%08X 0x%08X 0x%08X at %.3f s\n",
                     record.eventCode, name[0] != '\0' ? name : "unknown",
                     static_cast<unsigned>(record.param1), static_cast<unsigned>(record.param2),
                     static_cast<unsigned>(record.param3), seconds);
    }
    std::fflush(out.data);
}

}  // namespace kqcam
