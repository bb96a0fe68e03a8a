#include "fuzz_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/platform.h"

namespace kq::fuzz {

namespace {

std::string scratch;

void NoSleep(std::uint32_t) {}
void NoMessageBox(const char*) {}

void RemoveScratch() {
    std::error_code ignored;
    if (!scratch.empty()) std::filesystem::remove_all(scratch, ignored);
}

}  // namespace

const std::string& ScratchFolder() { return scratch; }

void PrepareProcess() {
    if (!scratch.empty()) return;
    char pattern[] = "/tmp/kqsdk-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    scratch = pattern;
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
