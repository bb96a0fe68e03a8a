#!/usr/bin/env bash
# Runs the concurrency stress tests once under Valgrind's DRD (or Helgrind):
#   scripts/run-race-check.sh [drd|helgrind]
# Builds the unit tests of the linux-x86 preset with the race checker's
# annotations (KQSDK_RACE_CHECK) into build/linux-x86-race first;
# KQSDK_RACE_BUILD_DIR chooses another folder. Fails when the tool reports
# an error.
# Needs a host whose kernel runs i386 programs itself: Valgrind does not run
# under qemu-i386.
set -euo pipefail
cd "$(dirname "$0")/.."

tool=${1:-drd}
case "$tool" in drd|helgrind) ;; *) echo "usage: $0 [drd|helgrind]" >&2; exit 2 ;; esac
# scripts/test-all.sh has installed everything already.
[ "${KQSDK_DEPS_INSTALLED:-0}" = 1 ] || bash scripts/install-deps.sh race
if [ "$(bash scripts/i386-host.sh)" != native ]; then
  echo "run-race-check: needs a host that runs 32-bit programs natively; this kernel does not, and Valgrind does not work under qemu-i386" >&2
  exit 1
fi

build=${KQSDK_RACE_BUILD_DIR:-build/linux-x86-race}
cmake --preset linux-x86 -B "$build" -DKQSDK_RACE_CHECK=ON >/dev/null
cmake --build "$build" --target kqsdk_unit_tests
valgrind --tool="$tool" --error-exitcode=1 --suppressions=scripts/race-check.supp \
  "$build/bin/kqsdk_unit_tests" --gtest_filter='StressTest.*'
