#!/usr/bin/env python3
"""Draws the program icon: a sheet with lines of text under a magnifying glass, on a rounded
blue square. Writes resources/icons/quorvex-fax-varnel.svg and PNG files of the usual icon
sizes, from one description of the shapes, with nothing but the standard library.

Usage: scripts/make-icon.py [OUTPUT_DIR]   (default: resources/icons beside this script)
The output is deterministic; run it again after changing the shapes and commit the files.
"""
import math
import os
import struct
import sys
import zlib

NAME = "quorvex-fax-varnel"
SIZES = (16, 24, 32, 48, 64, 128, 256)

# Colours (r, g, b).
BG_TOP = (0x3B, 0x8C, 0xB8)
BG_BOTTOM = (0x1F, 0x55, 0x78)
PAPER = (0xFF, 0xFF, 0xFF)
FOLD = (0xD5, 0xE3, 0xEE)
LINE = (0x9D, 0xB9, 0xCD)
LINE_ACCENT = (0x2E, 0x6A, 0x8E)
GLASS_RING = (0xF2, 0xB1, 0x34)
GLASS_FILL = (0xFF, 0xF4, 0xDB)

# Shapes in a unit square, painted in this order.
BG = ("roundrect", (0.04, 0.04, 0.96, 0.96), 0.2)
PAPER_POLY = [(0.24, 0.16), (0.56, 0.16), (0.68, 0.28), (0.68, 0.80), (0.24, 0.80)]
FOLD_POLY = [(0.56, 0.16), (0.56, 0.28), (0.68, 0.28)]
LINES = [((0.31, 0.36), (0.49, 0.36), LINE_ACCENT), ((0.31, 0.46), (0.60, 0.46), LINE),
         ((0.31, 0.56), (0.52, 0.56), LINE), ((0.31, 0.66), (0.45, 0.66), LINE)]
LINE_W = 0.045
GLASS_C = (0.62, 0.60)
GLASS_R_OUT = 0.16
GLASS_R_IN = 0.115
HANDLE = ((0.735, 0.715), (0.86, 0.84))
HANDLE_W = 0.085


def in_roundrect(x, y, rect, r):
    x0, y0, x1, y1 = rect
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_poly(x, y, pts):
    inside = False
    n = len(pts)
    for i in range(n):
        x1, y1 = pts[i]
        x2, y2 = pts[(i + 1) % n]
        if (y1 > y) != (y2 > y):
            xi = x1 + (y - y1) * (x2 - x1) / (y2 - y1)
            if x < xi:
                inside = not inside
    return inside


def seg_dist(x, y, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return math.hypot(x - px, y - py)


def layers():
    """(colour function, inside test) pairs, bottom first."""
    def bg_colour(y):
        t = min(1.0, max(0.0, (y - 0.04) / 0.92))
        return tuple(BG_TOP[i] + (BG_BOTTOM[i] - BG_TOP[i]) * t for i in range(3))

    out = [(bg_colour, lambda x, y: in_roundrect(x, y, BG[1], BG[2])),
           (lambda y: PAPER, lambda x, y: in_poly(x, y, PAPER_POLY)),
           (lambda y: FOLD, lambda x, y: in_poly(x, y, FOLD_POLY))]
    for a, b, c in LINES:
        out.append(((lambda c: lambda y: c)(c),
                    (lambda a, b: lambda x, y: seg_dist(x, y, a, b) <= LINE_W / 2)(a, b)))
    gx, gy = GLASS_C
    out.append((lambda y: GLASS_FILL,
                lambda x, y: math.hypot(x - gx, y - gy) <= GLASS_R_IN))
    out.append((lambda y: GLASS_RING,
                lambda x, y: GLASS_R_IN <= math.hypot(x - gx, y - gy) <= GLASS_R_OUT))
    out.append((lambda y: GLASS_RING,
                lambda x, y: seg_dist(x, y, HANDLE[0], HANDLE[1]) <= HANDLE_W / 2))
    return out


def render(size, ss=4):
    shapes = layers()
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0.0
            cy = (py + 0.5) / size
            for colour, inside in shapes:
                hits = 0
                for sy in range(ss):
                    y = (py + (sy + 0.5) / ss) / size
                    for sx in range(ss):
                        x = (px + (sx + 0.5) / ss) / size
                        if inside(x, y):
                            hits += 1
                if hits == 0:
                    continue
                cov = hits / (ss * ss)
                cr, cg, cb = colour(cy)
                # "over" compositing with premultiplied colour
                r = cr * cov + r * (1 - cov)
                g = cg * cov + g * (1 - cov)
                b = cb * cov + b * (1 - cov)
                a = cov + a * (1 - cov)
            if a > 0:
                row += bytes((round(r / a), round(g / a), round(b / a), round(a * 255)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def write_png(path, size, rows):
    raw = b"".join(b"\x00" + r for r in rows)

    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def hexc(c):
    return "#%02x%02x%02x" % tuple(int(v) for v in c)


def write_svg(path):
    s = 256.0

    def p(v):
        return "%.2f" % (v * s)

    x0, y0, x1, y1 = BG[1]
    parts = [
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">',
        '<defs><linearGradient id="bg" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/></linearGradient></defs>'
        % (hexc(BG_TOP), hexc(BG_BOTTOM)),
        '<rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="url(#bg)"/>'
        % (p(x0), p(y0), p(x1 - x0), p(y1 - y0), p(BG[2])),
        '<polygon points="%s" fill="%s"/>' % (" ".join("%s,%s" % (p(x), p(y)) for x, y in PAPER_POLY), hexc(PAPER)),
        '<polygon points="%s" fill="%s"/>' % (" ".join("%s,%s" % (p(x), p(y)) for x, y in FOLD_POLY), hexc(FOLD)),
    ]
    for a, b, c in LINES:
        parts.append('<line x1="%s" y1="%s" x2="%s" y2="%s" stroke="%s" stroke-width="%s" stroke-linecap="round"/>'
                     % (p(a[0]), p(a[1]), p(b[0]), p(b[1]), hexc(c), p(LINE_W)))
    gx, gy = GLASS_C
    parts.append('<circle cx="%s" cy="%s" r="%s" fill="%s"/>' % (p(gx), p(gy), p(GLASS_R_IN), hexc(GLASS_FILL)))
    parts.append('<circle cx="%s" cy="%s" r="%s" fill="none" stroke="%s" stroke-width="%s"/>'
                 % (p(gx), p(gy), p((GLASS_R_IN + GLASS_R_OUT) / 2), hexc(GLASS_RING), p(GLASS_R_OUT - GLASS_R_IN)))
    parts.append('<line x1="%s" y1="%s" x2="%s" y2="%s" stroke="%s" stroke-width="%s" stroke-linecap="round"/>'
                 % (p(HANDLE[0][0]), p(HANDLE[0][1]), p(HANDLE[1][0]), p(HANDLE[1][1]), hexc(GLASS_RING), p(HANDLE_W)))
    parts.append("</svg>\n")
    with open(path, "w") as f:
        f.write("\n".join(parts))


# The drop-down arrow of the skin's combo boxes: a chevron in the skin's text colour.
CHEVRON = [((0.25, 0.40), (0.50, 0.65)), ((0.50, 0.65), (0.75, 0.40))]
CHEVRON_W = 0.13
CHEVRON_COLOUR = (0x44, 0x5A, 0x6E)


def render_chevron(size, ss=4):
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            hits = 0
            for sy in range(ss):
                y = (py + (sy + 0.5) / ss) / size
                for sx in range(ss):
                    x = (px + (sx + 0.5) / ss) / size
                    if any(seg_dist(x, y, a, b) <= CHEVRON_W / 2 for a, b in CHEVRON):
                        hits += 1
            a = hits / (ss * ss)
            row += bytes(CHEVRON_COLOUR + (round(a * 255),)) if a else bytes(4)
        rows.append(bytes(row))
    return rows


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "icons")
    os.makedirs(out, exist_ok=True)
    write_svg(os.path.join(out, NAME + ".svg"))
    for size in SIZES:
        write_png(os.path.join(out, "%s-%d.png" % (NAME, size)), size, render(size))
        print("wrote %s-%d.png" % (NAME, size))
    write_png(os.path.join(out, "chevron-down.png"), 12, render_chevron(12))
    write_png(os.path.join(out, "chevron-down@2x.png"), 24, render_chevron(24))
    print("wrote chevron-down.png, chevron-down@2x.png")


if __name__ == "__main__":
    main()
