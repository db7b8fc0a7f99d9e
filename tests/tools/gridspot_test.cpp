#include "tools/gridspot/gridspot.h"

#include <functional>

#include "com/bstr.h"
#include "resources/resource.h"
#include "tests/tools/vectortools_fixture.h"

namespace {

using namespace vectortest;

// Four columns and three rows of 30 m cells from (500000, 4100000) to (500120, 4100090);
// one no-data cell.
constexpr std::array<double, 6> kGrid = {500000, 30, 0, 4100090, 0, -30};
const std::vector<double> kCells = {10, 20, 30, 40, 50, 60, -9999, 80, 90, 100, 110, -7};

// Points on a cell, near the east edge of the last row, on the no-data cell, off the
// raster, and a feature without a shape.
const std::vector<Row> kSites = {
    {"POINT (500015 4100075)", {1LL}}, {"POINT (500100 4100010)", {2LL}}, {"POINT (500075 4100045)", {3LL}},
    {"POINT (400000 4100000)", {4LL}}, {"", {5LL}},
};

class GridSpotTest : public VectorToolsTest {
 protected:
  // Clicks the tool in a host showing the layers, types into its dialog and presses OK;
  // the status text left behind.
  std::string Run(const std::string& points, const std::string& raster, const std::string& field,
                  const std::function<void(Host&)>& layers) {
    Host host;
    layers(host);
    auto command = host.Command<plenth::GridSpot>();
    EXPECT_EQ(command->OnClick(), S_OK);
    const HWND dialog = ua::FindWindowByCaption("Grid Spot Emulator");
    EXPECT_NE(dialog, nullptr);
    EXPECT_TRUE(ua::Type(ua::Control(dialog, IDC_GRIDSPOT_POINTS), points));
    EXPECT_TRUE(ua::Type(ua::Control(dialog, IDC_GRIDSPOT_RASTER), raster));
    EXPECT_TRUE(ua::Type(ua::Control(dialog, IDC_GRIDSPOT_FIELD), field));
    EXPECT_TRUE(ua::Click(dialog, IDOK));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(host.app->currentToolName(), "PageLayout_SelectTool");
    return host.Status();
  }
  std::string Run(const std::string& raster, const std::string& field) {
    return Run("sites", raster, field, [&](Host& host) {
      host.AddLayer(At("sites.shp"), "sites");
      host.AddLayer(At(raster + ".tif"), raster);
    });
  }
};

// An integer raster gives a 32-bit integer field, a FLOAT or DOUBLE one a double field;
// the name is cut to 5 characters; -99 where the raster has no value.
TEST_F(GridSpotTest, WritesTheValueUnderEachPointOrMinus99) {
  WriteRaster(At("short.tif"), GDT_Int16, 4, 3, std::vector<std::int16_t>(kCells.begin(), kCells.end()), kGrid,
              kUtm33, -9999);
  WriteRaster(At("float.tif"), GDT_Float32, 4, 3, std::vector<float>(kCells.begin(), kCells.end()), kGrid, kUtm33,
              -9999);
  WriteRaster(At("double.tif"), GDT_Float64, 4, 3, kCells, kGrid, kUtm33, -9999);
  const Value none;
  const struct {
    const char* raster;
    OGRFieldType type;
    std::vector<Value> values;
  } cases[] = {
      {"short", OFTInteger, {10LL, -7LL, -99LL, -99LL, none}},
      {"float", OFTReal, {10.0, -7.0, -99.0, -99.0, none}},
      {"double", OFTReal, {10.0, -7.0, -99.0, -99.0, none}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.raster);
    WriteShapefile(At("sites.shp"), wkbPoint, {{"ID", OFTInteger}}, kSites);
    EXPECT_EQ(Run(c.raster, "elevation"), "Processing Feature 5 of 5");
    const Table table = ReadShapefile(At("sites.shp"));
    EXPECT_EQ(table.columns, (std::vector<std::string>{"ID", "eleva"}));
    EXPECT_EQ(table.types.back() == OFTInteger64 ? OFTInteger : table.types.back(), c.type);
    EXPECT_EQ(table.Of("eleva"), c.values);
  }

  // A second run reuses the field and writes every value again.
  {
    GDALDatasetUniquePtr ds(GDALDataset::Open(At("sites.shp").c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
    std::unique_ptr<OGRFeature> first(ds->GetLayer(0)->GetFeature(0));
    first->SetField("eleva", 1234.5);
    ASSERT_EQ(ds->GetLayer(0)->SetFeature(first.get()), OGRERR_NONE);
  }
  Run("double", "eleva");
  const Table again = ReadShapefile(At("sites.shp"));
  EXPECT_EQ(again.columns.size(), 2u);
  EXPECT_EQ(again.Of("eleva")[0], Value(10.0));
}

// A table's own column named fid (common in files converted from other stores) takes the
// values when it is named, though the store's object ids go by that name elsewhere; a
// raster of 1-bit cells is sampled like any other.
TEST_F(GridSpotTest, AColumnNamedFidTakesTheValuesAndOneBitCellsAreSampled) {
  {
    CPLStringList options;
    options.SetNameValue("NBITS", "1");
    GDALDatasetUniquePtr ds(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(At("mask.tif").c_str(), 4, 3, 1,
                                                                                       GDT_Byte, options.List()));
    ASSERT_TRUE(ds);
    std::array<double, 6> gt = kGrid;
    ASSERT_EQ(ds->SetGeoTransform(gt.data()), CE_None);
    OGRSpatialReference srs;
    srs.importFromEPSG(kUtm33);
    ASSERT_EQ(ds->SetSpatialRef(&srs), CE_None);
    std::vector<std::uint8_t> cells = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, 4, 3, cells.data(), 4, 3, GDT_Byte, 0, 0), CE_None);
  }
  WriteShapefile(At("sites.shp"), wkbPoint, {{"ID", OFTInteger}, {"fid", OFTInteger}}, kSites);
  EXPECT_EQ(Run("mask", "fid"), "Processing Feature 5 of 5");
  const Table table = ReadShapefile(At("sites.shp"));
  EXPECT_EQ(table.columns, (std::vector<std::string>{"ID", "fid"}));
  const Value none;
  EXPECT_EQ(table.Of("fid"), (std::vector<Value>{1LL, 1LL, 0LL, -99LL, none}));
}

// Points kept in another coordinate system are sampled where they lie on the raster; their
// stored shapes do not move.
TEST_F(GridSpotTest, PointsInAnotherCoordinateSystemAreProjectedFirst) {
  WriteRaster(At("short.tif"), GDT_Int16, 4, 3, std::vector<std::int16_t>(kCells.begin(), kCells.end()), kGrid,
              kUtm33, -9999);
  OGRSpatialReference utm, wgs84;
  utm.importFromEPSG(kUtm33);
  wgs84.importFromEPSG(4326);
  utm.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  std::unique_ptr<OGRCoordinateTransformation> toDegrees(OGRCreateCoordinateTransformation(&utm, &wgs84));
  double x = 500045, y = 4100045;  // the centre of the cell holding 60
  ASSERT_TRUE(toDegrees->Transform(1, &x, &y));
  char wkt[100];
  std::snprintf(wkt, sizeof wkt, "POINT (%.12f %.12f)", x, y);
  WriteShapefile(At("sites.shp"), wkbPoint, {{"ID", OFTInteger}}, {{wkt, {1LL}}}, 4326);
  const std::string before = ReadShapefile(At("sites.shp")).rows[0].wkt;
  Run("short", "v");
  const Table table = ReadShapefile(At("sites.shp"));
  EXPECT_EQ(table.Of("v"), (std::vector<Value>{60LL}));
  EXPECT_EQ(table.rows[0].wkt, before);
}

// A raster layer whose identify answers as it is told.
class ScriptedRaster final : public com::ComClass<ScriptedRaster, Layer, RasterLayer> {
 public:
  ScriptedRaster(com::ComPtr<RasterDataset> raster, std::function<com::ComPtr<IdentifyResults>()> answer)
      : raster_(std::move(raster)), answer_(std::move(answer)) {}
  HRESULT get_Name(BSTR* name) override { return com::OutString("scripted", name); }
  HRESULT put_Name(BSTR) override { return E_NOTIMPL; }
  HRESULT get_Raster(RasterDataset** raster) override { return raster_.CopyTo(raster); }
  HRESULT get_ColumnCount(LONG* count) override { return *count = 4, S_OK; }
  HRESULT get_RowCount(LONG* count) override { return *count = 3, S_OK; }
  HRESULT Identify(Point*, IdentifyResults** results) override { return *results = answer_().detach(), S_OK; }

 private:
  com::ComPtr<RasterDataset> raster_;
  std::function<com::ComPtr<IdentifyResults>()> answer_;
};

class ResultList final : public com::ComClass<ResultList, IdentifyResults> {
 public:
  explicit ResultList(std::vector<com::ComPtr<IUnknown>> items) : items_(std::move(items)) {}
  HRESULT get_Count(LONG* count) override { return *count = static_cast<LONG>(items_.size()), S_OK; }
  HRESULT get_Element(LONG index, IUnknown** element) override { return items_.at(index).CopyTo(element); }

 private:
  std::vector<com::ComPtr<IUnknown>> items_;
};

class FeatureResult final : public com::ComClass<FeatureResult, IdentifyResult> {
 public:
  HRESULT get_Name(BSTR* name) override { return com::OutString("a feature", name); }
};

// Where the identify gives a list without a raster result first, the point keeps its
// value; where it gives no list, the point gets -99.
TEST_F(GridSpotTest, OnlyARasterResultFirstOrNoListAtAllIsWritten) {
  WriteRaster(At("short.tif"), GDT_Int16, 4, 3, std::vector<std::int16_t>(kCells.begin(), kCells.end()), kGrid);
  const auto raster = gis::OpenRasterFile(At("short.tif").string());
  const struct {
    const char* what;
    std::function<com::ComPtr<IdentifyResults>()> answer;
    Value value;
  } scenes[] = {
      {"an empty list", [] { return com::ComPtr<IdentifyResults>(com::MakeObject<ResultList>(std::vector<com::ComPtr<IUnknown>>{}).get()); }, 5LL},
      {"a feature result first",
       [] {
         std::vector<com::ComPtr<IUnknown>> items{com::ComPtr<IUnknown>(com::MakeObject<FeatureResult>()->Identity())};
         return com::ComPtr<IdentifyResults>(com::MakeObject<ResultList>(items).get());
       },
       5LL},
      {"no list", [] { return com::ComPtr<IdentifyResults>(); }, -99LL},
  };
  for (const auto& s : scenes) {
    SCOPED_TRACE(s.what);
    WriteShapefile(At("sites.shp"), wkbPoint, {{"ID", OFTInteger}, {"value", OFTInteger}},
                   {{"POINT (500015 4100075)", {1LL, 5LL}}});
    Run("sites", "scripted", "value", [&](Host& host) {
      host.AddLayer(At("sites.shp"), "sites");
      const auto scripted = com::MakeObject<ScriptedRaster>(raster, s.answer);
      host.AddLayer(static_cast<Layer*>(scripted.get()));
    });
    EXPECT_EQ(ReadShapefile(At("sites.shp")).Of("value"), (std::vector<Value>{s.value}));
  }
}

// A layer of other shapes typed into the dialog is left as it is.
TEST_F(GridSpotTest, ALayerOfOtherShapesIsLeftAlone) {
  WriteRaster(At("short.tif"), GDT_Int16, 4, 3, std::vector<std::int16_t>(kCells.begin(), kCells.end()), kGrid);
  WriteShapefile(At("areas.shp"), wkbPolygon, {{"ID", OFTInteger}},
                 {{"POLYGON ((500000 4100000,500000 4100090,500120 4100090,500000 4100000))", {1LL}}});
  EXPECT_EQ(Run("areas", "short", "v", [&](Host& host) {
              host.AddLayer(At("areas.shp"), "areas");
              host.AddLayer(At("short.tif"), "short");
            }),
            "");
  EXPECT_EQ(ReadShapefile(At("areas.shp")).columns, (std::vector<std::string>{"ID"}));
}

}  // namespace
