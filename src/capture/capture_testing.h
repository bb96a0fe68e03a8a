// Test seam of the capture path: the allocator of the heap copy of a
// downloaded file's path, so that unit tests can make that copy fail.
#ifndef KQSDK_CAPTURE_CAPTURE_TESTING_H
#define KQSDK_CAPTURE_CAPTURE_TESTING_H

#include <cstddef>

namespace kq {

using PathAllocator = void* (*)(std::size_t bytes);

// Replaces the allocator (std::malloc); null restores it. Not exported from
// the library.
void SetPathAllocatorForTesting(PathAllocator allocate);

}  // namespace kq

#endif  // KQSDK_CAPTURE_CAPTURE_TESTING_H
