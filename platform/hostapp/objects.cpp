#include "hostapp/objects.h"

#include <mutex>

#include "com/boundary.h"
#include "com/classes.h"
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

HRESULT HostMap::get_LayerCount(LONG* count) { return com::Out(static_cast<LONG>(layers_.size()), count); }

HRESULT HostMap::AddLayer(Layer* layer) {
  if (!layer) return E_INVALIDARG;
  return com::Guard([&] { layers_.emplace_back(layer); });
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

HostDocument::HostDocument() : map_(com::MakeObject<HostMap>()), bars_(com::MakeObject<HostCommandBars>()) {}

HRESULT HostDocument::get_CommandBars(CommandBars** bars) {
  if (!bars) return E_POINTER;
  *bars = nullptr;
  if (FAILED(commandBarsFailure_)) return commandBarsFailure_;
  return com::Out(bars_, bars);
}

HRESULT HostDocument::get_FocusMap(Map** map) { return com::Out(map_, map); }

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

HostApplicationImpl::~HostApplicationImpl() { DestroyWindow(mainWindow_); }

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

void RegisterHostClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    com::RegisterLibraryClass(CLSID_ClassIdValue, [](IUnknown* outer, REFIID riid, void** object) {
      return com::CreateObject<ClassIdHolder>(outer, riid, object);
    });
  });
}

}  // namespace hostapp
