// Runs kqcam as a separate process, as a user or a script does, and
// collects its exit status and output.
#ifndef KQCAM_TESTS_PROCESS_H
#define KQCAM_TESTS_PROCESS_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kqcam_test {

struct Result {
    int exitCode = -1;
    std::string rawOut;  // standard output byte for byte
    std::string out;     // standard output as text, lines ending in "\n"
    std::string err;     // standard error as text
    double seconds = 0;
};

// The folder the test executable (and kqcam beside it) lives in, with a
// trailing separator.
std::string ProgramFolder();

// Runs kqcam with `args` in folder `cwd`, with `env` added to the
// environment.
Result RunKqcam(const std::vector<std::string>& args, const std::string& cwd,
                const std::map<std::string, std::string>& env = {});

// A fresh, empty folder for one test.
std::string FreshFolder(const std::string& name);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool Exists(const std::string& path);
std::vector<std::string> ListFolder(const std::string& folder);
// Makes a file executable (a hook script); nothing to do on Windows.
void MakeExecutable(const std::string& path);

std::vector<std::string> Lines(const std::string& text);

}  // namespace kqcam_test

#endif  // KQCAM_TESTS_PROCESS_H
