#!/usr/bin/env bash
# Benchmark of visit intervals: grids of different soiling rates, each
# interval soiling at its own pace around its grid's rate (season,
# production), visited for five years under four policies. Prints for each
# the share of intervals that end with every beam above the lower limit and
# the visits per grid and year.
#   fixed      every 6 months
#   staircase  the interval lengthened by 1.25 (or 1.1) after an interval in
#              tolerance, halved after one out, in whole months from 1 to 12
#              (start 6)
#   oracle     knows each interval's soiling in advance: the longest whole
#              number of months (1 to 12) in tolerance
#   plan       the office follows zebreport's plan: each visit's as found and
#              as left written as data logs into the grid's folder, then
#              zebreport --fleet run on it; the card's interval is set to the
#              recommended one and the next visit made on "Action by"
#   scripts/bench-interval.sh [GRIDS] [SEED] [SPREAD]
#     default 300 grids, seed 1, spread between intervals 0.15 (sd of ln rate)
# ZEB_REPORT names another zebreport to run (default: build/report's).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-env.sh"
zebreport=${ZEB_REPORT:-$ZEB_BUILD/report/zebreport}
if [ -z "${ZEB_REPORT:-}" ] && [ ! -x "$zebreport" ]; then
  cmake -S "$root/report" -B "$ZEB_BUILD/report" >/dev/null
  cmake --build "$ZEB_BUILD/report" -j2 --target zebreport >/dev/null
fi
bench=$ZEB_BUILD/bench-interval
rm -rf "$bench" && mkdir -p "$bench"
trap 'rm -rf "$bench"' EXIT
python3 - "$zebreport" "$bench" "${1:-300}" "${2:-1}" "${3:-0.15}" <<'PY'
import concurrent.futures, csv, datetime, io, math, os, random, statistics, subprocess, sys

zebreport, bench, grids, seed, SPREAD = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
CLEAN, LIMIT, BEAMS, YEARS = 180, 60, 8, 5
START = datetime.date(2021, 1, 4)
END = START + datetime.timedelta(days=round(365.25 * YEARS))
MONTH = 30.4375
rnd = random.Random(seed)
# Per grid: a rate (ln per month) from a clean hall to a paint shop, each
# beam's share of it, and each interval's factor (drawn per interval index,
# so that every policy meets the same conditions in the same order).
setup = []
for g in range(grids):
    rate = math.exp(rnd.uniform(math.log(0.03), math.log(0.30)))
    setup.append((rate, [rnd.uniform(0.8, 1.2) for _ in range(BEAMS)],
                  [math.exp(rnd.gauss(0, SPREAD)) for _ in range(200)]))


def add_months(day, m):
    k = day.year * 12 + day.month - 1 + m
    y, mo = divmod(k, 12)
    last = (datetime.date(y + (mo == 11), mo % 12 + 2 if mo < 11 else 1, 1) - datetime.timedelta(days=1)).day
    return datetime.date(y, mo + 1, min(day.day, last))


def found(g, k, days):   # the beams' medians after interval k of days
    rate, share, factor = setup[g]
    return [CLEAN * math.exp(-rate * s * factor[k] * days / MONTH) for s in share]


def run(g, next_day):
    """Intervals of one grid: [(in tolerance, days)], next_day(g, k, day, ok) gives the next visit."""
    day, k, out = START, 0, []
    while True:
        nxt = next_day(g, k, day, out[-1][0] if out else True)
        if nxt > END:
            return out
        ok = min(found(g, k, (nxt - day).days)) >= LIMIT
        out.append((ok, (nxt - day).days))
        day, k = nxt, k + 1


def fixed(g, k, day, ok):
    return add_months(day, 6)


def staircase(up, down):
    stair = {}

    def next_day(g, k, day, ok):
        m = 6.0 if k == 0 else stair[g] * (up if ok else down)
        stair[g] = m = min(12.0, max(1.0, m))
        return add_months(day, round(m))
    return next_day


def oracle(g, k, day, ok):
    m = 1
    while m < 12 and min(found(g, k, (add_months(day, m + 1) - day).days)) >= LIMIT:
        m += 1
    return add_months(day, m)


def log(path, day, hour, values):
    lines = ''.join(f'{hour:02d}:00:{i:02d},000\t1\t{BEAMS}\t0\t' + '\t'.join(str(round(v) + (i + b) % 3 - 1)
                    for b, v in enumerate(values)) + '\r\n' for i in range(5))
    with open(path, 'wb') as f:
        f.write(('ZEB Zuvaririzadure - Signalst\xe4rke, aktuell (Leistenpaar 1)\r\n'
                 f'Date: {day}\r\nZeit        \tErster\tLetzter\tLeiste\tWerte\r\n' + lines).encode('cp1252'))


def card(folder, interval):
    with open(f'{folder}/grid.ini', 'w', newline='') as f:
        f.write(f'[Grid]\r\nGrid=G{folder[-3:]}\r\nIntervalMonths={interval}\r\n[Limits]\r\nLimitMinAbs={LIMIT}\r\n')


def plan_grid(g):
    """The plan's intervals: real logs, the real program."""
    root = f'{bench}/plan/{g:03d}'
    folder = f'{root}/grid'
    os.makedirs(folder)
    card(folder, 6)
    day, k, out, runs = START, 0, [], 0
    while True:
        if k:   # the arrival after interval k-1
            log(f'{folder}/g_{day:%Y%m%d}T080000.log', day, 8, found(g, k - 1, (day - prev).days))
        log(f'{folder}/g_{day:%Y%m%d}T100000.log', day, 10, [CLEAN] * BEAMS)
        p = subprocess.run([zebreport, '--fleet', root, '--today', str(day), '-o', f'{root}/plan.html',
                            '--csv', f'{root}/plan.csv'], stderr=subprocess.PIPE, text=True)
        runs += 1
        if p.returncode not in (0, 1):
            sys.exit(f'bench-interval: zebreport: {p.stderr}')
        with open(f'{root}/plan.csv', encoding='utf-8-sig', newline='') as f:
            text = f.read()
        row = next(csv.DictReader(io.StringIO(text), delimiter=';' if ';' in text.split('\n')[0] else '\t'))
        card(folder, int(row['Recommended interval']))
        nxt = max(datetime.date.fromisoformat(row['Action by']), day + datetime.timedelta(days=14))
        if nxt > END:
            return out, runs
        out.append((min(found(g, k, (nxt - day).days)) >= LIMIT, (nxt - day).days))
        prev, day, k = day, nxt, k + 1


results = {name: [run(g, f) for g in range(grids)] for name, f in
           (('fixed 6 months', fixed), ('staircase ×1.25 / ×0.5', staircase(1.25, 0.5)),
            ('staircase ×1.1 / ×0.5', staircase(1.1, 0.5)), ('oracle', oracle))}
with concurrent.futures.ThreadPoolExecutor(2) as pool:
    planned = list(pool.map(plan_grid, range(grids)))
results['plan (zebreport)'] = [p[0] for p in planned]
years = (END - START).days / 365.25
visits = {name: sum(len(r) for r in rs) / grids / years for name, rs in results.items()}
print(f'{grids} grids, {YEARS} years, {BEAMS} beams, cleaned to {CLEAN}, lower limit {LIMIT}; soiling 3 to 30 % '
      f'(ln) a month by grid, ×0.8 to ×1.2 by beam, spread between intervals σ = {SPREAD} (ln); '
      f'{sum(p[1] for p in planned)} runs of zebreport')
print()
print('| policy | intervals | in tolerance | visits per grid and year | against the oracle |')
print('| --- | --- | --- | --- | --- |')
for name, rs in results.items():
    n = sum(len(r) for r in rs)
    ok = sum(i[0] for r in rs for i in r)
    print(f'| {name} | {n} | {100 * ok / n:.1f} % | {visits[name]:.2f} | {visits[name] / visits["oracle"]:.2f} × |')
PY
