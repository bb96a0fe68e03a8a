// POSIX host services: the log lives under $XDG_STATE_HOME (or
// ~/.local/state), the message box is a line on standard error, and UTF-16
// paths are converted to UTF-8 for the file system.
#include <errno.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/hooks.h"
#include "platform/platform.h"

namespace kq::platform {

const char kPathSeparator = '/';

namespace {

bool MakeDirectories(const std::string& path) {
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i != path.size() && path[i] != '/') continue;
        const std::string prefix = path.substr(0, i);
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Appends the UTF-8 form of a NUL-terminated UTF-16 string; unpaired
// surrogates become U+FFFD so that every path converts.
std::string Utf16ToUtf8(const std::uint16_t* text) {
    std::string out;
    for (const std::uint16_t* p = text; *p != 0; ++p) {
        std::uint32_t cp = *p;
        if (cp >= 0xD800 && cp <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace

bool LocalAppDataFolder(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    std::string folder;
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') {
        folder = state;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') return false;
        folder = std::string(home) + "/.local/state";
    }
    if (folder.size() >= size || !MakeDirectories(folder)) return false;
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return true;
}

std::FILE* OpenSharedForWriting(const char* path) { return std::fopen(path, "w"); }

LocalTime CurrentLocalTime() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    const time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    LocalTime t;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    t.millisecond = static_cast<unsigned>(now.tv_nsec / 1000000);
    return t;
}

void ShowMessageBox(const char* text) {
    if (auto hook = detail::messageBoxHook.load()) {
        hook(text);
        return;
    }
    std::fprintf(stderr, "ZT-SDK: %s\n", text);
}

void Sleep(std::uint32_t milliseconds) {
    if (auto hook = detail::sleepHook.load()) {
        hook(milliseconds);
        return;
    }
    struct timespec request;
    request.tv_sec = static_cast<time_t>(milliseconds / 1000);
    request.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&request, &request) != 0 && errno == EINTR) {
    }
}

namespace {
thread_local std::uintptr_t threadWord = 0;
}  // namespace

void AllocateThreadWord() {}
void FreeThreadWord() {}
std::uintptr_t ThreadWord() { return threadWord; }
void SetThreadWord(std::uintptr_t value) { threadWord = value; }

std::FILE* OpenUtf16ForReading(const std::uint16_t* path) {
    if (path == nullptr) return nullptr;
    return std::fopen(Utf16ToUtf8(path).c_str(), "rb");
}

bool DeleteUtf16File(const std::uint16_t* path) {
    if (path == nullptr) return false;
    return unlink(Utf16ToUtf8(path).c_str()) == 0;
}

std::int64_t FileLength(std::FILE* file) {
    struct stat info;
    if (file == nullptr || fstat(fileno(file), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

}  // namespace kq::platform
