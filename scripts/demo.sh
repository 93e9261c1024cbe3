#!/usr/bin/env bash
# The demo: zebdiag.exe against zebsim, a simulated controller of a beam grid.
#   scripts/demo.sh [zebsim options]
# Builds zebdiag.exe and zebsim (the first time; installs what is missing),
# starts zebsim on COM1 of the project's Wine prefix (build/wine) and runs
# zebdiag.exe against it on your display; closing the program (Escape) stops
# the simulator. Without a display it runs on a virtual one, measures
# continuously for a few seconds and saves a screenshot.
# The options go to zebsim (build/sim/zebsim --help lists them), for example
#   --beams 300   --pattern   --weak 5,17,40   --fault late --fault-at 20
#   --replay LOG... [--loop] [--realtime]
# --replay plays a data log back: the program starts on the recording's beams
# and rod pair (settings of its own, in build/demo-replay) and, without a
# display, on its value type.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
case "${1:-}" in -h | --help) sed -n '2,/^set /{/^set /d;s/^# \{0,1\}//p}' "$0"; exit 0 ;; esac
. "$root/scripts/wine-env.sh"
if [ ! -x "$ZEB_BUILD/win/zebdiag.exe" ] || [ ! -x "$ZEB_BUILD/sim/zebsim" ]; then
  echo "demo: building zebdiag.exe and zebsim (the first time takes a few minutes; output in build/demo-build.log)"
fi
"$root/scripts/build.sh" --demo
"$root/scripts/wine-prefix.sh"
. "$root/scripts/wine-procs.sh"

work=$ZEB_BUILD/demo            # the program keeps zebdiag.ini here
replay=""
for a in "$@"; do [ "$a" = --replay ] && replay=yes && work=$ZEB_BUILD/demo-replay; done
mkdir -p "$work"
simlog=$ZEB_BUILD/zebsim-demo.log
rm -f "$simlog"
echo "demo: starting the simulated controller (zebsim) as COM1 of the prefix"
# zebsim's notes (what a replay holds, where it ends) show here too.
"$ZEB_BUILD/sim/zebsim" --link "$ZEB_SIM_LINE" --baud 38400 "$@" 2> >(tee "$simlog" >&2) &
sim=$!
xvfb=""
cleanup() {
  kill "$sim" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for i in $(seq 50); do [ -e "$ZEB_SIM_LINE" ] || ! kill -0 "$sim" 2>/dev/null && break; sleep 0.1; done
if ! kill -0 "$sim" 2>/dev/null; then
  wait "$sim" && status=0 || status=$?
  echo "zebdiag: not started, zebsim ended (exit status $status)" >&2
  exit "$status"
fi

# The recording's first cycle, as zebsim names it: value type, beams, rod pair.
keys=(alt+a)
if [ -n "$replay" ]; then
  for i in $(seq 20); do grep -qs '^zebsim: playing back' "$simlog" && break; sleep 0.1; done
  IFS='|' read -r type first last rod < <(sed -n 's/^zebsim: playing back .*: \([a-z ]*\), beams \([0-9]*\)\.\.\([0-9]*\) of rod pair \([12]\) first.*/\1|\2|\3|\4/p' "$simlog") || true
  if [ -n "${first:-}" ]; then
    printf '[Parameter]\r\nFirstBeam=%d\r\nLastBeam=%d\r\nRodNumber=%d\r\n' "$first" "$last" $((rod - 1)) >"$work/zebdiag.ini"
  fi
  case ${type:-} in
    "transmitter feedback") keys=(F6 alt+a) ;; "receiver feedback") keys=(F7 alt+a) ;;
    "reference values") keys=(F8 alt+a) ;;
  esac
  if [ -n "${first:-}" ]; then
    what="beams $first..$last of rod pair $rod; the recording holds ${type:-?}"
    if [ -n "${DISPLAY:-}" ]; then
      echo "zebdiag: set to $what: press ${keys[*]} (measure continuously) to play it"
    else
      echo "zebdiag: set to $what: playing it with ${keys[*]} (measure continuously)"
    fi
  fi
fi

cd "$work"
zeb_wineserver
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
xdotool windowfocus --sync "$wid" key "${keys[@]}" || true
sleep 3
shot=$work/screenshot.png
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
