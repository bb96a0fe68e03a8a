// What every kqcam process test starts from: a fresh folder of its own,
// named after the test, that kqcam runs in.
#ifndef KQCAM_TESTS_KQCAM_FIXTURE_H
#define KQCAM_TESTS_KQCAM_FIXTURE_H

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "process.h"

namespace kqcam_test {

#if defined(_WIN32)
inline constexpr char kSep[] = "\\";
#else
inline constexpr char kSep[] = "/";
#endif

// kqcam's exit statuses.
inline constexpr int kExitOperationFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoCamera = 3;
inline constexpr int kExitConnectFailed = 4;

// How often `needle` occurs in `text`, overlapping occurrences included.
inline int CountOf(const std::string& text, const std::string& needle) {
    int n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

class KqcamFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = FreshFolder(std::string(info->test_suite_name()) + "." + info->name());
    }
    Result Run(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {}) {
        return RunKqcam(args, dir_, env);
    }
    std::string Path(const std::string& name) const { return dir_ + kSep + name; }
    // A hook script that appends "ACTION argument" to hook.log beside it;
    // returns its path.
    std::string WriteLoggingHook() const {
#if defined(_WIN32)
        const std::string hook = Path("hook.bat");
        WriteFile(hook, "@echo off\r\necho %ACTION% %~1>> \"%~dp0hook.log\"\r\n");
#else
        const std::string hook = Path("hook.sh");
        WriteFile(hook, "#!/bin/sh\necho \"$ACTION $1\" >> \"$(dirname \"$0\")/hook.log\"\n");
#endif
        MakeExecutable(hook);
        return hook;
    }
    std::string dir_;
};

}  // namespace kqcam_test

#endif  // KQCAM_TESTS_KQCAM_FIXTURE_H
