#include "host/plenthext.h"

namespace plenth {
namespace {
HRESULT OutText(const char* text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = com::AllocBstr(text);
  return S_OK;
}
}  // namespace

HRESULT PlenthExt::Name(BSTR* name) { return OutText("Plenth Tools", name); }
HRESULT PlenthExt::Startup(VARIANT*) { return S_OK; }
HRESULT PlenthExt::Shutdown() { return S_OK; }
HRESULT PlenthExt::ProductName(BSTR* name) { return OutText("Plenth Tools Extension", name); }
HRESULT PlenthExt::Description(BSTR* description) {
  return OutText("Tools designed for use in Plenth GIS lab", description);
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
