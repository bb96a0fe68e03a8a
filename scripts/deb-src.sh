# Sourced by the scripts that build from Debian's source packages.
#
# add_deb_src_entry SUDO
#   Makes sure apt knows a deb-src entry, deriving one from the machine's own
#   deb entries (deb822 or classic format) when there is none. Returns 0 when
#   it added an entry (the caller then runs apt-get update), 1 when one was
#   there already, 2 when there is no deb entry to derive one from.
#
# run COMMAND...
#   Runs a command with its output appended to the file named by $log; on
#   failure shows the log's tail (prefixed with $me) and exits.

run() {
  echo "+ $*" >>"$log"
  if ! "$@" >>"$log" 2>&1; then
    echo "$me: failed: $*" >&2
    echo "---- last lines of $log ----" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

have_deb_src() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -Eq '^[[:space:]]*deb-src[[:space:]]' "$f" && return 0
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && grep -Eiq '^Types:.*\bdeb-src\b' "$f" && return 0
  done
  return 1
}

add_deb_src_entry() {
  local sudo="$1"
  local deb822=/etc/apt/sources.list.d/debian.sources
  local classic=/etc/apt/sources.list
  have_deb_src && return 1
  if [ -f "$deb822" ] && grep -Eiq '^Types:[[:space:]]*deb[[:space:]]*$' "$deb822"; then
    echo "adding deb-src entry /etc/apt/sources.list.d/kqsdk-deb-src.sources (from $deb822)" >&2
    sed -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/I' "$deb822" \
      | $sudo tee /etc/apt/sources.list.d/kqsdk-deb-src.sources >/dev/null
  elif [ -f "$classic" ] && grep -Eq '^[[:space:]]*deb[[:space:]]' "$classic"; then
    echo "adding deb-src entry /etc/apt/sources.list.d/kqsdk-deb-src.list (from $classic)" >&2
    grep -E '^[[:space:]]*deb[[:space:]]' "$classic" \
      | sed -E 's/^[[:space:]]*deb([[:space:]])/deb-src\1/' \
      | $sudo tee /etc/apt/sources.list.d/kqsdk-deb-src.list >/dev/null
  else
    return 2
  fi
  return 0
}
