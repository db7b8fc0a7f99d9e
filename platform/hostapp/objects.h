// The simulated host's objects. Each offers the contract the module calls, plus the
// knobs a host or test uses to set the scene (a document that is no map document, a
// command search that fails, ...).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "com/object.h"
#include "hostapi/hostapi.h"
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

class NamedLayer final : public com::ComClass<NamedLayer, Layer> {
 public:
  explicit NamedLayer(std::string name) : name_(std::move(name)) {}
  HRESULT get_Name(BSTR* name) override;
  HRESULT put_Name(BSTR name) override;

 private:
  std::string name_;
};

class HostMap final : public com::ComClass<HostMap, Map> {
 public:
  HRESULT get_LayerCount(LONG* count) override;
  HRESULT AddLayer(Layer* layer) override;
  HRESULT get_Layers(ClassIdValue* kind, VARIANT_BOOL recursive, EnumLayer** layers) override;
  HRESULT get_SpatialReference(SpatialReference** reference) override;

  const std::vector<com::ComPtr<Layer>>& layers() const { return layers_; }
  void Clear() { layers_.clear(); }
  void SetSpatialReference(SpatialReference* reference) { reference_ = reference; }
  // Makes the layer enumeration give nothing, as a map without layer lists would.
  void FailLayerEnumeration(bool fail) { failEnumeration_ = fail; }

 private:
  std::vector<com::ComPtr<Layer>> layers_;
  com::ComPtr<SpatialReference> reference_;
  bool failEnumeration_ = false;
};

// A document; a map document unless told otherwise.
class HostDocument final : public com::ComClass<HostDocument, Document, MapDocument> {
 public:
  HostDocument();
  HRESULT get_CommandBars(CommandBars** bars) override;
  HRESULT get_FocusMap(Map** map) override;

  void SetMapDocument(bool isMapDocument) { isMapDocument_ = isMapDocument; }
  // Makes the command bars request fail (status, and no command bars).
  void FailCommandBarsWith(HRESULT status) { commandBarsFailure_ = status; }
  HostMap& focusMap() { return *map_.get(); }
  HostCommandBars& commandBars() { return *bars_.get(); }

 protected:
  HRESULT InternalQueryInterface(REFIID riid, void** object) override;

 private:
  bool isMapDocument_ = true;
  HRESULT commandBarsFailure_ = S_OK;
  com::ComPtr<HostMap> map_;
  com::ComPtr<HostCommandBars> bars_;
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

// Registers the host's creatable classes (ClassIdValue) once per process.
void RegisterHostClasses();

}  // namespace hostapp
