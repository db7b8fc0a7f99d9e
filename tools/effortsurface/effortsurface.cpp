#include "tools/effortsurface/effortsurface.h"

#include <system_error>

#include "com/marshal.h"
#include "data/processlog.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
#include "tools/effortsurface/effortsurfacedlg.h"
#include "tools/effortsurface/progressdlg.h"
#include "ui/msgbox.h"
#include "ui/window.h"

namespace plenth {

constinit const ClassInfo EffortSurface::kClass = ClassRow<EffortSurface, IEffortSurface>({
    .name = "EffortSurface",
    .clsid = CLSID_EffortSurface,
    .scriptId = IDR_EFFORTSURFACE,
    .threadingModel = "Free",
    .category = &CATID_HostCommands,
    .programmable = true,
});

namespace {
const CommandInfo kInfo{
    EffortSurface::kClass,
    "Effort Surface Calculator",
    "Generates Effort Surface Grid",
    "Creates an effort surface based on environmental data",
    IDB_EFFORTSURFACE,
    CommandInfo::Creation::CommonControls,
    CommandInfo::Click::Modal,
    CommandInfo::Restore::Reporting,
};
}  // namespace

EffortSurface::EffortSurface() : Command(kInfo) {}

HRESULT EffortSurface::Click() {
  if (EffortRunUnderWay()) {
    MessageBox(nullptr,
               "An effort surface is being calculated. Wait until it has finished, or press Cancel in its "
               "\"Operation Progress\" window, before starting another.",
               "Effort Surface Calculator", MB_OK | MB_ICONINFORMATION);
    return S_OK;
  }
  return CommandCore::Click();
}

INT_PTR EffortSurface::RunModalDialog() { return RunEffortSurfaceDlg(); }

void EffortSurface::ProcessOk() {
  // The window of a run that has ended makes way for the new one.
  worker_.Stop();
  DestroyModelessWindow();
  OLE_HANDLE main = 0;
  application->get_hWnd(&main);
  window = CreateDialogParam(ModuleInstance(), IDD_PROGRESSDLG, reinterpret_cast<HWND>(main), ProgressDlgProc,
                             reinterpret_cast<LPARAM>(this));
  if (!IsWindow(window)) {
    SelectToolRestore(*this);
    window = nullptr;
    return;
  }
  if (!IsWindowVisible(window)) ShowWindow(window, SW_SHOW);
  StartProgressClock();
  if (!SetTimer(window, kProgressTimer, kProgressPeriod, nullptr)) return UnableToStart();
  try {
    worker_.Start(window);
  } catch (const std::system_error&) {
    UnableToStart();
  }
}

void EffortSurface::UnableToStart() {
  DestroyModelessWindow();
  MessageBox(nullptr, "Unable to Start Process", "Error", MB_OK | MB_ICONERROR);
}

void EffortSurface::CloseProgress() {
  if (IsWindow(window)) KillTimer(window, kProgressTimer);
  worker_.Stop();
  CloseLog();
  SelectToolRestore(*this);
}

HRESULT EffortSurface::FinalConstruct() { return CoCreateFreeThreadedMarshaler(ControllingUnknown(), marshaler_.put()); }

HRESULT EffortSurface::QueryOther(REFIID riid, void** object) {
  if (riid == IMarshal::iid && marshaler_) return marshaler_->QueryInterface(riid, object);
  *object = nullptr;
  return E_NOINTERFACE;
}

void EffortSurface::FinalRelease() {
  if (worker_.Running()) {
    worker_.Stop();
    CloseLog();
  }
  DestroyModelessWindow();
}

}  // namespace plenth
