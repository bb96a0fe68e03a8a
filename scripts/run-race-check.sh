#!/usr/bin/env bash
# Runs the concurrency stress tests once under Valgrind's DRD (or Helgrind):
#   scripts/run-race-check.sh [drd|helgrind]
# Builds the linux-x86 preset first; KQSDK_RACE_BUILD_DIR chooses another
# build folder than build/linux-x86. Fails when the tool reports an error.
# Needs a host whose kernel runs i386 programs itself: Valgrind does not run
# under qemu-i386.
set -euo pipefail
cd "$(dirname "$0")/.."

tool=${1:-drd}
case "$tool" in drd|helgrind) ;; *) echo "usage: $0 [drd|helgrind]" >&2; exit 2 ;; esac
bash scripts/install-deps.sh race
if [ "$(bash scripts/i386-host.sh)" != native ]; then
  echo "run-race-check: needs a host that runs 32-bit programs natively; this kernel does not, and Valgrind does not work under qemu-i386" >&2
  exit 1
fi

build=${KQSDK_RACE_BUILD_DIR:-build/linux-x86}
cmake --preset linux-x86 -B "$build" >/dev/null
cmake --build "$build" --target kqsdk_unit_tests
valgrind --tool="$tool" --error-exitcode=1 --suppressions=scripts/race-check.supp \
  "$build/bin/kqsdk_unit_tests" --gtest_filter='StressTest.*'
