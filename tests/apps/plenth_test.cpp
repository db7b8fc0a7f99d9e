#include <cpl_string.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <ogrsf_frmts.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string output;
};

// Runs plenth with its own registry in a temporary directory, capturing everything it says.
class PlenthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plenth-cli-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    ASSERT_EQ(Run("sample-data " + At("sample")).status, 0);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string At(const std::string& name) const { return (dir_ / name).string(); }
  // The files of the directory whose names start with `prefix`.
  std::vector<std::string> FilesStartingWith(const std::string& prefix) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().filename().string().rfind(prefix, 0) == 0) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Runs in `workingDirectory` when one is given.
  Outcome Run(const std::string& args, const fs::path& workingDirectory = {}) {
    const std::string in = workingDirectory.empty() ? "" : "cd '" + workingDirectory.string() + "' && ";
    const std::string command =
        in + std::string(PLENTH_BINARY) + " --registry " + At("registry.reg") + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    Outcome out{-1, {}};
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) out.output.append(buffer.data(), n);
    const int status = pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
  }
  fs::path dir_;
};

// A raster of 1-bit cells over the sample's area (0 and 1 in turn).
void WriteOneBitRaster(const std::string& path) {
  GDALAllRegister();
  CPLStringList options;
  options.SetNameValue("NBITS", "1");
  GDALDatasetUniquePtr ds(
      GetGDALDriverManager()->GetDriverByName("GTiff")->Create(path.c_str(), 4, 4, 1, GDT_Byte, options.List()));
  ASSERT_TRUE(ds);
  double gt[6] = {500000, 2250, 0, 4107200, 0, -1800};
  ASSERT_EQ(ds->SetGeoTransform(gt), CE_None);
  OGRSpatialReference utm;
  utm.importFromEPSG(32633);
  ASSERT_EQ(ds->SetSpatialRef(&utm), CE_None);
  std::uint8_t cells[16];
  for (int i = 0; i < 16; ++i) cells[i] = static_cast<std::uint8_t>(i % 2);
  ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, 4, 4, cells, 4, 4, GDT_Byte, 0, 0), CE_None);
}

TEST_F(PlenthTest, ExportAndImportFromTheCommandLine) {
  const auto exported = Run("export-grid elev=" + At("sample/dem.tif") + " " + At("dem"));
  EXPECT_EQ(exported.status, 0) << exported.output;
  EXPECT_NE(exported.output.find("cool: cool"), std::string::npos);
  EXPECT_TRUE(fs::exists(At("dem.dat")));
  const auto imported = Run("import-grid " + At("dem.dat") + " " + At("back"));
  EXPECT_EQ(imported.status, 0) << imported.output;
  EXPECT_TRUE(fs::exists(At("back.tif")));
  // The registry the run used now lists the module.
  EXPECT_NE(Run("tools").output.find("PlenthTools_ExportGrid  (found under commands)"), std::string::npos);
}

// A raster named by its file name alone, in the directory it lies in.
TEST_F(PlenthTest, ARasterNamedByItsFileNameAloneExports) {
  fs::create_directories(At("sample/out"));
  const auto out = Run("export-grid dem.tif out/elev", At("sample"));
  EXPECT_EQ(out.status, 0) << out.output;
  EXPECT_NE(out.output.find("cool: cool"), std::string::npos) << out.output;
  EXPECT_TRUE(fs::exists(At("sample/out/elev.dat")));
}

TEST_F(PlenthTest, LayersFromAMapDocumentWithGroups) {
  std::ofstream(At("map.json")) << R"({"layers": [{"group": "terrain", "layers": [{"name": "height", "path": "sample/dem.tif"}]}]})";
  const auto out = Run("export-grid --map " + At("map.json") + " " + At("sample/trails.tif") + " " + At("trails"));
  EXPECT_EQ(out.status, 0) << out.output;
  std::ofstream(At("bad.json")) << "{\"layers\": [{\"path\": \"nowhere.tif\"}]}";
  const auto bad = Run("export-grid --map " + At("bad.json") + " " + At("sample/trails.tif") + " " + At("t2"));
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find("nowhere.tif: no such file"), std::string::npos) << bad.output;
}

// The effort surface's five layers as the options name them.
std::string EffortLayers(const std::string& dir, const std::string& dem = "dem.tif",
                         const std::string& cover = "groundcover.tif") {
  return " --dem " + dir + "/" + dem + " --trails " + dir + "/trails.tif --roads " + dir + "/trails.tif --streams " +
         dir + "/streams.tif --cover " + dir + "/" + cover;
}

TEST_F(PlenthTest, ABareOutputNameIsWrittenAndNamedInTheCurrentDirectory) {
  const auto out = Run("export-grid " + At("sample/dem.tif") + " elev", dir_.string());
  EXPECT_EQ(out.status, 0) << out.output;
  EXPECT_NE(out.output.find("\nwrote elev.dat\n"), std::string::npos) << out.output;
  EXPECT_TRUE(fs::exists(At("elev.dat")));

  // The effort surface's log goes beside it, not beside the directory.
  const auto effort = Run("effort-surface" + EffortLayers(At("sample")) + " effort", dir_.string());
  EXPECT_EQ(effort.status, 0) << effort.output;
  EXPECT_TRUE(fs::exists(At("effort.tif")));
  EXPECT_TRUE(fs::exists(At("EffortSurface_log.txt")));
  EXPECT_FALSE(fs::exists(dir_.string() + "EffortSurface_log.txt"));
}

TEST_F(PlenthTest, AFailingRegistrationShowsItsStatusAsTheHostDoes) {
  std::ofstream(At("registry.reg")) << "not a registry\n";
  const auto out = Run("register");
  EXPECT_EQ(out.status, 1);
  EXPECT_NE(out.output.find("the module answered a failure (0x80004005)"), std::string::npos) << out.output;
}

// A picture's pixels as 0xRRGGBB, row by row.
struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
Picture ReadPicture(const std::string& path) {
  GDALAllRegister();
  Picture picture;
  GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER));
  if (!ds || ds->GetRasterCount() < 3) return picture;
  picture.width = ds->GetRasterXSize();
  picture.height = ds->GetRasterYSize();
  picture.pixels.assign(static_cast<std::size_t>(picture.width) * picture.height, 0);
  std::vector<std::uint8_t> band(picture.pixels.size());
  for (int b = 1; b <= 3; ++b) {
    if (ds->GetRasterBand(b)->RasterIO(GF_Read, 0, 0, picture.width, picture.height, band.data(), picture.width,
                                       picture.height, GDT_Byte, 0, 0) != CE_None)
      return {};
    for (std::size_t i = 0; i < band.size(); ++i) picture.pixels[i] |= std::uint32_t{band[i]} << (8 * (3 - b));
  }
  return picture;
}

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  void Add(int x, int y) {
    left = std::min(left, x), top = std::min(top, y), right = std::max(right, x), bottom = std::max(bottom, y);
  }
};

// The grid over part of the sample DEM, its preview where the DEM puts it, and random
// points that the seed makes the same again.
TEST_F(PlenthTest, PointGridWithItsPreviewAndASeed) {
  const std::string area = " --west 501000 --east 508000 --north 4105000 --south 4100000 --crs-of " + At("sample/dem.tif");
  const auto grid = Run("point-grid " + At("grid") + area + " --spacing 500 --preview " + At("grid.png"));
  ASSERT_EQ(grid.status, 0) << grid.output;
  EXPECT_NE(grid.output.find("wrote 140 points to " + At("grid") + ".shp"), std::string::npos) << grid.output;
  EXPECT_TRUE(fs::exists(At("grid.prj")));

  // Random points have no preview: their picture is the map alone.
  for (const char* name : {"r1", "r2"}) {
    const auto random = Run(std::string("point-grid ") + At(name) + area + " --random 30 --seed 7 --preview " +
                            At(std::string(name) + ".png"));
    ASSERT_EQ(random.status, 0) << random.output;
    EXPECT_NE(random.output.find("wrote 30 points"), std::string::npos) << random.output;
  }
  std::ifstream r1(At("r1.shp"), std::ios::binary), r2(At("r2.shp"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(r1), {}), std::string(std::istreambuf_iterator<char>(r2), {}));

  const Picture withGrid = ReadPicture(At("grid.png")), map = ReadPicture(At("r1.png"));
  ASSERT_GT(map.width, 0);
  ASSERT_EQ(withGrid.pixels.size(), map.pixels.size());
  Box dem, preview;
  for (int y = 0; y < map.height; ++y)
    for (int x = 0; x < map.width; ++x) {
      const std::uint32_t p = map.at(x, y);
      if (p != 0xFFFFFF) {
        dem.Add(x, y);
        EXPECT_TRUE((p >> 16) == (p & 0xFF) && ((p >> 8) & 0xFF) == (p & 0xFF)) << "not grey at " << x << " " << y;
      }
      if (withGrid.at(x, y) != p) preview.Add(x, y);
    }
  // The DEM spans 500000 to 509000 east and 4100000 to 4107200 north; the area's edges lie
  // where that puts them (within half a marker: points lie on the west and north edges).
  const auto column = [&](double e) { return dem.left + (e - 500000) / 9000 * (dem.right + 1 - dem.left); };
  const auto row = [&](double n) { return dem.top + (4107200 - n) / 7200 * (dem.bottom + 1 - dem.top); };
  EXPECT_NEAR(preview.left, column(501000), 3);
  EXPECT_NEAR(preview.right, column(508000), 3);
  EXPECT_NEAR(preview.top, row(4105000), 3);
  EXPECT_NEAR(preview.bottom, row(4100000), 3);
  // A point of the grid, inside the area, is drawn dark on the DEM.
  const int x = static_cast<int>(column(503000)), y = static_cast<int>(row(4103000));
  EXPECT_LT(withGrid.at(x, y) & 0xFF, 0x30u);
  EXPECT_NE(withGrid.at(x, y), map.at(x, y));
}

// The shapefile the tool writes for the name typed is the one plenth finds and will not
// write over: ".shp" typed is not doubled, any other extension stays part of the name. A
// name in an upper-case .SHP, which the tool cannot write, and a bound the dialog cannot
// take whole are refused before the click.
TEST_F(PlenthTest, PointGridFindsTheShapefileItsNameNames) {
  const std::string area = " --west 0 --east 2 --north 2 --south 0 --spacing 1";
  const auto shp = Run("point-grid " + At("g.shp") + area);
  EXPECT_EQ(shp.status, 0) << shp.output;
  EXPECT_NE(shp.output.find("wrote 4 points to " + At("g.shp") + " (layer PointGrid)"), std::string::npos) << shp.output;
  const auto bare = Run("point-grid b.shp" + area, dir_);
  EXPECT_EQ(bare.status, 0) << bare.output;
  EXPECT_NE(bare.output.find("wrote 4 points to b.shp (layer PointGrid)"), std::string::npos) << bare.output;
  const auto tif = Run("point-grid " + At("g.tif") + area);
  EXPECT_EQ(tif.status, 0) << tif.output;
  EXPECT_NE(tif.output.find("wrote 4 points to " + At("g.tif.shp")), std::string::npos) << tif.output;
  EXPECT_TRUE(fs::exists(At("g.shp")) && fs::exists(At("g.tif.shp")));
  EXPECT_FALSE(fs::exists(At("g.shp.shp")));
  std::ofstream(At("only.dbf")) << "a table of its own";
  const struct {
    std::string args;
    std::string says;
  } refused[] = {
      {"point-grid " + At("g") + area, At("g.shp") + " already exists"},
      {"point-grid " + At("g.shp") + area, At("g.shp") + " already exists"},
      {"point-grid " + At("only") + area, At("only.dbf") + " already exists"},
      {"point-grid " + At("G.SHP") + area, At("G.SHP") + " cannot be written: shapefiles are written with lower-case"},
      {"point-grid " + At("h") + " --west 0 --east 1e45 --north 2 --south 0 --spacing 1",
       "--east 1e+45 takes 45 characters when typed"},
      {"point-grid " + At("h") + " --west -1e-40 --east 1 --north 2 --south 0 --spacing 1",
       "--west -1e-40 takes 43 characters"},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.args);
    const auto out = Run(r.args);
    EXPECT_EQ(out.status, 1) << out.output;
    EXPECT_NE(out.output.find(r.says), std::string::npos) << out.output;
  }
  EXPECT_EQ(FilesStartingWith("G"), std::vector<std::string>{});
  EXPECT_EQ(FilesStartingWith("h"), std::vector<std::string>{});
  EXPECT_EQ(FilesStartingWith("only"), std::vector<std::string>{"only.dbf"});
}

// Qt and its libraries are loaded only for a picture (above): every start of plenth would
// otherwise pay for mapping and binding them.
TEST(PlenthStart, LoadsNoQtUntilItDrawsAPicture) {
  FILE* pipe = popen(("LD_TRACE_LOADED_OBJECTS=1 " + std::string(PLENTH_BINARY) + " 2>&1").c_str(), "r");
  std::string loaded;
  std::array<char, 4096> buffer;
  while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) loaded.append(buffer.data(), n);
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_NE(loaded.find("libgdal"), std::string::npos) << loaded;
  EXPECT_EQ(loaded.find("libQt6"), std::string::npos) << loaded;
}

TEST_F(PlenthTest, WhatIsWrongIsSaidInOneLine) {
  WriteOneBitRaster(At("bits.tif"));
  const struct {
    std::string args;
    const char* says;
  } cases[] = {
      {"export-grid " + At("missing.tif") + " " + At("x"), "missing.tif: no such file"},
      {"export-grid " + At("sample/dem.tif") + " " + At("no/such/dir/x"), "does not exist"},
      {"export-grid " + At("sample/areas.shp") + " " + At("x"), "could not pick the layer"},
      {"import-grid " + At("missing.dat") + " " + At("x"), "missing.dat: no such file"},
      {"export-grid " + At("bits.tif") + " " + At("x"), "bits.tif holds cells of 1 bit; the grid text format holds"},
      {"point-grid " + At("x") + " --west 5 --east 1 --north 2 --south 1 --spacing 1", "west bound must lie west"},
      {"point-grid " + At("no/such/x") + " --west 1 --east 5 --north 2 --south 1 --spacing 1",
       "cannot be opened for shapefiles"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const auto out = Run(c.args);
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.output.find(c.says), std::string::npos) << out.output;
  }
}

bool Says(const std::string& output, const std::string& what) { return output.find(what) != std::string::npos; }

// The run followed in the terminal, the surface written; an output that exists already
// is warned about, and the run that then fails exits non-zero.
TEST_F(PlenthTest, EffortSurfaceFromTheCommandLine) {
  const std::string command = "effort-surface" + EffortLayers(At("sample")) + " --z-factor 3 " + At("effort");
  const auto out = Run(command);
  EXPECT_EQ(out.status, 0) << out.output;
  for (const std::string& says : std::vector<std::string>{
           "note: the Z factor is recorded but not applied", "(metre)",
           "Opened Logfile : " + At("EffortSurface_log.txt") + "\n", "\n...Operation Complete\n",
           "finished in 00:00:0", "wrote " + At("effort.tif") + "\n"})
    EXPECT_TRUE(Says(out.output, says)) << says << "\n" << out.output;
  EXPECT_FALSE(Says(out.output, "warning"));
  EXPECT_TRUE(fs::exists(At("effort.tif")));

  const auto again = Run(command);
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(Says(again.output, "warning: " + At("effort.tif") + " exists already")) << again.output;
  EXPECT_TRUE(Says(again.output, "Unable to create Raster dataset 'effort'")) << again.output;
}

// What makes a result meaningless is said before the click: a DEM in geographic
// coordinates or without a coordinate system, a DEM of cells that are not square, a class
// raster whose grid is not the DEM's, or which the run will refuse for its size.
TEST_F(PlenthTest, EffortSurfaceWarnsOfMeaninglessResults) {
  const auto translate = [&](const std::string& options, const std::string& from, const std::string& to) {
    ASSERT_EQ(std::system(("gdal_translate -q " + options + " " + At("sample/" + from) + " " + At("sample/" + to)).c_str()),
              0);
  };
  translate("-a_srs EPSG:4326", "dem.tif", "geo.tif");
  translate("-a_ullr 500030 4107200 509030 4100000", "groundcover.tif", "shifted.tif");
  translate("-outsize 150 120", "groundcover.tif", "half.tif");
  translate("-a_ullr 500000 4104800 509000 4100000", "dem.tif", "oblong.tif");  // cells of 30 x 20 m
  {  // The DEM's cells and corner, without a coordinate system.
    GDALAllRegister();
    GDALDatasetUniquePtr dem(GDALDataset::Open(At("sample/dem.tif").c_str(), GDAL_OF_RASTER));
    ASSERT_TRUE(dem);
    GDALDatasetUniquePtr plain(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
        At("sample/plain.tif").c_str(), 300, 240, 1, GDT_Float32, nullptr));
    ASSERT_TRUE(plain);
    double gt[6];
    ASSERT_EQ(dem->GetGeoTransform(gt), CE_None);
    ASSERT_EQ(plain->SetGeoTransform(gt), CE_None);
    std::vector<float> cells(300 * 240);
    ASSERT_EQ(dem->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, 300, 240, cells.data(), 300, 240, GDT_Float32, 0, 0), CE_None);
    ASSERT_EQ(plain->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, 300, 240, cells.data(), 300, 240, GDT_Float32, 0, 0),
              CE_None);
  }
  const struct {
    std::string dem, cover;
    std::vector<std::string> says;
    int status;
  } cases[] = {
      {"geo.tif", "shifted.tif",
       {"the costs use elevations as stored, so against a cell size in degrees the costs will be meaningless\n",
        "warning: the DEM is in geographic coordinates",
        "warning: the ground cover raster's grid differs from the DEM's (origin 500030, 4107200 against 500000, "
        "4107200): its cells are paired with the DEM's by row and column, not by position\n"},
       0},
      {"plain.tif", "half.tif",
       {"so they must be in the unit of the cell size, which is unknown: the DEM has no coordinate system\n",
        "warning: the ground cover raster is 150 x 120 cells, not the DEM's 300 x 240: the run will refuse it\n",
        "the effort surface was not written: Input Groundcover dataset is 150 x 120 cells, not the DEM's 300 x 240\n"},
       1},
      {"oblong.tif", "groundcover.tif",
       {"(metre)\n", "warning: the DEM's cells are 30 x 20, not square: every step is costed with the x size, 30\n"},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dem);
    const std::string out = At(fs::path(c.dem).stem().string());
    const auto run = Run("effort-surface" + EffortLayers(At("sample"), c.dem, c.cover) + " " + out);
    EXPECT_EQ(run.status, c.status) << run.output;
    for (const std::string& says : c.says) EXPECT_TRUE(Says(run.output, says)) << says << "\n" << run.output;
    EXPECT_FALSE(Says(run.output, "(degree)")) << run.output;
    EXPECT_FALSE(Says(run.output, "(unit)")) << run.output;
  }
  // The surface of the DEM of oblong cells lies exactly on it.
  const auto geotransform = [](const std::string& path) {
    GDALAllRegister();
    GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER));
    std::vector<double> gt(6);
    if (!ds || ds->GetGeoTransform(gt.data()) != CE_None) ADD_FAILURE() << path;
    return gt;
  };
  EXPECT_EQ(geotransform(At("oblong.tif")), geotransform(At("sample/oblong.tif")));
}

// The output's name as the dialog keeps it, and plenth says beforehand which file the run
// will write when that is not the name typed: a typed ".tif" stays whole beside the 7
// characters, any other extension is part of the name.
TEST_F(PlenthTest, EffortSurfaceSaysWhichFileItWillWrite) {
  fs::create_directories(At("out"));
  const struct {
    const char* typed;
    const char* written;
    bool said;  // the file named before the click
  } cases[] = {
      {"effort.tif", "effort.tif", false},
      {"effortsurface.tif", "efforts.tif", true},
      {"a.img", "a.img", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    const std::string written = At("out/") + c.written;
    const auto run = Run("effort-surface" + EffortLayers(At("sample")) + " " + At("out/") + c.typed);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Says(run.output, "note: the output's name is cut to 7 characters (a typed .tif kept): the run will "
                               "write " + written + "\n"),
              c.said)
        << run.output;
    EXPECT_TRUE(Says(run.output, "wrote " + written + "\n")) << run.output;
    EXPECT_TRUE(fs::exists(written));
  }
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(At("out"))) files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"EffortSurface_log.txt", "a.img", "effort.tif", "efforts.tif"}));
}

// Ctrl-C presses Cancel: the run stops, the log is kept, and plenth exits non-zero.
TEST_F(PlenthTest, CtrlCPressesCancel) {
  for (const char* name : {"dem", "trails", "streams", "groundcover"})
    ASSERT_EQ(std::system(("gdal_translate -q -outsize 4000 4000 -r near " + At("sample/") + name + ".tif " +
                           At("sample/big_") + name + ".tif")
                              .c_str()),
              0);
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const std::string registry = At("registry.reg"), big = At("sample/big_"), output = At("stopped");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    dup2(pipeEnds[1], STDERR_FILENO);
    close(pipeEnds[0]);
    execl(PLENTH_BINARY, PLENTH_BINARY, "--registry", registry.c_str(), "effort-surface", "--dem", (big + "dem.tif").c_str(),
          "--trails", (big + "trails.tif").c_str(), "--roads", (big + "trails.tif").c_str(), "--streams",
          (big + "streams.tif").c_str(), "--cover", (big + "groundcover.tif").c_str(), output.c_str(), nullptr);
    _exit(127);
  }
  close(pipeEnds[1]);
  std::string output_;
  bool signalled = false;
  char buffer[4096];
  // Ctrl-C once the run has begun the surface.
  while (true) {
    pollfd readable{pipeEnds[0], POLLIN, 0};
    if (poll(&readable, 1, 5) > 0) {
      const ssize_t n = read(pipeEnds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      output_.append(buffer, static_cast<std::size_t>(n));
    }
    if (!signalled && Says(output_, "Opened Logfile") && fs::exists(output + ".tif")) {
      kill(child, SIGINT);
      signalled = true;
    }
  }
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(signalled) << output_;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << output_;
  EXPECT_TRUE(Says(output_, "Ctrl-C: Cancel pressed")) << output_;
  EXPECT_TRUE(Says(output_, "cancelled; the unfinished surface is left on disk as " + output + ".tif; the log is kept in " +
                               At("EffortSurface_log.txt")))
      << output_;
  EXPECT_TRUE(fs::exists(output + ".tif"));
  std::ifstream log(At("EffortSurface_log.txt"));
  const std::string kept((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(Says(kept, "Opened Logfile")) << kept;
  EXPECT_FALSE(Says(kept, "Operation Complete")) << kept;
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The class columns a poly-clip run says it wrote, in the order it says them.
std::vector<std::string> SaidColumns(const std::string& output) {
  const auto open = output.find(" polygons ("), close = output.find(')', open);
  std::vector<std::string> names;
  if (open == std::string::npos || close == std::string::npos) return names;
  std::istringstream list(output.substr(open + 11, close - open - 11));
  for (std::string name; std::getline(list, name, ',');) names.push_back(name.substr(name.find_first_not_of(' ')));
  return names;
}

// The columns of a shapefile's table, in order.
std::vector<std::string> ColumnsOf(const std::string& path) {
  GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR));
  std::vector<std::string> names;
  if (!ds) return names;
  OGRFeatureDefn* defn = ds->GetLayer(0)->GetLayerDefn();
  for (int i = 0; i < defn->GetFieldCount(); ++i) names.push_back(defn->GetFieldDefn(i)->GetNameRef());
  return names;
}

// Polygons and a raster GDAL burnt from them are in one coordinate system, however each
// file keeps its axes; a raster stored from the south is reported in the table's order.
TEST_F(PlenthTest, PolyClipTakesARasterBurntFromItsPolygonsAndReportsInTheTablesOrder) {
  GDALAllRegister();
  {
    OGRSpatialReference grs80;  // a geographic system known by no code, as a .prj often has it
    ASSERT_EQ(grs80.SetFromUserInput("GEOGCS[\"GRS 1980(IUGG, 1980)\",DATUM[\"D_unknown\",SPHEROID[\"GRS80\",6378137,"
                                     "298.257222101]],PRIMEM[\"Greenwich\",0],UNIT[\"Degree\",0.0174532925199433]]"),
              OGRERR_NONE);
    GDALDatasetUniquePtr ds(GetGDALDriverManager()->GetDriverByName("ESRI Shapefile")->Create(
        At("olinda.shp").c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRLayer* layer = ds->CreateLayer("olinda", &grs80, wkbPolygon, nullptr);
    ASSERT_NE(layer, nullptr);
    OGRFieldDefn code("CODE", OFTInteger);
    ASSERT_EQ(layer->CreateField(&code), OGRERR_NONE);
    const char* wkts[] = {"POLYGON ((-35 -8,-34.9 -8,-34.9 -8.1,-35 -8.1,-35 -8))",
                          "POLYGON ((-34.9 -8,-34.8 -8,-34.8 -8.1,-34.9 -8.1,-34.9 -8))"};
    int n = 1;
    for (const char* wkt : wkts) {
      OGRFeature feature(layer->GetLayerDefn());
      OGRGeometry* g = nullptr;
      ASSERT_EQ(OGRGeometryFactory::createFromWkt(wkt, nullptr, &g), OGRERR_NONE);
      feature.SetGeometryDirectly(g);
      feature.SetField("CODE", n++);
      ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
    }
  }
  {
    GDALDatasetUniquePtr polygons(GDALDataset::Open(At("olinda.shp").c_str(), GDAL_OF_VECTOR));
    const char* const args[] = {"-a", "CODE", "-tr", "0.01", "0.01", "-ot", "Byte", nullptr};
    GDALRasterizeOptions* options = GDALRasterizeOptionsNew(const_cast<char**>(args), nullptr);
    GDALDatasetH polygonsHandle = GDALDataset::ToHandle(polygons.get());
    GDALDatasetH burnt = GDALRasterize(At("burnt.tif").c_str(), nullptr, polygonsHandle, options, nullptr);
    GDALRasterizeOptionsFree(options);
    ASSERT_NE(burnt, nullptr);
    GDALClose(burnt);
  }
  const auto clip = Run("poly-clip " + At("olinda.shp") + " " + At("burnt.tif") + " --prefix c");
  EXPECT_EQ(clip.status, 0) << clip.output;
  EXPECT_EQ(clip.output.find("warning"), std::string::npos) << clip.output;
  EXPECT_NE(clip.output.find("3 class columns written to 2 polygons (c0, c1, c2)"), std::string::npos) << clip.output;

  // Its northern row holds 5, its southern 7, stored from the south.
  {
    GDALDatasetUniquePtr ds(
        GetGDALDriverManager()->GetDriverByName("GTiff")->Create(At("south.tif").c_str(), 2, 2, 1, GDT_Byte, nullptr));
    double gt[6] = {500000, 4500, 0, 4100000, 0, 3600};
    ASSERT_EQ(ds->SetGeoTransform(gt), CE_None);
    OGRSpatialReference utm;
    utm.importFromEPSG(32633);
    ASSERT_EQ(ds->SetSpatialRef(&utm), CE_None);
    std::uint8_t fileOrder[4] = {7, 7, 5, 5};
    ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, 2, 2, fileOrder, 2, 2, GDT_Byte, 0, 0), CE_None);
  }
  const auto before = ColumnsOf(At("sample/areas.shp"));
  const auto south = Run("poly-clip " + At("sample/areas.shp") + " " + At("south.tif") + " --prefix s");
  EXPECT_EQ(south.status, 0) << south.output;
  const auto after = ColumnsOf(At("sample/areas.shp"));
  ASSERT_GE(after.size(), before.size());
  EXPECT_EQ(SaidColumns(south.output), std::vector<std::string>(after.begin() + static_cast<long>(before.size()), after.end()))
      << south.output;
  EXPECT_EQ(SaidColumns(south.output), (std::vector<std::string>{"s5", "s7"})) << south.output;
}

// Each vector tool runs through its dialog and says what it wrote; a second line orientation
// into the same output is refused and leaves it as it was.
TEST_F(PlenthTest, VectorToolsSayWhatTheyWrote) {
  const auto clip = Run("poly-clip " + At("sample/areas.shp") + " " + At("sample/groundcover.tif") + " --prefix gc");
  EXPECT_EQ(clip.status, 0) << clip.output;
  EXPECT_NE(clip.output.find("7 class columns written to 4 polygons (gc"), std::string::npos) << clip.output;

  const auto spot = Run("grid-spot " + At("sample/sites.shp") + " " + At("sample/dem.tif") + " --field elevation");
  EXPECT_EQ(spot.status, 0) << spot.output;
  EXPECT_NE(spot.output.find("cut to 5 characters: eleva"), std::string::npos) << spot.output;
  EXPECT_NE(spot.output.find("60 points sampled into field eleva (double); "), std::string::npos) << spot.output;
  EXPECT_NE(spot.output.find(" got -99 "), std::string::npos) << spot.output;

  const auto lines = Run("line-orientation " + At("sample/roads.shp") + " " + At("roadsegments"));
  EXPECT_EQ(lines.status, 0) << lines.output;
  EXPECT_NE(lines.output.find("12 segments written to " + At("roadseg.shp")), std::string::npos) << lines.output;
  const std::string written = Bytes(At("roadseg.dbf"));
  const auto again = Run("line-orientation " + At("sample/roads.shp") + " " + At("roadseg"));
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.output.find("roadseg.shp exists"), std::string::npos) << again.output;
  EXPECT_EQ(Bytes(At("roadseg.dbf")), written);
}

// What would make a silent run count nothing, or count in the wrong place, stops before the
// click with the reason; the layer's table is left as it was.
TEST_F(PlenthTest, VectorToolsStopFirstOnWhatTheyCannotUse) {
  // The study areas labelled as degrees, and a raster of 40 distinct values.
  for (const char* ext : {".shp", ".shx", ".dbf"})
    fs::copy_file(At("sample/areas") + ext, At("degrees") + ext);
  std::ofstream(At("degrees.prj")) << "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
                                      "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]";
  {
    GDALAllRegister();
    GDALDatasetUniquePtr src(GDALDataset::Open(At("sample/groundcover.tif").c_str(), GDAL_OF_RASTER));
    GDALDatasetUniquePtr ds(GetGDALDriverManager()->GetDriverByName("GTiff")->CreateCopy(
        At("forty.tif").c_str(), src.get(), FALSE, nullptr, nullptr, nullptr));
    std::vector<std::uint8_t> row(40);
    for (int i = 0; i < 40; ++i) row[i] = static_cast<std::uint8_t>(100 + i);
    ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, 40, 1, row.data(), 40, 1, GDT_Byte, 0, 0), CE_None);
  }
  WriteOneBitRaster(At("bits.tif"));
  const struct {
    std::string args;
    std::string table;
    const char* says;
  } cases[] = {
      {"poly-clip " + At("sample/sites.shp") + " " + At("sample/groundcover.tif"), "sample/sites.dbf",
       "is a layer of points, not of polygons"},
      {"poly-clip " + At("sample/areas.shp") + " " + At("sample/dem.tif"), "sample/areas.dbf",
       "classes need an integer raster"},
      {"poly-clip " + At("degrees.shp") + " " + At("sample/groundcover.tif"), "degrees.dbf",
       "give --force to run anyway"},
      {"poly-clip " + At("sample/areas.shp") + " " + At("forty.tif"), "sample/areas.dbf",
       "40 or more distinct cell values"},
      {"poly-clip " + At("sample/areas.shp") + " " + At("bits.tif"), "sample/areas.dbf",
       "bits.tif holds cells of 1 bit; classes need an integer raster"},
      {"grid-spot " + At("sample/sites.shp") + " " + At("sample/dem.tif") + " --field FID", "sample/sites.dbf",
       "the field name FID names the points' object ids"},
      {"grid-spot " + At("sample/areas.shp") + " " + At("sample/dem.tif") + " --field v", "sample/areas.dbf",
       "is a layer of polygons, not of points"},
      {"line-orientation " + At("sample/sites.shp") + " " + At("out"), "sample/sites.dbf",
       "is a layer of points, not of lines"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const std::string before = Bytes(At(c.table));
    const auto out = Run(c.args);
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.output.find(c.says), std::string::npos) << out.output;
    EXPECT_EQ(Bytes(At(c.table)), before);
  }
  EXPECT_FALSE(fs::exists(At("out.shp")));

  // Forced, the polygons are counted where their numbers fall on the raster.
  const auto forced = Run("poly-clip --force " + At("degrees.shp") + " " + At("sample/groundcover.tif"));
  EXPECT_EQ(forced.status, 0) << forced.output;
  EXPECT_NE(forced.output.find("warning: "), std::string::npos) << forced.output;
}

}  // namespace
