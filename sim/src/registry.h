// Record of every handle and buffer the simulated SDK hands out, so that
// leaks, double frees and frees of foreign pointers show up in tests instead
// of corrupting the heap. It also knows which handle each one was made
// through and which handles ZT calls are using right now, so that releasing
// a parent before its children, or a handle under a running call, shows up
// as well.
#ifndef ZTSIM_REGISTRY_H
#define ZTSIM_REGISTRY_H

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "zt_sim.h"

namespace ztsim {

enum class ObjectKind : uint8_t {
    CameraManager,
    Subscription,
    CameraList,
    Session,
    Array,
    Descriptor,
    Frame,
};

const char* ObjectKindName(ObjectKind kind);

// Size of the block behind an opaque handle (manager, session, subscription).
// The client never looks inside; the block only gives each handle a unique,
// valid address.
constexpr size_t kHandleBlockSize = 16;

// How long a ZTFree (or ZTTerminateSDK) that waits for running callbacks
// waits before it records a fault and goes on.
constexpr uint32_t kCallbackWaitLimitSeconds = 10;

class Registry {
public:
    // Hands out a zeroed block of `bytes` bytes (at least one), recorded as a
    // `kind` made by `maker` through `parent` (the camera manager or session
    // it belongs to; null for none). Throws std::bad_alloc when memory runs
    // out.
    void* Issue(ObjectKind kind, ZTSimFunction maker, size_t bytes, const void* parent = nullptr);

    // Takes a block back. Returns true and its kind when it was outstanding;
    // anything else is recorded as a free fault and the call returns false.
    // Releasing an outstanding block still records a fault when a ZT call
    // given it is in flight, and one when something made through it is still
    // outstanding (its children then have no parent on record any more).
    bool Release(const void* address, ObjectKind* kind);

    // A ZT call given `handle` has entered or left the simulator. Calls on
    // handles are counted across Forget, since they are still running.
    void CallStarted(const void* handle, ZTSimFunction fn);
    void CallEnded(const void* handle, ZTSimFunction fn);

    // Records that ZTFree of the subscription at `address`, made by `maker`,
    // gave up waiting for a running callback.
    void AddFreeWaitTimeout(const void* address, ZTSimFunction maker);

    // Records that ZTTerminateSDK gave up waiting for a running callback.
    void AddTerminateWaitTimeout();

    bool IsLive(const void* address, ObjectKind kind) const;

    // The function that made the outstanding block at `address`;
    // ZTSIM_FN_COUNT when there is none.
    ZTSimFunction MakerOf(const void* address) const;

    uint32_t OutstandingCount() const;
    uint32_t FreeFaultCount() const;

    // One line per outstanding block and per free fault.
    std::string Describe() const;

    // Forgets every record and fault. Blocks still outstanding stay valid
    // memory, because the client may still read them; releasing one later
    // frees it but counts as a free fault, since it is no longer on record.
    void Forget();

    // Frees the memory of the blocks Forget kept valid. For a caller that
    // knows nothing can still read them; releasing one afterwards counts as
    // a free of something never handed out.
    void DropForgotten();

private:
    enum class FaultReason : uint8_t {
        NeverIssued,
        AlreadyReleased,
        IssuedBeforeReset,
        CallInFlight,
        ChildOutstanding,
        FreeWaitTimedOut,
        TerminateWaitTimedOut,
    };

    struct Record {
        ObjectKind kind;
        ZTSimFunction maker;
        uint64_t serial;
        std::unique_ptr<unsigned char[]> memory;
        const void* parent;
    };

    struct Released {
        ObjectKind kind;
        ZTSimFunction maker;
    };

    struct FreeFault {
        uintptr_t address;
        FaultReason reason;
        Released what;   // meaningful for all but NeverIssued and TerminateWaitTimedOut
        Released other;  // ChildOutstanding: one of the children
        ZTSimFunction call;  // CallInFlight: one of the calls
    };

    void AddFault(const void* address, FaultReason reason, Released what,
                  Released other = Released{ObjectKind::CameraManager, ZTSIM_FN_COUNT},
                  ZTSimFunction call = ZTSIM_FN_COUNT);

    // Notes the faults of releasing the outstanding block `live` and
    // forgets its ties to its parent and children.
    void CheckRelease(const void* address, const Record& record);

    std::map<const void*, Record> live_;
    std::map<const void*, Record> forgotten_;
    // Addresses recently released, to tell a double free from a foreign
    // pointer. Dropped when the address is handed out again; bounded.
    std::map<const void*, Released> released_;
    // Outstanding children per parent.
    std::map<const void*, uint32_t> children_;
    // Handles given to ZT calls now inside the simulator, with the function.
    std::multimap<const void*, ZTSimFunction> inFlight_;
    std::vector<FreeFault> faults_;  // the first kMaxFaultsKept only
    uint32_t faultCount_ = 0;
    uint64_t nextSerial_ = 1;
};

}  // namespace ztsim

#endif  // ZTSIM_REGISTRY_H
