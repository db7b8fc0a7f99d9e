// The "Grid Spot Tool" command.
#pragma once

#include "host/command.h"
#include "module/interfaces.h"

namespace plenth {

class GridSpot final : public Command<GridSpot, IGridSpot> {
 public:
  GridSpot();
  HRESULT OnClick() override;

 protected:
  int ModelessDialogId() const override;
  DLGPROC ModelessDialogProc() const override;
};

}  // namespace plenth
