// The "Point Grid Generator" dialog: the output path, the four bounds, a spacing or a
// number of random points; the rows and columns a spacing gives; when the preview and
// OK may be used; the tidying of bounds that do not fit together; and on OK the new
// point shapefile, added to the map as "PointGrid".
#pragma once

#include "ui/types.h"

namespace plenth {

class CreatePointGridTool;

// The dialog procedure; the creation parameter is the tool that opens the dialog.
INT_PTR PointGridDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Whether the preview check box was last left checked (false when the module loads).
bool PointGridPreviewFlag();

// The numbers in the dialog's edits, each read through a 40-character buffer.
struct PointGridInputs {
  double xMax, xMin, yMax, yMin, d;
};
PointGridInputs ReadPointGridInputs(HWND dialog);

// Writes the points the dialog describes into a new point shapefile and adds it to the
// owner's focus map as "PointGrid". A spacing that cannot make a grid and a directory
// that is missing or cannot be opened are reported, and nothing is created; a shapefile
// that cannot be created (one of that name exists, for instance) ends it silently.
void GeneratePointShapefile(CreatePointGridTool& owner, HWND dialog);

}  // namespace plenth
