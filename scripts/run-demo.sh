#!/usr/bin/env bash
# Installs what is missing, builds the library with the simulated camera and
# the command-line client, then takes a tethered session on the simulated
# camera: camera list, summary, properties, a property and the zoom set, two
# seconds of live view as an MJPEG file, two pictures downloaded with
# progress. The files land in ./kqcam-output (or $KQCAM_OUTPUT).
#
# With arguments, runs the client with them instead:
#   scripts/run-demo.sh --help
#   scripts/run-demo.sh --capture-image-and-download --filename shot-%03n.jpg
set -euo pipefail
start_dir=$PWD
out_dir=${KQCAM_OUTPUT:-$start_dir/kqcam-output}
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh demo
echo "Building (cmake --preset linux-x86)..." >&2
cmake --preset linux-x86 >/dev/null
cmake --build --preset linux-x86 --target kqcam >/dev/null
kqcam=$PWD/build/linux-x86/bin/kqcam

if [ $# -gt 0 ]; then
  cd "$start_dir"
  exec "$kqcam" "$@"
fi

mkdir -p "$out_dir"
cd "$out_dir"
stamp=$(date +%Y%m%d-%H%M%S)
before=$(mktemp)
trap 'rm -f "$before"' EXIT
ls -A >"$before"

step() {
  echo
  echo "\$ kqcam $*"
  "$kqcam" "$@"
}

step --auto-detect
step --summary
step --list-config
step --set-config-index 0xD01C=3 --zoom 7 --get-config 0xD01C --get-config 0xD02A
step --capture-movie=2s --filename "liveview-$stamp.mjpg"
step --capture-image-and-download --frames 2 --filename "shot-$stamp-%02n.jpg"

echo
echo "Your files are in $out_dir:"
ls -A | grep -vxFf "$before" | while read -r name; do
  printf '  %-40s %10s bytes\n' "$name" "$(wc -c <"$name")"
done
echo "The .jpg files open in any image viewer; the .mjpg file is a Motion JPEG"
echo "stream (for example: ffplay -f mjpeg FILE, or mpv FILE)."
echo "Next: scripts/run-demo.sh --help lists every command of kqcam."
