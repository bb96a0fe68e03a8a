#include "tool_test_support.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <vector>

namespace tooltest {

namespace {

#if defined(_WIN32)
const char kSep = '\\';
#else
const char kSep = '/';
#endif

void SetVariable(const std::string& name, const std::string* value) {
#if defined(_WIN32)
    _putenv_s(name.c_str(), value != nullptr ? value->c_str() : "");
#else
    if (value != nullptr) {
        setenv(name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
#endif
}

}  // namespace

std::string ProgramFolder() {
    std::vector<char> buffer(4096, '\0');
#if defined(_WIN32)
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::string path(buffer.data(), length);
#else
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    std::string path(buffer.data(), length > 0 ? static_cast<std::size_t>(length) : 0u);
#endif
    return path.substr(0, path.find_last_of("\\/") + 1);
}

#if defined(_WIN32)
std::string ProbeProgram() { return ProgramFolder() + "ztprobe.exe"; }
std::string SimulatorLibrary() { return ProgramFolder() + "ZTSDK_32.dll"; }
std::string KqcamProgram() { return ProgramFolder() + "kqcam.exe"; }
std::string KqsdkLibrary() { return ProgramFolder() + "KQSDK.dll"; }
std::string RecorderLibrary() { return RecorderFolder() + "ZTSDK_32.dll"; }
#else
std::string ProbeProgram() { return ProgramFolder() + "ztprobe"; }
std::string SimulatorLibrary() { return ProgramFolder() + "libZTSDK_32.so"; }
std::string KqcamProgram() { return ProgramFolder() + "kqcam"; }
std::string KqsdkLibrary() { return ProgramFolder() + "libKQSDK.so"; }
std::string RecorderLibrary() { return RecorderFolder() + "libZTSDK_32.so"; }
#endif
std::string RecorderFolder() { return ProgramFolder() + ".." + kSep + "recorder" + kSep; }

std::string WorkFolder(const std::string& name) {
    std::string folder = ProgramFolder() + ".." + kSep + "field-kit-test" + kSep + name;
#if defined(_WIN32)
    const std::string command = "rmdir /s /q \"" + folder + "\" 2>nul & mkdir \"" + folder + "\"";
#else
    const std::string command = "rm -rf '" + folder + "' && mkdir -p '" + folder + "'";
#endif
    if (std::system(command.c_str()) != 0) return folder + kSep;
    return folder + kSep;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool CopyBytes(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    return in.good() && out.good();
}

Run RunCommand(const std::string& program, const std::string& arguments, const std::string& folder,
               const std::map<std::string, std::string>& env) {
    for (const auto& entry : env) SetVariable(entry.first, &entry.second);
    const std::string out = folder + "stdout.txt";
    const std::string err = folder + "stderr.txt";
#if defined(_WIN32)
    const std::string command = "cd /d \"" + folder + "\" && \"" + program + "\" " + arguments + " > \"" + out +
                                "\" 2> \"" + err + "\"";
#else
    const std::string command =
        "cd '" + folder + "' && '" + program + "' " + arguments + " > '" + out + "' 2> '" + err + "' < /dev/null";
#endif
    const int status = std::system(command.c_str());
    for (const auto& entry : env) SetVariable(entry.first, nullptr);
    Run run;
#if defined(_WIN32)
    run.exitCode = status;
#else
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}

}  // namespace tooltest
