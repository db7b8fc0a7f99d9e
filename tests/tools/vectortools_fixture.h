// What the vector tool tests share: rasters and shapefiles written with GDAL itself, a
// host with the module's extension on and layers from those files, and the attribute
// table read back from disk after a run.
#pragma once

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "gis/gis.h"
#include "host/plenthext.h"
#include "hostapp/layers.h"
#include "hostapp/objects.h"
#include "ui/automation.h"
#include "ui/window.h"

namespace vectortest {

namespace fs = std::filesystem;
namespace ua = ui::automation;

constexpr int kUtm33 = 32633;

// A raster of `cols` x `rows` cells given row by row from the top; the corner is the
// north-west one.
template <class T>
void WriteRaster(const fs::path& path, GDALDataType type, int cols, int rows, std::vector<T> cells,
                 std::array<double, 6> gt, int epsg = kUtm33, std::optional<double> nodata = {}) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
  GDALDatasetUniquePtr ds(driver->Create(path.c_str(), cols, rows, 1, type, nullptr));
  ASSERT_TRUE(ds);
  ASSERT_EQ(ds->SetGeoTransform(gt.data()), CE_None);
  OGRSpatialReference srs;
  srs.importFromEPSG(epsg);
  ASSERT_EQ(ds->SetSpatialRef(&srs), CE_None);
  GDALRasterBand* band = ds->GetRasterBand(1);
  if (nodata) {
    ASSERT_EQ(band->SetNoDataValue(*nodata), CE_None);
  }
  ASSERT_EQ(band->RasterIO(GF_Write, 0, 0, cols, rows, cells.data(), cols, rows, type, 0, 0), CE_None);
}

// A value of an attribute column: none (NULL), an integer, a real or a text.
using Value = std::variant<std::monostate, long long, double, std::string>;

struct Column {
  std::string name;
  OGRFieldType type;
};

struct Row {
  std::string wkt;  // "" for a feature without a shape
  std::vector<Value> values;
};

void WriteShapefile(const fs::path& path, OGRwkbGeometryType type, const std::vector<Column>& columns,
                    const std::vector<Row>& rows, int epsg = kUtm33);

// The table as it is on disk: its column names, and each feature's shape and values.
struct Table {
  std::vector<std::string> columns;
  std::vector<OGRFieldType> types;
  std::vector<Row> rows;
  // The values of one column, feature by feature.
  std::vector<Value> Of(const std::string& column) const;
};
Table ReadShapefile(const fs::path& path);

// A host with the module's extension on, a map of layers, and a command of the module
// handed the host's application.
class Host {
 public:
  Host();
  ~Host();
  void AddLayer(const fs::path& file, const std::string& name);
  void AddLayer(Layer* layer);
  template <class C>
  com::ComPtr<C> Command() {
    auto command = com::MakeObject<C>();
    EXPECT_EQ(command->OnCreate(app->Identity()), S_OK);
    commands_.push_back(com::ComPtr<IUnknown>(command->Identity()));
    return command;
  }
  std::string Status() const { return app->statusBar().Text(0); }

  com::ComPtr<hostapp::HostApplicationImpl> app;

 private:
  com::ComPtr<plenth::PlenthExt> ext_;
  std::vector<com::ComPtr<IUnknown>> commands_;
};

class VectorToolsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  fs::path At(const std::string& name) const { return dir_ / name; }

  fs::path dir_;
};

}  // namespace vectortest
