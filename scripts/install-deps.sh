#!/usr/bin/env bash
# Installs the Debian packages the three builds need. Safe to run again: it only
# installs what is missing. Runs as root, or through sudo when available.
#
# The i386 programs (tests, fuzzers, Wine) need a host that runs them. When the
# kernel does not (32-bit emulation disabled), it installs qemu-user-static and
# registers qemu-i386 with binfmt_misc, so that they run under emulation.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
me=install-deps
. "$here/apt.sh"

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "$me: run as root or install sudo" >&2; exit 1
  fi
fi

native_pkgs=(cmake ninja-build g++ gcc-multilib g++-multilib nasm dpkg-dev
             googletest libgtest-dev libbenchmark-dev
             g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
             wine clang libclang-rt-14-dev valgrind
             llvm-14 icoutils unzip pkgconf
             nlohmann-json3-dev chromium chromium-driver python3-selenium)
i386_pkgs=(libbenchmark-dev:i386 wine32:i386)

installed() {
  dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'
}

apt_updated=0
apt_install() {
  echo "$me: installing $*"
  if [ "$apt_updated" -eq 0 ]; then
    apt_update_retrying "$me" "$SUDO"
    apt_updated=1
  fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@"
}

missing_of() {
  local p
  for p in "$@"; do installed "$p" || echo "$p"; done
}

# The host's own packages first: gcc-multilib builds the i386 probe.
mapfile -t missing < <(missing_of "${native_pkgs[@]}")
if [ ${#missing[@]} -gt 0 ]; then apt_install "${missing[@]}"; fi

# i386 programs: the kernel's own, or qemu-i386 through binfmt_misc. This comes
# before the i386 packages, whose maintainer scripts run i386 programs.
host=$(bash "$here/i386-host.sh")
if [ "$host" = none ]; then
  echo "$me: this kernel does not run i386 programs; registering qemu-i386 with binfmt_misc"
  installed qemu-user-static || apt_install qemu-user-static
  binfmt=/proc/sys/fs/binfmt_misc
  if [ ! -e "$binfmt/register" ]; then
    $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
  if [ "$(cat "$binfmt/status")" != enabled ]; then
    echo 1 | $SUDO tee "$binfmt/status" >/dev/null
  fi
  # An entry of that name that does not run the probe (disabled, or naming a
  # missing interpreter) is replaced.
  if [ -e "$binfmt/qemu-i386" ]; then
    echo "$me: replacing the existing binfmt_misc entry qemu-i386, which does not run i386 programs"
    echo -1 | $SUDO tee "$binfmt/qemu-i386" >/dev/null
  fi
  # qemu's own i386 entry: a 32-bit little-endian ELF executable or shared
  # object for EM_386, any OS ABI, ABI version 0. binfmt_misc decodes the \x
  # escapes itself. F opens the interpreter now, so that it is found from any
  # mount namespace or chroot later.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s' ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" \
    | $SUDO tee "$binfmt/register" >/dev/null
  host=$(bash "$here/i386-host.sh")
  if [ "$host" != emulated ]; then
    echo "$me: qemu-i386 is registered, but i386 programs still do not run" >&2
    exit 1
  fi
fi

mapfile -t missing < <(missing_of "${i386_pkgs[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    apt_updated=0
  fi
  apt_install "${missing[@]}"
fi

# kqcam's web server uses cpp-httplib header-only, from Debian's source
# package (scripts/fetch-httplib.sh says why).
bash "$here/fetch-httplib.sh" "$here/../build/deps/cpp-httplib"
