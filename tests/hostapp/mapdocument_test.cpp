// The map document: what one host writes, another reads back as the same map.
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "com/bstr.h"
#include "hostapp/layers.h"
#include "hostapp/mapdocument.h"
#include "hostapp/objects.h"
#include "tests/gis/fixture.h"

namespace {

namespace fs = std::filesystem;

class MapDocumentTest : public gistest::TempDir {
 protected:
  void SetUp() override {
    TempDir::SetUp();
    fs::create_directories(dir_ / "data");
    GDALDriver* tiff = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDatasetUniquePtr raster(tiff->Create(Path("data/dem.tif").c_str(), 4, 3, 1, GDT_Float32, nullptr));
    ASSERT_TRUE(raster);
    GDALDriver* shapes = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    GDALDatasetUniquePtr vector(shapes->Create(Path("data/sites.shp").c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    ASSERT_TRUE(vector && vector->CreateLayer("sites", nullptr, wkbPoint));
  }

  static std::string Name(Layer* layer) {
    com::BStr name;
    layer->get_Name(name.put());
    return name.utf8();
  }
};

TEST_F(MapDocumentTest, WrittenAndReadBackWithGroupsAndRelativePaths) {
  auto group = hostapp::MakeGroupLayer("terrain");
  group.query<GroupLayer>()->Add(hostapp::LayerFromFile(Path("data/dem.tif"), "elev").get());
  const std::vector<com::ComPtr<Layer>> layers{hostapp::LayerFromFile(Path("data/sites.shp")), group,
                                               hostapp::MakeGroupLayer("empty")};
  EXPECT_EQ(hostapp::SourceFileOf(layers[0].get()), Path("data/sites.shp"));
  EXPECT_EQ(hostapp::SourceFileOf(group.get()), "");
  EXPECT_TRUE(hostapp::WriteMapDocument(Path("map.json"), layers).empty());
  const std::string text = Bytes(Path("map.json"));
  EXPECT_NE(text.find("\"data/dem.tif\""), std::string::npos) << text;  // relative to the document

  // Read from elsewhere: paths are taken from the document's directory.
  gistest::InDirectory elsewhere(fs::temp_directory_path());
  const auto read = hostapp::ReadMapDocument(Path("map.json"));
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(Name(read[0].get()), "sites");
  EXPECT_TRUE(read[0].query<FeatureLayer>());
  EXPECT_EQ(Name(read[1].get()), "terrain");
  const auto members = hostapp::MembersOf(read[1].get());
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(Name(members[0].get()), "elev");
  EXPECT_TRUE(members[0].query<RasterLayer>());
  EXPECT_EQ(fs::path(hostapp::SourceFileOf(members[0].get())), fs::path(Path("data/dem.tif")));
  EXPECT_TRUE(hostapp::MembersOf(read[2].get()).empty());
}

// A shapefile copied from a system whose file names ignore case.
TEST_F(MapDocumentTest, AShapefileWithAnUpperCaseExtensionIsKeptByItsOwnName) {
  GDALDriver* shapes = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  {
    GDALDatasetUniquePtr vector(shapes->Create(Path("data/ROADS.shp").c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    ASSERT_TRUE(vector && vector->CreateLayer("ROADS", nullptr, wkbLineString));
  }
  fs::rename(Path("data/ROADS.shp"), Path("data/ROADS.SHP"));  // GDAL writes lower-case extensions
  const std::vector<com::ComPtr<Layer>> layers{hostapp::LayerFromFile(Path("data/ROADS.SHP"))};
  EXPECT_EQ(hostapp::SourceFileOf(layers[0].get()), Path("data/ROADS.SHP"));
  EXPECT_TRUE(hostapp::WriteMapDocument(Path("map.json"), layers).empty());
  const auto read = hostapp::ReadMapDocument(Path("map.json"));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(hostapp::SourceFileOf(read[0].get()), Path("data/ROADS.SHP"));
}

TEST_F(MapDocumentTest, WhatCannotBeWrittenOrReadIsNamed) {
  // A file outside the document's directory keeps its absolute path; a layer made in
  // memory has no file and is left out, by name.
  fs::create_directories(dir_ / "maps");
  auto made = hostapp::FeatureLayerOf(nullptr, "PointGrid");
  const auto left = hostapp::WriteMapDocument(Path("maps/map.json"), {hostapp::LayerFromFile(Path("data/dem.tif")), made});
  EXPECT_EQ(left, std::vector<std::string>{"PointGrid"});
  EXPECT_NE(Bytes(Path("maps/map.json")).find(Path("data/dem.tif")), std::string::npos);
  EXPECT_EQ(hostapp::ReadMapDocument(Path("maps/map.json")).size(), 1u);

  const auto fails = [&](const std::string& content, const std::string& said) {
    SCOPED_TRACE(content);
    std::ofstream(Path("bad.json")) << content;
    try {
      hostapp::ReadMapDocument(Path("bad.json"));
      ADD_FAILURE() << "read";
    } catch (const hostapp::MapDocumentError& e) {
      EXPECT_NE(std::string(e.what()).find(said), std::string::npos) << e.what();
    }
  };
  fails(R"({"layers": [{"path": "nowhere.tif"}]})", "nowhere.tif: no such file");
  fails(R"({"layers": [{"path": "maps/map.json"}]})", "not a raster");
  fails(R"({"groups": []})", "bad.json: not a map document");
  fails("not json", "bad.json: not a map document");
  fails(R"({"layers": {"path": "dem.tif"}})", "\"layers\" is not a list");
  std::string deep = R"({"path": "nowhere.tif"})";
  for (int i = 0; i <= hostapp::kMaxMapGroupDepth; ++i) deep = R"({"group": "g", "layers": [)" + deep + "]}";
  fails(R"({"layers": [)" + deep + "]}", "groups nested deeper than");
  EXPECT_THROW(hostapp::ReadMapDocument(Path("missing.json")), hostapp::MapDocumentError);
  EXPECT_THROW(hostapp::WriteMapDocument(Path("no/such/dir/map.json"), {}), hostapp::MapDocumentError);
}

TEST_F(MapDocumentTest, LayersComeOutOfTheMapAndOutOfTheirGroups) {
  auto map = com::MakeObject<hostapp::HostMap>();
  auto elev = hostapp::LayerFromFile(Path("data/dem.tif"));
  auto sites = hostapp::LayerFromFile(Path("data/sites.shp"));
  auto outer = hostapp::MakeGroupLayer("outer"), inner = hostapp::MakeGroupLayer("inner");
  inner.query<GroupLayer>()->Add(sites.get());
  outer.query<GroupLayer>()->Add(inner.get());
  map->AddLayer(elev.get());
  map->AddLayer(outer.get());
  EXPECT_TRUE(map->RemoveLayer(sites.get()));  // out of the group inside the group
  EXPECT_TRUE(hostapp::MembersOf(inner.get()).empty());
  EXPECT_FALSE(map->RemoveLayer(sites.get()));
  EXPECT_TRUE(map->RemoveLayer(elev.get()));
  ASSERT_EQ(map->layers().size(), 1u);
  EXPECT_EQ(map->layers()[0], outer);
}

}  // namespace
