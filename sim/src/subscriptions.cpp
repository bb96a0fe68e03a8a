#include "subscriptions.h"

#include <algorithm>

namespace ztsim {

void SubscriptionTable::Add(ZTHandle handle, SubscriptionKind kind, ZTHandle source, AnyProc proc,
                            void* context) {
    table_[handle] = Subscription{kind, source, proc, context, nextSerial_++};
}

void SubscriptionTable::Remove(ZTHandle handle) { table_.erase(handle); }

const Subscription* SubscriptionTable::Get(ZTHandle handle) const {
    auto found = table_.find(handle);
    return found == table_.end() ? nullptr : &found->second;
}

const Subscription* SubscriptionTable::Find(ZTHandle handle, uint64_t serial) const {
    auto found = table_.find(handle);
    if (found == table_.end() || found->second.serial != serial) return nullptr;
    return &found->second;
}

std::vector<LiveSubscription> SubscriptionTable::OfKind(SubscriptionKind kind,
                                                        ZTHandle source) const {
    std::vector<LiveSubscription> result;
    for (const auto& entry : table_) {
        if (entry.second.kind != kind) continue;
        if (source != nullptr && entry.second.source != source) continue;
        result.push_back(LiveSubscription{entry.first, entry.second});
    }
    std::sort(result.begin(), result.end(), [](const LiveSubscription& a, const LiveSubscription& b) {
        return a.subscription.serial < b.subscription.serial;
    });
    return result;
}

void SubscriptionTable::Clear() { table_.clear(); }

}  // namespace ztsim
