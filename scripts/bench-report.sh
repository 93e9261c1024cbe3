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
import os, random, subprocess, sys

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
