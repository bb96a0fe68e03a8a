#include "temp_file.h"
#include "utf.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace ztsim {

namespace {

std::atomic<uint32_t> nextFileNumber{1};

// Attempts at a fresh name before giving up (names taken by files of an
// earlier run of a process with the same id).
constexpr int kNameAttempts = 1000;

// The bytes of a test file of `size` bytes, from `offset`, into `chunk`.
void FillPattern(unsigned char* chunk, size_t count, uint64_t offset) {
    for (size_t i = 0; i < count; ++i) chunk[i] = static_cast<unsigned char>((offset + i) % 251u);
}

#if defined(_WIN32)

using Native = std::wstring;

std::u16string ToUtf16(const Native& path) {
    return std::u16string(path.begin(), path.end());
}

Native FromUtf16(const std::u16string& path) { return Native(path.begin(), path.end()); }

Native TempFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) return Native();
    Native folder(buffer, length);
    if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

Native NameOf(const Native& folder, uint32_t number, const char* suffix) {
    Native name = folder + L"ztsim-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(number);
    for (const char* p = suffix; *p != '\0'; ++p) name += static_cast<wchar_t>(*p);
    return name;
}

// A new file opened for writing, or INVALID_HANDLE_VALUE; *path receives its name.
HANDLE CreateNew(const char* suffix, Native* path) {
    const Native folder = TempFolder();
    if (folder.empty()) return INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        *path = NameOf(folder, nextFileNumber.fetch_add(1), suffix);
        HANDLE file = CreateFileW(path->c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (GetLastError() != ERROR_FILE_EXISTS) return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

bool WriteAll(HANDLE file, const unsigned char* data, size_t size) {
    while (size > 0) {
        const DWORD part = size > 0x100000u ? 0x100000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, part, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool WriteLastByte(HANDLE file, uint32_t size, unsigned char value) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(size) - 1;
    return SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && WriteAll(file, &value, 1);
}

// Closes the file and removes it unless it was written and closed cleanly.
// Returns whether it was kept.
bool Finish(HANDLE file, const Native& path, bool written) {
    const bool kept = CloseHandle(file) != 0 && written;
    if (!kept) DeleteFileW(path.c_str());
    return kept;
}

#else

using Native = std::string;

std::u16string ToUtf16(const Native& path) { return Utf8ToUtf16(path); }

Native FromUtf16(const std::u16string& path) { return Utf16ToUtf8(path); }

Native TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    Native folder = tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

int CreateNew(const char* suffix, Native* path) {
    const Native folder = TempFolder();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        *path = folder + "ztsim-" + std::to_string(static_cast<long>(getpid())) + "-" +
                std::to_string(nextFileNumber.fetch_add(1)) + suffix;
        const int fd = open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) return fd;
        if (errno != EEXIST) return -1;
    }
    return -1;
}

bool WriteAll(int fd, const unsigned char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// The file is extended without writing the zeros, so it stays sparse.
bool WriteLastByte(int fd, uint32_t size, unsigned char value) {
    return ftruncate(fd, static_cast<off_t>(size)) == 0 &&
           pwrite(fd, &value, 1, static_cast<off_t>(size) - 1) == 1;
}

// Closes the file and removes it unless it was written and closed cleanly.
// Returns whether it was kept.
bool Finish(int fd, const Native& path, bool written) {
    const bool kept = close(fd) == 0 && written;
    if (!kept) unlink(path.c_str());
    return kept;
}

#endif

}  // namespace

std::u16string WriteNewTempFile(const char* suffix, const unsigned char* data, size_t size) {
    Native path;
    auto file = CreateNew(suffix, &path);
#if defined(_WIN32)
    if (file == INVALID_HANDLE_VALUE) return std::u16string();
#else
    if (file < 0) return std::u16string();
#endif
    const bool written = WriteAll(file, data, size);
    return Finish(file, path, written) ? ToUtf16(path) : std::u16string();
}

std::u16string WriteNewTestFile(uint32_t size) {
    Native path;
    auto file = CreateNew(".bin", &path);
#if defined(_WIN32)
    if (file == INVALID_HANDLE_VALUE) return std::u16string();
#else
    if (file < 0) return std::u16string();
#endif
    bool written = true;
    if (size > kPatternFileLimit) {
        written = WriteLastByte(file, size, static_cast<unsigned char>((size - 1u) % 251u));
    } else {
        std::vector<unsigned char> bytes(size);
        FillPattern(bytes.data(), bytes.size(), 0);
        written = WriteAll(file, bytes.data(), bytes.size());
    }
    return Finish(file, path, written) ? ToUtf16(path) : std::u16string();
}

bool DeleteTempFile(const std::u16string& path) {
    const Native native = FromUtf16(path);
#if defined(_WIN32)
    return DeleteFileW(native.c_str()) != 0;
#else
    return unlink(native.c_str()) == 0;
#endif
}

bool TempFileExists(const std::u16string& path) {
    const Native native = FromUtf16(path);
#if defined(_WIN32)
    return GetFileAttributesW(native.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    return access(native.c_str(), F_OK) == 0;
#endif
}

}  // namespace ztsim
