#!/usr/bin/env bash
# Benchmark: zebreport on a generated 100 MB recording (999 beams, 25,000
# lines, values with noise, a few weak beams). Prints a table of wall time and
# peak memory per run; the native program is the one measured against the
# aim (1 s, 50 MB), the .exe under Wine is shown for comparison.
#   scripts/bench-report.sh [runs]   (then as found/as left, history and fleet rows)
#   scripts/bench-report.sh fleet    (the fleet rows alone)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null
[ "${1:-}" = fleet ] && exec "$root/scripts/bench-fleet.sh"
. "$root/scripts/wine-env.sh"
"$root/scripts/wine-prefix.sh" >/dev/null
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -p >/dev/null 2>&1 || true
mkdir -p "$ZEB_BUILD/bench"
cd "$ZEB_BUILD/bench"
log=rec_20240501T080000.log
python3 "$root/scripts/recording.py" "$log"
python3 - "${1:-3}" "$ZEB_BUILD/report/zebreport" "$ZEB_BUILD/win/zebreport.exe" "$log" <<'PY'
import os, subprocess, sys

runs, native, exe, log = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
size = os.path.getsize(log) / 1e6

def measure(cmd):
    """Wall time and peak resident memory of one run, by GNU time. Output to
    files: Wine's helper processes would hold a pipe open."""
    with open('bench.err', 'w') as err:
        rc = subprocess.run(['/usr/bin/time', '-f', '%e %M', '-o', 'time.txt'] + cmd, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=err).returncode
    t, kb = open('time.txt').read().split()[-2:]
    return float(t), int(kb) / 1024, rc

args = [log, '--min', '30', '-o', 'bench.html', '--csv', 'bench.csv']
print(f'zebreport on {log}: {size:.1f} MB, 999 beams, 25000 lines\n')
print('| program | run | time (s) | peak memory (MB) | exit status |')
print('| --- | --- | --- | --- | --- |')
for name, cmd in (('native', [native]), ('exe under Wine', ['wine', exe])):
    for run in range(1, runs + 1):
        t, mem, rc = measure(cmd + args)
        print(f'| {name} | {run} | {t:.2f} | {mem:.1f} | {rc} |')
PY

# As found and as left of two such logs, and a history of 20 visits of one
# each (the same lines under 20 Date lines a month apart), against today's
# report of the same logs as one recording, which reads each log twice.
python3 - "$ZEB_BUILD/report/zebreport" "$log" <<'PY'
import os, shutil, subprocess, sys

native, log = sys.argv[1], sys.argv[2]
visits = []
with open(log, 'rb') as src:
    head = [src.readline() for _ in range(2)]
    body = src.tell()
for k in range(20):
    name = f'visit{k:02d}_20240501T080000.log'
    visits.append(name)
    if not os.path.exists(name):
        with open(log, 'rb') as src, open(name + '.part', 'wb') as out:
            out.write(head[0] + f'Date: {2020 + k // 12:04d}-{k % 12 + 1:02d}-01\r\n'.encode())
            src.seek(body)
            shutil.copyfileobj(src, out, 1 << 22)
        os.replace(name + '.part', name)

def measure(args):
    with open('bench.err', 'w') as err:
        rc = subprocess.run(['/usr/bin/time', '-f', '%e %M', '-o', 'time.txt', native] + args,
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err).returncode
    t, kb = open('time.txt').read().split()[-2:]
    return float(t), int(kb) / 1024, rc

rows = [('as found / as left, 2 logs', ['--as-found', visits[0], '--as-left', visits[1]], visits[:2])]
rows += [(f'history, {n} visits', ['--history'] + visits[:n], visits[:n]) for n in (5, 10, 20)]
print('\n| run | logs (MB) | time (s) | today\'s report of the same logs (s) | ratio | peak memory (MB) | today\'s (MB) |')
print('| --- | --- | --- | --- | --- | --- | --- |')
for name, args, logs in rows:
    t, mem, _ = measure(args + ['--min', '30', '-o', 'bench2.html'])
    t0, mem0, _ = measure(logs + ['--min', '30', '-o', 'bench0.html'])
    mb = sum(os.path.getsize(l) for l in logs) / 1e6
    print(f'| {name} | {mb:.0f} | {t:.2f} | {t0:.2f} | {t / t0:.2f} | {mem:.1f} | {mem0:.1f} |')
PY

"$root/scripts/bench-fleet.sh"
