# Sourced by the scripts that install Debian packages.
#
# apt_update_retrying WHO SUDO
#   Runs apt-get update up to three times, a few seconds apart, until every
#   index has been fetched. A registry caught mid-sync serves an index at the
#   wrong size for a while; an index that still fails after the last try is
#   named in one warning (prefixed WHO) and tolerated: apt keeps the indexes
#   it has, and the install that follows decides whether they are enough.
#   Always returns 0; APT_UPDATE_NOT_FETCHED then holds the addresses of the
#   indexes that failed (empty when all were fetched).

apt_update_retrying() {
  local who="$1" sudo="$2" try output failed
  APT_UPDATE_NOT_FETCHED=""
  for try in 1 2 3; do
    if output=$($sudo env DEBIAN_FRONTEND=noninteractive LC_ALL=C apt-get update -qq 2>&1); then
      return 0
    fi
    [ "$try" -lt 3 ] && sleep 5
  done
  failed=$(printf '%s\n' "$output" | sed -nE 's/^[EW]: Failed to fetch ([^ ]+).*/\1/p' | sort -u)
  APT_UPDATE_NOT_FETCHED=$failed
  [ -n "$failed" ] || failed=$(printf '%s\n' "$output" | grep -E '^[EW]:' | head -n 3)
  echo "$who: warning: apt-get update failed three times; going on with the indexes apt has." >&2
  echo "$who: warning: not fetched (the registry may be mid-sync):" >&2
  printf '%s\n' "$failed" | sed "s/^/$who:   /" >&2
  return 0
}
