#include "sdk_library.h"

#include "text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

#include <vector>

namespace ztprobe {

#if defined(_WIN32)

namespace {

std::string Narrow(const wchar_t* text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer.data(), bytes, nullptr, nullptr);
    return std::string(buffer.data());
}

}  // namespace

std::string DefaultLibraryPath() {
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return "ZTSDK_32.dll";
    std::wstring path(buffer.data(), length);
    const std::size_t slash = path.find_last_of(L"\\/");
    path = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    return Narrow((path + L"ZTSDK_32.dll").c_str());
}

bool LoadSdk(const std::string& path, ztkit::ZtApi* api, std::string* error) {
    const HMODULE module = LoadLibraryW(ztkit::Wide(path).c_str());
    if (module == nullptr) {
        *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    ztkit::ResolveZtApi(
        [module](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); }, api,
        nullptr);
    return true;
}

#else

std::string DefaultLibraryPath() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return "./libZTSDK_32.so";
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1)) + "libZTSDK_32.so";
}

bool LoadSdk(const std::string& path, ztkit::ZtApi* api, std::string* error) {
    // A bare name would be searched for; a path is taken as it is.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        *error = "cannot load " + path + ": " + (reason != nullptr ? reason : "unknown error");
        return false;
    }
    ztkit::ResolveZtApi([handle](const char* name) { return dlsym(handle, name); }, api, nullptr);
    return true;
}

#endif

}  // namespace ztprobe
