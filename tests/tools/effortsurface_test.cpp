// The effort surface from the click to the raster on disk: the dialog driven as a person
// would, the run on its worker thread, the progress window on the window layer's clock.
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "data/processlog.h"
#include "gis/gis.h"
#include "host/plenthext.h"
#include "hostapp/layers.h"
#include "hostapp/objects.h"
#include "resources/resource.h"
#include "tests/tools/rasters.h"
#include "tools/effortsurface/effortkernel.h"
#include "tools/effortsurface/effortparams.h"
#include "tools/effortsurface/effortsurface.h"
#include "tools/effortsurface/effortsurfacedlg.h"
#include "tools/effortsurface/effortsurfaceworker.h"
#include "ui/automation.h"
#include "ui/window.h"

namespace {

namespace fs = std::filesystem;
namespace ua = ui::automation;
using plenth::test::WriteRaster;
using std::chrono::seconds;

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The four bands of a written surface, and what describes its grid.
struct Surface {
  int columns = 0, rows = 0, bands = 0;
  std::vector<float> band[4];
  double noData[4] = {};
  GDALDataType type[4] = {};
  double gt[6] = {};
  std::string wkt;
};

Surface ReadSurface(const fs::path& path) {
  Surface s;
  GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER));
  if (!ds) {
    ADD_FAILURE() << "no raster at " << path;
    return s;
  }
  s.columns = ds->GetRasterXSize();
  s.rows = ds->GetRasterYSize();
  s.bands = ds->GetRasterCount();
  ds->GetGeoTransform(s.gt);
  if (const OGRSpatialReference* srs = ds->GetSpatialRef()) {
    char* wkt = nullptr;
    srs->exportToWkt(&wkt);
    s.wkt = wkt;
    CPLFree(wkt);
  }
  for (int k = 0; k < std::min(s.bands, 4); ++k) {
    GDALRasterBand* band = ds->GetRasterBand(k + 1);
    s.type[k] = band->GetRasterDataType();
    s.noData[k] = band->GetNoDataValue();
    s.band[k].resize(static_cast<std::size_t>(s.columns) * s.rows);
    EXPECT_EQ(band->RasterIO(GF_Read, 0, 0, s.columns, s.rows, s.band[k].data(), s.columns, s.rows, GDT_Float32, 0, 0),
              CE_None);
  }
  return s;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// The inputs of a run, as arrays and as files on a 30 m grid in UTM zone 33N.
struct Scene {
  int rows, columns;
  std::vector<float> dem;
  std::vector<std::uint8_t> trails, streams, cover;

  Scene(int r, int c) : rows(r), columns(c), dem(Cells()), trails(Cells()), streams(Cells()), cover(Cells()) {
    for (int row = 0; row < rows; ++row)
      for (int col = 0; col < columns; ++col) {
        const std::size_t i = At(row, col);
        dem[i] = (row * 7 + col * 3) % 11 == 0 ? -9999.0f
                                               : static_cast<float>(900 + 40 * std::sin(row / 9.0) + 25 * std::cos(col / 7.0));
        trails[i] = (row + col) % 9 == 0 ? 1 : 0;
        streams[i] = col == columns / 2 ? 1 : 0;
        cover[i] = static_cast<std::uint8_t>((row / 3 + col / 4) % 11);
      }
  }
  std::size_t Cells() const { return static_cast<std::size_t>(rows) * columns; }
  std::size_t At(int r, int c) const { return static_cast<std::size_t>(r) * columns + c; }

  // On cells 30 m wide and `cellHeight` high.
  void Write(const fs::path& dir, double cellHeight = 30) const {
    const std::array<double, 6> gt{500000, 30, 0, 4100000 + cellHeight * rows, 0, -cellHeight};
    WriteRaster<float>((dir / "dem.tif").string(), GDT_Float32, columns, rows, {dem}, -9999, gt);
    WriteRaster<std::uint8_t>((dir / "trails.tif").string(), GDT_Byte, columns, rows, {trails}, 0, gt);
    WriteRaster<std::uint8_t>((dir / "roads.tif").string(), GDT_Byte, columns, rows, {trails}, 0, gt);
    WriteRaster<std::uint8_t>((dir / "streams.tif").string(), GDT_Byte, columns, rows, {streams}, 0, gt);
    WriteRaster<std::uint8_t>((dir / "cover.tif").string(), GDT_Byte, columns, rows, {cover}, 255, gt);
    OGRSpatialReference srs;
    srs.importFromEPSG(32633);
    GDALDatasetUniquePtr ds(GDALDataset::Open((dir / "dem.tif").c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE));
    ds->SetSpatialRef(&srs);
  }

  // The surface as the kernel computes it on the whole grid at once.
  Surface Expected() const {
    Surface s;
    s.columns = columns;
    s.rows = rows;
    for (auto& b : s.band) b.assign(Cells(), 0);
    const plenth::EffortGrids grids{trails.data(), 0, streams.data(), 0,
                                    reinterpret_cast<const std::int8_t*>(cover.data()), rows, columns, 30.0f};
    const plenth::EffortOutputs out{s.band[0].data(), s.band[1].data(), s.band[2].data(), s.band[3].data(), -1.0f};
    plenth::EffortKernel(PT_FLOAT, dem.data(), -9999, grids, out, {nullptr, nullptr, 1});
    return s;
  }
};

// What a person picks and types in the dialog.
struct Choice {
  std::string dem = "dem", trails = "trails", roads = "roads", streams = "streams", cover = "cover";
  std::string zFactor;  // left at "1" when empty
  std::string output;
};
Choice Out(const std::string& output) {
  Choice c;
  c.output = output;
  return c;
}

class EffortSurfaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gis::Initialize();
    hostapp::RegisterHostClasses();
    dir_ = fs::temp_directory_path() / ("plenth-effort-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    cwd_ = fs::current_path();
    app_ = com::MakeObject<hostapp::HostApplicationImpl>();
    ext_ = com::MakeObject<plenth::PlenthExt>();
    ext_->SetState(kExtensionEnabled);
    app_->AddExtension(CLSID_PlenthExt, ext_->Identity());
    command_ = com::MakeObject<plenth::EffortSurface>();
    ASSERT_EQ(command_->OnCreate(app_->Identity()), S_OK);
    ua::TakeMessageBoxes();
  }
  void TearDown() override {
    if (const HWND progress = Progress()) ua::Click(progress, IDCANCEL);
    ua::PumpPending();
    fs::current_path(cwd_);
    command_.reset();
    plenth::CurrentApplication.reset();
    app_->ClearExtensions();
    app_.reset();
    fs::remove_all(dir_);
  }

  fs::path At(const std::string& name) const { return dir_ / name; }

  // The scene's files and the five layers of the map.
  void AddScene(const Scene& scene) {
    scene.Write(dir_);
    for (const char* name : {"dem", "trails", "roads", "streams", "cover"})
      app_->document()->focusMap().AddLayer(
          hostapp::RasterLayerFromFile(At(std::string(name) + ".tif").string(), name).get());
  }

  // Fills the dialog and presses OK; `before` acts first (deleting a file, say).
  static void Fill(HWND d, const Choice& c, const std::function<void(HWND)>& before = {}) {
    EXPECT_TRUE(ua::Pick(GetDlgItem(d, IDC_EFFORT_DEM), c.dem)) << ua::LastRefusal();
    EXPECT_TRUE(ua::Pick(GetDlgItem(d, IDC_EFFORT_TRAILS), c.trails)) << ua::LastRefusal();
    EXPECT_TRUE(ua::Pick(GetDlgItem(d, IDC_EFFORT_ROADS), c.roads)) << ua::LastRefusal();
    EXPECT_TRUE(ua::Pick(GetDlgItem(d, IDC_EFFORT_STREAMS), c.streams)) << ua::LastRefusal();
    EXPECT_TRUE(ua::Pick(GetDlgItem(d, IDC_EFFORT_GROUNDCOVER), c.cover)) << ua::LastRefusal();
    if (!c.zFactor.empty()) {
      EXPECT_TRUE(ua::Replace(GetDlgItem(d, IDC_EFFORT_ZFACTOR), c.zFactor));
    }
    EXPECT_TRUE(ua::Type(GetDlgItem(d, IDC_OUTPUT_PATH), c.output));
    if (before) before(d);
    EXPECT_TRUE(ua::Click(d, IDOK)) << ua::LastRefusal();
  }

  // Clicks the command and fills the dialog.
  void Click(const Choice& c, const std::function<void(HWND)>& before = {}) {
    ua::ScopedUser user([&](HWND d) { Fill(d, c, before); });
    EXPECT_EQ(command_->OnClick(), S_OK);
  }

  // A window for a run on this thread, without the command's progress window.
  static HWND RunWindow() {
    return CreateDialogParam(plenth::ModuleInstance(), IDD_PROGRESSDLG, nullptr,
                             [](HWND, UINT m, WPARAM, LPARAM) -> INT_PTR { return m == WM_INITDIALOG; }, 0);
  }

  static HWND Progress() { return ua::FindWindowByCaption("Operation Progress"); }
  static std::string Button() { return ua::Text(GetDlgItem(Progress(), IDCANCEL)); }
  static std::string Clock() { return ua::Text(GetDlgItem(Progress(), IDC_PROGRESS_CLOCK)); }
  static std::string Pane() { return ua::Text(GetDlgItem(Progress(), IDC_PROGRESS_PANE)); }
  // Pumps until the run has ended and its window offers "Close".
  static bool Finished() {
    return ua::PumpUntil([] { return Progress() && Button() == "Close"; }, seconds(60));
  }

  // A whole run: click, fill, wait for the end; the pane's text.
  std::string RunToEnd(const Choice& c, const std::function<void(HWND)>& before = {}) {
    Click(c, before);
    EXPECT_TRUE(Progress()) << "no progress window";
    if (!Progress() || !Finished()) return {};
    return Pane();
  }

  std::string Opening(const fs::path& log) const {
    return "Starting to Process Slope Length\r\nOpened Logfile : " + log.string() + "\r\n";
  }

  fs::path dir_, cwd_;
  com::ComPtr<hostapp::HostApplicationImpl> app_;
  com::ComPtr<plenth::PlenthExt> ext_;
  com::ComPtr<plenth::EffortSurface> command_;
};

// A full run: the four bands of the DEM's grid, their costs those of the kernel, the log
// in the pane and on disk with its lines in order; Close then gives the select tool back.
TEST_F(EffortSurfaceTest, AFullRunWritesTheFourBandsAndTheLog) {
  const Scene scene(250, 37);
  AddScene(scene);
  // A run that starts late in a second ends in the next one on a real clock; the time stands
  // still here so the duration shown is the same on any machine.
  const ua::ScopedClock clock([] { return std::uint64_t{7000}; });
  const std::string pane = RunToEnd(Out(At("surface.tif").string()));
  const fs::path log = At("EffortSurface_log.txt");
  EXPECT_EQ(pane, Opening(log) + "...Operation Complete\r\n");  // rows 0, 100 and 200
  EXPECT_EQ(Bytes(log), pane);
  EXPECT_EQ(Clock(), "00:00:00");

  const Surface out = ReadSurface(At("surface.tif"));  // the name cut to 7 characters, as a GeoTIFF
  ASSERT_EQ(out.bands, 4);
  EXPECT_EQ(out.columns, 37);
  EXPECT_EQ(out.rows, 250);
  EXPECT_EQ(std::vector<double>(out.gt, out.gt + 6), (std::vector<double>{500000, 30, 0, 4107500, 0, -30}));
  EXPECT_NE(out.wkt.find("32633"), std::string::npos);
  const Surface expected = scene.Expected();
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(out.type[k], GDT_Float32);
    EXPECT_EQ(out.noData[k], -1.0);
    EXPECT_TRUE(SameBits(out.band[k], expected.band[k]));
    EXPECT_TRUE(std::all_of(out.band[k].begin(), out.band[k].end(), [](float v) { return v == -1.0f || v > 0; }));
  }

  // Close: the window goes and the host has its select tool back; the log stays closed.
  const int toolChanges = app_->currentToolChanges();
  ASSERT_TRUE(ua::Click(Progress(), IDCANCEL));
  EXPECT_EQ(Progress(), nullptr);
  EXPECT_EQ(command_->window, nullptr);
  EXPECT_EQ(app_->currentToolChanges(), toolChanges + 1);
  EXPECT_EQ(app_->currentToolName(), "PageLayout_SelectTool");
  plenth::LogMessage("after the run\r\n");
  EXPECT_EQ(Bytes(log), pane);
  EXPECT_TRUE(ua::TakeMessageBoxes().empty());
}

// Strip by strip with the row above and below each, on several threads, the run writes
// what it writes with every raster whole, bit for bit; the marks still come every 100
// rows and the log is unchanged.
TEST_F(EffortSurfaceTest, StripsWriteWhatTheWholeGridWrites) {
  const Scene scene(1037, 61);
  AddScene(scene);
  ASSERT_EQ(RunToEnd(Out(At("whole").string())), Opening(At("EffortSurface_log.txt")) + std::string(11, '.') +
                                                            "Operation Complete\r\n");
  ASSERT_TRUE(ua::Click(Progress(), IDCANCEL));
  const Surface whole = ReadSurface(At("whole.tif"));
  const Surface expected = scene.Expected();
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(SameBits(whole.band[k], expected.band[k])) << k;

  // The same parameters, the run on this thread with a window of its own.
  const HWND window = RunWindow();
  ASSERT_TRUE(IsWindow(window));
  const struct {
    std::int64_t stripBytes;  // 23 bytes a cell: 100 and 200 rows of 61 cells
    int threads;
  } cases[] = {{1, 1}, {1, 2}, {300000, 2}, {300000, 3}};
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.stripBytes << " bytes, " << c.threads << " threads");
    ASSERT_EQ(plenth::EffortStripRows(61, 23, c.stripBytes), c.stripBytes == 1 ? 100 : 200);
    const std::string name = "strip" + std::to_string(n++);
    std::strcpy(plenth::TheEffortParams().outputName, name.c_str());
    const std::atomic<bool> stop{false};
    EXPECT_EQ(plenth::EffortSurfaceWorker(window, stop, {c.stripBytes, c.threads}), 1);
    MSG done{};
    EXPECT_TRUE(PeekMessage(&done, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(done.message, plenth::WM_WORK_DONE);
    EXPECT_EQ(ua::Text(GetDlgItem(window, IDC_PROGRESS_PANE)),
              Opening(At("EffortSurface_log.txt")) + std::string(11, '.') + "Operation Complete\r\n");
    const Surface strips = ReadSurface(At(name + ".tif"));
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(SameBits(strips.band[k], whole.band[k])) << k;
  }
  plenth::CloseLog();
  DestroyWindow(window);
}

// The log lies beside the output: the output directory's first 119 characters followed by
// "EffortSurface_log.txt"; without a directory the current one, with no separator between.
TEST_F(EffortSurfaceTest, TheLogFileIsNamedFromTheOutputDirectory) {
  AddScene(Scene(3, 4));
  fs::create_directories(At("work"));
  fs::current_path(At("work"));
  const std::string bare = RunToEnd(Out("effortgrid"));
  const fs::path besideWork = dir_ / "workEffortSurface_log.txt";
  EXPECT_EQ(bare, Opening(besideWork) + ".Operation Complete\r\n");
  EXPECT_TRUE(fs::exists(besideWork));
  EXPECT_TRUE(fs::exists(At("work/effortg.tif")));
  ASSERT_TRUE(ua::Click(Progress(), IDCANCEL));

  // A directory of 130 characters: the log's name is cut from it.
  std::string deep = dir_.string() + "/";
  deep += std::string(130 - deep.size() - 1, 'd') + "/";
  ASSERT_EQ(deep.size(), 130u);
  fs::create_directories(deep);
  const std::string pane = RunToEnd(Out(deep + "surface"));
  const fs::path cut = deep.substr(0, 119) + "EffortSurface_log.txt";
  EXPECT_EQ(pane, Opening(cut) + ".Operation Complete\r\n");
  EXPECT_TRUE(fs::exists(cut));
  EXPECT_TRUE(fs::exists(deep + "surface.tif"));
}

// The failures of a run, each with its line after the opening ones, each followed by the
// end of the run: the window offers Close.
TEST_F(EffortSurfaceTest, FailuresEndTheRunWithTheirLine) {
  AddScene(Scene(3, 4));
  const std::string opening = Opening(At("EffortSurface_log.txt"));

  // Trails that cannot be opened: after the DEM, and the streams and the ground cover are
  // not tried (their files are gone too, and no line says so).
  EXPECT_EQ(RunToEnd(Out(At("a").string()),
                     [&](HWND) {
                       for (const char* name : {"trails.tif", "streams.tif", "cover.tif"}) fs::rename(At(name), At(name + std::string(".away")));
                     }),
            opening + "Unable to create raster dataset 'trails.tif'\r\nUnable to access input Trails dataset\r\n");
  EXPECT_FALSE(fs::exists(At("a.tif")));
  ASSERT_TRUE(ua::Click(Progress(), IDCANCEL));
  for (const char* name : {"trails.tif", "streams.tif", "cover.tif"}) fs::rename(At(name + std::string(".away")), At(name));

  // An output that exists already is refused by the data library.
  std::ofstream(At("taken.tif")) << "not a raster";
  EXPECT_EQ(RunToEnd(Out(At("taken").string())), opening + "Unable to create Raster dataset 'taken'\r\n");
  EXPECT_EQ(Bytes(At("taken.tif")), "not a raster");
  ASSERT_TRUE(ua::Close(Progress()));  // the close box acts as the button
  EXPECT_EQ(Progress(), nullptr);

  // An output directory that does not exist.
  EXPECT_EQ(RunToEnd(Out(At("nowhere/out").string())),
            "Starting to Process Slope Length\r\nUnable To Open Logfile : " + At("nowhere/EffortSurface_log.txt").string() +
                ".  Continuing...\r\n\rUnable to open directory '" + At("nowhere/").string() + "'\r\n");
  ASSERT_TRUE(ua::Click(Progress(), IDCANCEL));

  // A ground cover of another size: named, and nothing read outside its grid.
  WriteRaster<std::uint8_t>(At("cover.tif").string(), GDT_Byte, 5, 3, {std::vector<std::uint8_t>(15, 4)}, 255);
  EXPECT_EQ(RunToEnd(Out(At("b").string())),
            opening + "Input Groundcover dataset is 5 x 3 cells, not the DEM's 4 x 3\r\n");
  EXPECT_FALSE(fs::exists(At("b.tif")));
}

// A surface that cannot be written whole is reported, not called complete, and the part
// written goes: here the process may write no file larger than 200 kB.
TEST_F(EffortSurfaceTest, AWriteThatFailsIsReported) {
  AddScene(Scene(300, 300));
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit limited = old;
  limited.rlim_cur = 200000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const std::string pane = RunToEnd(Out(At("full").string()));
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(pane, Opening(At("EffortSurface_log.txt")) + "...Unable to write Raster dataset 'full'\r\n");
  EXPECT_FALSE(fs::exists(At("full.tif")));  // nothing that looks like a surface is left
}

// An input deleted or cut short between the dialog's choice and the run ends the run with
// its line, and leaves no surface.
TEST_F(EffortSurfaceTest, AnInputDeletedOrCutShortAfterTheChoiceEndsTheRun) {
  const Scene scene(300, 300);
  AddScene(scene);
  const auto cut = [&](const char* name, std::uintmax_t keep) { fs::resize_file(At(name), keep); };
  const struct {
    const char* what;
    std::function<void()> change;
    std::string ends;
  } cases[] = {
      {"DEM deleted", [&] { fs::remove(At("dem.tif")); },
       "Unable to create raster dataset 'dem.tif'\r\nUnable to access input DEM dataset\r\n"},
      {"ground cover cut short", [&] { cut("cover.tif", 100); },
       "Unable to create raster dataset 'cover.tif'\r\nUnable to access input Groundcover dataset\r\n"},
      {"trails cut within their cells", [&] { cut("trails.tif", fs::file_size(At("trails.tif")) / 2); },
       "ERROR\r\n Insufficient memory to allocate pixel cache buffer\r\n"},  // the line for a failed read
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    scene.Write(dir_);
    EXPECT_EQ(RunToEnd(Out(At("cut").string()), [&](HWND) { c.change(); }),
              Opening(At("EffortSurface_log.txt")) + c.ends);
    EXPECT_FALSE(fs::exists(At("cut.tif")));
    if (Progress()) ua::Click(Progress(), IDCANCEL);
  }
}

// A read that fails in a later strip (an input cut short past its first strip) ends the
// run with its line and deletes the surface begun, as a failed write does: its first rows
// would look like a result, and the next run would refuse to write over it.
TEST_F(EffortSurfaceTest, AReadThatFailsInALaterStripDeletesTheSurface) {
  const Scene scene(300, 61);  // the trails' file holds its cells in strips of 134 rows
  AddScene(scene);
  plenth::CurrentApplication = app_.query<HostApplication>();
  {
    ua::ScopedUser user([&](HWND d) { Fill(d, Out(At("cut").string())); });
    ASSERT_EQ(plenth::RunEffortSurfaceDlg(), IDOK);
  }
  fs::resize_file(At("trails.tif"), fs::file_size(At("trails.tif")) - 61 * 120);  // rows 180 on are gone
  const HWND window = RunWindow();
  const std::atomic<bool> stop{false};
  EXPECT_EQ(plenth::EffortSurfaceWorker(window, stop, {1, 1}), 0);  // strips of 100 rows: the first is whole
  EXPECT_EQ(ua::Text(GetDlgItem(window, IDC_PROGRESS_PANE)),
            Opening(At("EffortSurface_log.txt")) + ".Unable to read input Trails raster data\r\n");
  MSG done{};
  EXPECT_TRUE(PeekMessage(&done, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(done.message, plenth::WM_WORK_DONE);
  EXPECT_FALSE(fs::exists(At("cut.tif")));
  plenth::CloseLog();
  DestroyWindow(window);
}

// A raster whose cells the run does not take (64-bit integers, complex numbers) is refused
// with its name and its cells' type before anything is written.
TEST_F(EffortSurfaceTest, CellsOfATypeTheRunDoesNotTakeAreRefusedByTheirType) {
  const Scene scene(3, 4);
  AddScene(scene);
  const struct {
    const char* file;
    GDALDataType type;
    std::string line;
  } cases[] = {
      {"dem.tif", GDT_Int64, "Input DEM dataset has cells of type Int64, which the effort surface does not take\r\n"},
      {"trails.tif", GDT_CFloat32,
       "Input Trails dataset has cells of type CFloat32, which the effort surface does not take\r\n"},
      {"streams.tif", GDT_CInt16,
       "Input Streams dataset has cells of type CInt16, which the effort surface does not take\r\n"},
      {"cover.tif", GDT_UInt64,
       "Input Groundcover dataset has cells of type UInt64, which the effort surface does not take\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    scene.Write(dir_);
    GDALDatasetUniquePtr(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(At(c.file).c_str(), 4, 3, 1, c.type,
                                                                                 nullptr));
    EXPECT_EQ(RunToEnd(Out(At("typed").string())), Opening(At("EffortSurface_log.txt")) + c.line);
    EXPECT_FALSE(fs::exists(At("typed.tif")));
    if (Progress()) ua::Click(Progress(), IDCANCEL);
  }
}

// The holes of FLOAT and DOUBLE DEMs as other programs write them are no-data: NaN cells
// under a NaN no-data value (as reprojection leaves them), and the lowest float under a
// no-data value printed to eight digits, -3.4028235e+38 (as a .flt raster's header holds
// it), which is that float once taken as a value of the DEM's type. Every cell of the
// surface is -1 or a positive cost, and the eight moves that touch the hole are -1.
TEST_F(EffortSurfaceTest, HolesOfFloatDemsAreNoData) {
  const Scene scene(3, 3);
  AddScene(scene);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* file;
    GDALDataType type;
    double noData, hole;
    const char* format;
  } cases[] = {
      {"nan32.tif", GDT_Float32, nan, nan, "GTiff"},
      {"nan64.tif", GDT_Float64, nan, nan, "GTiff"},
      {"low.flt", GDT_Float32, -3.4028235e+38, -std::numeric_limits<float>::max(), "EHdr"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::vector<double> dem = {900, 910, 905, 920, c.hole, 915, 930, 925, 940};
    const std::array<double, 6> gt{500000, 30, 0, 4100090, 0, -30};
    if (c.type == GDT_Float32)
      WriteRaster<float>(At(c.file).string(), c.type, 3, 3, {std::vector<float>(dem.begin(), dem.end())}, c.noData, gt,
                         c.format);
    else
      WriteRaster<double>(At(c.file).string(), c.type, 3, 3, {dem}, c.noData, gt, c.format);
    const std::string layer = fs::path(c.file).stem().string();
    app_->document()->focusMap().AddLayer(hostapp::RasterLayerFromFile(At(c.file).string(), layer).get());
    Choice choice = Out(At("s" + layer).string());  // at most 7 characters
    choice.dem = layer;
    ASSERT_EQ(RunToEnd(choice), Opening(At("EffortSurface_log.txt")) + ".Operation Complete\r\n");
    ua::Click(Progress(), IDCANCEL);
    const Surface out = ReadSurface(At("s" + layer + ".tif"));
    ASSERT_EQ(out.bands, 4);
    for (int k = 0; k < 4; ++k)
      for (std::size_t i = 0; i < out.band[k].size(); ++i) {
        const float v = out.band[k][i];
        EXPECT_TRUE(v == -1.0f || v > 0) << "band " << k + 1 << " cell " << i << ": " << v;
      }
    // Out of the centre, and into it from its four western and southern neighbours.
    const std::pair<int, int> barred[] = {{0, 4}, {1, 4}, {2, 4}, {3, 4}, {0, 7}, {1, 6}, {2, 3}, {3, 0}};
    for (const auto& [band, cell] : barred) EXPECT_EQ(out.band[band][cell], -1.0f) << band << " " << cell;
    EXPECT_GT(out.band[2][7], 0);  // the moves elsewhere are costed
  }
}

// The surface lies exactly on its DEM, whose cells need not be square: the DEM's own
// corner and cell sizes; the costs take the x size as the distance between cells.
TEST_F(EffortSurfaceTest, TheSurfaceLiesOnItsDemWhateverItsCells) {
  const Scene scene(5, 4);
  AddScene(scene);
  scene.Write(dir_, 20);  // the scene's files on cells of 30 x 20 m
  ASSERT_EQ(RunToEnd(Out(At("oblong").string())), Opening(At("EffortSurface_log.txt")) + ".Operation Complete\r\n");
  const Surface out = ReadSurface(At("oblong.tif"));
  EXPECT_EQ(std::vector<double>(out.gt, out.gt + 6), (std::vector<double>{500000, 30, 0, 4100100, 0, -20}));
  const Surface expected = scene.Expected();  // a cell size of 30
  for (int k = 0; k < 4; ++k) EXPECT_TRUE(SameBits(out.band[k], expected.band[k])) << k;
}

// The roads are required by the dialog but never read: a roads dataset deleted after it
// was chosen does not matter.
TEST_F(EffortSurfaceTest, ADeletedRoadsDatasetDoesNotMatter) {
  AddScene(Scene(3, 4));
  EXPECT_EQ(RunToEnd(Out(At("c").string()), [&](HWND) { fs::remove(At("roads.tif")); }),
            Opening(At("EffortSurface_log.txt")) + ".Operation Complete\r\n");
  EXPECT_EQ(ReadSurface(At("c.tif")).bands, 4);
}

// Class rasters with cells wider than a byte are read in their own type: a trail or stream
// cell differs from the band's no-data value, and a ground-cover value outside the table
// costs as the table's default. The lowest byte alone would say otherwise for every cell
// below.
TEST_F(EffortSurfaceTest, WideClassRastersAreTakenByTheirValues) {
  AddScene(Scene(2, 3));
  WriteRaster<float>(At("dem.tif").string(), GDT_Float32, 3, 2, {std::vector<float>(6, 100)}, -9999);
  WriteRaster<std::uint16_t>(At("trails.tif").string(), GDT_UInt16, 3, 2, {{256, 256, 0, 0, 0, 0}}, 0);
  WriteRaster<std::uint16_t>(At("streams.tif").string(), GDT_UInt16, 3, 2, {{0, 0, 512, 0, 0, 0}}, 0);
  WriteRaster<std::int16_t>(At("cover.tif").string(), GDT_Int16, 3, 2, {{4, 4, 4, 4, 257, 6}}, -9999);
  ASSERT_EQ(RunToEnd(Out(At("wide").string())), Opening(At("EffortSurface_log.txt")) + ".Operation Complete\r\n");
  const Surface out = ReadSurface(At("wide.tif"));
  const std::vector<float> east = {
      7.5f,  // along the trail, a quarter of 30 m (low bytes 0: no trail)
      -1,    // into a stream cell (low byte 0: no stream)
      -1,    // the last column
      45,    // into cover 257, outside the table: 1.5 (low byte 1: barred)
      90,    // into cover 6
      -1};
  EXPECT_EQ(out.band[2], east);
}

// The clock: empty until the first tick, then the time since the start every 999 ms in
// whole seconds; when the run ends it shows the run's duration and stops.
TEST_F(EffortSurfaceTest, TheClockShowsTheTimeSinceTheStart) {
  AddScene(Scene(3, 4));
  std::atomic<std::uint64_t> now{5000};
  const ua::ScopedClock clock([&] { return now.load(); });
  Click(Out(At("timed").string()));
  ASSERT_TRUE(Progress());
  EXPECT_EQ(Clock(), "");
  EXPECT_EQ(ui::NextTimerDue(), 5999u);
  now = 5998;
  ua::PumpPending();
  EXPECT_EQ(Clock(), "");
  now = 5999;  // the first tick, in the run's first second
  ASSERT_TRUE(ua::PumpUntil([] { return !Clock().empty(); }, seconds(10)));
  EXPECT_EQ(Clock(), "00:00:00");
  now = 5000 + 3725 * 1000;
  ASSERT_TRUE(Finished());
  EXPECT_EQ(Clock(), "01:02:05");
  EXPECT_EQ(ui::NextTimerDue(), std::nullopt);  // stopped
  now += 100 * 3600 * 1000;
  ua::PumpPending();
  EXPECT_EQ(Clock(), "01:02:05");
}

// Cancel while the run goes on: the worker stops before another line, band or
// WM_WORK_DONE; the log keeps the lines so far and is closed; the window goes.
TEST_F(EffortSurfaceTest, CancelStopsARunningWorker) {
  AddScene(Scene(3000, 200));
  Click(Out(At("cancelled").string()));
  ASSERT_TRUE(Progress());
  // The worker waits on this thread for each line: once the first mark shows, it is held
  // at its next line until the click below has been handled.
  ASSERT_TRUE(ua::PumpUntil([] { return Pane().find('.') != std::string::npos; }, seconds(60)));
  ASSERT_TRUE(ua::Click(Progress(), IDCANCEL));
  EXPECT_EQ(Progress(), nullptr);
  MSG left{};
  EXPECT_FALSE(PeekMessage(&left, nullptr, 0, 0, PM_NOREMOVE)) << "message " << left.message << " after Cancel";
  const std::string log = Bytes(At("EffortSurface_log.txt"));
  EXPECT_EQ(log, plenth::LogText());
  EXPECT_EQ(log.rfind(Opening(At("EffortSurface_log.txt")), 0), 0u) << log;
  EXPECT_EQ(log.find("Operation Complete"), std::string::npos);
  EXPECT_LT(std::count(log.begin(), log.end(), '.'), 5);
  plenth::LogMessage("after Cancel\r\n");  // the log is closed
  EXPECT_EQ(Bytes(At("EffortSurface_log.txt")), log);

  // The command is free for a new run.
  const std::string again = RunToEnd(Out(At("again").string()));
  EXPECT_EQ(again.substr(again.size() - 20), "Operation Complete\r\n");
}

// A second click while a run is under way is refused with a message, and no dialog opens:
// the dialog would empty the parameters the run reads.
TEST_F(EffortSurfaceTest, ASecondClickDuringARunIsRefused) {
  AddScene(Scene(3, 4));
  Click(Out(At("first").string()));
  ASSERT_TRUE(Progress());  // the worker now waits on this thread for its first line
  bool dialogOpened = false;
  {
    ua::ScopedUser user([&](HWND d) {
      dialogOpened = true;
      ua::Click(d, IDCANCEL);
    });
    EXPECT_EQ(command_->OnClick(), S_OK);
  }
  EXPECT_FALSE(dialogOpened);
  const auto boxes = ua::TakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Effort Surface Calculator");
  EXPECT_NE(boxes[0].text.find("Wait until it has finished"), std::string::npos) << boxes[0].text;
  ASSERT_TRUE(Finished());
  EXPECT_NE(Pane().find("Operation Complete"), std::string::npos);
  EXPECT_EQ(ReadSurface(At("first.tif")).bands, 4);
}

// The dialog as a person sees it, and what it leaves for the run.
class EffortDialogTest : public EffortSurfaceTest {
 protected:
  void SetUp() override {
    EffortSurfaceTest::SetUp();
    AddScene(Scene(3, 4));
    plenth::CurrentApplication = app_.query<HostApplication>();
  }
  // Runs the dialog with `person` at it; IDOK or IDCANCEL.
  static INT_PTR Dialog(const std::function<void(HWND)>& person) {
    ua::ScopedUser user(person);
    return plenth::RunEffortSurfaceDlg();
  }
  static void PickAll(HWND d, bool roads = true) {
    for (const auto& [list, layer] : {std::pair{IDC_EFFORT_DEM, "dem"}, {IDC_EFFORT_TRAILS, "trails"},
                                      {IDC_EFFORT_STREAMS, "streams"}, {IDC_EFFORT_GROUNDCOVER, "cover"}})
      EXPECT_TRUE(ua::Pick(GetDlgItem(d, list), layer));
    if (roads) {
      EXPECT_TRUE(ua::Pick(GetDlgItem(d, IDC_EFFORT_ROADS), "roads"));
    }
  }
};

TEST_F(EffortDialogTest, OkNeedsAllFiveLayersAndAnOutput) {
  EXPECT_EQ(Dialog([](HWND d) {
              EXPECT_EQ(ua::Text(GetDlgItem(d, IDC_EFFORT_ZFACTOR)), "1");
              for (const int list : {IDC_EFFORT_DEM, IDC_EFFORT_TRAILS, IDC_EFFORT_ROADS, IDC_EFFORT_STREAMS,
                                     IDC_EFFORT_GROUNDCOVER}) {
                EXPECT_EQ(ua::Items(GetDlgItem(d, list)),
                          (std::vector<std::string>{"cover", "dem", "roads", "streams", "trails"}));
                EXPECT_EQ(ua::Selection(GetDlgItem(d, list)), -1);
              }
              EXPECT_FALSE(ua::Enabled(GetDlgItem(d, IDOK)));
              PickAll(d, false);
              ua::Type(GetDlgItem(d, IDC_OUTPUT_PATH), "out");
              EXPECT_FALSE(ua::Enabled(GetDlgItem(d, IDOK)));  // no roads: required, though never read
              EXPECT_TRUE(ua::Pick(GetDlgItem(d, IDC_EFFORT_ROADS), "roads"));
              EXPECT_TRUE(ua::Enabled(GetDlgItem(d, IDOK)));
              ua::Replace(GetDlgItem(d, IDC_OUTPUT_PATH), "");
              EXPECT_FALSE(ua::Enabled(GetDlgItem(d, IDOK)));
              ua::Click(d, IDCANCEL);
            }),
            IDCANCEL);
}

// Each choice is resolved at once: the DEM with its geometry, the others to their dataset.
// A choice that does not resolve loses its selection; the same choice again resolves
// nothing anew.
TEST_F(EffortDialogTest, ChoicesAreResolvedOnce) {
  const plenth::EffortParams& p = plenth::TheEffortParams();
  Dialog([&](HWND d) {
    PickAll(d);
    EXPECT_STREQ(p.dem.layerName, "dem");
    EXPECT_STREQ(p.dem.datasetName, "dem.tif");
    EXPECT_EQ(fs::path(p.dem.directory), dir_);
    EXPECT_STREQ(p.groundCover.datasetName, "cover.tif");
    EXPECT_EQ(p.columns, 4);
    EXPECT_EQ(p.rows, 3);
    EXPECT_EQ(p.cellSize, 30.0f);
    EXPECT_STREQ(p.unitName, "metre");
    double x = 0, y = 0;
    p.lowerLeft->get_X(&x);
    p.lowerLeft->get_Y(&y);
    EXPECT_EQ(x, 500000);
    EXPECT_EQ(y, 4100000);

    fs::remove(At("trails.tif"));
    const HWND trails = GetDlgItem(d, IDC_EFFORT_TRAILS);
    EXPECT_TRUE(ua::Pick(trails, "roads"));
    EXPECT_TRUE(ua::Pick(trails, "trails"));  // resolved anew: its dataset is gone
    EXPECT_EQ(ua::Selection(trails), -1);
    EXPECT_FALSE(ua::Enabled(GetDlgItem(d, IDOK)));
    EXPECT_TRUE(ua::Pick(trails, "trails"));  // the name stored already: nothing is resolved
    EXPECT_EQ(ua::Text(trails), "trails");
    ua::Click(d, IDCANCEL);
  });
  EXPECT_NE(plenth::LogText().find("Unable to create raster dataset 'trails.tif'"), std::string::npos);

  // Opened again: "1", no selection, OK disabled, and the inputs empty.
  Dialog([&](HWND d) {
    EXPECT_EQ(ua::Text(GetDlgItem(d, IDC_EFFORT_ZFACTOR)), "1");
    EXPECT_EQ(ua::Selection(GetDlgItem(d, IDC_EFFORT_DEM)), -1);
    EXPECT_FALSE(ua::Enabled(GetDlgItem(d, IDOK)));
    EXPECT_STREQ(p.dem.layerName, "");
    EXPECT_STREQ(p.trails.datasetName, "");
    ua::Click(d, IDCANCEL);
  });
}

// OK: the Z factor as strtod reads it, the output's name cut to 7 characters and its
// directory as typed, separator included, or the current directory without one.
TEST_F(EffortDialogTest, OkStoresTheZFactorAndTheOutput) {
  fs::current_path(dir_);
  const plenth::EffortParams& p = plenth::TheEffortParams();
  const struct {
    const char* z;
    const char* path;
    double zFactor;
    std::string directory, name;
  } cases[] = {
      {"2.5e1xyz", "C:\\data\\surface.img", 25, "C:\\data\\", "surface"},
      {"abc", "effortgrid", 0, dir_.string(), "effortg"},
      {" 0x10", "D:effort", 16, "D:", "effort"},
      {"-3", "/a/", -3, "/a/", ""},
      // A typed ".tif" is kept whole beside the 7 characters; a cut ending in a dot loses it.
      {"1", "/a/effort.tif", 1, "/a/", "effort.tif"},
      {"1", "/a/cost.tif", 1, "/a/", "cost.tif"},
      {"1", "/a/effortsurface.TIF", 1, "/a/", "efforts.TIF"},
      {"1", "/a/effort.xyz", 1, "/a/", "effort"},
      {"1", "/a/a.img", 1, "/a/", "a.img"},
      {"1", "/a/...tif", 1, "/a/", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(Dialog([&](HWND d) {
                PickAll(d);
                ua::Replace(GetDlgItem(d, IDC_EFFORT_ZFACTOR), c.z);
                ua::Type(GetDlgItem(d, IDC_OUTPUT_PATH), c.path);
                EXPECT_TRUE(ua::Click(d, IDOK));
              }),
              IDOK);
    EXPECT_EQ(p.zFactor, c.zFactor);
    EXPECT_EQ(p.outputDirectory, c.directory);
    EXPECT_EQ(p.outputName, c.name);
  }
}

}  // namespace
