// The "Export Grid" dialog: the raster layer to export and the output file.
#pragma once

#include "ui/types.h"

namespace plenth {

// What the dialog leaves behind; kept between runs.
struct ExportGridChoice {
  char layerName[50];
  char directory[255];  // ends with a separator
  char baseName[25];    // the first 24 bytes of the typed file name
};
ExportGridChoice& ExportGridResult();

// Runs the dialog modally; IDOK when the person confirmed.
INT_PTR RunExportGridDlg();

}  // namespace plenth
