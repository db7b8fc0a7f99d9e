// `plenth point-grid`: a regular grid or a random collection of points written into a
// new point shapefile, with a picture of the map and the grid's preview on request.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "apps/plenth/gridcommands.h"

namespace plenth::cli {

struct PointGridArgs {
  std::string outPath;  // as typed into the dialog
  double west = 0, east = 0, north = 0, south = 0;
  std::optional<double> spacing;          // a regular grid
  std::optional<std::int64_t> count;      // or so many random points
  std::string crsOf;                      // a layer (PATH or NAME=PATH) whose coordinate system the map takes
  std::string previewPng;                 // where to save the map with the preview
  std::optional<std::int64_t> seed;       // the generator's seed in place of the current second
};

struct PointGridResult {
  std::int64_t points = 0;  // how many the new shapefile holds
  std::string shapefile;    // its .shp file, as the tool named it (a bare name without "./")
};

// The person fills the dialog (each bound typed and left, the mode chosen, OK pressed).
// Throws RunError on any failure.
PointGridResult PointGrid(const GridRun& run, const PointGridArgs& args, std::ostream& out);

}  // namespace plenth::cli
