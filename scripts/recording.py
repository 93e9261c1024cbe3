#!/usr/bin/env python3
"""Writes the benchmarks' recording unless it exists: a data log of signal
strengths as the program writes it, 999 beams, 25,000 lines 40-42 ms apart
(about 100 MB), values with noise around fixed levels and three weak beams.
    recording.py FILE"""
import os
import random
import sys

log = sys.argv[1]
if not os.path.exists(log):
    random.seed(7)
    base = [random.randint(120, 230) for _ in range(999)]
    for b in (5, 17, 400):
        base[b - 1] = 20
    rows = ['\t'.join(str(min(255, max(0, v + random.randint(-3, 3)))) for v in base) for _ in range(64)]
    with open(log + '.part', 'wb') as f:
        f.write('ZEB Zuvaririzadure - Signalst\xe4rke, aktuell (Leistenpaar 1)\r\n'.encode('cp1252'))
        f.write(b'Date: 2024-05-01\r\nZeit        \tErster\tLetzter\tLeiste\tWerte\r\n')
        ms, out = 8 * 3600000, []
        for i in range(25000):
            ms += 40 + i % 3
            out.append(f'{ms // 3600000:02d}:{ms // 60000 % 60:02d}:{ms // 1000 % 60:02d},{ms % 1000:03d}'
                       f'\t1\t999\t0\t{rows[random.randrange(64)]}\r\n')
        f.write(''.join(out).encode())
    os.replace(log + '.part', log)
