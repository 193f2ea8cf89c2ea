#!/usr/bin/env python3
"""Convert an X window dump (xwd, TrueColor 24/32 bpp ZPixmap) to PNG.

Uses only the Python standard library, so a screenshot of an Xvfb screen needs
no more than `xwd` (x11-apps):   xwd -root -silent | xwd2png.py - shot.png
"""
import struct
import sys
import zlib


def read_xwd(data):
    (header_size, version, pixmap_format, depth, width, height, _xoff, byte_order,
     _unit, _bit_order, _pad, bpp, bytes_per_line, _vclass, red_mask, green_mask,
     blue_mask, _bits_rgb, _cmap_entries, ncolors) = struct.unpack_from(">20I", data, 0)
    if version != 7 or pixmap_format != 2:
        raise ValueError("unsupported xwd (version %d, format %d)" % (version, pixmap_format))
    if bpp not in (24, 32):
        raise ValueError("unsupported xwd bits per pixel %d (depth %d)" % (bpp, depth))
    offset = header_size + ncolors * 12
    pixels = data[offset:offset + bytes_per_line * height]
    if len(pixels) < bytes_per_line * height:
        raise ValueError("truncated xwd")

    def shift_of(mask):
        s = 0
        while mask and not (mask >> s) & 1:
            s += 1
        return s

    rs, gs, bs = shift_of(red_mask), shift_of(green_mask), shift_of(blue_mask)
    step = bpp // 8
    endian = "little" if byte_order == 0 else "big"
    rows = []
    fast = (step == 4 and endian == "little" and red_mask == 0xFF0000
            and green_mask == 0x00FF00 and blue_mask == 0x0000FF)
    for y in range(height):
        line = pixels[y * bytes_per_line:y * bytes_per_line + width * step]
        if fast:  # BGRX -> RGB
            row = bytearray(width * 3)
            row[0::3] = line[2::4]
            row[1::3] = line[1::4]
            row[2::3] = line[0::4]
        else:
            row = bytearray()
            for x in range(width):
                v = int.from_bytes(line[x * step:(x + 1) * step], endian)
                row += bytes(((v & red_mask) >> rs & 0xFF, (v & green_mask) >> gs & 0xFF,
                              (v & blue_mask) >> bs & 0xFF))
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, payload):
        return (struct.pack(">I", len(payload)) + kind + payload
                + struct.pack(">I", zlib.crc32(kind + payload) & 0xFFFFFFFF))

    raw = b"".join(b"\x00" + r for r in rows)
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 6))
           + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def main():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: xwd2png.py IN.xwd|- OUT.png\n")
        return 2
    src = sys.stdin.buffer.read() if sys.argv[1] == "-" else open(sys.argv[1], "rb").read()
    width, height, rows = read_xwd(src)
    write_png(sys.argv[2], width, height, rows)
    return 0


if __name__ == "__main__":
    sys.exit(main())
