#include "options.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errors.h"
#include "filename.h"
#include "platform.h"
#include "property_names.h"

namespace kqcam {

namespace {

// The value of an option written "--name=value" or "--name value".
class ArgReader {
public:
    ArgReader(int argc, char** argv) : argc_(argc), argv_(argv) {}
    bool Next() {
        if (++index_ >= argc_) return false;
        const std::string arg = argv_[index_];
        const std::size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name_ = arg.substr(0, eq);
            inline_ = true;
            inlineValue_ = arg.substr(eq + 1);
        } else if (arg.size() > 2 && arg[0] == '-' && arg[1] != '-') {
            // A short option with its value attached: -F3, -I10.
            name_ = arg.substr(0, 2);
            inline_ = true;
            inlineValue_ = arg.substr(2);
        } else {
            name_ = arg;
            inline_ = false;
        }
        return true;
    }
    const std::string& Name() const { return name_; }
    std::string Required() {
        if (inline_) return inlineValue_;
        if (index_ + 1 >= argc_) UsageError(name_ + " needs a value (see --help)");
        return argv_[++index_];
    }
    // Takes the next argument only if `accept` likes it.
    template <typename Accept>
    bool Optional(Accept accept, std::string* value) {
        if (inline_) {
            *value = inlineValue_;
            return true;
        }
        if (index_ + 1 < argc_ && accept(argv_[index_ + 1])) {
            *value = argv_[++index_];
            return true;
        }
        return false;
    }
    void NoValue() const {
        if (inline_) UsageError(name_ + " takes no value");
    }

private:
    int argc_;
    char** argv_;
    int index_ = 0;
    std::string name_;
    bool inline_ = false;
    std::string inlineValue_;
};

void SplitAssignment(const std::string& text, const char* option, std::uint16_t* code,
                     std::string* value, bool* byName) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos) UsageError(std::string(option) + " wants CODE=VALUE, got \"" + text + "\"");
    *code = ParsePropertyCode(text.substr(0, eq), option, byName);
    *value = text.substr(eq + 1);
}

std::string Hex4(std::uint16_t code) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", code);
    return text;
}

// The value of --set-config. A property given by its code takes raw values
// only, exactly as written. One given by name takes the photographer's form
// where its values have labels ("iso=400", "shutterspeed=1/125"): the text
// is kept in the action and looked up once the camera is there, since
// which values are valid is the camera's matter; a raw value is then
// written in hex. --set-config-value takes labels only.
void SetConfigValue(Action* action, bool byName, const std::string& text, const char* option) {
    const std::uint16_t code = action->code;
    const bool labelsOnly = std::string(option) == "--set-config-value";
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (labelsOnly && !HasValueLabels(code)) {
        UsageError(std::string(option) + ": the values of " + Hex4(code) +
                   " have no labels; give a raw value with --set-config");
    }
    if (byName && HasValueLabels(code) && (labelsOnly || !hex)) {
        if (text.empty()) UsageError(std::string(option) + ": no value after \"=\"");
        action->byLabel = true;
        action->text = text;
        return;
    }
    if (!ParseUnsigned(text, &action->value)) {
        UsageError(std::string(option) + ": \"" + text + "\" is not a raw value (0x.. or decimal)");
    }
}

Limit LimitOf(const std::string& text, const char* option) {
    Limit limit;
    if (!ParseLimit(text, &limit)) {
        UsageError(std::string(option) + ": \"" + text + "\" is not N (above 0), Ns or Nms");
    }
    return limit;
}

bool HasAction(const Options& options, Action::Kind kind) {
    for (const Action& action : options.actions) {
        if (action.kind == kind) return true;
    }
    return false;
}

void CheckCombinations(const Options& options) {
    const bool capture = HasAction(options, Action::kCaptureImage);
    if (!capture && (options.interval >= 0 || options.frames != 0)) {
        UsageError("--interval and --frames go with --capture-image-and-download");
    }
    if ((options.serveCountdown > 0 || options.serveControl) && !HasAction(options, Action::kServe)) {
        UsageError("--serve-countdown and --serve-control go with --serve");
    }
    if (options.skipExisting && options.forceOverwrite) {
        UsageError("--skip-existing and --force-overwrite exclude each other");
    }
    if (options.resetInterval && options.interval < 0) UsageError("--reset-interval goes with --interval");
    if (options.toStdout && !HasAction(options, Action::kCaptureMovie)) {
        UsageError("--stdout goes with --capture-movie");
    }
    if (options.toStdout && options.filenameGiven) {
        UsageError("--stdout and --filename exclude each other");
    }
    // A pattern without %n may name several pictures: a taken name is passed
    // over with -1, -2 before its suffix, as for any other pattern.
    if (options.filenameGiven) ValidatePattern(options.filename);
}

}  // namespace

bool ParseUnsigned(const std::string& text, std::uint64_t* value) {
    if (text.empty() || text.size() > 20) return false;
    int base = 10;
    std::size_t start = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        start = 2;
    }
    std::uint64_t result = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else return false;
        if (result > (UINT64_MAX - digit) / static_cast<unsigned>(base)) return false;
        result = result * static_cast<unsigned>(base) + digit;
    }
    *value = result;
    return true;
}

std::uint16_t ParsePropertyCode(const std::string& text, const char* option, bool* byName) {
    std::uint64_t value = 0;
    if (byName != nullptr) *byName = false;
    if (!ParseUnsigned(text, &value)) {
        // A configuration path ("/main/imgsettings/iso") is named by its
        // last part.
        const std::size_t slash = text.find_last_of('/');
        const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
        std::uint16_t code = 0;
        if (PropertyCodeForName(name, &code)) {
            if (byName != nullptr) *byName = true;
            return code;
        }
        UsageError(std::string(option) + ": \"" + text +
                   "\" is not a property code (0xD01C or 53276) or name (iso, shutterspeed, "
                   "aperture, ...; see --help)");
    }
    if (value > 0xFFFF) UsageError(std::string(option) + ": property code " + text + " is above 0xFFFF");
    return static_cast<std::uint16_t>(value);
}

bool ParseLimit(const std::string& text, Limit* limit) {
    if (text.empty()) return false;
    std::size_t digits = 0;
    while (digits < text.size() && ((text[digits] >= '0' && text[digits] <= '9') || text[digits] == '.')) {
        ++digits;
    }
    if (digits == 0) return false;
    const std::string number = text.substr(0, digits);
    const std::string unit = text.substr(digits);
    if (unit.empty()) {
        std::uint64_t count = 0;
        // A count of zero is refused: nobody means a movie of no frames.
        if (!ParseUnsigned(number, &count) || count == 0) return false;
        limit->kind = Limit::kCount;
        limit->count = count;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const double amount = std::strtod(number.c_str(), &end);
    if (errno != 0 || end != number.c_str() + number.size() || !(amount > 0) || amount > 1e7) return false;
    if (unit == "s") {
        limit->seconds = amount;
    } else if (unit == "ms") {
        limit->seconds = amount / 1000.0;
    } else {
        return false;
    }
    limit->kind = Limit::kSeconds;
    return true;
}

bool ParseTetheredLimit(const std::string& text, Limit* limit) {
    if (text.size() > 1 && text.back() == 'f') {
        std::uint64_t count = 0;
        if (!ParseUnsigned(text.substr(0, text.size() - 1), &count) || count == 0) return false;
        limit->kind = Limit::kFiles;
        limit->count = count;
        return true;
    }
    return ParseLimit(text, limit);
}

bool ParseListenAddress(const std::string& text, ListenAddress* address) {
    std::string host;
    std::string port;
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') return false;
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string::npos || text.find(':') != colon) return false;
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.empty()) host = "127.0.0.1";
    }
    std::uint64_t number = 0;
    if (host.empty() || port.empty() || port.size() > 5 || !ParseUnsigned(port, &number) || number > 65535 ||
        port.compare(0, 2, "0x") == 0) {
        return false;
    }
    for (char c : host) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':')) return false;
    }
    address->host = host;
    address->port = static_cast<int>(number);
    return true;
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    ArgReader args(argc, argv);
    // What starts with a digit is meant as the value, and a wrong one ("0")
    // gets its own message rather than "unknown option".
    auto isLimit = [](const char* text) { return (text[0] >= '0' && text[0] <= '9') || text[0] == '.'; };
    while (args.Next()) {
        const std::string& name = args.Name();
        Action action{Action::kAutoDetect};
        if (name == "-h" || name == "--help") {
            args.NoValue();
            options.help = true;
        } else if (name == "--version") {
            args.NoValue();
            options.version = true;
        } else if (name == "--json") {
            args.NoValue();
            options.json = true;
        } else if (name == "--debug") {
            args.NoValue();
            options.debug = true;
        } else if (name == "--force-overwrite") {
            args.NoValue();
            options.forceOverwrite = true;
        } else if (name == "--skip-existing") {
            args.NoValue();
            options.skipExisting = true;
        } else if (name == "-q" || name == "--quiet") {
            args.NoValue();
            options.quiet = true;
        } else if (name == "--reset-interval") {
            args.NoValue();
            options.resetInterval = true;
        } else if (name == "--stdout") {
            args.NoValue();
            options.toStdout = true;
        } else if (name == "--filename") {
            options.filename = args.Required();
            options.filenameGiven = true;
        } else if (name == "--hook-script") {
            options.hookScript = args.Required();
            if (options.hookScript.empty()) UsageError("--hook-script: empty path");
        } else if (name == "-F" || name == "--frames") {
            const std::string text = args.Required();
            if (!ParseUnsigned(text, &options.frames) || options.frames == 0 || options.frames > 1000000) {
                UsageError(name + ": \"" + text + "\" is not a number from 1 to 1000000");
            }
        } else if (name == "-I" || name == "--interval") {
            const std::string text = args.Required();
            if (text == "-1") {
                // Pictures on demand: each waits for SIGUSR1, which only
                // POSIX systems have.
                if (!kHasUserSignal) UsageError(name + " -1 needs SIGUSR1, which this system does not have");
                options.shootOnSignal = true;
                options.interval = 0;
            } else {
                char* end = nullptr;
                const double seconds = std::strtod(text.c_str(), &end);
                if (text.empty() || end != text.c_str() + text.size() || !(seconds >= 0) || seconds > 1e6) {
                    UsageError(name + ": \"" + text + "\" is not a number of seconds (or -1)");
                }
                options.interval = seconds;
            }
        } else if (name == "--auto-detect") {
            args.NoValue();
            options.actions.push_back(Action{Action::kAutoDetect});
        } else if (name == "--summary") {
            args.NoValue();
            options.actions.push_back(Action{Action::kSummary});
        } else if (name == "--list-config") {
            args.NoValue();
            options.actions.push_back(Action{Action::kListConfig});
        } else if (name == "--get-config") {
            action.kind = Action::kGetConfig;
            action.code = ParsePropertyCode(args.Required(), "--get-config");
            options.actions.push_back(action);
        } else if (name == "--set-config" || name == "--set-config-index" ||
                   name == "--set-config-value") {
            const bool byIndex = name == "--set-config-index";
            std::string value;
            bool byName = false;
            SplitAssignment(args.Required(), name.c_str(), &action.code, &value, &byName);
            if (name == "--set-config-value") {
                // Labels only, whether the property is named or given by code.
                SetConfigValue(&action, true, value, name.c_str());
            } else if (!byIndex) {
                SetConfigValue(&action, byName, value, name.c_str());
            } else if (!ParseUnsigned(value, &action.value)) {
                UsageError(name + ": \"" + value + "\" is not a choice index");
            }
            action.kind = byIndex ? Action::kSetConfigIndex : Action::kSetConfig;
            options.actions.push_back(action);
        } else if (name == "--zoom") {
            const std::string text = args.Required();
            if (!ParseUnsigned(text, &action.value) || action.value > 14) {
                UsageError("--zoom: \"" + text + "\" is not a position from 0 to 14");
            }
            action.kind = Action::kZoom;
            options.actions.push_back(action);
        } else if (name == "--capture-image-and-download") {
            args.NoValue();
            options.actions.push_back(Action{Action::kCaptureImage});
        } else if (name == "--capture-preview") {
            args.NoValue();
            options.actions.push_back(Action{Action::kCapturePreview});
        } else if (name == "--capture-tethered" || name == "--wait-event-and-download") {
            std::string text;
            if (args.Optional(isLimit, &text) && !ParseTetheredLimit(text, &action.limit)) {
                UsageError(name + ": \"" + text + "\" is not N, Ns, Nms or Nf");
            }
            action.kind = Action::kCaptureTethered;
            options.actions.push_back(action);
        } else if (name == "--wait-event") {
            std::string text;
            if (args.Optional(isLimit, &text) && !ParseTetheredLimit(text, &action.limit)) {
                UsageError(name + ": \"" + text + "\" is not N, Ns, Nms or Nf");
            }
            action.kind = Action::kWaitEvent;
            options.actions.push_back(action);
        } else if (name == "--capture-movie") {
            std::string text;
            if (args.Optional(isLimit, &text)) action.limit = LimitOf(text, name.c_str());
            action.kind = Action::kCaptureMovie;
            options.actions.push_back(action);
        } else if (name == "--serve-countdown") {
            const std::string text = args.Required();
            std::uint64_t seconds = 0;
            if (!ParseUnsigned(text, &seconds) || seconds > 10) {
                UsageError(name + ": \"" + text + "\" is not a number of seconds from 0 to 10");
            }
            options.serveCountdown = static_cast<int>(seconds);
        } else if (name == "--serve-control") {
            args.NoValue();
            options.serveControl = true;
        } else if (name == "--serve") {
            // Only "--serve=ADDR:PORT": a following argument is never taken.
            std::string text;
            if (args.Optional([](const char*) { return false; }, &text)) {
                ListenAddress address;
                if (!ParseListenAddress(text, &address)) {
                    UsageError("--serve: \"" + text + "\" is not ADDR:PORT (127.0.0.1:8080, 0.0.0.0:8080, [::1]:8080)");
                }
            }
            action.kind = Action::kServe;
            action.text = text;
            options.actions.push_back(action);
        } else {
            UsageError("unknown option \"" + name + "\" (see --help)");
        }
    }
    if (options.help || options.version) return options;
    if (options.actions.empty()) UsageError("nothing to do; give an action (see --help)");
    CheckCombinations(options);
    return options;
}

}  // namespace kqcam
