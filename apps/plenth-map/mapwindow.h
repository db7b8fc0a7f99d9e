// The map application's main window: the canvas, the layer list of the focus map with its
// groups, the File and View menus, the host's own tools (select, pan, rectangle), the
// module's toolbar and its "Plenth Tools" menu, and the status bar with the texts the
// module shows in pane 0.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "apps/plenth-map/mapcanvas.h"
#include "apps/plenth-map/modulecommands.h"
#include "hostapp/session.h"

class QActionGroup;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace plenth::map {

class MapWindow final : public QMainWindow {
  Q_OBJECT

 public:
  explicit MapWindow(hostapp::HostSession& host, QWidget* parent = nullptr);
  ~MapWindow() override;

  // Opens each file: a map document's layers, or a raster or shapefile as a layer. The
  // view then shows every layer. Gives back one line for each file that could not be
  // opened.
  QStringList Open(const QStringList& files);
  // Replaces the map's layers with a map document's.
  QStringList OpenMapDocument(const QString& path);
  // Writes the map's layers as a map document; the names of layers that could not be
  // written go into `leftOut`. False (and the reason in `error`) when it cannot be written.
  bool SaveMapDocument(const QString& path, QStringList* leftOut, QString* error);
  // Takes the layer selected in the layer list out of the map.
  void RemoveSelectedLayer();

  MapCanvas* canvas() const { return canvas_; }
  QTreeWidget* layerList() const { return layerList_; }
  ModuleCommands& commands() { return *commands_; }
  hostapp::HostSession& host() { return host_; }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Adds a map document's layers, each on top of the one after it, so the document's
  // order stays.
  void AddDocumentLayers(const std::vector<com::ComPtr<Layer>>& layers);
  // The map document now shown (its name in the title).
  void SetDocument(const QString& path);
  void BuildMenus();
  void ShowLayers();
  void AddLayerItems(QTreeWidgetItem* parent, const std::vector<com::ComPtr<Layer>>& layers);
  void AskToOpen(const QStringList& files);
  void ChooseLayers();
  void ChooseMapDocument();
  void ChooseWhereToSave();

  hostapp::HostSession& host_;
  MapCanvas* canvas_;
  QTreeWidget* layerList_;
  QLabel* position_;
  QActionGroup* tools_ = nullptr;
  std::unique_ptr<ModuleCommands> commands_;
  bool showingLayers_ = false;
  QString documentPath_;
};

// A layer's name as the host shows it.
QString NameOf(Layer* layer);

}  // namespace plenth::map
