// The "Point Grid Generator" dialog: the output path, the four bounds, a spacing or a
// number of random points; the rows and columns a spacing gives; when the preview and
// OK may be used; the tidying of bounds that do not fit together; and on OK the new
// point shapefile, added to the map as "PointGrid".
#pragma once

#include <cstdint>
#include <string>

#include "com/ptr.h"
#include "data/progress.h"
#include "gis/gisapi.h"
#include "tools/pointgrid/pointgridkernel.h"
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

// The points of a point grid over an area: a regular grid of the spacing, or `count`
// random points drawn with the generator seeded by `seed`.
struct PointGridPoints {
  GridArea area;
  bool regular = true;
  double spacing = 0;
  std::int64_t count = 0;
  std::uint32_t seed = 0;
};

// Writes the points into a new point shapefile of that name in the workspace, in the
// coordinate system given (or none), flushed every 100 points; `progress` is asked at
// each flush and a false answer stops the writing. The new feature class, or none when
// it cannot be created (one of that name exists, for instance). A regular grid's spacing
// must move its coordinates (GridStepAdvances).
com::ComPtr<FeatureClass> WritePointShapefile(FeatureWorkspace* workspace, const std::string& name,
                                              SpatialReference* reference, const PointGridPoints& points,
                                              const Progress& progress = {});

// Writes the points the dialog describes into a new point shapefile and adds it to the
// owner's focus map as "PointGrid". A spacing that cannot make a grid and a directory
// that is missing or cannot be opened are reported, and nothing is created; a shapefile
// that cannot be created (one of that name exists, for instance) ends it silently.
void GeneratePointShapefile(CreatePointGridTool& owner, HWND dialog);

}  // namespace plenth
