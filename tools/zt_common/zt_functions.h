// The 25 Camera SDK functions the bridge calls, as one list, and a table of
// pointers to them for a program that loads a Camera SDK by path (ztprobe)
// or forwards to one (the recording Camera SDK).
#ifndef ZT_COMMON_ZT_FUNCTIONS_H
#define ZT_COMMON_ZT_FUNCTIONS_H

#include "camera_sdk.h"

// X(name) for each function, in the order of camera_sdk/ZTSDK_32.def.
#define ZT_FUNCTION_LIST(X)                                                                    \
    X(ZTInitializeSDK) X(ZTTerminateSDK) X(ZTGetCameraManager) X(ZTFree)                       \
    X(ZTCameraListChangedSubscribe) X(ZTGetCameraList) X(ZTOpenSession)                        \
    X(ZTShootCompletedSubscribe) X(ZTDownloadCompletedSubscribe) X(ZTZoomCompletedSubscribe)   \
    X(ZTCameraErrorSubscribe) X(ZTNewPreviewFrameSubscribe) X(ZTSetPreviewState)               \
    X(ZTGetPreviewFrame) X(ZTShoot) X(ZTDownloadFile) X(ZTUpdateAEAF) X(ZTGetPropertyList)     \
    X(ZTGetPropertyDesc) X(ZTGetPropertyData) X(ZTSetPropertyData) X(ZTGetPropertyName)        \
    X(ZTGetZoom) X(ZTSetZoom) X(ZTGetMaximumZoom)

namespace ztkit {

#define ZT_COMMON_COUNT_ONE(name) +1
constexpr int kZtFunctionCount = 0 ZT_FUNCTION_LIST(ZT_COMMON_COUNT_ONE);
#undef ZT_COMMON_COUNT_ONE
static_assert(kZtFunctionCount == 25, "the bridge calls 25 Camera SDK functions");

// One pointer per function, null where a library lacks it.
struct ZtApi {
#define ZT_COMMON_POINTER(name) decltype(&::name) name = nullptr;
    ZT_FUNCTION_LIST(ZT_COMMON_POINTER)
#undef ZT_COMMON_POINTER
};

// The functions' names, in list order.
inline const char* const* ZtFunctionNames() {
#define ZT_COMMON_NAME(name) #name,
    static const char* const names[] = {ZT_FUNCTION_LIST(ZT_COMMON_NAME)};
#undef ZT_COMMON_NAME
    return names;
}

// Fills `api` from `resolve(name)` (dlsym or GetProcAddress on a library);
// returns the number of functions it lacks, and their names in `missing`
// (an array of kZtFunctionCount entries) when given.
template <class Resolve>
int ResolveZtApi(Resolve resolve, ZtApi* api, const char** missing) {
    int lacking = 0;
#define ZT_COMMON_RESOLVE(name)                                                   \
    api->name = reinterpret_cast<decltype(&::name)>(resolve(#name));             \
    if (api->name == nullptr) {                                                   \
        if (missing != nullptr) missing[lacking] = #name;                         \
        ++lacking;                                                                \
    }
    ZT_FUNCTION_LIST(ZT_COMMON_RESOLVE)
#undef ZT_COMMON_RESOLVE
    return lacking;
}

}  // namespace ztkit

#endif  // ZT_COMMON_ZT_FUNCTIONS_H
