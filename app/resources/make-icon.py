#!/usr/bin/env python3
"""Draws the installer icon (an open box with an arrow going into it, as in
the wizard's title bitmap) and writes setup.ico: 32x32 and 16x16, each in 16
colours for Windows 98 and in 32-bit colour with alpha for Windows XP and later.
With --uninstall the arrow leaves the box: the uninstaller's icon.
    make-icon.py [--uninstall] [OUT.ico]
"""
import struct
import sys

# Shapes in a 32-unit square, painted in order: (kind, colour, points). The
# 16-colour images take each shape's colour from VGA16 instead.
BOX, BOX_DARK, BOX_LIGHT, OUTLINE, ARROW, ARROW_DARK = (
    (72, 112, 200), (40, 66, 150), (110, 150, 230), (30, 30, 110), (232, 190, 30), (160, 120, 0))
SHAPES = [
    ("poly", BOX_DARK, [(5, 12), (16, 8), (27, 12), (16, 16)]),      # inside of the box
    ("poly", BOX, [(5, 12), (16, 16), (16, 30), (5, 25)]),           # left face
    ("poly", BOX_DARK, [(16, 16), (27, 12), (27, 25), (16, 30)]),    # right face
    ("poly", BOX_LIGHT, [(5, 12), (1, 16), (12, 20), (16, 16)]),     # left flap
    ("poly", BOX_LIGHT, [(27, 12), (31, 16), (20, 20), (16, 16)]),   # right flap
    ("poly", ARROW, [(13, 1), (19, 1), (19, 9), (23, 9), (16, 17), (9, 9), (13, 9)]),  # arrow
    ("line", ARROW_DARK, [(13, 1), (19, 1), (19, 9), (23, 9), (16, 17), (9, 9), (13, 9), (13, 1)]),
    ("line", OUTLINE, [(5, 12), (16, 16), (27, 12)]),
    ("line", OUTLINE, [(5, 12), (5, 25), (16, 30), (27, 25), (27, 12)]),
    ("line", OUTLINE, [(16, 16), (16, 30)]),
    ("line", OUTLINE, [(5, 12), (1, 16), (12, 20), (16, 16), (20, 20), (31, 16), (27, 12)]),
]
VGA16 = {BOX: 12, BOX_DARK: 4, BOX_LIGHT: 12, OUTLINE: 0, ARROW: 11, ARROW_DARK: 3}

# The 16 colours every display of Windows 98 has.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def inside(poly, x, y):
    hit = False
    for (x1, y1), (x2, y2) in zip(poly, poly[1:] + poly[:1]):
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            hit = not hit
    return hit


def near_line(points, x, y, width):
    for (x1, y1), (x2, y2) in zip(points, points[1:]):
        dx, dy = x2 - x1, y2 - y1
        t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / float(dx * dx + dy * dy)))
        px, py = x1 + t * dx, y1 + t * dy
        if (x - px) ** 2 + (y - py) ** 2 <= (width / 2.0) ** 2:
            return True
    return False


def render(size, samples=4, palette=None):
    """RGBA rows, top row first, with the shapes antialiased by supersampling;
    with a palette, one sample per pixel and the shapes' palette colours."""
    if palette:
        samples = 1
    scale = 32.0 / size
    line_width = max(1.0, scale * 0.9)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = None
                    for kind, c, pts in SHAPES:
                        if (inside(pts, x, y) if kind == "poly" else near_line(pts, x, y, line_width)):
                            colour = palette[VGA16[c]] if palette else c
                    if colour:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = samples * samples
            if acc[3]:
                row.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]),
                            round(255 * acc[3] / n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def and_mask(rows, opaque):
    size = len(rows)
    stride = ((size + 31) // 32) * 4
    out = b""
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, px in enumerate(row):
            if not opaque(px):
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bytes(bits)
    return out


def image_32bpp(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(struct.pack("BBBB", b, g, r, a) for row in reversed(rows) for (r, g, b, a) in row)
    return header + pixels + and_mask(rows, lambda p: p[3] > 0)


def image_4bpp(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in VGA)

    def nearest(p):
        if p[3] < 128:
            return 0
        return min(range(16), key=lambda i: sum((VGA[i][k] - p[k]) ** 2 for k in range(3)))

    stride = ((size * 4 + 31) // 32) * 4
    pixels = b""
    for row in reversed(rows):
        line = bytearray(stride)
        for x, px in enumerate(row):
            line[x // 2] |= nearest(px) << (4 if x % 2 == 0 else 0)
        pixels += bytes(line)
    return header + palette + pixels + and_mask(rows, lambda p: p[3] >= 128)


UP_ARROW = [(16, 1), (23, 9), (19, 9), (19, 17), (13, 17), (13, 9), (9, 9)]


def main():
    args = sys.argv[1:]
    if args and args[0] == "--uninstall":
        args = args[1:]
        SHAPES[5] = ("poly", ARROW, UP_ARROW)
        SHAPES[6] = ("line", ARROW_DARK, UP_ARROW + UP_ARROW[:1])
    out = args[0] if args else "setup.ico"
    images = []
    for size in (32, 16):
        images.append((size, 16, 4, image_4bpp(render(size, palette=VGA))))
        images.append((size, 0, 32, image_32bpp(render(size))))
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, colours, bpp, blob in images:
        data += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    data += b"".join(blob for *_, blob in images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
