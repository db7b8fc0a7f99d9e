// The "Line Orientation Tool" command.
#pragma once

#include "host/command.h"
#include "module/interfaces.h"

namespace plenth {

class LineOrientation final : public Command<LineOrientation, ILineOrientation> {
 public:
  LineOrientation();
  HRESULT OnClick() override;

 protected:
  INT_PTR RunModalDialog() override;
};

}  // namespace plenth
