// The "Export GRID Format to Plenth Format" command.
#pragma once

#include "data/progress.h"
#include "host/command.h"

struct IExportGrid : IDispatch {
  static constexpr IID iid = com::Guid("{A8E7C62E-52B2-4075-AAFB-78AD0B47846A}");

 protected:
  ~IExportGrid() = default;
};
inline constexpr CLSID CLSID_ExportGrid = com::Guid("{7A546A82-E0A4-4542-B7AC-77AE4821F7BD}");

namespace plenth {

class ExportGrid final : public Command<ExportGrid, com::NoMemberDispatch<ExportGrid, IExportGrid>> {
 public:
  static const ClassInfo kClass;

  ExportGrid();

 protected:
  INT_PTR RunModalDialog() override;
  void ProcessOk() override;
};

// Writes every band of the layer's raster to a grid text file named from the directory
// and base name; 1 for success, 0 for failure.
int ExportRasterToGridFiles(const char* layerName, const char* directory, const char* baseName);

// The same for the raster dataset of that name in that directory, as a layer names its
// data source. A stop asked for by `progress` (at each strip of rows) ends it with 0 and
// takes away every file this export wrote.
int ExportRasterDatasetToGridFiles(const char* datasetDirectory, const char* datasetName, const char* directory,
                                   const char* baseName, const Progress& progress = {});

}  // namespace plenth
