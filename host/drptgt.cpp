#include "host/drptgt.h"

#include "host/layerdrop.h"
#include "resources/resource.h"

namespace plenth {

constinit const ClassInfo DrpTgt::kClass = ClassRow<DrpTgt, IDrpTgt>({
    .name = "DrpTgt",
    .clsid = CLSID_DrpTgt,
    .scriptId = IDR_DRPTGT,
    .threadingModel = "Apartment",
});

HRESULT DrpTgt::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) { return LayerDragEnter(data, effect); }
HRESULT DrpTgt::DragOver(DWORD, POINTL, DWORD* effect) { return LayerDragOver(effect); }
HRESULT DrpTgt::DragLeave() { return LayerDragLeave(); }
HRESULT DrpTgt::Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) { return LayerDrop(data, effect); }

}  // namespace plenth
