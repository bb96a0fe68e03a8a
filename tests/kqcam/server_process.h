// kqcam running in the background (kqcam --serve) while a test talks to it.
#ifndef KQCAM_TESTS_SERVER_PROCESS_H
#define KQCAM_TESTS_SERVER_PROCESS_H

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace kqcam_test {

class ServerProcess {
public:
    // Starts kqcam with `args` in `cwd`; standard output and error go to
    // files beside `cwd`.
    ServerProcess(const std::vector<std::string>& args, const std::string& cwd,
                  const std::map<std::string, std::string>& env = {});
    // Kills the process if it still runs.
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // The first line of standard output starting with `prefix`, waiting for
    // it up to `timeout`; empty when none came (or the process ended).
    std::string WaitForLine(const std::string& prefix, std::chrono::seconds timeout);
    std::string Out() const;
    std::string Err() const;
    // Ends the process as Ctrl-C does (on Windows it is terminated) and
    // returns its exit status, -1 when it did not end within `timeout`.
    int Interrupt(std::chrono::seconds timeout);
    bool Running();

private:
    std::string outPath_;
    std::string errPath_;
#if defined(_WIN32)
    void* process_ = nullptr;
#else
    int pid_ = -1;
    int status_ = -1;
#endif
};

}  // namespace kqcam_test

#endif  // KQCAM_TESTS_SERVER_PROCESS_H
