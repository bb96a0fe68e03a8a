#!/usr/bin/env bash
# Builds a static i386 libjpeg-turbo (libjpeg 8 API, SIMD where nasm can
# assemble for the target) from Debian's source package and installs it into
# PREFIX, for one of the two targets:
#   linux-x86   gcc -m32 (gcc-multilib), position-independent so that
#               libKQSDK.so can link it; no i386 package is needed
#   mingw-x86   the mingw-w64 toolchain, for KQSDK.dll
# Both libraries thus come from the same source package and version.
#
#   usage: build-libjpeg.sh linux-x86|mingw-x86 PREFIX
#
# Does nothing when PREFIX already holds lib/libjpeg.a and include/jpeglib.h.
# Sources and build tree live next to PREFIX (PREFIX/../libjpeg-turbo-src);
# the full build output goes to build.log there and only its tail is shown
# when something fails. Runs as root, or through sudo for the apt steps.
set -euo pipefail

me="build-libjpeg"
say() { echo "$me: $*"; }
die() { echo "$me: error: $*" >&2; exit 1; }

[ $# -eq 2 ] && [ -n "$2" ] || die "usage: $0 linux-x86|mingw-x86 PREFIX"
target="$1"
PREFIX="$2"
case "$target" in
  linux-x86)
    toolchain_name=linux-i386.cmake
    nasm_format=elf32
    compilers=(gcc-multilib g++-multilib) ;;
  mingw-x86)
    toolchain_name=mingw-i686.cmake
    nasm_format=win32
    compilers=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix) ;;
  *) die "unknown target '$target' (linux-x86 or mingw-x86)" ;;
esac
case "$PREFIX" in
  /*) ;;
  *) PREFIX="$PWD/$PREFIX" ;;
esac
PREFIX="${PREFIX%/}"

# The way the library is built, recorded beside it: a build made another way
# (an older version of this script) is made again.
recipe="libjpeg-turbo static pic simd tls 1"
if [ -f "$PREFIX/lib/libjpeg.a" ] && [ -f "$PREFIX/include/jpeglib.h" ] &&
   [ "$(cat "$PREFIX/recipe" 2>/dev/null)" = "$recipe" ]; then
  exit 0
fi

script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
toolchain="$script_dir/../cmake/$toolchain_name"
[ -f "$toolchain" ] || die "toolchain file not found: $toolchain"
toolchain="$(cd "$(dirname "$toolchain")" && pwd)/$(basename "$toolchain")"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || die "run as root or install sudo"
  SUDO="sudo"
fi

scratch="$(dirname "$PREFIX")/libjpeg-turbo-src"
mkdir -p "$scratch"
log="$scratch/build.log"
: >"$log"

. "$script_dir/apt.sh"
apt_updated=0
apt_update() {
  if [ "$apt_updated" -eq 0 ]; then
    say "apt-get update"
    apt_update_retrying "$me" "$SUDO"
    apt_updated=1
  fi
}

# --- deb-src entry ----------------------------------------------------------
. "$script_dir/deb-src.sh"
status=0
add_deb_src_entry "$SUDO" || status=$?
case "$status" in
  0) apt_update ;;
  2) die "no apt source to derive a deb-src entry from" ;;
esac

# --- build tools ------------------------------------------------------------
tools=(dpkg-dev cmake make nasm "${compilers[@]}")
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' \
    || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt_update
  say "installing ${missing[*]}"
  run $SUDO env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The deb-src entry may predate this run without its index ever having been
# fetched.
if ! apt-cache showsrc libjpeg-turbo 2>/dev/null | grep -q '^Package:'; then
  apt_update
  apt-cache showsrc libjpeg-turbo 2>/dev/null | grep -q '^Package:' \
    || die "apt knows no source package libjpeg-turbo"
fi

# --- source -----------------------------------------------------------------
say "fetching Debian source package libjpeg-turbo"
dl="$scratch/download"
src="$scratch/source"
mkdir -p "$dl"
# As root apt cannot drop to _apt in a directory _apt cannot write; it then
# downloads unsandboxed and says so. Harmless.
(cd "$dl" && run apt-get source --download-only libjpeg-turbo)
dsc="$(ls -t "$dl"/libjpeg-turbo_*.dsc 2>/dev/null | head -n 1)"
[ -n "$dsc" ] || die "no .dsc downloaded (see $log)"
rm -rf "$src"
say "unpacking $(basename "$dsc")"
run dpkg-source -x "$dsc" "$src"

# --- configure, build, install ---------------------------------------------
simd=OFF
probe="$scratch/nasm-probe"
printf 'section .text\nglobal _probe\n_probe:\n  ret\n' >"$probe.asm"
if nasm -f "$nasm_format" -o "$probe.obj" "$probe.asm" >>"$log" 2>&1; then
  simd=ON
else
  say "nasm cannot produce $nasm_format objects; building without SIMD"
fi
rm -f "$probe.asm" "$probe.obj"

bld="$scratch/build"
rm -rf "$bld"
mkdir -p "$bld"
cd "$bld"
# The package's own GNUInstallDirs turns a relative LIBDIR/INCLUDEDIR given
# on the command line into an absolute path based on the current directory,
# so pass them absolute (and work from inside the build tree regardless).
# THREAD_LOCAL is the keyword the SIMD code declares its detected CPU
# features with; the package fills it in only along with the TurboJPEG API,
# which is not built here, and without it two threads' first compressions
# race on one global.
say "configuring ($target, static, jpeg8 API, SIMD=$simd)"
run cmake -S "$src" -B "$bld" \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
  -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  -DCMAKE_INSTALL_LIBDIR="$PREFIX/lib" \
  -DCMAKE_INSTALL_INCLUDEDIR="$PREFIX/include" \
  -DCMAKE_ASM_NASM_COMPILER=nasm \
  -DWITH_JPEG8=ON \
  -DENABLE_SHARED=OFF \
  -DENABLE_STATIC=ON \
  -DWITH_TURBOJPEG=OFF \
  -DTHREAD_LOCAL=__thread \
  -DWITH_JAVA=OFF \
  -DWITH_SIMD="$simd" \
  -DREQUIRE_SIMD=OFF

jobs="$(nproc 2>/dev/null || echo 2)"
say "building with $jobs jobs"
run cmake --build "$bld" --parallel "$jobs"
say "installing into $PREFIX"
run cmake --install "$bld"

for f in lib/libjpeg.a include/jpeglib.h include/jconfig.h include/jmorecfg.h include/jerror.h; do
  [ -f "$PREFIX/$f" ] || die "install incomplete: $PREFIX/$f missing (see $log)"
done
printf '%s\n' "$recipe" >"$PREFIX/recipe"
say "done"
