// Pictures of the map application for the documentation: the main window on the sample
// data with the point grid's preview on a rectangle drawn on it, each of the module's
// dialogs as its menu entry opens it (the point grid's and the effort surface's filled in),
// and the effort surface's progress window at the end of a run.
//   plenth-map-screenshots DIR   (writes DIR/plenth-map.png, DIR/dialog-*.png and
//                                 DIR/progress-EffortSurface.png)
#include "apps/plenth-map/qtapplication.h"
#include <QDialog>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <iostream>

#include "apps/plenth-map/mapwindow.h"
#include "apps/plenth/sampledata.h"
#include "hostapp/discovery.h"
#include "hostapp/installation.h"
#include "resource.h"
#include "ui/automation.h"
#include "ui/qt/qtbackend.h"
#include "ui/window.h"

namespace fs = std::filesystem;
namespace ua = ui::automation;

namespace {

bool Save(QWidget* widget, const fs::path& file) {
  const bool saved = widget->grab().save(QString::fromStdString(file.string()));
  std::cout << (saved ? "wrote " : "could not write ") << file.string() << "\n";
  return saved;
}

// The module's dialogs that are open now, as the window layer knows them.
std::vector<HWND> OpenDialogs(ui::qt::QtBackend& backend) {
  std::vector<HWND> out;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (qobject_cast<QDialog*>(widget) && widget->isVisible())
      if (HWND window = backend.WindowOf(widget)) out.push_back(window);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc != 2) {
    std::cerr << "usage: plenth-map-screenshots DIR\n";
    return 2;
  }
  const fs::path out = fs::absolute(argv[1]);
  fs::create_directories(out);
  // One name for every run, since the dialogs show paths in it.
  const fs::path work = fs::temp_directory_path() / "plenth-map-screenshots";
  int failures = 0;
  {
    plenth::cli::WriteSampleData((work / "sample").string());
    registry::UseFile((work / "registry.reg").string());
    ui::qt::ScopedQtBackend screen;
    const std::string module = hostapp::InstalledModulePath();
    hostapp::EnsureRegistered(module);
    hostapp::HostSession host(module, hostapp::DiscoverClasses(registry::Current().Read(), module));
    plenth::map::MapWindow window(host);
    screen.backend().AttachFrame(host.app().mainWindow(), &window);
    window.resize(1200, 780);
    window.show();
    for (const QString& failure : window.OpenMapDocument(QString::fromStdString((work / "sample/map.json").string())))
      std::cerr << failure.toStdString() << "\n", ++failures;
    QApplication::processEvents();

    // A rectangle drawn on the map and selected, as a person marks an area.
    auto* canvas = window.canvas();
    const QRectF view = canvas->VisibleExtent();
    canvas->AddElement(QRectF(view.left() + view.width() * 0.55, view.top() + view.height() * 0.2, view.width() * 0.25,
                              view.height() * 0.3));
    QApplication::processEvents();

    // The point grid's dialog takes the rectangle in by "Update Area" and previews the grid
    // on it: the main window is pictured with the preview, the dialog as it is filled.
    const auto opened = [&](const char* caption) {
      QApplication::processEvents();
      return ua::FindWindowByCaption(caption);
    };
    const auto fail = [&](const std::string& what) {
      std::cerr << "could not " << what << "\n";
      ++failures;
    };
    std::string alreadyPictured;  // the command whose dialog is pictured above
    if (QAction* pointGrid = window.commands().Action("PlenthTools_CreatePointGridTool")) {
      pointGrid->trigger();
      if (const HWND dialog = opened("Point Grid Generator")) {
        const auto item = [&](int id) { return GetDlgItem(dialog, id); };
        const QRectF area = canvas->elements().front();
        if (!ua::Click(item(IDC_POINTGRID_UPDATEAREA)) || !ua::Type(item(IDC_POINTGRID_PATH), (work / "grid").string()) ||
            !ua::Type(item(IDC_POINTGRID_SPACING), std::to_string(std::lround(area.width() / 12))) ||
            !ua::Focus(item(IDC_POINTGRID_PATH)) || !ua::Click(item(IDC_POINTGRID_PREVIEW)))
          fail("fill the point grid dialog");
        host.app().statusBar().onMessage(0, "Ready");
        QApplication::processEvents();
        failures += !Save(&window, out / "plenth-map.png");
        failures += !Save(screen.backend().WidgetOf(dialog), out / "dialog-CreatePointGridTool.png");
        alreadyPictured = "PlenthTools_CreatePointGridTool";
        ua::Click(dialog, IDCANCEL);
      } else {
        fail("open the point grid dialog");
      }
    }

    for (auto& command : host.commands()) {
      QAction* action = window.commands().Action(command.name);
      if (!action || command.name == alreadyPictured) continue;
      const bool effort = command.name == "PlenthTools_EffortSurface";
      const std::string file = "dialog-" + command.name.substr(command.name.find('_') + 1) + ".png";
      // A modal dialog is pictured while it is open; a modeless one once the click is over.
      // The effort surface's is filled in and runs.
      bool pictured = false;
      QTimer watch;
      QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* front = QApplication::activeModalWidget();
        if (!front || pictured) return;
        const HWND dialog = screen.backend().WindowOf(front);
        if (effort && dialog) {
          const std::pair<int, const char*> picks[] = {{IDC_EFFORT_DEM, "dem"},
                                                       {IDC_EFFORT_TRAILS, "trails"},
                                                       {IDC_EFFORT_ROADS, "trails"},
                                                       {IDC_EFFORT_STREAMS, "streams"},
                                                       {IDC_EFFORT_GROUNDCOVER, "groundcover"}};
          for (const auto& [id, name] : picks)
            if (!ua::Pick(GetDlgItem(dialog, id), name)) fail(std::string("pick ") + name);
          if (!ua::Type(GetDlgItem(dialog, IDC_OUTPUT_PATH), (work / "cost").string())) fail("type the effort output");
        }
        QApplication::processEvents();
        pictured = Save(front, out / file);
        if (effort && dialog) ua::Click(dialog, IDOK); else front->close();
      });
      watch.start(50);
      action->trigger();
      watch.stop();
      QApplication::processEvents();
      if (effort) {
        // The run's window once its button offers Close: the clock stopped, the log in view.
        const HWND progress = opened("Operation Progress");
        const HWND button = progress ? GetDlgItem(progress, IDCANCEL) : nullptr;
        QElapsedTimer waited;
        waited.start();
        while (button && ua::Text(button) != "Close" && waited.elapsed() < 60000) {
          QApplication::processEvents(QEventLoop::AllEvents, 50);
          QThread::msleep(10);
        }
        if (button && ua::Text(button) == "Close") {
          QApplication::processEvents();
          failures += !Save(screen.backend().WidgetOf(progress), out / "progress-EffortSurface.png");
          ua::Click(button);
        } else {
          fail("run the effort surface to its end");
        }
        QApplication::processEvents();
      }
      for (HWND dialog : OpenDialogs(screen.backend())) {
        if (!pictured) pictured = Save(screen.backend().WidgetOf(dialog), out / file);
        DestroyWindow(dialog);
      }
      failures += !pictured;
    }
  }
  fs::remove_all(work);
  return failures == 0 ? 0 : 1;
}
