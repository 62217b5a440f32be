#!/usr/bin/env python3
"""Draws kxUnInst.ico, the uninstaller's icon: a program window with a red
removal badge, at 16, 32 and 48 pixels (32-bit colour with alpha, and the AND
mask that Windows 9x uses). Run it from this folder to write kxUnInst.ico."""
import struct

def shade(x, y):
    """Colour (r, g, b, a) of the point (x, y) in a 1 x 1 square."""
    # Red badge, lower right: a disc with a white bar across it.
    cx, cy, rad = 0.70, 0.70, 0.27
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    if d2 <= rad ** 2:
        if abs(y - cy) <= 0.055 and abs(x - cx) <= 0.17:
            return (255, 255, 255, 255)
        if d2 >= (rad - 0.035) ** 2:
            return (128, 0, 0, 255)
        return (208, 32, 32, 255)
    # The program window: title bar, frame and a light client area.
    left, top, right, bottom = 0.06, 0.10, 0.84, 0.80
    if left <= x <= right and top <= y <= bottom:
        if x - left < 0.04 or right - x < 0.04 or bottom - y < 0.04 or y - top < 0.04:
            return (24, 48, 112, 255)
        if y - top < 0.20:
            return (40, 88, 184, 255)
        if 0.16 <= x <= 0.62 and any(abs(y - t) < 0.025 for t in (0.42, 0.52, 0.62)):
            return (160, 168, 184, 255)
        return (244, 246, 250, 255)
    return (0, 0, 0, 0)

def image(size):
    """The bitmap and mask of one icon image, bottom-up, 4x4 samples a pixel."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(4):
                for sx in range(4):
                    r, g, b, a = shade((px + (sx + 0.5) / 4) / size, (py + (sy + 0.5) / 4) / size)
                    acc[0] += r * a; acc[1] += g * a; acc[2] += b * a; acc[3] += a
            a = acc[3] / 16
            if acc[3]:
                row.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]), round(a)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(rows):
        bits = bytearray(stride)
        for px, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[px // 8] |= 0x80 >> (px % 8)
        mask += bytes(bits)
    return header + xor + mask

def icon(sizes):
    images = [image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b''.join(images)

if __name__ == '__main__':
    with open('kxUnInst.ico', 'wb') as f:
        f.write(icon([16, 32, 48]))
