// The simulated host's objects. Each offers the contract the module calls, plus the
// knobs a host or test uses to set the scene (a document that is no map document, a
// command search that fails, ...).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "com/connection.h"
#include "com/object.h"
#include "com/persist.h"
#include "hostapi/hostapi.h"
#include "hostapi/view.h"
#include "ui/types.h"

namespace hostapp {

class HostCommandItem final : public com::ComClass<HostCommandItem, CommandItem> {
 public:
  explicit HostCommandItem(std::string name) : name_(std::move(name)) {}
  HRESULT get_Name(BSTR* name) override;
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

class HostCommandBars final : public com::ComClass<HostCommandBars, CommandBars> {
 public:
  HostCommandBars();  // holds "PageLayout_SelectTool"
  HRESULT Find(VARIANT identifier, VARIANT_BOOL noRecurse, VARIANT_BOOL noCreate, CommandItem** item) override;

  void AddItem(const std::string& name);
  void RemoveItem(const std::string& name);
  // Makes every search fail with this status (S_OK restores normal searching).
  void FailSearchesWith(HRESULT status) { failure_ = status; }
  // Makes every search succeed with this status and no item.
  void AnswerEmptyWith(HRESULT status) { emptyAnswer_ = status; }

 private:
  std::vector<com::ComPtr<HostCommandItem>> items_;
  HRESULT failure_ = S_OK;
  std::optional<HRESULT> emptyAnswer_;
};

class HostStatusBar final : public com::ComClass<HostStatusBar, StatusBar> {
 public:
  HRESULT put_Message(LONG pane, BSTR text) override;
  HRESULT get_Message(LONG pane, BSTR* text) override;
  // Called with every text shown, in order.
  std::function<void(LONG pane, const std::string& text)> onMessage;
  std::string Text(LONG pane) const;

 private:
  std::map<LONG, std::string> panes_;
};

// A layer that is only a name (no data); it saves and loads its name.
class NamedLayer final : public com::ComClass<NamedLayer, Layer, IPersistStream> {
 public:
  NamedLayer() = default;
  explicit NamedLayer(std::string name) : name_(std::move(name)) {}
  HRESULT get_Name(BSTR* name) override;
  HRESULT put_Name(BSTR name) override;
  HRESULT GetClassID(CLSID* clsid) override;
  HRESULT IsDirty() override { return S_FALSE; }
  HRESULT Load(IStream* stream) override;
  HRESULT Save(IStream* stream, BOOL clearDirty) override;
  HRESULT GetSizeMax(ULARGE_INTEGER* size) override;

 private:
  std::string name_;
};

// A map and its view (the data view): its layers, the display it is drawn on, its
// graphic elements and their selection, and the connection point of its view events.
class HostMap final : public com::ComClass<HostMap, Map, ActiveView, GraphicsContainer, GraphicsSelection,
                                           IConnectionPointContainer> {
 public:
  HostMap();
  ~HostMap() override;

  // Map
  HRESULT get_LayerCount(LONG* count) override;
  // Adds the layer (see SetNewLayersOnTop) and raises ItemAdded; the first layer with an
  // extent sets the visible extent, as a map shows its first data.
  HRESULT AddLayer(Layer* layer) override;
  HRESULT get_Layers(ClassIdValue* kind, VARIANT_BOOL recursive, EnumLayer** layers) override;
  HRESULT get_SpatialReference(SpatialReference** reference) override;

  // ActiveView
  HRESULT get_FocusMap(Map** map) override;
  HRESULT get_ScreenDisplay(Display** display) override;
  HRESULT Refresh() override;
  HRESULT get_GraphicsContainer(GraphicsContainer** container) override;
  HRESULT get_Extent(Envelope** extent) override;
  HRESULT put_Extent(Envelope* extent) override;

  // GraphicsContainer
  HRESULT AddElement(GraphicElement* element) override;
  HRESULT DeleteAllElements() override;
  HRESULT get_ElementCount(LONG* count) override;
  HRESULT get_Element(LONG index, GraphicElement** element) override;

  // GraphicsSelection
  HRESULT get_ElementSelectionCount(LONG* count) override;
  HRESULT SelectedElement(LONG index, GraphicElement** element) override;
  HRESULT get_DominantElement(GraphicElement** element) override;
  HRESULT SelectElement(GraphicElement* element) override;
  HRESULT put_DominantElement(GraphicElement* element) override;
  HRESULT UnselectAllElements() override;

  // IConnectionPointContainer: ActiveViewEvents
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  const std::vector<com::ComPtr<Layer>>& layers() const { return layers_; }
  void Clear();
  // Called whenever a layer comes into the map or goes out of it (a desktop host shows it).
  std::function<void()> onLayersChanged;
  // Called when the view has been drawn anew (a desktop host shows the new drawing).
  std::function<void()> onRefreshed;
  // Takes a layer out of the map, or out of the group layer that holds it; false when
  // the map does not hold it.
  bool RemoveLayer(Layer* layer);
  void SetSpatialReference(SpatialReference* reference) { reference_ = reference; }
  // Where a new layer goes: after the others, drawn under them (the default: a map built
  // in the order its layers are given), or first, drawn over them, as a desktop host adds
  // a layer (a tool's new layer shows above the rasters it was made from).
  void SetNewLayersOnTop(bool onTop) { newLayersOnTop_ = onTop; }
  // Leaves a layer (a group with its members) out of drawing, or draws it again.
  void ShowLayer(Layer* layer, bool shown) {
    if (shown) hidden_.erase(layer); else hidden_.insert(layer);
  }
  bool IsShown(Layer* layer) const { return !hidden_.count(layer); }
  // Makes the layer enumeration give nothing, as a map without layer lists would.
  void FailLayerEnumeration(bool fail) { failEnumeration_ = fail; }
  // The display the view is drawn on (a recording display of 800 x 600 pixels until one
  // is given); the new one keeps the visible extent.
  void SetDisplay(Display* display);
  Display* display() const { return display_.get(); }
  // Shows the extent of all layers whole; false when no layer has an extent.
  bool ZoomToLayers();
  // The view events' connection point, to raise events or set its advise limit.
  com::ConnectionPoint& viewEvents() { return *viewEvents_; }
  // Makes FindConnectionPoint answer this failure (S_OK restores it).
  void FailFindConnectionPointWith(HRESULT status) { findFailure_ = status; }
  // Lets every sink of the view events go.
  void DisconnectSinks() { points_.DisconnectAll(); }

 private:
  std::vector<com::ComPtr<Layer>> layers_;
  bool newLayersOnTop_ = false;
  com::ComPtr<SpatialReference> reference_;
  bool failEnumeration_ = false;
  std::set<Layer*> hidden_;
  com::ComPtr<Display> display_;
  std::vector<com::ComPtr<GraphicElement>> elements_;
  std::vector<com::ComPtr<GraphicElement>> selected_;
  com::ComPtr<GraphicElement> dominant_;
  com::ConnectionPoints points_{this};
  com::ConnectionPoint* viewEvents_;
  HRESULT findFailure_ = S_OK;
};

// A document; a map document unless told otherwise. It is shown through its focus map
// (the data view) and raises DocumentEvents through its connection point.
class HostDocument final : public com::ComClass<HostDocument, Document, MapDocument, IConnectionPointContainer> {
 public:
  HostDocument();
  ~HostDocument() override;
  HRESULT get_CommandBars(CommandBars** bars) override;
  HRESULT get_FocusMap(Map** map) override;
  HRESULT get_ActiveView(ActiveView** view) override;
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  void SetMapDocument(bool isMapDocument) { isMapDocument_ = isMapDocument; }
  // Makes the command bars request fail (status, and no command bars).
  void FailCommandBarsWith(HRESULT status) { commandBarsFailure_ = status; }
  // Makes FindConnectionPoint answer this failure (S_OK restores it).
  void FailFindConnectionPointWith(HRESULT status) { findFailure_ = status; }
  HostMap& focusMap() { return *map_.get(); }
  HostCommandBars& commandBars() { return *bars_.get(); }
  com::ConnectionPoint& documentEvents() { return *documentEvents_; }

  // What a person does with documents: a new one starts with an empty map; an opened one
  // brings its own map (an empty one when none is given); another map becomes the focus
  // map. Each raises its events as the host does.
  void NewDocument();
  void OpenDocument(HostMap* map = nullptr);
  // Raises FocusMapChanged on the view the document was shown through, then the
  // document's ActiveViewChanged.
  void SetFocusMap(HostMap* map);
  // Lets every sink of the document's and its map's events go.
  void DisconnectSinks();

 protected:
  HRESULT InternalQueryInterface(REFIID riid, void** object) override;

 private:
  bool isMapDocument_ = true;
  HRESULT commandBarsFailure_ = S_OK;
  HRESULT findFailure_ = S_OK;
  com::ComPtr<HostMap> map_;
  com::ComPtr<HostCommandBars> bars_;
  com::ConnectionPoints points_{this};
  com::ConnectionPoint* documentEvents_;
};

class HostApplicationImpl final : public com::ComClass<HostApplicationImpl, HostApplication> {
 public:
  HostApplicationImpl();
  ~HostApplicationImpl() override;
  HRESULT get_Document(Document** document) override;
  HRESULT get_hWnd(OLE_HANDLE* window) override;
  HRESULT get_StatusBar(StatusBar** bar) override;
  HRESULT put_CurrentTool(CommandItem* tool) override;
  HRESULT get_CurrentTool(CommandItem** tool) override;
  HRESULT FindExtensionByCLSID(ClassIdValue* clsid, IUnknown** extension) override;

  // The loaded extensions, by class id.
  void AddExtension(const CLSID& clsid, IUnknown* extension);
  void ClearExtensions() { extensions_.clear(); }
  void SetDocument(HostDocument* document) { document_ = document; }
  HostDocument* document() { return document_.get(); }
  HostStatusBar& statusBar() { return *statusBar_.get(); }
  HWND mainWindow() const { return mainWindow_; }
  // Makes setting the current tool fail with this status.
  void FailCurrentToolWith(HRESULT status) { currentToolFailure_ = status; }
  // Closes what the host's main window owns (the modules' modeless dialogs) and lets go
  // of every event sink, as the host does when it shuts down; the commands can then be
  // released.
  void Shutdown();
  // The name of the current tool ("" for the empty tool) and how often it was set.
  std::string currentToolName() const;
  int currentToolChanges() const { return currentToolChanges_; }

 private:
  com::ComPtr<HostDocument> document_;
  com::ComPtr<HostStatusBar> statusBar_;
  com::ComPtr<CommandItem> currentTool_;
  std::vector<std::pair<CLSID, com::ComPtr<IUnknown>>> extensions_;
  HWND mainWindow_ = nullptr;
  HRESULT currentToolFailure_ = S_OK;
  int currentToolChanges_ = 0;
};

class ClassIdHolder final : public com::ComClass<ClassIdHolder, ClassIdValue> {
 public:
  HRESULT put_Value(BSTR text) override;  // E_INVALIDARG unless a braced class id
  HRESULT get_Value(BSTR* text) override;

 private:
  std::string value_;
};

class HostToolbarItem final : public com::ComClass<HostToolbarItem, ToolbarItemDef> {
 public:
  HRESULT put_ID(BSTR progId) override;
  HRESULT put_Group(VARIANT_BOOL separator) override;
  HRESULT put_SubType(LONG subType) override;

  std::string id;
  bool groupSet = false;
  bool subTypeSet = false;
  HRESULT failure = S_OK;  // what put_ID answers, to show a failing host
};

// Registers the host's creatable classes (ClassIdValue, the symbols, the layers, the
// drop-data reader and the object stream) once per process.
void RegisterHostClasses();

}  // namespace hostapp
