// The import dialog: the grid file to read and the raster to create.
#pragma once

#include "ui/types.h"

namespace plenth {

// What the dialog leaves behind; emptied each time it opens.
struct ImportGridChoice {
  char inputPath[255];
  char directory[255];  // the directory part (separator included), or the current directory
  char outputName[25];  // the first 24 bytes of the typed name
};
ImportGridChoice& ImportGridResult();

INT_PTR RunImportGridDlg();

}  // namespace plenth
