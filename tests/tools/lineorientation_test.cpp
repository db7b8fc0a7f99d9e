#include "tools/lineorientation/lineorientation.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include "resources/resource.h"
#include "tests/tools/vectortools_fixture.h"

namespace {

using namespace vectortest;

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// One polyline of three segments, one of two parts, one of no length, one at an angle that
// single precision rounds.
const std::vector<Row> kLines = {
    {"LINESTRING (0 0,1 1,2 0,2 5)", {1LL, std::string("ridge")}},
    {"MULTILINESTRING ((10 10,10 0),(20 0,19 1))", {2LL, std::string("fence")}},
    {"LINESTRING (5 5,5 5)", {3LL, std::string("post")}},
    {"LINESTRING (0 0,3 1)", {4LL, std::string("slope")}},
};

class LineOrientationTest : public VectorToolsTest {
 protected:
  // Clicks the tool in a host showing the lines; `person` fills the dialog.
  void Click(const std::function<void(HWND)>& person) {
    Host host;
    host.AddLayer(At("lines.shp"), "lines");
    auto command = host.Command<plenth::LineOrientation>();
    ua::ScopedUser user(person);
    EXPECT_EQ(command->OnClick(), S_OK);
  }
  void Run(const std::string& layer, const std::string& outPath) {
    Click([&](HWND dialog) {
      EXPECT_TRUE(ua::Type(ua::Control(dialog, IDC_LINES_LAYER), layer));
      EXPECT_TRUE(ua::Type(ua::Control(dialog, IDC_LINES_OUTPUT), outPath));
      EXPECT_TRUE(ua::Click(dialog, IDOK)) << ua::LastRefusal();
    });
  }
};

TEST_F(LineOrientationTest, OneFeaturePerSegmentWithItsLinesValuesAndItsAzimuth) {
  WriteShapefile(At("lines.shp"), wkbLineString, {{"ID", OFTInteger}, {"NAME", OFTString}}, kLines);
  Run("lines", At("roadsegments.shp").string());  // the name is cut to 7 bytes
  EXPECT_FALSE(fs::exists(At("roadsegments.shp")));
  const Table out = ReadShapefile(At("roadseg.shp"));
  EXPECT_EQ(out.columns, (std::vector<std::string>{"ID", "NAME", "Azimuth"}));
  EXPECT_EQ(out.types[2], OFTReal);
  const struct {
    const char* wkt;
    long long id;
    const char* name;
    double azimuth;
  } expected[] = {
      {"LINESTRING (0 0,1 1)", 1, "ridge", 45},  {"LINESTRING (1 1,2 0)", 1, "ridge", 135},
      {"LINESTRING (2 0,2 5)", 1, "ridge", 180}, {"LINESTRING (10 10,10 0)", 2, "fence", 0},
      {"LINESTRING (20 0,19 1)", 2, "fence", 135}, {"LINESTRING (5 5,5 5)", 3, "post", 90},
  };
  ASSERT_EQ(out.rows.size(), 7u);
  // The table ends with its last record: written without the optional end-of-file byte,
  // whose upkeep costs system calls at every feature.
  const std::string dbf = Bytes(At("roadseg.dbf"));
  ASSERT_GT(dbf.size(), 12u);
  const auto word = [&](std::size_t at) { return static_cast<unsigned char>(dbf[at]) | static_cast<unsigned char>(dbf[at + 1]) << 8; };
  EXPECT_EQ(dbf.size(), static_cast<std::size_t>(word(8) + 7 * word(10)));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(out.rows[i].wkt, expected[i].wkt);
    EXPECT_EQ(out.rows[i].values, (std::vector<Value>{expected[i].id, std::string(expected[i].name), expected[i].azimuth}));
  }
  // The orientation is stored in single precision.
  const double exact = std::atan(3.0) * 180 / (4 * std::atan(1.0));
  const double stored = std::get<double>(out.rows[6].values[2]);
  EXPECT_NEAR(stored, static_cast<float>(exact), 1e-10);
  EXPECT_GT(std::fabs(stored - exact), 1e-8);
}

// An "Azimuth" of the input is not doubled: its values give way to the orientation.
TEST_F(LineOrientationTest, AnExistingAzimuthIsReplaced) {
  WriteShapefile(At("lines.shp"), wkbLineString, {{"Azimuth", OFTReal}, {"ID", OFTInteger}},
                 {{"LINESTRING (0 0,1 -1)", {999.0, 1LL}}});
  Run("lines", At("out").string());
  const Table out = ReadShapefile(At("out.shp"));
  EXPECT_EQ(out.columns, (std::vector<std::string>{"Azimuth", "ID"}));
  ASSERT_EQ(out.rows.size(), 1u);
  EXPECT_EQ(out.rows[0].values, (std::vector<Value>{135.0, 1LL}));
}

// A table's own column named FID (or fid, as files converted from other stores have it)
// is copied like any other, though the store's object ids go by that name elsewhere.
TEST_F(LineOrientationTest, AColumnNamedFidIsCopiedLikeAnyOther) {
  for (const char* fid : {"FID", "fid"}) {
    SCOPED_TRACE(fid);
    WriteShapefile(At(std::string(fid) + ".shp"), wkbLineString, {{fid, OFTInteger}, {"NAME", OFTString}},
                   {{"LINESTRING (0 0,1 1,2 0)", {70LL, std::string("ridge")}}, {"LINESTRING (5 5,5 6)", {0LL, std::string("post")}}});
    Host host;
    host.AddLayer(At(std::string(fid) + ".shp"), "lines");
    auto command = host.Command<plenth::LineOrientation>();
    ua::ScopedUser user([&](HWND dialog) {
      EXPECT_TRUE(ua::Type(ua::Control(dialog, IDC_LINES_LAYER), "lines"));
      EXPECT_TRUE(ua::Type(ua::Control(dialog, IDC_LINES_OUTPUT), At(std::string(fid) + "seg").string()));
      EXPECT_TRUE(ua::Click(dialog, IDOK)) << ua::LastRefusal();
    });
    EXPECT_EQ(command->OnClick(), S_OK);
    const Table out = ReadShapefile(At(std::string(fid) + "seg.shp"));
    EXPECT_EQ(out.columns, (std::vector<std::string>{fid, "NAME", "Azimuth"}));
    EXPECT_EQ(out.Of(fid), (std::vector<Value>{70LL, 70LL, 0LL}));
    EXPECT_EQ(out.Of("NAME"), (std::vector<Value>{std::string("ridge"), std::string("ridge"), std::string("post")}));
  }
}

TEST_F(LineOrientationTest, AnExistingOutputIsLeftUntouched) {
  WriteShapefile(At("lines.shp"), wkbLineString, {{"ID", OFTInteger}, {"NAME", OFTString}}, kLines);
  WriteShapefile(At("segs.shp"), wkbLineString, {{"KEEP", OFTInteger}}, {{"LINESTRING (7 7,8 8)", {7LL}}});
  const std::string shp = Bytes(At("segs.shp")), dbf = Bytes(At("segs.dbf"));
  const auto files = std::distance(fs::directory_iterator(dir_), fs::directory_iterator());
  Run("lines", At("segs").string());
  EXPECT_EQ(Bytes(At("segs.shp")), shp);
  EXPECT_EQ(Bytes(At("segs.dbf")), dbf);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), files);
}

// OK waits for an edit of the path that finds both texts given; choosing the layer after
// typing the path does not enable it.
TEST_F(LineOrientationTest, OkWaitsForAnEditOfThePath) {
  WriteShapefile(At("lines.shp"), wkbLineString, {{"ID", OFTInteger}}, {{"LINESTRING (0 0,1 1)", {1LL}}});
  Click([&](HWND dialog) {
    EXPECT_EQ(ua::Items(ua::Control(dialog, IDC_LINES_LAYER)), (std::vector<std::string>{"lines"}));
    EXPECT_FALSE(ua::Enabled(ua::Control(dialog, IDOK)));
    ASSERT_TRUE(ua::Type(ua::Control(dialog, IDC_LINES_OUTPUT), At("ou").string()));
    EXPECT_FALSE(ua::Enabled(ua::Control(dialog, IDOK)));
    ASSERT_TRUE(ua::Pick(ua::Control(dialog, IDC_LINES_LAYER), "lines"));
    EXPECT_FALSE(ua::Click(dialog, IDOK));
    ASSERT_TRUE(ua::Type(ua::Control(dialog, IDC_LINES_OUTPUT), "t"));
    EXPECT_TRUE(ua::Click(dialog, IDOK)) << ua::LastRefusal();
  });
  EXPECT_EQ(ReadShapefile(At("out.shp")).rows.size(), 1u);
}

// A layer name that finds no layer leaves the input of the last run in place.
TEST_F(LineOrientationTest, ANameThatFindsNoLayerRunsTheLastInputAgain) {
  WriteShapefile(At("lines.shp"), wkbLineString, {{"ID", OFTInteger}, {"NAME", OFTString}}, kLines);
  Run("lines", At("first").string());
  Run("no such layer", At("second").string());
  const Table first = ReadShapefile(At("first.shp")), second = ReadShapefile(At("second.shp"));
  EXPECT_EQ(second.rows.size(), 7u);
  for (std::size_t i = 0; i < second.rows.size(); ++i) EXPECT_EQ(second.rows[i].values, first.rows[i].values);
}

}  // namespace
