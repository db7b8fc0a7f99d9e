// The "Effort Surface Calculator" command.
#pragma once

#include "host/command.h"
#include "module/interfaces.h"

namespace plenth {

class EffortSurface final : public Command<EffortSurface, com::NoMemberDispatch<EffortSurface, IEffortSurface>> {
 public:
  EffortSurface();
  HRESULT OnClick() override;

 protected:
  INT_PTR RunModalDialog() override;
  // The free-threaded marshaler, aggregated under this object's identity, so that the
  // worker thread can call the command directly.
  HRESULT FinalConstruct() override;
  HRESULT QueryOther(REFIID riid, void** object) override;

 private:
  com::ComPtr<IUnknown> marshaler_;
};

}  // namespace plenth
