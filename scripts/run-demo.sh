#!/usr/bin/env bash
# Installs what is missing, builds the library with the simulated camera and
# runs the command-line client against it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset linux-x86 >/dev/null
cmake --build --preset linux-x86 --target kqcam >/dev/null
exec build/linux-x86/bin/kqcam "$@"
