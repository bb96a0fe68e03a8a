// Loads a Camera SDK by path (LoadLibrary or dlopen) and resolves the 25
// functions on the library's own handle.
#ifndef ZTPROBE_SDK_LIBRARY_H
#define ZTPROBE_SDK_LIBRARY_H

#include <string>

#include "zt_functions.h"

namespace ztprobe {

// The Camera SDK's file name beside ztprobe.
std::string DefaultLibraryPath();

// Loads `path` (UTF-8) and fills `api`; the library stays loaded until the
// process ends (a Camera SDK's threads may outlive its last callback).
// Returns false with `error` when it cannot be loaded.
bool LoadSdk(const std::string& path, ztkit::ZtApi* api, std::string* error);

}  // namespace ztprobe

#endif  // ZTPROBE_SDK_LIBRARY_H
