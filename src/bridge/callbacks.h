// The bridge's Camera SDK callbacks. The Camera SDK calls them on threads of
// its own. Each acts only when its context checks out, and none lets an
// exception escape into the Camera SDK.
#ifndef KQSDK_BRIDGE_CALLBACKS_H
#define KQSDK_BRIDGE_CALLBACKS_H

#include <cstdint>

#include "bridge/camera_sdk.h"

namespace kq {

void ZT_STDCALL CameraListChangedCallback(void* context, const void* cameraRecord,
                                          std::int32_t changeKind);
void ZT_STDCALL CameraErrorCallback(void* context, std::int32_t errorKind);
void ZT_STDCALL ShootCompletedCallback(void* context, const void* shotRecord);
void ZT_STDCALL DownloadCompletedCallback(void* context, std::uint32_t value,
                                          const std::uint16_t* path);
void ZT_STDCALL ZoomCompletedCallback(void* context);
void ZT_STDCALL NewPreviewFrameCallback(void* context);

}  // namespace kq

#endif  // KQSDK_BRIDGE_CALLBACKS_H
