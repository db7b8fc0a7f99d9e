// The desktop map application as a person uses it, on the offscreen screen: a map of the
// sample data opened, drawn, changed and saved; the module's commands in their menu and
// on their toolbar, run from their menu entries with their dialogs filled by keys and
// clicks; rectangles drawn and selected on the canvas.
#include "apps/plenth-map/qtapplication.h"
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <unistd.h>

#include "apps/plenth-map/mapwindow.h"
#include "apps/plenth/sampledata.h"
#include "hostapp/discovery.h"
#include "hostapp/installation.h"
#include "hostapp/layers.h"
#include "hostapp/mapdocument.h"
#include "resource.h"
#include "ui/automation.h"
#include "com/bstr.h"
#include "ui/qt/qtbackend.h"
#include "ui/window.h"

namespace {

namespace fs = std::filesystem;
namespace ua = ui::automation;

// The pixels where two pictures of the canvas differ, as a box; empty when none differ.
QRect Differing(const QImage& a, const QImage& b) {
  QRect box;
  for (int y = 0; y < std::min(a.height(), b.height()); ++y)
    for (int x = 0; x < std::min(a.width(), b.width()); ++x)
      if (a.pixel(x, y) != b.pixel(x, y)) box |= QRect(x, y, 1, 1);
  return box;
}

// What a person does when a modal window with this title is in front, in order.
struct Step {
  QString title;
  std::function<void(QWidget*)> act;
};

class PlenthMapTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new fs::path(fs::temp_directory_path() / ("plenth-map-" + std::to_string(::getpid())));
    fs::create_directories(*dir_);
    plenth::cli::WriteSampleData((*dir_ / "sample").string());
    registry::UseFile((*dir_ / "registry.reg").string());
  }
  static void TearDownTestSuite() {
    fs::remove_all(*dir_);
    delete dir_;
  }

  void SetUp() override {
    const std::string module = hostapp::InstalledModulePath();
    hostapp::EnsureRegistered(module);
    host_ = std::make_unique<hostapp::HostSession>(module, hostapp::DiscoverClasses(registry::Current().Read(), module));
    window_ = std::make_unique<plenth::map::MapWindow>(*host_);
    qt_.backend().AttachFrame(host_->app().mainWindow(), window_.get());
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }
  void TearDown() override {
    for (HWND window : ua::TopLevelWindows())
      if (window != host_->app().mainWindow()) DestroyWindow(window);
    window_.reset();
    host_.reset();
    QApplication::processEvents();
  }

  static std::string At(const std::string& name) { return (*dir_ / name).string(); }
  static QString Sample(const std::string& name) { return QString::fromStdString(At("sample/" + name)); }

  // The sample data as a map document: the DEM, then a group of the vector layers.
  static QString SampleDocument() {
    std::ofstream(At("sample/map.json")) << R"({"layers": [{"name": "dem", "path": "dem.tif"},
      {"group": "survey", "layers": [{"name": "sites", "path": "sites.shp"}, {"name": "areas", "path": "areas.shp"}]},
      {"name": "groundcover", "path": "groundcover.tif"}]})";
    return Sample("map.json");
  }

  QAction* MenuEntry(const QString& menuTitle, const QString& caption) const {
    for (QAction* top : window_->menuBar()->actions())
      if (top->menu() && top->text() == menuTitle)
        for (QAction* entry : top->menu()->actions())
          if (entry->text() == caption) return entry;
    return nullptr;
  }

  // Acts out the steps as their windows come to the front, while `run` runs; false when
  // a step's window never came.
  bool Acting(std::vector<Step> steps, const std::function<void()>& run) {
    std::size_t next = 0;
    QTimer person;
    QObject::connect(&person, &QTimer::timeout, [&] {
      QWidget* front = QApplication::activeModalWidget();
      if (next >= steps.size() || !front || front->windowTitle() != steps[next].title) return;
      steps[next++].act(front);
    });
    person.start(10);
    // Whatever window nobody expected is closed, so that a failing run ends.
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [&] {
      while (QWidget* front = QApplication::activeModalWidget()) front->close();
    });
    stuck.start(20000);
    run();
    person.stop();
    return next == steps.size();
  }

  template <class W>
  W* Control(const char* caption, int id) {
    return qobject_cast<W*>(qt_.backend().WidgetOf(GetDlgItem(ua::FindWindowByCaption(caption), id)));
  }

  // The share of the canvas's pixels that pass a test.
  double Share(const std::function<bool(QRgb)>& test) {
    const QImage image = window_->canvas()->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) count += test(image.pixel(x, y));
    return static_cast<double>(count) / (image.width() * image.height());
  }

  // The canvas as the screen shows it, with whatever repaints are pending done.
  QImage CanvasOnScreen() {
    QApplication::processEvents();
    auto* canvas = window_->canvas();
    const QPoint at = canvas->mapTo(window_.get(), QPoint(0, 0));
    return window_->screen()->grabWindow(window_->winId(), at.x(), at.y(), canvas->width(), canvas->height()).toImage();
  }

  std::pair<HWND, QRectF> PointGridOnDrawnArea(const std::string& output);

  static fs::path* dir_;
  ui::qt::ScopedQtBackend qt_;
  std::unique_ptr<hostapp::HostSession> host_;
  std::unique_ptr<plenth::map::MapWindow> window_;
};

fs::path* PlenthMapTest::dir_ = nullptr;

bool Grey(QRgb p) { return qRed(p) == qGreen(p) && qGreen(p) == qBlue(p) && qRed(p) < 250; }

TEST_F(PlenthMapTest, AMapDocumentIsOpenedDrawnChangedAndSaved) {
  ASSERT_TRUE(window_->OpenMapDocument(SampleDocument()).isEmpty());
  QTreeWidget* list = window_->layerList();
  ASSERT_EQ(list->topLevelItemCount(), 3);
  EXPECT_EQ(list->topLevelItem(0)->text(0), "dem");
  QTreeWidgetItem* group = list->topLevelItem(1);
  EXPECT_EQ(group->text(0), "survey");
  ASSERT_EQ(group->childCount(), 2);
  EXPECT_EQ(group->child(1)->text(0), "areas");

  // The DEM lies on top of the ground cover and fills most of the view in grey.
  EXPECT_GT(Share(Grey), 0.5);
  // Switched off, the ground cover's class colours show through.
  list->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
  EXPECT_LT(Share(Grey), 0.05);
  list->topLevelItem(0)->setCheckState(0, Qt::Checked);

  // A zoom about the middle keeps the middle where it is and halves what is seen.
  const QRectF before = window_->canvas()->VisibleExtent();
  window_->canvas()->ZoomBy(2, window_->canvas()->rect().center());
  const QRectF after = window_->canvas()->VisibleExtent();
  EXPECT_NEAR(after.width(), before.width() / 2, before.width() * 1e-6);
  EXPECT_NEAR(after.center().x(), before.center().x(), before.width() * 0.01);

  // Removed from its group, saved, and read back as it was left.
  list->setCurrentItem(group->child(0));
  window_->RemoveSelectedLayer();
  EXPECT_EQ(window_->layerList()->topLevelItem(1)->childCount(), 1);
  QStringList leftOut;
  QString error;
  ASSERT_TRUE(window_->SaveMapDocument(QString::fromStdString(At("saved.json")), &leftOut, &error)) << error.toStdString();
  EXPECT_TRUE(leftOut.isEmpty());
  const auto saved = hostapp::ReadMapDocument(At("saved.json"));
  ASSERT_EQ(saved.size(), 3u);
  const auto members = hostapp::MembersOf(saved[1].get());
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(plenth::map::NameOf(members[0].get()), "areas");

  // A document that cannot be read is named, and the map stays as it was.
  const QStringList failures = window_->OpenMapDocument(QString::fromStdString(At("nothing.json")));
  ASSERT_EQ(failures.size(), 1);
  EXPECT_TRUE(failures[0].contains("nothing.json"));
  EXPECT_EQ(window_->layerList()->topLevelItemCount(), 3);
}

TEST_F(PlenthMapTest, FilesGivenOrDroppedBecomeLayers) {
  const QStringList failures = window_->Open({Sample("dem.tif"), Sample("roads.shp"), Sample("missing.tif")});
  ASSERT_EQ(failures.size(), 1);
  EXPECT_TRUE(failures[0].contains("missing.tif"));
  // Each comes in on top, where it shows over the raster.
  ASSERT_EQ(window_->layerList()->topLevelItemCount(), 2);
  EXPECT_EQ(window_->layerList()->topLevelItem(0)->text(0), "roads");

  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(Sample("sites.shp"))});
  QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window_.get(), &drop);
  ASSERT_EQ(window_->layerList()->topLevelItemCount(), 3);
  EXPECT_EQ(window_->layerList()->topLevelItem(0)->text(0), "sites");
}

TEST_F(PlenthMapTest, TheModulesCommandsAreInTheirMenuAndOnTheirToolbar) {
  const char* captions[] = {"Regular Point Grid Tool", "Effort Surface Calculator", "Export GRID Format to Plenth Format",
                            "Grid Spot Tool", "Import Plenth Format to GRID Format", "Line Orientation Tool",
                            "Polygon Clip Tool"};
  const auto enabled = [&](const char* caption) {
    QAction* entry = MenuEntry("Plenth Tools", caption);
    return entry && entry->isEnabled();
  };
  for (const char* caption : captions) {
    SCOPED_TRACE(caption);
    ASSERT_NE(MenuEntry("Plenth Tools", caption), nullptr);
    EXPECT_FALSE(enabled(caption));  // an empty map
  }
  window_->Open({Sample("dem.tif")});
  for (const char* caption : captions) EXPECT_TRUE(enabled(caption)) << caption;
  // The module's own rule: off with the extension.
  host_->extension()->SetState(kExtensionDisabled);
  window_->commands().UpdateEnabled();
  for (const char* caption : captions) EXPECT_FALSE(enabled(caption)) << caption;

  auto* toolbar = window_->findChild<QToolBar*>("Plenth Extension Toolbar");
  ASSERT_NE(toolbar, nullptr);
  EXPECT_EQ(toolbar->windowTitle(), "Plenth Extension Toolbar");
  QStringList items;
  for (QAction* item : toolbar->actions()) {
    items << item->text();
    EXPECT_FALSE(item->icon().isNull());
  }
  EXPECT_EQ(items, QStringList({"Regular Point Grid Tool", "Polygon Clip Tool", "Line Orientation Tool"}));
}

TEST_F(PlenthMapTest, ExportAndImportRunFromTheirMenuEntries) {
  window_->OpenMapDocument(SampleDocument());
  QString box;
  const auto answer = [&](QWidget* front) {
    auto* shown = qobject_cast<QMessageBox*>(front);
    ASSERT_NE(shown, nullptr);
    box = shown->text();
    shown->button(QMessageBox::Ok)->click();
  };
  const std::string out = At("exported");
  EXPECT_TRUE(Acting({{"Export Grid",
                       [&](QWidget*) {
                         auto* layer = Control<QComboBox>("Export Grid", IDC_EXPORT_LAYER);
                         layer->setFocus();
                         QTest::keyClick(layer, Qt::Key_Down);  // the first raster: dem
                         QTest::keyClicks(Control<QLineEdit>("Export Grid", IDC_OUTPUT_PATH), QString::fromStdString(out));
                         QTest::mouseClick(Control<QPushButton>("Export Grid", IDOK), Qt::LeftButton);
                       }},
                      {"cool", answer}},
                     [&] { MenuEntry("Plenth Tools", "Export GRID Format to Plenth Format")->trigger(); }));
  EXPECT_EQ(box, "cool");
  ASSERT_TRUE(fs::exists(out + ".dat"));

  box.clear();
  // The import dialog's caption is the template's own "Dialog".
  EXPECT_TRUE(Acting({{"Dialog",
                       [&](QWidget*) {
                         QTest::keyClicks(Control<QLineEdit>("Dialog", IDC_IMPORT_INPUT), QString::fromStdString(out + ".dat"));
                         QTest::keyClicks(Control<QLineEdit>("Dialog", IDC_OUTPUT_PATH), QString::fromStdString(At("back")));
                         QTest::keyClick(Control<QLineEdit>("Dialog", IDC_OUTPUT_PATH), Qt::Key_Return);
                       }},
                      {"cool", answer}},
                     [&] { MenuEntry("Plenth Tools", "Import Plenth Format to GRID Format")->trigger(); }));
  EXPECT_EQ(box, "cool");
  EXPECT_TRUE(fs::exists(At("back.tif")));
}

TEST_F(PlenthMapTest, TheEffortSurfaceRunsFromItsMenuEntryWithItsProgressWindow) {
  window_->Open({Sample("dem.tif"), Sample("trails.tif"), Sample("streams.tif"), Sample("groundcover.tif")});
  // The run's clock: the test moves it.
  std::atomic<std::uint64_t> now{1'000'000};
  const ua::ScopedClock clock([&] { return now.load(); });
  const std::string out = At("effort/cost");
  fs::create_directories(At("effort"));
  EXPECT_TRUE(Acting({{"Dialog",
                       [&](QWidget*) {
                         // The lists are sorted: dem, groundcover, streams, trails.
                         const std::pair<int, const char*> picks[] = {{IDC_EFFORT_DEM, "dem"},
                                                                      {IDC_EFFORT_TRAILS, "trails"},
                                                                      {IDC_EFFORT_ROADS, "trails"},
                                                                      {IDC_EFFORT_STREAMS, "streams"},
                                                                      {IDC_EFFORT_GROUNDCOVER, "groundcover"}};
                         for (const auto& [id, name] : picks) {
                           auto* list = Control<QComboBox>("Dialog", id);
                           list->setFocus();
                           QTest::keyClicks(list, name);
                         }
                         QTest::keyClicks(Control<QLineEdit>("Dialog", IDC_OUTPUT_PATH), QString::fromStdString(out));
                         QTest::mouseClick(Control<QPushButton>("Dialog", IDOK), Qt::LeftButton);
                       }}},
                     [&] { MenuEntry("Plenth Tools", "Effort Surface Calculator")->trigger(); }));

  auto* button = Control<QPushButton>("Operation Progress", IDCANCEL);
  ASSERT_NE(button, nullptr);
  auto* shownClock = Control<QLabel>("Operation Progress", IDC_PROGRESS_CLOCK);
  auto* pane = Control<QPlainTextEdit>("Operation Progress", IDC_PROGRESS_PANE);
  ASSERT_NE(shownClock, nullptr);
  ASSERT_NE(pane, nullptr);
  EXPECT_TRUE(shownClock->isVisible());
  // An hour, two minutes and five seconds on: the clock says so, running or finished.
  now += 3'725'000;
  qt_.backend().Pump();
  EXPECT_TRUE(QTest::qWaitFor([&] { return button->text() == "Close"; }, 60000));
  EXPECT_EQ(shownClock->text(), "01:02:05");
  EXPECT_TRUE(pane->toPlainText().trimmed().endsWith("Operation Complete")) << pane->toPlainText().toStdString();
  QTest::mouseClick(button, Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(ua::FindWindowByCaption("Operation Progress"), nullptr);

  // Four bands of costs, and the log beside them.
  GDALDatasetUniquePtr written(GDALDataset::Open((out + ".tif").c_str(), GDAL_OF_RASTER));
  ASSERT_NE(written, nullptr);
  EXPECT_EQ(written->GetRasterCount(), 4);
  EXPECT_TRUE(fs::exists(At("effort/EffortSurface_log.txt")));
  // Added to the map as a person adds it.
  EXPECT_TRUE(window_->Open({QString::fromStdString(out + ".tif")}).isEmpty());
  EXPECT_EQ(window_->layerList()->topLevelItem(0)->text(0), "cost");
}

TEST_F(PlenthMapTest, LineOrientationRunsFromItsMenuEntry) {
  window_->Open({Sample("dem.tif"), Sample("roads.shp")});
  const std::string out = At("segments");
  EXPECT_TRUE(Acting({{"Line Orientation",
                       [&](QWidget*) {
                         QTest::keyClicks(Control<QComboBox>("Line Orientation", IDC_LINES_LAYER), "roads");
                         QTest::keyClicks(Control<QLineEdit>("Line Orientation", IDC_LINES_OUTPUT), QString::fromStdString(out));
                         QTest::keyClick(Control<QLineEdit>("Line Orientation", IDC_LINES_OUTPUT), Qt::Key_Return);
                       }}},
                     [&] { MenuEntry("Plenth Tools", "Line Orientation Tool")->trigger(); }));
  // The output's name is kept to its first seven characters.
  GDALDatasetUniquePtr written(GDALDataset::Open(At("segment.shp").c_str(), GDAL_OF_VECTOR));
  ASSERT_NE(written, nullptr);
  OGRLayer* segments = written->GetLayer(0);
  ASSERT_GE(segments->GetLayerDefn()->GetFieldIndex("Azimuth"), 0);
  // One feature per segment: more than the five roads.
  EXPECT_GT(segments->GetFeatureCount(), 5);
  for (auto& feature : *segments) {
    const double azimuth = feature->GetFieldAsDouble("Azimuth");
    EXPECT_TRUE(azimuth >= 0 && azimuth <= 180) << azimuth;
  }
}

TEST_F(PlenthMapTest, GridSpotAndPolygonClipRunFromTheirMenuEntries) {
  window_->Open({Sample("dem.tif"), Sample("groundcover.tif"), Sample("sites.shp"), Sample("areas.shp")});
  struct Case {
    const char* entry;
    const char* caption;
    std::vector<std::pair<int, const char*>> typed;  // into the dialog's boxes, in order
    const char* shapefile;
    const char* field;  // a column the run adds
  };
  const Case cases[] = {
      {"Grid Spot Tool", "Grid Spot Emulator",
       {{IDC_GRIDSPOT_POINTS, "sites"}, {IDC_GRIDSPOT_RASTER, "dem"}, {IDC_GRIDSPOT_FIELD, "elev"}}, "sites.shp", "elev"},
      {"Polygon Clip Tool", "Poly Clip Statistics",
       {{IDC_POLYCLIP_POLYGONS, "areas"}, {IDC_POLYCLIP_RASTER, "groundcover"}, {IDC_POLYCLIP_PREFIX, "gc"}}, "areas.shp",
       "gc1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    MenuEntry("Plenth Tools", c.entry)->trigger();
    QApplication::processEvents();
    ASSERT_NE(ua::FindWindowByCaption(c.caption), nullptr);
    for (const auto& [id, text] : c.typed) {
      QWidget* box = qt_.backend().WidgetOf(GetDlgItem(ua::FindWindowByCaption(c.caption), id));
      ASSERT_NE(box, nullptr);
      box->setFocus();
      QTest::keyClicks(box, text);
    }
    QTest::mouseClick(Control<QPushButton>(c.caption, IDOK), Qt::LeftButton);
    QApplication::processEvents();
    GDALDatasetUniquePtr written(GDALDataset::Open(At(std::string("sample/") + c.shapefile).c_str(), GDAL_OF_VECTOR));
    ASSERT_NE(written, nullptr);
    EXPECT_GE(written->GetLayer(0)->GetLayerDefn()->GetFieldIndex(c.field), 0);
    if (HWND left = ua::FindWindowByCaption(c.caption)) DestroyWindow(left);
  }
}

TEST_F(PlenthMapTest, ThePointGridIsWrittenAndItsLayerListed) {
  const auto [dialog, area] = PointGridOnDrawnArea("grid");
  ASSERT_NE(dialog, nullptr);
  const QImage before = CanvasOnScreen();
  QTest::mouseClick(Control<QPushButton>("Point Grid Generator", IDOK), Qt::LeftButton);
  EXPECT_TRUE(fs::exists(At("grid.shp")));
  const QRect drawn = Differing(before, CanvasOnScreen());
  ASSERT_FALSE(drawn.isEmpty());
  EXPECT_TRUE(window_->canvas()->MapToDevice().mapRect(area).toAlignedRect().adjusted(-4, -4, 4, 4).contains(drawn));
  QTreeWidget* list = window_->layerList();
  // Listed on top, and drawn over the DEM: the points show.
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(list->topLevelItem(0)->text(0), "PointGrid");
}

TEST_F(PlenthMapTest, RectanglesAreDrawnAndSelectedTheDominantFirst) {
  window_->Open({Sample("dem.tif")});
  auto* canvas = window_->canvas();
  const auto drag = [&](QPoint from, QPoint to, Qt::KeyboardModifiers keys = Qt::NoModifier) {
    QTest::mousePress(canvas, Qt::LeftButton, keys, from);
    QTest::mouseMove(canvas, to);
    QTest::mouseRelease(canvas, Qt::LeftButton, keys, to);
  };
  window_->findChild<QAction*>("RectangleTool")->trigger();
  drag({40, 40}, {120, 100});
  drag({200, 150}, {260, 220});
  ASSERT_EQ(canvas->elements().size(), 2u);
  // In map units, north up: the first lies north-west of the second.
  EXPECT_LT(canvas->elements()[0].right(), canvas->elements()[1].left());
  EXPECT_GT(canvas->elements()[0].bottom(), canvas->elements()[1].top());
  EXPECT_EQ(canvas->selection(), std::vector<int>({1}));  // the one just drawn

  window_->findChild<QAction*>("SelectTool")->trigger();
  QTest::mouseClick(canvas, Qt::LeftButton, Qt::NoModifier, {80, 70});
  EXPECT_EQ(canvas->Dominant(), 0);
  QTest::mouseClick(canvas, Qt::LeftButton, Qt::ShiftModifier, {230, 190});
  EXPECT_EQ(canvas->selection(), std::vector<int>({0, 1}));
  EXPECT_EQ(canvas->Dominant(), 0);  // the first picked stays dominant
  QTest::mouseClick(canvas, Qt::LeftButton, Qt::NoModifier, {300, 30});  // nothing there
  EXPECT_TRUE(canvas->selection().empty());
  drag({20, 20}, {300, 240});  // a box round both
  EXPECT_EQ(canvas->selection().size(), 2u);
  QTest::keyClick(canvas, Qt::Key_Delete);
  EXPECT_TRUE(canvas->elements().empty());
}

// Dragging a rectangle out paints the canvas from the view's last drawing instead of
// drawing every layer again at each move of the mouse; the rectangle made redraws it.
TEST_F(PlenthMapTest, ARectangleBeingDraggedDoesNotDrawTheMapAgain) {
  window_->Open({Sample("dem.tif")});
  auto* canvas = window_->canvas();
  const QImage before = CanvasOnScreen();
  // Left out of drawing behind the canvas's back: only a drawing anew shows it.
  hostapp::HostMap& map = host_->app().document()->focusMap();
  map.ShowLayer(map.layers().front().get(), false);
  window_->findChild<QAction*>("RectangleTool")->trigger();
  QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, {40, 40});
  for (int step = 1; step <= 4; ++step) QTest::mouseMove(canvas, {40 + 20 * step, 40 + 15 * step});
  const QRect dragged = Differing(before, CanvasOnScreen());
  EXPECT_FALSE(dragged.isEmpty());  // the rubber band
  EXPECT_TRUE(QRect(38, 38, 86, 66).contains(dragged)) << dragged.x() << "," << dragged.y() << " " << dragged.width()
                                                       << "x" << dragged.height();
  QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, {120, 100});
  ASSERT_EQ(canvas->elements().size(), 1u);
  EXPECT_GT(Differing(before, CanvasOnScreen()).width(), canvas->width() / 2);  // the DEM is gone
}

// The point grid's dialog opened on a rectangle drawn on the DEM and taken in by
// "Update Area", filled so that its preview can be switched on; the rectangle in map units.
std::pair<HWND, QRectF> PlenthMapTest::PointGridOnDrawnArea(const std::string& output) {
  window_->Open({Sample("dem.tif")});
  auto* canvas = window_->canvas();
  window_->findChild<QAction*>("RectangleTool")->trigger();
  QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, {100, 80});
  QTest::mouseMove(canvas, {300, 240});
  QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, {300, 240});
  if (canvas->elements().size() != 1u) return {};
  const QRectF area = canvas->elements()[0];

  MenuEntry("Plenth Tools", "Regular Point Grid Tool")->trigger();
  QApplication::processEvents();
  const HWND dialog = ua::FindWindowByCaption("Point Grid Generator");
  if (!dialog) return {};
  const auto item = [&](int id) { return GetDlgItem(dialog, id); };
  // The selected rectangle's bounds come into the dialog.
  EXPECT_TRUE(ua::Click(item(IDC_POINTGRID_UPDATEAREA)));
  EXPECT_NEAR(std::stod(ua::Text(item(IDC_POINTGRID_WEST))), area.left(), 1e-5);
  EXPECT_NEAR(std::stod(ua::Text(item(IDC_POINTGRID_NORTH))), area.bottom(), 1e-5);
  EXPECT_TRUE(ua::Type(item(IDC_POINTGRID_PATH), At(output)));
  EXPECT_TRUE(ua::Type(item(IDC_POINTGRID_SPACING), std::to_string(area.width() / 5)));
  EXPECT_TRUE(ua::Focus(item(IDC_POINTGRID_PATH)));
  EXPECT_TRUE(ua::Enabled(item(IDC_POINTGRID_PREVIEW)));
  return {dialog, area};
}

TEST_F(PlenthMapTest, ThePointGridPreviewIsDrawnOnTheCanvasAndFollowsAZoom) {
  const auto [dialog, area] = PointGridOnDrawnArea("previewed");
  ASSERT_NE(dialog, nullptr);
  const auto item = [&](int id) { return GetDlgItem(dialog, id); };
  auto* canvas = window_->canvas();
  canvas->ZoomBy(1.5, canvas->rect().center());

  const QImage without = canvas->grab().toImage();
  ASSERT_TRUE(ua::Click(item(IDC_POINTGRID_PREVIEW)));
  QApplication::processEvents();
  const QImage with = canvas->grab().toImage();
  // The preview lies on the area as the zoomed view shows it, a marker's size around.
  const QRect drawn = Differing(without, with);
  ASSERT_FALSE(drawn.isEmpty());
  const QRect where = canvas->MapToDevice().mapRect(area).toAlignedRect();
  EXPECT_TRUE(where.adjusted(-4, -4, 4, 4).contains(drawn)) << "drawn " << drawn.x() << "," << drawn.y() << " "
                                                            << drawn.width() << "x" << drawn.height();
  EXPECT_GT(drawn.width(), where.width() / 2);
  // Not the outline alone: the grid's dots inside the area (five columns, a few pixels each).
  const QRect inside = where.adjusted(5, 5, -5, -5);
  int changed = 0;
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x) changed += without.pixel(x, y) != with.pixel(x, y);
  EXPECT_GT(changed, 5 * 4 * 4);
  ASSERT_TRUE(ua::Click(item(IDCANCEL)));
}

TEST_F(PlenthMapTest, TheScreenShowsTheViewAsSoonAsTheModuleRefreshesIt) {
  const auto [dialog, area] = PointGridOnDrawnArea("refreshed");
  ASSERT_NE(dialog, nullptr);
  const HWND preview = GetDlgItem(dialog, IDC_POINTGRID_PREVIEW);
  const QImage before = CanvasOnScreen();
  // The check box only refreshes the view: nothing else asks the canvas to repaint.
  ASSERT_TRUE(ua::Click(preview));
  const QRect drawn = Differing(before, CanvasOnScreen());
  ASSERT_FALSE(drawn.isEmpty());
  EXPECT_TRUE(window_->canvas()->MapToDevice().mapRect(area).toAlignedRect().adjusted(-4, -4, 4, 4).contains(drawn));
  ASSERT_TRUE(ua::Click(preview));
  EXPECT_TRUE(Differing(before, CanvasOnScreen()).isEmpty());
  ASSERT_TRUE(ua::Click(GetDlgItem(dialog, IDCANCEL)));
}

TEST_F(PlenthMapTest, TheModulesStatusTextsShowInTheStatusBar) {
  com::BStr text("Generating points");
  host_->app().statusBar().put_Message(0, text.get());
  EXPECT_EQ(window_->statusBar()->currentMessage(), "Generating points");
  com::BStr other("elsewhere");
  host_->app().statusBar().put_Message(1, other.get());
  EXPECT_EQ(window_->statusBar()->currentMessage(), "Generating points");
}

}  // namespace
