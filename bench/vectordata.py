#!/usr/bin/python3
"""Writes the vector tools' benchmark data into a directory, the same on every run.

  vectordata.py DIR polygons   polygons.csv: 2000 polygons of 5-30 vertices, every fourth with a hole
  vectordata.py DIR points     points.csv: 200000 points; points.txt the same as "x y" lines
  vectordata.py DIR lines      lines.csv: 20000 polylines of 10 segments

All of it over the benchmark rasters' square, 10 km from (500000, 4100000) in UTM zone 33N.
The CSV files carry WKT geometries for ogr2ogr to turn into shapefiles.
"""
import math
import os
import sys

import numpy as np

SIDE = 10000.0
WEST, NORTH = 500000.0, 4100000.0


def star(cx, cy, radius, n, rng, clockwise):
    # Evenly spread angles with some jitter, so that the ring keeps clear of its centre.
    start = rng.uniform(0, 2 * math.pi)
    angles = start + (np.arange(n) + rng.uniform(-0.3, 0.3, n)) * 2 * math.pi / n
    if clockwise:
        angles = angles[::-1]
    radii = radius * rng.uniform(0.55, 1.0, n)
    pts = [(cx + r * math.cos(a), cy + r * math.sin(a)) for a, r in zip(angles, radii)]
    pts.append(pts[0])
    return "(" + ",".join("%.3f %.3f" % p for p in pts) + ")"


def polygons(directory, rng):
    # One polygon per slot of a 45 x 45 grid over the raster: they never overlap.
    slot = SIDE / 45
    with open(os.path.join(directory, "polygons.csv"), "w") as f:
        f.write("WKT,ID\n")
        for i in range(2000):
            cx = WEST + (i % 45 + 0.5) * slot
            cy = NORTH - (i // 45 + 0.5) * slot
            radius = slot * rng.uniform(0.25, 0.48)
            rings = [star(cx, cy, radius, int(rng.integers(5, 31)), rng, True)]
            if i % 4 == 0:
                rings.append(star(cx, cy, radius * 0.2, int(rng.integers(5, 12)), rng, False))
            f.write('"POLYGON (%s)",%d\n' % (",".join(rings), i + 1))


def points(directory, rng):
    # Over the raster and a little beyond it.
    x = rng.uniform(WEST - 100, WEST + SIDE + 100, 200000)
    y = rng.uniform(NORTH - SIDE - 100, NORTH + 100, 200000)
    with open(os.path.join(directory, "points.csv"), "w") as f:
        f.write("X,Y,ID\n")
        for i in range(len(x)):
            f.write("%.3f,%.3f,%d\n" % (x[i], y[i], i + 1))
    np.savetxt(os.path.join(directory, "points.txt"), np.column_stack([x, y]), fmt="%.3f")


def lines(directory, rng):
    with open(os.path.join(directory, "lines.csv"), "w") as f:
        f.write("WKT,ID,NAME\n")
        for i in range(20000):
            x = rng.uniform(WEST, WEST + SIDE)
            y = rng.uniform(NORTH - SIDE, NORTH)
            steps = rng.uniform(-40, 40, size=(10, 2))
            pts = [(x, y)]
            for dx, dy in steps:
                pts.append((pts[-1][0] + dx, pts[-1][1] + dy))
            f.write('"LINESTRING (%s)",%d,road %d\n' % (",".join("%.3f %.3f" % p for p in pts), i + 1, i % 97))


if __name__ == "__main__":
    directory, what = sys.argv[1], sys.argv[2]
    rng = np.random.default_rng({"polygons": 2, "points": 3, "lines": 4}[what])
    globals()[what](directory, rng)
