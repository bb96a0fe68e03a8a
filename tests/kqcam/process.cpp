#include "process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace kqcam_test {

namespace {

#if defined(_WIN32)
const char kSep = '\\';
const char kProgram[] = "kqcam.exe";
#else
const char kSep = '/';
const char kProgram[] = "kqcam";
#endif

void RemoveTree(const std::string& folder) {
#if defined(_WIN32)
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            else DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
#else
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "/" + name;
            struct stat info;
            if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) RemoveTree(path);
            else unlink(path.c_str());
        }
        closedir(dir);
    }
    rmdir(folder.c_str());
#endif
}

void MakeFolder(const std::string& folder) {
#if defined(_WIN32)
    CreateDirectoryA(folder.c_str(), nullptr);
#else
    mkdir(folder.c_str(), 0777);
#endif
}

// Text written in the Windows runtime's text mode ends lines in "\r\n".
std::string TextOf(const std::string& written) {
    std::string text;
    for (std::size_t i = 0; i < written.size(); ++i) {
        if (written[i] == '\r' && i + 1 < written.size() && written[i + 1] == '\n') continue;
        text += written[i];
    }
    return text;
}

std::string WorkRoot() {
    const std::string root = ProgramFolder() + "kqcam-test";
    MakeFolder(root);
    return root;
}

}  // namespace

#if !defined(_WIN32)
int Spawn(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
          const std::map<std::string, std::string>& env, const std::string& outPath, const std::string& errPath,
          int outFd) {
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(126);
        for (const auto& entry : env) setenv(entry.first.c_str(), entry.second.c_str(), 1);
        const int in = open("/dev/null", O_RDONLY);
        const int out = outFd >= 0 ? outFd : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return child;
}

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace
#endif

std::string KqcamProgram() { return ProgramFolder() + kProgram; }

std::string ProgramFolder() {
#if defined(_WIN32)
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
#else
    char path[4096] = {0};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "./";
#endif
    std::string folder(path);
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string FreshFolder(const std::string& name) {
    const std::string folder = WorkRoot() + kSep + name;
    RemoveTree(folder);
    MakeFolder(folder);
    return folder;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
}

bool Exists(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in.good();
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
#if defined(_WIN32)
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
#else
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
#endif
    std::sort(names.begin(), names.end());
    return names;
}

void MakeExecutable(const std::string& path) {
#if !defined(_WIN32)
    chmod(path.c_str(), 0755);
#else
    (void)path;
#endif
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

Result RunKqcam(const std::vector<std::string>& args, const std::string& cwd,
                const std::map<std::string, std::string>& env) {
    const std::string program = KqcamProgram();
    const std::string outPath = cwd + ".stdout";
    const std::string errPath = cwd + ".stderr";
    std::map<std::string, std::string> environment = env;
    // Keeps the library's log out of the user's folders.
    const std::string state = WorkRoot() + kSep + "state";
    MakeFolder(state);
    environment.emplace("XDG_STATE_HOME", state);
    Result result;
    const auto start = std::chrono::steady_clock::now();
#if defined(_WIN32)
    std::string line = "\"" + program + "\"";
    for (const std::string& arg : args) line += " \"" + arg + "\"";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    const BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                        cwd.c_str(), &startup, &process);
    for (const auto& entry : environment) SetEnvironmentVariableA(entry.first.c_str(), nullptr);
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 0;
        GetExitCodeProcess(process.hProcess, &status);
        result.exitCode = static_cast<int>(status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    CloseHandle(err);
    CloseHandle(in);
#else
    const pid_t child = Spawn(program, args, cwd, environment, outPath, errPath, -1);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
#endif
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.rawOut = ReadFile(outPath);
    result.out = TextOf(result.rawOut);
    result.err = TextOf(ReadFile(errPath));
    return result;
}

#if !defined(_WIN32)

Running::Running(const std::vector<std::string>& args, const std::string& cwd,
                 const std::map<std::string, std::string>& env, bool pipeOut) {
    outPath_ = cwd + ".stdout";
    errPath_ = cwd + ".stderr";
    // A previous run's output must not be taken for this one's.
    unlink(outPath_.c_str());
    unlink(errPath_.c_str());
    std::map<std::string, std::string> environment = env;
    const std::string state = WorkRoot() + kSep + "state";
    MakeFolder(state);
    environment.emplace("XDG_STATE_HOME", state);
    int ends[2] = {-1, -1};
    // Close-on-exec, so that kqcam holds only the write end (as its
    // standard output) and sees the pipe closed when the test closes it.
    if (pipeOut && pipe2(ends, O_CLOEXEC) != 0) return;
    start_ = Now();
    pid_ = Spawn(KqcamProgram(), args, cwd, environment, outPath_, errPath_, ends[1]);
    if (pipeOut) {
        close(ends[1]);
        pipe_ = ends[0];
    }
}

Running::~Running() {
    if (pipe_ >= 0) close(pipe_);
    if (pid_ > 0 && !ended_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
}

bool Running::Await(const std::string& path, const std::string& text) {
    const double limit = Now() + 60;
    while (Now() < limit) {
        if (ReadFile(path).find(text) != std::string::npos) return true;
        if (!ended_ && waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
        if (ended_) return ReadFile(path).find(text) != std::string::npos;
        usleep(5000);
    }
    return false;
}

bool Running::AwaitErr(const std::string& text) { return Await(errPath_, text); }

bool Running::AwaitOut(const std::string& text) { return Await(outPath_, text); }

void Running::Signal(int signal) {
    if (pid_ > 0 && !ended_) kill(pid_, signal);
}

std::string Running::ReadLinesThenClose(int lines) {
    std::string text;
    char c = 0;
    while (lines > 0 && read(pipe_, &c, 1) == 1) {
        text += c;
        if (c == '\n') --lines;
    }
    close(pipe_);
    pipe_ = -1;
    return text;
}

Result Running::Finish() {
    Result result;
    if (pid_ > 0 && !ended_) {
        waitpid(pid_, &status_, 0);
        ended_ = true;
    }
    if (WIFEXITED(status_)) result.exitCode = WEXITSTATUS(status_);
    else if (WIFSIGNALED(status_)) result.exitCode = 128 + WTERMSIG(status_);
    result.seconds = Now() - start_;
    if (pipe_ < 0) {
        result.rawOut = ReadFile(outPath_);
        result.out = TextOf(result.rawOut);
    }
    result.err = TextOf(ReadFile(errPath_));
    return result;
}

#endif

}  // namespace kqcam_test
