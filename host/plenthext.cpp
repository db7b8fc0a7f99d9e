#include "host/plenthext.h"

namespace plenth {
HRESULT PlenthExt::Name(BSTR* name) { return com::OutString("Plenth Tools", name); }
HRESULT PlenthExt::Startup(VARIANT*) { return S_OK; }
HRESULT PlenthExt::Shutdown() { return S_OK; }
HRESULT PlenthExt::ProductName(BSTR* name) { return com::OutString("Plenth Tools Extension", name); }
HRESULT PlenthExt::Description(BSTR* description) {
  return com::OutString("Tools designed for use in Plenth GIS lab", description);
}

HRESULT PlenthExt::GetState(LONG* state) {
  if (!state) return E_POINTER;
  *state = state_;
  return S_OK;
}

HRESULT PlenthExt::SetState(LONG state) {
  state_ = state;
  return S_OK;
}

}  // namespace plenth
