// The project's own deterministic sample data: a DEM with a projected coordinate system,
// trails, streams and ground cover on its grid, and polygons, points and polylines over it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace plenth::cli {

struct SampleFile {
  std::string path;
  std::string what;
};

// Writes the sample data into dir (created when missing); throws std::runtime_error when
// a file cannot be written. Existing sample files are replaced.
std::vector<SampleFile> WriteSampleData(const std::string& dir);

// Removes the files of the shapefile `shp` names (.shp, .shx, .dbf, .prj, .cpg) that exist.
// One that cannot be removed is left for the next step, writing there, to fail on.
void RemoveShapefile(const std::filesystem::path& shp);

}  // namespace plenth::cli
