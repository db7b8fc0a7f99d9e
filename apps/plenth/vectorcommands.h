// `plenth poly-clip`, `plenth grid-spot` and `plenth line-orientation`. The tools are
// silent inside the map application, so each command first checks what would make a run
// change nothing or the wrong thing, and afterwards says what was written.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <ostream>
#include <string>

#include "apps/plenth/gridcommands.h"

namespace plenth::cli {

struct PolyClipArgs {
  std::string polygons;  // PATH or NAME=PATH
  std::string raster;
  std::string prefix;
  bool force = false;  // run although the polygons are in another coordinate system
};
// Adds per-class cell counts to the polygons' table; gives back the summary line.
std::string PolyClip(const GridRun& run, const PolyClipArgs& args, std::ostream& out);

struct GridSpotArgs {
  std::string points;
  std::string raster;
  std::string field;
};
std::string GridSpot(const GridRun& run, const GridSpotArgs& args, std::ostream& out);

// Writes the segments of the lines with their orientation into a new shapefile named
// from outPath as typed into the dialog.
std::string LineOrientation(const GridRun& run, const std::string& lines, const std::string& outPath,
                            std::ostream& out);

// Adds the three commands to the command line; `runner` runs a command's body and turns
// its failure into a one-line reason and an exit status.
using CommandRunner = std::function<void(const char* name, const std::function<void()>& body)>;
void AddVectorCommands(CLI::App& app, GridRun& run, const CommandRunner& runner);

}  // namespace plenth::cli
