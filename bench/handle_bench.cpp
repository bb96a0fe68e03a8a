// The bookkeeping that lets any thread call while others tear down: what
// one Camera SDK call of an export adds (a counted use of the session: take
// it, read the handle, end it) and what one Camera SDK callback adds (mark
// the thread, take a use of its subscription), uncontended, against the
// plain atomic load of a handle that was all the bridge did before.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>

#include "bench_support.h"
#include "bridge/callbacks.h"
#include "bridge/sdk_wrapper.h"

namespace kq::bench {
namespace {

void BM_HandleUse(benchmark::State& state) {
    const std::uint32_t camera = ConnectCamera();
    for (auto _ : state) {
        const HandleRef open = bridgeState.session.Acquire();
        benchmark::DoNotOptimize(open.get());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    Disconnect(camera);
}
BENCHMARK(BM_HandleUse);

void BM_CallbackEntry(benchmark::State& state) {
    const std::uint32_t camera = ConnectCamera();
    for (auto _ : state) {
        const CallbackEntry entry(bridgeState.zoomCompletedSub);
        benchmark::DoNotOptimize(entry.live());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
    Disconnect(camera);
}
BENCHMARK(BM_CallbackEntry);

// The baseline: the atomic load of a handle field.
void BM_PlainHandleLoad(benchmark::State& state) {
    std::atomic<void*> field{&state};
    for (auto _ : state) benchmark::DoNotOptimize(field.load());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_PlainHandleLoad);

}  // namespace
}  // namespace kq::bench
