#!/usr/bin/env python3
"""zebreport from the command line, the native program and zebreport.exe under
Wine alike: the exit status with its one line on standard error, the limits
from options and from the program's settings file, the page parsed back as XML
with every piece of log text escaped, and the CSV.
    report_cli.py NATIVE WINE-RUN EXE     (run by ctest)
    report_cli.py NATIVE                  (the native program alone: the sanitizer build)"""
import csv
import os
import re
import subprocess
import shutil
import sys
import tempfile
import urllib.parse
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


def write_log(name, values, title='Signalst\xe4rke', extra=b'', date='2024-05-01', rod=1, hour=9):
    """values: one list per line for beams 1..n, lines 40 ms apart from hour."""
    text = f'ZEB Zuvaririzadure - {title}, aktuell (Leistenpaar {rod})\nDate: {date}\n'
    text += 'Zeit        \tErster\tLetzter\tLeiste\tWerte\n'
    for i, row in enumerate(values):
        ms = hour * 3600000 + 40 * i
        text += f'{ms // 3600000:02d}:{ms // 60000 % 60:02d}:{ms // 1000 % 60:02d},{ms % 1000:03d}'
        text += f'\t1\t{len(row)}\t{rod - 1}\t' + '\t'.join(map(str, row)) + '\n'
    with open(name, 'wb') as f:
        f.write(text.replace('\n', '\r\n').encode('cp1252') + extra)
    return name


def csv_rows(path):
    """A CSV file as a spreadsheet reads it: UTF-8 after the byte-order mark, ';' between cells."""
    with open(path, encoding='utf-8-sig', newline='') as f:
        return list(csv.reader(f, delimiter=';'))


def run(prog, *args, timeout=None):
    # Files, not pipes: Wine's helper processes may inherit the output and
    # would hold a pipe open after the program has ended.
    cmd = [wine_run, exe] if prog == 'exe' else [native]
    with open('out.txt', 'w+b') as out, open('err.txt', 'w+b') as err:
        try:
            rc = subprocess.run(cmd + list(args), stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            rc = 'timeout'
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
        check(f'{prog}: two malformed lines counted', True, 'Fehlerhafte Zeilen, übersprungen2' in text.replace('\n', ''))
        table = root.find(".//*[@id='flagged']")
        beams = [td.text for td in table.iter() if td.get('class') == 'beam text'] if table is not None else None
        check(f'{prog}: flagged table', ['5', '17'], beams)
    with open(f'{prog}.csv', 'rb') as f:
        data = f.read()
    check(f'{prog}: csv opens in Excel: byte-order mark, a header, 41 rows ended by CR LF', (b'\xef\xbb\xbf', 42, b''),
          (data[:3], len(data.split(b'\r\n')), data.split(b'\r\n')[-1]))
    check(f'{prog}: csv header', b'\xef\xbb\xbfRod pair;Beam;Cycles;Minimum;Median;Mean;Maximum;Noise;Std. dev.;'
          b'Below lower limit (%);Flag', data.split(b'\r\n')[0])
    rows = csv_rows(f'{prog}.csv')
    check(f'{prog}: csv beam 5', ['1', '5', '3', '20', '20', '20,000', '20', '0', '0,000', '100,00',
                                  'median below the lower limit'], rows[5])
    check(f'{prog}: csv: 11 cells a row', {11}, {len(r) for r in rows})

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
rows = {r[1]: r for r in csv_rows('history.csv')[1:]}
lo, hi = (datetime.date.fromisoformat(d) for d in rows['17'][-3:-1])
check('history: the range holds the true crossing', True, lo <= crossing <= hi and (hi - lo).days < 120)
check('history: a steady beam', 'no crossing predicted', rows['5'][-1])
rc, _, err = run('native', '--history', *visits[:4], '--min', '30', '-o', 'few.html', '--csv', 'few.csv')
check('history: four visits', 'insufficient data', csv_rows('few.csv')[17][-1])
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
check('compare: the same log twice', True, 'Signalstärke unverändert (Median über die Leiste); alle Strahlen '
      'innerhalb der Grenzwerte' in open('compare.dom').read())

# An archive of three grids and a folder without a card. A: due six months
# after its last visit, overdue; B: due in 14 days, within the horizon, and
# holding a log of another grid (6 beams); C: due next year.
def card(folder, interval, extra='', customer=None, low=30):
    os.makedirs(folder, exist_ok=True)
    customer = customer or f'M\xfcller {folder[-1]}'
    with open(f'{folder}/grid.ini', 'wb') as f:
        f.write((f'[Grid]\r\nCustomer={customer}\r\nSerial=S-{folder[-1]}\r\nIntervalMonths={interval}\r\n'
                 f'[Limits]\r\nLimitMinAbs={low}\r\n{extra}').encode('cp1252'))


healthy = [[150 + b % 40 + i % 3 for b in range(1, 41)] for i in range(5)]
shutil.rmtree('archive', ignore_errors=True)
card('archive/A', 6)
card('archive/B', 12)
card('archive/C', 12)
os.makedirs('archive/A/2025', exist_ok=True)
write_log('archive/A/2025/a1.log', healthy, date='2025-01-10')
write_log('archive/A/a2.log', healthy, date='2025-06-10')
write_log('archive/B/b0.log', healthy, date='2025-01-15')
write_log('archive/B/b1.log', healthy, date='2025-06-15')
write_log('archive/B/other.log', [[100] * 6], date='2025-07-01')
write_log('archive/C/c1.log', healthy, date='2026-03-01')
os.makedirs('archive/loose', exist_ok=True)
write_log('archive/loose/x.log', grid[:2])


def fleet(*extra):
    rc, _, err = run('native', '--fleet', 'archive', '--today', '2026-06-01', '-o', 'fleet.html', '--csv', 'fleet.csv',
                     *extra)
    return rc, err.splitlines()


rc, lines = fleet('--pages', 'pages')
rows = csv_rows('fleet.csv')[1:]
check('fleet: exit 1 for grids overdue or due soon', 1, rc)
check('fleet: most urgent first, then the folder without a card',
      [('Müller A', '2025-06-10', '2025-12-10', 'overdue'), ('Müller B', '2025-06-15', '2026-06-15',
       'action within the horizon'), ('Müller C', '2026-03-01', '2027-03-01', 'ok'), ('', '', '', 'no grid card')],
      [(r[0], r[6], r[10], r[12]) for r in rows])
check('fleet: the other grid\'s log and the folder without a card named', True,
      any('archive/B/other.log left out: 6 beams' in l for l in lines[:-1]) and
      any(l.startswith('zebreport: archive/loose: logs (1) but no grid card') for l in lines[:-1]))
check('fleet: every log read once', True, '1 overdue, 1 need action by 2026-07-01, 1 ok, 0 cannot be judged (6 logs read, '
      '0 from summaries' in lines[-1])
page = open('fleet.html', encoding='utf-8').read()
check('fleet: rows link to the grids\' pages', True, all(f'href="pages/00{k}_{g}.html"' in page and
      os.path.exists(f'pages/00{k}_{g}.html') for k, g in ((1, 'A'), (2, 'B'), (3, 'C'))))
check('fleet: a grid\'s page flags up to the plan\'s horizon (30 days after 2026-06-01: 122 after the visit of 2026-03-01)', True,
      'innerhalb von 122 Tagen' in open('pages/003_C.html', encoding='utf-8').read())
# The plan in another folder than its pages: the link still leads to the page.
os.makedirs('plans', exist_ok=True)
run('native', '--fleet', 'archive', '--today', '2026-06-01', '-o', 'plans/fleet.html', '--pages', 'pages')
href = re.search(r'href="([^"]*)"', open('plans/fleet.html', encoding='utf-8').read()).group(1)
target = urllib.parse.urljoin(f'file://{work}/plans/fleet.html', href)
check('fleet: a link from another folder', True, os.path.isfile(urllib.parse.unquote(target[len('file://'):])))
os.makedirs('blocked/001_A.html', exist_ok=True)   # a page that cannot be written, every grid ok
rc, _, err = run('native', '--fleet', 'archive', '--today', '2025-07-01', '-o', 'ok.html', '--pages', 'blocked')
check('fleet: a page not written is no all well', (2, True), (rc, err.endswith('; 1 page not written\n')))

# The summaries: nothing read a second time, a changed log read again, a
# damaged summary noticed and written anew, a read-only folder read without.
check('summaries: a second run reads no log', True, '(0 logs read, 6 from summaries' in fleet()[1][-1])
with open('archive/C/c1.log', 'ab') as f:
    f.write(b'09:00:01,000\t1\t40\t0\t' + b'\t'.join([b'150'] * 40) + b'\r\n')
os.remove('archive/A/grid.zebsum')   # the grid's row kept would spare its logs' summaries
with open('archive/A/a2.log.zebsum', 'r+b') as f:
    f.seek(200)
    byte = f.read(1)
    f.seek(200)
    f.write(bytes([byte[0] ^ 1]))
check('summaries: the changed log and the damaged summary read again', True, '(2 logs read, 4 from' in fleet()[1][-1])
check('summaries: both written anew', True, '(0 logs read, 6 from' in fleet()[1][-1])
ro = os.path.abspath('ro')
os.makedirs(ro, exist_ok=True)
mounted = subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=1m', 'zebro', ro], stderr=subprocess.DEVNULL).returncode == 0
card(f'{ro}/R', 6)
write_log(f'{ro}/R/r1.log', healthy, date='2026-05-01')
if mounted:
    subprocess.run(['mount', '-o', 'remount,ro', ro])
else:
    subprocess.run(['chmod', '-R', 'a-w', ro])
if os.access(f'{ro}/R', os.W_OK) and not mounted:
    print('No read-only folder could be made: that case is skipped.')
else:
    for k in (1, 2):
        rc, _, err = run('native', '--grid', f'{ro}/R', '-o', 'ro.html')
        check(f'summaries: a read-only folder, run {k}', (0, 1, True),
              (rc, err.count('\n'), '1 log read, 0 from summaries' in err))
if mounted:
    subprocess.run(['umount', ro])

# One page in German (the default) and one in English, each with the grid's
# identity, rendered; neither names a command-line option.
run('native', '--grid', 'archive/A', '-o', 'grid-de.html', '--technician', 'Erika Mustermann', '--ini', 'zebdiag.ini')
run('native', 'archive/A/a2.log', '--lang', 'en', '--min', '40', '-o', 'report-en.html')
for page, words in (('grid-de', ('Kunde', 'Müller A', 'Prüfer', 'Erika Mustermann', 'unterer Grenzwert 30, aus der '
                                 'Gitterkarte', 'oberer Grenzwert 255, aus der Einstellungsdatei',
                                 'Nächste Prüfung fällig', '10.12.2025')),
                    ('report-en', ('Customer', 'Müller A', 'lower limit 40, given', 'Signature'))):
    with tempfile.TemporaryDirectory() as profile, open(f'{page}.dom', 'w') as dom:
        subprocess.run([browser, '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
                        f'--user-data-dir={profile}', '--dump-dom', f'file://{work}/{page}.html'],
                       stdout=dom, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=120)
    text = open(f'{page}.dom', encoding='utf-8').read()
    check(f'{page}: identity block and texts', [], [w for w in words if w not in text] + 
          ([] if 'id="identity"' in text else ['identity']))
    check(f'{page}: no option names', [], re.findall(r'--[a-z]+', text))
# The report of 40 beams with nothing flagged prints on one A4 sheet, also
# with the grid's identity and the block to sign.
if browser:
    run('native', 'grid.log', '-o', 'sheet.html')
    run('native', 'archive/A/a2.log', '--technician', 'Erika Mustermann', '-o', 'sheet-card.html')
    sheets = []
    for page in ('sheet', 'sheet-card'):
        if os.path.exists(f'{page}.pdf'):
            os.remove(f'{page}.pdf')
        with tempfile.TemporaryDirectory() as profile:
            subprocess.run([browser, '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
                            f'--user-data-dir={profile}', '--no-pdf-header-footer', f'--print-to-pdf={work}/{page}.pdf',
                            f'file://{work}/{page}.html'], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           stdin=subprocess.DEVNULL, timeout=120)
        pdf = open(f'{page}.pdf', 'rb').read() if os.path.exists(f'{page}.pdf') else b''
        boxes = re.findall(rb'/MediaBox\s*\[\s*0 0 ([\d.]+) ([\d.]+)\s*\]', pdf)
        sheets.append((len(re.findall(rb'/Type\s*/Page\b', pdf)),
                       {(round(float(w) / 72 * 25.4), round(float(h) / 72 * 25.4)) for w, h in boxes}))
    check('report: one A4 sheet in print (sheets, size in mm), without and with a card', [(1, {(210, 297)})] * 2, sheets)
else:
    print('No chromium: the printed report\'s sheets are not counted.')
# D: six monthly visits, beam 5 losing 15 % a month, so its predicted range
# starts before the visit due a year after the last; E: a card that is no
# card; F: a card without logs. Four runs at once leave whole summaries.
shutil.rmtree('archive2', ignore_errors=True)
card('archive2/D', 12)
card('archive2/E', 'six')
card('archive2/F', 6)
for k in range(6):
    write_log(f'archive2/D/d{k}.log', [[round(150 * 0.85 ** k) if b == 5 else 150 + b % 3 for b in range(1, 41)]] * 3,
              date=f'2025-{7 + k:02d}-01')
runs = [subprocess.Popen([native, '--fleet', 'archive2', '--today', '2026-01-15', '-o', f'fleet2-{k}.html',
                          '--csv', f'fleet2-{k}.csv'], stderr=subprocess.DEVNULL) for k in range(4)]
check('fleet: runs at once', [0] * 4, [r.wait() for r in runs])
rows = csv_rows('fleet2-0.csv')[1:]
d = rows[0]
check('fleet: action by the start of the predicted range, before the visit due', (True, True),
      (d[9] == d[11], '2026-01-15' < d[9] < d[10] == '2026-12-01'))
check('fleet: grids that cannot be judged', ['unreadable card: archive2/E/grid.ini, line 4: [Grid] IntervalMonths is not '
      'a number of months from 1 to 120: six', 'no logs'], [r[12] for r in rows[1:]])
check('fleet: the German page says why in German', True, 'Gitterkarte unlesbar: archive2/E/grid.ini, Zeile 4: [Grid] '
      'IntervalMonths ist keine Zahl von Monaten von 1 bis 120: six' in open('fleet2-0.html', encoding='utf-8').read())
rc, _, err = run('native', '--grid', 'archive2/D', '-o', 'd.html')
check('summaries: whole after runs at once', True, '; 0 logs read, 6 from summaries' in err)
status('fleet: no grid to judge', 'native', 2, '1 grids: 0 overdue', '--fleet', 'archive2/E', '-o', 'e.html')
# A card spelt otherwise (Notepad keeps what the user typed) is read as it is
# spelt. Its customer holds the CSV's separator and quotes: quoted in the file.
card('upper/G', 6, customer='M\xfcller; "S\xf6hne" KG')
os.rename('upper/G/grid.ini', 'upper/G/Grid.INI')
write_log('upper/G/g1.log', healthy, date='2026-05-01')
rc, _, err = run('native', '--fleet', 'upper', '--today', '2026-06-01', '-o', 'upper.html', '--csv', 'upper.csv')
check('fleet: a card named Grid.INI', (0, True), (rc, ', 1 ok, 0 cannot be judged' in err))
with open('upper.csv', 'rb') as f:
    check('fleet: csv: the customer quoted, the reserve with a decimal comma', (True, True), (
          f.read().split(b'\r\n')[1].startswith('"Müller; ""Söhne"" KG";;;;S-G;upper/G;2026-05-01;'.encode()),
          re.fullmatch(r'\d+,\d\d', csv_rows('upper.csv')[1][8]) is not None))
check('fleet: csv read back', ['Müller; "Söhne" KG', 'S-G', 'ok'], [csv_rows('upper.csv')[1][k] for k in (0, 4, 12)])

# Visits found and left: soiling between them and the interval it allows.
# S: found at 50 (limit 60) and cleaned to 180 every half year; L: 180 to 165
# in half a year; C: found a little brighter than left (lost nothing); O: one
# recording a visit, the last also copied (the copy starts with it: no
# arrival); D: like L, but beam 3 dark at every visit (no soiling rate, below
# the limit now); P: both rod pairs, beam 7 of the first soiling fastest; B:
# one beam at 75 four months after cleaning; U: an as found of other beams;
# Z: a maximum no number.
shutil.rmtree('soil', ignore_errors=True)
days = ['2023-01-10', '2023-07-10', '2024-01-10', '2024-07-10', '2025-01-10', '2025-07-10', '2026-01-10']
for g, found in (('S', 50), ('L', 165), ('O', None), ('C', 181)):
    card(f'soil/{g}', 6, '[Grid]\r\nMinIntervalMonths=1\r\n', low=60)
    for k, day in enumerate(days):
        if found and k:
            write_log(f'soil/{g}/f{k}.log', [[found + b % 2 for b in range(1, 25)]] * 3, date=day, hour=8)
        write_log(f'soil/{g}/l{k}.log', [[180 + b % 2 for b in range(1, 25)]] * 3, date=day, hour=10)
shutil.copy('soil/O/l6.log', 'soil/O/l6-copy.log')
card('soil/D', 6, low=60)
for k, day in enumerate(days):
    if k:
        write_log(f'soil/D/f{k}.log', [[0 if b == 3 else 165 for b in range(1, 25)]] * 3, date=day, hour=8)
    write_log(f'soil/D/l{k}.log', [[0 if b == 3 else 180 for b in range(1, 25)]] * 3, date=day, hour=10)
card('soil/P', 6, low=60)
for k, day in enumerate(days):
    for name, hour, first in (('f', 8, [90 if b == 7 else 170 for b in range(1, 25)]), ('l', 10, [180] * 24)):
        if k or name == 'l':   # a line of the second rod pair after the first's
            write_log(f'soil/P/{name}{k}.log', [first] * 3, date=day, hour=hour,
                      extra=''.join(f'{hour:02d}:00:01,{40 * i:03d}\t1\t24\t1\t' + '\t'.join(['175'] * 24) + '\r\n'
                                    for i in range(3)).encode())
card('soil/B', 6, low=60)
write_log('soil/B/l0.log', [[180] * 24] * 3, date='2025-09-01', hour=10)
write_log('soil/B/f1.log', [[75 if b == 7 else 180 for b in range(1, 25)]] * 3, date='2026-01-01', hour=8)
write_log('soil/B/l1.log', [[180] * 24] * 3, date='2026-01-01', hour=10)
rc, _, err = run('native', '--fleet', 'soil', '--today', '2026-02-01', '-o', 'soil.html', '--csv', 'soil.csv',
                 '--pages', 'soilpages')
head, *rows = csv_rows('soil.csv')
col = {name: head.index(name) for name in ('Grid', 'Folder', 'Action by', 'Found below limit', 'Soiling per month',
                                           'Recommended interval')}
got = {r[col['Folder']][-1]: r for r in rows}
s, l, o, b, dark, clean = (got[g] for g in 'SLOBDC')
check('soiling: found below, about 19 % a month, 3 to 5 months, action before the limit', ('24', '19,2', True, True),
      (s[col['Found below limit']], s[col['Soiling per month']], 3 <= int(s[col['Recommended interval']]) <= 5,
       s[col['Action by']] < '2026-06-10'))
check('soiling: a slow grid gets above 6 months, at most 12', (True, '0'),
      (6 < int(l[col['Recommended interval']]) <= 12, l[col['Found below limit']]))
check('soiling: one recording a visit (and a copy), no figure, the card\'s interval', ('', '', '6'),
      (o[col['Found below limit']], o[col['Soiling per month']], o[col['Recommended interval']]))
check('soiling: one beam soiling fast shortens the interval', True, int(b[col['Recommended interval']]) < 6)
check('soiling: a beam dark now bounds the interval as its trend does, and the page says so', ('1', True),
      (dark[col['Recommended interval']], 'Der Trend nach der Wartung erreicht den Grenzwert früher: ab 10.01.2026. '
       'Angehoben' in open(next(f'soilpages/{n}' for n in os.listdir('soilpages') if n.endswith('_D.html')),
                           encoding='utf-8').read()))
check('soiling: the plan names the fastest beam with its rod pair', True, 'Strahl 7 (Leistenpaar 1))' in
      open('soil.html', encoding='utf-8').read())
check('soiling: one month said so', [True] * 2, ['Empfohlen: 1 Monat, vereinbart: 6<' in open(f, encoding='utf-8').read()
      for f in ('soil.html', next(f'soilpages/{n}' for n in os.listdir('soilpages') if n.endswith('_D.html')))])
card('month/M', 1, low=60)
write_log('month/M/m.log', [[180] * 24] * 3, date='2026-01-01')
run('native', '--grid', 'month/M', '-o', 'month.html')
check('card: an interval of one month said so', True, '<td>1 Monat</td>' in open('month.html', encoding='utf-8').read())
page = open('soil.html', encoding='utf-8').read()
check('soiling: the plan says it in German', True, 'bei Ankunft 24 von 24 Strahlen unter dem Grenzwert' in page and
      'Verschmutzung 19 % pro Monat (am stärksten: Strahl' in page)
check('soiling: a grid found brighter than left lost nothing, no "-0 %"', ('0,0', False),
      (clean[col['Soiling per month']], '-0 %' in page))
check('soiling: the plan\'s key says the soiling sets Action by too', True,
      'und dem Tag, an dem die Verschmutzung seit der letzten Wartung einen Strahl unter ihn bringen kann.' in page)
grid_page = open(next(f'soilpages/{n}' for n in os.listdir('soilpages') if n.endswith('_S.html')), encoding='utf-8').read()
check('soiling: the grid\'s page says how in natural German', [True] * 3,
      [t in grid_page for t in ('Monate ab der Wartung am 10.01.2026, an deren Ende noch kein Strahl unter',
                                'Strahl 2 würde den Grenzwert als Erster erreichen, am 18.05.2026.',
                                '<th class="text">Am stärksten verschmutzt</th>')])
check('soiling: the grid\'s page names the visits found below and the recommendation', (True, True, 6),
      ('Bei Ankunft außerhalb der Grenzwerte: 10.07.2023' in grid_page, 'Empfohlen: 4 Monate, vereinbart: 6' in grid_page,
       grid_page.count('<circle class="found"')))
# The grids' kept rows follow a card changed to the same size with its time
# kept (copied back with it, or changed within what a file share's times tell apart).
run('native', '--fleet', 'soil', '--today', '2026-02-01', '-o', 'soil2.html', '--csv', 'soil2.csv')
stamp = os.stat('soil/S/grid.ini')
card('soil/S', 6, '[Grid]\r\nMinIntervalMonths=5\r\n', low=60)
os.utime('soil/S/grid.ini', ns=(stamp.st_atime_ns, stamp.st_mtime_ns))
run('native', '--fleet', 'soil', '--today', '2026-02-01', '-o', 'soil2.html', '--csv', 'soil2.csv')
check('soiling: the kept row follows the card\'s shortest interval', '5',
      next(r for r in csv_rows('soil2.csv') if r[col['Folder']] == 'soil/S')[col['Recommended interval']])
card('soil/U', 6, low=60)
write_log('soil/U/l0.log', [[180] * 24] * 3, date='2025-09-01', hour=10)
write_log('soil/U/f1.log', [[100] * 20] * 3, date='2026-01-01', hour=8)
write_log('soil/U/l1.log', [[180] * 24] * 3, date='2026-01-01', hour=10)
rc, _, err = run('native', '--history', 'soil/U/l0.log', 'soil/U/f1.log', 'soil/U/l1.log', '-o', 'u.html')
check('soiling: an as found of other beams is named, not paired', (0, True, False), (rc, 'f1.log), nicht verglichen'
      in open('u.html', encoding='utf-8').read(), 'sawtooth' in open('u.html', encoding='utf-8').read()))
# Visits that alternate between the rod pairs: no beam is recorded at both
# ends of an interval, so none is measured and the card's interval stands.
shutil.rmtree('soilalt', ignore_errors=True)
os.makedirs('soilalt')
alt = [write_log(f'soilalt/{fl}{k}.log', [[100 if fl == 'f' else 180] * 24] * 3, date=day, hour=8 if fl == 'f' else 10,
                 rod=1 + k % 2) for k, day in enumerate(days[:5]) for fl in 'fl' if k or fl == 'l']
rc, _, err = run('native', '--history', *alt, '--min', '60', '-o', 'alt.html')
check('soiling: intervals with no beam at both ends measure nothing', True,
      'Empfohlen: 6 Monate (ohne Gitterkarte)</span><br>Ohne ein Intervall' in open('alt.html', encoding='utf-8').read())
card('soil/Z', 6, '[Grid]\r\nMaxIntervalMonths=zw\xf6lf\r\n')
status('card: a maximum interval no number', 'native', 2, 'soil/Z/grid.ini, line 8: [Grid] MaxIntervalMonths is not a '
       'number of months from 1 to 120: zwölf', '--grid', 'soil/Z', '-o', 'z.html')
card('soil/Z', 6, '[Grid]\r\nMinIntervalMonths=9\r\nMaxIntervalMonths=4\r\n')
status('card: a minimum above the maximum', 'native', 2, 'soil/Z/grid.ini, line 8: [Grid] MinIntervalMonths 9 is above '
       'MaxIntervalMonths 4', '--grid', 'soil/Z', '-o', 'z.html')
# The as found / as left page of a visit found below: its headline says so.
rc, _, err = run('native', '--as-found', 'soil/S/f3.log', '--as-left', 'soil/S/l3.log', '--min', '60', '-o', 'sf.html')
check('compare: found below in the headline', True, re.search(r'class="verdict flagged">Signalstärke um \d+ % '
      r'gestiegen[^;]*; bei Ankunft 24 von 24 Strahlen unter dem Grenzwert; nach der Wartung alle Strahlen innerhalb',
      open('sf.html', encoding='utf-8').read()) is not None)

if 'exe' in progs:   # the sanitizer build runs the native program alone
    # zebreport.exe keeps summaries too (its own file times: it reads each log once more).
    for k, read in ((1, 6), (2, 0)):
        rc, _, err = run('exe', '--fleet', 'archive', '--today', '2026-06-01', '-o', 'exe-fleet.html')
        check(f'exe: fleet run {k}', (1, True), (rc, f'({read} logs read, ' in err))
    # Nor does it follow links to folders (junctions): two leading back up would
    # have it walk 2^32 folders.
    shutil.rmtree('links', ignore_errors=True)
    card('links/G', 6)
    write_log('links/G/g1.log', healthy, date='2026-05-01')
    os.symlink('..', 'links/G/up1')
    os.symlink('..', 'links/G/up2')
    rc, _, err = run('exe', '--fleet', 'links', '--today', '2026-06-01', '-o', 'links.html', timeout=60)
    check('exe: links to folders not followed', (0, True), (rc, '1 grids: 0 overdue, 0 need action by 2026-07-01, 1 ok, '
          '0 cannot be judged (1 log read' in err))
status('logs of two grids', 'native', 2, 'logs of two grids: archive/A/a2.log (',
       'archive/A/a2.log', 'archive/C/c1.log', '-o', 'r.html')

print(f'report_cli: {passed} passed, {failed} failed')
sys.exit(1 if failed else 0)
