// Camera SDK handles with their users, and the one place where the bridge
// releases them.
//
// Every handle the bridge keeps (camera manager, camera list, session and
// the six subscriptions) lives in a HandleSlot. A thread that hands the
// handle to the Camera SDK, reads the memory behind it, or runs a Camera SDK
// callback of a subscription first takes a HandleRef from the slot; the
// handle stays valid until its last reference ends.
//
// Releasing a slot empties it at once, so no new reference can be taken,
// then waits a bounded time for the references still held and frees the
// handle with ZTFree. A thread inside one of the library's callbacks never
// waits (the thread it would wait for may be waiting for it, or be itself):
// the handle is then freed by whoever ends the last reference. Either way a
// handle is freed exactly once and never under a running call.
//
// A handle made through another one (a session through the camera manager,
// a subscription through the session) holds a reference on that parent, so
// a parent is always freed after everything made through it.
//
// One mutex guards every slot and record. It is held only for a few
// instructions: never across a Camera SDK call, a client callback, the log
// or a wait (the wait releases it).
#ifndef KQSDK_BRIDGE_HANDLE_SLOT_H
#define KQSDK_BRIDGE_HANDLE_SLOT_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "camera_sdk.h"

namespace kq {

class HandleTable;
struct HandleRecord;

// Until when a release may wait for the users of its handles. One deadline
// is shared by all the releases of one operation, so that the operation as
// a whole is bounded.
class Deadline {
public:
    // Waits end this long from now.
    static Deadline After(std::uint32_t milliseconds);
    // Never waits: for unload, where waiting could hang the loader.
    static Deadline Immediate();

    bool allowsWaiting() const { return waits_; }
    std::chrono::steady_clock::time_point time() const { return time_; }

private:
    Deadline(bool waits, std::chrono::steady_clock::time_point time) : waits_(waits), time_(time) {}
    bool waits_;
    std::chrono::steady_clock::time_point time_;
};

// Marks the calling thread as running inside one of the library's callbacks
// (a Camera SDK callback, or a client callback the library calls) for as
// long as it lives.
class CallbackScope {
public:
    CallbackScope() noexcept;
    ~CallbackScope();
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;
};

// Whether the calling thread is inside one of the library's callbacks.
bool InsideCallback() noexcept;

// One counted use of a handle. Moving transfers the use; the destructor ends
// it, and frees the handle when it was the last use of a released one.
class HandleRef {
public:
    HandleRef() noexcept = default;
    HandleRef(HandleRef&& other) noexcept : record_(other.record_) { other.record_ = nullptr; }
    HandleRef& operator=(HandleRef&& other) noexcept;
    ~HandleRef() { Reset(); }
    HandleRef(const HandleRef&) = delete;
    HandleRef& operator=(const HandleRef&) = delete;

    // The handle; null while the Camera SDK call that makes it is under way,
    // or when that call failed.
    ZTHandle get() const noexcept;
    // Entries in a camera list (0 for other handles).
    std::uint32_t items() const noexcept;
    // Whether this is a use of a record at all.
    bool held() const noexcept { return record_ != nullptr; }

    // Gives the record opened by HandleSlot::Open the handle that the Camera
    // SDK call made (with its entry count for a camera list). A null handle
    // means the call failed: the record then leaves its slot.
    void Adopt(ZTHandle handle, std::uint32_t items = 0) noexcept;

    // Ends the use now.
    void Reset() noexcept;

private:
    friend class HandleSlot;
    explicit HandleRef(HandleRecord* record) noexcept : record_(record) {}
    HandleRecord* record_ = nullptr;
};

class HandleSlot {
public:
    enum class Mode {
        kReplace,  // a record already in the slot is released without waiting
        kIfEmpty,  // an occupied slot refuses the new record
    };

    HandleSlot(HandleTable& table, const char* name) noexcept : table_(table), name_(name) {}
    HandleSlot(const HandleSlot&) = delete;
    HandleSlot& operator=(const HandleSlot&) = delete;

    // Puts a record without a handle into the slot, before the Camera SDK
    // call that makes the handle, so that a callback arriving during that
    // call already finds its subscription. The record holds `parent` (an
    // empty reference for none) until it is freed. Returns the opener's use
    // of the record, to be given the handle with Adopt; an empty reference
    // when the parent is being released, the slot is occupied (kIfEmpty) or
    // memory ran out.
    HandleRef Open(const HandleRef& parent, Mode mode) noexcept;

    // A use of the record in the slot; empty when the slot is empty.
    HandleRef Acquire() const noexcept;

    // The handle in the slot now, null when there is none. Only for checks
    // whose answer may be stale at once, and for tests.
    ZTHandle load() const noexcept;
    // Whether the slot holds a record (with or without its handle yet).
    bool occupied() const noexcept;

    // Empties the slot and frees its handle once no use of it remains:
    // waits until then, at most until the deadline, unless the calling
    // thread is inside a callback. A handle still in use when the wait ends
    // is freed by its last user, and the log names it.
    void Release(const Deadline& deadline) noexcept;

    const char* name() const { return name_; }

    // Counts a Camera SDK callback of this slot's subscription as running in
    // the library's code for as long as it lives, whether or not it finds
    // the subscription. After freeing a subscription, Release also waits
    // for these, so that a callback that came in while the subscription was
    // being released has left the library's code when Release returns.
    class Entered {
    public:
        explicit Entered(HandleSlot& slot) noexcept : slot_(slot) { slot.entries_.fetch_add(1); }
        ~Entered() { slot_.Leave(); }
        Entered(const Entered&) = delete;
        Entered& operator=(const Entered&) = delete;

    private:
        HandleSlot& slot_;
    };

private:
    friend class HandleTable;
    friend class HandleRef;
    void Leave() noexcept;
    HandleTable& table_;
    const char* name_;
    HandleRecord* record_ = nullptr;  // guarded by the table's mutex
    std::atomic<std::uint32_t> entries_{0};
};

// The records of one set of slots, the lock that guards them and the
// condition that releases wait on.
class HandleTable {
public:
    HandleTable();
    ~HandleTable();
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;

    // How long one operation's releases may wait for the users of its handles.
    Deadline ReleaseDeadline() const;

    // Records not yet freed: those in slots and those waiting for their last
    // user.
    std::uint32_t LiveRecordCount();

    // Test seams. The wait limit (normally a few seconds) of later releases;
    // and forgetting every record without freeing its handle, after the
    // simulated Camera SDK has been reset under the bridge.
    void SetWaitLimitForTesting(std::uint32_t milliseconds);
    void ForgetAllForTesting();

private:
    friend class HandleSlot;
    friend class HandleRef;

    // Ends one use of `record`; returns it when the caller must free it
    // (released, unused and nobody waiting for it). Caller holds mutex_.
    HandleRecord* DropLocked(HandleRecord* record);
    // Takes `record` out of the slot that holds it and marks it released;
    // returns it when it can be freed at once. Caller holds mutex_.
    HandleRecord* RetireLocked(HandleRecord* record);
    // Frees a record's handle, then ends its use of its parent, and so on up.
    void FreeChain(HandleRecord* record);
    void Link(HandleRecord* record);
    void Unlink(HandleRecord* record);

    std::mutex mutex_;
    std::condition_variable released_;
    std::atomic<std::uint32_t> entryWaiters_{0};  // releases waiting for callbacks to leave
    HandleRecord* live_ = nullptr;  // every record not yet freed
    std::uint32_t liveCount_ = 0;
    std::atomic<std::uint32_t> waitLimitMs_;
};

// Makes a handle into `slot` through `parent`: opens the slot's record, runs
// `make` (the Camera SDK call that returns the handle) and gives the record
// its result. Returns the handle; null when the call failed, or was not made
// because the parent is being released or the slot refused the record.
template <typename Make>
ZTHandle MakeInto(HandleSlot& slot, const HandleRef& parent, HandleSlot::Mode mode, Make make) {
    HandleRef opened = slot.Open(parent, mode);
    if (!opened.held()) return nullptr;
    ZTHandle made = make();
    opened.Adopt(made);
    return made;
}

}  // namespace kq

#endif  // KQSDK_BRIDGE_HANDLE_SLOT_H
