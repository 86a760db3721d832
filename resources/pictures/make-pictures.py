#!/usr/bin/env python3
"""Draws the installer's pictures and writes them as Windows resource files.

Everything is drawn here with signed-distance shapes and written byte by byte
(BMP, ICO, CUR, PNG, PPM), so the output is the same on every run and needs
nothing beyond the Python standard library.  The background is written as a
PPM file; make-pictures.sh turns it into the progressive JPEG with cjpeg.

Usage: make-pictures.py OUTPUT_DIR
"""

import math
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------------------
# Palette (sRGB, 0-255)
# ---------------------------------------------------------------------------

PAGE = (0xF4, 0xF4, 0xF4)        # page and message box background
BAR = (0xD0, 0xD0, 0xD0)         # bottom bar behind Install/Cancel/progress

FELT_TOP = (0x12, 0x55, 0x41)    # side picture, deep card-table green
FELT_BOTTOM = (0x06, 0x24, 0x1B)
FELT_GLOW = (0x1D, 0x73, 0x57)

GOLD = (0xE6, 0xB8, 0x4C)        # accent: focus ring, rules, chip inlay
GOLD_LIGHT = (0xF7, 0xD9, 0x8A)
GOLD_DARK = (0x9A, 0x70, 0x1E)

IVORY = (0xFB, 0xF8, 0xF0)       # playing cards
INK = (0x17, 0x1C, 0x1A)         # black suits
RED = (0xC4, 0x23, 0x35)         # red suits, chip

# Button looks.  "primary" dresses the action buttons (Install, Resume,
# Continue, Yes), "secondary" the others (Cancel, Browse, OK, No).
PRIMARY = {
    'top': (0x22, 0x9A, 0x66), 'bottom': (0x11, 0x70, 0x46),
    'border': (0x0B, 0x4F, 0x31),
    'ptop': (0x0C, 0x5A, 0x38), 'pbottom': (0x14, 0x74, 0x49),
    'pborder': (0x08, 0x3E, 0x26),
}
SECONDARY = {
    'top': (0x44, 0x66, 0x76), 'bottom': (0x2A, 0x45, 0x52),
    'border': (0x1B, 0x30, 0x3A),
    'ptop': (0x1C, 0x31, 0x3B), 'pbottom': (0x2A, 0x44, 0x51),
    'pborder': (0x12, 0x22, 0x2A),
}
DISABLED = {
    'top': (0x6A, 0x73, 0x70), 'bottom': (0x5C, 0x65, 0x62),
    'border': (0x4E, 0x56, 0x53),
}

# Progress strip
TRACK_BORDER = (0x6E, 0x7B, 0x76)
TRACK_TOP = (0xE2, 0xE6, 0xE4)
TRACK_BOTTOM = (0xFA, 0xFB, 0xFA)
FILL_TOP = (0x3B, 0xC4, 0x85)
FILL_BOTTOM = (0x12, 0x7A, 0x4B)


# ---------------------------------------------------------------------------
# Raster canvas
# ---------------------------------------------------------------------------

def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


class Canvas:
    """RGBA picture with straight (not premultiplied) alpha, floats 0-255/0-1."""

    def __init__(self, w, h, colour=(0, 0, 0), alpha=1.0):
        self.w, self.h = w, h
        self.px = [[float(colour[0]), float(colour[1]), float(colour[2]), alpha]
                   for _ in range(w * h)]

    def blend(self, x, y, colour, a):
        if a <= 0.0:
            return
        p = self.px[y * self.w + x]
        da = p[3]
        oa = a + da * (1.0 - a)
        if oa <= 0.0:
            return
        k = da * (1.0 - a)
        for i in range(3):
            p[i] = (colour[i] * a + p[i] * k) / oa
        p[3] = oa

    def fill(self, sdf, colour, alpha=1.0, box=None, soft=1.0):
        """Fills the shape sdf(x, y) < 0; `soft` is the edge width in pixels.

        colour is an RGB tuple or a function (x, y) -> RGB.
        box = (x0, y0, x1, y1) limits the pixels looked at.
        """
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        func = callable(colour)
        for y in range(y0, y1):
            cy = y + 0.5
            for x in range(x0, x1):
                cx = x + 0.5
                d = sdf(cx, cy)
                cov = clamp01(0.5 - d / soft)
                if cov > 0.0:
                    self.blend(x, y, colour(cx, cy) if func else colour, cov * alpha)

    def rgb_rows(self):
        """Rows top to bottom of (r, g, b) integer tuples, composited on black."""
        rows = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                p = self.px[y * self.w + x]
                row.append(tuple(int(round(max(0.0, min(255.0, p[i] * p[3])))) for i in range(3)))
            rows.append(row)
        return rows

    def rgba_rows(self):
        rows = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                p = self.px[y * self.w + x]
                a = int(round(clamp01(p[3]) * 255))
                if a == 0:
                    row.append((0, 0, 0, 0))
                else:
                    row.append(tuple(int(round(max(0.0, min(255.0, p[i])))) for i in range(3)) + (a,))
            rows.append(row)
        return rows


# ---------------------------------------------------------------------------
# Signed-distance shapes (negative inside, pixel units)
# ---------------------------------------------------------------------------

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def rbox(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - r, (y1 - y0) / 2.0 - r

    def f(x, y):
        qx = abs(x - cx) - hx
        qy = abs(y - cy) - hy
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r
    return f


def capsule(ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy

    def f(x, y):
        t = clamp01(((x - ax) * dx + (y - ay) * dy) / ll) if ll else 0.0
        return math.hypot(x - ax - dx * t, y - ay - dy * t) - r
    return f


def polygon(pts):
    n = len(pts)

    def f(x, y):
        best = float('inf')
        inside = False
        j = n - 1
        for i in range(n):
            xi, yi = pts[i]
            xj, yj = pts[j]
            ex, ey = xj - xi, yj - yi
            wx, wy = x - xi, y - yi
            ee = ex * ex + ey * ey
            t = clamp01((wx * ex + wy * ey) / ee) if ee else 0.0
            ddx, ddy = wx - ex * t, wy - ey * t
            d = ddx * ddx + ddy * ddy
            if d < best:
                best = d
            if (yi > y) != (yj > y) and x < xi + (y - yi) * ex / ey:
                inside = not inside
            j = i
        d = math.sqrt(best)
        return -d if inside else d
    return f


def union(*fs):
    return lambda x, y: min(f(x, y) for f in fs)


def intersect(*fs):
    return lambda x, y: max(f(x, y) for f in fs)


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def ring(f, width):
    return lambda x, y: abs(f(x, y)) - width / 2.0


def inset(f, amount):
    return lambda x, y: f(x, y) + amount


def placed(f, cx, cy, scale=1.0, angle=0.0):
    """Shape f drawn around the origin in unit size, moved to (cx, cy),
    scaled and turned clockwise by angle degrees."""
    c, s = math.cos(math.radians(angle)), math.sin(math.radians(angle))

    def g(x, y):
        dx, dy = x - cx, y - cy
        ux = (dx * c + dy * s) / scale
        uy = (-dx * s + dy * c) / scale
        return f(ux, uy) * scale
    return g


def vgrad(top_y, bottom_y, top, bottom):
    span = float(bottom_y - top_y) or 1.0
    return lambda x, y: mix(top, bottom, clamp01((y - top_y) / span))


# Card suits in unit size: about 2 wide and 2 high, centred on the origin.

def _heart_points(n=72):
    pts = []
    for i in range(n):
        t = 2 * math.pi * i / n
        x = 16 * math.sin(t) ** 3
        y = 13 * math.cos(t) - 5 * math.cos(2 * t) - 2 * math.cos(3 * t) - math.cos(4 * t)
        pts.append((x / 17.0, -(y + 2.5) / 15.0))
    return pts


HEART = polygon(_heart_points())
DIAMOND = polygon([(0.0, -1.0), (0.72, 0.0), (0.0, 1.0), (-0.72, 0.0)])
_stem = polygon([(0.0, 0.15), (0.32, 1.0), (-0.32, 1.0)])
SPADE = union(placed(HEART, 0.0, -0.18, 0.86, 180.0), _stem)
CLUB = union(circle(0.0, -0.5, 0.43), circle(-0.47, 0.12, 0.43),
             circle(0.47, 0.12, 0.43), capsule(0.0, -0.3, 0.0, 0.3, 0.16), _stem)


def suit(kind, cx, cy, size, angle=0.0):
    """A suit symbol of the given height in pixels."""
    return placed({'spade': SPADE, 'heart': HEART, 'diamond': DIAMOND, 'club': CLUB}[kind],
                  cx, cy, size / 2.0, angle)


def suit_box(cx, cy, size):
    r = size * 0.75 + 2
    return (cx - r, cy - r, cx + r, cy + r)


# ---------------------------------------------------------------------------
# Button faces
# ---------------------------------------------------------------------------

def button_face(w, h, backdrop, look, state):
    """One button face of the three-slice skin.

    Only the left and right caps carry anything that varies across x (corners,
    focus ring), so the middle column can be stretched to any width.
    """
    img = Canvas(w, h, backdrop)
    r = 5.0 if h < 40 else 7.0
    bottom = h - 2.0                        # two rows for the drop shadow
    if state == 'pressed':
        top, bottom = 1.0, h - 1.0          # sunk by one pixel, no shadow
    else:
        top = 0.0
    body = rbox(0.0, top, float(w), bottom, r)
    face = inset(body, 1.0)

    if state in ('normal', 'focused'):
        img.fill(rbox(0.5, top + 1.0, w - 0.5, bottom + 1.2, r), (0, 0, 0), 0.22, soft=1.6)
        img.fill(rbox(1.5, top + 2.0, w - 1.5, bottom + 1.6, r), (0, 0, 0), 0.10, soft=2.0)

    if state == 'disabled':
        img.fill(body, DISABLED['border'])
        img.fill(face, vgrad(top + 1, bottom - 1, DISABLED['top'], DISABLED['bottom']))
        return img

    if state == 'pressed':
        img.fill(body, look['pborder'])
        img.fill(face, vgrad(top + 1, bottom - 1, look['ptop'], look['pbottom']))
        # inner shadow along the top edge
        img.fill(intersect(face, lambda x, y: y - (top + 3.5)), (0, 0, 0), 0.22)
        img.fill(intersect(face, lambda x, y: y - (top + 2.5)), (0, 0, 0), 0.18)
        return img

    img.fill(body, GOLD_DARK if state == 'focused' else look['border'])
    img.fill(face, vgrad(top + 1, bottom - 1, look['top'], look['bottom']))
    # a light line under the top border
    img.fill(intersect(face, lambda x, y: y - (top + 2.0)), (255, 255, 255), 0.22)
    if state == 'focused':
        img.fill(ring(inset(body, 2.0), 1.5), GOLD)
    return img


# ---------------------------------------------------------------------------
# Progress strip: columns 0-3 left cap, 4 filled, 5 empty, 6-9 right cap
# ---------------------------------------------------------------------------

def progress_strip():
    w, h = 10, 21
    img = Canvas(w, h, BAR)
    track = rbox(0.0, 0.0, 10.0, 21.0, 4.0)
    img.fill(track, TRACK_BORDER)
    img.fill(inset(track, 1.0), vgrad(1.0, 20.0, TRACK_TOP, TRACK_BOTTOM))
    # inner shadow under the top border
    img.fill(intersect(inset(track, 1.0), lambda x, y: y - 2.0), (0, 0, 0), 0.10)
    # the filled column: a bar inset by one pixel of track from the border
    col = Canvas(1, h, (0, 0, 0))
    for y in range(h):
        col.px[y] = list(img.px[y * w + 5])
    col.fill(lambda x, y: max(2.0 - y, y - 19.0), vgrad(2.0, 19.0, FILL_TOP, FILL_BOTTOM))
    col.fill(lambda x, y: max(2.0 - y, y - 3.0), (255, 255, 255), 0.30)
    for y in range(h):
        img.px[y * w + 4] = list(col.px[y])
    return img


# ---------------------------------------------------------------------------
# Side picture: 200 x 600, painted 1:1 at the top-left of the page
# ---------------------------------------------------------------------------

def card(img, cx, cy, angle, pip, red, scale=1.0, shadow=True):
    cw, ch, cr = 64.0 * scale, 90.0 * scale, 6.0 * scale
    shape = placed(rbox(-cw / 2, -ch / 2, cw / 2, ch / 2, cr), cx, cy, 1.0, angle)
    reach = math.hypot(cw, ch) / 2 + 8
    box = (cx - reach, cy - reach, cx + reach, cy + reach)
    if shadow:
        img.fill(placed(rbox(-cw / 2, -ch / 2, cw / 2, ch / 2, cr), cx + 2, cy + 4, 1.0, angle),
                 (0, 0, 0), 0.35, box=box, soft=6.0)
    img.fill(shape, (0xB9, 0xB3, 0xA3), box=box)
    img.fill(inset(shape, 0.8), vgrad(cy - ch / 2, cy + ch / 2, IVORY, (0xEE, 0xE8, 0xDA)), box=box)
    ink = RED if red else INK
    c, s = math.cos(math.radians(angle)), math.sin(math.radians(angle))

    def at(ux, uy):                      # card coordinates -> picture
        return cx + ux * c - uy * s, cy + ux * s + uy * c

    px_, py_ = at(0, 0)
    big = 34.0 * scale
    img.fill(suit(pip, px_, py_, big, angle), ink, box=suit_box(px_, py_, big))
    small = 11.0 * scale
    for ux, uy, turn in ((-cw / 2 + 10 * scale, -ch / 2 + 12 * scale, 0.0),
                         (cw / 2 - 10 * scale, ch / 2 - 12 * scale, 180.0)):
        qx, qy = at(ux, uy)
        img.fill(suit(pip, qx, qy, small, angle + turn), ink, box=suit_box(qx, qy, small))


def chip(img, cx, cy, r):
    box = (cx - r - 8, cy - r - 8, cx + r + 8, cy + r + 8)
    img.fill(circle(cx + 2, cy + 4, r), (0, 0, 0), 0.35, box=box, soft=6.0)
    img.fill(circle(cx, cy, r), (0x7E, 0x12, 0x1F), box=box)
    img.fill(circle(cx, cy, r - 1.2), vgrad(cy - r, cy + r, (0xD5, 0x33, 0x44), (0xA3, 0x1A, 0x2A)), box=box)
    for k in range(6):                   # edge inlays
        a = math.radians(k * 60 + 15)
        ex, ey = cx + math.cos(a) * (r - 4.5), cy + math.sin(a) * (r - 4.5)
        img.fill(placed(rbox(-3.2, -2.4, 3.2, 2.4, 0.8), ex, ey, 1.0, k * 60 + 15 + 90),
                 IVORY, box=(ex - 6, ey - 6, ex + 6, ey + 6))
    img.fill(ring(circle(cx, cy, r * 0.58), 1.4), GOLD_LIGHT, box=box)
    img.fill(circle(cx, cy, r * 0.58 - 0.7), vgrad(cy - r, cy + r, (0xCE, 0x2C, 0x3D), (0xA8, 0x1C, 0x2C)), box=box)
    img.fill(suit('diamond', cx, cy, r * 0.62), GOLD_LIGHT, box=box)


def background():
    w, h = 200, 600
    img = Canvas(w, h, FELT_BOTTOM)
    # felt: vertical gradient with a soft light from above
    for y in range(h):
        t = clamp01(y / 560.0)
        base = mix(FELT_TOP, FELT_BOTTOM, t * t * (3 - 2 * t))
        for x in range(w):
            d = math.hypot((x - 100) / 1.2, (y - 165) / 1.0)
            g = clamp01(1.0 - d / 190.0)
            g = g * g * 0.85
            p = img.px[y * w + x]
            col = mix(base, FELT_GLOW, g)
            p[0], p[1], p[2] = col
    # faint suit pattern in the lower part
    kinds = ('spade', 'heart', 'club', 'diamond')
    for row in range(8):
        for colm in range(5):
            cx = 20 + colm * 40 + (20 if row % 2 else 0)
            cy = 330 + row * 34
            if cx > 190:
                continue
            k = kinds[(row + colm) % 4]
            fade = 0.055 * clamp01((cy - 300) / 80.0)
            img.fill(suit(k, cx, cy, 13.0), (255, 255, 255), fade, box=suit_box(cx, cy, 13.0))
    # the fan of cards with a chip
    pivot_x, pivot_y = 100.0, 250.0
    for angle, pip, red in ((-20.0, 'heart', True), (20.0, 'diamond', True), (0.0, 'spade', False)):
        a = math.radians(angle)
        dist = 100.0
        cx = pivot_x + math.sin(a) * dist
        cy = pivot_y - math.cos(a) * dist
        card(img, cx, cy, angle, pip, red)
    chip(img, 144.0, 205.0, 21.0)
    # gold divider with the four suits
    y0 = 300.0
    img.fill(capsule(18, y0, 62, y0, 0.6), GOLD, 0.85, box=(10, y0 - 3, 70, y0 + 3))
    img.fill(capsule(138, y0, 182, y0, 0.6), GOLD, 0.85, box=(130, y0 - 3, 190, y0 + 3))
    for i, k in enumerate(('spade', 'heart', 'club', 'diamond')):
        cx = 77 + i * 15.3
        img.fill(suit(k, cx, y0, 10.0), GOLD, box=suit_box(cx, y0, 10.0))
    # gold rule along the right edge, where the page begins
    img.fill(lambda x, y: abs(x - 196.0) - 0.75, GOLD_DARK, box=(192, 0, 200, h))
    img.fill(lambda x, y: abs(x - 198.5) - 1.5, (0x04, 0x1A, 0x13), box=(194, 0, 200, h))
    return img


# ---------------------------------------------------------------------------
# Icon
# ---------------------------------------------------------------------------

def icon_image(n):
    img = Canvas(n, n, (0, 0, 0), 0.0)
    s = n / 256.0
    m = max(0.5, 8 * s) if n > 16 else 0.0
    rad = 44 * s if n > 16 else 3.5
    tile = rbox(m, m, n - m, n - m, rad)
    soft = 1.0
    if n >= 48:
        img.fill(rbox(m, m + 3 * s, n - m, n - m + 4 * s, rad), (0, 0, 0), 0.35, soft=max(1.0, 6 * s))
    img.fill(tile, vgrad(0, n, (0x26, 0x96, 0x6B), (0x0A, 0x45, 0x31)), soft=soft)
    if n >= 32:
        img.fill(ring(inset(tile, max(1.0, 7 * s)), max(1.0, 5 * s)), GOLD, 0.95)
    if n == 16:
        img.fill(suit('spade', 8.0, 8.3, 11.0), (255, 255, 255))
        return img
    # two fanned cards, the front one showing a spade
    for angle, px, pip, red in ((-14.0, 104.0, 'heart', True), (12.0, 150.0, None, False)):
        cw, ch, cr = 92 * s, 128 * s, 12 * s
        cx, cy = px * s, 132 * s
        shape = placed(rbox(-cw / 2, -ch / 2, cw / 2, ch / 2, cr), cx, cy, 1.0, angle)
        if n >= 48:
            img.fill(placed(rbox(-cw / 2, -ch / 2, cw / 2, ch / 2, cr), cx + 3 * s, cy + 6 * s, 1.0, angle),
                     (0, 0, 0), 0.35, soft=max(1.0, 8 * s))
        img.fill(shape, (0xB9, 0xB3, 0xA3))
        img.fill(inset(shape, max(0.6, 2.5 * s)), IVORY)
        c, sn = math.cos(math.radians(angle)), math.sin(math.radians(angle))
        if pip:
            # only the corner of the back card shows
            ux, uy = -cw / 2 + 18 * s, -ch / 2 + 22 * s
            qx, qy = cx + ux * c - uy * sn, cy + ux * sn + uy * c
            if n >= 48:
                img.fill(suit(pip, qx, qy, 24 * s, angle), RED)
        else:
            img.fill(suit('spade', cx, cy + 2 * s, 64 * s, angle), INK)
    return img


# ---------------------------------------------------------------------------
# Hand cursor, 32 x 32, drawn on the pixel grid
# ---------------------------------------------------------------------------

HAND = (
    ".......XX.............",
    "......XooX............",
    ".....XooooX...........",
    ".....XooooX...........",
    ".....XooooX...........",
    ".....XooooX...........",
    ".....XooooX...........",
    ".....XooooXXXX........",
    ".....XooooXoooXXXX....",
    ".....XooooXoooXoooXXX.",
    ".....XooooXoooXoooXooX",
    ".XX..XooooXoooXoooXooX",
    "XooX.XooooXoooXoooXooX",
    "XoooXXoooogooogooogooX",
    "XooooXoooooooogooogooX",
    "XoooogoooooooooooooooX",
    ".XoooooooooooooooooooX",
    "..XooooooooooooooooooX",
    "...XoooooooooooooooooX",
    "....XooooooooooooooooX",
    ".....XoooooooooooooooX",
    ".....XoooooooooooooooX",
    ".....XooooooooooooooX",
    "......XoooooooooooooX",
    "......XoooooooooooooX",
    "......XoooooooooooooX",
    "......XXXXXXXXXXXXXXX",
)
HAND_HOT = (7, 0)                      # the fingertip


def hand_cursor():
    """Returns (canvas, hot_x, hot_y): a 32 x 32 pointing hand, drawn
    pixel by pixel so that it stays crisp; X outline, o fill, g crease."""
    colours = {'X': (0x10, 0x10, 0x10), 'o': (0xFF, 0xFF, 0xFF), 'g': (0x8C, 0x8C, 0x8C)}
    img = Canvas(32, 32, (0, 0, 0), 0.0)
    for y, line in enumerate(HAND):
        for x, ch in enumerate(line):
            if ch in colours:
                img.px[y * 32 + x] = [float(c) for c in colours[ch]] + [1.0]
    return img, HAND_HOT[0], HAND_HOT[1]


# ---------------------------------------------------------------------------
# File writers
# ---------------------------------------------------------------------------

def bmp24(img):
    rows = img.rgb_rows()
    stride = (img.w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):              # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b'\0' * (stride - len(line))
        data += line
    info = struct.pack('<IiiHHIIiiII', 40, img.w, img.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 14 + 40)
    return head + info + bytes(data)


def bmp16_555(img):
    rows = img.rgb_rows()
    stride = (img.w * 2 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            v = ((r * 31 + 127) // 255) << 10 | ((g * 31 + 127) // 255) << 5 | ((b * 31 + 127) // 255)
            line += struct.pack('<H', v)
        line += b'\0' * (stride - len(line))
        data += line
    info = struct.pack('<IiiHHIIiiII', 40, img.w, img.h, 1, 16, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 14 + 40)
    return head + info + bytes(data)


def dib32_with_mask(img):
    """Icon/cursor image: BITMAPINFOHEADER (double height), BGRA rows, AND mask."""
    rows = img.rgba_rows()
    xor = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mstride = ((img.w + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mstride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    info = struct.pack('<IiiHHIIiiII', 40, img.w, img.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + bytes(xor) + bytes(mask)


def png(img):
    raw = bytearray()
    for row in img.rgba_rows():
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF)
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', img.w, img.h, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(bytes(raw), 9))
            + chunk(b'IEND', b''))


def ico(images):
    """images: list of (canvas, as_png)."""
    blobs = [png(i) if as_png else dib32_with_mask(i) for i, as_png in images]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (img, _), blob in zip(images, blobs):
        out += struct.pack('<BBBBHHII', img.w % 256, img.h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b''.join(blobs)


def cur(img, hot_x, hot_y):
    blob = dib32_with_mask(img)
    return (struct.pack('<HHH', 0, 2, 1)
            + struct.pack('<BBBBHHII', img.w, img.h, 0, 0, hot_x, hot_y, len(blob), 6 + 16)
            + blob)


def ppm(img):
    out = bytearray(b'P6\n%d %d\n255\n' % (img.w, img.h))
    for row in img.rgb_rows():
        for r, g, b in row:
            out += bytes((r, g, b))
    return bytes(out)


# ---------------------------------------------------------------------------

def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    files = {}

    # small push buttons: Browse and the message boxes (page colour behind)
    for ids, look in (((210, 211, 213, 218), SECONDARY), ((214, 215, 216, 219), PRIMARY)):
        for rid, state in zip(ids, ('normal', 'focused', 'pressed', 'disabled')):
            files['button-%d.bmp' % rid] = bmp24(button_face(51, 34, PAGE, look, state))
    # large buttons on the bottom bar: Cancel and Install
    for ids, look in (((221, 222, 223, 224), SECONDARY), ((225, 226, 227, 228), PRIMARY)):
        for rid, state in zip(ids, ('normal', 'focused', 'pressed', 'disabled')):
            files['bigbutton-%d.bmp' % rid] = bmp24(button_face(47, 46, BAR, look, state))
    files['progress-217.bmp'] = bmp16_555(progress_strip())
    files['installer-101.ico'] = ico([(icon_image(16), False), (icon_image(32), False),
                                      (icon_image(48), False), (icon_image(256), True)])
    hand, hx, hy = hand_cursor()
    files['hand-220.cur'] = cur(hand, hx, hy)
    files['background-103.ppm'] = ppm(background())

    for name in sorted(files):
        with open(os.path.join(out, name), 'wb') as f:
            f.write(files[name])


if __name__ == '__main__':
    main()
