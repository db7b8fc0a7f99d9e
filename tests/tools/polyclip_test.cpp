#include "tools/polyclip/polyclip.h"

#include "resources/resource.h"
#include "tests/tools/vectortools_fixture.h"
#include "tools/gridspot/gridspot.h"

namespace {

using namespace vectortest;

// Six columns and five rows of 10 m cells from (1000, 2000) to (1060, 2050): centres at
// x = 1005 + 10 c, y = 2045 - 10 r. Classes first met in the order 3, 12, -1.
const std::vector<std::int16_t> kClasses = {
    3,  3,  12, 12, -1, -1,  //
    3,  3,  12, 12, -1, -1,  //
    3,  3,  3,  12, 12, -1,  //
    12, 12, 12, -1, -1, -1,  //
    3,  12, -1, 3,  12, -1,
};
constexpr std::array<double, 6> kGrid = {1000, 10, 0, 2050, 0, -10};

// Polygons: a square over four centres; one whose edges run through centres, with a hole
// around one centre; one outside the raster; one inside a cell but around no centre; and a
// feature without a shape.
const std::vector<Row> kAreas = {
    {"POLYGON ((1000 2030,1000 2050,1020 2050,1020 2030,1000 2030))", {1LL}},
    {"POLYGON ((1005 2005,1005 2045,1045 2045,1045 2005,1005 2005),"
     "(1020 2020,1030 2020,1030 2030,1020 2030,1020 2020))",
     {2LL}},
    {"POLYGON ((5000 2000,5000 2100,5100 2100,5100 2000,5000 2000))", {3LL}},
    {"POLYGON ((1001 2041,1001 2043,1003 2043,1003 2041,1001 2041))", {4LL}},
    {"", {5LL}},
};

class PolyClipTest : public VectorToolsTest {
 protected:
  void SetUp() override {
    VectorToolsTest::SetUp();
    WriteRaster(At("classes.tif"), GDT_Int16, 6, 5, kClasses, kGrid);
    WriteShapefile(At("areas.shp"), wkbPolygon, {{"ID", OFTInteger}}, kAreas);
  }
  // Clicks the tool in a host showing the layers, types into its dialog as a person
  // would and presses OK; the status text left behind.
  std::string Run(const std::string& polygons, const std::string& raster, const std::string& prefix,
                  const std::vector<std::pair<std::string, std::string>>& layers = {{"areas.shp", "areas"},
                                                                                    {"classes.tif", "classes"}}) {
    Host host;
    for (const auto& [file, name] : layers) host.AddLayer(At(file), name);
    auto command = host.Command<plenth::PolyClip>();
    EXPECT_EQ(command->OnClick(), S_OK);
    const HWND dialog = ua::FindWindowByCaption("Poly Clip Statistics");
    EXPECT_NE(dialog, nullptr);
    EXPECT_TRUE(ua::Type(ua::Control(dialog, IDC_POLYCLIP_POLYGONS), polygons));
    EXPECT_TRUE(ua::Type(ua::Control(dialog, IDC_POLYCLIP_RASTER), raster));
    EXPECT_TRUE(ua::Type(ua::Control(dialog, IDC_POLYCLIP_PREFIX), prefix));
    EXPECT_TRUE(ua::Click(dialog, IDOK));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(host.app->currentToolName(), "PageLayout_SelectTool");
    return host.Status();
  }
};

TEST_F(PolyClipTest, CountsCellsByCentrePerClassIntoOneColumnPerClass) {
  EXPECT_EQ(Run("areas", "classes", "lc"), "Found 3 Classes. Processing Feature 5 of 5");
  const Table table = ReadShapefile(At("areas.shp"));
  EXPECT_EQ(table.columns, (std::vector<std::string>{"ID", "lc3", "lc12", "lc-1"}));
  EXPECT_TRUE(table.types[1] == OFTInteger || table.types[1] == OFTInteger64);  // wide enough for any count
  // The second polygon: the 3 x 3 centres inside its edges but the one in its hole.
  const Value none;
  EXPECT_EQ(table.Of("lc3"), (std::vector<Value>{4LL, 2LL, 0LL, 0LL, none}));
  EXPECT_EQ(table.Of("lc12"), (std::vector<Value>{0LL, 5LL, 0LL, 0LL, none}));
  EXPECT_EQ(table.Of("lc-1"), (std::vector<Value>{0LL, 1LL, 0LL, 0LL, none}));
  EXPECT_EQ(table.rows[4].wkt, "");  // passed over, left as it was

  // A second run adds no column and writes every count again.
  {
    GDALDatasetUniquePtr ds(GDALDataset::Open(At("areas.shp").c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
    OGRLayer* layer = ds->GetLayer(0);
    std::unique_ptr<OGRFeature> first(layer->GetFeature(0));
    first->SetField("lc12", 77);
    ASSERT_EQ(layer->SetFeature(first.get()), OGRERR_NONE);
  }
  Run("areas", "classes", "lc");
  const Table again = ReadShapefile(At("areas.shp"));
  EXPECT_EQ(again.columns, table.columns);
  EXPECT_EQ(again.Of("lc12"), table.Of("lc12"));
}

TEST_F(PolyClipTest, AnEmptyPrefixNamesColumnsByTheBareValue) {
  Run("areas", "classes", "");
  EXPECT_EQ(ReadShapefile(At("areas.shp")).columns, (std::vector<std::string>{"ID", "3", "12", "-1"}));
}

// Thirty-nine distinct values give thirty-nine columns; a fortieth, real cells, or a layer
// of other shapes change nothing at all.
TEST_F(PolyClipTest, RunsThatCannotCountChangeNothing) {
  const auto distinct = [](int n) {
    std::vector<std::int32_t> cells(80);
    for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<std::int32_t>(i % n) * 7 - 100;
    return cells;
  };
  WriteRaster(At("c39.tif"), GDT_Int32, 10, 8, distinct(39), {1000, 6, 0, 2050, 0, -6.25});
  WriteRaster(At("c40.tif"), GDT_Int32, 10, 8, distinct(40), {1000, 6, 0, 2050, 0, -6.25});
  WriteRaster(At("real32.tif"), GDT_Float32, 6, 5, std::vector<float>(30, 3.0f), kGrid);
  WriteRaster(At("real64.tif"), GDT_Float64, 6, 5, std::vector<double>(30, 3.0), kGrid);
  {
    // Cells of one bit, which the tool takes no classes from.
    CPLStringList options;
    options.SetNameValue("NBITS", "1");
    GDALDatasetUniquePtr ds(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(At("bits.tif").c_str(), 6, 5, 1,
                                                                                       GDT_Byte, options.List()));
    ASSERT_TRUE(ds);
    std::array<double, 6> gt = kGrid;
    ASSERT_EQ(ds->SetGeoTransform(gt.data()), CE_None);
    std::vector<std::uint8_t> cells(30, 1);
    ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, 6, 5, cells.data(), 6, 5, GDT_Byte, 0, 0), CE_None);
  }
  WriteShapefile(At("sites.shp"), wkbPoint, {{"ID", OFTInteger}}, {{"POINT (1015 2035)", {1LL}}});
  const std::vector<std::pair<std::string, std::string>> layers = {
      {"areas.shp", "areas"}, {"sites.shp", "sites"}, {"c39.tif", "c39"},
      {"c40.tif", "c40"},     {"real32.tif", "real32"}, {"real64.tif", "real64"}, {"bits.tif", "bits"}};

  Run("areas", "c39", "v", layers);
  const Table table = ReadShapefile(At("areas.shp"));
  ASSERT_EQ(table.columns.size(), 40u);
  EXPECT_EQ(table.columns[1], "v-100");
  EXPECT_EQ(table.columns[39], "v166");

  const struct {
    const char* polygons;
    const char* raster;
  } unchanged[] = {{"areas", "c40"}, {"areas", "real32"}, {"areas", "real64"}, {"areas", "bits"}, {"sites", "classes"}};
  for (const auto& u : unchanged) {
    SCOPED_TRACE(u.raster);
    const fs::path polygons = At(std::string(u.polygons) + ".dbf");
    const auto before = fs::file_size(polygons);
    const auto stamp = fs::last_write_time(polygons);
    auto all = layers;
    all.emplace_back("classes.tif", "classes");
    EXPECT_EQ(Run(u.polygons, u.raster, "w", all), "");
    EXPECT_EQ(fs::file_size(polygons), before);
    EXPECT_EQ(fs::last_write_time(polygons), stamp);
  }
  EXPECT_EQ(ReadShapefile(At("sites.shp")).columns, (std::vector<std::string>{"ID"}));
}

// The dialog lists the polygon layers and the rasters of the map; a second click on either
// modeless tool brings its open dialog forward, with what the person typed still in it.
TEST_F(PolyClipTest, TheDialogListsTheMapsLayersAndASecondClickBringsItForward) {
  WriteShapefile(At("sites.shp"), wkbPoint, {{"ID", OFTInteger}}, {{"POINT (1015 2035)", {1LL}}});
  Host host;
  host.AddLayer(At("areas.shp"), "areas");
  host.AddLayer(At("sites.shp"), "sites");
  host.AddLayer(At("classes.tif"), "classes");
  const auto polyClip = host.Command<plenth::PolyClip>();
  const auto gridSpot = host.Command<plenth::GridSpot>();
  const struct {
    HostCommand* command;
    const char* caption;
    int layers, rasters, typed;
    std::vector<std::string> listed;
  } tools[] = {
      {polyClip.get(), "Poly Clip Statistics", IDC_POLYCLIP_POLYGONS, IDC_POLYCLIP_RASTER, IDC_POLYCLIP_PREFIX, {"areas"}},
      {gridSpot.get(), "Grid Spot Emulator", IDC_GRIDSPOT_POINTS, IDC_GRIDSPOT_RASTER, IDC_GRIDSPOT_FIELD, {"sites"}},
  };
  for (const auto& t : tools) {
    SCOPED_TRACE(t.caption);
    ASSERT_EQ(t.command->OnClick(), S_OK);
    const HWND dialog = ua::FindWindowByCaption(t.caption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ua::Items(ua::Control(dialog, t.layers)), t.listed);
    EXPECT_EQ(ua::Items(ua::Control(dialog, t.rasters)), (std::vector<std::string>{"classes"}));
    ASSERT_TRUE(ua::Type(ua::Control(dialog, t.typed), "ab"));
    SetForegroundWindow(host.app->mainWindow());
    ASSERT_EQ(t.command->OnClick(), S_OK);
    EXPECT_EQ(GetForegroundWindow(), dialog);
    EXPECT_EQ(ua::Text(ua::Control(dialog, t.typed)), "ab");
    int shown = 0;
    for (HWND w : ua::TopLevelWindows()) shown += ua::Text(w) == t.caption;
    EXPECT_EQ(shown, 1);
    ASSERT_TRUE(ua::Click(dialog, IDCANCEL));
    EXPECT_FALSE(IsWindow(dialog));
  }
  EXPECT_EQ(ReadShapefile(At("areas.shp")).columns, (std::vector<std::string>{"ID"}));
}

}  // namespace
