#include "session.h"

#include "errors.h"
#include "platform.h"

namespace kqcam {

Session::Session(const Options& given) : options(given) {
    out.json = options.json;
    // Standard output carries only data when it holds JSON lines, and only
    // the movie when the movie goes to it: everything else then goes to
    // standard error.
    out.info = (options.json || options.toStdout) ? stderr : stdout;
    if (options.toStdout) out.data = stderr;
    if (options.quiet) {
#if defined(_WIN32)
        null_ = std::fopen("NUL", "w");
#else
        null_ = std::fopen("/dev/null", "w");
#endif
        if (null_ != nullptr) out.info = null_;
    }
}

Session::~Session() {
    camera.reset();
    if (null_ != nullptr) std::fclose(null_);
}

Camera& Session::Connected() {
    if (!camera) {
        camera.reset(new Camera(library));
        RunHookAction(options, "start");
    }
    return *camera;
}

std::unique_ptr<OutputFile> OpenOutput(Session& session, const std::string& defaultPattern,
                                       const std::string& suffix, bool dataInHand) {
    const Options& options = session.options;
    // Skipping a taken name saves taking a picture; once the picture exists
    // (the shutter button took it) skipping would only throw it away.
    const ExistingFiles existing = options.forceOverwrite                ? ExistingFiles::kOverwrite
                                   : options.skipExisting && !dataInHand ? ExistingFiles::kSkip
                                                                         : ExistingFiles::kMovePast;
    const std::string& pattern = options.filenameGiven ? options.filename : defaultPattern;
    std::string skipped;
    std::unique_ptr<OutputFile> file =
        OutputFile::Create(pattern, suffix, existing, &session.fileCounter, &skipped);
    if (!file && session.out.json) {
        std::fprintf(session.out.data, "{\"skipped\":%s}\n", JsonString(skipped).c_str());
        std::fflush(session.out.data);
    } else if (!file) {
        std::fprintf(session.out.info, "Skipped %s: it exists already (--skip-existing)\n",
                     skipped.c_str());
        std::fflush(session.out.info);
    }
    return file;
}

void RunHookAction(const Options& options, const char* action, const std::string& argument) {
    if (options.hookScript.empty()) return;
    std::string error;
    const int status = RunHook(options.hookScript, action, argument, &error);
    if (status < 0) OperationFailed("--hook-script " + options.hookScript + ": " + error);
    if (status != 0) {
        std::fprintf(stderr, "kqcam: warning: hook script %s (ACTION=%s) exited with status %d\n",
                     options.hookScript.c_str(), action, status);
    }
}

}  // namespace kqcam
