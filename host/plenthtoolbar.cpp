#include "host/plenthtoolbar.h"

#include <iterator>

#include "hostapi/categories.h"
#include "resources/resource.h"

namespace plenth {
namespace {

// The toolbar's commands, in order, by class name.
constexpr const char* kItems[] = {"CreatePointGridTool", "PolyClip", "LineOrientation"};

}  // namespace

constinit const ClassInfo PlenthToolbar::kClass = ClassRow<PlenthToolbar, IPlenthToolbar>({
    .name = "PlenthToolbar",
    .clsid = CLSID_PlenthToolbar,
    .scriptId = IDR_PLENTHTOOLBAR,
    .threadingModel = "both",
    .category = &CATID_HostCommandBars,
});

HRESULT PlenthToolbar::ItemCount(LONG* count) { return com::Out(static_cast<LONG>(std::size(kItems)), count); }

HRESULT PlenthToolbar::ItemInfo(LONG position, ToolbarItemDef* item) {
  if (!item) return E_POINTER;
  if (position < 0 || position >= static_cast<LONG>(std::size(kItems))) return E_INVALIDARG;
  return com::Guard([&] {
    const com::BStr progId(ProgId(kItems[position]));
    const HRESULT hr = item->put_ID(progId.get());
    return FAILED(hr) ? hr : S_OK;
  });
}

HRESULT PlenthToolbar::Name(BSTR* name) { return com::Out("Plenth Extension Toolbar", name); }
HRESULT PlenthToolbar::Caption(BSTR* caption) { return com::Out("Plenth Extension Toolbar", caption); }

}  // namespace plenth
