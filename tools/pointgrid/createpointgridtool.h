// The "Regular Point Grid Tool" command.
#pragma once

#include "host/command.h"
#include "module/interfaces.h"

namespace plenth {

class CreatePointGridTool final : public Command<CreatePointGridTool, ICreatePointGridTool> {
 public:
  CreatePointGridTool();
  HRESULT OnClick() override;

 protected:
  int ModelessDialogId() const override;
  DLGPROC ModelessDialogProc() const override;
};

}  // namespace plenth
