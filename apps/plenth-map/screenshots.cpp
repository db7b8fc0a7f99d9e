// Pictures of the map application for the documentation: the main window on the sample
// data, and each of the module's dialogs as its menu entry opens it.
//   plenth-map-screenshots DIR   (writes DIR/plenth-map.png and DIR/dialog-*.png)
#include "apps/plenth-map/qtapplication.h"
#include <QDialog>
#include <QTimer>
#include <filesystem>
#include <iostream>

#include "apps/plenth-map/mapwindow.h"
#include "apps/plenth/sampledata.h"
#include "hostapp/discovery.h"
#include "hostapp/installation.h"
#include "ui/qt/qtbackend.h"
#include "ui/window.h"

namespace fs = std::filesystem;

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
  const fs::path work = fs::temp_directory_path() / ("plenth-map-screenshots-" + std::to_string(QCoreApplication::applicationPid()));
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
    host.app().statusBar().onMessage(0, "Ready");
    QApplication::processEvents();
    failures += !Save(&window, out / "plenth-map.png");

    for (auto& command : host.commands()) {
      QAction* action = window.commands().Action(command.name);
      if (!action) continue;
      const std::string file = "dialog-" + command.name.substr(command.name.find('_') + 1) + ".png";
      // A modal dialog is pictured while it is open; a modeless one once the click is over.
      bool pictured = false;
      QTimer watch;
      QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* front = QApplication::activeModalWidget();
        if (!front || pictured) return;
        QApplication::processEvents();
        pictured = Save(front, out / file);
        front->close();
      });
      watch.start(50);
      action->trigger();
      watch.stop();
      QApplication::processEvents();
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
