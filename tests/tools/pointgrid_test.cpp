#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "gis/gis.h"
#include "host/drptgt.h"
#include "host/plenthext.h"
#include "hostapp/display.h"
#include "hostapp/dropdata.h"
#include "hostapp/graphics.h"
#include "hostapp/layers.h"
#include "hostapp/objects.h"
#include "resources/resource.h"
#include "tools/pointgrid/createpointgridtool.h"
#include "tools/pointgrid/pointgridkernel.h"
#include "ui/automation.h"
#include "ui/clock.h"
#include "ui/dragdrop.h"
#include "ui/window.h"

namespace {

namespace fs = std::filesystem;
namespace ua = ui::automation;
using hostapp::DisplayCall;
using What = DisplayCall::What;
using Points = std::vector<std::pair<double, double>>;

// --- The point grid's arithmetic ---

Points Regular(double xMin, double yMin, double xMax, double yMax, double d) {
  Points out;
  plenth::EmitRegularGrid({xMin, yMin, xMax, yMax}, d, [&](double x, double y) { out.emplace_back(x, y); });
  return out;
}

TEST(PointGridKernel, TheRegularGridKeepsTheWestAndNorthEdgesOnly) {
  const Points ten = Regular(0, 0, 10, 10, 1);
  ASSERT_EQ(ten.size(), 100u);
  EXPECT_EQ(ten.front(), std::make_pair(0.0, 10.0));
  EXPECT_EQ(ten[1], std::make_pair(0.0, 9.0));  // down the first column
  EXPECT_EQ(ten[10], std::make_pair(1.0, 10.0));
  EXPECT_EQ(ten.back(), std::make_pair(9.0, 1.0));
  const Points wide = Regular(0, 0, 10.5, 10, 1);
  EXPECT_EQ(wide.size(), 110u);
  EXPECT_EQ(wide.back(), std::make_pair(10.0, 1.0));
  // Accumulated steps of 0.1 fall short of the edge: one more column and row each.
  EXPECT_EQ(Regular(0, 0, 1, 1, 0.1).size(), 11u * 11u);
  EXPECT_TRUE(Regular(5, 0, 1, 10, 1).empty());  // west past east
}

TEST(PointGridKernel, TheRandomGeneratorIsTheCLibrarysOwn) {
  // The first values of the C library's generator seeded with 1 (and with 0, the state
  // the seed sets).
  plenth::RandomGenerator one(1);
  std::vector<int> drawn;
  for (int i = 0; i < 10; ++i) drawn.push_back(one.Next());
  EXPECT_EQ(drawn, (std::vector<int>{41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464}));
  plenth::RandomGenerator zero(0);
  EXPECT_EQ(zero.Next(), 38);
  EXPECT_EQ(zero.Next(), 7719);

  // x is drawn before y, and r / 32767 reaches both bounds.
  plenth::RandomGenerator generator(1);
  Points points;
  plenth::EmitRandomPoints({0, 100, 32767, 200}, 2, generator, [&](double x, double y) { points.emplace_back(x, y); });
  EXPECT_EQ(points, (Points{{41, 100 + 100 * 18467.0 / 32767}, {6334, 100 + 100 * 26500.0 / 32767}}));
}

TEST(PointGridKernel, CountsAndStepsThatMakeAGrid) {
  const struct {
    double min, max, d;
    const char* shown;
  } counts[] = {{0, 10, 1, "11"}, {0, 10.5, 1, "11"}, {0, 10, 3, "4"},  {5, 5, 1, "1"},
                {0, 10, 0, "?"},  {0, 10, -1, "?"},   {10, 0, 1, "?"}, {0, 1e10, 0.5, "20000000001"}};
  for (const auto& c : counts) {
    SCOPED_TRACE(std::to_string(c.min) + " " + std::to_string(c.max) + " " + std::to_string(c.d));
    EXPECT_EQ(plenth::GridCountText(c.min, c.max, c.d), c.shown);
  }
  EXPECT_TRUE(plenth::GridStepAdvances({0, 0, 10, 10}, 1));
  EXPECT_FALSE(plenth::GridStepAdvances({0, 0, 10, 10}, 0));
  EXPECT_FALSE(plenth::GridStepAdvances({0, 0, 10, 10}, -1));
  EXPECT_FALSE(plenth::GridStepAdvances({0, 0, 1e20, 10}, 1));  // x + 1 == x at the east edge
  EXPECT_FALSE(plenth::GridStepAdvances({0, 0, 10, 10}, std::nan("")));
}

TEST(PointGridKernel, TheVisibleExtentClipsEastSouthWestNorthInThatOrder) {
  const plenth::GridArea visible{100, 100, 200, 200};
  const struct {
    plenth::GridArea area;
    bool inside;
    plenth::GridArea clipped;
  } cases[] = {
      {{120, 120, 180, 180}, true, {120, 120, 180, 180}},  // inside: untouched
      {{50, 50, 250, 250}, true, {110, 100, 200, 190}},    // columns from 50, rows from 250
      {{90, 90, 150, 150}, true, {110, 100, 150, 150}},    // the column on the west edge (100) is skipped
      {{201, 120, 300, 180}, false, {}},                   // east of it
      {{120, 20, 180, 99}, false, {}},                     // south of it
      {{0, 120, 99, 180}, false, {}},                      // west of it
      {{120, 201, 180, 300}, false, {}},                   // north of it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.area.xMin);
    plenth::GridArea area = c.area;
    ASSERT_EQ(plenth::ClipToVisible(area, 10, visible), c.inside);
    if (!c.inside) continue;
    EXPECT_EQ(area.xMin, c.clipped.xMin);
    EXPECT_EQ(area.yMin, c.clipped.yMin);
    EXPECT_EQ(area.xMax, c.clipped.xMax);
    EXPECT_EQ(area.yMax, c.clipped.yMax);
  }
}

// --- The tool and its dialog in a host ---

// Reads the points of a point shapefile in file order.
Points ShapefilePoints(const fs::path& path) {
  Points out;
  GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR));
  if (!ds) return out;
  for (auto& feature : *ds->GetLayer(0)) {
    const OGRPoint* p = feature->GetGeometryRef()->toPoint();
    out.emplace_back(p->getX(), p->getY());
  }
  return out;
}

std::string Calls(const std::vector<DisplayCall>& calls) {
  std::string out;
  for (const auto& c : calls) out += hostapp::Describe(c) + "\n";
  return out;
}

class PointGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gis::Initialize();
    hostapp::RegisterHostClasses();
    dir_ = fs::temp_directory_path() / ("plenth-pointgrid-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    app_ = com::MakeObject<hostapp::HostApplicationImpl>();
    ext_ = com::MakeObject<plenth::PlenthExt>();
    ext_->SetState(kExtensionEnabled);
    app_->AddExtension(CLSID_PlenthExt, ext_->Identity());
    tool_ = com::MakeObject<plenth::CreatePointGridTool>();
    ASSERT_EQ(tool_->OnCreate(app_->Identity()), S_OK);
    display_ = com::MakeObject<hostapp::RecordingDisplay>(800, 600);
    map().SetDisplay(display_.get());
    ShowExtent(0, 0, 800, 600);  // one map unit a pixel
    ua::TakeMessageBoxes();
  }
  void TearDown() override {
    app_->Shutdown();
    tool_.reset();
    app_->ClearExtensions();
    app_.reset();
    fs::remove_all(dir_);
  }

  hostapp::HostMap& map() { return app_->document()->focusMap(); }
  void ShowExtent(double x0, double y0, double x1, double y1) {
    auto extent = com::CreateInstance<Envelope>(CLSID_Envelope);
    extent->PutCoords(x0, y0, x1, y1);
    ASSERT_EQ(map().put_Extent(extent.get()), S_OK);
  }
  HWND Open() {
    EXPECT_EQ(tool_->OnClick(), S_OK);
    return tool_->window;
  }
  HWND Item(int id) const { return GetDlgItem(tool_->window, id); }
  std::string Text(int id) const { return ua::Text(Item(id)); }
  bool Enabled(int id) const { return ua::Enabled(Item(id)); }
  void Type(int id, const std::string& text) { ASSERT_TRUE(ua::Type(Item(id), text)) << ua::LastRefusal(); }
  // Types each field in turn, leaving the one before: a person tabbing through.
  void Fill(const std::string& north, const std::string& west, const std::string& east, const std::string& south,
            const std::string& spacing) {
    Type(IDC_POINTGRID_NORTH, north);
    Type(IDC_POINTGRID_EAST, east);  // east before west, so that the pair is never out of order
    Type(IDC_POINTGRID_WEST, west);
    Type(IDC_POINTGRID_SOUTH, south);
    Type(IDC_POINTGRID_SPACING, spacing);
    Leave();
  }
  void Leave() { ASSERT_TRUE(ua::Focus(Item(IDC_POINTGRID_PATH))); }
  // Clicks the check box until it shows `on`: the preview flag is its state when last
  // clicked, and outlives the dialog.
  void Preview(bool on) {
    ASSERT_TRUE(ua::Click(Item(IDC_POINTGRID_PREVIEW)));
    if (ua::Checked(Item(IDC_POINTGRID_PREVIEW)) != on) {
      ASSERT_TRUE(ua::Click(Item(IDC_POINTGRID_PREVIEW)));
    }
  }
  // What the tool drew during one redraw of the map: the host draws only the background
  // (a symbol and a rectangle after the start) on a map without layers or elements.
  // Each redraw reaches the tool twice, through the document's view and through the
  // focus map (here the same map), and draws the same twice; one of them is given.
  std::vector<DisplayCall> PreviewCalls() {
    display_->TakeCalls();
    map().Refresh();
    const auto calls = display_->TakeCalls();
    EXPECT_GE(calls.size(), 4u);
    if (calls.size() < 4) return {};
    const std::vector<DisplayCall> tool(calls.begin() + 3, calls.end() - 1);
    EXPECT_EQ(tool.size() % 2, 0u);
    const std::vector<DisplayCall> once(tool.begin(), tool.begin() + static_cast<long>(tool.size() / 2));
    EXPECT_EQ(std::vector<DisplayCall>(tool.begin() + static_cast<long>(once.size()), tool.end()), once);
    return once;
  }
  static std::vector<std::string> Boxes() {
    std::vector<std::string> out;
    for (const auto& b : ua::TakeMessageBoxes()) out.push_back(b.caption + ": " + b.text);
    return out;
  }
  fs::path At(const std::string& name) const { return dir_ / name; }

  fs::path dir_;
  com::ComPtr<hostapp::HostApplicationImpl> app_;
  com::ComPtr<plenth::PlenthExt> ext_;
  com::ComPtr<plenth::CreatePointGridTool> tool_;
  com::ComPtr<hostapp::RecordingDisplay> display_;
};

TEST_F(PointGridTest, TheDisplayShowsRowsAndColumnsAndTheOkRuleFollowsEveryChange) {
  Open();
  EXPECT_EQ(Text(IDC_POINTGRID_ROWS), "?");
  EXPECT_FALSE(Enabled(IDOK));
  EXPECT_FALSE(Enabled(IDC_POINTGRID_PREVIEW));
  EXPECT_FALSE(Enabled(IDC_POINTGRID_COUNT));
  Fill("10", "0", "10", "0", "1");
  EXPECT_EQ(Text(IDC_POINTGRID_COLUMNS), "11");
  EXPECT_EQ(Text(IDC_POINTGRID_ROWS), "11");
  EXPECT_TRUE(Enabled(IDC_POINTGRID_PREVIEW));
  EXPECT_FALSE(Enabled(IDOK));  // no path yet
  Type(IDC_POINTGRID_PATH, At("grid").string());
  EXPECT_TRUE(Enabled(IDOK));
  Type(IDC_POINTGRID_EAST, ".5");
  EXPECT_EQ(Text(IDC_POINTGRID_COLUMNS), "11");  // 10.5
  ASSERT_TRUE(ua::Replace(Item(IDC_POINTGRID_EAST), "9"));
  EXPECT_EQ(Text(IDC_POINTGRID_COLUMNS), "10");
  // Emptying a bound disables the preview and OK; the display keeps its last text.
  ASSERT_TRUE(ua::Replace(Item(IDC_POINTGRID_SOUTH), ""));
  EXPECT_FALSE(Enabled(IDC_POINTGRID_PREVIEW));
  EXPECT_FALSE(Enabled(IDOK));
  EXPECT_EQ(Text(IDC_POINTGRID_ROWS), "11");
}

TEST_F(PointGridTest, TypedLettersAreIgnoredButPastedTextIsNot) {
  Open();
  Type(IDC_POINTGRID_NORTH, "1a2,b.5-");
  EXPECT_EQ(Text(IDC_POINTGRID_NORTH), "12.5-");
  Type(IDC_POINTGRID_PATH, "a:b");  // the path takes anything
  EXPECT_EQ(Text(IDC_POINTGRID_PATH), "a:b");
  ASSERT_TRUE(ua::Replace(Item(IDC_POINTGRID_WEST), "1e3x"));
  EXPECT_EQ(Text(IDC_POINTGRID_WEST), "1e3x");
}

TEST_F(PointGridTest, LeavingABoundTidiesItsPairAndANegativeSpacingIsEmptied) {
  Open();
  Type(IDC_POINTGRID_EAST, "20");
  Type(IDC_POINTGRID_WEST, "50");
  Leave();
  EXPECT_EQ(Text(IDC_POINTGRID_WEST), "20");
  Type(IDC_POINTGRID_NORTH, "5");
  Type(IDC_POINTGRID_SOUTH, "7");
  Leave();
  EXPECT_EQ(Text(IDC_POINTGRID_SOUTH), "5");
  // A bound typed before the other of its pair is kept: an empty east is no bound yet.
  ASSERT_TRUE(ua::Replace(Item(IDC_POINTGRID_EAST), ""));
  Type(IDC_POINTGRID_WEST, "0");
  Leave();
  EXPECT_EQ(Text(IDC_POINTGRID_WEST), "200");

  Type(IDC_POINTGRID_EAST, "300");
  Type(IDC_POINTGRID_PATH, At("g").string());
  Type(IDC_POINTGRID_SPACING, "2");
  EXPECT_TRUE(Enabled(IDOK));
  ASSERT_TRUE(ua::Replace(Item(IDC_POINTGRID_SPACING), "-3"));
  EXPECT_TRUE(Enabled(IDOK));  // until it is left
  Leave();
  EXPECT_EQ(Text(IDC_POINTGRID_SPACING), "");
  EXPECT_FALSE(Enabled(IDOK));
  EXPECT_FALSE(Enabled(IDC_POINTGRID_PREVIEW));
}

TEST_F(PointGridTest, RandomModeTakesACountAndLeavesOkAsItWas) {
  Open();
  Type(IDC_POINTGRID_PATH, At("r").string());
  Fill("10", "0", "10", "0", "1");
  ASSERT_TRUE(Enabled(IDOK));
  ASSERT_TRUE(ua::Click(Item(IDC_POINTGRID_RANDOM)));
  EXPECT_TRUE(Enabled(IDOK));  // switching does not change it
  EXPECT_FALSE(Enabled(IDC_POINTGRID_PREVIEW));
  EXPECT_FALSE(Enabled(IDC_POINTGRID_SPACING));
  Type(IDC_POINTGRID_COUNT, "25");
  EXPECT_TRUE(Enabled(IDOK));
  Type(IDC_POINTGRID_NORTH, "0");  // any later change asks for a regular grid
  EXPECT_FALSE(Enabled(IDOK));
  ASSERT_TRUE(ua::Click(Item(IDC_POINTGRID_REGULAR)));
  EXPECT_TRUE(Enabled(IDC_POINTGRID_SPACING));
  EXPECT_FALSE(Enabled(IDC_POINTGRID_COUNT));
  EXPECT_TRUE(Enabled(IDC_POINTGRID_PREVIEW));
}

TEST_F(PointGridTest, OkWritesTheRegularGridAndAddsItToTheMap) {
  map().SetSpatialReference(gis::SpatialReferenceFromEpsg(32633).get());
  map().AddLayer(com::MakeObject<hostapp::NamedLayer>("first").get());
  Open();
  Type(IDC_POINTGRID_PATH, At("grid").string());
  Fill("10", "0", "10", "0", "1");
  ASSERT_TRUE(ua::Click(Item(IDOK)));
  EXPECT_FALSE(IsWindow(tool_->window));
  EXPECT_FALSE(tool_->dialogOpen());
  EXPECT_EQ(app_->currentToolName(), "PageLayout_SelectTool");
  const Points points = ShapefilePoints(At("grid.shp"));
  ASSERT_EQ(points.size(), 100u);
  EXPECT_EQ(points.front(), std::make_pair(0.0, 10.0));
  EXPECT_EQ(points.back(), std::make_pair(9.0, 1.0));
  EXPECT_TRUE(fs::exists(At("grid.prj")));
  ASSERT_EQ(map().layers().size(), 2u);
  com::BStr name;
  map().layers().back()->get_Name(name.put());
  EXPECT_EQ(name.utf8(), "PointGrid");
  com::ComPtr<FeatureClass> added;
  map().layers().back().query<FeatureLayer>()->get_FeatureClass(added.put());
  LONG count = 0;
  added->FeatureCount(&count);
  EXPECT_EQ(count, 100);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(PointGridTest, TheSameSecondGivesTheSameRandomPoints) {
  const auto previous = ui::SetTimeSource([] { return std::int64_t{1234567}; });
  for (const char* name : {"a", "b"}) {
    Open();
    Type(IDC_POINTGRID_PATH, At(name).string());
    Fill("200", "100", "300", "0", "1");
    ASSERT_TRUE(ua::Click(Item(IDC_POINTGRID_RANDOM)));
    Type(IDC_POINTGRID_COUNT, "250");
    ASSERT_TRUE(ua::Click(Item(IDOK)));
  }
  ui::SetTimeSource(previous);
  const Points a = ShapefilePoints(At("a.shp"));
  ASSERT_EQ(a.size(), 250u);
  EXPECT_EQ(a, ShapefilePoints(At("b.shp")));
  plenth::RandomGenerator generator(1234567);
  const double rx = generator.Next(), ry = generator.Next();
  EXPECT_EQ(a.front(), std::make_pair(100 + 200 * rx / 32767, 0 + 200 * ry / 32767));
  for (const auto& [x, y] : a) {
    EXPECT_TRUE(x >= 100 && x <= 300 && y >= 0 && y <= 200) << x << " " << y;
  }
}

// What refuses to make a grid is said, and nothing is created; a shapefile of that name
// is never overwritten.
TEST_F(PointGridTest, WhatCannotBeMadeIsReportedAndNothingIsOverwritten) {
  std::ofstream(At("taken.shp")) << "kept";
  // A path past the field's 254 characters, cut there, would name another shapefile.
  const std::string longPath = At(std::string(250, 'g')).string();
  const struct {
    std::string path;
    const char* spacing;
    const char* says;
    std::string file;
  } cases[] = {
      {At("zero").string(), "0", "must be a number greater than 0", "zero.shp"},
      {At("tiny").string(), "0.0000000000000000001", "must be a number greater than 0", "tiny.shp"},
      {"bare", "1", "Type the folder", "bare.shp"},
      {At("missing/grid").string(), "1", "cannot be opened for shapefiles", "missing/grid.shp"},
      {At("taken").string(), "1", nullptr, "taken.dbf"},
      {longPath, "1", "too long", fs::path(longPath.substr(0, 254)).filename().string() + ".shp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    Open();
    Type(IDC_POINTGRID_PATH, c.path);
    Type(IDC_POINTGRID_NORTH, "1000");
    Type(IDC_POINTGRID_EAST, "1000");
    Type(IDC_POINTGRID_WEST, "0");
    Type(IDC_POINTGRID_SOUTH, "0");
    Type(IDC_POINTGRID_SPACING, c.spacing);  // pressing OK before leaving it
    ASSERT_TRUE(ua::Click(Item(IDOK)));
    const auto boxes = Boxes();
    if (c.says) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_NE(boxes[0].find(c.says), std::string::npos) << boxes[0];
      EXPECT_EQ(boxes[0].rfind("Point Grid Generator: ", 0), 0u);
    } else {
      EXPECT_TRUE(boxes.empty());
    }
    EXPECT_FALSE(fs::exists(At(c.file)));
    EXPECT_FALSE(fs::exists(fs::path("bare.shp")));
    EXPECT_FALSE(IsWindow(tool_->window));  // OK still closes the dialog
  }
  std::ifstream kept(At("taken.shp"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept");
  EXPECT_TRUE(map().layers().empty());
}

TEST_F(PointGridTest, TwoClicksOpenOneDialogAndANewDocumentClosesIt) {
  const HWND dialog = Open();
  ASSERT_TRUE(IsWindow(dialog));
  EXPECT_EQ(ua::Text(dialog), "Point Grid Generator");
  EXPECT_EQ(GetParent(dialog), app_->mainWindow());
  EXPECT_EQ(tool_->OnClick(), S_OK);
  int shown = 0;
  for (HWND w : ua::TopLevelWindows()) shown += ua::Text(w) == "Point Grid Generator";
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(tool_->window, dialog);

  const int before = app_->currentToolChanges();
  app_->document()->NewDocument();
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_FALSE(tool_->dialogOpen());
  EXPECT_EQ(app_->currentToolChanges(), before + 1);
  EXPECT_EQ(app_->currentToolName(), "PageLayout_SelectTool");
  EXPECT_EQ(app_->document()->documentEvents().SinkCount(), 0u);
  EXPECT_TRUE(Boxes().empty());
  // Closed, the tool opens again on the next click.
  EXPECT_TRUE(IsWindow(Open()));
}

TEST_F(PointGridTest, SubscriptionFailuresAreShownAndTheDialogStaysUsable) {
  const struct {
    std::function<void(hostapp::HostDocument&)> scene;
    std::vector<std::string> boxes;
  } cases[] = {
      {[](hostapp::HostDocument& d) { d.FailFindConnectionPointWith(E_FAIL); }, {"ECON: 0x80004005"}},
      {[](hostapp::HostDocument& d) { d.documentEvents().SetAdviseLimit(0); }, {"ECON: 0x80040201"}},
      {[](hostapp::HostDocument& d) { d.focusMap().FailFindConnectionPointWith(E_NOINTERFACE); },
       {"FindConnectionPoint error: 0x80004002", "FindConnectionPoint error: 0x80004002"}},
      {[](hostapp::HostDocument& d) { d.focusMap().viewEvents().SetAdviseLimit(0); },
       {"Advise on ActiveViewEvents error: 0x80040201", "Advise on ActiveViewEvents error: 0x80040201"}},
  };
  for (const auto& c : cases) {
    c.scene(*app_->document());
    const HWND dialog = Open();
    EXPECT_EQ(Boxes(), c.boxes);
    EXPECT_TRUE(IsWindow(dialog));
    Type(IDC_POINTGRID_NORTH, "1");
    EXPECT_EQ(Text(IDC_POINTGRID_NORTH), "1");
    ASSERT_TRUE(ua::Click(Item(IDCANCEL)));
    Boxes();
    app_->document()->FailFindConnectionPointWith(S_OK);
    app_->document()->documentEvents().SetAdviseLimit(100);
    map().FailFindConnectionPointWith(S_OK);
    map().viewEvents().SetAdviseLimit(100);
  }
}

TEST_F(PointGridTest, ThePreviewDrawsTheAreaAndItsPointsAfterEveryRedraw) {
  Open();
  Fill("100", "0", "100", "0", "20");
  Preview(false);
  EXPECT_TRUE(PreviewCalls().empty());
  Preview(true);
  const auto once = PreviewCalls();
  ASSERT_EQ(once.size(), 2u + 1u + 25u) << Calls(once);
  EXPECT_EQ(hostapp::Describe(once[0]), "symbol fill style 1 size 1");
  EXPECT_EQ(hostapp::Describe(once[1]), "rectangle 0 0 100 100");
  EXPECT_EQ(hostapp::Describe(once[2]), "symbol marker style 0 size 3");
  EXPECT_EQ(hostapp::Describe(once[3]), "point 0 100");
  EXPECT_EQ(hostapp::Describe(once[4]), "point 0 80");
  EXPECT_EQ(hostapp::Describe(once.back()), "point 80 20");

  // 10 pixels or less between columns: only the area, hatched.
  for (const char* spacing : {"10", "0", "-5"}) {
    SCOPED_TRACE(spacing);
    ASSERT_TRUE(ua::Replace(Item(IDC_POINTGRID_SPACING), spacing));
    const auto dense = PreviewCalls();
    ASSERT_EQ(dense.size(), 2u) << Calls(dense);
    EXPECT_EQ(hostapp::Describe(dense[0]), "symbol fill style 7 size 1");
    EXPECT_EQ(hostapp::Describe(dense[1]), "rectangle 0 0 100 100");
  }

  // Random points: the check box is disabled and nothing is drawn.
  ASSERT_TRUE(ua::Replace(Item(IDC_POINTGRID_SPACING), "20"));
  ASSERT_TRUE(ua::Click(Item(IDC_POINTGRID_RANDOM)));
  EXPECT_TRUE(PreviewCalls().empty());
  ASSERT_TRUE(ua::Click(Item(IDC_POINTGRID_REGULAR)));
  EXPECT_EQ(PreviewCalls().size(), 28u);
  Preview(false);
  EXPECT_TRUE(PreviewCalls().empty());
}

TEST_F(PointGridTest, ThePreviewKeepsToTheVisibleExtent) {
  Open();
  Fill("1000", "-1000", "1000", "-1000", "50");
  Preview(true);
  ShowExtent(-130, -80, 670, 520);  // 800 x 600 pixels of one map unit
  auto calls = PreviewCalls();
  ASSERT_EQ(calls.size(), 3u + 16u * 12u);
  EXPECT_EQ(hostapp::Describe(calls[1]), "rectangle -1000 -1000 1000 1000");
  // The first column east of the visible west edge, the first row south of its north edge.
  EXPECT_EQ(hostapp::Describe(calls[3]), "point -100 500");
  for (std::size_t i = 3; i < calls.size(); ++i) {
    const double x = calls[i].coords[0], y = calls[i].coords[1];
    EXPECT_TRUE(x > -130 && x < 670 && y > -80 && y < 520) << hostapp::Describe(calls[i]);
  }

  // A grid column on the visible west edge, or a row on its north edge, is not drawn.
  ShowExtent(-100, -100, 700, 500);
  calls = PreviewCalls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(hostapp::Describe(calls[3]), "point -50 450");

  // An area wholly outside: the rectangle alone.
  ShowExtent(5000, 5000, 5800, 5600);
  EXPECT_EQ(PreviewCalls().size(), 2u);
}

TEST_F(PointGridTest, UpdateAreaTakesTheSelectedOrTheDominantRectangle) {
  Open();
  ASSERT_TRUE(ua::Click(Item(IDC_POINTGRID_UPDATEAREA)));  // nothing selected: nothing changes
  EXPECT_EQ(Text(IDC_POINTGRID_NORTH), "");
  const auto a = hostapp::MakeRectangleElement(1.5, 2.25, 10, 20);
  const auto b = hostapp::MakeRectangleElement(-500000.125, 4100000, 502000, 4107200.5);
  map().AddElement(a.get());
  map().AddElement(b.get());
  map().SelectElement(a.get());
  ASSERT_TRUE(ua::Click(Item(IDC_POINTGRID_UPDATEAREA)));
  EXPECT_EQ(Text(IDC_POINTGRID_WEST), "1.500000");
  EXPECT_EQ(Text(IDC_POINTGRID_SOUTH), "2.250000");
  EXPECT_EQ(Text(IDC_POINTGRID_EAST), "10.000000");
  EXPECT_EQ(Text(IDC_POINTGRID_NORTH), "20.000000");
  map().SelectElement(b.get());
  map().put_DominantElement(b.get());
  ASSERT_TRUE(ua::Click(Item(IDC_POINTGRID_UPDATEAREA)));
  EXPECT_EQ(Text(IDC_POINTGRID_WEST), "-500000.125000");
  EXPECT_EQ(Text(IDC_POINTGRID_NORTH), "4107200.500000");
}

TEST_F(PointGridTest, ThePreviewFollowsADocumentOpenedAndAFocusMapChanged) {
  Open();
  Fill("100", "0", "100", "0", "20");
  Preview(true);
  auto other = com::MakeObject<hostapp::HostMap>();
  auto otherDisplay = com::MakeObject<hostapp::RecordingDisplay>(800, 600);
  other->SetDisplay(otherDisplay.get());
  app_->document()->SetFocusMap(other.get());
  other->Refresh();
  // Only the focus map's subscription follows: one preview.
  int rectangles = 0;
  for (const auto& c : otherDisplay->TakeCalls()) rectangles += c.what == What::kRectangle && c.coords[2] == 100;
  EXPECT_EQ(rectangles, 1);

  auto opened = com::MakeObject<hostapp::HostMap>();
  auto openedDisplay = com::MakeObject<hostapp::RecordingDisplay>(800, 600);
  opened->SetDisplay(openedDisplay.get());
  app_->document()->OpenDocument(opened.get());
  opened->Refresh();
  rectangles = 0;
  for (const auto& c : openedDisplay->TakeCalls()) rectangles += c.what == What::kRectangle && c.coords[2] == 100;
  EXPECT_EQ(rectangles, 2);  // the document's view and its focus map again
  EXPECT_EQ(other->viewEvents().SinkCount(), 0u);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(PointGridTest, ThePathTakesDragsOfHostDataAndChangesNothing) {
  const int registrations = ui::DropRegistrationCount();
  Open();
  EXPECT_EQ(ui::DropRegistrationCount(), registrations + 1);
  Type(IDC_POINTGRID_PATH, "typed");
  ua::DragOutcome outcome;

  ASSERT_TRUE(ua::DragOver(Item(IDC_POINTGRID_PATH), hostapp::TextDragData("some text").get(), DROPEFFECT_COPY,
                           true, &outcome));
  EXPECT_EQ(outcome.enter, E_FAIL);
  EXPECT_EQ(outcome.enterEffect, DROPEFFECT_NONE);
  EXPECT_FALSE(outcome.dropped);

  auto layer = com::MakeObject<hostapp::NamedLayer>("roads");
  ASSERT_TRUE(ua::DragOver(Item(IDC_POINTGRID_PATH), hostapp::LayerDragData({layer.get()}).get(),
                           DROPEFFECT_COPY | DROPEFFECT_MOVE, true, &outcome));
  EXPECT_EQ(outcome.enter, S_OK);
  EXPECT_EQ(outcome.enterEffect, DROPEFFECT_COPY);
  EXPECT_TRUE(outcome.dropped);
  EXPECT_EQ(outcome.drop, S_OK);
  EXPECT_EQ(Text(IDC_POINTGRID_PATH), "typed");
  EXPECT_TRUE(map().layers().empty());

  ASSERT_TRUE(ua::DragOver(Item(IDC_POINTGRID_PATH), hostapp::DatasetDragData({{"/data", "roads.shp"}}).get(),
                           DROPEFFECT_COPY, true, &outcome));
  EXPECT_EQ(outcome.drop, S_OK);
  EXPECT_EQ(outcome.dropEffect, DROPEFFECT_COPY);
  EXPECT_EQ(Text(IDC_POINTGRID_PATH), "typed");

  ASSERT_TRUE(ua::Click(Item(IDCANCEL)));
  EXPECT_EQ(ui::DropRegistrationCount(), registrations);  // revoked with the dialog
}

TEST_F(PointGridTest, TheDropTargetsReadWhatTheyCanAndAlwaysAnswerOk) {
  // A layer whose file has gone cannot be rebuilt; the drop still answers S_OK.
  const fs::path raster = At("dem.tif");
  {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDatasetUniquePtr ds(driver->Create(raster.c_str(), 2, 2, 1, GDT_Byte, nullptr));
    const double gt[6] = {0, 1, 0, 2, 0, -1};
    ds->SetGeoTransform(const_cast<double*>(gt));
  }
  const auto gone = hostapp::RasterLayerFromFile(raster.string(), "dem");
  const auto data = hostapp::LayerDragData({gone.get()});
  fs::remove(raster);
  auto target = com::MakeObject<plenth::DrpTgt>();
  DWORD effect = DROPEFFECT_COPY;
  EXPECT_EQ(target->DragEnter(data.get(), 0, {0, 0}, &effect), S_OK);
  EXPECT_EQ(effect, DROPEFFECT_COPY);
  EXPECT_EQ(target->Drop(data.get(), 0, {0, 0}, &effect), S_OK);
  EXPECT_EQ(target->Drop(nullptr, 0, {0, 0}, &effect), S_OK);

  // Files are taken; the effect of their drop is left as it was.
  const auto files = hostapp::FileDragData({"/tmp/a.shp"});
  effect = DROPEFFECT_MOVE;
  EXPECT_EQ(target->DragEnter(files.get(), 0, {0, 0}, &effect), S_OK);
  EXPECT_EQ(effect, DROPEFFECT_COPY);
  effect = DROPEFFECT_MOVE;
  EXPECT_EQ(target->Drop(files.get(), 0, {0, 0}, &effect), S_OK);
  EXPECT_EQ(effect, DROPEFFECT_MOVE);

  // Before any point grid tool was created, the layers' format is not known.
  const UINT known = plenth::LayersClipboardFormat;
  plenth::LayersClipboardFormat = 0;
  auto layer = com::MakeObject<hostapp::NamedLayer>("roads");
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(target->DragEnter(hostapp::LayerDragData({layer.get()}).get(), 0, {0, 0}, &effect), E_FAIL);
  EXPECT_EQ(effect, DROPEFFECT_NONE);
  plenth::LayersClipboardFormat = known;
}

TEST_F(PointGridTest, NotificationsBrowseAndTheCloseBox) {
  const HWND dialog = Open();
  SendMessage(dialog, WM_NOTIFY, 0x10, 0x2345);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"wm_notify: Dialog Message, 0x4E, 0x10, 0x2345"}));

  std::vector<ua::SaveFileRequest> asked;
  std::optional<std::string> answer = At("chosen").string();
  const auto previous = ua::SetSaveFileHandler([&](const ua::SaveFileRequest& r) {
    asked.push_back(r);
    return answer;
  });
  ASSERT_TRUE(ua::Click(Item(IDC_POINTGRID_BROWSE)));
  EXPECT_EQ(Text(IDC_POINTGRID_PATH), At("chosen").string());
  ASSERT_TRUE(ua::Replace(Item(IDC_POINTGRID_PATH), "typed"));
  answer.reset();  // cancelled: the last choice comes back
  ASSERT_TRUE(ua::Click(Item(IDC_POINTGRID_BROWSE)));
  ua::SetSaveFileHandler(previous);
  EXPECT_EQ(Text(IDC_POINTGRID_PATH), At("chosen").string());
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].title, "Save As");
  EXPECT_EQ(asked[0].flags, 0x18000u);
  EXPECT_EQ(asked[1].fileName, At("chosen").string());

  ASSERT_TRUE(ua::Close(dialog));
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(app_->currentToolName(), "PageLayout_SelectTool");
}

}  // namespace
