// Record of every handle and buffer the simulated SDK hands out, so that
// leaks, double frees and frees of foreign pointers show up in tests instead
// of corrupting the heap.
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

class Registry {
public:
    // Hands out a zeroed block of `bytes` bytes (at least one), recorded as a
    // `kind` made by `maker`. Throws std::bad_alloc when memory runs out.
    void* Issue(ObjectKind kind, ZTSimFunction maker, size_t bytes);

    // Takes a block back. Returns true and its kind when it was outstanding;
    // anything else is recorded as a free fault and the call returns false.
    bool Release(const void* address, ObjectKind* kind);

    bool IsLive(const void* address, ObjectKind kind) const;

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
    enum class FaultReason : uint8_t { NeverIssued, AlreadyReleased, IssuedBeforeReset };

    struct Record {
        ObjectKind kind;
        ZTSimFunction maker;
        uint64_t serial;
        std::unique_ptr<unsigned char[]> memory;
    };

    struct Released {
        ObjectKind kind;
        ZTSimFunction maker;
    };

    struct FreeFault {
        uintptr_t address;
        FaultReason reason;
        Released what;  // meaningful for AlreadyReleased and IssuedBeforeReset
    };

    void AddFault(const void* address, FaultReason reason, Released what);

    std::map<const void*, Record> live_;
    std::map<const void*, Record> forgotten_;
    // Addresses recently released, to tell a double free from a foreign
    // pointer. Dropped when the address is handed out again; bounded.
    std::map<const void*, Released> released_;
    std::vector<FreeFault> faults_;  // the first kMaxFaultsKept only
    uint32_t faultCount_ = 0;
    uint64_t nextSerial_ = 1;
};

}  // namespace ztsim

#endif  // ZTSIM_REGISTRY_H
