#include <benchmark/benchmark.h>

#include "bench_support.h"

int main(int argc, char** argv) {
    kq::bench::PrepareProcess();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    kq::bench::CleanUpProcess();
    return 0;
}
