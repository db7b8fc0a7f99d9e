#include "tools/effortsurface/effortsurface.h"

#include "com/marshal.h"
#include "host/basicdialog.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
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


INT_PTR EffortSurface::RunModalDialog() {
  return DialogBoxParam(ModuleInstance(), IDD_EFFORTSURFACEDLG, nullptr, BasicModalDialogProc, reinterpret_cast<LPARAM>(this));
}

HRESULT EffortSurface::FinalConstruct() { return CoCreateFreeThreadedMarshaler(ControllingUnknown(), marshaler_.put()); }

HRESULT EffortSurface::QueryOther(REFIID riid, void** object) {
  if (riid == IMarshal::iid && marshaler_) return marshaler_->QueryInterface(riid, object);
  *object = nullptr;
  return E_NOINTERFACE;
}

}  // namespace plenth
