// kqcam: drives a camera through the KQSDK API, the way an application does,
// with the command-line conventions of tethering tools.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "debug_log.h"
#include "errors.h"
#include "options.h"
#include "platform.h"
#include "serve.h"
#include "session.h"

namespace {

using namespace kqcam;

void RunAction(Session& session, const Action& action) {
    switch (action.kind) {
    case Action::kAutoDetect: RunAutoDetect(session); break;
    case Action::kSummary: RunSummary(session); break;
    case Action::kListConfig: RunListConfig(session); break;
    case Action::kGetConfig: RunGetConfig(session, action.code); break;
    case Action::kSetConfig:
    case Action::kSetConfigIndex: RunSetConfig(session, action); break;
    case Action::kZoom: RunZoom(session, action.value); break;
    case Action::kCaptureImage: RunCaptureImages(session); break;
    case Action::kCapturePreview: RunCapturePreview(session); break;
    case Action::kCaptureMovie: RunCaptureMovie(session, action.limit); break;
    case Action::kWaitEvent: RunWaitEvent(session, action.limit); break;
    case Action::kCaptureTethered: RunCaptureTethered(session, action.limit); break;
    case Action::kServe: RunServe(session, action.text); break;
    }
    std::fflush(session.out.data);
}

// Runs `body`; a failure becomes the exit code and the message.
template <typename Body>
int Guard(std::string* error, Body body) {
    try {
        body();
        return kExitOk;
    } catch (const Failure& failure) {
        *error = failure.what();
        return failure.exitCode;
    } catch (const std::exception& exception) {
        *error = exception.what();
        return kExitOperationFailed;
    }
}

// Runs every action; the session (viewfinder, connection, library) is
// closed before this returns, also after a failure. The hook script is
// checked before anything else (a wrong one is a usage error), and hears init before the first action
// and stop after the session closed, whatever happened in between.
int RunAll(const Options& options, std::string* error) {
    if (!options.hookScript.empty()) {
        std::string why;
        if (!CheckHookScript(options.hookScript, &why)) {
            // A path that names no program is a mistake on the command line.
            *error = "--hook-script " + options.hookScript + ": cannot run it: " + why;
            return kExitUsage;
        }
    }
    bool initialised = false;
    int status = Guard(error, [&] {
        RunHookAction(options, "init");
        initialised = true;
        Session session(options);
        for (const Action& action : options.actions) RunAction(session, action);
    });
    if (initialised) {
        std::string stopError;
        const int stopStatus = Guard(&stopError, [&] { RunHookAction(options, "stop"); });
        if (status == kExitOk && stopStatus != kExitOk) {
            status = stopStatus;
            *error = stopError;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "kqcam: %s\n", failure.what());
        return failure.exitCode;
    }
    if (options.help) {
        std::fputs(HelpText(), stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("kqcam 0.1.0\n");
        return kExitOk;
    }
    InstallInterruptHandler();
    if (options.debug) {
        // The library writes its log through a buffered stream that reaches
        // the disk when the library is unloaded, so the run happens in a
        // child process and its log is read once that has ended. This
        // process never calls the library and leaves the log alone.
        PrintLogLocation(stderr);
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "--debug") != 0) args.push_back(argv[i]);
        }
        std::string error;
        int status = RunSelf(args, &error);
        if (status < 0) {
            std::fprintf(stderr, "kqcam: --debug: %s\n", error.c_str());
            status = kExitOperationFailed;
        }
        PrintLogLines(stderr);
        return status;
    }
    std::string error;
    const int status = RunAll(options, &error);
    std::fflush(stdout);
    if (!error.empty()) std::fprintf(stderr, "kqcam: %s\n", error.c_str());
    return status;
}
