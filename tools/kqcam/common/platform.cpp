#include "platform.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shlobj.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kqcam {

std::atomic<bool> interrupted{false};
std::atomic<int> interruptCount{0};
std::atomic<bool> captureNow{false};
#if defined(_WIN32)
const bool kHasUserSignal = false;
#else
const bool kHasUserSignal = true;
#endif

namespace {

// What a signal means to kqcam; SIGTERM counts as a second Ctrl-C.
void Handle(int signal) {
#if !defined(_WIN32)
    if (signal == SIGUSR1) {
        captureNow = true;
        return;
    }
#endif
    interruptCount += signal == SIGTERM ? 2 : 1;
    interrupted = true;
}

#if defined(_WIN32)
extern "C" void OnInterrupt(int signal) {
    Handle(signal);
    // The C runtime resets the handler to the default before calling it.
    std::signal(signal, OnInterrupt);
}
#else
// The signals kqcam acts on; blocked everywhere, taken by sigwait.
sigset_t HandledSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR1);
    return set;
}

// In a child after fork: the program it runs gets the usual signals back.
void RestoreSignalsForChild() {
    const sigset_t set = HandledSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_DFL);
}
#endif

}  // namespace

void InstallInterruptHandler() {
#if defined(_WIN32)
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
#else
    std::signal(SIGPIPE, SIG_IGN);
    const sigset_t set = HandledSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set] {
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) == 0) Handle(signal);
        }
    }).detach();
#endif
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

// The system's text for an error code, without its line end.
std::string SystemMessage(DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string();
    if (text != nullptr) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    if (message.empty()) message = "Windows error " + std::to_string(code);
    return message;
}

}  // namespace

bool CheckHookScript(const std::string& script, std::string* error) {
    const DWORD attributes = GetFileAttributesA(script.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        *error = SystemMessage(GetLastError());
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *error = "it is a folder";
        return false;
    }
    return true;
}

int RunHook(const std::string& script, const char* action, const std::string& argument,
            std::string* error) {
    std::string command;
    const std::string tail = argument.empty() ? std::string() : " " + Quoted(argument);
    if (EndsWith(script, ".bat") || EndsWith(script, ".cmd")) {
        // Batch files run through the command interpreter; the whole line is
        // quoted once more for its /c rule.
        command = "cmd.exe /d /c \"" + Quoted(script) + tail + "\"";
    } else {
        command = Quoted(script) + tail;
    }
    SetEnvironmentVariableA("ACTION", action);
    SetEnvironmentVariableA("ARGUMENT", argument.empty() ? nullptr : argument.c_str());
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    std::memset(&process, 0, sizeof process);
    std::string line = command;
    const BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &process);
    const DWORD reason = GetLastError();
    SetEnvironmentVariableA("ACTION", nullptr);
    SetEnvironmentVariableA("ARGUMENT", nullptr);
    if (!started) {
        *error = "cannot start: " + SystemMessage(reason);
        return -1;
    }
    return WaitForExit(process);
}

int RunHookScript(const std::string& script, const std::string& argument, std::string* error) {
    return RunHook(script, "download", argument, error);
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
        RestoreSignalsForChild();
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

bool CheckHookScript(const std::string& script, std::string* error) {
    struct stat info;
    if (stat(script.c_str(), &info) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        *error = std::strerror(EISDIR);
        return false;
    }
    if (access(script.c_str(), X_OK) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    return true;
}

int RunHookScript(const std::string& script, const std::string& argument, std::string* error) {
    return RunHook(script, "download", argument, error);
}

int RunHook(const std::string& script, const char* action, const std::string& argument,
            std::string* error) {
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
        RestoreSignalsForChild();
        setenv("ACTION", action, 1);
        if (argument.empty()) unsetenv("ARGUMENT");
        else setenv("ARGUMENT", argument.c_str(), 1);
        char* const args[] = {const_cast<char*>(script.c_str()),
                              argument.empty() ? nullptr : const_cast<char*>(argument.c_str()),
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
