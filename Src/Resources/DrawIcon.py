#!/usr/bin/env python3
"""Draws the module's icon into the PNG files of Src/Resources/Icons.

The icon is a stylised building (a tower and a lower wing on a ground line) with a green import
badge carrying a downward arrow. Every size is rendered from the same shapes with 8x8 (16x16 for
small sizes) supersampling, so edges are anti-aliased; below 40 pixels the window grid is coarser
so that it stays readable. Only the standard library is used: PNGs are written with zlib and
struct.

Usage: DrawIcon.py [OUTPUT_DIR]   (default: the Icons folder next to this script)
"""

import os
import struct
import sys
import zlib

# Flat colours (r, g, b).
TOWER = (0x2F, 0x55, 0x8C)
WING = (0x4F, 0x7B, 0xB8)
WINDOW = (0xE4, 0xEE, 0xFA)
GROUND = (0x23, 0x36, 0x55)
BADGE_RIM = (0xFF, 0xFF, 0xFF)
BADGE = (0x2E, 0x9E, 0x5B)
ARROW = (0xFF, 0xFF, 0xFF)

# File name -> pixel size. The module's file icon and the menu command's icon share the drawing.
ICON_FILES = {
    "ModuleIcon_16.png": 16,
    "ModuleIcon_32.png": 32,
    "ModuleIcon_48.png": 48,
    "ModuleIcon_64.png": 64,
    "ModuleIcon_96.png": 96,
    "ModuleIcon_128.png": 128,
    "ModuleIcon_256.png": 256,
    "MenuIcon_18.png": 18,
    "MenuIcon_36.png": 36,
}


class Rect:
    def __init__(self, x0, y0, x1, y1, colour):
        self.box = (x0, y0, x1, y1)
        self.colour = colour

    def contains(self, x, y):
        x0, y0, x1, y1 = self.box
        return x0 <= x < x1 and y0 <= y < y1


class Circle:
    def __init__(self, cx, cy, r, colour):
        self.centre = (cx, cy)
        self.radius = r
        self.box = (cx - r, cy - r, cx + r, cy + r)
        self.colour = colour

    def contains(self, x, y):
        dx = x - self.centre[0]
        dy = y - self.centre[1]
        return dx * dx + dy * dy < self.radius * self.radius


class Polygon:
    """A convex polygon given clockwise in image coordinates (y downwards)."""

    def __init__(self, points, colour):
        self.points = points
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.box = (min(xs), min(ys), max(xs), max(ys))
        self.colour = colour

    def contains(self, x, y):
        n = len(self.points)
        for i in range(n):
            ax, ay = self.points[i]
            bx, by = self.points[(i + 1) % n]
            if (bx - ax) * (y - ay) - (by - ay) * (x - ax) < 0:
                return False
        return True


def windows(x0, x1, y0, y1, columns, rows, fill):
    """A grid of window panes inside the box; `fill` is the share of each cell the pane takes."""
    shapes = []
    cell_w = (x1 - x0) / columns
    cell_h = (y1 - y0) / rows
    pad_w = cell_w * (1 - fill) / 2
    pad_h = cell_h * (1 - fill) / 2
    for row in range(rows):
        for column in range(columns):
            left = x0 + column * cell_w + pad_w
            top = y0 + row * cell_h + pad_h
            shapes.append(Rect(left, top, left + cell_w - 2 * pad_w, top + cell_h - 2 * pad_h, WINDOW))
    return shapes


def icon_shapes(size):
    """The drawing in unit coordinates, back to front."""
    small = size < 40
    shapes = [
        Rect(0.14, 0.16, 0.60, 0.86, TOWER),
        Rect(0.60, 0.46, 0.86, 0.86, WING),
        Rect(0.06, 0.86, 0.94, 0.93, GROUND),
    ]
    if small:
        shapes += windows(0.19, 0.55, 0.24, 0.80, 2, 3, 0.55)
        shapes += windows(0.63, 0.83, 0.60, 0.80, 1, 1, 0.55)
    else:
        shapes += windows(0.19, 0.55, 0.22, 0.82, 3, 5, 0.56)
        shapes += windows(0.63, 0.83, 0.54, 0.82, 2, 2, 0.56)
    # Small sizes get a larger badge and a bolder arrow, or the arrow blurs into the badge.
    cx, cy = (0.70, 0.30) if small else (0.72, 0.29)
    rim, badge = (0.30, 0.255) if small else (0.235, 0.195)
    shaft, head, reach = (0.07, 0.17, 0.16) if small else (0.040, 0.115, 0.135)
    shapes += [
        Circle(cx, cy, rim, BADGE_RIM),
        Circle(cx, cy, badge, BADGE),
        Rect(cx - shaft, cy - 0.95 * reach, cx + shaft, cy + 0.02, ARROW),
        Polygon([(cx - head, cy + 0.005), (cx + head, cy + 0.005), (cx, cy + 0.005 + reach)], ARROW),
    ]
    return shapes


def render(size):
    """Rows of straight-alpha RGBA bytes."""
    shapes = icon_shapes(size)
    samples = 16 if size < 40 else 8
    step = 1.0 / (size * samples)
    offsets = [(i + 0.5) * step for i in range(samples)]
    total = samples * samples
    rows = []
    for py in range(size):
        row = bytearray()
        top = py / size
        bottom = (py + 1) / size
        for px in range(size):
            left = px / size
            right = (px + 1) / size
            near = [s for s in shapes
                    if s.box[0] < right and s.box[2] > left and s.box[1] < bottom and s.box[3] > top]
            if not near:
                row += b"\0\0\0\0"
                continue
            r = g = b = covered = 0
            for oy in offsets:
                y = top + oy
                for ox in offsets:
                    x = left + ox
                    for shape in reversed(near):
                        if shape.contains(x, y):
                            cr, cg, cb = shape.colour
                            r += cr
                            g += cg
                            b += cb
                            covered += 1
                            break
            if covered == 0:
                row += b"\0\0\0\0"
            else:
                row += bytes((round(r / covered), round(g / covered), round(b / covered),
                              round(255 * covered / total)))
        rows.append(bytes(row))
    return rows


def png_bytes(rows, size):
    """An 8-bit RGBA PNG; each row takes the filter that gives the smallest sum of magnitudes."""

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    def paeth(a, b, c):
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        if pa <= pb and pa <= pc:
            return a
        return b if pb <= pc else c

    raw = bytearray()
    previous = bytes(len(rows[0]))
    for row in rows:
        candidates = []
        for kind in range(5):
            out = bytearray([kind])
            for i, value in enumerate(row):
                a = row[i - 4] if i >= 4 else 0
                b = previous[i]
                c = previous[i - 4] if i >= 4 else 0
                predictor = (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]
                out.append((value - predictor) & 0xFF)
            cost = sum(v if v < 128 else 256 - v for v in out[1:])
            candidates.append((cost, kind, out))
        raw += min(candidates)[2]
        previous = row
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "Icons")
    os.makedirs(folder, exist_ok=True)
    for name, size in ICON_FILES.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(png_bytes(render(size), size))


if __name__ == "__main__":
    main()
