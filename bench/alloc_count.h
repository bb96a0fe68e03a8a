// Counts heap allocations made by the whole process (malloc, calloc,
// realloc, and operator new, which comes down to malloc), so that a
// benchmark can report allocations per operation.
#ifndef KQSDK_BENCH_ALLOC_COUNT_H
#define KQSDK_BENCH_ALLOC_COUNT_H

#include <cstdint>

namespace kq::bench {

// Allocations since the process started.
std::uint64_t AllocationCount();

}  // namespace kq::bench

#endif  // KQSDK_BENCH_ALLOC_COUNT_H
