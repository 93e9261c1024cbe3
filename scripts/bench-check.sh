#!/usr/bin/env bash
# Benchmark: zebcheck against zebsim, 999 beams, B64, at 38400, 115200 and
# 921600 bit/s and tool-bound (zebsim sends at once). Per row: zebcheck's
# median cycle time beside the link benchmark's for the same settings, peak
# memory after 10 and after N cycles (GNU time), and processor time per
# cycle of zebcheck and of the wineserver, from the difference between the
# two runs (start-up cost cancels). Prints a table.
#   scripts/bench-check.sh [cycles [seconds per link benchmark row [bit rates, 0 tool-bound]]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
"$root/scripts/wine-prefix.sh"
. "$root/scripts/wine-procs.sh"
trap 'pkill -f "zebsim --link $WINEPREFIX/" 2>/dev/null || true; wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -p >/dev/null 2>&1 || true
server=""
for i in $(seq 20); do server=$(zeb_wineserver_pid) && break; sleep 0.1; done   # it may still be starting
mkdir -p "$ZEB_BUILD/bench"
cd "$ZEB_BUILD/bench"
python3 - "${1:-200}" "${2:-5}" "${3:-38400 115200 921600 0}" "$server" "$ZEB_BUILD" "$WINEPREFIX" <<'PY'
import json, os, re, subprocess, sys, time

cycles, seconds, rates, server, build, prefix = int(sys.argv[1]), sys.argv[2], sys.argv[3], *sys.argv[4:7]
zebcheck = f'{build}/win/zebcheck.exe'
link = f'{prefix}/dosdevices/com3'

def ticks(pid):
    """User plus system time of a Unix process in clock ticks, or None."""
    try:
        stat = open(f'/proc/{pid}/stat').read()
    except OSError:
        return None
    f = stat[stat.rindex(')') + 2:].split()
    return int(f[11]) + int(f[12])

def link_median(baud):
    """The link benchmark's median for 999 beams, B64 at that rate."""
    env = dict(os.environ, ZEB_SERVER_PID=server)
    with open('link.txt', 'w') as out:
        subprocess.run(['bash', '-c', 'export ZEB_SELF_PID=$$; exec wine "$0" "$@"',
                        f'{build}/win/tests/bench_link.exe', seconds, str(baud)],
                       stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL, env=env)
    for line in open('link.txt'):
        m = re.match(r'(\d+|at once)\s+999\s+B64\s+\d+\s+([\d.]+)', line)
        if m:
            return float(m.group(2))
    return None

def peak(cmd):
    with open('check.err', 'w') as err:
        subprocess.run(['/usr/bin/time', '-f', '%M', '-o', 'time.txt'] + cmd, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=err)
    return int(open('time.txt').read().split()[-1]) / 1024

def run(baud, n):
    """One zebcheck run: median cycle ms, cycles, peak MB, processor ticks of zebcheck and wineserver."""
    s0 = ticks(server) if server else None
    with open('check.err', 'w') as err:
        subprocess.run(['/usr/bin/time', '-f', '%M %U %S', '-o', 'time.txt', 'wine', zebcheck, '--port', 'COM3',
                        '--baud', str(baud or 115200), '--last', '999', '--cycles', str(n), '--json', 'check.json'],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
    s1 = ticks(server) if server else None
    kb, user, system = open('time.txt').read().split()[-3:]
    j = json.load(open('check.json'))
    if j['verdict'] == 'ERROR':
        sys.exit(f'zebcheck at {baud} bit/s: {j["error"]}')
    return j['median_cycle_ms'], j['cycles'], int(kb) / 1024, (float(user) + float(system)) * 100, \
        (s1 - s0) if s0 is not None and s1 is not None else None

print(f'load average at start: {open("/proc/loadavg").read().strip()}')
print(f'zebcheck --last 999 (B64), {cycles} cycles against zebsim --beams 999; link benchmark rows of {seconds} s\n')
print('| bit/s | zebcheck median ms | link median ms | ratio | peak MB at 10 cycles | peak MB at end '
      '| zebcheck ms CPU/cycle | wineserver ms CPU/cycle |')
print('| --- | --- | --- | --- | --- | --- | --- | --- |')
for baud in map(int, rates.split()):
    ref = link_median(baud)
    sim = subprocess.Popen([f'{build}/sim/zebsim', '--link', link, '--baud', str(baud), '--beams', '999'],
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if os.path.exists(link):
            break
        time.sleep(0.05)
    _, c10, mem10, cpu10, srv10 = run(baud, 10)
    median, cN, memN, cpuN, srvN = run(baud, cycles)
    sim.terminate()
    sim.wait()
    per = lambda a, b: f'{(b - a) * 10 / (cN - c10):.3f}' if a is not None and b is not None else '?'
    ratio = f'{median / ref:.3f}' if ref else '?'
    print(f'| {baud or "at once"} | {median:.2f} | {ref if ref is not None else "?"} | {ratio} | {mem10:.1f} '
          f'| {memN:.1f} | {per(cpu10, cpuN)} | {per(srv10, srvN)} |')
print(f'\npeak MB of zebcheck --help (Wine\'s own share of every row): {peak(["wine", zebcheck, "--help"]):.1f}')
print(f'load average at end:   {open("/proc/loadavg").read().strip()}')
print('ratio: zebcheck median / link benchmark median; CPU per cycle: (run of N cycles - run of 10) / cycles between')
PY
