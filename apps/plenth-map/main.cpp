// plenth-map, the desktop map application: the module plugged in as the host plugs it
// in, its dialogs on the screen, the map of the files given on the command line.
#include "apps/plenth-map/qtapplication.h"
#include <QCommandLineParser>
#include <QMessageBox>
#include <iostream>

#include "apps/plenth-map/mapwindow.h"
#include "hostapp/discovery.h"
#include "hostapp/installation.h"
#include "ui/qt/qtbackend.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("plenth-map");
  QCommandLineParser options;
  options.setApplicationDescription("The Plenth map application: a map of rasters and shapefiles with the Plenth Tools.");
  options.addHelpOption();
  options.addPositionalArgument("FILE", "A map document (.json), a raster or a shapefile to open.", "[FILE...]");
  options.process(application);

  ui::qt::ScopedQtBackend screen;
  std::unique_ptr<hostapp::HostSession> host;
  try {
    const std::string module = hostapp::InstalledModulePath();
    hostapp::EnsureRegistered(module);
    host = std::make_unique<hostapp::HostSession>(module, hostapp::DiscoverClasses(registry::Current().Read(), module));
  } catch (const std::exception& e) {
    std::cerr << "plenth-map: " << e.what() << "\n";
    QMessageBox::critical(nullptr, "Plenth Map", QString::fromStdString(e.what()));
    return 1;
  }
  plenth::map::MapWindow window(*host);
  screen.backend().AttachFrame(host->app().mainWindow(), &window);
  window.show();
  if (const QStringList failures = window.Open(options.positionalArguments()); !failures.isEmpty()) {
    for (const QString& failure : failures) std::cerr << "plenth-map: " << failure.toStdString() << "\n";
    QMessageBox::warning(&window, "Plenth Map", failures.join("\n"));
  }
  return application.exec();
}
