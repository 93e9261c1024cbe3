#!/usr/bin/env bash
# Benchmark: processor time of one paint of the bar display (100 beams, the
# program's first window size), normal and flipped view, on a virtual
# display. Prints a table.
#   scripts/bench-paint.sh [paints]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
"$root/scripts/wine-prefix.sh" >/dev/null
xvfb=""
trap 'wineserver -k >/dev/null 2>&1 || true; [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true' EXIT
for n in $(seq 90 140); do [ -e /tmp/.X11-unix/X$n ] || break; done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$n"
sleep 1
wineserver -p >/dev/null 2>&1 || true
wine "$ZEB_BUILD/win/tests/bench_paint.exe" "$@"
