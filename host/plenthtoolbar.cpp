#include "host/plenthtoolbar.h"

#include <iterator>

namespace plenth {
namespace {

constexpr const char* kItems[] = {
    "PlenthTools.CreatePointGridTool",
    "PlenthTools.PolyClip",
    "PlenthTools.LineOrientation",
};

}  // namespace

HRESULT PlenthToolbar::ItemCount(LONG* count) {
  if (!count) return E_POINTER;
  *count = static_cast<LONG>(std::size(kItems));
  return S_OK;
}

HRESULT PlenthToolbar::ItemInfo(LONG position, ToolbarItemDef* item) {
  if (!item) return E_POINTER;
  if (position < 0 || position >= static_cast<LONG>(std::size(kItems))) return E_INVALIDARG;
  const com::BStr progId(kItems[position]);
  const HRESULT hr = item->put_ID(progId.get());
  return FAILED(hr) ? hr : S_OK;
}

HRESULT PlenthToolbar::Name(BSTR* name) { return com::OutString("Plenth Extension Toolbar", name); }
HRESULT PlenthToolbar::Caption(BSTR* caption) { return com::OutString("Plenth Extension Toolbar", caption); }

}  // namespace plenth
