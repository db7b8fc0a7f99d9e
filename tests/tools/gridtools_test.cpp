#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "data/processlog.h"
#include "gis/gis.h"
#include "host/plenthext.h"
#include "hostapp/layers.h"
#include "hostapp/objects.h"
#include "resources/resource.h"
#include "tests/tools/rasters.h"
#include "tools/exportgrid/exportgrid.h"
#include "tools/importgrid/importgrid.h"
#include "ui/automation.h"
#include "ui/window.h"

namespace {

namespace fs = std::filesystem;
namespace ua = ui::automation;

using plenth::test::WriteRaster;

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class GridToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gis::Initialize();
    hostapp::RegisterHostClasses();
    dir_ = fs::temp_directory_path() / ("plenth-gridtools-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    cwd_ = fs::current_path();
    app_ = com::MakeObject<hostapp::HostApplicationImpl>();
    ext_ = com::MakeObject<plenth::PlenthExt>();
    ext_->SetState(kExtensionEnabled);
    app_->AddExtension(CLSID_PlenthExt, ext_->Identity());
    export_ = com::MakeObject<plenth::ExportGrid>();
    import_ = com::MakeObject<plenth::ImportGrid>();
    ASSERT_EQ(export_->OnCreate(app_->Identity()), S_OK);
    ASSERT_EQ(import_->OnCreate(app_->Identity()), S_OK);
    ua::TakeMessageBoxes();
  }
  void TearDown() override {
    fs::current_path(cwd_);
    export_.reset();
    import_.reset();
    plenth::CurrentApplication.reset();
    app_->ClearExtensions();
    app_.reset();
    fs::remove_all(dir_);
  }
  fs::path At(const std::string& name) const { return dir_ / name; }
  void AddLayer(const std::string& file, const std::string& name) {
    app_->document()->focusMap().AddLayer(hostapp::RasterLayerFromFile(At(file).string(), name).get());
  }
  // Clicks the export, picks the layer, types the path and presses OK; the boxes shown.
  std::vector<std::string> Export(const std::string& layer, const std::string& outPath) {
    ua::ScopedUser user([&](HWND d) {
      EXPECT_TRUE(ua::Pick(GetDlgItem(d, IDC_EXPORT_LAYER), layer));
      EXPECT_TRUE(ua::Type(GetDlgItem(d, IDC_OUTPUT_PATH), outPath));
      EXPECT_TRUE(ua::Click(d, IDOK)) << ua::LastRefusal();
    });
    export_->OnClick();
    return Boxes();
  }
  std::vector<std::string> Import(const std::string& input, const std::string& outPath) {
    ua::ScopedUser user([&](HWND d) {
      EXPECT_TRUE(ua::Type(GetDlgItem(d, IDC_IMPORT_INPUT), input));
      EXPECT_TRUE(ua::Type(GetDlgItem(d, IDC_OUTPUT_PATH), outPath));
      EXPECT_TRUE(ua::Click(d, IDOK)) << ua::LastRefusal();
    });
    import_->OnClick();
    return Boxes();
  }
  static std::vector<std::string> Boxes() {
    std::vector<std::string> out;
    for (const auto& b : ua::TakeMessageBoxes()) out.push_back(b.caption + ": " + b.text);
    return out;
  }

  fs::path dir_, cwd_;
  com::ComPtr<hostapp::HostApplicationImpl> app_;
  com::ComPtr<plenth::PlenthExt> ext_;
  com::ComPtr<plenth::ExportGrid> export_;
  com::ComPtr<plenth::ImportGrid> import_;
};

const std::vector<std::string> kCool = {"cool: cool"};
const std::vector<std::string> kShit = {"shit: shit"};

TEST_F(GridToolsTest, AOneBandRasterExportsItsExactBytesAndImportsBack) {
  WriteRaster<float>(At("elev.tif"), GDT_Float32, 3, 2, {{12.5f, -0.0025f, -9999, 1, 2, 3}}, -9999);
  AddLayer("elev.tif", "elev");
  ASSERT_EQ(Export("elev", At("out").string()), kCool);
  EXPECT_EQ(Bytes(At("out.dat")),
            "ncols         3\r\nnrows         2\r\ncellsize      30.0000\r\n"
            "lowerleftX  500000.5000000000\r\nlowerleftY  4100000.0000000000\r\n"
            "datatype\tFLOAT\r\nNODATA_value  -9.999000e+003\r\n"
            " 1.250000e+001 -2.500000e-003 -9.999000e+003\r\n 1.000000e+000 2.000000e+000 3.000000e+000\r\n");

  ASSERT_EQ(Import(At("out.dat").string(), At("back").string()), kCool);
  auto back = gis::OpenRasterFile(At("back.tif").string());
  ASSERT_TRUE(back);
  GDALDatasetUniquePtr ds(GDALDataset::Open(At("back.tif").c_str()));
  ASSERT_NE(ds, nullptr);
  EXPECT_EQ(ds->GetRasterXSize(), 3);
  EXPECT_EQ(ds->GetRasterYSize(), 2);
  GDALRasterBand* band = ds->GetRasterBand(1);
  EXPECT_EQ(band->GetRasterDataType(), GDT_Float32);
  EXPECT_EQ(band->GetNoDataValue(), -9999);
  double gt[6];
  ASSERT_EQ(ds->GetGeoTransform(gt), CE_None);
  EXPECT_EQ(gt[0], static_cast<double>(500000.5f));  // the corner in single precision
  EXPECT_EQ(gt[1], 30);
  float cells[6];
  ASSERT_EQ(band->RasterIO(GF_Read, 0, 0, 3, 2, cells, 3, 2, GDT_Float32, 0, 0), CE_None);
  EXPECT_EQ(std::vector<float>(cells, cells + 6), (std::vector<float>{12.5f, -0.0025f, -9999, 1, 2, 3}));
}

// A no-data value that no cell of the band's type can hold (GeoTIFF allows any) is written
// by the format's rule for a value of the type: an integer keeps the low-order bits of its
// whole part, as the reader takes such a line.
TEST_F(GridToolsTest, ANoDataValueOutsideTheCellTypeIsWrittenByTheFormatsRule) {
  WriteRaster<std::int16_t>(At("half.tif"), GDT_Int16, 2, 1, {{1, 2}}, 3.5);
  AddLayer("half.tif", "half");
  ASSERT_EQ(Export("half", At("half").string()), kCool);
  const std::string half = Bytes(At("half.dat"));
  EXPECT_EQ(half.substr(half.find("datatype")), "datatype\tSHORT\r\nNODATA_value  3\r\n 1 2\r\n");
  const struct {
    double nodata;
    const char* written;
  } cases[] = {{-9999, "241"}, {256, "0"}, {-1, "255"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nodata);
    const std::string name = "byte" + std::to_string(static_cast<int>(c.nodata));
    WriteRaster<std::uint8_t>(At(name + ".tif"), GDT_Byte, 2, 1, {{1, 2}}, c.nodata);
    AddLayer(name + ".tif", name);
    ASSERT_EQ(Export(name, At(name).string()), kCool);
    const std::string text = Bytes(At(name + ".dat"));
    EXPECT_EQ(text.substr(text.find("datatype")),
              std::string("datatype\tUCHAR\r\nNODATA_value  ") + c.written + "\r\n 1 2\r\n");
  }
}

// A raster stored from its southern row (a positive y cell size) is written from its
// northern row like any other, and comes back from the import the right way up.
TEST_F(GridToolsTest, ASouthUpRasterExportsFromItsNorthernRowAndImportsBackUpright) {
  WriteRaster<std::int16_t>(At("south.tif"), GDT_Int16, 2, 3, {{1, 2, 3, 4, 5, 6}}, -1,
                            {500000, 30, 0, 4100000, 0, 30});
  AddLayer("south.tif", "south");
  ASSERT_EQ(Export("south", At("south").string()), kCool);
  EXPECT_EQ(Bytes(At("south.dat")),
            "ncols         2\r\nnrows         3\r\ncellsize      30.0000\r\n"
            "lowerleftX  500000.0000000000\r\nlowerleftY  4100000.0000000000\r\n"
            "datatype\tSHORT\r\nNODATA_value  -1\r\n 5 6\r\n 3 4\r\n 1 2\r\n");
  ASSERT_EQ(Import(At("south.dat").string(), At("upright").string()), kCool);
  GDALDatasetUniquePtr ds(GDALDataset::Open(At("upright.tif").c_str()));
  ASSERT_TRUE(ds);
  double gt[6];
  ASSERT_EQ(ds->GetGeoTransform(gt), CE_None);
  EXPECT_EQ(std::vector<double>(gt, gt + 6), (std::vector<double>{500000, 30, 0, 4100090, 0, -30}));
  std::int16_t cells[6];
  ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, 2, 3, cells, 2, 3, GDT_Int16, 0, 0), CE_None);
  EXPECT_EQ(std::vector<std::int16_t>(cells, cells + 6), (std::vector<std::int16_t>{5, 6, 3, 4, 1, 2}));
}

TEST_F(GridToolsTest, EveryBandGetsItsOwnFileAndNamesFollowTheTypedPath) {
  WriteRaster<std::int16_t>(At("three.tif"), GDT_Int16, 2, 1, {{1, 2}, {3, 4}, {5, 6}}, -1);
  AddLayer("three.tif", "three");
  ASSERT_EQ(Export("three", At("bands").string()), kCool);
  for (int b = 0; b < 3; ++b) {
    const std::string text = Bytes(At("bands" + std::to_string(b) + ".dat"));
    EXPECT_NE(text.find("datatype\tSHORT\r\n"), std::string::npos);
    std::string lastRow = " ";
    lastRow += std::to_string(2 * b + 1) + " " + std::to_string(2 * b + 2) + "\r\n";
    EXPECT_EQ(text.substr(text.size() - 6), lastRow);
  }
  ASSERT_EQ(Export("three", At("x.dat").string()), kCool);
  EXPECT_TRUE(fs::exists(At("x.dat0.dat")));
  fs::current_path(dir_);  // a bare name writes into the current directory
  ASSERT_EQ(Export("three", "bare"), kCool);
  EXPECT_TRUE(fs::exists(At("bare2.dat")));
  ASSERT_EQ(Export("three", std::string(30, 'n')), kCool);  // the name is cut to 24 bytes
  EXPECT_TRUE(fs::exists(At(std::string(24, 'n') + "0.dat")));
}

TEST_F(GridToolsTest, OneColumnOfAMillionAndOneRowsGoesThroughWhole) {
  const int rows = 1000001;
  std::vector<std::int32_t> values(rows);
  for (int i = 0; i < rows; ++i) values[static_cast<std::size_t>(i)] = i;
  WriteRaster<std::int32_t>(At("tall.tif"), GDT_Int32, 1, rows, {values}, -1);
  AddLayer("tall.tif", "tall");
  ASSERT_EQ(Export("tall", At("tall").string()), kCool);
  const std::string text = Bytes(At("tall.dat"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7 + rows);
  EXPECT_EQ(text.substr(text.size() - 10), " 1000000\r\n");
  plenth::OpenLog(nullptr, nullptr);
  ASSERT_EQ(Import(At("tall.dat").string(), At("tall_back").string()), kCool);
  EXPECT_EQ(plenth::LogText().substr(plenth::LogText().size() - 3), "...");  // three strips
  GDALDatasetUniquePtr ds(GDALDataset::Open(At("tall_back.tif").c_str()));
  ASSERT_TRUE(ds);
  std::vector<std::int32_t> back(rows);
  ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, 1, rows, back.data(), 1, rows, GDT_Int32, 0, 0), CE_None);
  ds.reset();
  EXPECT_EQ(back, values);
}

TEST_F(GridToolsTest, ImportWalksStripsWithOneDotEach) {
  std::ofstream(At("wide.dat"), std::ios::binary)
      << "ncols         1000\r\nnrows         2500\r\ncellsize      1.0000\r\nlowerleftX  0.0000000000\r\n"
         "lowerleftY  0.0000000000\r\ndatatype\tUCHAR\r\nNODATA_value  0\r\n 7 8 9";  // runs out at once
  plenth::OpenLog(nullptr, nullptr);
  EXPECT_EQ(plenth::ImportGridFileToRaster(At("wide.dat").c_str(), dir_.c_str(), "wide"), 1);
  const std::string log = plenth::LogText();
  EXPECT_EQ(log.substr(log.size() - 5), "\r....");  // 833, 833, 833 and 1 rows
  GDALDatasetUniquePtr ds(GDALDataset::Open(At("wide.tif").c_str()));
  ASSERT_TRUE(ds);
  std::uint8_t first[4], last;
  ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, 4, 1, first, 4, 1, GDT_Byte, 0, 0), CE_None);
  ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Read, 999, 2499, 1, 1, &last, 1, 1, GDT_Byte, 0, 0), CE_None);
  ds.reset();
  // The cells the file had no values for hold the no-data value.
  EXPECT_EQ(std::vector<int>(first, first + 4), (std::vector<int>{7, 8, 9, 0}));
  EXPECT_EQ(last, 0);
}

// A header that declares far more cells than the file holds: the cells after the last
// value are no-data, and the strips after the one where the values ran out are left as
// the new raster has them, unwritten, so that the import takes as long as its file does.
// (Writing every strip of no-data, as the import once did, takes the first raster, of a
// million by a million cells, more than an hour: the test's timeout ends that.)
TEST_F(GridToolsTest, ARasterWhoseFileRunsOutIsNoDataBeyondItsValuesWithoutWritingThem) {
  const struct {
    const char* name;
    int cols, rows;
    const char* type;
    std::size_t strips;
    std::vector<std::pair<int, int>> noData;  // cells to look at, column and row
  } cases[] = {
      // Tiles of 256 x 256; strips of one row. The rest of the row written, the rows after
      // it in the same tile, the next tile, and far beyond.
      {"wide", 1000000, 1000000, "DOUBLE", 1000000,
       {{3, 0}, {999999, 0}, {0, 1}, {5, 255}, {5, 256}, {500000, 500000}, {999999, 999999}}},
      // File strips of 2048 rows; 3 strips of a million rows: one file strip holds rows
      // 999424 to 1001471.
      {"tall", 1, 3000000, "LONG", 3, {{0, 3}, {0, 999999}, {0, 1000000}, {0, 1001471}, {0, 1001472}, {0, 2999999}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(At(std::string(c.name) + ".dat"), std::ios::binary)
        << "ncols         " << c.cols << "\r\nnrows         " << c.rows
        << "\r\ncellsize      1.0000\r\nlowerleftX  0.0000000000\r\nlowerleftY  0.0000000000\r\ndatatype\t" << c.type
        << "\r\nNODATA_value  7\r\n 1 2 3\r\n";
    plenth::OpenLog(nullptr, nullptr);
    ASSERT_EQ(plenth::ImportGridFileToRaster(At(std::string(c.name) + ".dat").c_str(), dir_.c_str(), c.name), 1);
    // Every strip's dot (as many as the log's text keeps).
    const std::string log = plenth::LogText();
    const std::size_t dots = log.size() - (log.find_last_not_of('.') == std::string::npos ? 0 : log.find_last_not_of('.') + 1);
    EXPECT_EQ(dots, std::min(c.strips, plenth::kLogTextCapacity - 1));
    GDALDatasetUniquePtr ds(GDALDataset::Open(At(std::string(c.name) + ".tif").c_str()));
    ASSERT_TRUE(ds);
    GDALRasterBand* band = ds->GetRasterBand(1);
    const auto cell = [&](int x, int y) {
      double v = -1;
      EXPECT_EQ(band->RasterIO(GF_Read, x, y, 1, 1, &v, 1, 1, GDT_Float64, 0, 0), CE_None);
      return v;
    };
    EXPECT_EQ(cell(0, 0), 1);
    EXPECT_EQ(c.cols > 1 ? cell(2, 0) : cell(0, 2), 3);
    for (const auto& [x, y] : c.noData) EXPECT_EQ(cell(x, y), 7) << x << ", " << y;
    ds.reset();
    fs::remove(At(std::string(c.name) + ".tif"));
  }
}

// A header the output format cannot hold is refused with the reason in the log, and
// nothing is created.
TEST_F(GridToolsTest, ARasterTooLargeForTheFormatIsRefusedWithItsReason) {
  std::ofstream(At("vast.dat"), std::ios::binary)
      << "ncols         20000000\r\nnrows         20000000\r\ncellsize      1.0000\r\nlowerleftX  0.0000000000\r\n"
         "lowerleftY  0.0000000000\r\ndatatype\tUCHAR\r\nNODATA_value  0\r\n 1\r\n";
  plenth::OpenLog(nullptr, nullptr);
  EXPECT_EQ(plenth::ImportGridFileToRaster(At("vast.dat").c_str(), dir_.c_str(), "vast"), 0);
  const std::string log = plenth::LogText();
  EXPECT_EQ(log.substr(log.rfind("Unable")),
            "Unable to create a raster of 20000000 x 20000000 cells: more than the GRID format holds\r\n");
  EXPECT_FALSE(fs::exists(At("vast.tif")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);  // the input alone
}

TEST_F(GridToolsTest, CancelWritesNothingAndGivesTheSelectToolBack) {
  WriteRaster<float>(At("elev.tif"), GDT_Float32, 1, 1, {{1}}, -1);
  AddLayer("elev.tif", "elev");
  const auto before = fs::directory_iterator(dir_);
  {
    ua::ScopedUser user([&](HWND d) {
      ua::Pick(GetDlgItem(d, IDC_EXPORT_LAYER), "elev");
      ua::Type(GetDlgItem(d, IDC_OUTPUT_PATH), At("nothing").string());
      ua::Click(d, IDCANCEL);
    });
    export_->OnClick();
  }
  EXPECT_FALSE(fs::exists(At("nothing.dat")));
  EXPECT_EQ(app_->currentToolName(), "PageLayout_SelectTool");
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(GridToolsTest, OkWaitsForBothTextsInEitherOrder) {
  WriteRaster<float>(At("elev.tif"), GDT_Float32, 1, 1, {{1}}, -1);
  AddLayer("elev.tif", "elev");
  int opened = 0;
  ua::ScopedUser user([&](HWND d) {
    ++opened;
    const HWND ok = GetDlgItem(d, IDOK);
    EXPECT_FALSE(ua::Enabled(ok));
    ua::Type(GetDlgItem(d, IDC_OUTPUT_PATH), "x");
    EXPECT_FALSE(ua::Enabled(ok));
    ua::Pick(GetDlgItem(d, IDC_EXPORT_LAYER), "elev");  // choosing the layer last enables OK at once
    EXPECT_TRUE(ua::Enabled(ok));
    ua::Type(GetDlgItem(d, IDC_OUTPUT_PATH), "\b");
    EXPECT_FALSE(ua::Enabled(ok));
    ua::Click(d, IDCANCEL);
  });
  export_->OnClick();
  EXPECT_EQ(opened, 1);  // the dialog opened, and the checks above ran once
}

TEST_F(GridToolsTest, ARefusedRasterIsShitAndTheExistingOneStays) {
  WriteRaster<float>(At("elev.tif"), GDT_Float32, 2, 1, {{1, 2}}, -1);
  AddLayer("elev.tif", "elev");
  ASSERT_EQ(Export("elev", At("e").string()), kCool);
  const std::string before = Bytes(At("elev.tif"));
  EXPECT_EQ(Import(At("e.dat").string(), At("elev").string()), kShit);  // elev.tif exists
  EXPECT_EQ(Bytes(At("elev.tif")), before);
  EXPECT_EQ(Import(At("missing.dat").string(), At("other").string()), kShit);
  EXPECT_FALSE(fs::exists(At("other.tif")));
}

TEST_F(GridToolsTest, AnImportThatFailsAfterCreatingTheRasterRemovesIt) {
  // A strip of 600 million DOUBLE cells is more than the data library hands out.
  std::ofstream(At("huge.dat"), std::ios::binary)
      << "ncols         600000000\r\nnrows         1\r\ncellsize      1.0000\r\nlowerleftX  0.0000000000\r\n"
         "lowerleftY  0.0000000000\r\ndatatype\tDOUBLE\r\nNODATA_value  0.000000e+000\r\n";
  EXPECT_EQ(plenth::ImportGridFileToRaster(At("huge.dat").c_str(), dir_.c_str(), "huge"), 0);
  EXPECT_FALSE(fs::exists(At("huge.tif")));
}

// The input changes after the person has chosen it and before the run reads it: the run
// fails and leaves no output, and the file it would have replaced stays.
TEST_F(GridToolsTest, AnInputDeletedOrCutShortAfterTheDialogFailsWithoutOutput) {
  std::vector<float> cells(200 * 200);
  for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<float>(i);
  WriteRaster<float>(At("elev.tif"), GDT_Float32, 200, 200, {cells}, -1);
  AddLayer("elev.tif", "elev");
  ASSERT_EQ(Export("elev", At("elev").string()), kCool);
  const std::string grid = Bytes(At("elev.dat"));
  const struct {
    const char* what;
    std::size_t keep;  // bytes of the input left; npos deletes it
  } inputs[] = {{"deleted", std::string::npos}, {"emptied", 0}, {"cut within the header", 60}};
  for (const auto& c : inputs) {
    SCOPED_TRACE(c.what);
    std::ofstream(At("in.dat"), std::ios::binary) << grid;
    ua::ScopedUser user([&](HWND d) {
      EXPECT_TRUE(ua::Type(GetDlgItem(d, IDC_IMPORT_INPUT), At("in.dat").string()));
      EXPECT_TRUE(ua::Type(GetDlgItem(d, IDC_OUTPUT_PATH), At("back").string()));
      if (c.keep == std::string::npos) fs::remove(At("in.dat"));
      else fs::resize_file(At("in.dat"), c.keep);
      EXPECT_TRUE(ua::Click(d, IDOK));
    });
    import_->OnClick();
    EXPECT_EQ(Boxes(), kShit);
    EXPECT_FALSE(fs::exists(At("back.tif")));
  }

  // The raster behind the chosen layer is cut short before the export reads its cells.
  const std::string raster = Bytes(At("elev.tif"));
  ua::ScopedUser user([&](HWND d) {
    EXPECT_TRUE(ua::Pick(GetDlgItem(d, IDC_EXPORT_LAYER), "elev"));
    EXPECT_TRUE(ua::Type(GetDlgItem(d, IDC_OUTPUT_PATH), At("elev").string()));
    fs::resize_file(At("elev.tif"), 1000);
    EXPECT_TRUE(ua::Click(d, IDOK));
  });
  export_->OnClick();
  EXPECT_EQ(Boxes(), kShit);
  EXPECT_EQ(Bytes(At("elev.dat")), grid);
  for (const auto& e : fs::directory_iterator(dir_))
    EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
}

}  // namespace
