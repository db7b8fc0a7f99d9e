// The definition of the module's own toolbar: three of its commands.
#pragma once

#include "host/classinfo.h"
#include "host/moduleglobals.h"
#include "hostapi/hostapi.h"

struct IPlenthToolbar : IUnknown {
  static constexpr IID iid = com::Guid("{7B605F40-EB9B-44A9-99F9-0B50220A6CCF}");

 protected:
  ~IPlenthToolbar() = default;
};
inline constexpr CLSID CLSID_PlenthToolbar = com::Guid("{745C3EB7-6A8A-4214-A862-27A0D66158A4}");

namespace plenth {

class PlenthToolbar final : public com::ComClass<PlenthToolbar, IPlenthToolbar, HostToolbarDef>,
                            CountedObject {
 public:
  static const ClassInfo kClass;

  HRESULT ItemCount(LONG* count) override;
  HRESULT ItemInfo(LONG position, ToolbarItemDef* item) override;
  HRESULT Name(BSTR* name) override;
  HRESULT Caption(BSTR* caption) override;
};

}  // namespace plenth
