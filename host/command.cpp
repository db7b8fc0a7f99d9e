#include "host/command.h"

#include "com/classes.h"
#include "host/plenthext.h"
#include "ui/bitmap.h"
#include "ui/clipboard.h"
#include "ui/msgbox.h"
#include "ui/window.h"

namespace plenth {

namespace {
Lasting<com::ComPtr<HostApplication>> currentApplication;
}  // namespace

com::ComPtr<HostApplication>& CurrentApplication = currentApplication.get();
UINT LayersClipboardFormat = 0;

CommandCore::CommandCore(const CommandInfo& info) : info_(info) {
  bitmap = LoadBitmap(ModuleInstance(), info.bitmapId);
}

CommandCore::~CommandCore() {
  DestroyModelessWindow();  // gone already when the command was released as a component
  if (bitmap) DeleteObject(bitmap);
}

HRESULT CommandCore::IsEnabled(VARIANT_BOOL* enabled) {
  if (!enabled) return E_POINTER;
  com::ComPtr<Document> document;
  application->get_Document(document.put());
  const auto mapDocument = document.query<MapDocument>();
  if (!mapDocument || !extension) {
    *enabled = VARIANT_FALSE;
    return S_OK;
  }
  com::ComPtr<Map> map;
  mapDocument->get_FocusMap(map.put());
  LONG state = 0;
  extension->GetState(&state);
  LONG layers = 0;
  map->get_LayerCount(&layers);
  *enabled = state == kExtensionEnabled && layers > 0 ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT CommandCore::IsChecked(VARIANT_BOOL* checked) { return com::Out(VARIANT_FALSE, checked); }

HRESULT CommandCore::Name(BSTR* name) {
  return com::Guard([&] { return com::Out("PlenthTools_" + std::string(info_.row.name), name); });
}
HRESULT CommandCore::Caption(BSTR* caption) { return com::Out(info_.caption, caption); }
HRESULT CommandCore::Tooltip(BSTR* tooltip) { return com::Out(info_.tooltip, tooltip); }
HRESULT CommandCore::Message(BSTR* message) { return com::Out(info_.message, message); }
HRESULT CommandCore::Category(BSTR* category) { return com::Out("Plenth Tools", category); }

HRESULT CommandCore::HelpFile(BSTR* file) { return file ? E_NOTIMPL : E_POINTER; }
HRESULT CommandCore::HelpContextId(LONG* id) { return id ? E_NOTIMPL : E_POINTER; }

HRESULT CommandCore::Bitmap(OLE_HANDLE* out) { return com::Out(reinterpret_cast<OLE_HANDLE>(bitmap), out); }

HRESULT CommandCore::OnCreate(IUnknown* hook) {
  // A creation that fails leaves no extension behind, not even an earlier one: the
  // command stays disabled.
  extension.reset();
  application.reset();
  if (hook) hook->QueryInterface(application.put());
  switch (info_.creation) {
    case CommandInfo::Creation::CommonControls: InitCommonControls(); break;
    case CommandInfo::Creation::ClipboardFormat: LayersClipboardFormat = RegisterClipboardFormat("Map Layers"); break;
    case CommandInfo::Creation::None: break;
  }
  OLECHAR text[39];
  StringFromGUID2(CLSID_PlenthExt, text, 39);
  auto clsid = com::CreateInstance<ClassIdValue>(CLSID_ClassIdValue);
  com::BStr value;
  *value.put() = SysAllocString(text);
  if (const HRESULT hr = clsid->put_Value(value.get()); FAILED(hr)) return hr;
  com::ComPtr<IUnknown> found;
  const HRESULT hr = application->FindExtensionByCLSID(clsid.get(), found.put());
  if (FAILED(hr) || !found) return E_FAIL;
  found.As(&extension);
  return extension ? S_OK : E_POINTER;
}

void CommandCore::PrepareSelectToolRestore() { DestroyModelessWindow(); }

void CommandCore::DestroyModelessWindow() {
  if (IsWindow(window)) DestroyWindow(window);
  window = nullptr;
}

HRESULT CommandCore::Click() { return info_.click == CommandInfo::Click::Modal ? ModalClick() : ModelessClick(); }

HRESULT CommandCore::ModalClick() {
  CurrentApplication = application;
  if (RunModalDialog() == IDOK)
    ProcessOk();
  else
    SelectToolRestore(*this);
  return S_OK;
}

HRESULT CommandCore::ModelessClick() {
  // One dialog per command: a second one would take over `window`, and the first could
  // never be closed.
  if (IsWindow(window)) {
    SetForegroundWindow(window);
    return S_OK;
  }
  OLE_HANDLE main = 0;
  application->get_hWnd(&main);
  window = CreateDialogParam(ModuleInstance(), ModelessDialogId(), reinterpret_cast<HWND>(main),
                             ModelessDialogProc(), reinterpret_cast<LPARAM>(this));
  if (!IsWindow(window)) window = nullptr;
  return S_OK;
}

void ReportHostStatus(HRESULT status, const char* caption) {
  MessageBox(nullptr, com::StatusText(status).c_str(), caption, MB_OK);
}

void SelectToolRestore(CommandCore& command) {
  command.PrepareSelectToolRestore();
  const bool reporting = command.info().restore == CommandInfo::Restore::Reporting;
  com::ComPtr<Document> document;
  command.application->get_Document(document.put());
  if (!document) return;
  com::ComPtr<CommandBars> bars;
  HRESULT hr = document->get_CommandBars(bars.put());
  if (!bars) {
    if (reporting) ReportHostStatus(hr, "no command bars");
    return;
  }
  const com::Variant identifier = com::Variant::String("PageLayout_SelectTool");
  com::ComPtr<CommandItem> item;
  hr = bars->Find(identifier.get(), VARIANT_FALSE, VARIANT_FALSE, item.put());
  if (FAILED(hr)) {
    if (reporting) ReportHostStatus(hr, "command not found");
    return;
  }
  if (!item && reporting) ReportHostStatus(hr, "command not found");
  hr = command.application->put_CurrentTool(item.get());
  if (FAILED(hr) && reporting) ReportHostStatus(hr, "current tool not changed");
}

}  // namespace plenth
