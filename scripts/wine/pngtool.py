#!/usr/bin/env python3
"""PNG files of the wizard's pages (Python standard library only).

  pngtool.py check FILE...      each file is a whole, readable PNG of a
                                plausible size for a page or message box
                                (120x60 to 1024x768, at least 3 colours);
                                prints "FILE: WxH, N colours" or why not
  pngtool.py same A B           exit 0 when both have the same size and the
                                same pixels (however they are compressed)
  pngtool.py recompress IN OUT  the same picture, deflated at level 9
                                (ui-driver.exe stores its pixels uncompressed)

Exit 0 when all is well, 1 when a check fails, 2 on a file that cannot be read.
"""
import struct
import sys
import zlib

SIGNATURE = b"\x89PNG\r\n\x1a\n"
CHANNELS = {0: 1, 2: 3, 4: 2, 6: 4}  # colour type -> samples per pixel (8-bit)


class PngError(Exception):
    pass


def read_png(path):
    """(width, height, channels, rows): rows of unfiltered bytes."""
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(SIGNATURE):
        raise PngError("no PNG signature")
    at, ihdr, idat, ended = len(SIGNATURE), None, [], False
    while at < len(data):
        if at + 12 > len(data):
            raise PngError("a chunk is cut off")
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + size]
        if len(body) != size or at + 12 + size > len(data):
            raise PngError("chunk %r is cut off" % kind)
        crc = struct.unpack(">I", data[at + 8 + size:at + 12 + size])[0]
        if zlib.crc32(kind + body) & 0xFFFFFFFF != crc:
            raise PngError("chunk %r has a wrong CRC" % kind)
        at += 12 + size
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            ended = True
            break
    if ihdr is None or not idat or not ended:
        raise PngError("IHDR, IDAT or IEND missing")
    width, height, depth, ctype, _, _, interlace = ihdr
    if depth != 8 or ctype not in CHANNELS or interlace != 0:
        raise PngError("unexpected format (depth %d, colour type %d, interlace %d)" % (depth, ctype, interlace))
    try:
        raw = zlib.decompress(b"".join(idat))
    except zlib.error as e:
        raise PngError("pixel data do not inflate: %s" % e)
    bpp = CHANNELS[ctype]
    stride = width * bpp
    if len(raw) != height * (stride + 1):
        raise PngError("pixel data are %d bytes, %dx%d needs %d" % (len(raw), width, height, height * (stride + 1)))
    rows, prev = [], bytearray(stride)
    for y in range(height):
        ftype = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if ftype == 1:
            for x in range(bpp, stride):
                line[x] = (line[x] + line[x - bpp]) & 0xFF
        elif ftype == 2:
            for x in range(stride):
                line[x] = (line[x] + prev[x]) & 0xFF
        elif ftype == 3:
            for x in range(stride):
                left = line[x - bpp] if x >= bpp else 0
                line[x] = (line[x] + ((left + prev[x]) >> 1)) & 0xFF
        elif ftype == 4:
            for x in range(stride):
                a = line[x - bpp] if x >= bpp else 0
                b, c = prev[x], prev[x - bpp] if x >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        elif ftype != 0:
            raise PngError("row %d has filter type %d" % (y, ftype))
        rows.append(bytes(line))
        prev = line
    return width, height, bpp, rows


def write_png(path, width, height, bpp, rows):
    ctype = {v: k for k, v in CHANNELS.items()}[bpp]

    def chunk(kind, payload):
        return (struct.pack(">I", len(payload)) + kind + payload
                + struct.pack(">I", zlib.crc32(kind + payload) & 0xFFFFFFFF))

    raw = b"".join(b"\x00" + r for r in rows)
    with open(path, "wb") as f:
        f.write(SIGNATURE + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, ctype, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def colours(width, bpp, rows, limit=64):
    seen = set()
    for r in rows:
        for x in range(0, width * bpp, bpp):
            seen.add(r[x:x + bpp])
            if len(seen) >= limit:
                return len(seen)
    return len(seen)


def cmd_check(paths):
    bad = 0
    for p in paths:
        try:
            w, h, bpp, rows = read_png(p)
        except (OSError, PngError) as e:
            print("%s: %s" % (p, e))
            bad += 1
            continue
        n = colours(w, bpp, rows)
        why = []
        if not (120 <= w <= 1024 and 60 <= h <= 768):
            why.append("size %dx%d is not that of a page or box" % (w, h))
        if n < 3:
            why.append("only %d colour(s): an empty picture" % n)
        print("%s: %dx%d, %s colours%s" % (p, w, h, "64+" if n >= 64 else n, "; " + "; ".join(why) if why else ""))
        bad += bool(why)
    return 1 if bad else 0


def main(argv):
    try:
        if len(argv) >= 2 and argv[0] == "check":
            return cmd_check(argv[1:])
        if len(argv) == 3 and argv[0] == "same":
            return 0 if read_png(argv[1]) == read_png(argv[2]) else 1
        if len(argv) == 3 and argv[0] == "recompress":
            write_png(argv[2], *read_png(argv[1]))
            return 0
    except (OSError, PngError) as e:
        print("pngtool: %s" % e, file=sys.stderr)
        return 2
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
