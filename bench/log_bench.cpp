// One log line: Tracef (clock, local time, format, write) against one fprintf
// of the same line to a file opened the same way in the same folder. Lines
// are timed in batches, the two sides alternating, so that the clock's own
// cost stays out of the figures and the ratio holds on a noisy machine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_support.h"
#include "log/trace.h"
#include "platform/platform.h"

namespace kq::bench {
namespace {

constexpr int kBatch = 256;
constexpr const char kMessage[] = "KQ_GetDevicePropValue 0xD006";

void BM_LogLine(benchmark::State& state) {
    Tracef("benchmark start", kLogInfo);  // opens the log outside the timing
    const std::string path = ScratchFolder() + "/plain.log";
    std::FILE* plain = platform::OpenSharedForWriting(path.c_str());
    if (plain == nullptr) {
        state.SkipWithError("no file");
        return;
    }
    const platform::LocalTime t = platform::CurrentLocalTime();
    double traceSeconds = 0;
    double plainSeconds = 0;
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < kBatch; ++i) Tracef(kMessage, kLogInfo);
        const Clock::time_point t1 = Clock::now();
        for (int i = 0; i < kBatch; ++i) {
            std::fprintf(plain, "%s %02d-%02d %02d:%02d:%02d.%03u | %s\n", "INF", t.month, t.day,
                         t.hour, t.minute, t.second, t.millisecond, kMessage);
        }
        const Clock::time_point t2 = Clock::now();
        traceSeconds += Seconds(t0, t1);
        plainSeconds += Seconds(t1, t2);
        state.SetIterationTime(Seconds(t0, t1));
    }
    std::fclose(plain);
    std::remove(path.c_str());
    const double lines = static_cast<double>(state.iterations()) * kBatch;
    state.counters["tracef_ns"] = 1e9 * traceSeconds / lines;
    state.counters["fprintf_ns"] = 1e9 * plainSeconds / lines;
    state.counters["ratio"] = traceSeconds / plainSeconds;
}

// One iteration is a batch of kBatch lines; the per-line figures are the
// counters.
BENCHMARK(BM_LogLine)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kq::bench
