#!/usr/bin/python3
"""Draws every picture Kestrova shows and writes them into assets/.

    /usr/bin/python3 tools/make_assets.py [--out DIR]

Outputs (formats are fixed: the windows and the tests rely on them):
  cockpit.jpg        320 x 214 baseline JPEG, the main window's cockpit view
  sprites.bmp        128 x 32 24-bit BMP: jet, jet mask, plain sky, sky tile
  frame0..7.bmp      64 x 64 24-bit BMPs of the paper aeroplane on the key
                     colour RGB(192,192,192), cut out by the flight window
  icon.png, icon.ico 32 x 32 application icon
  hicolor/NxN/apps/kestrova.png, hicolor/scalable/apps/kestrova.svg
                     the same icon for the desktop's menus, in the icon
                     theme's usual sizes and as a scalable picture

The output is deterministic: fixed random seeds, no fonts (digits and letters
come from a built-in stroke table), so running the script again reproduces
the committed files byte for byte.
"""

import argparse
import math
import os
import random
import struct

from PIL import Image, ImageChops, ImageDraw, ImageFilter

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_OUT = os.path.join(os.path.dirname(HERE), "assets")

# ---------------------------------------------------------------------------
# Shared helpers
# ---------------------------------------------------------------------------

# 3 x 5 glyphs for the numbers and letters printed on instruments and screens.
GLYPHS = {
    "0": ["111", "101", "101", "101", "111"],
    "1": ["010", "110", "010", "010", "111"],
    "2": ["111", "001", "111", "100", "111"],
    "3": ["111", "001", "011", "001", "111"],
    "4": ["101", "101", "111", "001", "001"],
    "5": ["111", "100", "111", "001", "111"],
    "6": ["111", "100", "111", "101", "111"],
    "7": ["111", "001", "010", "010", "010"],
    "8": ["111", "101", "111", "101", "111"],
    "9": ["111", "101", "111", "001", "111"],
    "N": ["101", "111", "111", "111", "101"],
    "E": ["111", "100", "110", "100", "111"],
    "S": ["111", "100", "111", "001", "111"],
    "W": ["101", "101", "111", "111", "101"],
    "A": ["010", "101", "111", "101", "101"],
    "L": ["100", "100", "100", "100", "111"],
    "T": ["111", "010", "010", "010", "010"],
    "R": ["110", "101", "110", "101", "101"],
    "P": ["110", "101", "110", "100", "100"],
    "M": ["101", "111", "111", "101", "101"],
    "O": ["111", "101", "101", "101", "111"],
    "F": ["111", "100", "110", "100", "100"],
    "U": ["101", "101", "101", "101", "111"],
    "C": ["111", "100", "100", "100", "111"],
    "H": ["101", "101", "111", "101", "101"],
    "G": ["111", "100", "101", "101", "111"],
    "V": ["101", "101", "101", "101", "010"],
    "I": ["111", "010", "010", "010", "111"],
    "K": ["101", "110", "100", "110", "101"],
    "D": ["110", "101", "101", "101", "110"],
    "B": ["110", "101", "110", "101", "110"],
    "Y": ["101", "101", "010", "010", "010"],
    ".": ["000", "000", "000", "000", "010"],
    "-": ["000", "000", "111", "000", "000"],
    " ": ["000", "000", "000", "000", "000"],
}


def text_size(text, cell):
    return (len(text) * 4 - 1) * cell, 5 * cell


def draw_text(draw, x, y, text, cell, fill, cell_y=None):
    """Draws text with its top-left corner at (x, y); one glyph dot is
    cell wide and cell_y (default cell) high."""
    cy = cell if cell_y is None else cell_y
    for i, ch in enumerate(text):
        rows = GLYPHS[ch]
        for r, bits in enumerate(rows):
            for c, bit in enumerate(bits):
                if bit == "1":
                    x0 = x + (i * 4 + c) * cell
                    y0 = y + r * cy
                    draw.rectangle([x0, y0, x0 + cell - 1, y0 + cy - 1], fill=fill)


def draw_text_centred(draw, cx, cy, text, cell, fill, cell_y=None):
    w = (len(text) * 4 - 1) * cell
    h = 5 * (cell if cell_y is None else cell_y)
    draw_text(draw, round(cx - w / 2), round(cy - h / 2), text, cell, fill, cell_y)


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    return tuple(int(round(lerp(a, b, t))) for a, b in zip(c1, c2))


def bmp24(img):
    """A 24-bit uncompressed bottom-up BMP with a 40-byte info header."""
    img = img.convert("RGB")
    w, h = img.size
    stride = (w * 3 + 3) & ~3
    rows = []
    px = img.load()
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = px[x, y]
            row += bytes((b, g, r))
        row += b"\0" * (stride - w * 3)
        rows.append(bytes(row))
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    return head + info + data


def ico32(img):
    """A one-image ICO holding a classic 32-bit BMP entry (BGRA plus AND
    mask), which every Windows resource compiler accepts."""
    img = img.convert("RGBA")
    w, h = img.size
    px = img.load()
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = px[x, y]
            xor += bytes((b, g, r, a))
    mask_stride = ((w + 31) // 32) * 4
    andm = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(w):
            if px[x, y][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        andm += row
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(andm), 0, 0, 0, 0)
    body = info + bytes(xor) + bytes(andm)
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(body), 6 + 16)
    return head + entry + body


# ---------------------------------------------------------------------------
# Cockpit
# ---------------------------------------------------------------------------

CW, CH = 320, 214          # size of the picture file
SS = 4                     # drawn at this multiple, then reduced
# The main window stretches the picture to 225 x 129, which squeezes it more
# vertically than horizontally; round things are drawn this much taller so
# that they look round on screen.
KY = (225 / 320) / (129 / 214)
BANK = math.radians(-3.0)  # the aeroplane banks gently; horizon and attitude agree
HORIZON_Y = 76.0           # horizon height at the picture's centre line


def S(v):
    return v * SS


def W(v):
    """A line width in picture units, as whole pixels of the large drawing."""
    return max(1, round(v * SS))


class Cockpit:
    def __init__(self):
        self.w, self.h = S(CW), S(CH)
        self.img = Image.new("RGB", (self.w, self.h), (0, 0, 0))
        self.rng = random.Random(1947)

    # -- helpers in picture coordinates (scaled on the way) --
    def ell(self, cx, cy, rx, ry):
        return [S(cx - rx), S(cy - ry), S(cx + rx), S(cy + ry)]

    def polar(self, cx, cy, r, deg):
        """Point at radius r (horizontal units) and angle deg (0 = up,
        clockwise) around a gauge centre, corrected for the vertical squeeze."""
        a = math.radians(deg)
        return (S(cx + r * math.sin(a)), S(cy - r * math.cos(a) * KY))

    def overlay(self, layer):
        self.img.paste(layer, (0, 0), layer)

    def layer(self):
        lay = Image.new("RGBA", (self.w, self.h), (0, 0, 0, 0))
        return lay, ImageDraw.Draw(lay)

    # -- outside: sky, clouds, land --
    def horizon_y(self, x):
        return HORIZON_Y + (x - CW / 2) * math.tan(BANK)

    def sky(self):
        px = Image.new("RGB", (1, self.h))
        top, mid, low = (28, 78, 160), (74, 136, 212), (178, 208, 234)
        for y in range(self.h):
            t = y / S(HORIZON_Y)
            if t < 0.55:
                c = mix(top, mid, t / 0.55)
            else:
                c = mix(mid, low, min(1.0, (t - 0.55) / 0.45) ** 1.6)
            px.putpixel((0, y), c)
        self.img.paste(px.resize((self.w, self.h)), (0, 0))

        # The ground below the horizon: hazy blue-green far away, greener and
        # darker towards the aeroplane, with field patches.
        ground = Image.new("RGB", (self.w, self.h))
        gd = ImageDraw.Draw(ground)
        for y in range(S(60), self.h):
            t = max(0.0, (y - S(HORIZON_Y)) / S(26))
            gd.line([(0, y), (self.w, y)], fill=mix((150, 172, 178), (60, 96, 62), min(1.0, t) ** 0.7))
        for _ in range(70):
            fx = self.rng.uniform(-20, CW + 20)
            fy = self.rng.uniform(HORIZON_Y + 2, HORIZON_Y + 30)
            depth = (fy - HORIZON_Y) / 30
            fw = self.rng.uniform(6, 22) * (0.4 + depth)
            fh = self.rng.uniform(0.6, 1.8) * (0.4 + depth)
            shade = self.rng.choice([(84, 118, 70), (112, 128, 78), (70, 100, 66), (128, 122, 88)])
            shade = mix(shade, (150, 172, 178), max(0.0, 0.7 - depth))
            gd.rectangle([S(fx), S(fy), S(fx + fw), S(fy + fh)], fill=shade)
        ground = ground.filter(ImageFilter.GaussianBlur(S(0.35)))
        mask = Image.new("L", (self.w, self.h), 0)
        md = ImageDraw.Draw(mask)
        md.polygon([(S(-10), S(self.horizon_y(-10))), (S(CW + 10), S(self.horizon_y(CW + 10))),
                    (S(CW + 10), self.h), (S(-10), self.h)], fill=255)
        self.img.paste(ground, (0, 0), mask)

        # Haze along the horizon line.
        lay, d = self.layer()
        for i in range(12):
            a = int(70 * (1 - i / 12))
            d.line([(0, S(self.horizon_y(0)) + (i - 6) * 2), (self.w, S(self.horizon_y(CW)) + (i - 6) * 2)],
                   fill=(225, 235, 242, a), width=3)
        self.overlay(lay.filter(ImageFilter.GaussianBlur(S(1.5))))

    def cloud(self, cx, cy, size, seed, flat=1.0):
        """A cumulus: round puffs heaped on a level base, lit from above,
        grey-blue underneath. size is about half its width."""
        rng = random.Random(seed)
        puffs = []
        n = int(8 + size * 0.8)
        for i in range(n):
            t = (i + rng.uniform(-0.3, 0.3)) / (n - 1) * 2 - 1  # -1 .. 1 across
            px = cx + t * size
            # Taller in the middle, lower at the ends.
            height = (1 - t * t) * size * 0.55 * flat
            pr = size * rng.uniform(0.22, 0.34) * (1.2 - 0.5 * abs(t))
            py = cy - height * rng.uniform(0.45, 1.0)
            puffs.append((px, py, pr))
        base = cy + size * 0.12
        top = min(py - pr * KY for px, py, pr in puffs)
        # Outline of the whole cloud, cut flat at its base.
        mask = Image.new("L", (self.w, self.h), 0)
        md = ImageDraw.Draw(mask)
        lit = Image.new("L", (self.w, self.h), 0)
        ld = ImageDraw.Draw(lit)
        for px, py, pr in puffs:
            md.ellipse([S(px - pr), S(py - pr * KY), S(px + pr), S(min(base, py + pr * KY))], fill=255)
            # The sunlit cap of each puff, up and to the left.
            q = pr * 0.78
            ld.ellipse([S(px - pr * 0.3 - q), S(py - pr * 0.3 * KY - q * KY), S(px - pr * 0.3 + q),
                        S(py - pr * 0.3 * KY + q * KY)], fill=255)
        mask = mask.filter(ImageFilter.GaussianBlur(S(size * 0.035)))
        lit = ImageChops.multiply(lit.filter(ImageFilter.GaussianBlur(S(size * 0.09))), mask)
        # Shaded body: light grey-blue at the top turning darker at the base.
        grad = Image.new("RGB", (1, self.h))
        for y in range(self.h):
            t = min(1.0, max(0.0, (y / SS - top) / max(1.0, base - top)))
            grad.putpixel((0, y), mix((226, 232, 244), (150, 164, 192), t ** 1.3))
        self.img.paste(grad.resize((self.w, self.h)), (0, 0), mask)
        self.img.paste(Image.new("RGB", (self.w, self.h), (255, 255, 255)), (0, 0), lit)

    def hills(self):
        """A low, hazy ridge along the horizon on the left half."""
        rng = random.Random(5)
        lay, d = self.layer()
        pts = []
        x = -10.0
        h = 0.0
        while x < CW + 10:
            env = max(0.0, math.sin(math.pi * (x + 10) / 210)) if x < 200 else 0.0
            h = max(0.0, min(6.0, h + rng.uniform(-0.9, 0.9)))
            pts.append((S(x), S(self.horizon_y(x) - 0.3 - h * env)))
            x += 2.5
        d.polygon(pts + [(S(CW + 10), S(self.horizon_y(CW + 10) + 2)), (S(-10), S(self.horizon_y(-10) + 2))],
                  fill=(120, 146, 166, 255))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(S(0.35))))

    def clouds(self):
        # Kept to the left and middle and low on the right: the top right
        # carries the cyan caption.
        self.cloud(44, 48, 18, 11)
        self.cloud(120, 62, 10, 12)
        self.cloud(86, 70, 6, 16, 0.7)
        self.cloud(208, 70, 7, 13, 0.6)
        self.cloud(272, 72, 5, 14, 0.5)
        self.cloud(8, 66, 6, 15, 0.8)
        # Thin high streaks on the upper left.
        lay, d = self.layer()
        d.ellipse([S(70), S(12), S(150), S(16)], fill=(255, 255, 255, 80))
        d.ellipse([S(96), S(19), S(146), S(22)], fill=(255, 255, 255, 55))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(S(1.6))))

    def sun(self):
        """Sunlight from the upper left: a soft glow in the corner and faint
        streaks reflected on the windscreen."""
        lay, d = self.layer()
        d.ellipse([S(-60), S(-60), S(50), S(40)], fill=(255, 250, 230, 90))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(S(14))))
        lay, d = self.layer()
        d.polygon([(S(60), S(0)), (S(78), S(0)), (S(30), S(90)), (S(18), S(90))], fill=(255, 255, 255, 22))
        d.polygon([(S(86), S(0)), (S(91), S(0)), (S(46), S(90)), (S(42), S(90))], fill=(255, 255, 255, 16))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(S(2.5))))

    # -- windscreen frame, glare shield, panel --
    def frame(self):
        dark, edge = (30, 32, 36), (78, 82, 90)
        lay, d = self.layer()
        # Side window posts, leaving the picture before the caption area.
        left = [(S(-2), S(52)), (S(-2), S(30)), (S(40), S(100)), (S(22), S(100))]
        right = [(S(CW + 2), S(52)), (S(CW + 2), S(30)), (S(CW - 40), S(100)), (S(CW - 22), S(100))]
        centre = [(S(157.5), S(-2)), (S(162.5), S(-2)), (S(164.5), S(100)), (S(155.5), S(100))]
        # Side windows beyond the posts are tinted a little darker.
        tint = Image.new("L", (self.w, self.h), 0)
        td = ImageDraw.Draw(tint)
        td.polygon([(0, S(30)), (S(40), S(100)), (0, S(100))], fill=70)
        td.polygon([(self.w, S(30)), (S(CW - 40), S(100)), (self.w, S(100))], fill=70)
        self.img.paste(Image.new("RGB", (self.w, self.h), (10, 30, 60)), (0, 0), tint.filter(ImageFilter.GaussianBlur(S(0.5))))
        for poly in (left, right, centre):
            d.polygon(poly, fill=dark + (255,))
        d.line([left[1], left[2]], fill=edge + (255,), width=W(0.6))
        d.line([right[1], right[2]], fill=edge + (255,), width=W(0.6))
        d.line([centre[1], centre[2]], fill=edge + (255,), width=W(0.5))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(1.2)))

        # Magnetic compass on top of the centre post.
        lay, d = self.layer()
        d.rounded_rectangle([S(151), S(76), S(169), S(91)], radius=S(2.5), fill=(26, 27, 30, 255))
        d.rectangle([S(154), S(79.5), S(166), S(87)], fill=(14, 14, 16, 255))
        d.rectangle([S(154), S(80), S(166), S(86.5)], fill=(214, 206, 180, 255))
        for i, tx in enumerate(range(154, 167, 2)):
            d.line([(S(tx), S(80)), (S(tx), S(81.5 + (i % 2)))], fill=(30, 30, 30, 255), width=W(0.3))
        draw_text_centred(d, S(160), S(84.2), "33", 2, (30, 30, 30, 255), 3)
        d.line([(S(160), S(79.5)), (S(160), S(87))], fill=(220, 60, 40, 255), width=W(0.35))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.8)))

    def glareshield(self):
        # Soft shadow cast by the shield onto the panel.
        lay, d = self.layer()
        d.rectangle([0, S(100), self.w, S(112)], fill=(0, 0, 0, 150))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(S(3))))
        lay, d = self.layer()
        pts_top, pts_bot = [], []
        for i in range(0, 65):
            x = CW * i / 64
            u = (x - CW / 2) / (CW / 2)
            pts_top.append((S(x), S(90 + 5 * u * u)))
            pts_bot.append((S(x), S(103 + 3 * u * u)))
        d.polygon(pts_top + pts_bot[::-1], fill=(20, 21, 24, 255))
        d.line(pts_top, fill=(74, 78, 86, 255), width=W(0.7))
        d.line(pts_bot, fill=(44, 46, 52, 255), width=W(0.5))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(1.0)))
        # Reflection of the sky on the shield's upper face.
        lay, d = self.layer()
        d.ellipse([S(40), S(88), S(280), S(97)], fill=(120, 150, 190, 40))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(S(2))))

    def panel(self):
        base = Image.new("RGB", (self.w, self.h))
        bd = ImageDraw.Draw(base)
        for y in range(S(96), self.h):
            t = (y - S(96)) / (self.h - S(96))
            bd.line([(0, y), (self.w, y)], fill=mix((62, 66, 72), (34, 36, 40), t))
        # Fine grain, like a painted metal panel.
        noise = Image.effect_noise((self.w // 2, self.h // 2), 7).resize((self.w, self.h))
        base = ImageChops.add(base, Image.merge("RGB", [noise] * 3), scale=1.0, offset=-128)
        mask = Image.new("L", (self.w, self.h), 0)
        ImageDraw.Draw(mask).rectangle([0, S(96), self.w, self.h], fill=255)
        self.img.paste(base, (0, 0), mask)

        lay, d = self.layer()
        # Centre stack, set back and darker.
        d.rounded_rectangle([S(172), S(104), S(250), S(CH + 4)], radius=S(2), fill=(26, 27, 30, 255))
        d.rounded_rectangle([S(172), S(104), S(250), S(CH + 4)], radius=S(2), outline=(86, 90, 98, 255),
                            width=W(0.5))
        # Seams between panel sections.
        d.line([(S(254), S(104)), (S(254), S(CH))], fill=(22, 23, 26, 255), width=W(0.6))
        d.line([(S(255), S(104)), (S(255), S(CH))], fill=(86, 90, 98, 255), width=W(0.3))
        for sx, sy in [(6, 108), (6, 206), (166, 108), (166, 206), (260, 108), (314, 108), (260, 206), (314, 206)]:
            self.screw(d, sx, sy)
        self.overlay(lay.filter(ImageFilter.GaussianBlur(1.0)))

    def screw(self, d, x, y):
        d.ellipse(self.ell(x, y, 1.6, 1.6 * KY), fill=(100, 104, 110, 255))
        d.ellipse(self.ell(x - 0.3, y - 0.3, 1.1, 1.1 * KY), fill=(150, 154, 160, 255))
        d.line([(S(x - 1.1), S(y + 0.6)), (S(x + 1.1), S(y - 0.6))], fill=(50, 52, 56, 255), width=W(0.35))

    # -- gauges --
    def bezel(self, d, cx, cy, r):
        d.ellipse(self.ell(cx, cy, r + 2.6, (r + 2.6) * KY), fill=(14, 14, 16, 255))
        d.ellipse(self.ell(cx, cy, r + 2.0, (r + 2.0) * KY), fill=(74, 77, 84, 255))
        d.ellipse(self.ell(cx - 0.4, cy - 0.4, r + 1.3, (r + 1.3) * KY), fill=(118, 122, 130, 255))
        d.ellipse(self.ell(cx, cy, r + 1.0, (r + 1.0) * KY), fill=(40, 42, 46, 255))
        d.ellipse(self.ell(cx, cy, r, r * KY), fill=(10, 10, 12, 255))

    def ticks(self, d, cx, cy, r, a0, a1, n, long_every=1, length=0.16, width=0.45,
              colour=(236, 236, 236, 255)):
        for i in range(n + 1):
            a = lerp(a0, a1, i / n)
            big = i % long_every == 0
            inner = r * (1 - (length if big else length * 0.55))
            d.line([self.polar(cx, cy, inner, a), self.polar(cx, cy, r * 0.97, a)], fill=colour,
                   width=W(width if big else width * 0.65))

    def arc(self, d, cx, cy, r, a0, a1, colour, width):
        # PIL measures arcs from 3 o'clock; ours are from 12 o'clock.
        box = self.ell(cx, cy, r, r * KY)
        d.arc(box, a0 - 90, a1 - 90, fill=colour, width=W(width))

    def labels(self, d, cx, cy, r, a0, a1, texts, cell=2):
        n = len(texts) - 1
        for i, t in enumerate(texts):
            a = lerp(a0, a1, i / n) if n else a0
            x, y = self.polar(cx, cy, r, a)
            draw_text_centred(d, x, y, t, cell, (240, 240, 240, 255), round(cell * KY))

    def needle(self, d, cx, cy, r, deg, width=1.2, colour=(245, 245, 245, 255), tail=0.22):
        tip = self.polar(cx, cy, r, deg)
        back = self.polar(cx, cy, -r * tail, deg)
        side1 = self.polar(cx, cy, width, deg + 90)
        side2 = self.polar(cx, cy, width, deg - 90)
        d.polygon([tip, side1, back, side2], fill=colour)

    def cap(self, d, cx, cy, r=1.6):
        d.ellipse(self.ell(cx, cy, r, r * KY), fill=(36, 36, 40, 255))
        d.ellipse(self.ell(cx - 0.3, cy - 0.3, r * 0.5, r * 0.5 * KY), fill=(120, 120, 126, 255))

    def glass(self, cx, cy, r):
        """Reflection on the gauge glass: a soft crescent on the upper left."""
        lay, d = self.layer()
        d.ellipse(self.ell(cx - r * 0.25, cy - r * 0.35, r * 0.8, r * 0.55 * KY), fill=(255, 255, 255, 46))
        d.ellipse(self.ell(cx - r * 0.1, cy - r * 0.1, r * 0.85, r * 0.7 * KY), fill=(0, 0, 0, 0))
        lay = lay.filter(ImageFilter.GaussianBlur(S(0.8)))
        clip = Image.new("L", (self.w, self.h), 0)
        ImageDraw.Draw(clip).ellipse(self.ell(cx, cy, r, r * KY), fill=255)
        lay.putalpha(ImageChops.multiply(lay.getchannel("A"), clip))
        self.overlay(lay)

    def gauge_airspeed(self, cx, cy, r):
        lay, d = self.layer()
        self.bezel(d, cx, cy, r)
        a0, a1 = -150, 150  # 40 .. 200 knots
        kt = lambda v: lerp(a0, a1, (v - 40) / 160)
        self.arc(d, cx, cy, r * 0.88, kt(48), kt(85), (236, 236, 236, 255), 1.0)
        self.arc(d, cx, cy, r * 0.94, kt(55), kt(128), (40, 190, 70, 255), 1.4)
        self.arc(d, cx, cy, r * 0.94, kt(128), kt(163), (235, 200, 40, 255), 1.4)
        self.ticks(d, cx, cy, r, kt(163), kt(165), 1, colour=(230, 40, 40, 255), width=0.7)
        self.ticks(d, cx, cy, r, a0, a1, 32, 4)
        self.labels(d, cx, cy, r * 0.62, kt(40), kt(200), ["40", "60", "80", "100", "120", "140", "160", "180", "200"][::2])
        draw_text_centred(d, S(cx), S(cy + r * 0.3 * KY), "KT", 2, (200, 200, 200, 255), 2)
        self.needle(d, cx, cy, r * 0.86, kt(112), 1.2)
        self.cap(d, cx, cy)
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))
        self.glass(cx, cy, r)

    def gauge_attitude(self, cx, cy, r):
        lay, d = self.layer()
        self.bezel(d, cx, cy, r)
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))
        # The moving ball: sky over earth, rolled with the bank, pitched a
        # little nose up.
        ball, bd = self.layer()
        c, s = math.cos(-BANK), math.sin(-BANK)

        def rot(px, py):
            return (S(cx + px * c - py * s), S(cy + (px * s + py * c) * KY))

        pitch = 2.5
        big = r * 3
        bd.polygon([rot(-big, pitch - big), rot(big, pitch - big), rot(big, pitch), rot(-big, pitch)],
                   fill=(46, 124, 214, 255))
        bd.polygon([rot(-big, pitch), rot(big, pitch), rot(big, pitch + big), rot(-big, pitch + big)],
                   fill=(150, 92, 44, 255))
        bd.line([rot(-big, pitch), rot(big, pitch)], fill=(250, 250, 250, 255), width=W(0.6))
        for k, w in [(-1, 5), (-2, 8), (1, 5), (2, 8)]:
            y = pitch + k * 4.2
            bd.line([rot(-w / 2, y), rot(w / 2, y)], fill=(245, 245, 245, 255), width=W(0.4))
        clip = Image.new("L", (self.w, self.h), 0)
        ImageDraw.Draw(clip).ellipse(self.ell(cx, cy, r * 0.99, r * 0.99 * KY), fill=255)
        ball.putalpha(ImageChops.multiply(ball.getchannel("A"), clip))
        self.overlay(ball.filter(ImageFilter.GaussianBlur(0.8)))

        lay, d = self.layer()
        # Bank scale and its pointer, fixed to the case.
        self.arc(d, cx, cy, r * 0.86, -60, 60, (240, 240, 240, 200), 0.4)
        for a in (-60, -30, -20, -10, 10, 20, 30, 60):
            big_tick = a in (-60, -30, 30, 60)
            d.line([self.polar(cx, cy, r * (0.72 if big_tick else 0.78), a), self.polar(cx, cy, r * 0.86, a)],
                   fill=(245, 245, 245, 255), width=W(0.45))
        tip = self.polar(cx, cy, r * 0.86, 0)
        d.polygon([tip, self.polar(cx, cy, r * 0.98, -4), self.polar(cx, cy, r * 0.98, 4)], fill=(245, 245, 245, 255))
        # Roll pointer on the ball, following the horizon.
        bank_deg = math.degrees(BANK)
        p = self.polar(cx, cy, r * 0.84, bank_deg)
        d.polygon([p, self.polar(cx, cy, r * 0.72, bank_deg - 5), self.polar(cx, cy, r * 0.72, bank_deg + 5)],
                  fill=(255, 140, 20, 255))
        # The aircraft symbol, orange.
        orange = (255, 140, 20, 255)
        d.line([(S(cx - r * 0.62), S(cy)), (S(cx - r * 0.22), S(cy))], fill=orange, width=W(1.0))
        d.line([(S(cx - r * 0.22), S(cy)), (S(cx - r * 0.1), S(cy + 2.2))], fill=orange, width=W(1.0))
        d.line([(S(cx + r * 0.62), S(cy)), (S(cx + r * 0.22), S(cy))], fill=orange, width=W(1.0))
        d.line([(S(cx + r * 0.22), S(cy)), (S(cx + r * 0.1), S(cy + 2.2))], fill=orange, width=W(1.0))
        d.ellipse(self.ell(cx, cy, 0.9, 0.9 * KY), fill=orange)
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))
        self.glass(cx, cy, r)

    def gauge_altimeter(self, cx, cy, r):
        lay, d = self.layer()
        self.bezel(d, cx, cy, r)
        self.ticks(d, cx, cy, r, 0, 360, 50, 5)
        self.labels(d, cx, cy, r * 0.66, 0, 324, [str(i) for i in range(10)])
        # Pressure window on the right.
        d.rectangle([S(cx + r * 0.38), S(cy - 1.6 * KY), S(cx + r * 0.7), S(cy + 1.6 * KY)], fill=(30, 30, 32, 255),
                    outline=(120, 120, 120, 255), width=2)
        draw_text_centred(d, S(cx + r * 0.54), S(cy), "29", 1, (240, 240, 240, 255), 2)
        draw_text_centred(d, S(cx), S(cy - r * 0.33 * KY), "ALT", 2, (200, 200, 200, 255), 2)
        feet = 4520
        self.needle(d, cx, cy, r * 0.55, (feet / 10000) * 360, 1.5)
        self.needle(d, cx, cy, r * 0.88, ((feet % 1000) / 1000) * 360, 0.8)
        self.needle(d, cx, cy, r * 0.95, (feet / 100000) * 360, 0.35, tail=0.0)
        self.cap(d, cx, cy)
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))
        self.glass(cx, cy, r)

    def gauge_turn(self, cx, cy, r):
        lay, d = self.layer()
        self.bezel(d, cx, cy, r)
        for a in (-90, -70, 70, 90):
            d.line([self.polar(cx, cy, r * 0.7, a), self.polar(cx, cy, r * 0.95, a)], fill=(240, 240, 240, 255),
                   width=W(0.8))
        draw_text_centred(d, S(cx - r * 0.62), S(cy + r * 0.34 * KY), "L", 2, (240, 240, 240, 255), 3)
        draw_text_centred(d, S(cx + r * 0.62), S(cy + r * 0.34 * KY), "R", 2, (240, 240, 240, 255), 3)
        # Miniature aeroplane, banked to match the turn.
        ang = math.radians(-8)
        ca, sa = math.cos(ang), math.sin(ang)

        def rp(px, py):
            return (S(cx + px * ca - py * sa), S(cy + (px * sa + py * ca) * KY))

        w = r * 0.72
        d.polygon([rp(-w, -0.4), rp(w, -0.4), rp(w, 0.6), rp(-w, 0.6)], fill=(245, 245, 245, 255))
        d.ellipse([rp(-1.8, -1.8)[0], rp(0, -1.8)[1], rp(1.8, 1.8)[0], rp(0, 1.8)[1]], fill=(245, 245, 245, 255))
        d.polygon([rp(-0.5, -1.5), rp(0.5, -1.5), rp(0.5, -4.5), rp(-0.5, -4.5)], fill=(245, 245, 245, 255))
        # Inclinometer tube with its ball.
        ty = cy + r * 0.55 * KY
        d.rounded_rectangle([S(cx - r * 0.45), S(ty - 1.8 * KY), S(cx + r * 0.45), S(ty + 1.8 * KY)],
                            radius=S(1.6), fill=(210, 214, 200, 255))
        d.line([(S(cx - 2.2), S(ty - 1.8 * KY)), (S(cx - 2.2), S(ty + 1.8 * KY))], fill=(20, 20, 20, 255), width=3)
        d.line([(S(cx + 2.2), S(ty - 1.8 * KY)), (S(cx + 2.2), S(ty + 1.8 * KY))], fill=(20, 20, 20, 255), width=3)
        d.ellipse(self.ell(cx - 0.4, ty, 1.5, 1.5 * KY), fill=(16, 16, 18, 255))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))
        self.glass(cx, cy, r)

    def gauge_heading(self, cx, cy, r):
        lay, d = self.layer()
        self.bezel(d, cx, cy, r)
        heading = 332
        for i in range(72):
            deg = i * 5
            a = deg - heading
            long_tick = deg % 10 == 0
            d.line([self.polar(cx, cy, r * (0.82 if long_tick else 0.88), a), self.polar(cx, cy, r * 0.97, a)],
                   fill=(236, 236, 236, 255), width=W(0.4))
        names = {0: "N", 90: "E", 180: "S", 270: "W"}
        for deg in range(0, 360, 30):
            t = names.get(deg, str(deg // 10))
            x, y = self.polar(cx, cy, r * 0.64, deg - heading)
            draw_text_centred(d, x, y, t, 2, (240, 240, 240, 255), 3)
        # Heading bug and lubber line.
        bug = 340 - heading
        d.polygon([self.polar(cx, cy, r * 0.98, bug - 5), self.polar(cx, cy, r * 0.98, bug + 5),
                   self.polar(cx, cy, r * 0.88, bug)], fill=(255, 140, 20, 255))
        d.polygon([self.polar(cx, cy, r * 1.0, -5), self.polar(cx, cy, r * 1.0, 5), self.polar(cx, cy, r * 0.86, 0)],
                  fill=(255, 140, 20, 255))
        # Fixed aeroplane in the middle.
        white = (250, 250, 250, 255)
        d.line([(S(cx), S(cy - 5 * KY)), (S(cx), S(cy + 5 * KY))], fill=white, width=W(0.9))
        d.line([(S(cx - 4.2), S(cy - 0.6)), (S(cx + 4.2), S(cy - 0.6))], fill=white, width=W(0.9))
        d.line([(S(cx - 1.8), S(cy + 4.2 * KY)), (S(cx + 1.8), S(cy + 4.2 * KY))], fill=white, width=W(0.7))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))
        self.glass(cx, cy, r)

    def gauge_vsi(self, cx, cy, r):
        lay, d = self.layer()
        self.bezel(d, cx, cy, r)
        # Zero at nine o'clock, climb above, descent below.
        self.ticks(d, cx, cy, r, -90, 80, 20, 5)
        self.ticks(d, cx, cy, r, -90, -260, 20, 5)
        self.labels(d, cx, cy, r * 0.64, -90, 80, ["0", "5", "10", "15", "20"])
        self.labels(d, cx, cy, r * 0.64, -90 - 42.5, -260, ["5", "10", "15", "20"])
        draw_text_centred(d, S(cx + r * 0.2), S(cy - r * 0.18 * KY), "UP", 2, (200, 200, 200, 255), 2)
        draw_text_centred(d, S(cx + r * 0.2), S(cy + r * 0.22 * KY), "DN", 2, (200, 200, 200, 255), 2)
        self.needle(d, cx, cy, r * 0.86, -90 + 6, 1.2)
        self.cap(d, cx, cy)
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))
        self.glass(cx, cy, r)

    def gauge_small(self, cx, cy, r, label, value, red_at=None):
        lay, d = self.layer()
        self.bezel(d, cx, cy, r)
        a0, a1 = -120, 120
        self.arc(d, cx, cy, r * 0.86, lerp(a0, a1, 0.35), lerp(a0, a1, 0.8), (40, 190, 70, 255), 1.3)
        if red_at is not None:
            self.arc(d, cx, cy, r * 0.86, lerp(a0, a1, red_at), a1, (225, 40, 40, 255), 1.3)
        self.ticks(d, cx, cy, r, a0, a1, 8, 2, length=0.22)
        draw_text_centred(d, S(cx), S(cy + r * 0.5 * KY), label, 1, (210, 210, 210, 255), 2)
        self.needle(d, cx, cy, r * 0.84, lerp(a0, a1, value), 0.7)
        self.cap(d, cx, cy, 1.2)
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))
        self.glass(cx, cy, r)

    # -- centre stack --
    def screen_glow(self, draw_fn):
        """Draws lit screen content twice: once sharp and once blurred, so it
        glows a little like a real display."""
        lay, d = self.layer()
        draw_fn(d)
        glow = lay.filter(ImageFilter.GaussianBlur(S(1.0)))
        self.overlay(glow)
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.7)))

    def map_screen(self):
        x0, y0, x1, y1 = 177, 108, 245, 152
        lay, d = self.layer()
        d.rounded_rectangle([S(x0 - 2), S(y0 - 2), S(x1 + 2), S(y1 + 2)], radius=S(2), fill=(16, 17, 19, 255))
        for i, tx in enumerate(range(x0 + 4, x1 - 2, 12)):
            d.rounded_rectangle([S(tx), S(y1 + 2.6), S(tx + 7), S(y1 + 4.4)], radius=S(0.6), fill=(58, 60, 66, 255))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))
        # Moving map: terrain, water, route and own ship.
        scr = Image.new("RGB", (S(x1 - x0), S(y1 - y0)), (28, 58, 36))
        sd = ImageDraw.Draw(scr)
        rng = random.Random(7)
        for _ in range(26):
            px, py = rng.uniform(0, x1 - x0), rng.uniform(0, y1 - y0)
            pr = rng.uniform(3, 9)
            sd.ellipse([S(px - pr), S(py - pr * 0.7), S(px + pr), S(py + pr * 0.7)],
                       fill=rng.choice([(46, 84, 44), (70, 96, 50), (96, 100, 56), (38, 70, 42)]))
        sd.polygon([(0, S(30)), (S(14), S(26)), (S(24), S(34)), (S(20), S(44)), (0, S(44))], fill=(24, 60, 120))
        sd.line([(S(4), S(40)), (S(30), S(24)), (S(60), S(6))], fill=(230, 40, 220), width=W(0.9))
        for wx, wy in [(4, 40), (30, 24), (60, 6)]:
            sd.ellipse([S(wx - 1.3), S(wy - 1.3), S(wx + 1.3), S(wy + 1.3)], outline=(240, 240, 240), width=2)
        own = (S(34), S(30))
        sd.polygon([(own[0], own[1] - S(3)), (own[0] - S(2), own[1] + S(2)), (own[0], own[1] + S(1)),
                    (own[0] + S(2), own[1] + S(2))], fill=(250, 250, 250))
        sd.arc([own[0] - S(14), own[1] - S(14), own[0] + S(14), own[1] + S(14)], 200, 340, fill=(200, 200, 210), width=2)
        sd.rectangle([0, 0, S(x1 - x0), S(5)], fill=(10, 12, 20))
        draw_text(sd, S(2), S(1), "GS 112", 3, (240, 240, 240))
        draw_text(sd, S(40), S(1), "DTK 332", 3, (230, 40, 220))
        scr = scr.filter(ImageFilter.GaussianBlur(1.2))
        self.img.paste(scr, (S(x0), S(y0)))

    def radio(self, y, left, right):
        lay, d = self.layer()
        d.rounded_rectangle([S(175), S(y), S(247), S(y + 17)], radius=S(1.5), fill=(40, 42, 46, 255),
                            outline=(90, 94, 102, 255), width=W(0.4))
        d.rectangle([S(186), S(y + 3.5), S(236), S(y + 13.5)], fill=(6, 8, 8, 255))
        for kx in (180, 242):
            d.ellipse(self.ell(kx, y + 8.5, 3.4, 3.4 * KY), fill=(18, 18, 20, 255))
            d.ellipse(self.ell(kx, y + 8.5, 2.4, 2.4 * KY), fill=(70, 72, 78, 255))
            d.ellipse(self.ell(kx - 0.5, y + 8.0, 0.8, 0.8 * KY), fill=(130, 132, 138, 255))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))

        def digits(dd):
            draw_text(dd, S(188), S(y + 5.5), left, 3, (60, 255, 120, 255), 4)
            draw_text(dd, S(213), S(y + 5.5), right, 3, (40, 170, 90, 255), 4)
        self.screen_glow(digits)

    def transponder(self, y):
        lay, d = self.layer()
        d.rounded_rectangle([S(175), S(y), S(247), S(y + 14)], radius=S(1.5), fill=(40, 42, 46, 255),
                            outline=(90, 94, 102, 255), width=W(0.4))
        d.rectangle([S(196), S(y + 3), S(226), S(y + 11)], fill=(6, 6, 6, 255))
        for i in range(4):
            bx = 178 + i * 4.2
            d.rounded_rectangle([S(bx), S(y + 4), S(bx + 3), S(y + 10)], radius=S(0.5), fill=(70, 72, 78, 255))
        for i in range(4):
            bx = 230 + i * 4.2
            d.rounded_rectangle([S(bx), S(y + 4), S(bx + 3), S(y + 10)], radius=S(0.5), fill=(70, 72, 78, 255))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))

        def digits(dd):
            draw_text(dd, S(199), S(y + 4.5), "1200", 3, (255, 176, 40, 255), 4)
            dd.ellipse(self.ell(222, y + 7, 1.0, 1.0 * KY), fill=(60, 255, 120, 255))
        self.screen_glow(digits)

    # -- right panel: switches and lights --
    def switches(self):
        lay, d = self.layer()
        labels = ["BAT", "ALT", "FUEL", "BCN", "LDG", "NAV"]
        for i, t in enumerate(labels):
            x = 264 + i * 9
            y = 184
            d.rounded_rectangle([S(x - 3), S(y - 5), S(x + 3), S(y + 7)], radius=S(1), fill=(20, 21, 24, 255))
            up = i not in (4,)
            # Bat handle: a lever with a lit end.
            if up:
                d.polygon([(S(x - 1.2), S(y + 1)), (S(x + 1.2), S(y + 1)), (S(x + 1.6), S(y - 4)), (S(x - 1.6), S(y - 4))],
                          fill=(200, 202, 206, 255))
                d.ellipse(self.ell(x, y - 4, 1.7, 1.3), fill=(236, 238, 242, 255))
            else:
                d.polygon([(S(x - 1.2), S(y + 1)), (S(x + 1.2), S(y + 1)), (S(x + 1.6), S(y + 6)), (S(x - 1.6), S(y + 6))],
                          fill=(170, 172, 176, 255))
                d.ellipse(self.ell(x, y + 6, 1.7, 1.3), fill=(210, 212, 216, 255))
            draw_text_centred(d, S(x), S(y + 10.5), t[:3], 1, (226, 226, 226, 255), 2)
        # Red guard over the first pair.
        d.rectangle([S(260.5), S(177.5), S(276.5), S(178.5)], fill=(200, 40, 36, 255))
        # Annunciator lights.
        for i, (c, on) in enumerate([((60, 220, 90), True), ((250, 180, 40), True), ((230, 50, 40), False)]):
            x = 266 + i * 16
            d.rounded_rectangle([S(x - 6), S(200), S(x + 6), S(208)], radius=S(1),
                                fill=(mix(c, (255, 255, 255), 0.25) if on else mix(c, (0, 0, 0), 0.7)) + (255,))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))
        glow, gd = self.layer()
        for i, c in enumerate([(60, 220, 90), (250, 180, 40)]):
            x = 266 + i * 16
            gd.rounded_rectangle([S(x - 6), S(200), S(x + 6), S(208)], radius=S(1), fill=c + (150,))
        self.overlay(glow.filter(ImageFilter.GaussianBlur(S(2))))

    def left_strip(self):
        # A column of small pull knobs at the very left edge.
        lay, d = self.layer()
        for i, c in enumerate([(200, 200, 200), (220, 60, 50), (40, 40, 44)]):
            y = 128 + i * 26
            d.ellipse(self.ell(8.5, y, 3.2, 3.2 * KY), fill=(16, 16, 18, 255))
            d.ellipse(self.ell(8.5, y, 2.4, 2.4 * KY), fill=c + (255,))
            d.ellipse(self.ell(7.8, y - 0.8, 0.8, 0.8 * KY), fill=(255, 255, 255, 120))
        self.overlay(lay.filter(ImageFilter.GaussianBlur(0.9)))

    def vignette(self):
        mask = Image.new("L", (CW, CH), 0)
        md = ImageDraw.Draw(mask)
        for i in range(40):
            t = i / 40
            md.rectangle([int(t * 30), int(t * 18), CW - 1 - int(t * 30), CH - 1 - int(t * 18)],
                         fill=int(255 * t))
        mask = mask.filter(ImageFilter.GaussianBlur(10)).resize((self.w, self.h))
        mask = mask.point(lambda v: 255 - int((255 - v) * 0.35))
        black = Image.new("RGB", (self.w, self.h), (0, 0, 0))
        self.img = Image.composite(self.img, black, mask)

    def render(self):
        self.sky()
        self.hills()
        self.clouds()
        self.sun()
        self.frame()
        self.panel()
        self.glareshield()
        self.gauge_airspeed(40, 131, 22)
        self.gauge_attitude(92, 131, 22)
        self.gauge_altimeter(144, 131, 22)
        self.gauge_turn(40, 185, 21)
        self.gauge_heading(92, 185, 21)
        self.gauge_vsi(144, 185, 21)
        self.left_strip()
        self.map_screen()
        self.radio(157, "118.50", "121.30")
        self.radio(176, "113.90", "116.20")
        self.transponder(196)
        self.gauge_small(270, 122, 11, "RPM", 0.62, 0.85)
        self.gauge_small(300, 122, 11, "OIL", 0.5)
        self.gauge_small(270, 154, 10, "FUEL", 0.7)
        self.gauge_small(300, 154, 10, "FUEL", 0.66)
        self.switches()
        self.vignette()
        out = self.img.resize((CW, CH), Image.LANCZOS)
        return out


def make_cockpit():
    return Cockpit().render()


# ---------------------------------------------------------------------------
# Sprite sheet
# ---------------------------------------------------------------------------

SKY = (95, 142, 204)


def supersample_cells(draw_fn, size, k):
    """Draws at k times the size onto black and reduces by majority: a pixel
    belongs to the shape when at least half of its sub-pixels do, and takes
    the most frequent colour among those sub-pixels. No colour is ever
    blended with the background, so the edges stay hard."""
    big = Image.new("RGB", (size[0] * k, size[1] * k), (0, 0, 0))
    draw_fn(ImageDraw.Draw(big), k)
    out = Image.new("RGB", size, (0, 0, 0))
    bp, op = big.load(), out.load()
    for y in range(size[1]):
        for x in range(size[0]):
            counts = {}
            inside = 0
            for sy in range(k):
                for sx in range(k):
                    c = bp[x * k + sx, y * k + sy]
                    if c != (0, 0, 0):
                        inside += 1
                        counts[c] = counts.get(c, 0) + 1
            if inside * 2 >= k * k:
                best = max(sorted(counts), key=lambda c: counts[c])
                op[x, y] = best
    return out


def draw_jet(d, k):
    """A twin-tailed fighter seen from above, nose to the right, centred on
    the cell's middle line y = 16."""
    def P(pts):
        return [(x * k, y * k) for x, y in pts]

    def both(pts):
        return P(pts), P([(x, 32 - y) for x, y in pts])

    body = (168, 176, 188)
    wing = (136, 146, 160)
    dark = (92, 100, 114)
    edge = (58, 64, 76)
    # Horizontal tail.
    for poly in both([(8.5, 14.0), (3.5, 7.8), (1.2, 8.4), (2.0, 14.0)]):
        d.polygon(poly, fill=wing)
    # Main wing with a darker trailing part.
    for poly in both([(20.0, 14.0), (9.5, 3.2), (7.0, 3.4), (8.0, 14.0)]):
        d.polygon(poly, fill=wing)
    for poly in both([(12.0, 6.4), (9.5, 3.2), (7.0, 3.4), (7.3, 6.6)]):
        d.polygon(poly, fill=dark)
    # Wing-root extensions running forward to the cockpit.
    for poly in both([(25.0, 14.6), (18.0, 12.2), (14.0, 12.2), (14.0, 14.2)]):
        d.polygon(poly, fill=body)
    # Fuselage.
    d.polygon(P([(31.6, 16.0), (28.0, 14.5), (23.0, 13.6), (6.0, 13.4), (2.2, 13.8), (2.2, 18.2),
                 (6.0, 18.6), (23.0, 18.4), (28.0, 17.5)]), fill=body)
    # Spine highlight.
    d.polygon(P([(22.0, 15.5), (6.0, 15.5), (6.0, 16.5), (22.0, 16.5)]), fill=(204, 210, 220))
    # Twin fins seen edge-on.
    for poly in both([(9.0, 13.0), (3.0, 12.6), (3.0, 14.0), (9.0, 14.0)]):
        d.polygon(poly, fill=edge)
    # Engine nozzles and afterburner.
    for poly in both([(2.4, 14.0), (0.6, 14.0), (0.6, 15.6), (2.4, 15.6)]):
        d.polygon(poly, fill=(250, 170, 60))
    d.polygon(P([(1.0, 14.4), (0.0, 14.4), (0.0, 17.6), (1.0, 17.6)]), fill=(255, 228, 140))
    # Canopy with a glint.
    d.ellipse(P([(21.0, 14.6), (27.4, 17.4)]), fill=(36, 64, 112))
    d.polygon(P([(24.6, 15.0), (26.2, 15.0), (26.2, 16.0), (24.6, 16.0)]), fill=(170, 210, 250))
    # Roundels on the wings.
    for cy in (8.8, 23.2):
        d.ellipse(P([(11.0, cy - 1.5), (14.0, cy + 1.5)]), fill=(236, 236, 240))
        d.ellipse(P([(11.8, cy - 0.7), (13.2, cy + 0.7)]), fill=(210, 40, 44))
    # Nose cone.
    d.polygon(P([(31.6, 16.0), (29.0, 15.0), (29.0, 17.0)]), fill=(110, 118, 130))


def outline_shape(img):
    """Darkens the shape's own border pixels (those next to the black
    background) so the sprite reads against the sky, without growing it."""
    w, h = img.size
    src = img.copy()
    sp, op = src.load(), img.load()
    for y in range(h):
        for x in range(w):
            if sp[x, y] == (0, 0, 0):
                continue
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                nx, ny = x + dx, y + dy
                if not (0 <= nx < w and 0 <= ny < h) or sp[nx, ny] == (0, 0, 0):
                    c = sp[x, y]
                    op[x, y] = tuple(max(8, int(v * 0.45)) for v in c)
                    break
    return img


def make_sprites():
    jet = supersample_cells(draw_jet, (32, 32), 8)
    outline_shape(jet)
    jp = jet.load()
    for y in range(32):
        for x in range(32):
            c = jp[x, y]
            if c != (0, 0, 0):
                # Inside the jet nothing may be pure black, or the mask and
                # the sprite would disagree.
                jp[x, y] = tuple(max(8, v) for v in c)
    mask = Image.new("RGB", (32, 32), (255, 255, 255))
    mp = mask.load()
    for y in range(32):
        for x in range(32):
            if jp[x, y] != (0, 0, 0):
                mp[x, y] = (0, 0, 0)

    plain = Image.new("RGB", (32, 32), SKY)
    tile = Image.new("RGB", (32, 32), SKY)
    tp = tile.load()
    rng = random.Random(3)
    specks = [(4, 6, 2), (19, 3, 1), (27, 12, 1), (10, 18, 2), (23, 25, 1), (2, 27, 1), (15, 29, 1)]
    for x, y, n in specks:
        tp[x, y] = (226, 236, 250)
        if n == 2:
            # A small puff: one bright pixel with a paler neighbour.
            tp[(x + 1) % 32, y] = (172, 198, 232)
            tp[x, (y + 1) % 32] = (150, 182, 224)
    for _ in range(8):
        x, y = rng.randrange(32), rng.randrange(32)
        if tp[x, y] == SKY:
            tp[x, y] = (122, 164, 218)

    sheet = Image.new("RGB", (128, 32))
    sheet.paste(jet, (0, 0))
    sheet.paste(mask, (32, 0))
    sheet.paste(plain, (64, 0))
    sheet.paste(tile, (96, 0))
    return sheet


# ---------------------------------------------------------------------------
# Paper aeroplane frames
# ---------------------------------------------------------------------------

KEY = (192, 192, 192)
FIT_W, FIT_H = 60.0, 44.0
PAPER_OUTLINE = (74, 80, 98)
PAPER_FOLD = (150, 158, 178)


def rot_x(p, a):
    x, y, z = p
    c, s = math.cos(a), math.sin(a)
    return (x, y * c - z * s, y * s + z * c)


def rot_y(p, a):
    x, y, z = p
    c, s = math.cos(a), math.sin(a)
    return (x * c + z * s, y, -x * s + z * c)


def rot_z(p, a):
    x, y, z = p
    c, s = math.cos(a), math.sin(a)
    return (x * c - y * s, x * s + y * c, z)


# Shape of the dart: length along x, half span, keel depth, wing lift.
DART_LEN, DART_SPAN, DART_KEEL, DART_LIFT = 50.0, 16.0, 10.0, 2.0

# Face colours: lit wing tops white, the far wing a touch greyer, the keel's
# side in the shade. None of them equals the key colour.
PAPER = {
    "near_outer": (255, 255, 255),
    "near_inner": (232, 236, 246),
    "far_inner": (200, 207, 226),
    "far_outer": (220, 225, 239),
    "keel": (160, 170, 198),
}


def paper_model(flap):
    """The dart in model space: x from the nose towards the tail, y up, z
    towards the viewer. Returns its faces as (points, colour name)."""
    L, w, h = DART_LEN, DART_SPAN, DART_KEEL
    lift = DART_LIFT + flap
    nose = (0.0, 0.0, 0.0)
    root = (L, 0.0, 0.0)
    keel = (L * 0.86, -h, 0.0)
    near_crease = (L, lift * 0.3, w * 0.4)
    near_tip = (L * 0.95, lift, w)
    far_crease = (L, lift * 0.3, -w * 0.4)
    far_tip = (L * 0.95, lift, -w)
    return [
        ([nose, root, keel], "keel"),
        ([nose, root, far_crease], "far_inner"),
        ([nose, far_crease, far_tip], "far_outer"),
        ([nose, root, near_crease], "near_inner"),
        ([nose, near_crease, near_tip], "near_outer"),
    ]


# Camera, in degrees: the dart is turned so its tail swings towards the
# viewer, looked at from above, and its nose raised a little.
CAM_YAW, CAM_PITCH, CAM_NOSE = -40.0, 30.0, 8.0


def project(p, roll):
    # Roll with the wing pose, raise the nose, turn the tail towards the
    # viewer and look down on the dart from above; the nose ends up left.
    p = rot_x(p, roll)
    p = rot_z(p, math.radians(CAM_NOSE))
    p = rot_y(p, math.radians(CAM_YAW))
    p = rot_x(p, math.radians(CAM_PITCH))
    return p


def make_frame(flap, roll):
    faces = paper_model(flap)
    k = 8
    # Fit the projected model of the first pose into the 64 x 64 frame and
    # centre it; both poses share the scale so the wings alone move.
    ref_faces = paper_model(0.0)
    ref = [project(p, 0.0) for f, _ in ref_faces for p in f]
    scale = min(FIT_W / (max(p[0] for p in ref) - min(p[0] for p in ref)),
                FIT_H / (max(p[1] for p in ref) - min(p[1] for p in ref)))
    all_pts = [project(p, roll) for f, _ in faces for p in f]
    minx = min(p[0] for p in all_pts) * scale
    maxx = max(p[0] for p in all_pts) * scale
    miny = min(-p[1] for p in all_pts) * scale
    maxy = max(-p[1] for p in all_pts) * scale
    ox = 32 - (minx + maxx) / 2
    oy = 32 - (miny + maxy) / 2

    def to2d(p):
        q = project(p, roll)
        return ((q[0] * scale + ox), (-q[1] * scale + oy), q[2])

    def draw(d, kk):
        proj = []
        for pts, kind in faces:
            q = [to2d(p) for p in pts]
            depth = sum(p[2] for p in q) / 3
            proj.append((depth, q, PAPER[kind]))
        for depth, q, colour in sorted(proj, key=lambda t: t[0]):
            d.polygon([(x * kk, y * kk) for x, y, _ in q], fill=colour)

    img = supersample_cells(draw, (64, 64), k)
    ip = img.load()
    # Fold lines: where the wings meet the keel and each other along the
    # spine, the pixel on the upper or left side of the crease turns darker,
    # a line one pixel wide without gaps.
    spine = {PAPER["near_inner"], PAPER["far_inner"], PAPER["keel"]}
    src = img.copy()
    sp = src.load()
    for y in range(63):
        for x in range(63):
            c = sp[x, y]
            if c == (0, 0, 0):
                continue
            for n in (sp[x + 1, y], sp[x, y + 1]):
                if c in spine and n in spine and n != c:
                    ip[x, y] = PAPER_FOLD
                    break
    # Outline: the shape's own border pixels.
    src = img.copy()
    sp = src.load()
    for y in range(64):
        for x in range(64):
            if sp[x, y] == (0, 0, 0):
                continue
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                nx, ny = x + dx, y + dy
                if not (0 <= nx < 64 and 0 <= ny < 64) or sp[nx, ny] == (0, 0, 0):
                    ip[x, y] = PAPER_OUTLINE
                    break
    # Background to the key colour.
    for y in range(64):
        for x in range(64):
            if ip[x, y] == (0, 0, 0):
                ip[x, y] = KEY
    return img


def row_runs(img):
    """Number of horizontal runs of non-key pixels, summed over all rows:
    what a window shape built from row runs needs."""
    px = img.load()
    w, h = img.size
    total = 0
    for y in range(h):
        inside = False
        for x in range(w):
            now = px[x, y] != KEY
            if now and not inside:
                total += 1
            inside = now
    return total


def make_frames():
    # Two wing poses of the dart flying left; the right-flying frames are
    # their mirror images, and frames 4 to 7 (climbing) repeat 0 to 3.
    pose_a = make_frame(flap=0.0, roll=math.radians(-3))
    pose_b = make_frame(flap=4.0, roll=math.radians(4))
    left = [pose_a, pose_b]
    right = [im.transpose(Image.FLIP_LEFT_RIGHT) for im in left]
    four = left + right
    return four + four


# ---------------------------------------------------------------------------
# Icon
# ---------------------------------------------------------------------------

# The icon on a 32-unit grid, drawn in this order: an envelope with a red seal
# and a paper aeroplane flying up and away from it. make_icon renders it to
# pixels, icon_svg writes the same shapes as a scalable picture.
ICON_INK = (40, 60, 110, 255)
ICON_OUTLINE = (30, 50, 100, 255)
_WING_TOP = [(30.0, 2.0), (11.5, 9.5), (18.0, 12.0)]
_WING_LOW = [(30.0, 2.0), (18.0, 12.0), (21.0, 18.5)]
_KEEL = [(30.0, 2.0), (18.0, 12.0), (17.5, 15.0)]
ICON_PARTS = [
    # (kind, points, size: corner radius or line width, colour, outline colour)
    ("rounded", [(1.5, 13.0), (22.5, 28.5)], 2, ICON_INK, None),
    ("rounded", [(2.5, 14.0), (21.5, 27.5)], 1.4, (250, 246, 232, 255), None),
    ("line", [(2.8, 14.4), (12.0, 21.5), (21.2, 14.4)], 1.3, ICON_INK, None),
    ("line", [(2.8, 27.2), (9.5, 20.5)], 0.8, (150, 160, 190, 255), None),
    ("line", [(21.2, 27.2), (14.5, 20.5)], 0.8, (150, 160, 190, 255), None),
    ("ellipse", [(10.0, 19.5), (14.0, 23.5)], None, (214, 48, 48, 255), None),
    ("polygon", _WING_TOP, None, (255, 255, 255, 255), ICON_OUTLINE),
    ("polygon", _KEEL, None, (170, 186, 220, 255), None),
    ("polygon", _WING_LOW, None, (218, 228, 246, 255), None),
    ("round_line", _WING_TOP + [_WING_TOP[0]], 1.2, ICON_OUTLINE, None),
    ("round_line", _WING_LOW + [_WING_LOW[0]], 1.2, ICON_OUTLINE, None),
    ("line", [(30.0, 2.0), (18.0, 12.0)], 0.9, ICON_OUTLINE, None),
    # Speed lines behind the aeroplane.
    ("line", [(4.5, 5.5), (10.0, 5.5)], 1.2, (90, 140, 220, 255), None),
    ("line", [(2.0, 9.0), (7.5, 9.0)], 1.2, (90, 140, 220, 220), None),
]
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def make_icon_master():
    """The icon at 512 x 512, from which every pixel size is scaled down."""
    k = 16
    big = Image.new("RGBA", (32 * k, 32 * k), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)

    def P(pts):
        return [(x * k, y * k) for x, y in pts]

    for kind, pts, size, colour, outline in ICON_PARTS:
        if kind == "rounded":
            d.rounded_rectangle(P(pts), radius=size * k, fill=colour)
        elif kind == "line":
            d.line(P(pts), fill=colour, width=int(size * k))
        elif kind == "round_line":
            d.line(P(pts), fill=colour, width=int(size * k), joint="curve")
        elif kind == "ellipse":
            d.ellipse(P(pts), fill=colour)
        elif kind == "polygon":
            if outline:
                d.polygon(P(pts), fill=colour, outline=outline)
            else:
                d.polygon(P(pts), fill=colour)
    return big


def make_icon(size=32, master=None):
    return (master or make_icon_master()).resize((size, size), Image.LANCZOS)


def icon_svg():
    """The icon's shapes as an SVG document on a 32 x 32 canvas."""

    def paint(colour, what):
        r, g, b, a = colour
        text = '%s="#%02x%02x%02x"' % (what, r, g, b)
        if a != 255:
            text += ' %s-opacity="%.3f"' % (what, a / 255)
        return text

    def points(pts):
        return " ".join("%g,%g" % p for p in pts)

    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">']
    for kind, pts, size, colour, outline in ICON_PARTS:
        (x0, y0), (x1, y1) = pts[0], pts[-1]
        if kind == "rounded":
            out.append('  <rect x="%g" y="%g" width="%g" height="%g" rx="%g" %s/>'
                       % (x0, y0, x1 - x0, y1 - y0, size, paint(colour, "fill")))
        elif kind in ("line", "round_line"):
            join = "round" if kind == "round_line" else "miter"
            out.append('  <polyline points="%s" fill="none" stroke-width="%g" '
                       'stroke-linejoin="%s" %s/>' % (points(pts), size, join,
                                                      paint(colour, "stroke")))
        elif kind == "ellipse":
            out.append('  <ellipse cx="%g" cy="%g" rx="%g" ry="%g" %s/>'
                       % ((x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2, (y1 - y0) / 2,
                          paint(colour, "fill")))
        elif kind == "polygon":
            stroke = ' stroke-width="0.0625" %s' % paint(outline, "stroke") if outline else ""
            out.append('  <polygon points="%s" %s%s/>' % (points(pts), paint(colour, "fill"),
                                                          stroke))
    out.append("</svg>")
    return ("\n".join(out) + "\n").encode("utf-8")


# ---------------------------------------------------------------------------

def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", default=DEFAULT_OUT, help="output folder (default: assets/)")
    ap.add_argument("--quiet", action="store_true")
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)

    def write(name, data):
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(data)

    cockpit = make_cockpit()
    cockpit.save(os.path.join(args.out, "cockpit.jpg"), "JPEG", quality=90, subsampling=0,
                 progressive=False, optimize=False)
    write("sprites.bmp", bmp24(make_sprites()))
    frames = make_frames()
    for i, im in enumerate(frames):
        write("frame%d.bmp" % i, bmp24(im))
    master = make_icon_master()
    icon = make_icon(32, master)
    icon.save(os.path.join(args.out, "icon.png"), "PNG", optimize=False)
    write("icon.ico", ico32(icon))
    # The desktop's icon theme folders (hicolor), installed with the program.
    for size in ICON_SIZES:
        folder = os.path.join(args.out, "hicolor", "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        make_icon(size, master).save(os.path.join(folder, "kestrova.png"), "PNG", optimize=False)
    folder = os.path.join(args.out, "hicolor", "scalable", "apps")
    os.makedirs(folder, exist_ok=True)
    write(os.path.join("hicolor", "scalable", "apps", "kestrova.svg"), icon_svg())
    if not args.quiet:
        for i, im in enumerate(frames[:4]):
            print("frame%d: %d row runs" % (i, row_runs(im)))


if __name__ == "__main__":
    main()
