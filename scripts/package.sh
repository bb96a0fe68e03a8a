#!/usr/bin/env bash
# Makes the release archives in build/packages:
#   KQSDK-<version>-win32.zip          (mingw-x86 preset)
#   KQSDK-<version>-linux-i386.tar.gz  (linux-x86 preset)
# each holding the install tree, the README, the integrator's guide, the
# changelog and the example; and beside each, the debug information of its
# binaries (KQSDK-<version>-<system>-debug.zip / .tar.gz).
#   scripts/package.sh [PRESET...]     (default: mingw-x86 linux-x86)
# Builds what the archives hold first (nothing is rebuilt when up to date),
# checks what each archive holds and lists it with sizes.
set -euo pipefail
cd "$(dirname "$0")/.."

presets=(mingw-x86 linux-x86)
if [ $# -gt 0 ]; then presets=("$@"); fi

bash scripts/install-deps.sh package
i386_host=$(bash scripts/i386-host.sh)
out=$PWD/build/packages
mkdir -p "$out"

# Lists an archive as "size path" lines, folders left out.
list_archive() {
  case "$1" in
    *.zip) unzip -Z -l "$1" | awk '$1 ~ /^-/ { print $4, $NF }' ;;
    *.tar.gz) tar -tvzf "$1" | awk '$1 ~ /^[-l]/ { print $3, $6 ($7 == "->" ? " -> " $8 : "") }' ;;
  esac
}

fail() {
  echo "package: $*" >&2
  exit 1
}

for preset in "${presets[@]}"; do
  case "$preset" in
    mingw-x86) system=win32 ext=zip library=bin/KQSDK.dll built=bin/KQSDK.dll
      required=(bin/KQSDK.dll bin/kqcam.exe bin/ztprobe.exe include/kqsdk.h lib/KQSDK.lib
                lib/libKQSDK.dll.a simulator/ZTSDK_32.dll recorder/ZTSDK_32.dll)
      simulator=ZTSDK_32.dll ;;
    linux-x86) system=linux-i386 ext=tar.gz library=lib/libKQSDK.so.VERSION
      built=bin/libKQSDK.so.VERSION
      required=(bin/kqcam bin/ztprobe include/kqsdk.h lib/libKQSDK.so lib/pkgconfig/kqsdk.pc
                simulator/libZTSDK_32.so recorder/libZTSDK_32.so)
      simulator=libZTSDK_32.so ;;
    *) fail "no archive for preset $preset (mingw-x86 or linux-x86)" ;;
  esac
  required+=(lib/cmake/KQSDK/KQSDKConfig.cmake lib/cmake/KQSDK/KQSDKConfigVersion.cmake
             README.md INTEGRATORS-GUIDE.md CHANGELOG.md examples/capture/CMakeLists.txt
             examples/capture/capture.c)

  echo "== ${preset}: build"
  cmake --preset "$preset" -DKQSDK_I386_HOST="$i386_host" >/dev/null
  cmake --build --preset "$preset" --target kqsdk_release
  version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "build/$preset/CPackConfig.cmake")
  [ -n "$version" ] || fail "no version in build/$preset/CPackConfig.cmake"
  name=KQSDK-$version-$system
  library=${library/VERSION/$version} built=${built/VERSION/$version}
  rm -f "$out/$name.$ext" "$out/$name-debug.$ext"

  echo "== ${preset}: archives"
  (cd "build/$preset" && cpack -B "$out" >/dev/null &&
   cpack -B "$out" -D CPACK_COMPONENTS_ALL=Debug -D CPACK_PACKAGE_FILE_NAME="$name-debug" >/dev/null)
  rm -rf "$out/_CPack_Packages"

  archive=$out/$name.$ext
  [ -f "$archive" ] || fail "cpack made no $archive"
  listing=$(list_archive "$archive")
  for file in "${required[@]}"; do
    grep -q " $name/$file\( ->.*\)\?$" <<<"$listing" || fail "$archive lacks $file"
  done
  if grep -q '\.debug$' <<<"$listing"; then fail "$archive holds debug information"; fi
  # The recording Camera SDK has the same name, in recorder/.
  if grep " $name/" <<<"$listing" | grep "/$simulator\$" |
     grep -v " $name/recorder/$simulator\$" | grep -vq " $name/simulator/$simulator\$"; then
    fail "$archive holds a Camera SDK outside simulator/ and recorder/"
  fi
  # The library in the archive is the one built and tested in build/<preset>.
  case "$ext" in
    zip) packed_hash=$(unzip -p "$archive" "$name/$library" | sha256sum) ;;
    tar.gz) packed_hash=$(tar -xzOf "$archive" "$name/$library" | sha256sum) ;;
  esac
  [ "$packed_hash" = "$(sha256sum < "build/$preset/$built")" ] ||
    fail "$archive: $library is not build/$preset/$built"
  debug_archive=$out/$name-debug.$ext
  [ -f "$debug_archive" ] || fail "cpack made no $debug_archive"
  list_archive "$debug_archive" | grep -q '\.debug$' || fail "$debug_archive holds no .debug file"

  for a in "$archive" "$debug_archive"; do
    echo "$(basename "$a"): $(stat -c %s "$a") bytes"
    list_archive "$a" | sed 's/^/  /'
  done
done
