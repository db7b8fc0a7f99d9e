#include "tools/effortsurface/effortsurface.h"

#include "com/marshal.h"
#include "host/basicdialog.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth {
namespace {
const CommandInfo kInfo{
    "PlenthTools_EffortSurface",
    "Effort Surface Calculator",
    "Generates Effort Surface Grid",
    "Creates an effort surface based on environmental data",
    IDB_EFFORTSURFACE,
    CommandInfo::Creation::CommonControls,
    CommandInfo::Restore::Reporting,
};
}  // namespace

EffortSurface::EffortSurface() : Command(kInfo) {}

HRESULT EffortSurface::OnClick() { return ModalClick(); }

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
