// Win32 host services: the shell's local application-data folder, the
// message box, Sleep, and the C runtime's wide-character file functions with
// shared access.
#include <windows.h>
#include <shlobj.h>
#include <share.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <io.h>
#include <string>

#include "platform/hooks.h"
#include "platform/platform.h"

namespace kq::platform {

const char kPathSeparator = '\\';

namespace {

// The Camera SDK's UTF-16 paths, as the wide strings the runtime expects.
std::wstring ToWide(const std::uint16_t* path) {
    std::wstring out;
    for (const std::uint16_t* p = path; *p != 0; ++p) out += static_cast<wchar_t>(*p);
    return out;
}

}  // namespace

bool LocalAppDataFolder(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    char folder[MAX_PATH] = {0};
    // CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE: the folder is made if missing.
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0,
                                folder))) {
        return false;
    }
    const std::size_t length = strnlen(folder, sizeof folder);
    if (length >= size) return false;
    std::memcpy(buffer, folder, length + 1);
    return true;
}

std::FILE* OpenSharedForWriting(const char* path) { return _fsopen(path, "w", _SH_DENYNO); }

LocalTime CurrentLocalTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LocalTime t;
    t.month = now.wMonth;
    t.day = now.wDay;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    t.millisecond = now.wMilliseconds;
    return t;
}

void ShowMessageBox(const char* text) {
    if (auto hook = detail::messageBoxHook.load()) {
        hook(text);
        return;
    }
    MessageBoxA(nullptr, text, "ZT-SDK", MB_OK);
}

void Sleep(std::uint32_t milliseconds) {
    if (auto hook = detail::sleepHook.load()) {
        hook(milliseconds);
        return;
    }
    ::Sleep(milliseconds);
}

namespace {
// TLS_OUT_OF_INDEXES until allocated; then the index of the thread word.
DWORD threadWordIndex = TLS_OUT_OF_INDEXES;
}  // namespace

void AllocateThreadWord() {
    if (threadWordIndex == TLS_OUT_OF_INDEXES) threadWordIndex = TlsAlloc();
}

void FreeThreadWord() {
    if (threadWordIndex == TLS_OUT_OF_INDEXES) return;
    TlsFree(threadWordIndex);
    threadWordIndex = TLS_OUT_OF_INDEXES;
}

std::uintptr_t ThreadWord() {
    if (threadWordIndex == TLS_OUT_OF_INDEXES) return 0;
    return reinterpret_cast<std::uintptr_t>(TlsGetValue(threadWordIndex));
}

void SetThreadWord(std::uintptr_t value) {
    if (threadWordIndex == TLS_OUT_OF_INDEXES) return;
    TlsSetValue(threadWordIndex, reinterpret_cast<void*>(value));
}

std::FILE* OpenUtf16ForReading(const std::uint16_t* path) {
    if (path == nullptr) return nullptr;
    return _wfsopen(ToWide(path).c_str(), L"rb", _SH_DENYNO);
}

bool DeleteUtf16File(const std::uint16_t* path) {
    if (path == nullptr) return false;
    return _wremove(ToWide(path).c_str()) == 0;
}

std::int64_t FileLength(std::FILE* file) {
    if (file == nullptr) return -1;
    const long long length = _filelengthi64(_fileno(file));
    return length < 0 ? -1 : static_cast<std::int64_t>(length);
}

}  // namespace kq::platform
