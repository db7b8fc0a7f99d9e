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
  void ProcessOk() override;
};

// Creates a one-band raster named outputName in directory from a grid text file;
// 1 for success, 0 for failure (a raster created before the failure is deleted).
int ImportGridFileToRaster(const char* inputPath, const char* directory, const char* outputName);

}  // namespace plenth
