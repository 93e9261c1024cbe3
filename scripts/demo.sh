#!/usr/bin/env bash
# The demo: builds everything (installing what is missing), starts zebsim on
# COM1 of the project's Wine prefix and runs zebdiag.exe against it, on your
# display or, without one, on a virtual display with a screenshot.
# Stopping the program stops the simulator. Extra arguments go to zebsim
# (for example --beams 300 --fault late --fault-at 20).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
. "$root/scripts/wine-env.sh"
"$root/scripts/wine-prefix.sh"
. "$root/scripts/wine-procs.sh"

work=$ZEB_BUILD/demo            # the program keeps zebdiag.ini here
mkdir -p "$work"
"$ZEB_BUILD/sim/zebsim" --link "$ZEB_SIM_LINE" --baud 38400 "$@" >"$ZEB_BUILD/zebsim-demo.log" 2>&1 &
sim=$!
xvfb=""
cleanup() {
  kill "$sim" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for i in $(seq 50); do [ -e "$ZEB_SIM_LINE" ] && break; sleep 0.1; done

cd "$work"
if [ -n "${DISPLAY:-}" ]; then
  echo "zebdiag: starting on $DISPLAY (simulator on COM1; close the program to stop both)"
  wine "$ZEB_BUILD/win/zebdiag.exe"
  exit 0
fi

# No display: run on a virtual one, measure continuously, save a picture.
for n in $(seq 90 140); do [ -e /tmp/.X11-unix/X$n ] || break; done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$n"
sleep 1
wine "$ZEB_BUILD/win/zebdiag.exe" >/dev/null 2>&1 &
prog=$!
wid=$(zeb_main_window)
xdotool windowfocus --sync "$wid" key alt+a || true
sleep 3
shot=$ZEB_BUILD/demo/screenshot.png
import -window root -crop 960x780+0+0 "$shot"
echo "No display: zebdiag ran on a virtual one, measuring continuously against zebsim."
echo "Screenshot: $shot"
xdotool windowfocus --sync "$wid" key alt+a || true
sleep 0.5
xdotool windowfocus --sync "$wid" key Escape || true
sleep 1
box=$(xdotool search --name '^ZEB Zuvaririzadure$' | tail -1)
[ -n "$box" ] && xdotool windowfocus --sync "$box" key Return || true
wait "$prog" || true
