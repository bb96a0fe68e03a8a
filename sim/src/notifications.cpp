#include "notifications.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

static_assert(sizeof(ZTCameraRecord) == ZT_CAMERA_RECORD_SIZE, "camera record layout");

namespace ztsim {

namespace {

// A delivery's entry among the running callbacks: made once the delivery has
// found its subscription live, taken out when the callback returns (or
// throws), waking a ZTFree that waits for it.
class RunningEntry {
public:
    // The caller holds state.mutex.
    RunningEntry(SimState& state, uint64_t serial)
        : state_(state), serial_(serial), thread_(std::this_thread::get_id()) {
        state_.runningCallbacks.push_back(RunningCallback{serial_, thread_});
    }

    // Called without state.mutex.
    ~RunningEntry() {
        try {
            std::lock_guard<std::mutex> lock(state_.mutex);
            std::vector<RunningCallback>& running = state_.runningCallbacks;
            for (auto it = running.begin(); it != running.end(); ++it) {
                if (it->serial == serial_ && it->thread == thread_) {
                    running.erase(it);
                    break;
                }
            }
            state_.callbackReturned.notify_all();
        } catch (...) {
            // Only a broken mutex gets here.
        }
    }

    RunningEntry(const RunningEntry&) = delete;
    RunningEntry& operator=(const RunningEntry&) = delete;

private:
    SimState& state_;
    uint64_t serial_;
    std::thread::id thread_;
};

}  // namespace

void QueueNotification(SimState& state, const LiveSubscription& target, uint32_t delayMs,
                       Invoker invoke, CallbackLane lane) {
    const ZTHandle handle = target.handle;
    const uint64_t serial = target.subscription.serial;
    SimState* const shared = &state;
    CallbackQueue::Task task = [shared, handle, serial, invoke]() {
        AnyProc proc = nullptr;
        void* context = nullptr;
        std::unique_ptr<RunningEntry> running;
        {
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (!shared->initialized) return;
            const Subscription* live = shared->subscriptions.Find(handle, serial);
            if (live == nullptr) return;
            proc = live->proc;
            context = live->context;
            running.reset(new RunningEntry(*shared, serial));
        }
        invoke(proc, context);
    };
    if (lane == CallbackLane::InTurn) {
        state.callbacks.PostInTurn(delayMs, std::move(task));
    } else {
        state.callbacks.Post(delayMs, std::move(task));
    }
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
