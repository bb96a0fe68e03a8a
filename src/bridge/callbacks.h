// The bridge's Camera SDK callbacks. The Camera SDK calls them on threads of
// its own. Each acts only while it holds its subscription and its context
// checks out, and none lets an exception escape into the Camera SDK.
#ifndef KQSDK_BRIDGE_CALLBACKS_H
#define KQSDK_BRIDGE_CALLBACKS_H

#include <cstdint>

#include "bridge/handle_slot.h"
#include "camera_sdk.h"

namespace kq {

// What every Camera SDK callback does first: marks its thread as inside a
// callback and takes a use of its own subscription, so that releasing the
// subscription waits for the callback (and an unload cannot pull the code
// from under it). A subscription already released, or not yet made, makes
// the callback do nothing.
class CallbackEntry {
public:
    explicit CallbackEntry(HandleSlot& subscription) noexcept
        : entered_(subscription), use_(subscription.Acquire()) {}
    bool live() const { return use_.held(); }

private:
    // In order of making; ended in reverse, so the callback is counted as
    // running until its last step here.
    HandleSlot::Entered entered_;
    CallbackScope inside_;
    HandleRef use_;
};

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
