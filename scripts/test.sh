#!/usr/bin/env bash
# Builds everything and runs every test: installs what is missing, cross
# builds the Windows side, builds the simulator, prepares the Wine prefix,
# the virtual serial lines and a virtual display, then runs ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
. "$root/scripts/wine-env.sh"

# The whole run (no ctest arguments): every fuzz target replays its seeds and
# regression inputs, and the native tests run once more under ASan and UBSan.
if [ $# -eq 0 ]; then
  "$root/scripts/fuzz.sh" --replay
  "$root/scripts/sanitize.sh"
fi

"$root/scripts/wine-prefix.sh"
cleanup() {
  [ -n "${release_pid:-}" ] && kill -- -"$release_pid" 2>/dev/null || true
  [ -n "${fullfs:-}" ] && umount "$fullfs" 2>/dev/null || true
  pkill -f "zebsim --link $WINEPREFIX/" 2>/dev/null || true
  "$root/scripts/vports.sh" down || true
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
for n in $(seq 90 140); do [ -e /tmp/.X11-unix/X$n ] || break; done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$n"
"$root/scripts/vports.sh" down >/dev/null 2>&1 || true
"$root/scripts/vports.sh" up COM5:COM6 COM7:COM8 COM12:COM23   # restarts the Wine server
wineserver -p >/dev/null 2>&1 || true
# The prefix's services start with the first program; started here, they do
# not inherit (and hold open) a test's output.
wine reg query 'HKLM\Software\Wine\Ports' >/dev/null 2>&1 || true

# A tiny file system for the full-disk cases; mounting it needs root.
fullfs=$ZEB_BUILD/fullfs
mkdir -p "$fullfs"
umount "$fullfs" 2>/dev/null || true
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=64k zebfull "$fullfs" 2>/dev/null; then
  export ZEB_FULL_FS=$fullfs
else
  fullfs=""
  echo "No small file system could be mounted (needs root): the full-disk cases are skipped."
fi

# The release test's two clean builds take minutes of processor time and no
# Wine; the whole run starts them now, niced, beside the Wine tests (which
# mostly wait on lines and windows), and the release test takes their result.
if [ $# -eq 0 ]; then
  rel=$ZEB_BUILD/release-test
  rm -rf "$rel" && mkdir -p "$rel"
  export ZEB_RELEASE_RC=$rel/release.rc
  setsid nice -n 19 bash -c '"$0" --worktree --out "$1/dist" >"$1/release.log" 2>&1; echo $? >"$1/release.rc"' \
    "$root/scripts/release.sh" "$rel" &
  release_pid=$!
fi

cd "$ZEB_BUILD/win"
ctest --output-on-failure -j1 "$@"
