#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

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

}  // namespace
