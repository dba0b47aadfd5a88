#!/usr/bin/python3
"""Writes animated GIFs with Pillow into OUTDIR, each frame's pixels as Pillow composes them
(NAME_I.rgb, RGB bytes) and a manifest of "NAME FRAMES" lines. Frames share one palette and
use no disposal or transparency, where Pillow composes as the program does. The first frame
holds every palette entry so that later frames' colours exist in the first frame's table.
Run with Debian's /usr/bin/python3."""
import sys

import numpy as np
from PIL import Image


def palette_image(indexes, palette):
    im = Image.fromarray(indexes.astype(np.uint8), "P")
    im.putpalette(palette)
    return im


def main(out):
    rng = np.random.default_rng(3)
    cases = []
    for name, (w, h, count, colors) in {"patches": (40, 30, 6, 16), "wide": (97, 13, 4, 256)}.items():
        palette = [int(v) for v in rng.integers(0, 256, colors * 3)]
        base = rng.integers(0, colors, (h, w))
        base.reshape(-1)[:colors] = np.arange(colors)
        frames = [palette_image(base, palette)]
        current = base.copy()
        for _ in range(count - 1):
            x, y = rng.integers(0, w - 5), rng.integers(0, h - 5)
            current[y:y + 5, x:x + 5] = rng.integers(0, colors, (5, 5))
            frames.append(palette_image(current, palette))
        frames[0].save(f"{out}/{name}.gif", save_all=True, append_images=frames[1:], loop=0,
                       duration=100)
        im = Image.open(f"{out}/{name}.gif")
        for i in range(im.n_frames):
            im.seek(i)
            with open(f"{out}/{name}_{i}.rgb", "wb") as f:
                f.write(im.convert("RGB").tobytes())
        cases.append((name, im.n_frames))
    with open(f"{out}/manifest.txt", "w") as manifest:
        for name, count in cases:
            manifest.write(f"{name} {count}\n")


if __name__ == "__main__":
    main(sys.argv[1])
