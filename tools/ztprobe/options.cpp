#include "options.h"

namespace ztprobe {

const char kUsage[] =
    "usage: ztprobe [--json] [--no-shoot] [PATH]\n"
    "Loads the Camera SDK at PATH (default: the one beside ztprobe), drives its\n"
    "first camera directly and reports whether it meets what KQSDK relies on.\n"
    "  --json      the same facts as one JSON object\n"
    "  --no-shoot  take no picture\n"
    "Exit status: 0 it does, 1 it does not, 2 usage error, 3 no camera.\n";

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--json") {
            line.json = true;
        } else if (!optionsEnded && arg == "--no-shoot") {
            line.shoot = false;
        } else if (!optionsEnded && (arg == "-h" || arg == "--help")) {
            line.help = true;
        } else if (!optionsEnded && !arg.empty() && arg[0] == '-') {
            line.error = "unknown option " + arg;
        } else if (arg.empty() || !line.path.empty()) {
            line.error = arg.empty() ? "empty path" : "more than one path";
        } else {
            line.path = arg;
        }
        if (!line.error.empty()) break;
    }
    return line;
}

}  // namespace ztprobe
