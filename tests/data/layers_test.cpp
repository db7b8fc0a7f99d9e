#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "data/layers.h"
#include "data/processlog.h"
#include "gis/gis.h"
#include "host/command.h"
#include "hostapp/layers.h"
#include "hostapp/objects.h"
#include "resources/resource.h"
#include "ui/automation.h"
#include "ui/window.h"

namespace {

namespace fs = std::filesystem;
namespace ua = ui::automation;
using namespace plenth;

void Raster(const std::string& path, int epsg) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
  GDALDataset* ds = driver->Create(path.c_str(), 4, 3, 1, GDT_Byte, nullptr);
  double gt[6] = {100, 2.5, 0, 50, 0, -2.5};
  ds->SetGeoTransform(gt);
  OGRSpatialReference srs;
  srs.importFromEPSG(epsg);
  ds->SetSpatialRef(&srs);
  GDALClose(ds);
}

void Shapefile(const std::string& path, OGRwkbGeometryType type) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  std::unique_ptr<GDALDataset> ds(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  ds->CreateLayer("x", nullptr, type, nullptr);
}

class LayersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gis::Initialize();
    hostapp::RegisterHostClasses();
    dir_ = fs::temp_directory_path() / ("plenth-layers-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    Raster(Path("utm.tif"), 32633);
    Raster(Path("geo.tif"), 4326);
    Shapefile(Path("roads.shp"), wkbLineString);
    Shapefile(Path("sites.shp"), wkbPoint);
    Shapefile(Path("areas.shp"), wkbPolygon);
    app_ = com::MakeObject<hostapp::HostApplicationImpl>();
    auto& map = app_->document()->focusMap();
    map.AddLayer(hostapp::RasterLayerFromFile(Path("utm.tif"), "elev").get());
    map.AddLayer(hostapp::FeatureLayerFromFile(Path("roads.shp")).get());
    auto group = hostapp::MakeGroupLayer("group");
    group.query<GroupLayer>()->Add(hostapp::RasterLayerFromFile(Path("geo.tif"), "world").get());
    group.query<GroupLayer>()->Add(hostapp::FeatureLayerFromFile(Path("sites.shp")).get());
    map.AddLayer(group.get());
    map.AddLayer(hostapp::RasterLayerFromFile(Path("geo.tif"), "elev").get());  // same name, later
    map.AddLayer(hostapp::FeatureLayerFromFile(Path("areas.shp")).get());
    name_[0] = directory_[0] = 0;
  }
  void TearDown() override {
    app_.reset();
    fs::remove_all(dir_);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  DatasetBuffers Buffers() { return {name_, sizeof name_, directory_, sizeof directory_}; }

  fs::path dir_;
  com::ComPtr<hostapp::HostApplicationImpl> app_;
  char name_[50];
  char directory_[255];
};

std::string SourceOf(Layer* layer) {
  com::ComPtr<DatasetName> name;
  com::ComPtr<Layer>(layer).query<DataLayer>()->get_DataSourceName(name.put());
  com::BStr n;
  name->get_Name(n.put());
  return n.utf8();
}

TEST_F(LayersTest, FindsTheFirstLayerOfAKindByExactName) {
  auto elev = FindLayerByName(app_.get(), kRasterLayerKind, "elev");
  ASSERT_TRUE(elev);
  EXPECT_EQ(SourceOf(elev.get()), "utm.tif");  // the first in map order
  EXPECT_TRUE(FindLayerByName(app_.get(), kRasterLayerKind, "world"));  // inside a group
  EXPECT_FALSE(FindLayerByName(app_.get(), kRasterLayerKind, "Elev"));   // letter case matters
  EXPECT_FALSE(FindLayerByName(app_.get(), kRasterLayerKind, "roads"));  // a feature layer
  EXPECT_TRUE(FindLayerByName(app_.get(), kFeatureLayerKind, "sites"));
  EXPECT_FALSE(FindLayerByName(nullptr, kRasterLayerKind, "elev"));
}

INT_PTR Quiet(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST_F(LayersTest, CombosListTheLayersOfTheirKind) {
  const HWND dialog = CreateDialogParam(ModuleInstance(), IDD_LINEORIENTATIONDLG, nullptr, Quiet, 0);
  const HWND combo = GetDlgItem(dialog, IDC_LINES_LAYER);  // sorted
  SendMessage(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("stale"));
  FillRasterLayerCombo(app_.get(), combo);
  EXPECT_EQ(ua::Items(combo), (std::vector<std::string>{"elev", "elev", "world"}));
  FillFeatureLayerCombo(app_.get(), combo, {3, 13});
  EXPECT_EQ(ua::Items(combo), (std::vector<std::string>{"roads"}));
  FillFeatureLayerCombo(app_.get(), combo, {1, 4});
  EXPECT_EQ(ua::Items(combo), (std::vector<std::string>{"areas", "sites"}));
  FillRasterLayerCombo(nullptr, combo);  // no application: untouched
  EXPECT_EQ(ua::Items(combo).size(), 2u);
  DestroyWindow(dialog);
}

TEST_F(LayersTest, ResolvingAFeatureLayerKeepsBuffersThatHoldText) {
  EXPECT_EQ(ResolveFeatureLayer(app_.get(), "nothing", Buffers()), 0);  // empty buffers: failure
  EXPECT_EQ(ResolveFeatureLayer(app_.get(), "roads", Buffers()), 1);
  EXPECT_STREQ(name_, "roads");
  EXPECT_EQ(std::string(directory_), dir_.string());
  std::strcpy(name_, "kept");
  EXPECT_EQ(ResolveFeatureLayer(app_.get(), "nothing", Buffers()), 1);
  EXPECT_STREQ(name_, "kept");
  EXPECT_EQ(ResolveFeatureLayer(nullptr, "roads", Buffers()), 0);
}

TEST_F(LayersTest, RasterGeometryOfProjectedAndGeographicRasters) {
  RasterGeometry g;
  ASSERT_EQ(ReadRasterGeometry(app_.get(), "elev", Buffers(), &g), 1);
  EXPECT_EQ(g.unitName, "metre");
  EXPECT_EQ(g.metersPerUnit, 1.0);
  EXPECT_EQ(g.columns, 4);
  EXPECT_EQ(g.rows, 3);
  EXPECT_EQ(g.cellSize, 2.5);
  double x = 0, y = 0;
  g.lowerLeft->get_X(&x);
  g.lowerLeft->get_Y(&y);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 42.5);
  RasterGeometry world;
  ASSERT_EQ(ReadRasterGeometry(app_.get(), "world", Buffers(), &world), 1);
  EXPECT_EQ(world.unitName, "Unknown");
  EXPECT_EQ(world.metersPerUnit, 1.0);
  EXPECT_EQ(ReadRasterGeometry(app_.get(), "missing", Buffers(), &world), 0);
}

TEST_F(LayersTest, OpeningLogsWhatCannotBeFound) {
  OpenLog(nullptr, nullptr);
  const std::string missing = Path("absent");
  EXPECT_FALSE(OpenRasterDataset(missing.c_str(), "utm.tif"));
  EXPECT_FALSE(OpenRasterDataset(dir_.c_str(), "nothing"));
  EXPECT_TRUE(OpenRasterDataset(dir_.c_str(), "utm"));  // found with ".tif"
  const std::string text = LogText();
  EXPECT_NE(text.find("Unable to open directory '" + missing + "'\r\n"), std::string::npos);
  EXPECT_NE(text.find("Unable to create raster dataset 'nothing'\r\n"), std::string::npos);
  EXPECT_EQ(ResolveRasterLayer(app_.get(), "elev", Buffers()), 1);
  EXPECT_STREQ(name_, "utm.tif");
}

TEST_F(LayersTest, ANameThatDoesNotFitItsBufferIsRefusedNotCut) {
  char small[7];  // "utm.tif" needs 8 bytes with its terminator
  char directory[255] = "";
  small[0] = 0;
  EXPECT_EQ(ResolveRasterLayer(app_.get(), "elev", {small, sizeof small, directory, sizeof directory}), 0);
  EXPECT_STREQ(small, "");
}

}  // namespace
