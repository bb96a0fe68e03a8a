#!/usr/bin/env bash
# Builds the linux-x86 preset and runs the benchmarks (bench/). Extra
# arguments go to the benchmark program, e.g. --benchmark_filter=Viewfinder.
# KQSDK_BENCH_BUILD_DIR chooses another build folder than build/linux-x86.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh demo
bash scripts/build-benchmark.sh
if [ "$(bash scripts/i386-host.sh)" != native ]; then
  echo "run-benchmarks: this host runs 32-bit programs under qemu-i386; the figures are not comparable with bench/README.md" >&2
fi

build=${KQSDK_BENCH_BUILD_DIR:-build/linux-x86}
cmake --preset linux-x86 -B "$build" >/dev/null
cmake --build "$build" --target kqsdk_bench
"$build/bin/kqsdk_bench" --benchmark_min_time=2 "$@"
