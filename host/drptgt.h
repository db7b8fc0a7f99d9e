// The class that exists to accept drags of host data onto the module's windows.
#pragma once

#include "com/dataobject.h"
#include "host/classinfo.h"
#include "host/moduleglobals.h"

struct IDrpTgt : IUnknown {
  static constexpr IID iid = com::Guid("{4F3C1632-0DD6-4F35-A3C2-12209999CEFD}");

 protected:
  ~IDrpTgt() = default;
};
inline constexpr CLSID CLSID_DrpTgt = com::Guid("{CEED2118-C277-4ED1-82CF-EFB7146EB246}");

namespace plenth {

class DrpTgt final : public com::ComClass<DrpTgt, IDrpTgt, IDropTarget>, CountedObject {
 public:
  static const ClassInfo kClass;

  HRESULT DragEnter(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
  HRESULT DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
  HRESULT DragLeave() override;
  HRESULT Drop(IDataObject* data, DWORD keyState, POINTL point, DWORD* effect) override;
};

}  // namespace plenth
