// Table of live subscriptions by handle, searchable by kind and source.
#ifndef ZTSIM_SUBSCRIPTIONS_H
#define ZTSIM_SUBSCRIPTIONS_H

#include <stdint.h>

#include <map>
#include <vector>

#include "camera_sdk.h"

namespace ztsim {

enum class SubscriptionKind : uint8_t {
    CameraListChanged,
    ShootCompleted,
    DownloadCompleted,
    NewPreviewFrame,
    ZoomCompleted,
    CameraError,
};

// Callbacks are stored type-erased and cast back to their own type by the
// code that delivers their notification kind.
using AnyProc = void (*)(void);

struct Subscription {
    SubscriptionKind kind;
    ZTHandle source;  // camera manager or session subscribed to
    AnyProc proc;
    void* context;
    uint64_t serial;  // tells a subscription from a later one at the same address
};

struct LiveSubscription {
    ZTHandle handle;
    Subscription subscription;
};

class SubscriptionTable {
public:
    // Records a subscription under `handle` and gives it a fresh serial.
    void Add(ZTHandle handle, SubscriptionKind kind, ZTHandle source, AnyProc proc, void* context);

    void Remove(ZTHandle handle);

    // The subscription live under handle, or null.
    const Subscription* Get(ZTHandle handle) const;

    // The subscription still live under handle with that serial, or null.
    const Subscription* Find(ZTHandle handle, uint64_t serial) const;

    // Live subscriptions of `kind`, oldest first; only those on `source`
    // unless it is null.
    std::vector<LiveSubscription> OfKind(SubscriptionKind kind, ZTHandle source = nullptr) const;

    void Clear();

private:
    std::map<ZTHandle, Subscription> table_;
    uint64_t nextSerial_ = 1;  // never reset, so stale serials never match again
};

}  // namespace ztsim

#endif  // ZTSIM_SUBSCRIPTIONS_H
