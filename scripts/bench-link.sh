#!/usr/bin/env bash
# Benchmark: cycle time of continuous measurement against zebsim compared
# with the time its bytes need on the wire, and the processor time it costs
# (measuring process and wineserver, from /proc). Prints a table.
#   scripts/bench-link.sh [seconds per row [bit/s, 0 for the tool-bound rows]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
"$root/scripts/wine-prefix.sh"
. "$root/scripts/wine-procs.sh"
trap 'pkill -f "zebsim --link $WINEPREFIX/" 2>/dev/null || true; wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -p >/dev/null 2>&1 || true   # one may be running already
ZEB_SERVER_PID=$(zeb_wineserver_pid) || true
export ZEB_SERVER_PID
# The Wine process keeps the process id of the shell that execs it.
bash -c 'export ZEB_SELF_PID=$$; exec wine "$0" "$@"' "$ZEB_BUILD/win/tests/bench_link.exe" "$@"
