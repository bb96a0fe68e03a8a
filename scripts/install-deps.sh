#!/usr/bin/env bash
# Installs the Debian packages a task needs, told which task:
#
#   scripts/install-deps.sh PURPOSE...
#
#   demo     the Linux i386 build (gcc-multilib, libjpeg-turbo and GoogleTest
#            built from Debian's sources) and kqcam: scripts/run-demo.sh
#   package  demo, the Win32 build (mingw-w64) and the tools the release
#            archives are checked with: scripts/package.sh
#   fuzz     demo, clang and its runtime: scripts/run-fuzzers.sh
#   race     demo and Valgrind: scripts/run-race-check.sh
#   test     all of these, Chromium with its driver and Selenium (the browser
#            test of kqcam --serve) and Wine (the Windows tests):
#            scripts/test-all.sh
#
# Safe to run again: it only installs what is missing. Runs as root, or
# through sudo when available. Only Wine needs the i386 architecture
# (wine32:i386); no other purpose adds it.
#
# Registry trouble: apt-get update is tried three times (scripts/apt.sh); an
# index that still fails is named in a warning and the install decides. When
# wine32:i386 cannot be installed (an i386 twin of one of this host's
# Multi-Arch: same packages is not offered at the host's version, typically
# because the index that has it was not fetched), that is said plainly, with
# the packages and the reason, and written to build/deps/wine32-unavailable
# for scripts/test-all.sh, which then reports the Windows tests as not run.
# The rest of the test set is installed either way.
#
# The i386 programs (tests, fuzzers, Wine) need a host that runs them. When the
# kernel does not (32-bit emulation disabled), it installs qemu-user-static and
# registers qemu-i386 with binfmt_misc, so that they run under emulation.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
me=install-deps
. "$here/apt.sh"

usage() {
  echo "usage: $0 demo|package|fuzz|race|test..." >&2
  exit 2
}
[ $# -gt 0 ] || usage

demo_pkgs=(cmake ninja-build g++ gcc-multilib g++-multilib nasm dpkg-dev
           googletest nlohmann-json3-dev)
windows_pkgs=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
              llvm-14 icoutils unzip pkgconf)
fuzz_pkgs=(clang libclang-rt-14-dev)
race_pkgs=(valgrind)
browser_pkgs=(chromium chromium-driver python3-selenium)

native_pkgs=("${demo_pkgs[@]}")
want_wine=0
for purpose in "$@"; do
  case "$purpose" in
    demo) ;;
    package) native_pkgs+=("${windows_pkgs[@]}") ;;
    fuzz) native_pkgs+=("${fuzz_pkgs[@]}") ;;
    race) native_pkgs+=("${race_pkgs[@]}") ;;
    test) native_pkgs+=("${windows_pkgs[@]}" "${fuzz_pkgs[@]}" "${race_pkgs[@]}"
                        "${browser_pkgs[@]}" wine)
          want_wine=1 ;;
    *) echo "$me: unknown purpose '$purpose'" >&2; usage ;;
  esac
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "$me: run as root or install sudo" >&2; exit 1
  fi
fi

installed() {
  dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'
}

apt_updated=0
apt_update_once() {
  if [ "$apt_updated" -eq 0 ]; then
    apt_update_retrying "$me" "$SUDO"
    apt_updated=1
  fi
}
apt_install() {
  echo "$me: installing $*"
  apt_update_once
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@"
}

missing_of() {
  local p
  for p in "$@"; do installed "$p" || echo "$p"; done
}

# The host's own packages first: gcc-multilib builds the i386 probe.
mapfile -t missing < <(missing_of $(printf '%s\n' "${native_pkgs[@]}" | sort -u))
if [ ${#missing[@]} -gt 0 ]; then apt_install "${missing[@]}"; fi

# i386 programs: the kernel's own, or qemu-i386 through binfmt_misc. This comes
# before Wine, whose maintainer scripts run i386 programs.
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

# Why apt cannot install wine32:i386, from the output of a simulated install
# ($1): the i386 packages it names whose twin on this host is Multi-Arch: same
# at a version that no index apt has offers for i386, and the indexes that
# apt-get update could not fetch. Printed as indented lines.
explain_wine32() {
  local output="$1" arch names name status version multiarch offered
  arch=$(dpkg --print-architecture)
  if printf '%s\n' "$output" | grep -Eq 'Unable to locate package|has no installation candidate'; then
    echo "  apt knows no installable wine32:i386 (is the i386 index of the main suite missing?)"
  fi
  names=$(printf '%s\n' "$output" \
    | sed -n '/unmet dependencies:/,/^E:/p' \
    | grep -oE '(^ [^ ]+ :|(Pre)?Depends: [^ ]+|Breaks: [^ ]+)' \
    | sed -E 's/^ //; s/ :$//; s/^[A-Za-z]+: //; s/:.*//' | sort -u)
  local skew=()
  local madison=""
  if [ -n "$names" ]; then
    madison=$(apt-cache madison $(printf '%s:i386\n' $names) 2>/dev/null || true)
  fi
  for name in $names; do
    IFS='|' read -r status version multiarch < <(dpkg-query -W \
      -f='${db:Status-Abbrev}|${Version}|${Multi-Arch}\n' "$name:$arch" 2>/dev/null || true)
    [ "${status% }" = ii ] && [ "$multiarch" = same ] || continue
    offered=$(printf '%s\n' "$madison" | awk -F'|' -v p="$name:i386" '
      { gsub(/^ +| +$/, "", $1); gsub(/^ +| +$/, "", $2) } $1 == p { print $2 }')
    if ! printf '%s\n' "$offered" | grep -qxF "$version"; then
      offered=$(printf '%s\n' "$offered" | paste -sd, | sed 's/,/, /g')
      skew+=("    $name:i386 must be $version, the version of this host's $name:$arch; apt offers ${offered:-no version of it}")
    fi
  done
  if [ ${#skew[@]} -gt 0 ]; then
    echo "  Multi-Arch: same packages must have the same version on both architectures, and apt has"
    echo "  no i386 twin at the host's version for:"
    printf '%s\n' "${skew[@]}"
  fi
  if [ -n "${APT_UPDATE_NOT_FETCHED:-}" ]; then
    echo "  indexes apt-get update could not fetch:"
    printf '    %s\n' $APT_UPDATE_NOT_FETCHED
  fi
  if [ ${#skew[@]} -eq 0 ]; then
    echo "  apt says:"
    printf '%s\n' "$output" | grep -E '^E:|unmet|Depends:|Breaks:' | head -n 8 | sed 's/^/    /'
  fi
}

# Wine's 32-bit half, the one i386 package set: tolerated when the registry
# cannot provide it today.
wine_note="$here/../build/deps/wine32-unavailable"
if [ "$want_wine" -eq 1 ]; then
  if installed wine32:i386; then
    rm -f "$wine_note"
  else
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      echo "$me: adding the i386 architecture (for wine32:i386 only)"
      $SUDO dpkg --add-architecture i386
      apt_updated=0
    fi
    apt_update_once
    reason=""
    if simulation=$(LC_ALL=C apt-get install -s --no-install-recommends wine32:i386 2>&1); then
      echo "$me: installing wine32:i386"
      if ! install_log=$(DEBIAN_FRONTEND=noninteractive LC_ALL=C $SUDO apt-get install -y -qq \
                           --no-install-recommends wine32:i386 2>&1); then
        reason=$(printf '%s\n' "$install_log" | grep -E '^E:' | head -n 5 | sed 's/^/  apt says: /')
        [ -n "$reason" ] || reason="  apt-get install wine32:i386 failed"
      fi
    else
      reason=$(explain_wine32 "$simulation")
    fi
    if [ -n "$reason" ]; then
      mkdir -p "$(dirname "$wine_note")"
      printf 'wine32:i386 cannot be installed on this host today:\n%s\n' "$reason" >"$wine_note"
      {
        echo "$me: warning: wine32:i386 cannot be installed, so the Windows tests cannot run here."
        sed "s/^/$me: warning: /" <<<"$reason"
        echo "$me: warning: everything else is installed; scripts/test-all.sh reports the Windows tests as not run."
      } >&2
    else
      rm -f "$wine_note"
    fi
  fi
fi

# kqcam's web server uses cpp-httplib header-only, from Debian's source
# package (scripts/fetch-httplib.sh says why).
bash "$here/fetch-httplib.sh" "$here/../build/deps/cpp-httplib"
