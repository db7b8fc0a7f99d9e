// The class that exists to accept drags of host data onto the module's windows.
#pragma once

#include "host/classinfo.h"
#include "host/moduleglobals.h"

struct IDrpTgt : IUnknown {
  static constexpr IID iid = com::Guid("{4F3C1632-0DD6-4F35-A3C2-12209999CEFD}");

 protected:
  ~IDrpTgt() = default;
};
inline constexpr CLSID CLSID_DrpTgt = com::Guid("{CEED2118-C277-4ED1-82CF-EFB7146EB246}");

namespace plenth {

class DrpTgt final : public com::ComClass<DrpTgt, IDrpTgt>, CountedObject {
 public:
  static const ClassInfo kClass;
};

}  // namespace plenth
