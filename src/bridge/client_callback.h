// A client callback together with the context the client registered with
// it. The Camera SDK's threads read the two while the client's thread may
// clear or replace them; kept as one 8-byte atomic value, a reader always
// gets a pair that was registered together, never one registration's
// callback with another's (or a cleared) context. Lock-free: a plain store
// on one side and a plain load on the other, as with single fields.
#ifndef KQSDK_BRIDGE_CLIENT_CALLBACK_H
#define KQSDK_BRIDGE_CLIENT_CALLBACK_H

#include <atomic>

#include "bridge/race_annotations.h"

namespace kq {

// Aligned to its size: only then is an 8-byte value read and written as
// one on a 32-bit x86 processor (and clang emits the instructions inline
// rather than calls into a lock-based runtime).
template <typename Callback>
struct alignas(8) CallbackBinding {
    Callback callback;
    void* context;
};

// Every access is sequentially consistent, one total order of stores and
// loads; the race checker is told so (race_annotations.h).
template <typename Callback>
class AtomicCallbackBinding {
public:
    void Set(Callback function, void* clientContext) { Store({function, clientContext}); }
    void Clear() { Store({nullptr, nullptr}); }
    CallbackBinding<Callback> Load() const {
        HandOffReceived(&binding_);
        const CallbackBinding<Callback> loaded = binding_.load();
        HandOffSent(&binding_);
        return loaded;
    }
    Callback callback() const { return Load().callback; }
    void* context() const { return Load().context; }

private:
    void Store(CallbackBinding<Callback> binding) {
        HandOffReceived(&binding_);
        binding_.store(binding);
        HandOffSent(&binding_);
    }

    std::atomic<CallbackBinding<Callback>> binding_{CallbackBinding<Callback>{nullptr, nullptr}};
    static_assert(std::atomic<CallbackBinding<Callback>>::is_always_lock_free,
                  "a callback and its context must be readable as one lock-free value");
};

}  // namespace kq

#endif  // KQSDK_BRIDGE_CLIENT_CALLBACK_H
