#include "fuzz_support.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/platform.h"

namespace kq::fuzz {

namespace {

constexpr char kFolderPrefix[] = "kqsdk-fuzz-";
std::string scratch;

void NoSleep(std::uint32_t) {}
void NoMessageBox(const char*) {}

void RemoveScratch() {
    std::error_code ignored;
    if (!scratch.empty()) std::filesystem::remove_all(scratch, ignored);
}

// libFuzzer often ends the process without running exit handlers (a crash,
// a time limit), so each run also removes the folders of runs that are gone.
void RemoveFoldersOfEndedRuns() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/tmp", error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kFolderPrefix, 0) != 0) continue;
        const long pid = std::strtol(name.c_str() + sizeof kFolderPrefix - 1, nullptr, 10);
        if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }
}

}  // namespace

const std::string& ScratchFolder() { return scratch; }

void PrepareProcess() {
    if (!scratch.empty()) return;
    RemoveFoldersOfEndedRuns();
    scratch = "/tmp/" + std::string(kFolderPrefix) + std::to_string(getpid());
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    if (!std::filesystem::create_directory(scratch, ignored)) std::abort();
    std::atexit(RemoveScratch);
    // Millions of inputs would fill the disk with log lines; the log file is
    // a link to /dev/null, so every line is still composed and written.
    const std::string state = scratch + "/state";
    std::filesystem::create_directories(state);
    if (symlink("/dev/null", (state + "/tovexbridge.log").c_str()) != 0) std::abort();
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    // The simulator writes its shots and test files here.
    setenv("TMPDIR", scratch.c_str(), 1);
    platform::Hooks hooks{NoSleep, NoMessageBox};
    platform::SetHooksForTesting(&hooks);
}

}  // namespace kq::fuzz
