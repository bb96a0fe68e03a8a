// Datasets against the simulator: KQ_GetDeviceInfo, and KQ_GetDevicePropDesc
// for every code DeviceInfo can list, each asked repeatedly (the supported-
// value cache then holds that code's property) and all codes in turn (the
// cache changes on every call). Reports the Camera SDK calls per dataset.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench_support.h"
#include "kqsdk.h"

namespace kq::bench {
namespace {

constexpr std::uint16_t kCodes[] = {0xD006, 0xD008, 0xD01C, 0xD00A, 0xD00C,
                                    0xD013, 0xD01D, 0xD01E, 0xD01F, 0xD020,
                                    0xD010, 0xD017, 0xD019, 0xD02A, 0xD03D};
constexpr std::uint32_t kCodeCount = sizeof kCodes / sizeof kCodes[0];

void Report(benchmark::State& state, std::uint64_t calls, std::uint64_t datasets) {
    state.counters["sdk_calls"] = static_cast<double>(calls) / static_cast<double>(datasets);
    state.SetItemsProcessed(static_cast<std::int64_t>(datasets));
}

void BM_DeviceInfo(benchmark::State& state) {
    const std::uint32_t camera = ConnectCamera();
    std::uint8_t buffer[1024];
    const std::uint64_t before = TotalSdkCalls();
    for (auto _ : state) {
        std::uint32_t size = sizeof buffer;
        if (KQ_GetDeviceInfo(camera, &size, buffer) != RESULT_OK) {
            state.SkipWithError("KQ_GetDeviceInfo failed");
            break;
        }
        benchmark::DoNotOptimize(buffer);
    }
    Report(state, TotalSdkCalls() - before, state.iterations());
    Disconnect(camera);
}
BENCHMARK(BM_DeviceInfo);

void BM_DevicePropDesc(benchmark::State& state) {
    const auto code = static_cast<std::uint32_t>(state.range(0));
    const std::uint32_t camera = ConnectCamera();
    std::uint8_t buffer[1024];
    const std::uint64_t before = TotalSdkCalls();
    for (auto _ : state) {
        std::uint32_t size = sizeof buffer;
        if (KQ_GetDevicePropDesc(camera, code, &size, buffer) != RESULT_OK) {
            state.SkipWithError("KQ_GetDevicePropDesc failed");
            break;
        }
        benchmark::DoNotOptimize(buffer);
    }
    Report(state, TotalSdkCalls() - before, state.iterations());
    Disconnect(camera);
}
BENCHMARK(BM_DevicePropDesc)->ArgName("code")->Apply([](benchmark::internal::Benchmark* b) {
    for (std::uint16_t code : kCodes) b->Arg(code);
});

void BM_DevicePropDescAllCodes(benchmark::State& state) {
    const std::uint32_t camera = ConnectCamera();
    std::uint8_t buffer[1024];
    const std::uint64_t before = TotalSdkCalls();
    for (auto _ : state) {
        for (std::uint16_t code : kCodes) {
            std::uint32_t size = sizeof buffer;
            if (KQ_GetDevicePropDesc(camera, code, &size, buffer) != RESULT_OK) {
                state.SkipWithError("KQ_GetDevicePropDesc failed");
                break;
            }
            benchmark::DoNotOptimize(buffer);
        }
    }
    Report(state, TotalSdkCalls() - before, state.iterations() * kCodeCount);
    Disconnect(camera);
}
BENCHMARK(BM_DevicePropDescAllCodes);

}  // namespace
}  // namespace kq::bench
