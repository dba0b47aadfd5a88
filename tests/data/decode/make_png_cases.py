#!/usr/bin/python3
"""Writes the PNG decoder's reference cases into OUTDIR: NAME.png beside NAME.rgb, the pixels
Pillow decodes (as RGB, 16-bit samples reduced to their high byte), and a manifest of
"NAME WIDTH HEIGHT" lines. Pillow writes what it can; a small encoder below writes the rest
(2- and 4-bit grey, 16-bit colour, Adam7 interlacing, every filter type), so that the pixels the
test expects never come from the decoder under test. Run with Debian's /usr/bin/python3."""
import struct
import sys
import zlib

import numpy as np
from PIL import Image

ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
         (0, 1, 1, 2)]
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def pack_row(samples, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", int(s)) for s in samples)
    if depth == 8:
        return bytes(int(s) for s in samples)
    out, acc, used = bytearray(), 0, 0
    for s in samples:
        acc = (acc << depth) | int(s)
        used += depth
        if used == 8:
            out.append(acc)
            acc, used = 0, 0
    if used:
        out.append(acc << (8 - used))
    return bytes(out)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def filter_row(kind, row, prev, bpp):
    out = bytearray([kind])
    for i, x in enumerate(row):
        a = row[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
        out.append((x - pred) & 0xFF)
    return bytes(out)


def write_png(path, pixels, color_type, depth, interlace, palette=None, trns=None):
    """pixels: array of shape (height, width, channels) of sample values."""
    height, width, channels = pixels.shape
    bpp = max(1, channels * depth // 8)
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    raw = bytearray()
    row_number = 0
    for x0, y0, dx, dy in passes:
        sub = pixels[y0::dy, x0::dx]
        if sub.shape[0] == 0 or sub.shape[1] == 0:
            continue
        prev = bytes(len(pack_row(sub[0].reshape(-1), depth)))
        for row in sub:
            packed = pack_row(row.reshape(-1), depth)
            raw += filter_row(row_number % 5, packed, prev, bpp)
            prev = packed
            row_number += 1
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0,
                                      interlace))
    if palette is not None:
        png += chunk(b"PLTE", bytes(np.asarray(palette, dtype=np.uint8).reshape(-1)))
    if trns is not None:
        png += chunk(b"tRNS", trns)
    data = zlib.compress(bytes(raw), 9)
    png += chunk(b"IDAT", data[: len(data) // 2]) + chunk(b"IDAT", data[len(data) // 2:])
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def reference(path):
    """Pillow's pixels as RGB bytes; 16-bit grey reduced to its high byte."""
    im = Image.open(path)
    im.load()
    if im.mode in ("I", "I;16", "I;16B"):
        grey = (np.asarray(im).astype(np.uint32) >> 8).astype(np.uint8)
        return np.repeat(grey[:, :, None], 3, axis=2).tobytes()
    return im.convert("RGB").tobytes()


def main(out):
    rng = np.random.default_rng(7)
    cases = []
    depths = {0: [1, 2, 4, 8, 16], 2: [8, 16], 3: [1, 2, 4, 8], 4: [8, 16], 6: [8, 16]}
    sizes = [(13, 7), (1, 1), (2, 2), (7, 1), (3, 9)]
    for color_type, allowed in depths.items():
        for depth in allowed:
            for interlace in (0, 1):
                for w, h in (sizes if interlace else sizes[:1]):
                    name = f"ct{color_type}_d{depth}_i{interlace}_{w}x{h}"
                    top = 1 << depth
                    palette = None
                    if color_type == 3:
                        entries = min(top, 200)
                        palette = rng.integers(0, 256, (entries, 3))
                        top = entries
                    pixels = rng.integers(0, top, (h, w, CHANNELS[color_type]))
                    write_png(f"{out}/{name}.png", pixels, color_type, depth, interlace, palette)
                    cases.append((name, w, h))
    photo = rng.integers(0, 256, (24, 31, 3), dtype=np.uint8)
    saved = {
        "pil_rgb": Image.fromarray(photo),
        "pil_rgba": Image.fromarray(photo).convert("RGBA"),
        "pil_l": Image.fromarray(photo).convert("L"),
        "pil_la": Image.fromarray(photo).convert("LA"),
        "pil_1": Image.fromarray(photo).convert("1"),
        "pil_p": Image.fromarray(photo).convert("P"),
        "pil_i16": Image.fromarray((photo[:, :, 0].astype(np.uint16) * 257 + 3)),
    }
    for name, im in saved.items():
        im.save(f"{out}/{name}.png")
        cases.append((name, im.width, im.height))
    for bits in (1, 2, 4):
        name = f"pil_p{bits}"
        small = Image.fromarray(photo).quantize(colors=1 << bits)
        small.save(f"{out}/{name}.png", bits=bits)
        cases.append((name, small.width, small.height))
    with open(f"{out}/manifest.txt", "w") as manifest:
        for name, w, h in cases:
            with open(f"{out}/{name}.rgb", "wb") as f:
                f.write(reference(f"{out}/{name}.png"))
            manifest.write(f"{name} {w} {h}\n")


if __name__ == "__main__":
    main(sys.argv[1])
