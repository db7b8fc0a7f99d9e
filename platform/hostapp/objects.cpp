#include "hostapp/objects.h"

#include <algorithm>
#include <mutex>

#include "com/boundary.h"
#include "com/classes.h"
#include "hostapp/display.h"
#include "hostapp/dropdata.h"
#include "hostapp/layers.h"
#include "hostapp/mapdraw.h"
#include "hostapp/symbols.h"
#include "ui/window.h"

namespace hostapp {
HRESULT HostCommandItem::get_Name(BSTR* name) { return com::Out(name_, name); }

HostCommandBars::HostCommandBars() { AddItem("PageLayout_SelectTool"); }

void HostCommandBars::AddItem(const std::string& name) { items_.push_back(com::MakeObject<HostCommandItem>(name)); }

void HostCommandBars::RemoveItem(const std::string& name) {
  std::erase_if(items_, [&](const auto& item) { return item->name() == name; });
}

HRESULT HostCommandBars::Find(VARIANT identifier, VARIANT_BOOL, VARIANT_BOOL, CommandItem** item) {
  if (!item) return E_POINTER;
  *item = nullptr;
  if (FAILED(failure_)) return failure_;
  if (emptyAnswer_) return *emptyAnswer_;
  if (identifier.vt != VT_BSTR) return E_INVALIDARG;
  return com::Guard([&] {
    const std::string wanted = com::ToUtf8(identifier.bstrVal);
    for (const auto& candidate : items_)
      if (candidate->name() == wanted) return com::Out(candidate, item);
    return S_OK;
  });
}

HRESULT HostStatusBar::put_Message(LONG pane, BSTR text) {
  return com::Guard([&] {
    panes_[pane] = com::ToUtf8(text);
    if (onMessage) onMessage(pane, panes_[pane]);
  });
}

HRESULT HostStatusBar::get_Message(LONG pane, BSTR* text) {
  return com::Guard([&] { return com::Out(Text(pane), text); });
}

std::string HostStatusBar::Text(LONG pane) const {
  const auto it = panes_.find(pane);
  return it == panes_.end() ? std::string() : it->second;
}

HRESULT NamedLayer::get_Name(BSTR* name) { return com::Out(name_, name); }
HRESULT NamedLayer::put_Name(BSTR name) {
  return com::Guard([&] { name_ = com::ToUtf8(name); });
}
HRESULT NamedLayer::GetClassID(CLSID* clsid) { return com::Out(CLSID_NamedLayer, clsid); }
HRESULT NamedLayer::Load(IStream* stream) {
  return com::Guard([&] { return com::ReadText(stream, &name_); });
}
HRESULT NamedLayer::Save(IStream* stream, BOOL) {
  return com::Guard([&] { return com::WriteText(stream, name_); });
}
HRESULT NamedLayer::GetSizeMax(ULARGE_INTEGER* size) {
  if (size) size->QuadPart = 0;
  return E_NOTIMPL;
}

HostMap::HostMap()
    : display_(com::ComPtr<Display>(com::MakeObject<RecordingDisplay>().get())),
      viewEvents_(&points_.Add(ActiveViewEvents::iid)) {}

HostMap::~HostMap() = default;

HRESULT HostMap::get_LayerCount(LONG* count) { return com::Out(static_cast<LONG>(layers_.size()), count); }

HRESULT HostMap::AddLayer(Layer* layer) {
  if (!layer) return E_INVALIDARG;
  const HRESULT hr = com::Guard([&] {
    const bool firstData = !ExtentOfLayers(layers_);
    layers_.emplace(newLayersOnTop_ ? layers_.begin() : layers_.end(), layer);
    if (firstData) ZoomToLayers();
    const com::Variant item = com::Variant::Unknown(layer);
    viewEvents_->Raise<ActiveViewEvents>([&](ActiveViewEvents* sink) { sink->ItemAdded(item.get()); });
  });
  if (SUCCEEDED(hr) && onLayersChanged) onLayersChanged();
  return hr;
}

bool HostMap::RemoveLayer(Layer* layer) {
  bool removed = std::erase_if(layers_, [&](const auto& held) { return held.get() == layer; }) > 0;
  for (std::size_t i = 0; !removed && i < layers_.size(); ++i) removed = RemoveGroupMember(layers_[i].get(), layer);
  if (removed) hidden_.erase(layer);  // a new layer may come to the same address
  if (removed && onLayersChanged) onLayersChanged();
  return removed;
}

void HostMap::Clear() {
  layers_.clear();
  hidden_.clear();
  if (onLayersChanged) onLayersChanged();
}

HRESULT HostMap::get_FocusMap(Map** map) {
  if (!map) return E_POINTER;
  *map = static_cast<Map*>(this);
  AddRef();
  return S_OK;
}

HRESULT HostMap::get_ScreenDisplay(Display** display) { return display_.CopyTo(display); }

HRESULT HostMap::Refresh() {
  return com::Guard([&] {
    // Whatever a sink does while the view draws (even letting the map go), the map and
    // its display stay until the drawing ends.
    com::ComPtr<HostMap> self(this);
    com::ComPtr<Display> display = display_;
    VARIANT none;
    VariantInit(&none);
    viewEvents_->Raise<ActiveViewEvents>(
        [&](ActiveViewEvents* sink) { sink->ViewRefreshed(static_cast<ActiveView*>(this), 0xFF, none, nullptr); });
    display->StartDrawing();
    for (const LONG phase : {kViewBackground, kViewGeography, kViewGeoSelection, kViewGraphics, kViewGraphicSelection,
                             kViewForeground}) {
      DrawPhase(phase, display.get(), layers_, elements_, selected_, [&](Layer* layer) { return IsShown(layer); });
      viewEvents_->Raise<ActiveViewEvents>([&](ActiveViewEvents* sink) { sink->AfterDraw(display.get(), phase); });
    }
    display->FinishDrawing();
    if (onRefreshed) onRefreshed();
  });
}

HRESULT HostMap::get_GraphicsContainer(GraphicsContainer** container) {
  if (!container) return E_POINTER;
  *container = static_cast<GraphicsContainer*>(this);
  AddRef();
  return S_OK;
}

HRESULT HostMap::get_Extent(Envelope** extent) {
  if (!extent) return E_POINTER;
  *extent = nullptr;
  com::ComPtr<DisplayTransformation> transformation;
  display_->get_DisplayTransformation(transformation.put());
  return transformation ? transformation->get_VisibleBounds(extent) : E_FAIL;
}

HRESULT HostMap::put_Extent(Envelope* extent) {
  com::ComPtr<DisplayTransformation> transformation;
  display_->get_DisplayTransformation(transformation.put());
  return transformation ? transformation->put_VisibleBounds(extent) : E_FAIL;
}

void HostMap::SetDisplay(Display* display) {
  if (!display) return;
  com::ComPtr<Envelope> shown;
  get_Extent(shown.put());
  display_ = display;
  if (shown) put_Extent(shown.get());
}

bool HostMap::ZoomToLayers() {
  const auto extent = ExtentOfLayers(layers_);
  if (!extent) return false;
  auto envelope = com::CreateInstance<Envelope>(CLSID_Envelope);
  if (!envelope) return false;
  envelope->PutCoords(extent->xMin, extent->yMin, extent->xMax, extent->yMax);
  return SUCCEEDED(put_Extent(envelope.get()));
}

HRESULT HostMap::AddElement(GraphicElement* element) {
  if (!element) return E_INVALIDARG;
  return com::Guard([&] { elements_.emplace_back(element); });
}

HRESULT HostMap::DeleteAllElements() {
  selected_.clear();
  dominant_.reset();
  elements_.clear();
  return S_OK;
}

HRESULT HostMap::get_ElementCount(LONG* count) { return com::Out(static_cast<LONG>(elements_.size()), count); }

HRESULT HostMap::get_Element(LONG index, GraphicElement** element) {
  if (!element) return E_POINTER;
  *element = nullptr;
  if (index < 0 || index >= static_cast<LONG>(elements_.size())) return E_INVALIDARG;
  return elements_[static_cast<std::size_t>(index)].CopyTo(element);
}

HRESULT HostMap::get_ElementSelectionCount(LONG* count) { return com::Out(static_cast<LONG>(selected_.size()), count); }

HRESULT HostMap::SelectedElement(LONG index, GraphicElement** element) {
  if (!element) return E_POINTER;
  *element = nullptr;
  if (index < 0 || index >= static_cast<LONG>(selected_.size())) return E_INVALIDARG;
  return selected_[static_cast<std::size_t>(index)].CopyTo(element);
}

HRESULT HostMap::get_DominantElement(GraphicElement** element) { return dominant_.CopyTo(element); }

HRESULT HostMap::SelectElement(GraphicElement* element) {
  if (!element) return E_INVALIDARG;
  const com::ComPtr<GraphicElement> e(element);
  if (std::find(elements_.begin(), elements_.end(), e) == elements_.end()) return E_INVALIDARG;
  if (std::find(selected_.begin(), selected_.end(), e) != selected_.end()) return S_OK;
  return com::Guard([&] {
    selected_.push_back(e);
    if (!dominant_) dominant_ = e;
    viewEvents_->Raise<ActiveViewEvents>([](ActiveViewEvents* sink) { sink->SelectionChanged(); });
  });
}

HRESULT HostMap::put_DominantElement(GraphicElement* element) {
  const com::ComPtr<GraphicElement> e(element);
  if (std::find(selected_.begin(), selected_.end(), e) == selected_.end()) return E_INVALIDARG;
  dominant_ = e;
  return S_OK;
}

HRESULT HostMap::UnselectAllElements() {
  selected_.clear();
  dominant_.reset();
  return S_OK;
}

HRESULT HostMap::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT HostMap::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (FAILED(findFailure_)) return findFailure_;
  return points_.FindConnectionPoint(riid, point);
}

namespace {

class LayerList final : public com::ComClass<LayerList, EnumLayer> {
 public:
  explicit LayerList(std::vector<com::ComPtr<Layer>> layers) : layers_(std::move(layers)) {}
  HRESULT Next(Layer** layer) override {
    if (!layer) return E_POINTER;
    *layer = nullptr;
    if (next_ >= layers_.size()) return S_FALSE;
    return layers_[next_++].CopyTo(layer);
  }
  HRESULT Reset() override {
    next_ = 0;
    return S_OK;
  }

 private:
  std::vector<com::ComPtr<Layer>> layers_;
  std::size_t next_ = 0;
};

// Depth first, in map order: a group's layers follow the group.
void Collect(const std::vector<com::ComPtr<Layer>>& layers, const IID& kind, bool recursive,
             std::vector<com::ComPtr<Layer>>& out) {
  for (const auto& layer : layers) {
    com::ComPtr<IUnknown> probe;
    if (SUCCEEDED(layer->QueryInterface(kind, probe.put_void()))) out.push_back(layer);
    if (!recursive) continue;
    if (auto group = layer.query<GroupLayer>()) {
      LONG count = 0;
      group->get_Count(&count);
      std::vector<com::ComPtr<Layer>> inside;
      for (LONG i = 0; i < count; ++i) {
        com::ComPtr<Layer> member;
        group->get_Layer(i, member.put());
        if (member) inside.push_back(member);
      }
      Collect(inside, kind, recursive, out);
    }
  }
}

}  // namespace

HRESULT HostMap::get_Layers(ClassIdValue* kind, VARIANT_BOOL recursive, EnumLayer** layers) {
  if (!layers) return E_POINTER;
  *layers = nullptr;
  if (failEnumeration_) return E_FAIL;
  return com::Guard([&] {
    IID wanted = Layer::iid;
    if (kind) {
      com::BStr text;
      kind->get_Value(text.put());
      const auto id = com::ParseGuid(text.utf8());
      if (!id) return E_INVALIDARG;
      wanted = *id;
    }
    std::vector<com::ComPtr<Layer>> found;
    Collect(layers_, wanted, recursive != VARIANT_FALSE, found);
    *layers = com::MakeObject<LayerList>(std::move(found)).detach();
    return S_OK;
  });
}

HRESULT HostMap::get_SpatialReference(SpatialReference** reference) { return reference_.CopyTo(reference); }

HostDocument::HostDocument()
    : map_(com::MakeObject<HostMap>()),
      bars_(com::MakeObject<HostCommandBars>()),
      documentEvents_(&points_.Add(DocumentEvents::iid)) {}

HostDocument::~HostDocument() = default;

HRESULT HostDocument::get_CommandBars(CommandBars** bars) {
  if (!bars) return E_POINTER;
  *bars = nullptr;
  if (FAILED(commandBarsFailure_)) return commandBarsFailure_;
  return com::Out(bars_, bars);
}

HRESULT HostDocument::get_FocusMap(Map** map) { return com::Out(map_, map); }

HRESULT HostDocument::get_ActiveView(ActiveView** view) { return com::Out(map_, view); }

HRESULT HostDocument::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT HostDocument::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (FAILED(findFailure_)) return findFailure_;
  return points_.FindConnectionPoint(riid, point);
}

void HostDocument::NewDocument() {
  com::ComPtr<HostDocument> self(this);
  map_ = com::MakeObject<HostMap>();
  documentEvents_->Raise<DocumentEvents>([](DocumentEvents* sink) { sink->NewDocument(); });
}

void HostDocument::OpenDocument(HostMap* map) {
  com::ComPtr<HostDocument> self(this);
  map_ = map ? com::ComPtr<HostMap>(map) : com::MakeObject<HostMap>();
  documentEvents_->Raise<DocumentEvents>([](DocumentEvents* sink) { sink->OpenDocument(); });
}

void HostDocument::SetFocusMap(HostMap* map) {
  if (!map || map == map_.get()) return;
  com::ComPtr<HostDocument> self(this);
  const com::ComPtr<HostMap> shownThrough = std::exchange(map_, com::ComPtr<HostMap>(map));
  shownThrough->viewEvents().Raise<ActiveViewEvents>([](ActiveViewEvents* sink) { sink->FocusMapChanged(); });
  documentEvents_->Raise<DocumentEvents>([](DocumentEvents* sink) { sink->ActiveViewChanged(); });
}

void HostDocument::DisconnectSinks() {
  points_.DisconnectAll();
  map_->DisconnectSinks();
}

HRESULT HostDocument::InternalQueryInterface(REFIID riid, void** object) {
  if (riid == MapDocument::iid && !isMapDocument_) {
    if (object) *object = nullptr;
    return E_NOINTERFACE;
  }
  return ComClass::InternalQueryInterface(riid, object);
}

HostApplicationImpl::HostApplicationImpl()
    : document_(com::MakeObject<HostDocument>()),
      statusBar_(com::MakeObject<HostStatusBar>()),
      mainWindow_(ui::CreateFrameWindow("PlenthTools host")) {}

HostApplicationImpl::~HostApplicationImpl() {
  Shutdown();
  DestroyWindow(mainWindow_);
}

void HostApplicationImpl::Shutdown() {
  for (HWND window : ui::TopLevelWindows())
    if (window != mainWindow_ && GetParent(window) == mainWindow_) DestroyWindow(window);
  if (document_) document_->DisconnectSinks();
}

HRESULT HostApplicationImpl::get_Document(Document** document) { return com::Out(document_, document); }

HRESULT HostApplicationImpl::get_hWnd(OLE_HANDLE* window) {
  return com::Out(reinterpret_cast<OLE_HANDLE>(mainWindow_), window);
}

HRESULT HostApplicationImpl::get_StatusBar(StatusBar** bar) { return com::Out(statusBar_, bar); }

HRESULT HostApplicationImpl::put_CurrentTool(CommandItem* tool) {
  if (FAILED(currentToolFailure_)) return currentToolFailure_;
  currentTool_ = tool;
  ++currentToolChanges_;
  return S_OK;
}

HRESULT HostApplicationImpl::get_CurrentTool(CommandItem** tool) { return currentTool_.CopyTo(tool); }

std::string HostApplicationImpl::currentToolName() const {
  if (!currentTool_) return {};
  com::BStr name;
  currentTool_.get()->get_Name(name.put());
  return name.utf8();
}

HRESULT HostApplicationImpl::FindExtensionByCLSID(ClassIdValue* clsid, IUnknown** extension) {
  if (!extension) return E_POINTER;
  *extension = nullptr;
  if (!clsid) return E_INVALIDARG;
  return com::Guard([&] {
    com::BStr text;
    if (FAILED(clsid->get_Value(text.put()))) return E_INVALIDARG;
    const auto id = com::ParseGuid(text.utf8());
    if (!id) return E_INVALIDARG;
    for (const auto& [key, ext] : extensions_)
      if (key == *id) return com::Out(ext, extension);
    return S_OK;  // no such extension: none, as the host answers
  });
}

void HostApplicationImpl::AddExtension(const CLSID& clsid, IUnknown* extension) {
  extensions_.emplace_back(clsid, com::ComPtr<IUnknown>(extension));
}

HRESULT ClassIdHolder::put_Value(BSTR text) {
  return com::Guard([&] {
    std::string s = com::ToUtf8(text);
    if (s.size() != 38 || !com::ParseGuid(s)) return E_INVALIDARG;
    value_ = std::move(s);
    return S_OK;
  });
}

HRESULT ClassIdHolder::get_Value(BSTR* text) { return com::Out(value_, text); }

HRESULT HostToolbarItem::put_ID(BSTR progId) {
  if (FAILED(failure)) return failure;
  return com::Guard([&] { id = com::ToUtf8(progId); });
}
HRESULT HostToolbarItem::put_Group(VARIANT_BOOL) {
  groupSet = true;
  return S_OK;
}
HRESULT HostToolbarItem::put_SubType(LONG) {
  subTypeSet = true;
  return S_OK;
}

namespace {
template <class T>
HRESULT Create(IUnknown* outer, REFIID riid, void** object) {
  return com::CreateObject<T>(outer, riid, object);
}
}  // namespace

void RegisterHostClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    com::RegisterLibraryClass(CLSID_ClassIdValue, &Create<ClassIdHolder>);
    com::RegisterLibraryClass(CLSID_SimpleFillSymbol, &Create<SimpleFillSymbol>);
    com::RegisterLibraryClass(CLSID_SimpleMarkerSymbol, &Create<SimpleMarkerSymbol>);
    com::RegisterLibraryClass(CLSID_SimpleLineSymbol, &Create<SimpleLineSymbol>);
    RegisterLayerClasses();
    RegisterDropDataClasses();
  });
}

}  // namespace hostapp
