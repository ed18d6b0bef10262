#!/usr/bin/env python3
"""Writes photo.pgm, the sample document's grey "photograph": a procedural landscape (sky, sun,
two mountain ridges, a lake with their reflection and some grain), 320 x 200 pixels, P5."""
import math
import random

W, H = 320, 200
HORIZON = 132
GRAIN = random.Random(7)


def ridge(x, base, amplitude, salt):
    # A few sines of falling size make a mountain outline.
    r = random.Random(salt)
    phases = [r.uniform(0, 6.28) for _ in range(5)]
    y = base
    for k, p in enumerate(phases):
        y -= amplitude / (k + 1) * (0.5 + 0.5 * math.sin(x / (60.0 / (k + 1)) + p))
    return y


def scene(x, y):
    far, near = ridge(x, HORIZON, 70, 1), ridge(x, HORIZON, 38, 2)
    if y < HORIZON:
        if y >= near:
            return 55 + 45 * (y - near) / max(1, HORIZON - near) + 10 * math.sin(x * 0.21) * math.sin(y * 0.37)
        if y >= far:
            return 120 + 30 * (y - far) / max(1, HORIZON - far)
        d = math.hypot(x - 240, y - 38)
        sky = 150 + 95 * y / HORIZON
        return 255 if d < 14 else min(255, sky + max(0, 60 - d) * 0.8)
    # The lake mirrors the land and sky above the horizon, darker and rippled.
    m = 2 * HORIZON - y + 1.5 * math.sin(x * 0.15 + y * 0.6)
    return 0.75 * scene(x, max(0, min(HORIZON - 1, m)))


pixels = bytearray()
for y in range(H):
    for x in range(W):
        v = scene(x, y) + GRAIN.gauss(0, 6)
        pixels.append(max(0, min(255, int(v))))
with open("photo.pgm", "wb") as f:
    f.write(b"P5\n# rastrel-print sample photograph (made by make_photo.py)\n%d %d\n255\n" % (W, H))
    f.write(pixels)
