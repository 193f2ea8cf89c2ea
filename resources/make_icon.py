#!/usr/bin/env python3
"""Draw the Chanwiz application icon and write it as chanwiz.ico.

A small wooden TV set with a rabbit-ear antenna. The icon holds two 32x32
images: one 32-bit BGRA with a soft alpha edge (XP and later) and one 8-bit
palette image with a hard mask for anything older. Pure standard library, and
the output depends on nothing but this script, so the committed .ico can be
rebuilt byte for byte.

usage: make_icon.py [OUTPUT]   (default: chanwiz.ico beside this script)
"""
import os
import struct
import sys

SIZE = 32
SUPERSAMPLE = 4  # 4x4 samples per pixel for smooth edges in the 32-bit image


# --- shapes -----------------------------------------------------------------
# Each shape answers "is (x, y) inside" in pixel units (0..32, y downwards)
# and gives its colour there. They are painted in order, later ones on top.

def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def segment(ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half_width * half_width
    return inside


def solid(rgb):
    return lambda x, y: rgb


def vertical_gradient(top, bottom, y0, y1):
    def colour(_x, y):
        t = max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
    return colour


def screen_colour(x, y):
    # A dark blue picture tube with a glossy reflection in its upper left.
    base = vertical_gradient((52, 128, 190), (18, 52, 104), 13.5, 25.0)(x, y)
    if (x - 5.0) + (y - 13.5) < 7.5:
        return tuple(min(255, c + 55) for c in base)
    return base


SHAPES = [
    # antenna: two rods from a small base, silver tips
    (segment(16.0, 9.5, 8.0, 1.6, 0.65), solid((72, 72, 80))),
    (segment(16.0, 9.5, 24.0, 1.6, 0.65), solid((72, 72, 80))),
    (circle(8.0, 1.6, 1.35), solid((205, 205, 215))),
    (circle(24.0, 1.6, 1.35), solid((205, 205, 215))),
    (ellipse(16.0, 10.0, 3.4, 1.8), solid((58, 58, 64))),
    # legs
    (rounded_rect(5.5, 26.0, 9.0, 31.5, 0.8), solid((62, 42, 28))),
    (rounded_rect(23.0, 26.0, 26.5, 31.5, 0.8), solid((62, 42, 28))),
    # wooden cabinet with a darker rim
    (rounded_rect(1.0, 9.5, 31.0, 28.5, 3.0), solid((84, 50, 26))),
    (rounded_rect(1.9, 10.4, 30.1, 27.6, 2.4),
     vertical_gradient((172, 112, 60), (120, 72, 38), 10.4, 27.6)),
    # screen: bezel, then the tube
    (rounded_rect(3.8, 12.4, 22.2, 26.1, 2.6), solid((34, 34, 40))),
    (rounded_rect(5.0, 13.5, 21.0, 25.0, 2.0), screen_colour),
    # control panel: two brass knobs and a speaker grille
    (circle(26.3, 15.8, 2.0), solid((70, 50, 20))),
    (circle(26.3, 15.8, 1.6), solid((232, 196, 110))),
    (circle(26.3, 15.8, 0.55), solid((90, 64, 24))),
    (circle(26.3, 20.6, 2.0), solid((70, 50, 20))),
    (circle(26.3, 20.6, 1.6), solid((232, 196, 110))),
    (circle(26.3, 20.6, 0.55), solid((90, 64, 24))),
    (segment(24.3, 23.9, 28.3, 23.9, 0.35), solid((70, 42, 22))),
    (segment(24.3, 25.2, 28.3, 25.2, 0.35), solid((70, 42, 22))),
]


def render():
    """The picture as rows of (r, g, b, a), alpha straight (not premultiplied)."""
    n = SUPERSAMPLE
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc_r = acc_g = acc_b = acc_a = 0
            for sy in range(n):
                for sx in range(n):
                    x = px + (sx + 0.5) / n
                    y = py + (sy + 0.5) / n
                    hit = None
                    for inside, colour in SHAPES:
                        if inside(x, y):
                            hit = colour(x, y)
                    if hit is not None:
                        acc_r += hit[0]
                        acc_g += hit[1]
                        acc_b += hit[2]
                        acc_a += 1
            if acc_a:
                colour = (round(acc_r / acc_a), round(acc_g / acc_a), round(acc_b / acc_a))
                alpha = round(255 * acc_a / (n * n))
            else:
                colour, alpha = (0, 0, 0), 0
            row.append(colour + (alpha,))
        rows.append(row)
    return rows


# --- icon file ----------------------------------------------------------------

def and_mask(rows, opaque):
    """1-bit mask, bottom-up, rows padded to 32 bits: 1 = transparent."""
    out = bytearray()
    for row in reversed(rows):
        bits = 0
        for x, px in enumerate(row):
            if not opaque(px):
                bits |= 1 << (31 - x)
        out += struct.pack(">I", bits)
    return bytes(out)


def bitmap_header(bit_count, image_size, colours_used):
    # Height counts the colour bitmap and the mask together.
    return struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bit_count, 0, image_size, 0, 0,
                       colours_used, 0)


def image_32bpp(rows):
    xor = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a)) if a else b"\0\0\0\0"
    mask = and_mask(rows, lambda px: px[3] != 0)
    return bitmap_header(32, len(xor) + len(mask), 0) + bytes(xor) + mask


def median_cut(colours, count):
    """At most `count` representative colours of a list of (r, g, b)."""
    boxes = [sorted(set(colours))]
    while len(boxes) < count:
        # Split the box whose widest channel spans the most.
        def spread(box):
            return max(max(c[i] for c in box) - min(c[i] for c in box) for i in range(3))
        box = max((b for b in boxes if len(b) > 1), key=spread, default=None)
        if box is None or spread(box) == 0:
            break
        channel = max(range(3), key=lambda i: max(c[i] for c in box) - min(c[i] for c in box))
        box.sort(key=lambda c: c[channel])
        half = len(box) // 2
        boxes.remove(box)
        boxes += [box[:half], box[half:]]
    return [tuple(round(sum(c[i] for c in box) / len(box)) for i in range(3)) for box in boxes]


def image_8bpp(rows):
    # The picture's own colours, cut down to 255; entry 0 stays black for the
    # transparent pixels (black XOR leaves the screen as the mask left it).
    opaque = lambda px: px[3] >= 128  # noqa: E731
    colours = [px[:3] for row in rows for px in row if opaque(px)]
    palette = [(0, 0, 0)] + median_cut(colours, 255)
    palette += [(0, 0, 0)] * (256 - len(palette))

    def nearest(rgb):
        return min(range(1, 256), key=lambda i: sum((a - b) ** 2 for a, b in zip(rgb, palette[i])))

    index_of = {c: nearest(c) for c in set(colours)}
    xor = bytearray()
    for row in reversed(rows):
        for px in row:
            xor.append(index_of[px[:3]] if opaque(px) else 0)
    mask = and_mask(rows, opaque)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return bitmap_header(8, len(xor) + len(mask), 256) + table + bytes(xor) + mask


def icon_file(images):
    """images: list of (bit_count, colour_count_byte, data)."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    body = b""
    for bit_count, colour_count, data in images:
        entries += struct.pack("<BBBBHHII", SIZE, SIZE, colour_count, 0, 1, bit_count,
                               len(data), offset + len(body))
        body += data
    return header + entries + body


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "chanwiz.ico")
    rows = render()
    data = icon_file([
        (8, 0, image_8bpp(rows)),    # 256 colours: the count byte is 0
        (32, 0, image_32bpp(rows)),
    ])
    with open(out, "wb") as f:
        f.write(data)
    print("%s: %d bytes" % (out, len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
