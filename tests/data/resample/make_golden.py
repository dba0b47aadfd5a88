#!/usr/bin/python3
"""Golden values for the resampler tests, computed from the filter formulas in numpy float32.

Source: an 8 x 6 two-tone checkerboard of 2 x 2 squares (B,G,R) = (20,40,60) / (220,200,180).
For each of the seven filters it is enlarged to 13 x 9 and reduced to 3 x 2; each output line is
FILTER WxH followed by the B,G,R bytes of every pixel, rows top-down. Run it to rewrite
golden.txt:  /usr/bin/python3 make_golden.py > golden.txt
"""
import math
import numpy as np

f32 = np.float32
PI = f32(3.14159265358979323846)


def sinc(u):
    if u == f32(0):
        return f32(1)
    x = f32(u * PI)
    return f32(f32(math.sin(float(x))) / x)


def box(x):
    return f32(1) if f32(-0.5) < x <= f32(0.5) else f32(0)


def triangle(x):
    t = abs(x)
    return f32(f32(1) - t) if t < f32(1) else f32(0)


def hermite(x):
    t = abs(x)
    return f32(f32(f32(f32(f32(2) * t) - f32(3)) * t) * t + f32(1)) if t < f32(1) else f32(0)


def bell(x):
    t = abs(x)
    if t < f32(0.5):
        return f32(f32(0.75) - f32(t * t))
    if t < f32(1.5):
        d = f32(t - f32(1.5))
        return f32(f32(0.5) * f32(d * d))
    return f32(0)


def bspline(x):
    t = abs(x)
    if t < f32(1):
        return f32(f32(f32(f32(f32(0.5) * t) * t) * t - f32(t * t)) + f32(f32(2) / f32(3)))
    if t < f32(2):
        d = f32(f32(2) - t)
        return f32(f32(f32(d * d) * d) / f32(6))
    return f32(0)


def mitchell(x):
    t = abs(x)
    if t < f32(1):
        a = f32(f32(f32(f32(7) * t) * t) * t)
        b = f32(f32(f32(12) * t) * t)
        return f32(f32(f32(a - b) + f32(f32(16) / f32(3))) / f32(6))
    if t < f32(2):
        a = f32(f32(f32(-(f32(7) / f32(3)) * t) * t) * t)
        b = f32(f32(f32(12) * t) * t)
        c = f32(f32(20) * t)
        return f32(f32(f32(f32(a + b) - c) + f32(f32(32) / f32(3))) / f32(6))
    return f32(0)


def lanczos3(x):
    t = abs(x)
    return f32(sinc(t) * sinc(f32(t / f32(3)))) if t < f32(3) else f32(0)


FILTERS = [("Box", box, 0.5), ("Triangle", triangle, 1.0), ("Hermite", hermite, 1.0),
           ("Bell", bell, 1.5), ("B-Spline", bspline, 2.0), ("Mitchell", mitchell, 2.0),
           ("Lanczos3", lanczos3, 3.0)]


def scale_of(dest, src):
    if src == 1 or dest == 1:
        return f32(f32(dest) / f32(src))
    return f32(f32(dest - 1) / f32(src - 1))


def weights(dest, src, s, support, fn):
    reach, divisor = f32(support), f32(1)
    if s < f32(1):
        reach = f32(f32(support) / s)
        divisor = f32(f32(1) / s)
    lists = []
    for i in range(dest):
        centre = f32(f32(i) / s)
        left = math.floor(f32(centre - reach))
        right = math.ceil(f32(centre + reach))
        entries = []
        for j in range(left, right + 1):
            w = f32(fn(f32(f32(centre - f32(j)) / divisor)) / divisor)
            if w == f32(0):
                continue
            n = -j if j < 0 else (j if j < src else 2 * src - j - 1)
            entries.append((min(max(n, 0), src - 1), w))
        lists.append(entries)
    return lists


def to_byte(v):
    if v > f32(255):
        return 255
    if v < f32(0):
        return 0
    return int(np.rint(v))


def filter_line(pixels, lists):
    out = []
    for entries in lists:
        sums = [f32(0)] * 3
        for n, w in entries:
            sums = [f32(sums[c] + f32(w * f32(pixels[n][c]))) for c in range(3)]
        out.append(tuple(to_byte(v) for v in sums))
    return out


def resize(image, w2, h2, fn, support):
    h, w = len(image), len(image[0])
    cols = weights(w2, w, scale_of(w2, w), support, fn)
    inter = [filter_line(row, cols) for row in image]
    rows = weights(h2, h, scale_of(h2, h), support, fn)
    columns = [filter_line([inter[y][x] for y in range(h)], rows) for x in range(w2)]
    return [[columns[x][y] for x in range(w2)] for y in range(h2)]


def checkerboard():
    dark, light = (20, 40, 60), (220, 200, 180)
    return [[dark if ((x // 2) + (y // 2)) % 2 == 0 else light for x in range(8)] for y in range(6)]


if __name__ == "__main__":
    src = checkerboard()
    for name, fn, support in FILTERS:
        for w2, h2 in ((13, 9), (3, 2)):
            result = resize(src, w2, h2, fn, support)
            values = " ".join(f"{p[0]},{p[1]},{p[2]}" for row in result for p in row)
            print(f"{name} {w2}x{h2} {values}")
