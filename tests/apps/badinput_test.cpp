// plenth and each command on bad input, one row per case, each the real command: a
// clear message, a failure status, no crash, nothing presented as done, and nothing the
// user had before overwritten.
#include <gdal_priv.h>

#include "tests/apps/plenthrun.h"

namespace {

using plenthtest::Bytes;
namespace fs = std::filesystem;

class BadInputTest : public plenthtest::PlenthRun {
 protected:
  void SetUp() override {
    PlenthRun::SetUp();
    GDALAllRegister();
    ASSERT_EQ(Run({"export-grid", At("sample/dem.tif"), At("dem")}).status, 0);
    const std::string tif = Bytes(At("sample/dem.tif")), grid = Bytes(At("dem.dat"));
    Write("empty.tif", "");
    Write("cut.tif", tif.substr(0, 600));
    Write("junk.tif", std::string("II*\0", 4) + std::string(3000, '\x7f'));
    Write("empty.dat", "");
    Write("cut.dat", grid.substr(0, 40));
    Write("junk.dat", std::string(2000, '\0'));
    Write("lower.dat", "ncols 1\r\nnrows 1\r\ncellsize 1.0\r\nlowerleftX  0\r\nlowerleftY  0\r\ndatatype\tfloat\r\n"
                       "NODATA_value  0\r\n 1\r\n");
    Write("huge.dat", "ncols 2000000000\r\nnrows 2000000000\r\ncellsize 1.0\r\nlowerleftX  0\r\nlowerleftY  0\r\n"
                      "datatype\tDOUBLE\r\nNODATA_value  0.000000e+000\r\n 1\r\n");
    Write("notjson.json", "{\"layers\": [");
    std::string deep = "{\"layers\": [";
    for (int i = 0; i < 2000; ++i) deep += "{\"group\": \"g\", \"layers\": [";
    for (int i = 0; i < 2000; ++i) deep += "]}";
    Write("deep.json", deep + "]}");
    // A raster turned on the map: its geotransform has rotation terms.
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDatasetUniquePtr rotated(driver->Create(At("rotated.tif").c_str(), 4, 3, 1, GDT_Byte, nullptr));
    const double turned[6] = {1000, 25, 5, 2000, 5, -25};
    rotated->SetGeoTransform(const_cast<double*>(turned));
    rotated.reset();
    // A DEM of 64-bit integers on the sample's grid.
    GDALDatasetUniquePtr wide(driver->Create(At("int64.tif").c_str(), 300, 240, 1, GDT_Int64, nullptr));
    const double sampleGrid[6] = {500000, 30, 0, 4107200, 0, -30};
    wide->SetGeoTransform(const_cast<double*>(sampleGrid));
    wide.reset();
    Write("existing.dat", "what the user had\r\n");
    Write("existing.tif", "what the user had");
    Write("existing.shp", "what the user had");
    Write("effort.tif", "what the user had");
    Write("segs.shp", "what the user had");
    // Shapefiles cut short after their first record's header: the index still lists them all.
    for (const char* name : {"roads", "areas", "sites"}) {
      for (const char* ext : {".shx", ".dbf"})
        fs::copy_file(At(std::string("sample/") + name + ext), At(std::string("cut") + name + ext));
      Write(std::string("cut") + name + ".shp", Bytes(At(std::string("sample/") + name + ".shp")).substr(0, 150));
    }
    Write("junk.shp", "junk");
  }
  void Write(const std::string& name, const std::string& bytes) { std::ofstream(At(name), std::ios::binary) << bytes; }
};

TEST_F(BadInputTest, EveryRowSaysWhatIsWrongAndLeavesNothingDone) {
  const std::string longName(300, 'n');
  const std::string longPath = At(std::string(250, 'd'));
  // The effort surface's other inputs, the sample's own, and the point grid's rectangle.
  const auto effort = [&](const std::string& dem, const std::string& out) {
    return std::vector<std::string>{"effort-surface", "--dem", dem, "--trails", At("sample/trails.tif"), "--roads",
                                    At("sample/trails.tif"), "--streams", At("sample/streams.tif"), "--cover",
                                    At("sample/groundcover.tif"), out};
  };
  const auto pointGrid = [&](const std::string& out, const std::string& crsOf) {
    std::vector<std::string> args{"point-grid", out, "--west", "500000", "--east", "509000", "--north", "4107200",
                                  "--south", "4100000", "--spacing", "500"};
    if (!crsOf.empty()) args.insert(args.end(), {"--crs-of", crsOf});
    return args;
  };
  const struct {
    const char* what;
    std::vector<std::string> args;
    const char* says;
    const char* mustNotExist;  // an output the row must not leave, or ""
  } rows[] = {
      {"missing raster", {"export-grid", At("missing.tif"), At("o1")}, "missing.tif: no such file", "o1.dat"},
      {"empty raster", {"export-grid", At("empty.tif"), At("o2")}, "empty.tif", "o2.dat"},
      {"truncated raster", {"export-grid", At("cut.tif"), At("o3")}, "shit", "o3.dat"},
      {"corrupt raster", {"export-grid", At("junk.tif"), At("o4")}, "junk.tif", "o4.dat"},
      {"shapefile as the raster", {"export-grid", At("sample/areas.shp"), At("o5")}, "could not pick the layer", "o5.dat"},
      {"export to a directory that does not exist", {"export-grid", At("sample/dem.tif"), At("none/o6")},
       "does not exist", ""},
      {"export path longer than the module's buffer", {"export-grid", At("sample/dem.tif"), longPath}, "too long", ""},
      {"layer name longer than the module's buffer", {"export-grid", longName + "=" + At("sample/dem.tif"), At("o7")},
       "", "o7.dat"},
      {"rotated raster", {"export-grid", At("rotated.tif"), At("o8")}, "rotat", "o8.dat"},
      {"missing grid", {"import-grid", At("missing.dat"), At("i1")}, "missing.dat: no such file", "i1.tif"},
      {"empty grid", {"import-grid", At("empty.dat"), At("i2")}, "shit", "i2.tif"},
      {"truncated grid header", {"import-grid", At("cut.dat"), At("i3")}, "shit", "i3.tif"},
      {"corrupt grid", {"import-grid", At("junk.dat"), At("i4")}, "shit", "i4.tif"},
      {"type name in lower case", {"import-grid", At("lower.dat"), At("i5")}, "shit", "i5.tif"},
      {"grid of 2000000000 x 2000000000 cells", {"import-grid", At("huge.dat"), At("i6")}, "shit", "i6.tif"},
      {"import over an existing raster", {"import-grid", At("dem.dat"), At("existing")}, "already exists", ""},
      {"import to a directory that does not exist", {"import-grid", At("dem.dat"), At("none/i7")}, "does not exist",
       ""},
      {"map document that is not JSON", {"export-grid", "--map", At("notjson.json"), At("sample/dem.tif"), At("o9")},
       "not a map document", "o9.dat"},
      {"map document nested too deep", {"export-grid", "--map", At("deep.json"), At("sample/dem.tif"), At("o10")},
       "not a map document", "o10.dat"},
      {"effort surface from a missing DEM", effort(At("missing.tif"), At("e1")), "missing.tif: no such file", "e1.tif"},
      {"effort surface from a corrupt DEM", effort(At("junk.tif"), At("e2")), "junk.tif", "e2.tif"},
      {"effort surface from a truncated DEM", effort(At("cut.tif"), At("e3")), "could not be read: a raster cut short", "e3.tif"},
      {"effort surface from a DEM of 64-bit integers", effort(At("int64.tif"), At("e5")),
       "the effort surface was not written: Input DEM dataset has cells of type Int64, which the effort surface does "
       "not take\n",
       "e5.tif"},
      {"effort surface into a directory that does not exist", effort(At("sample/dem.tif"), At("none/e4")),
       "does not exist", ""},
      {"effort surface over an existing raster", effort(At("sample/dem.tif"), At("effort")), "not written", ""},
      {"point grid on the system of a missing layer", pointGrid(At("p1"), At("missing.tif")),
       "missing.tif: no such file", "p1.shp"},
      {"point grid on the system of a corrupt raster", pointGrid(At("p2"), At("junk.tif")), "junk.tif", "p2.shp"},
      {"point grid into a directory that does not exist", pointGrid(At("none/p3"), ""), "cannot be opened", ""},
      {"point grid over an existing shapefile", pointGrid(At("existing"), ""), "already exists", ""},
      {"effort surface path longer than the module's buffer", effort(At("sample/dem.tif"), longPath), "too long", ""},
      {"point grid path longer than the module's buffer", pointGrid(longPath, ""), "too long", ""},
      {"line orientation path longer than the module's buffer", {"line-orientation", At("sample/roads.shp"), longPath},
       "too long", ""},
      {"line orientation of a missing shapefile", {"line-orientation", At("missing.shp"), At("l1")},
       "missing.shp: no such file", "l1.shp"},
      {"line orientation of a corrupt shapefile", {"line-orientation", At("junk.shp"), At("l2")}, "junk.shp", "l2.shp"},
      {"line orientation of a truncated shapefile", {"line-orientation", At("cutroads.shp"), At("l3")},
       "cannot be read", "l3.shp"},
      {"line orientation of polygons", {"line-orientation", At("sample/areas.shp"), At("l4")}, "not of lines", "l4.shp"},
      {"line orientation into a directory that does not exist", {"line-orientation", At("sample/roads.shp"),
       At("none/l5")}, "does not exist", ""},
      {"line orientation over an existing shapefile", {"line-orientation", At("sample/roads.shp"), At("segs")},
       "never writes over", ""},
      {"class counts of a truncated shapefile", {"poly-clip", At("cutareas.shp"), At("sample/groundcover.tif")},
       "cannot be read", ""},
      {"class counts in lines", {"poly-clip", At("sample/roads.shp"), At("sample/groundcover.tif")}, "not of polygons",
       ""},
      {"class counts of a real-valued raster", {"poly-clip", At("sample/areas.shp"), At("sample/dem.tif")},
       "integer raster", ""},
      {"class counts of a corrupt raster", {"poly-clip", At("sample/areas.shp"), At("junk.tif")}, "junk.tif", ""},
      {"raster values at a truncated shapefile", {"grid-spot", At("cutsites.shp"), At("sample/dem.tif"), "--field",
       "elev"}, "cannot be read", ""},
      {"raster values at lines", {"grid-spot", At("sample/roads.shp"), At("sample/dem.tif"), "--field", "elev"},
       "not of points", ""},
      {"raster values of a missing raster", {"grid-spot", At("sample/sites.shp"), At("missing.tif"), "--field",
       "elev"}, "missing.tif: no such file", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const auto out = Run(row.args);
    EXPECT_FALSE(out.timedOut) << out.output;
    EXPECT_EQ(out.signal, 0) << out.output;
    EXPECT_EQ(out.status, 1) << out.output;
    EXPECT_NE(out.output.find(row.says), std::string::npos) << out.output;
    EXPECT_EQ(out.output.find("Sanitizer"), std::string::npos) << out.output;
    EXPECT_EQ(out.output.find("runtime error"), std::string::npos) << out.output;
    EXPECT_EQ(out.output.find("cool"), std::string::npos) << out.output;
    if (*row.mustNotExist) {
      EXPECT_FALSE(fs::exists(At(row.mustNotExist)));
    }
    EXPECT_EQ(Bytes(At("existing.tif")), "what the user had");
    for (const char* kept : {"existing.shp", "effort.tif", "segs.shp"}) EXPECT_EQ(Bytes(At(kept)), "what the user had");
    // A damaged input is left as it was.
    EXPECT_EQ(Bytes(At("cutareas.dbf")), Bytes(At("sample/areas.dbf")));
    EXPECT_EQ(Bytes(At("cutsites.dbf")), Bytes(At("sample/sites.dbf")));
    EXPECT_EQ(FilesStartingWith("none"), std::vector<std::string>{});
    EXPECT_EQ(FilesStartingWith("ddd"), std::vector<std::string>{});
  }
}

// Names and paths in UTF-8 are the person's own: they go through whole.
TEST_F(BadInputTest, AUtf8LayerNameAndPathExportAndImport) {
  fs::create_directories(At("höhen"));
  fs::copy_file(At("sample/dem.tif"), At("höhen/gelände.tif"));
  const auto exported = Run({"export-grid", "höhe=" + At("höhen/gelände.tif"), At("höhen/höhe")});
  EXPECT_EQ(exported.status, 0) << exported.output;
  EXPECT_EQ(Bytes(At("höhen/höhe.dat")), Bytes(At("dem.dat")));
  const auto imported = Run({"import-grid", At("höhen/höhe.dat"), At("höhen/zurück")});
  EXPECT_EQ(imported.status, 0) << imported.output;
  EXPECT_TRUE(fs::exists(At("höhen/zurück.tif")));
}

}  // namespace
