// ztprobe's command line: ztprobe [--json] [--no-shoot] [PATH]
#ifndef ZTPROBE_OPTIONS_H
#define ZTPROBE_OPTIONS_H

#include <string>
#include <vector>

namespace ztprobe {

struct CommandLine {
    bool json = false;
    bool shoot = true;
    bool help = false;
    std::string path;   // empty: the Camera SDK beside ztprobe
    std::string error;  // a usage error (exit status 2)
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

extern const char kUsage[];

}  // namespace ztprobe

#endif  // ZTPROBE_OPTIONS_H
