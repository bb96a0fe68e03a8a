#include "options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errors.h"
#include "filename.h"
#include "platform.h"
#include "property_names.h"
#include "serve.h"

namespace kqcam {

namespace {

const char kHelp[] =
    "Usage: kqcam [OPTION...]\n"
    "Drives a camera through the KQSDK library. Actions run in the order given;\n"
    "each of them connects to the first camera the library lists.\n"
    "\n"
    "Camera and properties (a descriptor the camera failed to fill, with no choices\n"
    "or an empty range, is an operation failure, exit 1):\n"
    "  --auto-detect               list the attached cameras (model and handle)\n"
    "  --summary                   print the camera's DeviceInfo: operations, events,\n"
    "                              device properties and formats\n"
    "  --list-config               print every device property's descriptor\n"
    "  --get-config CODE           print one property's descriptor (CODE: 0xD01C or 53276,\n"
    "                              or a name such as iso; see Property names below)\n"
    "  --set-config CODE=VALUE     set a property to a raw value (hex 0x.. or decimal),\n"
    "                              sent exactly as given; it must be one of the\n"
    "                              descriptor's choices or inside its range\n"
    "  --set-config NAME=VALUE     set a property named as below; where its values have\n"
    "                              labels, VALUE is written as a photographer does:\n"
    "                              iso=400, iso=auto, shutterspeed=1/125, shutterspeed=2s,\n"
    "                              aperture=5.6 (or f/5.6), exposurecompensation=+0.3,\n"
    "                              contrast=-1; a raw value is then written in hex (0x58)\n"
    "  --set-config-value NAME=VALUE  the same, VALUE always a label (ISO 400, 1/125)\n"
    "  --set-config-index CODE=N   set a property to its N-th choice (from 0, as listed);\n"
    "                              CODE may be a name\n"
    "  --zoom N                    move the zoom to position N (0 to 14)\n"
    "\n"
    "Capture:\n"
    "  --capture-image-and-download  take a picture and download it\n"
    "  --filename PATTERN          name of the files written. Codes: %n file counter\n"
    "                              (from 1, one for every file the run writes),\n"
    "                              %03n counter with 3 digits, %C suffix from the file's\n"
    "                              data (jpg), %Y %y %m %d %H %M %S %j %a %A %b %B %I %p\n"
    "                              date and time, %% a percent sign. Defaults:\n"
    "                              capt%04n.%C, preview.jpg, movie.mjpg. (%f, the\n"
    "                              camera's own file name, is not available: the\n"
    "                              library hands over pictures without their names.)\n"
    "                              A taken name is passed over: the counter moves on,\n"
    "                              or a pattern without %n gets -1, -2 before its suffix.\n"
    "                              Files are written as NAME.part and renamed when whole.\n"
    "  --force-overwrite           replace existing files instead\n"
    "  --skip-existing             write nothing (and take no picture) for a name that\n"
    "                              exists; the counter moves on (resumes a time-lapse)\n"
    "  -F, --frames N              take N pictures\n"
    "  -I, --interval SECONDS      time-lapse: start a picture every SECONDS (0.5, 10);\n"
    "                              without --frames, until interrupted (Ctrl-C).\n"
    "                              SIGUSR1 takes the next picture at once.\n"
    "                              -I -1: each picture waits for SIGUSR1 (POSIX)\n"
    "  --reset-interval            after a picture taken on SIGUSR1, count the interval\n"
    "                              from that picture\n"
    "  --capture-tethered[=N|Ns|Nf]  save the pictures taken with the camera's own\n"
    "                              shutter button as they arrive (--filename, --hook-script\n"
    "                              apply): until N events, N seconds (also Nms), N pictures\n"
    "                              saved (Nf), or until interrupted (Ctrl-C); other events\n"
    "                              are printed as --wait-event prints them.\n"
    "                              Alias: --wait-event-and-download\n"
    "                              A picture taken with the shutter button while kqcam\n"
    "                              captures is saved too, as a file of its own (counter %n\n"
    "                              goes on), reported as taken with the shutter button\n"
    "  --hook-script PATH          run PATH with ACTION=init before the first action,\n"
    "                              ACTION=start once the camera is connected,\n"
    "                              ACTION=download after each file is saved (its path as\n"
    "                              argument and in ARGUMENT), ACTION=stop at the end;\n"
    "                              checked before anything runs (exit 2 when it\n"
    "                              cannot run)\n"
    "  A picture's file and folders are made before the shutter is released. While\n"
    "  the camera is busy, a first Ctrl-C waits for the picture, a second one (or\n"
    "  SIGTERM) stops at once; the camera session is closed either way.\n"
    "\n"
    "Live view:\n"
    "  --capture-preview           save one viewfinder frame as a JPEG file\n"
    "  --capture-movie[=N|Ns]      record viewfinder frames as an MJPEG stream: N frames,\n"
    "                              N seconds, or until interrupted. A failed write\n"
    "                              (disk full) keeps the whole frames written before;\n"
    "                              a movie without frames leaves no file\n"
    "  --stdout                    write the movie to standard output (for a player);\n"
    "                              everything else then goes to standard error\n"
    "\n"
    "Events:\n"
    "  --wait-event[=N|Ns|Nf]      print events as they arrive: N events, N seconds\n"
    "                              (also Nms), until N pictures were taken (Nf; they are\n"
    "                              not downloaded), or until interrupted\n"
    "\n"
    "Web server:\n"
    "  --serve[=ADDR:PORT]         serve live view, capture, settings and the pictures\n"
    "                              taken to a browser until interrupted (Ctrl-C);\n"
    "                              default 127.0.0.1:8080. Another address than\n"
    "                              loopback needs the token of the printed URL.\n"
    "                              Space or Enter on the page captures too\n"
    "  --serve-countdown SECONDS   count down on every page before a capture (0 to 10)\n"
    "  --serve-control             only the printed control URL may capture or change\n"
    "                              settings; the plain URL watches and sees the pictures\n"
    "\n"
    "Property names (any case; '-' and '_' are ignored; a path such as\n"
    "/main/imgsettings/iso is named by its last part):\n"
    "  iso, isospeed (0xD01C)        shutterspeed, shutter, exposuretime (0xD01E)\n"
    "  aperture, f-number (0xD01D)   exposurecompensation, exposurebias, ev (0xD01F)\n"
    "  whitebalance, wb (0xD00C)     flashcompensation (0xD020)\n"
    "  imagequality, quality (0xD006)  expprogram, exposuremode (0xD008)\n"
    "  meteringmode (0xD00A)  flashmode (0xD010)  focusmode (0xD013)  contrast (0xD017)\n"
    "  sharpness (0xD019)  zoom (0xD02A)  zoommaximum (0xD03D)\n"
    "  Values whose meaning is known (ISO, shutter speed, aperture, compensations,\n"
    "  contrast, sharpness) are shown with their label: 0x0058 (88) ISO 400.\n"
    "\n"
    "Output:\n"
    "  --json                      print data as JSON lines (one object per line);\n"
    "                              messages then go to standard error\n"
    "  -q, --quiet                 no progress or other messages; data, warnings and\n"
    "                              errors only\n"
    "  --debug                     print where the library writes its log and, at the\n"
    "                              end, the lines this run added to it\n"
    "  -h, --help                  this text\n"
    "  --version                   kqcam's version\n"
    "\n"
    "Exit status: 0 done, 1 an operation failed, 2 wrong command line,\n"
    "3 no camera found, 4 the connection to the camera failed.\n"
    "\n"
    "Examples:\n"
    "  kqcam --auto-detect\n"
    "  kqcam --summary --list-config\n"
    "  kqcam --get-config 0xD01C --json\n"
    "  kqcam --set-config 0xD01C=0x50 --set-config-index 0xD00C=1 --zoom 7\n"
    "  kqcam --capture-image-and-download --filename shot-%Y%m%d-%H%M%S-%03n.jpg\n"
    "  kqcam --capture-image-and-download --interval 10 --frames 30 --filename tl-%04n.jpg\n"
    "  kqcam --capture-image-and-download --hook-script ./on-download.sh\n"
    "  kqcam --capture-image-and-download -I 60 --reset-interval --skip-existing -q\n"
    "  kqcam --capture-preview --filename view.jpg\n"
    "  kqcam --capture-movie=5s --filename clip.mjpg\n"
    "  kqcam --capture-movie --stdout | ffplay -f mjpeg -\n"
    "  kqcam --wait-event=10s\n"
    "  kqcam --set-config iso=400 --set-config shutterspeed=1/125 --get-config aperture\n"
    "  kqcam --capture-tethered --filename studio-%04n.jpg --hook-script ./on-download.sh\n"
    "  kqcam --capture-tethered=5f --json\n"
    "  kqcam --serve --filename shots/%Y%m%d-%03n.jpg\n"
    "  kqcam --serve=0.0.0.0:8080 --serve-countdown 3 --serve-control\n";

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

const char* HelpText() { return kHelp; }

}  // namespace kqcam
