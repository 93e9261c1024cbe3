#!/usr/bin/env python3
"""zebcheck.exe under Wine against zebsim on COM3 of the prefix: the verdict on
weak beams in stdout, JSON and JUnit (parsed), references from an export,
retries of a flaky line, the one error line of each unusable run, Ctrl+C,
its data log read by zebreport, marginal beams, and four stations at once
sharing one history.
    check_cli.py WINE-RUN ZEBCHECK.EXE ZEBSIM ZEBREPORT     (run by ctest)"""
import json
import os
import re
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

wine_run, exe, zebsim, zebreport = map(os.path.abspath, sys.argv[1:5])
work = os.path.abspath('check_cli')
os.makedirs(work, exist_ok=True)
os.chdir(work)
link = os.path.join(os.environ['WINEPREFIX'], 'dosdevices', 'com3')
trace = os.path.join(work, 'sim.trace')
passed = failed = 0
sims = []


def check(name, expected, actual):
    global passed, failed
    if expected == actual:
        passed += 1
    else:
        failed += 1
        print(f'FAILED: {name}\n  expected: {expected!r}\n  actual:   {actual!r}')


def start_sim(*args, line=('--link', link), trace=trace, keep=False):
    """keep: beside the simulators already running."""
    if not keep:
        stop_sim()
    if os.path.exists(trace):
        os.remove(trace)
    sims.append(subprocess.Popen([zebsim, *line, '--baud', '115200', '--pattern', '--trace', trace] + list(args),
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    for _ in range(100):
        if os.path.exists(trace) and 'ready' in open(trace).read():
            return
        time.sleep(0.05)


def stop_sim():
    while sims:
        sims[-1].terminate()
        sims.pop().wait()


def launch(*args, name='run', env=None):
    # Files, not pipes: Wine's helper processes may inherit the output and
    # would hold a pipe open after the program has ended.
    out, err = open(name + '.out', 'w+b'), open(name + '.err', 'w+b')
    p = subprocess.Popen([wine_run, exe, '--port', 'COM3', '--baud', '115200'] + list(args),
                         stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=env)
    return p, out, err


def finish(started):
    p, out, err = started
    rc = p.wait(timeout=120)
    out.seek(0)
    err.seek(0)
    texts = [f.read().decode('utf-8', 'replace').replace('\r\n', '\n') for f in (out, err)]
    out.close()
    err.close()
    return rc, texts[0], texts[1]


def run(*args, interrupt_after=None, env=None):
    started = launch(*args, env=env)
    if interrupt_after:
        time.sleep(interrupt_after)
        started[0].send_signal(signal.SIGINT)
    return finish(started)


def load(path):
    with open(path, encoding='utf-8') as f:
        return json.load(f)


def one_error(name, code, start, *args, **kw):
    """The exit status, and exactly one line on standard error that starts so."""
    rc, out, err = run(*args, **kw)
    check(f'{name}: exit status', code, rc)
    check(f'{name}: one line on stderr', True, err.count('\n') == 1 and err.startswith('zebcheck: ' + start))
    if not (err.count('\n') == 1 and err.startswith('zebcheck: ' + start)):
        print('  stderr:', repr(err))
    return out


def failing_beams(out):
    return [int(m) for m in re.findall(r'^beam (\d+): .*: (?!ok$)', out, re.M)]


# zebsim --pattern: beam b reads 40 + 37b mod 200 above the offset; a weak beam reads 12.
def pattern(b):
    return min(20 + 40 + (37 * b) % 200, 255) - 20


try:
    # Weak beams fail the lower limit, and every output names exactly them.
    start_sim('--weak', '5,17,40')
    rc, out, err = run('--min', '30', '--json', 'r.json', '--junit', 'r.xml', '--log', 'run.log', '--id', 'SN 0815 "A"')
    check('weak beams: exit status', 1, rc)
    check('weak beams: stdout', [5, 17, 40], failing_beams(out))
    summary = out.strip().split('\n')[-1]
    check('weak beams: summary', True, re.fullmatch(r'beams 100, failed 3, cycles \d+, median cycle time [\d.]+ ms: FAIL',
                                                    summary) is not None)
    with open('r.json', encoding='utf-8') as f:
        j = json.load(f)
    check('json: verdict', ('FAIL', 3, 100), (j['verdict'], j['beams_failed'], j['beams_tested']))
    check('json: failing beams', [5, 17, 40], [b['beam'] for b in j['beams'] if not b['passed']])
    check('json: identity and settings', ('SN 0815 "A"', 'COM3', 'b64', 'signal', 1, 100),
          (j['id'], j['settings']['port'], j['settings']['protocol'], j['settings']['type'], j['settings']['first'],
           j['settings']['last']))
    check('json: beam 17', (12, 12, 12, ['median below the lower limit']),
          tuple(j['beams'][16][k] for k in ('median', 'min', 'max', 'reasons')))
    check('json: cycles as in the summary', f"cycles {j['cycles']}," in summary, True)
    suite = ET.parse('r.xml').getroot().find('testsuite')
    cases = suite.findall('testcase')
    check('junit: counts', ('100', '3', '0'), (suite.get('tests'), suite.get('failures'), suite.get('errors')))
    check('junit: failing cases', ['beam 5', 'beam 17', 'beam 40'],
          [c.get('name') for c in cases if c.find('failure') is not None])
    # The log is the program's: zebreport reads it and flags the same beams.
    with open('rep.err', 'w+b') as err:
        rrc = subprocess.run([zebreport, '--min', '30', 'run.log', '-o', 'run.html'], stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=err).returncode
        err.seek(0)
        rep = err.read().decode()
    expected = f"zebreport: 3 of 100 beams flagged: 5, 17, 40 (100 beams, {j['cycles']} cycles, 0 lines skipped"
    check('log read by zebreport', (1, True), (rrc, rep.startswith(expected)))

    # A USB adapter numbered COM12 on a PC with a Cyrillic code page: the
    # port opens, and the log is the one a German PC writes, so it is judged.
    if 'ru_RU.utf8' not in subprocess.run(['locale', '-a'], capture_output=True, text=True).stdout:
        subprocess.run(['localedef', '-i', 'ru_RU', '-c', '-f', 'UTF-8', 'ru_RU.UTF-8'])
    # Without the locale Wine would run in code page 1252 and prove nothing.
    check('Cyrillic locale available', True,
          'ru_RU.utf8' in subprocess.run(['locale', '-a'], capture_output=True, text=True).stdout)
    start_sim('--weak', '5,17,40', line=('--tty', os.path.join(os.environ['ZEB_BUILD'], 'vports', 'com23')))
    rc, out, err = run('--min', '30', '--json', 'r.json', '--log', 'ru.log', '--port', 'COM12:',
                       env=dict(os.environ, LC_ALL='ru_RU.UTF-8'))
    with open('r.json', encoding='utf-8') as f:
        j = json.load(f)
    check('COM12, Cyrillic: weak beams', (1, [5, 17, 40], 'COM12:'), (rc, failing_beams(out), j['settings']['port']))
    with open('run.log', 'rb') as f, open('ru.log', 'rb') as g:
        title = f.readline()
        check('Cyrillic: the title line as on a German PC', (True, title), (b'Signalst\xe4rke' in title, g.readline()))

    # An export of the program as the reference: within 5 % every beam passes;
    # a weakened beam fails on the reference alone.
    with open('export.txt', 'wb') as f:
        f.write(('Nr.\tAbs\r\n' + ''.join(f'{b}\t{pattern(b)}\r\n' for b in range(1, 101))).encode())
    start_sim()
    rc, out, _ = run('--ref', 'export.txt', '--tolerance', '5', '--cycles', '5')
    check('reference: all pass', (0, []), (rc, failing_beams(out)))
    start_sim('--weak', '17')
    rc, out, _ = run('--ref', 'export.txt', '--tolerance', '5', '--cycles', '5', '--verbose')
    check('reference: weak beam fails', (1, [17]), (rc, failing_beams(out)))
    check('reference: reason', True, 'beam 17: median 12, min 12, max 12, noise 0, reference 69: median outside the '
          'reference +-5 %' in out)

    # Beam 1 reads 77: marginal within 10 % of a lower limit of 75 (7.5), not
    # within 1 %; only --marginal-fails makes it fail.
    start_sim()
    near = ('--first', '1', '--last', '4', '--min', '75', '--cycles', '5', '--json', 'r.json', '--junit', 'r.xml')
    rc, out, _ = run(*near, '--guard', '10')
    j = load('r.json')
    check('marginal: exit status and stdout', (0, True, True), (rc, 'beam 1: median 77, min 77, max 77, noise 0: '
          'marginal: 2 above the lower limit 75' in out, ', failed 0, marginal 1,' in out))
    check('marginal: json', [(True, 2, True), (False, None, True)],
          [(b['marginal'], b['margin'], b['passed']) for b in j['beams'][:2]])
    prop = ET.parse('r.xml').getroot().find("testsuite/testcase[@name='beam 1']/properties/property")
    check('marginal: junit property', ('marginal', True), (prop.get('name'), prop.get('value').startswith('2 above')))
    rc, out, _ = run(*near, '--guard', '1')
    check('guard 1 %: nothing marginal', (0, [False] * 4), (rc, [b['marginal'] for b in load('r.json')['beams']]))
    rc, out, _ = run(*near, '--guard', '10', '--marginal-fails')
    check('marginal fails', (1, 'FAIL', [1]), (rc, load('r.json')['verdict'], failing_beams(out)))
    # A bad option leaves no earlier result behind, whatever the fault.
    rc, _, _ = run(*near)
    check('files hold a pass', (0, 'PASS'), (rc, load('r.json')['verdict']))
    one_error('bad option, files named', 2, 'bad value for --last: "1000"', '--last', '1000', '--json', 'r.json',
              '--junit', 'r.xml')
    check('bad option: json and junit hold the error', ('ERROR', 'bad value for --last: "1000" (1..999)', '1'),
          (load('r.json')['verdict'], load('r.json')['error'], ET.parse('r.xml').getroot().get('errors')))

    # A flaky line: one truncated record is repeated; a silent one ends the run.
    start_sim('--fault', 'truncate')
    rc, out, _ = run('--cycles', '5', '--json', 'r.json')
    with open('r.json', encoding='utf-8') as f:
        j = json.load(f)
    check('truncated once: the retry saves the run', (0, 'PASS', 1), (rc, j['verdict'], j['retried']))
    start_sim('--fault', 'silence', '--fault-count', '0')
    one_error('silent line', 2, 'data timeout (after 2 retries)', '--type', 'receiver', '--json', 'r.json',
              '--junit', 'r.xml')
    with open('r.json', encoding='utf-8') as f:
        j = json.load(f)
    check('silent line: json', ('ERROR', 'data timeout (after 2 retries)', []), (j['verdict'], j['error'], j['beams']))
    check('silent line: junit error', '1', ET.parse('r.xml').getroot().get('errors'))
    check('silent line: three runs, each ended with q', 3, open(trace).read().count('quit q'))

    # Ctrl+C ends the run as the program's close does.
    start_sim()
    one_error('Ctrl+C', 2, 'interrupted', '--seconds', '30', '--log', 'int.log', interrupt_after=2)
    check('Ctrl+C: the controller was told to stop', 'quit q', open(trace).read().strip().split('\n')[-1])
    with open('int.log', 'rb') as f:
        check('Ctrl+C: the log holds whole lines', True, f.read().endswith(b'\n'))

    # Unusable runs: one line each, nothing measured.
    with open('noref.txt', 'w') as f:
        f.write('Nr.\tAbs\n1 2 3\n1000 5\nbeam 7\n')
    one_error('unusable reference file', 2, 'the reference file noref.txt holds no value for beams 1..100',
              '--ref', 'noref.txt', '--tolerance', '5')
    one_error('unknown port', 2, 'no such port: COM9', '--port', 'COM9')
    with open('proto.ini', 'w') as f:
        f.write('[Misc]\nZEBprotocol=7\n')
    one_error('settings error, not retried', 2, 'unknown protocol variant\n', '--ini', 'proto.ini')
    start_sim('--fault', 'hangup')
    one_error('adapter unplugged', 2, 'port COM3 went away during the run', '--seconds', '5')
    one_error('bad option', 2, 'unknown option --frobnicate', '--frobnicate')
    one_error('out-of-range value', 2, 'bad value for --last: "1000"', '--last', '1000')
    one_error('limits refused, not clamped', 2, 'bad value for --gain: "-1"', '--gain', '-1')

    # Four stations at once, each on its own line and files, one history. A
    # grid fails at A and passes its retest; a fifth run finds B's port busy.
    hist = 'line.jsonl'
    for f in [f for f in os.listdir() if f.startswith('st') or f == hist]:
        os.remove(f)
    lines = {'A': ('COM3', ('--link', link)), 'B': ('COM4', ('--link', link[:-1] + '4')),
             'C': ('COM9', ('--link', link[:-1] + '9')),
             'D': ('COM12', ('--tty', os.path.join(os.environ['ZEB_BUILD'], 'vports', 'com23')))}
    stop_sim()
    for st, (port, line) in lines.items():
        start_sim(*(['--weak', '17'] if st == 'A' else []), line=line, trace=f'st{st}.trace', keep=True)
    started = {st: launch('--port', port, '--station', st, '--id', 'G' + st, '--history', hist, '--seconds', '3', '--min', '30',
                          '--json', f'st{st}.json', '--junit', f'st{st}.xml', '--log', '.', name='st' + st)
               for st, (port, _) in lines.items()}
    time.sleep(1.5)
    busy = finish(launch('--port', 'COM4', '--json', 'stbusy.json', name='stbusy'))
    results = {st: finish(p) for st, p in started.items()}
    check('busy port: exit status and message', (2, 'zebcheck: port COM4 is busy (another program has it open)\n'),
          busy[:1] + busy[2:])
    check('stations: exit statuses', {'A': 1, 'B': 0, 'C': 0, 'D': 0}, {st: r[0] for st, r in results.items()})
    # At the wire's speed: one cycle of 100 beams takes 12 ms at 115200 bit/s alone.
    check('stations: cycle times', {st: True for st in lines},
          {st: load(f'st{st}.json')['median_cycle_ms'] < 15 for st in lines})
    with open(hist, 'ab') as f:
        f.write(b'{"time": "2026-')   # a station that died while writing
    stop_sim()
    start_sim()
    rc, _, _ = run('--station', 'A', '--id', 'GA', '--history', hist, '--cycles', '5', '--junit', 'stA.xml')
    props = {p.get('name'): p.get('value') for p in ET.parse('stA.xml').getroot().iter('property')}
    check('retest: junit names the earlier failure', (0, '2', True),
          (rc, props.get('attempt'), props.get('earlier_failures', '').startswith('attempt 1 FAIL at ')))
    whole, torn = [], []
    for r in open(hist, 'rb').read().decode().split('\n'):
        try:
            whole.append(json.loads(r))
        except ValueError:
            torn.append(r)
    check('history: every run whole, the torn line alone', (['A', 'A', 'B', 'C', 'D'], ['{"time": "2026-', '']),
          (sorted(r['station'] for r in whole), torn))
    at_a = [r for r in whole if r['station'] == 'A']
    check('history: id, attempts, failed beams at A', ('GA', [1, 2], [[17], []]),
          (at_a[0]['id'], [r['attempt'] for r in at_a], [sum((g['beams'] for g in r['failed']), []) for r in at_a]))
    logs = [(r['log'].split('\\')[-1], r['station']) for r in whole[:4]]
    check('stations: each its own log, named for it', [True] * 4,
          [name.startswith(f'{st}_G{st}_') and os.path.exists(name) for name, st in logs])
    rc, out, _ = run('--summary', hist, '--json', 'sum.json')
    a = load('sum.json')
    check('summary: in all', (0, 1, 4, 3, 4, 1, [17]), (rc, a['skipped'], a['all']['grids'], a['all']['first_pass'],
          a['all']['final_pass'], a['all']['retests'], [b['beam'] for b in a['all']['failed_most_often']]))
    check('summary: station A', ('A', 1, 0, 0, 100, 1), tuple(a['stations'][0][k] for k in
          ('station', 'grids', 'first_pass', 'first_pass_yield_percent', 'final_yield_percent', 'retests')))
    check('summary: text', True, 'all: grids 4, first-pass yield 75 % (3 of 4), final yield 100 % (4 of 4), '
          'retests 1, failed most often: beam 17 1x' in out)
finally:
    stop_sim()

print(f'check_cli: {passed} passed, {failed} failed')
sys.exit(1 if failed else 0)
