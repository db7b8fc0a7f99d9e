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
};

}  // namespace plenth
