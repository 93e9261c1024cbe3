# Sourced: Unix process ids of this prefix's Wine processes, for /proc.
# The wineserver of a prefix works in a directory named server-DEV-INODE
# after the prefix directory; other prefixes have servers of their own.
zeb_wineserver_pid() {
  local dir p
  dir=server-$(printf '%x-%x' $(stat -Lc '%d %i' "$WINEPREFIX"))
  for p in $(pgrep -x 'wineserver|wineserver64'); do
    [ "$(basename "$(readlink "/proc/$p/cwd" 2>/dev/null)")" = "$dir" ] && { echo "$p"; return 0; }
  done
  return 1
}
