// The one JSON vocabulary of kqcam, shared by the command line's --json
// lines and the web server's API, so that a script reads both alike:
//
//   a code         {"code": "0xD01C", "code_dec": 53276, "name": "IsoSpeed"}
//   a value        {"value": 88, "hex": "0x0058", "label": "ISO 400"}
//                  (`value` signed for signed types; `label` the decoded
//                  label, or the raw value "0x02 (2)" when its meaning is
//                  not known)
//   a descriptor   a code with "type", "type_code", "readonly", "default",
//                  "current", "form" and "choices" (values with "index") or
//                  "minimum", "maximum", "step"
//   an event       a code with "params": [p1, p2, p3]
#ifndef KQCAM_JSON_FORMS_H
#define KQCAM_JSON_FORMS_H

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "datasets.h"
#include "kqsdk.h"

namespace kqcam {

// The text shown for a property value: its decoded label ("ISO 400",
// "1/125") where its meaning is known, else the raw value ("0x02 (2)").
std::string LabelFor(const PropDesc& desc, std::uint64_t value);

nlohmann::json CodeJson(std::uint16_t code, const char* name);
nlohmann::json ValueJson(const PropDesc& desc, std::uint64_t value);
nlohmann::json PropDescJson(const PropDesc& desc);
nlohmann::json EventJson(const KQEventRecord& record);
// The camera summary: model, handle and the DeviceInfo's fields, code lists
// as lists of codes.
nlohmann::json SummaryJson(const std::string& model, std::uint32_t handle, const DeviceInfo& info);

}  // namespace kqcam

#endif  // KQCAM_JSON_FORMS_H
