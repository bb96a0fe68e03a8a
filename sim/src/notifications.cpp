#include "notifications.h"

#include <cstring>
#include <memory>

static_assert(sizeof(ZTCameraRecord) == ZT_CAMERA_RECORD_SIZE, "camera record layout");

namespace ztsim {

void QueueNotification(SimState& state, const LiveSubscription& target, uint32_t delayMs,
                       Invoker invoke) {
    const ZTHandle handle = target.handle;
    const uint64_t serial = target.subscription.serial;
    SimState* const shared = &state;
    state.callbacks.Post(delayMs, [shared, handle, serial, invoke]() {
        AnyProc proc = nullptr;
        void* context = nullptr;
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (!shared->initialized) return;
            const Subscription* live = shared->subscriptions.Find(handle, serial);
            if (live == nullptr) return;
            proc = live->proc;
            context = live->context;
        }
        invoke(proc, context);
    });
}

uint32_t QueueCameraListChanged(SimState& state, uint32_t cameraId, int32_t changeKind) {
    if (!state.initialized) return 0;
    // The record lives until the last delivery that uses it has returned.
    auto record = std::make_shared<ZTCameraRecord>();
    std::memset(record.get(), 0, sizeof(ZTCameraRecord));
    record->cameraId = cameraId;

    uint32_t reached = 0;
    for (const LiveSubscription& target : state.subscriptions.OfKind(SubscriptionKind::CameraListChanged)) {
        QueueNotification(state, target, 0, [record, changeKind](AnyProc proc, void* context) {
            reinterpret_cast<ZTCameraListChangedProc>(proc)(context, record.get(), changeKind);
        });
        ++reached;
    }
    return reached;
}

uint32_t QueueCameraError(SimState& state, ZTHandle session, int32_t errorKind) {
    if (!state.initialized) return 0;
    uint32_t reached = 0;
    for (const LiveSubscription& target :
         state.subscriptions.OfKind(SubscriptionKind::CameraError, session)) {
        QueueNotification(state, target, 0, [errorKind](AnyProc proc, void* context) {
            reinterpret_cast<ZTCameraErrorProc>(proc)(context, errorKind);
        });
        ++reached;
    }
    return reached;
}

}  // namespace ztsim
