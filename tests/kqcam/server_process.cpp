#include "server_process.h"

#include <cstring>
#include <thread>

#include "process.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kqcam_test {

ServerProcess::ServerProcess(const std::vector<std::string>& args, const std::string& cwd,
                             const std::map<std::string, std::string>& env)
    : outPath_(cwd + ".stdout"), errPath_(cwd + ".stderr") {
    // No line of an earlier run may be taken for this one's.
    WriteFile(outPath_, "");
    WriteFile(errPath_, "");
    const std::string program = KqcamProgram();
    std::map<std::string, std::string> environment = env;
    // Keeps the library's log out of the user's folders, as RunKqcam does.
    const std::string state = FreshFolder("state-serve");
    environment.emplace("XDG_STATE_HOME", state);
#if defined(_WIN32)
    std::string line = "\"" + program + "\"";
    for (const std::string& arg : args) line += " \"" + arg + "\"";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err = CreateFileA(errPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    for (const auto& entry : environment) SetEnvironmentVariableA(entry.first.c_str(), entry.second.c_str());
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, cwd.c_str(), &startup, &process)) {
        CloseHandle(process.hThread);
        process_ = process.hProcess;
    }
    for (const auto& entry : environment) SetEnvironmentVariableA(entry.first.c_str(), nullptr);
    CloseHandle(out);
    CloseHandle(err);
    CloseHandle(in);
#else
    pid_ = Spawn(program, args, cwd, environment, outPath_, errPath_);
#endif
}

ServerProcess::~ServerProcess() {
#if defined(_WIN32)
    if (process_ != nullptr) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 10000);
        CloseHandle(process_);
    }
#else
    if (Running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
#endif
}

std::string ServerProcess::Out() const { return ReadFile(outPath_); }
std::string ServerProcess::Err() const { return ReadFile(errPath_); }

bool ServerProcess::Running() {
#if defined(_WIN32)
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
#else
    if (pid_ <= 0 || status_ >= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return false;
#endif
}

std::string ServerProcess::WaitForLine(const std::string& prefix, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (const std::string& line : Lines(Out())) {
            if (line.compare(0, prefix.size(), prefix) == 0) return line;
        }
        if (!Running() || std::chrono::steady_clock::now() >= deadline) return "";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int ServerProcess::Interrupt(std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
#if defined(_WIN32)
    if (process_ == nullptr) return -1;
    TerminateProcess(process_, 0);
    (void)deadline;
    if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) return -1;
    DWORD status = 0;
    GetExitCodeProcess(process_, &status);
    CloseHandle(process_);
    process_ = nullptr;
    return static_cast<int>(status);
#else
    if (Running()) kill(pid_, SIGINT);
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status_;
#endif
}

}  // namespace kqcam_test
