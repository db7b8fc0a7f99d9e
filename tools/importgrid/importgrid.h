// The "Import Plenth Format to GRID Format" command.
#pragma once

#include "data/progress.h"
#include "host/command.h"

struct IImportGrid : IDispatch {
  static constexpr IID iid = com::Guid("{D833808C-F8F6-40FD-84BB-EC3E000FE946}");

 protected:
  ~IImportGrid() = default;
};
inline constexpr CLSID CLSID_ImportGrid = com::Guid("{F701FBE9-AD08-47D1-97B7-4B02B7C8F6CB}");

namespace plenth {

class ImportGrid final : public Command<ImportGrid, com::NoMemberDispatch<ImportGrid, IImportGrid>> {
 public:
  static const ClassInfo kClass;

  ImportGrid();

 protected:
  INT_PTR RunModalDialog() override;
  void ProcessOk() override;
};

// Creates a one-band raster named outputName in directory from a grid text file;
// 1 for success, 0 for failure (a raster created before the failure is deleted). A stop
// asked for by `progress` (at each strip of rows) is a failure.
int ImportGridFileToRaster(const char* inputPath, const char* directory, const char* outputName,
                           const Progress& progress = {});

}  // namespace plenth
