// Small rasters written with GDAL itself, for the tools' tests.
#pragma once

#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace plenth::test {

// A raster of `values.size()` bands: band b's cell i holds values[b][i], in the file's
// order from its first row. The default corner and cells are those of a 30 m grid; the
// default format GeoTIFF.
template <class T>
void WriteRaster(const std::string& path, GDALDataType type, int cols, int rows, const std::vector<std::vector<T>>& values,
                 double nodata, std::array<double, 6> gt = {500000.5, 30, 0, 4100060, 0, -30},
                 const char* format = "GTiff") {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(format);
  GDALDatasetUniquePtr ds(driver->Create(path.c_str(), cols, rows, static_cast<int>(values.size()), type, nullptr));
  ASSERT_TRUE(ds);
  ASSERT_EQ(ds->SetGeoTransform(gt.data()), CE_None);
  for (std::size_t b = 0; b < values.size(); ++b) {
    GDALRasterBand* band = ds->GetRasterBand(static_cast<int>(b) + 1);
    ASSERT_EQ(band->SetNoDataValue(nodata), CE_None);
    std::vector<T> cells = values[b];
    EXPECT_EQ(band->RasterIO(GF_Write, 0, 0, cols, rows, cells.data(), cols, rows, type, 0, 0), CE_None);
  }
}

}  // namespace plenth::test
