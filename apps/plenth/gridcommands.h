// `plenth export-grid` and `plenth import-grid`.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace plenth::cli {

struct GridRun {
  std::string modulePath;
  std::string mapFile;  // optional map document with more layers
};

// Exports the raster layer to grid text files named from outPath, as typed into the
// dialog; returns the files written. Throws RunError on any failure.
std::vector<std::string> ExportGrid(const GridRun& run, const std::string& rasterArg, const std::string& outPath,
                                    std::ostream& out);
// Imports a grid text file into a new raster named by outPath; returns its path.
std::string ImportGrid(const GridRun& run, const std::string& gridFile, const std::string& outPath,
                       std::ostream& out);

}  // namespace plenth::cli
