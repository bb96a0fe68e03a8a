#include "filename.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "errors.h"
#include "platform.h"

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#include <windows.h>
#else
#include <stdio.h>
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
        if (c == 'f') {
            UsageError("--filename: %f (the camera's own file name) is not available: the library "
                       "hands over a picture's data without its name; use %n or the date codes");
        }
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

std::string SuffixOfData(const std::uint8_t* head, std::size_t size) {
    if (size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return "jpg";
    if (size >= 4 && ((head[0] == 'I' && head[1] == 'I' && head[2] == 42 && head[3] == 0) ||
                      (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && head[3] == 42))) {
        return "tif";
    }
    return std::string();
}

namespace {

// Tries before giving up on finding a free name.
constexpr unsigned kMaxTries = 100000;

const char kPart[] = ".part";

// "view.jpg" with n = 2 gives "view-2.jpg": the number goes before the
// suffix of the file's own name (not of a folder above it).
std::string WithNumber(const std::string& path, unsigned n) {
    std::size_t base = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsSeparator(path[i])) base = i + 1;
    }
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= base) dot = path.size();
    return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

bool Taken(const std::string& path) { return FileExists(path) || FileExists(path + kPart); }

int OpenPart(const std::string& part, bool exclusive) {
#if defined(_WIN32)
    const int flags = _O_WRONLY | _O_CREAT | _O_BINARY | (exclusive ? _O_EXCL : _O_TRUNC);
    return _open(part.c_str(), flags, _S_IREAD | _S_IWRITE);
#else
    // Large-file mode: a long movie passes 2 GiB.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_LARGEFILE | (exclusive ? O_EXCL : O_TRUNC);
    return open(part.c_str(), flags, 0666);
#endif
}

FileIdentity IdentityOfFd(int fd) {
    FileIdentity identity;
#if defined(_WIN32)
    BY_HANDLE_FILE_INFORMATION info;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info)) {
        identity.volume = info.dwVolumeSerialNumber;
        identity.index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
        identity.known = true;
    }
#else
    struct stat st;
    if (fstat(fd, &st) == 0) {
        identity.volume = static_cast<std::uint64_t>(st.st_dev);
        identity.index = static_cast<std::uint64_t>(st.st_ino);
        identity.known = true;
    }
#endif
    return identity;
}

int CloseFd(int fd) {
#if defined(_WIN32)
    return _close(fd);
#else
    return close(fd);
#endif
}

// Renames `from` to `to`; without `replace` it fails with EEXIST when `to`
// exists, in one step where the system allows it.
bool RenameTo(const std::string& from, const std::string& to, bool replace) {
#if defined(_WIN32)
    if (MoveFileExA(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) return true;
    const DWORD code = GetLastError();
    errno = (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) ? EEXIST
            : code == ERROR_ACCESS_DENIED                                 ? EACCES
                                                                          : EIO;
    return false;
#else
    if (replace) return rename(from.c_str(), to.c_str()) == 0;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
    // A file system without that rename: a hard link fails on an existing
    // name just as well.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST) return false;
    if (FileExists(to)) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

std::string OutputFile::FreeName(const std::string& suffix) {
    const bool counted = PatternHasCounter(pattern_);
    for (unsigned tries = 0; tries < kMaxTries; ++tries) {
        if (counted || tries == 0) value_ = ++*counter_;
        else ++extra_;
        std::string name = ExpandPattern(pattern_, value_, when_, suffix);
        if (extra_ > 0) name = WithNumber(name, extra_);
        if (existing_ != ExistingFiles::kMovePast || !Taken(name)) return name;
    }
    OperationFailed("no free file name for \"" + pattern_ + "\" after " + std::to_string(kMaxTries) +
                    " tries");
}

std::unique_ptr<OutputFile> OutputFile::Create(const std::string& pattern, const std::string& suffix,
                                               ExistingFiles existing, unsigned* counter,
                                               std::string* skipped) {
    std::unique_ptr<OutputFile> file(new OutputFile);
    file->pattern_ = pattern;
    file->suffix_ = suffix;
    file->existing_ = existing;
    file->counter_ = counter;
    file->when_ = LocalNow();
    for (unsigned tries = 0; tries < kMaxTries; ++tries) {
        file->path_ = file->FreeName(suffix);
        if (existing == ExistingFiles::kSkip && Taken(file->path_)) {
            *skipped = file->path_;
            return nullptr;
        }
        MakeParentFolders(file->path_);
        file->part_ = file->path_ + kPart;
        file->fd_ = OpenPart(file->part_, existing != ExistingFiles::kOverwrite);
        if (file->fd_ >= 0) return file;
        // Another run took the name between the look and the creation.
        if (errno == EEXIST && existing == ExistingFiles::kMovePast) continue;
        if (errno == EEXIST && existing == ExistingFiles::kSkip) {
            *skipped = file->path_;
            return nullptr;
        }
        OperationFailed("cannot create " + file->part_ + ": " + std::strerror(errno));
    }
    OperationFailed("no free file name for \"" + pattern + "\"");
}

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Write(const void* data, std::size_t size) {
    if (error_ != 0 || fd_ < 0) return false;
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const unsigned chunk = size > (1u << 20) ? (1u << 20) : static_cast<unsigned>(size);
#if defined(_WIN32)
        const int n = _write(fd_, bytes, chunk);
#else
        const ssize_t n = write(fd_, bytes, chunk);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n <= 0) {
            error_ = n < 0 && errno != 0 ? errno : EIO;
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
        size_ += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool OutputFile::TruncateTo(std::uint64_t size) {
    if (fd_ < 0) return false;
#if defined(_WIN32)
    const bool done = _chsize_s(fd_, static_cast<long long>(size)) == 0 &&
                      _lseeki64(fd_, static_cast<long long>(size), SEEK_SET) >= 0;
#else
    const bool done = ftruncate64(fd_, static_cast<off64_t>(size)) == 0 &&
                      lseek64(fd_, static_cast<off64_t>(size), SEEK_SET) >= 0;
#endif
    if (!done) return false;
    // What is left is whole: the failed write is forgotten.
    size_ = size;
    error_ = 0;
    return true;
}

std::string OutputFile::Commit(const std::string& realSuffix) {
    if (fd_ < 0) OperationFailed("internal error: " + path_ + " committed twice");
    identity_ = IdentityOfFd(fd_);
    const int closed = CloseFd(fd_);
    fd_ = -1;
    if (error_ != 0 || closed != 0) {
        const int reason = error_ != 0 ? error_ : errno;
        Discard();
        OperationFailed("writing " + path_ + " failed: " + std::strerror(reason));
    }
    const bool resuffix = !realSuffix.empty() && realSuffix != suffix_ &&
                          pattern_.find("%C") != std::string::npos;
    if (resuffix) {
        path_ = ExpandPattern(pattern_, value_, when_, realSuffix);
        if (extra_ > 0) path_ = WithNumber(path_, extra_);
    }
    const bool replace = existing_ == ExistingFiles::kOverwrite;
    for (unsigned tries = 0; tries < kMaxTries; ++tries) {
        if (RenameTo(part_, path_, replace)) {
            part_.clear();
            return path_;
        }
        if (errno != EEXIST || existing_ == ExistingFiles::kSkip) break;
        // A file of that name appeared while this one was written.
        path_ = FreeName(resuffix ? realSuffix : suffix_);
    }
    const int reason = errno;
    const std::string kept = part_;
    part_.clear();  // the data stays on disk under its temporary name
    OperationFailed("cannot rename " + kept + " to " + path_ + ": " + std::strerror(reason) +
                    "; the data is kept in " + kept);
}

void OutputFile::Discard() {
    if (fd_ >= 0) {
        CloseFd(fd_);
        fd_ = -1;
    }
    if (!part_.empty()) {
        std::remove(part_.c_str());
        part_.clear();
    }
}

bool ReadSameFile(const std::string& path, const FileIdentity& identity, std::string* data) {
    if (!identity.known) return false;
#if defined(_WIN32)
    // A reparse point (a symbolic link or junction) is opened as itself,
    // never followed.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool same = GetFileInformationByHandle(handle, &info) &&
                (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
                info.dwVolumeSerialNumber == identity.volume &&
                ((std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow) == identity.index;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (same && ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(handle);
#else
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_LARGEFILE | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    bool same = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                static_cast<std::uint64_t>(st.st_dev) == identity.volume &&
                static_cast<std::uint64_t>(st.st_ino) == identity.index;
    std::string bytes;
    char buffer[65536];
    for (ssize_t got = 0; same && (got = read(fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR) continue;
            same = false;
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
#endif
    if (!same) return false;
    data->swap(bytes);
    return true;
}

}  // namespace kqcam
