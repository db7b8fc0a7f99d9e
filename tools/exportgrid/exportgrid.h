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
  void ProcessOk() override;
};

// Writes every band of the layer's raster to a grid text file named from the directory
// and base name; 1 for success, 0 for failure.
int ExportRasterToGridFiles(const char* layerName, const char* directory, const char* baseName);

}  // namespace plenth
