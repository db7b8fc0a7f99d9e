#include "host/plenthext.h"

#include "hostapi/categories.h"
#include "resources/resource.h"

namespace plenth {

constinit const ClassInfo PlenthExt::kClass = ClassRow<PlenthExt, IPlenthExt>({
    .name = "PlenthExt",
    .clsid = CLSID_PlenthExt,
    .scriptId = IDR_PLENTHEXT,
    .threadingModel = "Apartment",
    .category = &CATID_HostExtensions,
    .programmable = true,
});

HRESULT PlenthExt::Name(BSTR* name) { return com::Out("Plenth Tools", name); }
HRESULT PlenthExt::Startup(VARIANT*) { return S_OK; }
HRESULT PlenthExt::Shutdown() { return S_OK; }
HRESULT PlenthExt::ProductName(BSTR* name) { return com::Out("Plenth Tools Extension", name); }
HRESULT PlenthExt::Description(BSTR* description) {
  return com::Out("Tools designed for use in Plenth GIS lab", description);
}
HRESULT PlenthExt::GetState(LONG* state) { return com::Out(state_, state); }

HRESULT PlenthExt::SetState(LONG state) {
  state_ = state;
  return S_OK;
}

}  // namespace plenth
