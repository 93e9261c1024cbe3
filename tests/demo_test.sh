#!/usr/bin/env bash
# The demo as a newcomer meets it on a display: started with no Wine server
# running, measuring, closed as a user closes it (Escape, Yes), it prints a
# few lines of its own and nothing of the Wine server's (which dumps its
# objects when the line it holds hangs up); --help tells what the demo does.
#   demo_test.sh    (run by ctest on the test run's display)
set -uo pipefail
: "${ZEB_BUILD:?}" "${DISPLAY:?}"
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
. "$root/scripts/wine-procs.sh"
. "$(dirname "$0")/check.sh"
out=$ZEB_BUILD/demo-test.out

# The run's persistent server goes for the demo's own, and comes back after.
wineserver -k >/dev/null 2>&1; wineserver -w
"$root/scripts/demo.sh" >"$out" 2>&1 &
demo=$!
wid=$(zeb_main_window)
# Measuring opens the port: a line the Wine server holds when zebsim ends with the demo.
[ -n "$wid" ] && xdotool windowfocus --sync "$wid" key alt+a && sleep 2 && xdotool key Escape
for i in $(seq 75); do
  box=$(xdotool search --name '^ZEB Zuvaririzadure$' 2>/dev/null | tail -1) && [ -n "$box" ] && break
  sleep 0.2
done
[ -n "${box:-}" ] && sleep 0.5 && xdotool windowfocus --sync "$box" key Return
wait "$demo"
check "the demo ends when the program is closed" 0 $?
wineserver -w    # until the demo's server is gone: whatever it writes, it has written
wineserver -p </dev/null >/dev/null 2>&1
# Its services start with the next program: here, not holding a test's output open.
wine reg query 'HKLM\Software\Wine\Ports' >/dev/null 2>&1
lines=$(wc -l <"$out")
check "the demo prints at most 6 lines" yes "$([ "$lines" -le 6 ] && echo yes || { echo "$lines lines:"; head -5 "$out"; })"
"$root/scripts/demo.sh" --help >"$out.help" 2>&1
check "demo.sh --help says what the demo does and starts nothing" "0 yes" \
  "$? $(grep -q '^Builds zebdiag.exe and zebsim' "$out.help" && ! grep -q 'not started' "$out.help" && echo yes)"
echo "demo: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
