#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

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

TEST_F(PlenthTest, ABareOutputNameIsWrittenAndNamedInTheCurrentDirectory) {
  const auto out = Run("export-grid " + At("sample/dem.tif") + " elev", dir_.string());
  EXPECT_EQ(out.status, 0) << out.output;
  EXPECT_NE(out.output.find("\nwrote elev.dat\n"), std::string::npos) << out.output;
  EXPECT_TRUE(fs::exists(At("elev.dat")));
}

TEST_F(PlenthTest, AFailingRegistrationShowsItsStatusAsTheHostDoes) {
  std::ofstream(At("registry.reg")) << "not a registry\n";
  const auto out = Run("register");
  EXPECT_EQ(out.status, 1);
  EXPECT_NE(out.output.find("the module answered a failure (0x80004005)"), std::string::npos) << out.output;
}

TEST_F(PlenthTest, WhatIsWrongIsSaidInOneLine) {
  const struct {
    std::string args;
    const char* says;
  } cases[] = {
      {"export-grid " + At("missing.tif") + " " + At("x"), "missing.tif: no such file"},
      {"export-grid " + At("sample/dem.tif") + " " + At("no/such/dir/x"), "does not exist"},
      {"export-grid " + At("sample/areas.shp") + " " + At("x"), "could not pick the layer"},
      {"import-grid " + At("missing.dat") + " " + At("x"), "missing.dat: no such file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const auto out = Run(c.args);
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.output.find(c.says), std::string::npos) << out.output;
  }
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
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
