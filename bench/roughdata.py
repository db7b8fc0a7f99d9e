#!/usr/bin/python3
"""Writes the rough benchmark rasters of side N, the same on every run.

  roughdata.py PREFIX N

  PREFIX-dem.tif           FLOAT heights drawn uniformly from 0 to 3000 m (no-data -9999,
                           none of them no-data): nearly every value has seven significant
                           digits in the grid text format
  PREFIX-short.tif         SHORT: the same heights rounded to whole metres
  PREFIX-trails.tif        byte, 5 % of the cells 1, the rest 0 (no-data 0)
  PREFIX-streams.tif       byte, 3 % of the cells 1, the rest 0 (no-data 0)
  PREFIX-groundcover.tif   byte, classes 0 to 9 drawn uniformly (no-data 255)

Every raster lies on the grid of the smooth ones: square cells of 10000 / N m from
(500000, 4100000) in UTM zone 33N.
"""
import sys

import numpy as np
from osgeo import gdal, osr

gdal.UseExceptions()


def write(path, cells, gdal_type, nodata, cell):
    rows, cols = cells.shape
    ds = gdal.GetDriverByName("GTiff").Create(path, cols, rows, 1, gdal_type)
    ds.SetGeoTransform((500000.0, cell, 0.0, 4100000.0, 0.0, -cell))
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32633)
    ds.SetProjection(srs.ExportToWkt())
    band = ds.GetRasterBand(1)
    band.SetNoDataValue(nodata)
    band.WriteArray(cells)
    ds = None


def main(prefix, side):
    cell = 10000.0 / side
    rng = np.random.default_rng(side)
    heights = rng.uniform(0.0, 3000.0, size=(side, side)).astype(np.float32)
    write(prefix + "-dem.tif", heights, gdal.GDT_Float32, -9999, cell)
    write(prefix + "-short.tif", np.rint(heights).astype(np.int16), gdal.GDT_Int16, -9999, cell)
    draws = rng.random(size=(side, side), dtype=np.float32)
    write(prefix + "-trails.tif", (draws < 0.05).astype(np.uint8), gdal.GDT_Byte, 0, cell)
    draws = rng.random(size=(side, side), dtype=np.float32)
    write(prefix + "-streams.tif", (draws < 0.03).astype(np.uint8), gdal.GDT_Byte, 0, cell)
    write(prefix + "-groundcover.tif", rng.integers(0, 10, size=(side, side), dtype=np.uint8), gdal.GDT_Byte, 255,
          cell)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]))
