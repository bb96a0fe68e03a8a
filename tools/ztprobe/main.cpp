// ztprobe: does this Camera SDK meet what the bridge relies on?
#include <cstdio>
#include <string>
#include <vector>

#include "options.h"
#include "probe.h"
#include "sdk_library.h"

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> args;
#if defined(_WIN32)
    // The wide command line, so that a path in any script survives.
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::vector<char> buffer(bytes > 0 ? static_cast<std::size_t>(bytes) : 1u, '\0');
        if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, buffer.data(), bytes, nullptr, nullptr);
        args.emplace_back(buffer.data());
    }
    if (wide != nullptr) LocalFree(wide);
#else
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
#endif
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    const ztprobe::CommandLine line = ztprobe::ParseCommandLine(Arguments(argc, argv));
    if (!line.error.empty()) {
        std::fprintf(stderr, "ztprobe: %s\n%s", line.error.c_str(), ztprobe::kUsage);
        return 2;
    }
    if (line.help) {
        std::fputs(ztprobe::kUsage, stdout);
        return 0;
    }
    const std::string path = line.path.empty() ? ztprobe::DefaultLibraryPath() : line.path;
    ztkit::ZtApi api;
    std::string error;
    ztprobe::ProbeResult result;
    if (!ztprobe::LoadSdk(path, &api, &error)) {
        result.library = path;
        result.verdicts.push_back(ztprobe::Verdict{"functions", "The 25 functions the bridge calls",
                                                   ztprobe::Status::Fails, error,
                                                   "KQSDK cannot be loaded with this Camera SDK."});
    } else {
        ztprobe::ProbeOptions options;
        options.shoot = line.shoot;
        result = ztprobe::RunProbe(api, options);
        result.library = path;
    }
    const std::string report = line.json ? ztprobe::JsonReport(result) : ztprobe::HumanReport(result);
    std::fwrite(report.data(), 1, report.size(), stdout);
    std::fflush(stdout);
    return ztprobe::ExitStatus(result);
}
