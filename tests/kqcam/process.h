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

// The kqcam executable beside the tests.
std::string KqcamProgram();

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

#if !defined(_WIN32)
// Starts `program` with `args` in `cwd` with `env` added, standard input
// from /dev/null; standard output goes to `outFd` when it is an open
// descriptor, else to the file `outPath`. Returns the child's process id.
int Spawn(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
          const std::map<std::string, std::string>& env, const std::string& outPath, const std::string& errPath,
          int outFd = -1);

// kqcam started in the background, for tests that signal it while it runs
// or read its output as it comes. Waits are for what kqcam prints, never
// for a time; the limits only keep a broken run from hanging the tests.
class Running {
public:
    // With `pipeOut`, standard output is a pipe the test reads and closes.
    Running(const std::vector<std::string>& args, const std::string& cwd,
            const std::map<std::string, std::string>& env = {}, bool pipeOut = false);
    ~Running();
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    // Waits until standard error holds `text`; false when kqcam ended first
    // or after a minute.
    bool AwaitErr(const std::string& text);
    // The same for standard output written to its file (not a pipe).
    bool AwaitOut(const std::string& text);
    void Signal(int signal);
    // Reads `lines` lines from the standard output pipe, then closes it.
    std::string ReadLinesThenClose(int lines);
    // Waits for kqcam to end; exitCode is 128 + N after signal N.
    Result Finish();

private:
    bool Await(const std::string& path, const std::string& text);
    int pid_ = -1;
    int pipe_ = -1;
    bool ended_ = false;
    int status_ = 0;
    std::string outPath_, errPath_;
    double start_ = 0;
};
#endif

}  // namespace kqcam_test

#endif  // KQCAM_TESTS_PROCESS_H
