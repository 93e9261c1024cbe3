#!/usr/bin/env python3
"""zebreport from the command line, the native program and zebreport.exe under
Wine alike: the exit status with its one line on standard error, the limits
from options and from the program's settings file, the page parsed back as XML
with every piece of log text escaped, and the CSV.
    report_cli.py NATIVE WINE-RUN EXE     (run by ctest)
    report_cli.py NATIVE                  (the native program alone: the sanitizer build)"""
import os
import subprocess
import shutil
import sys
import tempfile
import xml.etree.ElementTree as ET

native, wine_run, exe = map(os.path.abspath, (sys.argv[1:4] + ['', ''])[:3])
progs = ('native', 'exe') if len(sys.argv) > 2 else ('native',)
work = os.path.abspath('report_cli')
os.makedirs(work, exist_ok=True)
os.chdir(work)
passed = failed = 0


def check(name, expected, actual):
    global passed, failed
    if expected == actual:
        passed += 1
    else:
        failed += 1
        print(f'FAILED: {name}\n  expected: {expected!r}\n  actual:   {actual!r}')


def write_log(name, values, title='Signalst\xe4rke', extra=b'', date='2024-05-01', rod=1):
    """values: one list per line for beams 1..n, lines 40 ms apart."""
    text = f'ZEB Zuvaririzadure - {title}, aktuell (Leistenpaar {rod})\nDate: {date}\n'
    text += 'Zeit        \tErster\tLetzter\tLeiste\tWerte\n'
    for i, row in enumerate(values):
        ms = 9 * 3600000 + 40 * i
        text += f'{ms // 3600000:02d}:{ms // 60000 % 60:02d}:{ms // 1000 % 60:02d},{ms % 1000:03d}'
        text += f'\t1\t{len(row)}\t{rod - 1}\t' + '\t'.join(map(str, row)) + '\n'
    with open(name, 'wb') as f:
        f.write(text.replace('\n', '\r\n').encode('cp1252') + extra)
    return name


def run(prog, *args):
    # Files, not pipes: Wine's helper processes may inherit the output and
    # would hold a pipe open after the program has ended.
    cmd = [wine_run, exe] if prog == 'exe' else [native]
    with open('out.txt', 'w+b') as out, open('err.txt', 'w+b') as err:
        rc = subprocess.run(cmd + list(args), stdin=subprocess.DEVNULL, stdout=out, stderr=err).returncode
        out.seek(0)
        err.seek(0)
        return rc, out.read().decode('utf-8', 'replace'), err.read().decode('utf-8', 'replace')


def status(name, prog, code, start, *args):
    """The exit status, and exactly one line on standard error that starts so."""
    rc, _, err = run(prog, *args)
    check(f'{prog}: {name}: exit status', code, rc)
    check(f'{prog}: {name}: one line on stderr', True, err.count('\n') == 1 and err.startswith('zebreport: ' + start))


grid = [[150 + b % 40 + i % 3 for b in range(1, 41)] for i in range(60)]
for row in grid:
    row[4], row[16] = 20, 25                          # beams 5 and 17 are weak
write_log('grid.log', grid)
write_log('relative.log', [[100] * 2 + [80] + [101] * 3 for _ in range(10)], 'Relative Signalst\xe4rke')
write_log('feedback.log', grid[:2], 'Empf\xe4ngerr\xfcckmeldewerte')
write_log('rod2.log', grid[:2], rod=2)
write_log('six.log', [[100] * 6], date='2024-05-01')
open('empty.log', 'wb').close()
with open('zebdiag.ini', 'w') as f:
    f.write('[View]\r\nMinAbsValue=0\r\n[limits]\r\nlimitminabs=30\r\nLimitMinRel = 90\r\nLimitMinAbs=160\r\n')
hostile_title = '<script>alert(1)</script> & "x"'
write_log('hostile.log', grid[:3], extra=b'10:00:00,000\t1\t1\t0\t<b>bold</b>&amp;\x01\xff\r\n'
          b'<!-- -->]]>\t1\t1\t0\t5\r\n')
with open('hostile.log', 'rb') as f:
    data = f.read()
with open('hostile.log', 'wb') as f:
    f.write(data.replace(b'ZEB Zuvaririzadure', hostile_title.encode()))

for prog in progs:
    rc, out, _ = run(prog, '--help')
    check(f'{prog}: --help', (0, True), (rc, out.startswith('usage: zebreport')))
    status('unknown option', prog, 2, 'unknown option --frobnicate', 'grid.log', '--frobnicate', '-o', 'r.html')
    status('bad limit', prog, 2, 'bad value for --min: 3x', 'grid.log', '--min', '3x', '-o', 'r.html')
    status('no output', prog, 2, 'no report file given', 'grid.log')
    status('missing log', prog, 2, 'missing.log: cannot open', 'missing.log', '-o', 'r.html')
    status('empty log', prog, 2, 'empty.log: empty file', 'grid.log', 'empty.log', '-o', 'r.html')
    status('mixed value types', prog, 2, 'feedback.log: receiver feedback, but grid.log', 'grid.log', 'feedback.log',
           '-o', 'r.html')
    status('missing ini', prog, 2, 'none.ini: cannot open', 'grid.log', '--ini', 'none.ini', '-o', 'r.html')
    status('default limits', prog, 0, 'no beam flagged (40 beams, 60 cycles', 'grid.log', '-o', 'r.html')
    status('--min', prog, 1, '2 of 40 beams flagged: 5, 17 (', 'grid.log', '--min', '26', '-o', 'r.html')
    status('--noise', prog, 1, '38 of 40 beams flagged', 'grid.log', '--noise=1', '-o', 'r.html')
    status('absolute limits from the ini', prog, 1, '2 of 40 beams flagged: 5, 17 (', 'grid.log', '--ini',
           'zebdiag.ini', '-o', 'r.html')
    status('--min wins over the ini', prog, 1, '1 of 40 beams flagged: 5 (', '--ini', 'zebdiag.ini', 'grid.log',
           '--min', '22', '-o', 'r.html')
    status('relative limits from the ini', prog, 1, '1 of 6 beams flagged: 3 (', 'relative.log', '--ini',
           'zebdiag.ini', '-o', 'r.html')
    status('as found of another value type', prog, 2, 'as left: receiver feedback, but as found: signal strength',
           '--as-found', 'grid.log', '--as-left', 'feedback.log', '-o', 'r.html')
    status('as found of another rod pair', prog, 2, 'as left: rod pair 2, but as found: rod pair 1', '--as-found',
           'grid.log', '--as-left', 'rod2.log', '-o', 'r.html')
    status('as found of other beams', prog, 2, 'as left: beams 1–6, but as found: beams 1–40', '--as-found',
           'grid.log', '--as-left', 'six.log', '-o', 'r.html')
    status('unwritable report', prog, 2, 'no-dir/r.html: cannot write', 'grid.log', '-o', 'no-dir/r.html')

    # The page is well-formed and shows the log's text as text.
    rc, _, _ = run(prog, 'hostile.log', '--min', '26', '-o', f'{prog}.html', '--csv', f'{prog}.csv')
    check(f'{prog}: hostile log flags', 1, rc)
    try:
        root = ET.parse(f'{prog}.html').getroot()
    except ET.ParseError as e:
        root = None
        check(f'{prog}: page parses as XML', 'well-formed', str(e))
    if root is not None:
        tags = {el.tag.split('}')[-1] for el in root.iter()}
        check(f'{prog}: no markup from the log', set(), tags & {'script', 'b', 'iframe', 'object'})
        text = ''.join(root.itertext())
        check(f'{prog}: title shown as text', True, hostile_title in text)
        check(f'{prog}: skipped line shown as text', True, '<b>bold</b>&amp;' in text)
        check(f'{prog}: two malformed lines counted', True, 'Lines skipped as malformed2' in text.replace('\n', ''))
        table = root.find(".//*[@id='flagged']")
        beams = [td.text for td in table.iter() if td.get('class') == 'beam text'] if table is not None else None
        check(f'{prog}: flagged table', ['5', '17'], beams)
    with open(f'{prog}.csv', 'rb') as f:
        rows = f.read().decode('ascii').split('\r\n')
    check(f'{prog}: csv rows', 42, len(rows))
    check(f'{prog}: csv header', 'Rod pair\tBeam\tCycles\tMinimum\tMedian\tMean\tMaximum\tNoise\tStd. dev.\t'
          'Below lower limit (%)\tFlag', rows[0])
    check(f'{prog}: csv beam 5', '1\t5\t3\t20\t20\t20,000\t20\t0\t0,000\t100,00\tmedian below the lower limit', rows[5])
    check(f'{prog}: csv has no semicolon', False, ';' in ''.join(rows))

for ext in ('html', 'csv') if 'exe' in progs else ():
    with open(f'native.{ext}', 'rb') as a, open(f'exe.{ext}', 'rb') as b:
        check(f'native and exe write the same {ext}', True, a.read() == b.read())

# A history of nine monthly visits: beam 17 loses 5 % a month, the others
# stay within their noise. The forecast range holds the day the true decay
# reaches the limit; a steady beam gets no crossing. The page renders.
import datetime
import math
start = datetime.date(2025, 1, 6)
visits = []
for k in range(9):
    day = start + datetime.timedelta(days=30 * k + k % 3)
    months = (day - start).days / 30.4375
    rows = [[(150 if b != 17 else round(150 * 0.95 ** months)) + (i + b + k) % 3 - 1 for b in range(1, 41)]
            for i in range(12)]
    visits.append(write_log(f'visit{k}.log', rows, date=day.isoformat()))
crossing = start + datetime.timedelta(days=math.log(30 / 150) / math.log(0.95) * 30.4375)
visits.reverse()   # any order
rc, _, err = run('native', '--history', *visits, '--min', '30', '--horizon', '2000', '-o', 'history.html', '--csv',
                 'history.csv')
check('history: beam 17 flagged', (1, True), (rc, err.startswith('zebreport: 1 of 40 beams flagged: 17. Beam 17 pred')))
with open('history.csv', encoding='utf-8', newline='') as f:
    rows = {r.split('\t')[1]: r.split('\t') for r in f.read().split('\r\n')[1:] if r}
lo, hi = (datetime.date.fromisoformat(d) for d in rows['17'][-3:-1])
check('history: the range holds the true crossing', True, lo <= crossing <= hi and (hi - lo).days < 120)
check('history: a steady beam', 'no crossing predicted', rows['5'][-1])
rc, _, err = run('native', '--history', *visits[:4], '--min', '30', '-o', 'few.html', '--csv', 'few.csv')
with open('few.csv', encoding='utf-8', newline='') as f:
    check('history: four visits', 'insufficient data', f.read().split('\r\n')[17].split('\t')[-1])
status('history without a lower limit', 'native', 2, '--history needs a lower limit above 0', '--history', *visits,
       '-o', 'r.html')
browser = shutil.which('chromium-headless-shell') or shutil.which('chromium')
for page in ('history', 'compare'):
    if page == 'compare':
        run('native', '--as-found', 'grid.log', '--as-left', 'grid.log', '-o', 'compare.html')
    with tempfile.TemporaryDirectory() as profile, open(f'{page}.dom', 'w') as dom:
        subprocess.run([browser, '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
                        f'--user-data-dir={profile}', '--dump-dom', f'file://{work}/{page}.html'],
                       stdout=dom, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=120)
    with open(f'{page}.dom') as dom:
        text = dom.read()
    check(f'{page}: the browser renders the page', True, '<svg' in text and 'class="verdict' in text)
check('compare: the same log twice', True, 'Signal unchanged (median over the rod); all beams within the limits' in
      open('compare.dom').read())

print(f'report_cli: {passed} passed, {failed} failed')
sys.exit(1 if failed else 0)
