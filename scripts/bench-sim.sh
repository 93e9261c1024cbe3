#!/usr/bin/env bash
# Benchmark: zebsim playing back the 100 MB recording of bench-report.sh
# (999 beams, 25,000 lines) against zebsim's own signals: time from start to
# the first record of 999 beams, peak memory, and records answered per
# second with the line costing nothing (--baud 0), so zebsim itself is the
# bound. Prints a table.
#   scripts/bench-sim.sh [seconds per run [runs]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
mkdir -p "$ZEB_BUILD/bench"
cd "$ZEB_BUILD/bench"
log=rec_20240501T080000.log
python3 "$root/scripts/recording.py" "$log"
secs=${1:-5} runs=${2:-3}
bench=$ZEB_BUILD/sim/bench_sim sim=$ZEB_BUILD/sim/zebsim
echo "zebsim on $log: $(($(stat -c %s "$log") / 1000000)) MB, 999 beams, 25000 lines; B64 records of 999 beams, --baud 0, $secs s a run"
echo
echo '| zebsim | first record after start (ms) | peak memory (MB) | records per second |'
echo '| --- | --- | --- | --- |'
for run in $(seq "$runs"); do
  "$bench" "$secs" "own signals, run $run" "$sim" --beams 999 --baud 0 2>/dev/null
  # --loop: a run that reaches the end still answers with logged cycles only.
  "$bench" "$secs" "--replay --loop, run $run" "$sim" --baud 0 --loop --replay "$log" 2>/dev/null
done
