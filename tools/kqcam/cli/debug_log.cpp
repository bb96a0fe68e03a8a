#include "debug_log.h"

#include <string>

#include "platform.h"

namespace kqcam {

void PrintLogLocation(std::FILE* to) {
    std::fprintf(to, "kqcam: library log: %s\n", BridgeLogPath().c_str());
}

void PrintLogLines(std::FILE* to) {
    const std::string path = BridgeLogPath();
    // Text mode: the log's line ends come out as this platform writes them.
    std::FILE* log = std::fopen(path.c_str(), "r");
    if (log == nullptr) {
        std::fprintf(to, "kqcam: cannot read the library log %s\n", path.c_str());
        return;
    }
    std::fprintf(to, "---- library log of this run (%s) ----\n", path.c_str());
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, log)) > 0) std::fwrite(buffer, 1, n, to);
    std::fclose(log);
    std::fprintf(to, "---- end of library log ----\n");
}

}  // namespace kqcam
