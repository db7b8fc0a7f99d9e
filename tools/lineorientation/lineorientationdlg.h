// The "Line Orientation" dialog: the polyline layer to split and the shapefile to write.
#pragma once

#include "ui/types.h"

namespace plenth {

// What the dialog leaves behind. The input's dataset name and directory come from the
// layer chosen, and stay from the last run when the name chosen finds no layer.
struct LineOrientationChoice {
  char layerName[255];
  char inputName[255];
  char inputDirectory[255];
  char outputDirectory[255];  // the directory part (separator included), or the current directory
  char outputName[8];         // the first 7 bytes of the typed file name
};
LineOrientationChoice& LineOrientationResult();

// Runs the dialog modally; IDOK when the person confirmed.
INT_PTR RunLineOrientationDlg();

}  // namespace plenth
