// The "Polygon Clip Tool" command.
#pragma once

#include "host/command.h"
#include "module/interfaces.h"

namespace plenth {

class PolyClip final : public Command<PolyClip, IPolyClip> {
 public:
  PolyClip();
  HRESULT OnClick() override;

 protected:
  int ModelessDialogId() const override;
  DLGPROC ModelessDialogProc() const override;
};

}  // namespace plenth
