// The "Export GRID Format to Plenth Format" command.
#pragma once

#include "host/command.h"
#include "module/interfaces.h"

namespace plenth {

class ExportGrid final : public Command<ExportGrid, com::NoMemberDispatch<ExportGrid, IExportGrid>> {
 public:
  ExportGrid();
  HRESULT OnClick() override;

 protected:
  INT_PTR RunModalDialog() override;
};

}  // namespace plenth
