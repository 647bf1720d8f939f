#!/usr/bin/env python3
"""Packs the drawn artwork: 16-colour icons (.ico) and the looping file-copy
animation (.avi, 8-bit palette, RLE8 as the animation control expects).

Usage: pack-artwork.py WORK_DIR OUT_DIR FRAMES
WORK_DIR holds raw 8-bit RGB (name.rgb) and alpha (name.alpha) pictures."""
import os
import struct
import sys

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
INDEX = {rgb: i for i, rgb in enumerate(PALETTE)}


def read_indexed(path, width, height):
    data = open(path, "rb").read()
    assert len(data) == width * height * 3, path
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            o = (y * width + x) * 3
            row.append(INDEX[tuple(data[o:o + 3])])
        rows.append(row)
    return rows


def palette_bytes(count):
    out = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    return out + b"\0" * (4 * (count - len(PALETTE)))


def icon_image(work, name, size):
    pixels = read_indexed(os.path.join(work, name + ".rgb"), size, size)
    alpha = open(os.path.join(work, name + ".alpha"), "rb").read()
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    xor = b""
    for y in reversed(range(size)):
        row = pixels[y]
        packed = bytes((row[x] << 4) | row[x + 1] for x in range(0, size, 2))
        xor += packed + b"\0" * ((-len(packed)) % 4)
    mask = b""
    for y in reversed(range(size)):
        bits = 0
        for x in range(size):
            bits = (bits << 1) | (1 if alpha[y * size + x] < 128 else 0)
        packed = bits.to_bytes(size // 8, "big")
        mask += packed + b"\0" * ((-len(packed)) % 4)
    return header + palette_bytes(16) + xor + mask


def write_icon(path, images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for size, blob in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    open(path, "wb").write(out + b"".join(blobs))


def rle8(rows):
    """Bottom-up RLE8: runs in encoded mode, end of line, end of bitmap."""
    out = bytearray()
    for row in reversed(rows):
        x = 0
        while x < len(row):
            run = 1
            while x + run < len(row) and run < 255 and row[x + run] == row[x]:
                run += 1
            out += bytes((run, row[x]))
            x += run
        out += b"\0\0"
    out[-2:] = b"\0\1"
    return bytes(out)


def chunk(fourcc, data):
    return fourcc + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def write_avi(path, frames, width, height, fps=15):
    count = len(frames)
    biggest = max(len(f) for f in frames)
    bih = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, biggest, 0, 0, 16, 16)
    strf = bih + palette_bytes(16)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"RLE ", 0, 0, 0, 0, 1, fps, 0, count,
                       biggest, 0xFFFFFFFF, 0, 0, 0, width, height)
    avih = struct.pack("<IIIIIIIIII16x", 1000000 // fps, biggest * fps, 0, 0x10, count, 0, 1,
                       biggest, width, height)
    strl = b"strl" + chunk(b"strh", strh) + chunk(b"strf", strf)
    hdrl = b"hdrl" + chunk(b"avih", avih) + b"LIST" + struct.pack("<I", len(strl)) + strl
    movi = b"movi"
    index = b""
    for f in frames:
        index += struct.pack("<4sIII", b"00dc", 0x10, len(movi), len(f))
        movi += chunk(b"00dc", f)
    body = (b"AVI " + b"LIST" + struct.pack("<I", len(hdrl)) + hdrl + b"LIST" +
            struct.pack("<I", len(movi)) + movi + chunk(b"idx1", index))
    open(path, "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)


def main():
    work, out, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    write_icon(os.path.join(out, "app.ico"),
               [(32, icon_image(work, "icon32", 32)), (16, icon_image(work, "icon16", 16))])
    write_icon(os.path.join(out, "binoculars.ico"),
               [(16, icon_image(work, "glyph", 16)), (24, icon_image(work, "glyph24", 24)),
                (32, icon_image(work, "glyph32", 32))])
    frames = [rle8(read_indexed(os.path.join(work, "frame%d.rgb" % i), 272, 60))
              for i in range(count)]
    write_avi(os.path.join(out, "filecopy.avi"), frames, 272, 60)


if __name__ == "__main__":
    main()
