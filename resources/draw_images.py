#!/usr/bin/env python3
"""Draws the toolbar strip (toolbar.bmp: 18 images of 32 x 16 pixels, 16
colours) and the program icon (zebdiag.ico). Change a picture here and run
the script again; both files are committed next to it."""
import os
import struct

# The 16 standard colours; the toolbar maps silver to the button face.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER, GRAY, RED, LIME, YELLOW, BLUE, \
    FUCHSIA, AQUA, WHITE = range(16)

# 3 x 5 glyphs for the little lettering.
GLYPHS = {
    '0': ['111', '101', '101', '101', '111'], '1': ['010', '110', '010', '010', '111'],
    '%': ['101', '001', '010', '100', '101'], 'R': ['110', '101', '110', '101', '101'],
    'E': ['111', '100', '110', '100', '111'], 'F': ['111', '100', '110', '100', '100'],
    '(': ['01', '10', '10', '10', '01'], ')': ['10', '01', '01', '01', '10'],
}


class Canvas:
    def __init__(self, w, h, bg):
        self.w, self.h = w, h
        self.px = [[bg] * w for _ in range(h)]

    def dot(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def line(self, x0, y0, x1, y1, c):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.dot(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def rect(self, x0, y0, x1, y1, c, fill=None):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                if edge:
                    self.dot(x, y, c)
                elif fill is not None:
                    self.dot(x, y, fill)

    def text(self, x, y, s, c, scale=1):
        for ch in s:
            g = GLYPHS[ch]
            for r, row in enumerate(g):
                for k, bit in enumerate(row):
                    if bit == '1':
                        self.rect(x + k * scale, y + r * scale, x + k * scale + scale - 1,
                                  y + r * scale + scale - 1, c, c)
            x += (len(g[0]) + 1) * scale

    def arrow(self, x0, y0, x1, y1, c):
        """A line with a head at (x1, y1), for the four main directions."""
        self.line(x0, y0, x1, y1, c)
        dx, dy = (x1 > x0) - (x1 < x0), (y1 > y0) - (y1 < y0)
        for k in (1, 2):
            self.dot(x1 - dx * k - dy * k, y1 - dy * k - dx * k, c)
            self.dot(x1 - dx * k + dy * k, y1 - dy * k + dx * k, c)


def document(cv, x, y, lines=True):
    cv.rect(x, y, x + 8, y + 11, BLACK, WHITE)
    cv.line(x + 6, y, x + 8, y + 2, BLACK)
    if lines:
        for r in range(3, 10, 2):
            cv.line(x + 2, y + r, x + 6, y + r, GRAY)


def sensor(cv, x, y):
    """A rod end with its lens: a grey housing and a red beam window."""
    cv.rect(x, y, x + 5, y + 13, BLACK, GRAY)
    for r in range(y + 2, y + 12, 3):
        cv.dot(x + 4, r, RED)
        cv.dot(x + 4, r + 1, RED)


def bar(cv, x, y, length, filled):
    cv.rect(x, y, x + length, y + 4, BLACK, WHITE)
    cv.rect(x + 1, y + 1, x + filled, y + 3, NAVY, NAVY)


def steps(cv, x, y, n, c):
    for i in range(n):
        cv.rect(x + 3 * i, y + 9 - 2 * i, x + 3 * i + 1, y + 10, c, c)


def draw(i, cv, x):
    if i == 0:      # two documents
        document(cv, x + 8, 1)
        document(cv, x + 13, 4)
    elif i == 1:    # a bar with an arrow and 100%
        bar(cv, x + 2, 1, 26, 18)
        cv.arrow(x + 22, 12, x + 22, 7, RED)
        cv.text(x + 3, 10, '100%', BLACK)
    elif i == 2:    # a digit 1 beside a sensor
        sensor(cv, x + 4, 1)
        cv.text(x + 16, 3, '1', BLUE, scale=2)
    elif i == 3:    # circling arrows beside a sensor
        sensor(cv, x + 4, 1)
        cv.line(x + 15, 4, x + 24, 4, GREEN)
        cv.arrow(x + 24, 4, x + 24, 11, GREEN)
        cv.line(x + 24, 11, x + 16, 11, GREEN)
        cv.arrow(x + 15, 11, x + 15, 5, GREEN)
    elif i == 4:    # red rising level steps
        steps(cv, x + 6, 2, 7, RED)
    elif i == 5:    # a transmitter with an arrow
        sensor(cv, x + 4, 1)
        cv.arrow(x + 11, 7, x + 26, 7, RED)
        cv.arrow(x + 11, 8, x + 26, 8, RED)
    elif i == 6:    # an arrow into a receiver
        sensor(cv, x + 22, 1)
        cv.arrow(x + 4, 7, x + 20, 7, RED)
        cv.arrow(x + 4, 8, x + 20, 8, RED)
    elif i == 7:    # a line with an arrow to its low end
        cv.line(x + 6, 3, x + 26, 3, BLACK)
        cv.line(x + 6, 3, x + 6, 13, GRAY)
        cv.arrow(x + 16, 12, x + 8, 12, BLUE)
        cv.line(x + 6, 13, x + 26, 13, BLACK)
    elif i == 8:    # a line with an arrow to its high end
        cv.line(x + 6, 3, x + 26, 3, BLACK)
        cv.line(x + 26, 3, x + 26, 13, GRAY)
        cv.arrow(x + 16, 12, x + 24, 12, BLUE)
        cv.line(x + 6, 13, x + 26, 13, BLACK)
    elif i == 9:    # a bar with red level steps at its end
        bar(cv, x + 1, 6, 18, 17)
        steps(cv, x + 21, 1, 3, RED)
    elif i == 10:   # a square with a turning arrow
        cv.rect(x + 10, 3, x + 19, 12, BLACK, WHITE)
        cv.line(x + 21, 2, x + 24, 5, GREEN)
        cv.arrow(x + 24, 5, x + 24, 12, GREEN)
    elif i == 11:   # two arrows pointing at each other and a cross
        cv.arrow(x + 2, 5, x + 11, 5, BLUE)
        cv.arrow(x + 21, 5, x + 12, 5, BLUE)
        cv.line(x + 20, 8, x + 27, 15, RED)
        cv.line(x + 27, 8, x + 20, 15, RED)
    elif i == 12:   # a bar over 100%
        bar(cv, x + 2, 1, 26, 20)
        cv.text(x + 8, 9, '100%', BLACK)
    elif i == 13:   # two arrows pointing at each other
        cv.arrow(x + 4, 8, x + 14, 8, BLUE)
        cv.arrow(x + 27, 8, x + 17, 8, BLUE)
    elif i == 14:   # a document with lines
        document(cv, x + 11, 2)
    elif i == 15:   # a floppy disk
        cv.rect(x + 9, 1, x + 22, 14, BLACK, NAVY)
        cv.rect(x + 11, 1, x + 20, 6, BLACK, WHITE)
        cv.rect(x + 12, 9, x + 19, 14, BLACK, GRAY)
    elif i == 16:   # a bar over (REF)
        bar(cv, x + 2, 1, 26, 14)
        cv.text(x + 6, 9, '(REF)', BLACK)
    elif i == 17:   # a document with an arrow and 100%
        document(cv, x + 1, 1, lines=False)
        cv.arrow(x + 11, 5, x + 17, 5, GREEN)
        cv.text(x + 11, 9, '100%', BLACK)


def bmp_4bit(cv):
    row = ((cv.w + 7) // 8) * 4
    pixels = b''
    for y in reversed(range(cv.h)):
        line = bytearray()
        for x in range(0, cv.w, 2):
            hi = cv.px[y][x]
            lo = cv.px[y][x + 1] if x + 1 < cv.w else 0
            line.append(hi << 4 | lo)
        pixels += bytes(line.ljust(row, b'\0'))
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    return palette, pixels


def write_bmp(path, cv):
    palette, pixels = bmp_4bit(cv)
    info = struct.pack('<IiiHHIIiiII', 40, cv.w, cv.h, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    offset = 14 + len(info) + len(palette)
    head = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    with open(path, 'wb') as f:
        f.write(head + info + palette + pixels)


def icon_image(size):
    """A beam grid: two rods with beams between them, one broken by an object."""
    cv = Canvas(size, size, WHITE)
    s = size / 32
    rod = max(2, int(5 * s))
    cv.rect(1, 1, rod, size - 2, BLACK, GRAY)
    cv.rect(size - 1 - rod, 1, size - 2, size - 2, BLACK, GRAY)
    beams = 6 if size >= 32 else 4
    for k in range(beams):
        y = int(3 * s) + k * (size - int(6 * s)) // (beams - 1)
        colour = RED if k != beams // 2 else SILVER
        cv.line(rod + 1, y, size - 2 - rod, y, colour)
    cv.rect(size // 2 - int(3 * s), size // 2 - int(5 * s), size // 2 + int(3 * s), size // 2 + int(5 * s),
            NAVY, NAVY)
    return cv


def write_ico(path, sizes):
    images = []
    for size in sizes:
        cv = icon_image(size)
        palette, pixels = bmp_4bit(cv)
        mask_row = ((size + 31) // 32) * 4
        mask = bytes(mask_row * size)   # all opaque
        info = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, len(pixels) + len(mask), 0, 0, 16, 0)
        images.append((size, info + palette + pixels + mask))
    head = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b'', b''
    for size, blob in images:
        entries += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(blob), offset + len(data))
        data += blob
    with open(path, 'wb') as f:
        f.write(head + entries + data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    strip = Canvas(18 * 32, 16, SILVER)
    for i in range(18):
        draw(i, strip, 32 * i)
    write_bmp(os.path.join(here, 'toolbar.bmp'), strip)
    write_ico(os.path.join(here, 'zebdiag.ico'), [32, 16])


if __name__ == '__main__':
    main()
