// Orderings the race checker (Valgrind's DRD, scripts/run-race-check.sh)
// cannot see by itself, told to it where the code relies on them. Only the
// race-check build (KQSDK_RACE_CHECK) compiles them in; elsewhere they are
// empty.
//
// DRD orders threads by locks and thread starts. It does not see the
// ordering a std::atomic gives when that atomic is the whole hand-off: an
// 8-byte atomic, which 32-bit x86 reads and writes with plain 8-byte moves
// and a fence, and a buffer owned by whoever swapped a flag from 0 to 1.
#ifndef KQSDK_BRIDGE_RACE_ANNOTATIONS_H
#define KQSDK_BRIDGE_RACE_ANNOTATIONS_H

#if defined(KQSDK_RACE_CHECK)
#include <valgrind/drd.h>
#endif

namespace kq {

// What this thread did so far happens before whatever another thread does
// after its HandOffReceived on the same address.
inline void HandOffSent(const volatile void* address) {
#if defined(KQSDK_RACE_CHECK)
    ANNOTATE_HAPPENS_BEFORE(address);
#else
    (void)address;
#endif
}

// Everything other threads did before their HandOffSent on this address
// happens before what this thread does from here on.
inline void HandOffReceived(const volatile void* address) {
#if defined(KQSDK_RACE_CHECK)
    ANNOTATE_HAPPENS_AFTER(address);
#else
    (void)address;
#endif
}

}  // namespace kq

#endif  // KQSDK_BRIDGE_RACE_ANNOTATIONS_H
