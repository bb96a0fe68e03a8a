#!/usr/bin/env bash
# Installs the Debian packages the three builds need. Safe to run again: it only
# installs what is missing. Runs as root, or through sudo when available.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "install-deps: run as root or install sudo" >&2; exit 1
  fi
fi

native_pkgs=(cmake ninja-build g++ gcc-multilib g++-multilib nasm dpkg-dev
             googletest libgtest-dev libbenchmark-dev
             g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
             wine clang libclang-rt-14-dev valgrind)
i386_pkgs=(libjpeg62-turbo-dev:i386 libbenchmark-dev:i386 wine32:i386)

missing=()
for p in "${native_pkgs[@]}" "${i386_pkgs[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
