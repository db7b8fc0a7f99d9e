// The files a call names: its inputs opened as the map's layers hold them, its outputs
// split into the directory and the name the tools' routines take, and outputs taken away.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "apps/checks/checks.h"
#include "com/ptr.h"
#include "gis/gisapi.h"

namespace plenth::python {

// A path as the C library takes it; ValueError for one with a null character in it,
// which would name another file.
std::string CheckedPath(const std::string& path, const char* what);

// The raster or shapefile at the path, opened by the data library as a layer of the map
// opens it; Error saying why when it cannot be.
com::ComPtr<RasterDataset> OpenRaster(const std::string& path);
com::ComPtr<FeatureClass> OpenShapefile(const std::string& path);

// Where the data library finds a dataset again: its directory and its name.
struct DataSource {
  std::string directory;
  std::string name;
};
DataSource DataSourceOf(RasterDataset* raster);
DataSource DataSourceOf(FeatureClass* featureClass);

// An output path split after its last '/': the directory with its separator ("./" for a
// bare name) and the file name. ValueError for a path that names no file.
DataSource SplitOutput(const std::string& path);

// Error with the first error among the findings of plenth's checks, if any.
void Require(const checks::Findings& findings);

// Error unless the directory exists and can be written to.
void RequireWritableDirectory(const std::string& directory);

// Takes away a raster or a shapefile (with the files beside it) that a stopped run began.
void RemoveRaster(const std::string& path);
void RemoveShapefile(const std::string& path);

// The files of a shapefile kept aside while a tool changes it in place, for a run that
// does not end to leave the table as it was.
class ShapefileBackup {
 public:
  explicit ShapefileBackup(const std::string& shapefile);
  ~ShapefileBackup();  // lets the copies go
  ShapefileBackup(const ShapefileBackup&) = delete;
  ShapefileBackup& operator=(const ShapefileBackup&) = delete;

  // Puts the files back as they were; the data library must have let them go.
  void Restore();

 private:
  std::string folder_;
  std::vector<std::string> files_;
};

// The path of the shapefile the data library makes for that name in that directory.
std::string ShapefilePath(const DataSource& output);

// The shapefile a tool updates in place: the input itself, kept aside to be put back, or
// a copy of it made at an output path (".shp" added when missing; never over an existing
// file), taken away again. Undo() after a run that did not end leaves the input as it was
// and no copy behind.
class UpdatedShapefile {
 public:
  UpdatedShapefile(const std::string& input, const std::optional<std::string>& output);
  UpdatedShapefile(const UpdatedShapefile&) = delete;
  UpdatedShapefile& operator=(const UpdatedShapefile&) = delete;

  // The shapefile to update.
  const std::string& path() const { return path_; }
  // The data library must have let the shapefile go.
  void Undo();

 private:
  std::string path_;
  std::optional<ShapefileBackup> backup_;  // for an update in place
};

}  // namespace plenth::python
