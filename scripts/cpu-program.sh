#!/usr/bin/env bash
# Processor time of the whole program in continuous measurement: zebdiag.exe
# on a virtual display against zebsim at 38400 bit/s, default settings
# (beams 1..100, B64, no cycle delay), measured from /proc for 10 s.
#   scripts/cpu-program.sh [seconds]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
"$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
"$root/scripts/wine-prefix.sh"
. "$root/scripts/wine-procs.sh"

work=$ZEB_BUILD/cpu
rm -rf "$work" && mkdir -p "$work"   # no zebdiag.ini: the program's defaults
[ -n "${ZEB_INI:-}" ] && cp "$ZEB_INI" "$work/zebdiag.ini"
sim="" xvfb="" prog=""
cleanup() {
  for p in $prog $sim $xvfb; do kill "$p" 2>/dev/null || true; done
  wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
"$ZEB_BUILD/sim/zebsim" --link "$ZEB_SIM_LINE" --baud 38400 --trace "$work/sim.trace" >"$work/sim.log" 2>&1 &
sim=$!
for n in $(seq 90 140); do [ -e /tmp/.X11-unix/X$n ] || break; done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$n"
wineserver -p >/dev/null 2>&1 || true
server=$(zeb_wineserver_pid)
sleep 1
cd "$work"
# The Wine process keeps the process id of the shell that execs it.
bash -c 'exec wine "$0"' "$ZEB_BUILD/win/zebdiag.exe" >/dev/null 2>&1 &
prog=$!
wid=$(zeb_main_window)
[ -n "$wid" ] || { echo "the program's window did not appear" >&2; exit 1; }
xdotool windowfocus --sync "$wid" key alt+a
sleep 2   # the run has started and settled

ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }   # utime + stime
records() { grep -c '^record' "$work/sim.trace" || true; }
p0=$(ticks "$prog") s0=$(ticks "$server") r0=$(records) t0=$(date +%s.%N)
sleep "$seconds"
p1=$(ticks "$prog") s1=$(ticks "$server") r1=$(records) t1=$(date +%s.%N)
read -r load _ < /proc/loadavg

xdotool windowfocus --sync "$wid" key alt+a || true
sleep 0.5
xdotool windowfocus --sync "$wid" key Escape || true
sleep 1
box=$(xdotool search --name '^ZEB Zuvaririzadure$' 2>/dev/null | tail -1) || true
[ -n "$box" ] && xdotool windowfocus --sync "$box" key Return || true
for i in $(seq 50); do kill -0 "$prog" 2>/dev/null || break; sleep 0.1; done

# Clock ticks are 1/100 s: ticks per second are percent of one core.
awk -v p=$((p1 - p0)) -v s=$((s1 - s0)) -v r=$((r1 - r0)) -v t0="$t0" -v t1="$t1" -v load="$load" 'BEGIN {
  t = t1 - t0
  printf "continuous measurement, 38400 bit/s, 100 beams, B64, %.1f s, %d records (%.1f per second), load %s\n", t, r, r / t, load
  printf "zebdiag.exe %.1f %%, wineserver %.1f %%, together %.1f %% of one core\n", p / t, s / t, (p + s) / t
}'
