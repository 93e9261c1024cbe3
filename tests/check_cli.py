#!/usr/bin/env python3
"""zebcheck.exe under Wine against zebsim on COM3 of the prefix: the verdict on
weak beams in stdout, JSON and JUnit (parsed), references from an export,
retries of a flaky line, the one error line of each unusable run, Ctrl+C,
and its data log read by zebreport.
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
sim = None


def check(name, expected, actual):
    global passed, failed
    if expected == actual:
        passed += 1
    else:
        failed += 1
        print(f'FAILED: {name}\n  expected: {expected!r}\n  actual:   {actual!r}')


def start_sim(*args, line=('--link', link)):
    global sim
    stop_sim()
    if os.path.exists(trace):
        os.remove(trace)
    sim = subprocess.Popen([zebsim, *line, '--baud', '115200', '--pattern', '--trace', trace] + list(args),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if os.path.exists(trace) and 'ready' in open(trace).read():
            return
        time.sleep(0.05)


def stop_sim():
    global sim
    if sim:
        sim.terminate()
        sim.wait()
        sim = None


def run(*args, interrupt_after=None, env=None):
    # Files, not pipes: Wine's helper processes may inherit the output and
    # would hold a pipe open after the program has ended.
    with open('out.txt', 'w+b') as out, open('err.txt', 'w+b') as err:
        p = subprocess.Popen([wine_run, exe, '--port', 'COM3', '--baud', '115200'] + list(args),
                             stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=env)
        if interrupt_after:
            time.sleep(interrupt_after)
            p.send_signal(signal.SIGINT)
        rc = p.wait(timeout=120)
        out.seek(0)
        err.seek(0)
        return rc, out.read().decode('utf-8', 'replace').replace('\r\n', '\n'), err.read().decode('utf-8', 'replace')


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
    one_error('bad option', 2, 'unknown option --frobnicate', '--frobnicate')
    one_error('out-of-range value', 2, 'bad value for --last: "1000"', '--last', '1000')
    one_error('limits refused, not clamped', 2, 'bad value for --gain: "-1"', '--gain', '-1')
finally:
    stop_sim()

print(f'check_cli: {passed} passed, {failed} failed')
sys.exit(1 if failed else 0)
