# Sourced: this prefix's Wine processes and the program's window.

# Unix process id of the prefix's wineserver (for /proc). It works in a
# directory named server-DEV-INODE after the prefix directory; other
# prefixes have servers of their own.
zeb_wineserver_pid() {
  local dir p
  dir=server-$(printf '%x-%x' $(stat -Lc '%d %i' "$WINEPREFIX"))
  for p in $(pgrep -x 'wineserver|wineserver64'); do
    [ "$(basename "$(readlink "/proc/$p/cwd" 2>/dev/null)")" = "$dir" ] && { echo "$p"; return 0; }
  done
  return 1
}

# Waits up to 20 s for the program's main window on $DISPLAY and prints its id.
zeb_main_window() {
  local wid="" i
  for i in $(seq 100); do
    wid=$(xdotool search --name 'ZEB Zuvaririzadure - ' 2>/dev/null | head -1) && [ -n "$wid" ] && break
    sleep 0.2
  done
  sleep 1   # mapped, not only created
  echo "$wid"
}
