#!/usr/bin/env bash
# Installs what is missing, builds the three presets and runs every test:
#   linux-x86       native 32-bit Linux build
#   linux-x86-asan  the same with AddressSanitizer and UndefinedBehaviorSanitizer
#   mingw-x86       the Win32 DLL, tests under Wine
# and then runs each fuzzer briefly (scripts/run-fuzzers.sh 10).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

presets=(linux-x86 linux-x86-asan mingw-x86)
if [ $# -gt 0 ]; then presets=("$@"); fi

start=$SECONDS
for preset in "${presets[@]}"; do
  echo "== ${preset}: configure and build"
  cmake --preset "${preset}" >/dev/null
  cmake --build --preset "${preset}"
  echo "== ${preset}: test"
  ctest --preset "${preset}"
done
# The fuzzers (clang, 32-bit, sanitizers) over their checked-in corpora,
# crash regressions included, and a few seconds of fuzzing each; with the
# default presets only.
if [ $# -eq 0 ]; then
  bash scripts/run-fuzzers.sh 10
fi
echo "== all presets passed in $((SECONDS - start)) s"
