// --auto-detect, --summary, --list-config, --get-config, --set-config,
// --set-config-index and --zoom.
#include <cstdio>

#include "errors.h"
#include "json_forms.h"
#include "names.h"
#include "property_names.h"
#include "session.h"

namespace kqcam {

namespace {

constexpr std::uint16_t kZoomCode = 0xD02A;
constexpr std::uint16_t kZoomMaximumCode = 0xD03D;

std::string CodeText(std::uint16_t code) {
    std::string text = Hex(code, 2);
    const char* name = PropertyName(code);
    if (name[0] != '\0') text += std::string(" (") + name + ")";
    return text;
}

// Why a descriptor shows that the camera failed to report the property's
// values, or an empty string. The library answers such a failure with an
// empty list of choices or an empty range (0 to 0 in steps of 0), which is
// never what a working camera offers for a settable property.
std::string CameraProblem(Camera& camera, const PropDesc& desc) {
    if (desc.form == PropForm::kEnumeration && desc.choices.empty()) {
        return "the camera reported no choices for " + CodeText(desc.code);
    }
    if (desc.form == PropForm::kRange &&
        (desc.maximum < desc.minimum || (desc.maximum == desc.minimum && desc.step == 0))) {
        return "the camera reported an empty range (" + ValueText(desc.minimum, desc) + " to " +
               ValueText(desc.maximum, desc) + ") for " + CodeText(desc.code);
    }
    // A zoom range of one position is what the library gives when the
    // camera's maximum zoom could not be read; ZoomMaximum then holds the
    // library's marker for that failure, 0x00FF.
    if (desc.code == kZoomCode && desc.form == PropForm::kRange && desc.maximum == desc.minimum &&
        camera.GetPropDesc(kZoomMaximumCode).currentValue == 0x00FF) {
        return "the camera did not report its zoom range (ZoomMaximum reads 0x00FF)";
    }
    return std::string();
}

const char kCameraProblemHint[] =
    ": the camera or the library failed to read it (the library's log tells more, --debug)";

// The descriptor of a property the camera offers; a code the library only
// answers with the undefined data type is refused, and so is a descriptor
// the camera failed to fill.
PropDesc OfferedDesc(Camera& camera, std::uint16_t code) {
    PropDesc desc = camera.GetPropDesc(code);
    if (desc.dataType == 0x0000) {
        OperationFailed("property " + Hex(code, 2) +
                        " is not offered by the camera (KQ_GetDevicePropDesc gives data type "
                        "0x0000, undefined)");
    }
    const std::string problem = CameraProblem(camera, desc);
    if (!problem.empty()) OperationFailed(problem + kCameraProblemHint);
    return desc;
}

// Whether the camera takes the value. What is valid depends on the camera,
// so a value it does not allow is an operation failure (exit 1), not a
// command-line mistake.
void CheckValueFits(const PropDesc& desc, std::uint64_t value, const char* option) {
    const std::string name = CodeText(desc.code);
    if (!desc.settable) OperationFailed(std::string(option) + ": " + name + " is read-only");
    if (desc.width < 8 && value >= (std::uint64_t{1} << (8 * desc.width))) {
        OperationFailed(std::string(option) + ": " + Hex(value, 1) + " does not fit the " +
                   DataTypeName(desc.dataType) + " value of " + name);
    }
    if (FormAllows(desc, value)) return;
    std::string allowed;
    if (desc.form == PropForm::kRange) {
        allowed = "from " + ValueText(desc.minimum, desc) + " to " + ValueText(desc.maximum, desc) +
                  " in steps of " + ValueText(desc.step, desc);
    } else if (desc.choices.empty()) {
        allowed = "none: the camera offers no value";
    } else {
        allowed = "one of";
        for (std::uint64_t choice : desc.choices) allowed += " " + Hex(choice, desc.width);
    }
    OperationFailed(std::string(option) + ": " + ValueText(value, desc) + " is not allowed for " +
               name + "; allowed: " + allowed);
}

void SetAndReport(Session& session, const PropDesc& desc, std::uint64_t value) {
    Camera& camera = session.Connected();
    camera.SetValue(desc.code, value, desc.width);
    const std::uint64_t now = camera.GetValue(desc.code, desc.width);
    if (session.out.json) {
        nlohmann::json line = CodeJson(desc.code, PropertyName(desc.code));
        line["set"] = ValueJson(desc, value);
        line["current"] = ValueJson(desc, now);
        std::fprintf(session.out.data, "%s\n", line.dump().c_str());
    } else {
        std::fprintf(session.out.data, "Set %s to %s; current value %s\n", CodeText(desc.code).c_str(),
                     ValueText(value, desc).c_str(), ValueText(now, desc).c_str());
    }
    if (now != value) {
        std::fprintf(stderr, "kqcam: warning: %s reads back %s after being set to %s\n",
                     CodeText(desc.code).c_str(), ValueText(now, desc).c_str(),
                     ValueText(value, desc).c_str());
    }
}

// The value a label stands for (--set-config NAME=LABEL); the message of a
// label that is none lists those of the values the camera offers.
std::uint64_t LabelledValue(const PropDesc& desc, const std::string& text) {
    std::uint64_t value = 0;
    if (ParseValueLabel(desc.code, text, &value)) return value;
    std::vector<std::string> labels;
    if (desc.form == PropForm::kEnumeration) {
        for (std::uint64_t choice : desc.choices) {
            const std::string label = ValueLabel(desc.code, choice);
            if (!label.empty()) labels.push_back(label);
        }
    }
    if (labels.empty()) labels = AllValueLabels(desc.code);
    std::string known;
    for (const std::string& label : labels) known += (known.empty() ? "" : ", ") + label;
    OperationFailed("--set-config: \"" + text + "\" is no value of " + ShortPropertyName(desc.code) +
                    " (" + known + "; or a raw value in hex 0x..)");
}

}  // namespace

void RunAutoDetect(Session& session) {
    PrintDeviceHeader(session.out);
    for (const Device& device : session.library.Devices()) {
        PrintDevice(session.out, device.model, device.handle);
    }
}

void RunSummary(Session& session) {
    Camera& camera = session.Connected();
    PrintSummary(session.out, camera.Model(), camera.Handle(), camera.GetDeviceInfo());
}

void RunListConfig(Session& session) {
    Camera& camera = session.Connected();
    unsigned failed = 0;
    for (std::uint16_t code : camera.GetDeviceInfo().properties) {
        const PropDesc desc = camera.GetPropDesc(code);
        const std::string problem = CameraProblem(camera, desc);
        if (!problem.empty()) {
            std::fprintf(stderr, "kqcam: %s%s\n", problem.c_str(), kCameraProblemHint);
            ++failed;
            continue;
        }
        PrintPropDesc(session.out, desc);
    }
    if (failed > 0) {
        std::fflush(session.out.data);
        OperationFailed("the camera failed to describe " + std::to_string(failed) +
                        (failed == 1 ? " property" : " properties"));
    }
}

void RunGetConfig(Session& session, std::uint16_t code) {
    PrintPropDesc(session.out, OfferedDesc(session.Connected(), code));
}

void RunSetConfig(Session& session, const Action& action) {
    const PropDesc desc = OfferedDesc(session.Connected(), action.code);
    std::uint64_t value = action.byLabel ? LabelledValue(desc, action.text) : action.value;
    const char* option = "--set-config";
    if (action.kind == Action::kSetConfigIndex) {
        option = "--set-config-index";
        if (desc.form != PropForm::kEnumeration) {
            OperationFailed(std::string(option) + ": " + CodeText(desc.code) +
                            " has no list of choices; use --set-config");
        }
        if (action.value >= desc.choices.size()) {
            const std::string range =
                desc.choices.empty() ? std::string("no choices")
                                     : "choices 0 to " + std::to_string(desc.choices.size() - 1);
            OperationFailed(std::string(option) + ": " + CodeText(desc.code) + " has " + range +
                            ", not " + std::to_string(action.value));
        }
        value = desc.choices[static_cast<std::size_t>(action.value)];
    }
    CheckValueFits(desc, value, option);
    SetAndReport(session, desc, value);
}

void RunZoom(Session& session, std::uint64_t position) {
    const PropDesc desc = OfferedDesc(session.Connected(), kZoomCode);
    CheckValueFits(desc, position, "--zoom");
    SetAndReport(session, desc, position);
}

}  // namespace kqcam
