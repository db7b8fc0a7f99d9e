// What the effort surface dialog collects and the run reads: the five inputs, the
// output, and the DEM's geometry.
#pragma once

#include <cstdint>

#include "com/ptr.h"
#include "gis/gisapi.h"
#include "tools/effortsurface/surfacename.h"

namespace plenth {

// One input layer: its name as the map shows it, and its dataset's directory and name.
struct EffortInput {
  char layerName[50];
  char directory[255];
  char datasetName[50];
};

// One process-wide instance. The dialog fills it; the run only reads it, and no dialog
// opens while a run is under way.
struct EffortParams {
  EffortInput dem;
  EffortInput trails;
  EffortInput roads;  // required by the dialog; the run does not read it
  EffortInput streams;
  EffortInput groundCover;
  char outputDirectory[255];  // as typed, separator included; the current directory when none was
  char outputName[kSurfaceNameBuffer];  // at most 7 characters, and a ".tif" typed after them
  char unitName[50];          // of the DEM's projected coordinate system, else "Unknown"
  double zFactor;             // recorded; elevations are used as stored
  double metersPerUnit;
  std::int32_t columns;
  std::int32_t rows;
  float cellSize;     // the DEM's x cell size: the distance the costs take
  double cellWidth;   // the DEM's cells on the map, x and y: the surface's cells lie the same
  double cellHeight;
  com::ComPtr<SpatialReference> spatialReference;
  com::ComPtr<Point> lowerLeft;  // of the DEM's extent
};

EffortParams& TheEffortParams();
// Lets the two references go; the module's release calls it.
void ReleaseEffortParams();

}  // namespace plenth
