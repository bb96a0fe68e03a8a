#!/usr/bin/env bash
# Builds the fuzzers (fuzz/: libFuzzer, clang, 32-bit, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one over its checked-in corpus
# (fuzz/corpus/<fuzzer>, the regression inputs included) and then for
# SECONDS seconds of fuzzing (default 300).
#   scripts/run-fuzzers.sh [SECONDS]
# New inputs collect in <build>/corpus/<fuzzer>, crash inputs in
# <build>/artifacts; a crash ends the script with a failure. KQSDK_FUZZ_BUILD_DIR
# chooses another build folder than build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
bash scripts/install-deps.sh

build=${KQSDK_FUZZ_BUILD_DIR:-build/fuzz}
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/fuzz/clang-i386.cmake" >/dev/null
cmake --build "$build"

mkdir -p "$build/artifacts"
for fuzzer in frame_encoder surface; do
  work="$build/corpus/$fuzzer"
  mkdir -p "$work"
  log="$build/$fuzzer.log"
  echo "== fuzz ${fuzzer}: corpus, then ${seconds} s"
  if ! "$build/${fuzzer}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$build/artifacts/$fuzzer-" "$work" "fuzz/corpus/$fuzzer" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "== fuzz ${fuzzer}: FAILED; the input is in $build/artifacts" >&2
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|new_units_added)' "$log" | tr '\n' ' '
  echo
done
