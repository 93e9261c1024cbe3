#!/usr/bin/env bash
# Benchmark rows of zebreport --fleet (run by bench-report.sh): 200 grids of
# 10 visits each, one log of 999 beams and about 1 MB a visit (2 GB in all,
# under build/, deleted afterwards). Prints a table: the first run against
# reading every log once (the same archive mounted read-only, so that no
# summary can be written), a second run with nothing new, a run after one new
# visit against reading that one log, and peak memory for 20 and 200 grids.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
bench=$ZEB_BUILD/bench-fleet
rm -rf "$bench"
mkdir -p "$bench/archive" "$bench/ro"
cleanup() {
  umount "$bench/ro" 2>/dev/null || true
  rm -rf "$bench"
}
trap cleanup EXIT
cd "$bench"
python3 - <<'PY'
import datetime, os, random

random.seed(11)
base = [random.randint(120, 230) for _ in range(999)]
head = 'ZEB Zuvaririzadure - Signalst\xe4rke, aktuell (Leistenpaar 1)\r\n'.encode('cp1252')
bodies = []
for k in range(10):   # one body a visit, shared by the grids: beams 5 and 17 lose 4 % a visit
    level = [v * (0.96 ** k if b in (4, 16) else 1) for b, v in enumerate(base)]
    rows = ['\t'.join(str(round(v) + random.randint(-2, 2)) for v in level) for _ in range(16)]
    ms, out = 9 * 3600000, []
    for i in range(260):
        ms += 40
        out.append(f'{ms // 3600000:02d}:{ms // 60000 % 60:02d}:{ms // 1000 % 60:02d},{ms % 1000:03d}'
                   f'\t1\t999\t0\t{rows[i % 16]}\r\n')
    bodies.append(b'Zeit        \tErster\tLetzter\tLeiste\tWerte\r\n' + ''.join(out).encode())
card = '[Grid]\r\nCustomer=Kunde {c}\r\nGrid=Gitter {g}\r\nSerial=ZG-{c}-{g}\r\n[Limits]\r\nLimitMinAbs=30\r\n'
for c in range(10):
    for g in range(20):
        d = f'archive/c{c:02d}/g{g:02d}'
        os.makedirs(d)
        open(f'{d}/grid.ini', 'w', newline='').write(card.format(c=c, g=g))
        for k in range(10):
            day = datetime.date(2021, 1, 4) + datetime.timedelta(days=182 * k + g)
            with open(f'{d}/v{k}_{day:%Y%m%d}T090000.log', 'wb') as f:
                f.write(head + f'Date: {day}\r\n'.encode() + bodies[k])
PY
mount --bind archive ro && mount -o remount,bind,ro ro || { echo "bench-fleet: needs root for a read-only bind mount" >&2; exit 1; }
python3 - "$ZEB_BUILD/report/zebreport" <<'PY'
import os, re, shutil, subprocess, sys

native = sys.argv[1]
mb = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk('archive') for f in fs if f.endswith('.log')) / 1e6

def measure(*args):
    with open('err.txt', 'w') as err:
        subprocess.run(['/usr/bin/time', '-f', '%e %M', '-o', 'time.txt', native, '--today', '2026-01-15', '-o',
                        'plan.html'] + list(args), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
    t, kb = open('time.txt').read().split()[-2:]
    last = open('err.txt').read().splitlines()[-1]
    m = re.search(r'(\d+) logs? read, (\d+) from summaries', last)
    return float(t), int(kb) / 1024, m.group(1) if m else '?', m.group(2) if m else '?'

rows = [('reading every log once (archive read-only)', measure('--fleet', 'ro'))]
small_ro = measure('--fleet', 'ro/c00')
rows.append(('first run (summaries written)', measure('--fleet', 'archive')))
rows.append(('second run, nothing new', measure('--fleet', 'archive')))
small = measure('--fleet', 'archive/c00')
# One new visit of one grid: its last log again under a new Date line.
grid = 'archive/c03/g07'
last = sorted(f for f in os.listdir(grid) if f.startswith('v9_') and f.endswith('.log'))[0]
data = open(f'{grid}/{last}', 'rb').read()
start = data.index(b'Date: ')
new = f'{grid}/v10_20260110T090000.log'
open(new, 'wb').write(data[:start] + b'Date: 2026-01-10' + data[start + 16:])
rows.append(('after one new visit', measure('--fleet', 'archive')))
os.remove(new + '.zebsum')
rows.append(('that one log read alone (--history)', measure('--history', new, '--min', '30')))

print(f'\nzebreport --fleet: 200 grids x 10 visits, 999 beams, {mb / 2000:.2f} MB a log, {mb / 1000:.2f} GB in all\n')
print('| run | time (s) | against the first | logs read | from summaries | peak memory (MB) |')
print('| --- | --- | --- | --- | --- | --- |')
t1 = rows[1][1][0]
for name, (t, mem, read, summ) in rows:
    print(f'| {name} | {t:.2f} | {100 * t / t1:.1f} % | {read} | {summ} | {mem:.1f} |')
print(f'\nfirst run / reading every log once: {t1 / rows[0][1][0]:.2f}')
print('\n| peak memory (MB) | 20 grids | 200 grids |\n| --- | --- | --- |')
print(f'| reading every log once | {small_ro[1]:.1f} | {rows[0][1][1]:.1f} |')
print(f'| second run | {small[1]:.1f} | {rows[2][1][1]:.1f} |')
PY
