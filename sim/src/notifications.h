// Queuing notifications to subscriptions on the callback threads.
#ifndef ZTSIM_NOTIFICATIONS_H
#define ZTSIM_NOTIFICATIONS_H

#include <stdint.h>

#include <functional>

#include "sim_state.h"

namespace ztsim {

// Calls the subscription's callback, cast back to its own type, with its
// context and whatever else the notification carries.
using Invoker = std::function<void(AnyProc proc, void* context)>;

// Which callback thread a notification runs on: the first, in order with
// every other notification, or the next one in turn (preview frames).
enum class CallbackLane : uint8_t { First, InTurn };

// Queues one notification for a live subscription, due after delayMs. At
// delivery the subscription is looked up again: if the client released it
// meanwhile (or the SDK was terminated), nothing is called. From that look-up
// until the callback returns the delivery counts as a running callback of
// the subscription. The caller holds state.mutex.
void QueueNotification(SimState& state, const LiveSubscription& target, uint32_t delayMs,
                       Invoker invoke, CallbackLane lane = CallbackLane::First);

// Queues a camera-list-changed notification for every live subscription.
// Returns the number of subscriptions reached. The caller holds state.mutex.
uint32_t QueueCameraListChanged(SimState& state, uint32_t cameraId, int32_t changeKind);

// Queues a camera-error notification for every live camera-error
// subscription, on `session` only unless it is null. Returns the number of
// subscriptions reached. The caller holds state.mutex.
uint32_t QueueCameraError(SimState& state, ZTHandle session, int32_t errorKind);

}  // namespace ztsim

#endif  // ZTSIM_NOTIFICATIONS_H
