#include "apps/plenth-map/mapwindow.h"

#include <QActionGroup>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>

#include "com/bstr.h"
#include "hostapp/layers.h"
#include "hostapp/mapdocument.h"

namespace plenth::map {

namespace {

constexpr int kLayerRole = Qt::UserRole + 1;

bool IsMapDocument(const QString& path) { return QFileInfo(path).suffix().compare("json", Qt::CaseInsensitive) == 0; }

Layer* LayerOf(const QTreeWidgetItem* item) {
  return item ? reinterpret_cast<Layer*>(item->data(0, kLayerRole).value<quintptr>()) : nullptr;
}

}  // namespace

QString NameOf(Layer* layer) {
  com::BStr name;
  if (!layer || FAILED(layer->get_Name(name.put()))) return {};
  return QString::fromStdString(name.utf8());
}

MapWindow::MapWindow(hostapp::HostSession& host, QWidget* parent)
    : QMainWindow(parent), host_(host), canvas_(new MapCanvas(this)), layerList_(new QTreeWidget), position_(new QLabel) {
  setWindowTitle("Plenth Map");
  setObjectName("PlenthMap");
  setAcceptDrops(true);
  resize(1100, 720);
  setCentralWidget(canvas_);
  canvas_->SetView([this] { return &host_.app().document()->focusMap(); });
  // What comes into the map lies over what is there, so that it shows.
  host_.app().document()->focusMap().SetNewLayersOnTop(true);

  layerList_->setObjectName("Layers");
  layerList_->setHeaderHidden(true);
  layerList_->setMinimumWidth(180);
  auto* dock = new QDockWidget("Layers", this);
  dock->setObjectName("LayersDock");
  dock->setFeatures(QDockWidget::DockWidgetMovable);
  dock->setWidget(layerList_);
  addDockWidget(Qt::LeftDockWidgetArea, dock);
  QObject::connect(layerList_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
    if (showingLayers_) return;
    host_.app().document()->focusMap().ShowLayer(LayerOf(item), item->checkState(0) == Qt::Checked);
    canvas_->Redraw();
  });

  commands_ = std::make_unique<ModuleCommands>(host_, this, [this](const std::string&, const QString& failure) {
    canvas_->Redraw();
    if (!failure.isEmpty()) QMessageBox::warning(this, "Plenth Map", failure);
  });
  BuildMenus();

  statusBar()->addPermanentWidget(position_);
  QObject::connect(canvas_, &MapCanvas::CursorAt, this, [this](QPointF at) {
    position_->setText(QStringLiteral("%1, %2").arg(at.x(), 0, 'f', 1).arg(at.y(), 0, 'f', 1));
  });
  // The module's texts in the main message area.
  host_.app().statusBar().onMessage = [this](LONG pane, const std::string& text) {
    if (pane == 0) statusBar()->showMessage(QString::fromStdString(text));
  };
  host_.app().document()->focusMap().onLayersChanged = [this] { ShowLayers(); };
  ShowLayers();
}

MapWindow::~MapWindow() {
  host_.app().statusBar().onMessage = nullptr;
  host_.app().document()->focusMap().onLayersChanged = nullptr;
}

void MapWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("File");
  auto* open = file->addAction("&Open Map...", this, [this] { ChooseMapDocument(); });
  open->setShortcut(QKeySequence::Open);
  auto* save = file->addAction("&Save Map As...", this, [this] { ChooseWhereToSave(); });
  save->setShortcut(QKeySequence::SaveAs);
  file->addSeparator();
  file->addAction("&Add Layer...", this, [this] { ChooseLayers(); })->setObjectName("AddLayer");
  file->addAction("&Remove Layer", this, [this] { RemoveSelectedLayer(); })->setObjectName("RemoveLayer");
  file->addSeparator();
  file->addAction("E&xit", this, [this] { close(); })->setShortcut(QKeySequence::Quit);

  QMenu* view = menuBar()->addMenu("&View");
  view->addAction("&Full Extent", this, [this] { canvas_->ZoomToLayers(); })->setObjectName("FullExtent");
  view->addAction("Zoom &In", this, [this] { canvas_->ZoomBy(2, canvas_->rect().center()); })->setShortcut(QKeySequence::ZoomIn);
  view->addAction("Zoom &Out", this, [this] { canvas_->ZoomBy(0.5, canvas_->rect().center()); })->setShortcut(QKeySequence::ZoomOut);

  // The host's own tools: one at a time.
  QToolBar* toolbar = addToolBar("Tools");
  toolbar->setObjectName("Tools");
  QMenu* toolsMenu = menuBar()->addMenu("&Tools");
  tools_ = new QActionGroup(this);
  const auto addTool = [&](const char* caption, const char* name, MapCanvas::Tool tool) {
    auto* action = new QAction(caption, tools_);
    action->setObjectName(name);
    action->setCheckable(true);
    QObject::connect(action, &QAction::triggered, this, [this, tool] { canvas_->SetTool(tool); });
    toolbar->addAction(action);
    toolsMenu->addAction(action);
    return action;
  };
  addTool("Select", "SelectTool", MapCanvas::Tool::Select)->setChecked(true);
  addTool("Pan", "PanTool", MapCanvas::Tool::Pan);
  addTool("Rectangle", "RectangleTool", MapCanvas::Tool::Rectangle);
  toolbar->addSeparator();
  toolbar->addAction("Full Extent", this, [this] { canvas_->ZoomToLayers(); });

  commands_->AddMenus(menuBar());
  commands_->AddToolbar(this);
}

QStringList MapWindow::Open(const QStringList& files) {
  QStringList failures;
  const bool wasEmpty = host_.app().document()->focusMap().layers().empty();
  for (const QString& path : files) {
    try {
      if (IsMapDocument(path)) {
        AddDocumentLayers(hostapp::ReadMapDocument(path.toStdString()));
        if (files.size() == 1) SetDocument(path);
      } else {
        host_.app().document()->focusMap().AddLayer(hostapp::LayerFromFile(path.toStdString()).get());
      }
    } catch (const std::exception& e) {
      failures << QString::fromStdString(e.what());
    }
  }
  if (wasEmpty) canvas_->ZoomToLayers();
  return failures;
}

QStringList MapWindow::OpenMapDocument(const QString& path) {
  // A document that cannot be read leaves the map as it was.
  try {
    const auto layers = hostapp::ReadMapDocument(path.toStdString());
    host_.app().document()->focusMap().Clear();
    AddDocumentLayers(layers);
  } catch (const std::exception& e) {
    return {QString::fromStdString(e.what())};
  }
  SetDocument(path);
  canvas_->ZoomToLayers();
  return {};
}

bool MapWindow::SaveMapDocument(const QString& path, QStringList* leftOut, QString* error) {
  try {
    for (const auto& name : hostapp::WriteMapDocument(path.toStdString(), host_.app().document()->focusMap().layers()))
      if (leftOut) *leftOut << QString::fromStdString(name);
  } catch (const std::exception& e) {
    if (error) *error = QString::fromStdString(e.what());
    return false;
  }
  SetDocument(path);
  return true;
}

void MapWindow::AddDocumentLayers(const std::vector<com::ComPtr<Layer>>& layers) {
  for (auto layer = layers.rbegin(); layer != layers.rend(); ++layer)
    host_.app().document()->focusMap().AddLayer(layer->get());
}

void MapWindow::SetDocument(const QString& path) {
  documentPath_ = path;
  setWindowTitle(QFileInfo(path).fileName() + " - Plenth Map");
}

void MapWindow::RemoveSelectedLayer() {
  Layer* layer = LayerOf(layerList_->currentItem());
  if (!layer) return;
  host_.app().document()->focusMap().RemoveLayer(layer);
}

void MapWindow::ShowLayers() {
  showingLayers_ = true;
  layerList_->clear();
  AddLayerItems(nullptr, host_.app().document()->focusMap().layers());
  layerList_->expandAll();
  showingLayers_ = false;
  commands_->UpdateEnabled();
  canvas_->Redraw();
}

void MapWindow::AddLayerItems(QTreeWidgetItem* parent, const std::vector<com::ComPtr<Layer>>& layers) {
  for (const auto& layer : layers) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(layerList_);
    item->setText(0, NameOf(layer.get()));
    item->setData(0, kLayerRole, QVariant::fromValue(reinterpret_cast<quintptr>(layer.get())));
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, host_.app().document()->focusMap().IsShown(layer.get()) ? Qt::Checked : Qt::Unchecked);
    if (layer.query<GroupLayer>()) {
      QFont bold = item->font(0);
      bold.setBold(true);
      item->setFont(0, bold);
      AddLayerItems(item, hostapp::MembersOf(layer.get()));
    }
  }
}

void MapWindow::AskToOpen(const QStringList& files) {
  const QStringList failures = Open(files);
  if (!failures.isEmpty()) QMessageBox::warning(this, "Plenth Map", failures.join("\n"));
}

void MapWindow::ChooseLayers() {
  const QStringList files = QFileDialog::getOpenFileNames(this, "Add Layer", QString(),
                                                          "Rasters and shapefiles (*.tif *.tiff *.img *.asc *.shp);;All files (*)");
  if (!files.isEmpty()) AskToOpen(files);
}

void MapWindow::ChooseMapDocument() {
  const QString path = QFileDialog::getOpenFileName(this, "Open Map", QString(), "Map documents (*.json)");
  if (path.isEmpty()) return;
  if (const QStringList failures = OpenMapDocument(path); !failures.isEmpty())
    QMessageBox::warning(this, "Plenth Map", failures.join("\n"));
}

void MapWindow::ChooseWhereToSave() {
  const QString path = QFileDialog::getSaveFileName(this, "Save Map As", documentPath_, "Map documents (*.json)");
  if (path.isEmpty()) return;
  QStringList leftOut;
  QString error;
  if (!SaveMapDocument(path, &leftOut, &error))
    QMessageBox::warning(this, "Plenth Map", error);
  else if (!leftOut.isEmpty())
    QMessageBox::information(this, "Plenth Map", "These layers have no file and were not saved:\n" + leftOut.join("\n"));
}

void MapWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MapWindow::dropEvent(QDropEvent* event) {
  QStringList files;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  AskToOpen(files);
}

}  // namespace plenth::map
