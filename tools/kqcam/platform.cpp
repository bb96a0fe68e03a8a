#include "platform.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shlobj.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kqcam {

std::atomic<bool> interrupted{false};

namespace {

extern "C" void OnInterrupt(int) { interrupted = true; }

}  // namespace

void InstallInterruptHandler() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

void SetStdoutBinary() {
#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

std::string BridgeLogPath() {
#if defined(_WIN32)
    char folder[MAX_PATH] = {0};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder))) {
        return "%LOCALAPPDATA%\\tovexbridge.log";
    }
    return std::string(folder) + "\\tovexbridge.log";
#else
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return std::string(state) + "/tovexbridge.log";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "~") + "/.local/state/tovexbridge.log";
#endif
}

#if defined(_WIN32)

namespace {

std::string Quoted(const std::string& text) {
    // Quoting as the C runtime splits a command line: backslashes before a
    // quote are doubled, quotes escaped.
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') out.append(backslashes * 2 + 1, '\\');
        else out.append(backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

bool EndsWith(const std::string& text, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = text[text.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

// Waits for a started process, closes its handles and gives its exit code.
int WaitForExit(PROCESS_INFORMATION& process) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}

}  // namespace

int RunHookScript(const std::string& script, const std::string& argument, std::string* error) {
    std::string command;
    if (EndsWith(script, ".bat") || EndsWith(script, ".cmd")) {
        // Batch files run through the command interpreter; the whole line is
        // quoted once more for its /c rule.
        command = "cmd.exe /d /c \"" + Quoted(script) + " " + Quoted(argument) + "\"";
    } else {
        command = Quoted(script) + " " + Quoted(argument);
    }
    SetEnvironmentVariableA("ACTION", "download");
    SetEnvironmentVariableA("ARGUMENT", argument.c_str());
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    std::string line = command;
    const BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &process);
    SetEnvironmentVariableA("ACTION", nullptr);
    SetEnvironmentVariableA("ARGUMENT", nullptr);
    if (!started) {
        *error = "cannot start (Windows error " + std::to_string(GetLastError()) + ")";
        return -1;
    }
    return WaitForExit(process);
}

int RunSelf(const std::vector<std::string>& args, std::string* error) {
    char program[MAX_PATH] = {0};
    if (GetModuleFileNameA(nullptr, program, MAX_PATH) == 0) {
        *error = "cannot find kqcam's own path";
        return -1;
    }
    std::string line = Quoted(program);
    for (const std::string& arg : args) line += " " + Quoted(arg);
    std::fflush(nullptr);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    const DWORD ids[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE* targets[3] = {&startup.hStdInput, &startup.hStdOutput, &startup.hStdError};
    for (int i = 0; i < 3; ++i) {
        HANDLE handle = GetStdHandle(ids[i]);
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        }
        *targets[i] = handle;
    }
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        *error = "cannot start (Windows error " + std::to_string(GetLastError()) + ")";
        return -1;
    }
    return WaitForExit(process);
}

#else

int RunSelf(const std::vector<std::string>& args, std::string* error) {
    std::fflush(nullptr);
    std::vector<char*> argv;
    static char kName[] = "kqcam";
    argv.push_back(kName);
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        *error = std::strerror(errno);
        return -1;
    }
    if (child == 0) {
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

int RunHookScript(const std::string& script, const std::string& argument, std::string* error) {
    std::fflush(nullptr);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        *error = std::strerror(errno);
        return -1;
    }
    const pid_t child = fork();
    if (child < 0) {
        *error = std::strerror(errno);
        close(report[0]);
        close(report[1]);
        return -1;
    }
    if (child == 0) {
        close(report[0]);
        setenv("ACTION", "download", 1);
        setenv("ARGUMENT", argument.c_str(), 1);
        char* const args[] = {const_cast<char*>(script.c_str()), const_cast<char*>(argument.c_str()),
                              nullptr};
        execv(script.c_str(), args);
        // Tells the parent why the script did not start.
        const int reason = errno;
        ssize_t ignored = write(report[1], &reason, sizeof reason);
        (void)ignored;
        _exit(127);
    }
    close(report[1]);
    // The write end closes on a successful exec (the pipe is close-on-exec).
    int reason = 0;
    const ssize_t got = read(report[0], &reason, sizeof reason);
    close(report[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof reason)) {
        *error = std::string("cannot start: ") + std::strerror(reason);
        return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

#endif

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local;
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

}  // namespace kqcam
