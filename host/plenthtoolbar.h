// The definition of the module's own toolbar: three of its commands.
#pragma once

#include "hostapi/hostapi.h"
#include "module/interfaces.h"
#include "host/moduleglobals.h"

namespace plenth {

class PlenthToolbar final : public com::ComClass<PlenthToolbar, IPlenthToolbar, HostToolbarDef>,
                            CountedObject {
 public:
  HRESULT ItemCount(LONG* count) override;
  HRESULT ItemInfo(LONG position, ToolbarItemDef* item) override;
  HRESULT Name(BSTR* name) override;
  HRESULT Caption(BSTR* caption) override;
};

}  // namespace plenth
