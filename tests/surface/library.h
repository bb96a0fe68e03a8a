// Loads the built KQSDK by name, as a client application does, and resolves
// its 26 exports. Unloading runs the library's static destructors.
#ifndef KQSDK_TESTS_SURFACE_LIBRARY_H
#define KQSDK_TESTS_SURFACE_LIBRARY_H

#include <string>

#include "kqsdk.h"

namespace kq::surface {

struct Exports {
    decltype(&KQ_ClearEventCallBack) ClearEventCallBack;
    decltype(&KQ_ConnectCamera) ConnectCamera;
    decltype(&KQ_CreateCameraObject) CreateCameraObject;
    decltype(&KQ_DestroyCameraObject) DestroyCameraObject;
    decltype(&KQ_DisconnectCamera) DisconnectCamera;
    decltype(&KQ_FinishSDK) FinishSDK;
    decltype(&KQ_GetDeviceInfo) GetDeviceInfo;
    decltype(&KQ_GetDeviceList) GetDeviceList;
    decltype(&KQ_GetDevicePropDesc) GetDevicePropDesc;
    decltype(&KQ_GetDevicePropValue) GetDevicePropValue;
    decltype(&KQ_GetDllsVersion) GetDllsVersion;
    decltype(&KQ_GetFunctions) GetFunctions;
    decltype(&KQ_InitiateReleaseControl) InitiateReleaseControl;
    decltype(&KQ_RC_DoAeAfAwb) RC_DoAeAfAwb;
    decltype(&KQ_RC_FocusLock) RC_FocusLock;
    decltype(&KQ_RC_FocusUnlock) RC_FocusUnlock;
    decltype(&KQ_RC_GetChangedReleaseParamesList) RC_GetChangedReleaseParamesList;
    decltype(&KQ_RC_GetNumAvailableShot) RC_GetNumAvailableShot;
    decltype(&KQ_RC_GetReleasedData) RC_GetReleasedData;
    decltype(&KQ_RC_Release) RC_Release;
    decltype(&KQ_RC_StartViewFinder) RC_StartViewFinder;
    decltype(&KQ_RC_TermViewFinder) RC_TermViewFinder;
    decltype(&KQ_SetDevicePropValue) SetDevicePropValue;
    decltype(&KQ_SetEventCallBack) SetEventCallBack;
    decltype(&KQ_StartSDK) StartSDK;
    decltype(&KQ_TerminateReleaseControl) TerminateReleaseControl;
};

// The 26 export names in ordinal order (ordinal = index + 1).
extern const char* const kExportNames[26];

class Library {
public:
    Library();  // loads KQSDK from the folder of the running test program
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    // Address of an export by name, or null.
    void* Symbol(const char* name) const;
    // Address of an export by ordinal (Windows only; null elsewhere).
    void* Ordinal(unsigned ordinal) const;
    // Unloads now (also done by the destructor).
    void Unload();

    const Exports& api() const { return api_; }

private:
    void* handle_ = nullptr;
    Exports api_{};
};

// Full path of a file next to the running test program.
std::string BesideProgram(const char* fileName);

// Where the bridge writes its log while these tests run.
std::string LogPath();

}  // namespace kq::surface

#endif  // KQSDK_TESTS_SURFACE_LIBRARY_H
