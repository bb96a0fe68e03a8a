#!/usr/bin/env bash
# Tries scripts/run-demo.sh as a new user would on a fresh Debian 12 machine:
# makes a bare bookworm chroot (debootstrap --variant=minbase, with git,
# ca-certificates and sudo), gives it this host's apt sources, clones the
# repository into it and runs the demo there as a user with sudo. Then it
# reports the time the demo took, the files it made, and whether any i386
# package, Wine or Chromium got installed. Run by hand (as root; it takes a
# while), not by scripts/test-all.sh.
#
#   scripts/check-fresh-machine.sh [--repo PATH] [--ref REF] [--keep]
#
#   --repo PATH  the repository to clone (default: the one this script is in)
#   --ref REF    the commit to try (default: HEAD; uncommitted changes are
#                not part of a clone)
#   --keep       leave the chroot in place (its mounts are removed anyway)
#
# Everything lives in one scratch folder, mktemp -d under $TMPDIR or
# /var/tmp; the chroot's proc, sys, dev and dev/pts are unmounted, and
# processes left running in it ended, on every way out. The scratch folder
# is only deleted once nothing is mounted below it any more, and never across
# file systems. Ends 0 when the demo ended 0, made its pictures and movie, and
# installed no i386 package, Wine or Chromium.
set -euo pipefail

me=check-fresh-machine
say() { echo "$me: $*"; }
die() { echo "$me: error: $*" >&2; exit 1; }

script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$script_dir/.."
ref=HEAD
keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --repo) [ $# -ge 2 ] || die "--repo needs a path"; repo="$2"; shift 2 ;;
    --ref) [ $# -ge 2 ] || die "--ref needs a commit"; ref="$2"; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown argument '$1' (see --help)" ;;
  esac
done

[ "$(id -u)" -eq 0 ] || die "run as root (debootstrap and chroot need it)"
command -v git >/dev/null 2>&1 || die "git is needed"
commit="$(git -C "$repo" rev-parse --verify --quiet "$ref^{commit}")" \
  || die "$ref is not a commit of $repo"
if ! command -v debootstrap >/dev/null 2>&1; then
  say "installing debootstrap"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap
fi

# The Debian mirror of this host's own apt sources (deb822 or classic
# format): the first deb entry for the bookworm suite.
mirror=""
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  mirror="$(awk '
    BEGIN { RS = ""; FS = "\n" }
    {
      types = ""; uris = ""; suites = ""
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^Types:/) types = $i
        else if ($i ~ /^URIs:/) uris = $i
        else if ($i ~ /^Suites:/) suites = $i
      }
      if (types ~ /[ \t]deb([ \t]|$)/ && suites ~ /[ \t]bookworm([ \t]|$)/) {
        sub(/^URIs:[ \t]*/, "", uris); split(uris, u, /[ \t]+/); print u[1]; exit
      }
    }' "$f")"
  [ -z "$mirror" ] || break
done
if [ -z "$mirror" ]; then
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    mirror="$(awk '$1 == "deb" {
        for (i = 2; i < NF; i++) if ($i !~ /^\[/ && $(i + 1) == "bookworm") { print $i; exit }
      }' "$f")"
    [ -z "$mirror" ] || break
  done
fi
[ -n "$mirror" ] || die "no deb entry for bookworm in this host's apt sources"

scratch="$(mktemp -d "${TMPDIR:-/var/tmp}/kqsdk-fresh.XXXXXX")"
mkdir "$scratch/root"
root="$(cd "$scratch/root" && pwd -P)"

# Mount points at or below the chroot, deepest first.
mounts_below_root() {
  awk -v r="$root" '{ gsub(/\\040/, " ", $5); if ($5 == r || index($5, r "/") == 1) print $5 }' \
    /proc/self/mountinfo | sort -r
}

cleanup() {
  local status=$? pid left
  trap - EXIT INT TERM
  set +e
  # Processes still running in the chroot (a daemon a package started, or
  # the demo itself after an interrupt), by id.
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ] && kill "$pid" 2>/dev/null
  done
  sleep 1
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ] && kill -9 "$pid" 2>/dev/null
  done
  for m in $(mounts_below_root); do
    umount "$m" 2>/dev/null || umount -l "$m"
  done
  left="$(mounts_below_root)"
  if [ -n "$left" ]; then
    echo "$me: error: still mounted, so $scratch is left in place:" >&2
    printf '  %s\n' $left >&2
    [ "$status" -ne 0 ] || status=1
  elif [ "$keep" -eq 1 ]; then
    say "the chroot is kept in $root"
  else
    rm -rf --one-file-system "$scratch"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

say "commit $(git -C "$repo" log -1 --format='%h %s' "$commit")"
say "debootstrap bookworm (minbase) into $root from $mirror"
t0=$SECONDS
# The long steps run in the background and are waited for, so that an
# interrupt reaches the clean-up at once rather than when they end.
debootstrap --variant=minbase --include=git,ca-certificates,sudo bookworm "$root" "$mirror" \
  >"$scratch/debootstrap.log" 2>&1 &
wait $! || { tail -n 30 "$scratch/debootstrap.log" >&2; die "debootstrap failed"; }
say "debootstrap took $((SECONDS - t0)) s"

# This host's apt sources, less the deb-src entry our own scripts add (a
# fresh machine has none), and its name resolution.
rm -f "$root/etc/apt/sources.list"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  case "$(basename "$f")" in kqsdk-deb-src.*) continue ;; esac
  cp "$f" "$root$f"
done
cp /etc/resolv.conf /etc/hosts "$root/etc/"
# Packages installed in the chroot do not start their services on the host.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 0755 "$root/usr/sbin/policy-rc.d"

mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"

# A user with sudo, as on a new machine, and the repository in its home.
chroot "$root" useradd --create-home --shell /bin/bash demo
echo 'demo ALL=(ALL) NOPASSWD: ALL' >"$root/etc/sudoers.d/demo"
chmod 0440 "$root/etc/sudoers.d/demo"
git clone --quiet --no-checkout "$repo" "$root/home/demo/kqsdk"
git -C "$root/home/demo/kqsdk" checkout --quiet "$commit"
chroot "$root" chown -R demo:demo /home/demo/kqsdk

in_chroot_as_demo() {
  chroot "$root" /usr/sbin/runuser -u demo -- env -i HOME=/home/demo USER=demo LANG=C.UTF-8 \
    PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin TERM=dumb "$@"
}

say "running scripts/run-demo.sh in the chroot"
echo "---- scripts/run-demo.sh ----"
t0=$SECONDS
demo_status=0
in_chroot_as_demo bash -c 'cd ~/kqsdk && scripts/run-demo.sh' </dev/null &
wait $! || demo_status=$?
demo_seconds=$((SECONDS - t0))
echo "---- end of scripts/run-demo.sh ----"

out="$root/home/demo/kqsdk/kqcam-output"
shots=0 movies=0
if [ -d "$out" ]; then
  shots=$(find "$out" -maxdepth 1 -name '*.jpg' -size +0 | wc -l)
  movies=$(find "$out" -maxdepth 1 -name '*.mjpg' -size +0 | wc -l)
fi
foreign="$(chroot "$root" dpkg --print-foreign-architectures | paste -sd' ')"
i386_pkgs="$(chroot "$root" dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' \
  | awk '$1 == "ii" && $2 ~ /:i386$/' | wc -l)"
wine_pkgs="$(chroot "$root" dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' \
  | awk '$1 == "ii" && $2 ~ /^(wine|libwine)/ { print $2 }' | paste -sd' ')"
chromium_pkgs="$(chroot "$root" dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' \
  | awk '$1 == "ii" && $2 ~ /^chromium/ { print $2 }' | paste -sd' ')"

echo
say "summary for $(git -C "$repo" log -1 --format=%h "$commit")"
say "  scripts/run-demo.sh ended with status $demo_status after $demo_seconds s"
say "  files made in kqcam-output:"
if [ -d "$out" ]; then
  (cd "$out" && find . -maxdepth 1 -type f -printf '%f %s\n' | sort \
     | while read -r name size; do printf '%s:     %-40s %10s bytes\n' "$me" "$name" "$size"; done)
else
  say "     none (no kqcam-output folder)"
fi
say "  foreign architectures: ${foreign:-none}"
say "  i386 packages installed: $i386_pkgs"
say "  Wine packages installed: ${wine_pkgs:-none}"
say "  Chromium packages installed: ${chromium_pkgs:-none}"
say "  packages installed in all: $(chroot "$root" dpkg-query -W -f='${db:Status-Abbrev}\n' | grep -c '^ii')"

[ "$demo_status" -eq 0 ] && [ "$shots" -ge 2 ] && [ "$movies" -ge 1 ] \
  && [ -z "$foreign" ] && [ "$i386_pkgs" -eq 0 ] && [ -z "$wine_pkgs" ] && [ -z "$chromium_pkgs" ]
