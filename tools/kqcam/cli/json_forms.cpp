#include "json_forms.h"

#include "names.h"
#include "output.h"
#include "property_names.h"

namespace kqcam {

namespace {

using nlohmann::json;

bool IsSignedType(std::uint16_t dataType) {
    return dataType == 0x0001 || dataType == 0x0003 || dataType == 0x0005 || dataType == 0x0007;
}

// The value as a JSON number: signed types as signed numbers.
json NumberOf(const PropDesc& desc, std::uint64_t value) {
    if (IsSignedType(desc.dataType) && desc.width < 8) {
        const std::uint64_t sign = std::uint64_t{1} << (8 * desc.width - 1);
        if (value & sign) return static_cast<std::int64_t>(value | ~((sign << 1) - 1));
        return static_cast<std::int64_t>(value);
    }
    if (IsSignedType(desc.dataType)) return static_cast<std::int64_t>(value);
    return value;
}

json CodeListJson(const std::vector<std::uint16_t>& codes, const char* (*name)(std::uint16_t)) {
    json list = json::array();
    for (std::uint16_t code : codes) list.push_back(CodeJson(code, name(code)));
    return list;
}

}  // namespace

std::string LabelFor(const PropDesc& desc, std::uint64_t value) {
    const std::string label = ValueLabel(desc.code, value);
    return label.empty() ? ValueText(value, desc) : label;
}

json CodeJson(std::uint16_t code, const char* name) {
    return json{{"code", Hex(code, 2)}, {"code_dec", code}, {"name", name}};
}

json ValueJson(const PropDesc& desc, std::uint64_t value) {
    return json{{"value", NumberOf(desc, value)}, {"hex", Hex(value, desc.width)}, {"label", LabelFor(desc, value)}};
}

json PropDescJson(const PropDesc& desc) {
    json out = CodeJson(desc.code, PropertyName(desc.code));
    out["type"] = DataTypeName(desc.dataType);
    out["type_code"] = Hex(desc.dataType, 2);
    out["readonly"] = !desc.settable;
    out["default"] = ValueJson(desc, desc.defaultValue);
    out["current"] = ValueJson(desc, desc.currentValue);
    switch (desc.form) {
    case PropForm::kRange:
        out["form"] = "range";
        out["minimum"] = ValueJson(desc, desc.minimum);
        out["maximum"] = ValueJson(desc, desc.maximum);
        out["step"] = ValueJson(desc, desc.step);
        break;
    case PropForm::kEnumeration: {
        out["form"] = "enumeration";
        json choices = json::array();
        for (std::size_t i = 0; i < desc.choices.size(); ++i) {
            json choice = ValueJson(desc, desc.choices[i]);
            choice["index"] = i;
            choices.push_back(choice);
        }
        out["choices"] = choices;
        break;
    }
    case PropForm::kNone: out["form"] = "none"; break;
    }
    return out;
}

json EventJson(const KQEventRecord& record) {
    json out = CodeJson(record.eventCode, EventName(record.eventCode));
    out["params"] = json::array({record.param1, record.param2, record.param3});
    return out;
}

json SummaryJson(const std::string& model, std::uint32_t handle, const DeviceInfo& info) {
    return json{{"model", model},
                {"handle", Hex(handle, 4)},
                {"manufacturer", info.manufacturer},
                {"device_model", info.model},
                {"device_version", info.deviceVersion},
                {"serial_number", info.serialNumber},
                {"standard_version", info.standardVersion},
                {"vendor_extension_id", Hex(info.vendorExtensionId, 4)},
                {"vendor_extension_version", info.vendorExtensionVersion},
                {"vendor_extension_desc", info.vendorExtensionDesc},
                {"functional_mode", info.functionalMode},
                {"operations", CodeListJson(info.operations, OperationName)},
                {"events", CodeListJson(info.events, EventName)},
                {"properties", CodeListJson(info.properties, PropertyName)},
                {"capture_formats", CodeListJson(info.captureFormats, FormatName)},
                {"image_formats", CodeListJson(info.imageFormats, FormatName)}};
}

}  // namespace kqcam
