#!/usr/bin/env bash
# Benchmark: zebreport on a generated 100 MB recording (999 beams, 25,000
# lines, values with noise, a few weak beams). Prints a table of wall time and
# peak memory per run; the native program is the one measured against the
# aim (1 s, 50 MB), the .exe under Wine is shown for comparison.
#   scripts/bench-report.sh [runs]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
"$root/scripts/wine-prefix.sh" >/dev/null
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -p >/dev/null 2>&1 || true
mkdir -p "$ZEB_BUILD/bench"
cd "$ZEB_BUILD/bench"
python3 - "${1:-3}" "$ZEB_BUILD/report/zebreport" "$ZEB_BUILD/win/zebreport.exe" <<'PY'
import os, random, resource, subprocess, sys, time

runs, native, exe = int(sys.argv[1]), sys.argv[2], sys.argv[3]
log = 'rec_20240501T080000.log'
if not os.path.exists(log):
    random.seed(7)
    base = [random.randint(120, 230) for _ in range(999)]
    for b in (5, 17, 400):
        base[b - 1] = 20
    rows = ['\t'.join(str(min(255, max(0, v + random.randint(-3, 3)))) for v in base) for _ in range(64)]
    with open(log, 'wb') as f:
        f.write('ZEB Zuvaririzadure - Signalst\xe4rke, aktuell (Leistenpaar 1)\r\n'.encode('cp1252'))
        f.write(b'Date: 2024-05-01\r\nZeit        \tErster\tLetzter\tLeiste\tWerte\r\n')
        ms, out = 8 * 3600000, []
        for i in range(25000):
            ms += 40 + i % 3
            out.append(f'{ms // 3600000:02d}:{ms // 60000 % 60:02d}:{ms // 1000 % 60:02d},{ms % 1000:03d}'
                       f'\t1\t999\t0\t{rows[random.randrange(64)]}\r\n')
        f.write(''.join(out).encode())
size = os.path.getsize(log) / 1e6

def measure(cmd):
    """Wall time and the peak resident memory of the child (a fresh process per run)."""
    probe = ('import resource, subprocess, sys, time; t = time.perf_counter(); '
             'r = subprocess.run(sys.argv[1:], stdin=subprocess.DEVNULL, capture_output=True); '
             'print(time.perf_counter() - t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, r.returncode)')
    out = subprocess.run([sys.executable, '-c', probe] + cmd, capture_output=True, text=True).stdout.split()
    return float(out[0]), int(out[1]) / 1024, int(out[2])

args = [log, '--min', '30', '-o', 'bench.html', '--csv', 'bench.csv']
print(f'zebreport on {log}: {size:.1f} MB, 999 beams, 25000 lines\n')
print('| program | run | time (s) | peak memory (MB) | exit status |')
print('| --- | --- | --- | --- | --- |')
for name, cmd in (('native', [native]), ('exe under Wine', ['wine', exe])):
    for run in range(1, runs + 1):
        t, mem, rc = measure(cmd + args)
        print(f'| {name} | {run} | {t:.2f} | {mem:.1f} | {rc} |')
PY
