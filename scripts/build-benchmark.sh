#!/usr/bin/env bash
# Builds Google Benchmark static for i386 (gcc -m32 from gcc-multilib,
# position-independent) from Debian's source package and installs it into
# PREFIX, for the benchmarks of bench/ in the linux-x86 preset. No i386
# package is needed.
#
#   usage: build-benchmark.sh PREFIX     (default build/deps/linux-x86/benchmark)
#
# Does nothing when PREFIX already holds the library and its CMake package.
# Sources and build tree live next to PREFIX (PREFIX/../benchmark-src); the
# full build output goes to build.log there and only its tail is shown when
# something fails. Runs as root, or through sudo for the apt steps.
set -euo pipefail

me="build-benchmark"
say() { echo "$me: $*"; }
die() { echo "$me: error: $*" >&2; exit 1; }

script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[ $# -le 1 ] || die "usage: $0 [PREFIX]"
PREFIX="${1:-$(cd "$script_dir/.." && pwd)/build/deps/linux-x86/benchmark}"
case "$PREFIX" in /*) ;; *) PREFIX="$PWD/$PREFIX" ;; esac
PREFIX="${PREFIX%/}"
if [ -f "$PREFIX/lib/libbenchmark.a" ] && [ -f "$PREFIX/lib/cmake/benchmark/benchmarkConfig.cmake" ]; then
  exit 0
fi
toolchain="$(cd "$script_dir/../cmake" && pwd)/linux-i386.cmake"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || die "run as root or install sudo"
  SUDO="sudo"
fi

scratch="$(dirname "$PREFIX")/benchmark-src"
mkdir -p "$scratch"
log="$scratch/build.log"
: >"$log"
. "$script_dir/apt.sh"
. "$script_dir/deb-src.sh"
status=0
add_deb_src_entry "$SUDO" || status=$?
[ "$status" -ne 2 ] || die "no apt source to derive a deb-src entry from"
missing=()
for p in dpkg-dev cmake make g++-multilib; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
if [ "$status" -eq 0 ] || [ ${#missing[@]} -gt 0 ] \
   || ! apt-cache showsrc benchmark 2>/dev/null | grep -q '^Package:'; then
  apt_update_retrying "$me" "$SUDO"
fi
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  run $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
apt-cache showsrc benchmark 2>/dev/null | grep -q '^Package:' \
  || die "apt knows no source package benchmark"

say "fetching Debian source package benchmark"
dl="$scratch/download"
src="$scratch/source"
bld="$scratch/build"
mkdir -p "$dl"
(cd "$dl" && run apt-get source --download-only benchmark)
dsc="$(ls -t "$dl"/benchmark_*.dsc 2>/dev/null | head -n 1)"
[ -n "$dsc" ] || die "no .dsc downloaded (see $log)"
rm -rf "$src" "$bld"
say "unpacking $(basename "$dsc")"
run dpkg-source -x "$dsc" "$src"

# The release number the package's build passes as well (its sources read it
# from git otherwise): the .dsc's version less the Debian revision.
version="$(basename "$dsc" .dsc)"
version="${version#benchmark_}"
version="${version#*:}"
version="${version%-*}"

# The library alone: its own tests would want GoogleTest built for i386 too.
say "configuring $version (i386, static, PIC)"
run cmake -S "$src" -B "$bld" \
  -DGIT_VERSION="$version" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
  -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  -DCMAKE_INSTALL_LIBDIR=lib \
  -DBUILD_SHARED_LIBS=OFF \
  -DBENCHMARK_ENABLE_TESTING=OFF \
  -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
  -DBENCHMARK_ENABLE_WERROR=OFF \
  -DBENCHMARK_ENABLE_LTO=OFF \
  -DBENCHMARK_ENABLE_LIBPFM=OFF \
  -DBENCHMARK_ENABLE_DOXYGEN=OFF \
  -DBENCHMARK_INSTALL_DOCS=OFF
say "building with 2 jobs"
run cmake --build "$bld" --parallel 2
say "installing into $PREFIX"
run cmake --install "$bld"
[ -f "$PREFIX/lib/libbenchmark.a" ] && [ -f "$PREFIX/lib/cmake/benchmark/benchmarkConfig.cmake" ] \
  || die "install incomplete in $PREFIX (see $log)"
say "$(basename "$dsc" .dsc) -> $PREFIX"
