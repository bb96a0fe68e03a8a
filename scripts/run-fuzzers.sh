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
bash scripts/install-deps.sh fuzz

build=${KQSDK_FUZZ_BUILD_DIR:-build/fuzz}
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/fuzz/clang-i386.cmake" >/dev/null
cmake --build "$build"

if [ "$(bash scripts/i386-host.sh)" = emulated ]; then
  # Under qemu-i386 LeakSanitizer cannot stop the threads (no ptrace), and the
  # guest's address space is limited to the 3 GiB the sanitizers expect of a
  # program whose uname says i686 (see cmake/testing.cmake).
  echo "== fuzz: under qemu-i386, without leak checking"
  export QEMU_RESERVED_VA=0xc0000000
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
fi

mkdir -p "$build/artifacts"
for fuzzer in frame_encoder surface; do
  work="$build/corpus/$fuzzer"
  mkdir -p "$work"
  log="$build/$fuzzer.log"
  # The inputs are named to libFuzzer one by one rather than as folders: its
  # 32-bit folder listing (readdir without large-file support) fails under
  # qemu-i386 on ext4, whose directory positions are 64-bit hashes for a
  # 64-bit process. The working corpus is still given as the folder that new
  # inputs go to.
  if find "fuzz/corpus/$fuzzer" "$work" -type f -name $'*[,\n]*' | grep -q .; then
    echo "== fuzz ${fuzzer}: a corpus file name holds a comma or a line break" >&2
    exit 1
  fi
  seeds="$build/$fuzzer.seeds"
  find "fuzz/corpus/$fuzzer" "$work" -type f | sort | paste -sd, | tr -d '\n' >"$seeds"
  seed_args=()
  if [ -s "$seeds" ]; then seed_args=(-seed_inputs="@$seeds"); fi
  echo "== fuzz ${fuzzer}: corpus, then ${seconds} s"
  if ! "$build/${fuzzer}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$build/artifacts/$fuzzer-" "${seed_args[@]}" "$work" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "== fuzz ${fuzzer}: FAILED; the input is in $build/artifacts" >&2
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|new_units_added)' "$log" | tr '\n' ' '
  echo
done
