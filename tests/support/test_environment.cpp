// Keeps the tests' log file out of the user's own folders: on POSIX the log
// folder follows XDG_STATE_HOME, pointed here at the build tree before the
// first line is written. (Under Wine the prefix lives in the build tree.)
#include <cstdlib>

#ifndef _WIN32
namespace {
struct TestStateFolder {
    TestStateFolder() { setenv("XDG_STATE_HOME", KQSDK_TEST_STATE_DIR, 1); }
} testStateFolder;
}  // namespace
#endif
