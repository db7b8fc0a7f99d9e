// `plenth effort-surface`: the effort surface calculator on raster files, its progress
// window shown in the terminal.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "apps/plenth/gridcommands.h"

namespace plenth::cli {

struct EffortArgs {
  std::string dem, trails, roads, streams, cover;  // PATH or NAME=PATH
  std::optional<std::string> zFactor;              // as typed into the dialog
  std::string outPath;                             // as typed into the dialog
};

// Picks the five layers in the dialog, types the Z factor and the output path, presses
// OK and follows the run: the clock and the log lines as they come (on a terminal with a
// progress bar from the row marks). Ctrl-C presses Cancel. Returns the raster written;
// throws RunError when the run did not write it (the log is kept).
std::string EffortSurface(const GridRun& run, const EffortArgs& args, std::ostream& out, bool terminal);

}  // namespace plenth::cli
