#include "surface/library.h"

#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#include <shlobj.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace kq::surface {

const char* const kExportNames[26] = {
    "KQ_ClearEventCallBack",      "KQ_ConnectCamera",
    "KQ_CreateCameraObject",      "KQ_DestroyCameraObject",
    "KQ_DisconnectCamera",        "KQ_FinishSDK",
    "KQ_GetDeviceInfo",           "KQ_GetDeviceList",
    "KQ_GetDevicePropDesc",       "KQ_GetDevicePropValue",
    "KQ_GetDllsVersion",          "KQ_GetFunctions",
    "KQ_InitiateReleaseControl",  "KQ_RC_DoAeAfAwb",
    "KQ_RC_FocusLock",            "KQ_RC_FocusUnlock",
    "KQ_RC_GetChangedReleaseParamesList", "KQ_RC_GetNumAvailableShot",
    "KQ_RC_GetReleasedData",      "KQ_RC_Release",
    "KQ_RC_StartViewFinder",      "KQ_RC_TermViewFinder",
    "KQ_SetDevicePropValue",      "KQ_SetEventCallBack",
    "KQ_StartSDK",                "KQ_TerminateReleaseControl",
};

std::string BesideProgram(const char* fileName) {
#if defined(_WIN32)
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder = folder.substr(0, folder.find_last_of("\\/") + 1);
#else
    char path[4096] = {0};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string folder(path, n > 0 ? static_cast<std::size_t>(n) : 0);
    folder = folder.substr(0, folder.find_last_of('/') + 1);
#endif
    return folder + fileName;
}

std::string LogPath() {
#if defined(_WIN32)
    char folder[MAX_PATH] = {0};
    SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, folder);
    return std::string(folder) + "\\tovexbridge.log";
#else
    const char* state = std::getenv("XDG_STATE_HOME");
    return std::string(state != nullptr ? state : "") + "/tovexbridge.log";
#endif
}

Library::Library() {
#if defined(_WIN32)
    handle_ = reinterpret_cast<void*>(LoadLibraryA("KQSDK.dll"));
#else
    handle_ = dlopen(BesideProgram("libKQSDK.so").c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (handle_ == nullptr) return;
    void** slots = reinterpret_cast<void**>(&api_);
    for (int i = 0; i < 26; ++i) slots[i] = Symbol(kExportNames[i]);
}

Library::~Library() { Unload(); }

void* Library::Symbol(const char* name) const {
    if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    return dlsym(handle_, name);
#endif
}

void* Library::Ordinal(unsigned ordinal) const {
#if defined(_WIN32)
    if (handle_ == nullptr) return nullptr;
    return reinterpret_cast<void*>(
        GetProcAddress(static_cast<HMODULE>(handle_), MAKEINTRESOURCEA(ordinal)));
#else
    (void)ordinal;
    return nullptr;
#endif
}

void Library::Unload() {
    if (handle_ == nullptr) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
    api_ = Exports{};
}

}  // namespace kq::surface
