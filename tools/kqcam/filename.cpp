#include "filename.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "errors.h"

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kqcam {

namespace {

const char kTimeCodes[] = "YymdHMSjaAbBIp";

bool IsTimeCode(char c) { return c != '\0' && std::strchr(kTimeCodes, c) != nullptr; }

// Walks the pattern; calls `literal` for plain text and `code` for each
// code with its width (-1 when none is given).
template <typename Literal, typename Code>
void Walk(const std::string& pattern, Literal literal, Code code) {
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            literal(pattern[i]);
            continue;
        }
        std::size_t j = i + 1;
        int width = -1;
        while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9') {
            width = (width < 0 ? 0 : width * 10) + (pattern[j] - '0');
            if (width > 20) UsageError("--filename: counter width in \"" + pattern + "\" is above 20");
            ++j;
        }
        if (j >= pattern.size()) UsageError("--filename: \"" + pattern + "\" ends inside a % code");
        code(pattern[j], width);
        i = j;
    }
}

bool IsSeparator(char c) {
#if defined(_WIN32)
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

int MakeFolder(const std::string& path) {
#if defined(_WIN32)
    return _mkdir(path.c_str());
#else
    return mkdir(path.c_str(), 0777);
#endif
}

}  // namespace

void ValidatePattern(const std::string& pattern) {
    if (pattern.empty()) UsageError("--filename: the pattern is empty");
    Walk(pattern, [](char) {}, [&pattern](char c, int width) {
        if (c == 'n') return;
        if (width >= 0) UsageError("--filename: only %n takes a width (in \"" + pattern + "\")");
        if (c == '%' || c == 'C' || IsTimeCode(c)) return;
        UsageError(std::string("--filename: unknown code %") + c + " in \"" + pattern + "\"");
    });
    if (IsSeparator(pattern.back())) UsageError("--filename: \"" + pattern + "\" names a folder");
}

bool PatternHasCounter(const std::string& pattern) {
    bool found = false;
    Walk(pattern, [](char) {}, [&found](char c, int) { found = found || c == 'n'; });
    return found;
}

std::string ExpandPattern(const std::string& pattern, unsigned counter, const std::tm& when,
                          const std::string& suffix) {
    std::string out;
    Walk(pattern, [&out](char c) { out += c; }, [&](char c, int width) {
        if (c == 'n') {
            char number[32];
            std::snprintf(number, sizeof number, "%0*u", width < 0 ? 1 : width, counter);
            out += number;
        } else if (c == 'C') {
            out += suffix;
        } else if (c == '%') {
            out += '%';
        } else {
            const char format[3] = {'%', c, '\0'};
            char text[64];
            const std::size_t n = std::strftime(text, sizeof text, format, &when);
            out.append(text, n);
        }
    });
    return out;
}

bool FileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

void MakeParentFolders(const std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (!IsSeparator(path[i]) || IsSeparator(path[i - 1])) continue;
        const std::string folder = path.substr(0, i);
#if defined(_WIN32)
        if (folder.size() == 2 && folder[1] == ':') continue;  // a drive
#endif
        if (FileExists(folder)) continue;
        if (MakeFolder(folder) != 0 && errno != EEXIST) {
            OperationFailed("cannot create folder " + folder + ": " + std::strerror(errno));
        }
    }
}

std::FILE* CreateOutputFile(const std::string& path, bool overwrite) {
    MakeParentFolders(path);
#if defined(_WIN32)
    const int flags = _O_WRONLY | _O_CREAT | _O_BINARY | (overwrite ? _O_TRUNC : _O_EXCL);
    const int fd = _open(path.c_str(), flags, _S_IREAD | _S_IWRITE);
#else
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    const int fd = open(path.c_str(), flags, 0666);
#endif
    if (fd < 0) {
        if (errno == EEXIST) {
            OperationFailed(path + " exists already; not overwritten (use --force-overwrite)");
        }
        OperationFailed("cannot create " + path + ": " + std::strerror(errno));
    }
#if defined(_WIN32)
    std::FILE* file = _fdopen(fd, "wb");
#else
    std::FILE* file = fdopen(fd, "wb");
#endif
    if (file == nullptr) {
#if defined(_WIN32)
        _close(fd);
#else
        close(fd);
#endif
        OperationFailed("cannot write " + path + ": " + std::strerror(errno));
    }
    return file;
}

}  // namespace kqcam
