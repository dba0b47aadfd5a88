#!/usr/bin/python3
"""Writes animated GIFs with Pillow into OUTDIR, then dumps every GIF in OUTDIR (these and any
the caller put there) as Pillow composes it: each frame's pixels as NAME_I.rgb (RGB bytes) and a
manifest of "NAME FRAMES" lines.

Pillow's own GIFs: "primaries" (solid red, green, blue, orange frames: a table per frame),
"shared" (one global table for every frame), "subset" (the same frames, each later one with a
table of its own colours, all of them in the first frame's table) and "radar" (a moving blob over
a map: a table per frame). Later frames are cropped to what changed. Run with Debian's
/usr/bin/python3."""
import pathlib
import sys

import numpy as np
from PIL import Image


def save(frames, path, **options):
    frames[0].save(path, save_all=True, append_images=frames[1:], loop=0, duration=100, **options)


def primaries(out):
    colours = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 165, 0)]
    save([Image.new("RGB", (16, 8), c) for c in colours], out / "primaries.gif")


def patches(out):
    rng = np.random.default_rng(5)
    palette = [int(v) for v in rng.integers(0, 256, 16 * 3)]
    current = rng.integers(0, 16, (12, 20))
    current.reshape(-1)[:16] = np.arange(16)  # every entry used, so Pillow keeps the table whole
    frames = []
    for _ in range(4):
        im = Image.fromarray(current.astype(np.uint8), "P")
        im.putpalette(palette)
        frames.append(im)
        current = current.copy()
        current[3:7, 4:11] = rng.integers(0, 16, (4, 7))
    # Given the table, Pillow writes it once; otherwise each cropped frame gets its own.
    save(frames, out / "shared.gif", palette=bytes(palette))
    save(frames, out / "subset.gif")


def radar(out):
    # A map of 90 colours and a blob whose colours change each frame: a few hundred colours
    # over all the frames, each frame's within 256, so Pillow stores every frame exactly.
    width, height = 120, 90
    y, x = np.mgrid[0:height, 0:width]
    background = np.stack(
        [x // 12 * 20 + 30, y // 10 * 20 + 40, ((x // 12 + y // 10) % 4) * 50 + 20], -1)
    frames = []
    for k in range(20):
        frame = background.copy()
        distance = np.hypot(x - (20 + 4 * k), y - (40 + int(15 * np.sin(k / 3))))
        inside = distance < 14
        level = (distance[inside] // 2).astype(int)
        frame[inside] = np.stack(
            [255 - 20 * level, (11 * k + 17 * level) % 256, (35 * level + 7 * k) % 256], -1)
        frames.append(Image.fromarray(frame.astype(np.uint8), "RGB"))
    save(frames, out / "radar.gif")


def dump(out):
    with open(out / "manifest.txt", "w") as manifest:
        for path in sorted(out.glob("*.gif")):
            im = Image.open(path)
            for i in range(im.n_frames):
                im.seek(i)
                (out / f"{path.stem}_{i}.rgb").write_bytes(im.convert("RGB").tobytes())
            manifest.write(f"{path.stem} {im.n_frames}\n")


def main(out):
    for make in (primaries, patches, radar):
        make(out)
    dump(out)


if __name__ == "__main__":
    main(pathlib.Path(sys.argv[1]))
