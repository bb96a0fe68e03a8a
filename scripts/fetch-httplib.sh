#!/usr/bin/env bash
# Puts cpp-httplib's single header, from Debian's source package (with
# Debian's patches applied, and ours from scripts/patches), into
# PREFIX/include, for kqcam's web server.
#
#   usage: fetch-httplib.sh PREFIX
#
# Debian's binary package splits the library into a header and a shared
# library built with OpenSSL, brotli and zlib, which neither the -m32 nor the
# mingw build links; the source package's httplib.h is the same release as
# one header, used header-only by both builds. Does nothing when PREFIX
# already holds include/httplib.h with our patch in it. Runs as root, or through sudo for apt.
set -euo pipefail

me="fetch-httplib"
script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
die() { echo "$me: error: $*" >&2; exit 1; }

[ $# -eq 1 ] && [ -n "$1" ] || die "usage: $0 PREFIX"
PREFIX="$1"
case "$PREFIX" in /*) ;; *) PREFIX="$PWD/$PREFIX" ;; esac
PREFIX="${PREFIX%/}"
grep -qs CPPHTTPLIB_TASK_QUEUE_CONNECTIONS "$PREFIX/include/httplib.h" && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || die "run as root or install sudo"
  SUDO="sudo"
fi

# The same deb-src entry the libjpeg-turbo build adds, derived from the
# machine's own apt sources.
. "$script_dir/deb-src.sh"
. "$script_dir/apt.sh"
status=0
add_deb_src_entry "$SUDO" || status=$?
[ "$status" -ne 2 ] || die "no apt source to derive a deb-src entry from"
if ! apt-cache showsrc cpp-httplib 2>/dev/null | grep -q '^Package:'; then
  apt_update_retrying "$me" "$SUDO"
  apt-cache showsrc cpp-httplib 2>/dev/null | grep -q '^Package:' \
    || die "apt knows no source package cpp-httplib"
fi
command -v dpkg-source >/dev/null 2>&1 \
  || $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends dpkg-dev

scratch="$(dirname "$PREFIX")/cpp-httplib-src"
rm -rf "$scratch"
mkdir -p "$scratch/download"
(cd "$scratch/download" && apt-get source --download-only cpp-httplib >"$scratch/fetch.log" 2>&1) \
  || { tail -n 20 "$scratch/fetch.log" >&2; die "apt-get source cpp-httplib failed"; }
dsc="$(ls -t "$scratch"/download/cpp-httplib_*.dsc 2>/dev/null | head -n 1)"
[ -n "$dsc" ] || die "no .dsc downloaded (see $scratch/fetch.log)"
dpkg-source -x "$dsc" "$scratch/source" >>"$scratch/fetch.log" 2>&1 \
  || { tail -n 20 "$scratch/fetch.log" >&2; die "unpacking $dsc failed"; }
[ -f "$scratch/source/httplib.h" ] || die "the source package holds no httplib.h"
mkdir -p "$PREFIX/include"
cp "$scratch/source/LICENSE" "$PREFIX/LICENSE"
# This release bounds the length of a header line only after reading all of
# it, and not the number of header lines at all, so a client could make the
# server buffer without limit; the patch stops reading at fixed bounds. It
# also shows a task queue each accepted socket (enqueue_connection), so that
# kqcam's server can keep its workers for requests that have arrived whole.
patch --quiet --no-backup-if-mismatch -p1 -d "$scratch/source" \
  < "$script_dir/patches/cpp-httplib-request-bounds.patch" \
  || die "patches/cpp-httplib-request-bounds.patch does not apply to $(basename "$dsc" .dsc)"
cp "$scratch/source/httplib.h" "$PREFIX/include/httplib.h.tmp"
mv "$PREFIX/include/httplib.h.tmp" "$PREFIX/include/httplib.h"
echo "$me: $(basename "$dsc" .dsc) -> $PREFIX/include/httplib.h"
