// The "Import Plenth Format to GRID Format" command.
#pragma once

#include "host/command.h"
#include "module/interfaces.h"

namespace plenth {

class ImportGrid final : public Command<ImportGrid, com::NoMemberDispatch<ImportGrid, IImportGrid>> {
 public:
  ImportGrid();
  HRESULT OnClick() override;

 protected:
  INT_PTR RunModalDialog() override;
};

}  // namespace plenth
