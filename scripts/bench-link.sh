#!/usr/bin/env bash
# Benchmark: cycle time of continuous measurement against zebsim compared
# with the time its bytes need on the wire. Prints a table.
#   scripts/bench-link.sh [cycles per row]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
"$root/scripts/wine-prefix.sh"
trap 'pkill -f "zebsim --link $WINEPREFIX/" 2>/dev/null || true; wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -p >/dev/null 2>&1 || true   # one may be running already
wine "$ZEB_BUILD/win/tests/bench_link.exe" "$@"
