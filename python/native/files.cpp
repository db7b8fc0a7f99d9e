#include "native/files.h"

#include <gdal_priv.h>
#include <strings.h>
#include <unistd.h>

#include <cpl_string.h>

#include <filesystem>

#include "apps/checks/checks.h"
#include "apps/plenth/sampledata.h"
#include "com/bstr.h"
#include "gis/gis.h"
#include "native/calls.h"

namespace plenth::python {

namespace fs = std::filesystem;

std::string CheckedPath(const std::string& path, const char* what) {
  if (path.find('\0') != std::string::npos) throw py::value_error(std::string(what) + ": embedded null character");
  if (path.empty()) throw py::value_error(std::string(what) + ": the path is empty");
  return path;
}

com::ComPtr<RasterDataset> OpenRaster(const std::string& path) {
  if (!fs::exists(path)) throw Error(path + ": no such file");
  HRESULT hr = S_OK;
  auto raster = gis::OpenRasterFile(path, &hr);
  if (hr == GIS_E_UNSUPPORTED)
    throw Error(path + ": a raster rotated on the map, which the data library cannot read as a grid");
  if (!raster) throw Error(path + ": not a raster the data library can open");
  return raster;
}

com::ComPtr<FeatureClass> OpenShapefile(const std::string& path) {
  if (!fs::exists(path)) throw Error(path + ": no such file");
  auto featureClass = gis::OpenFeatureFile(path);
  if (!featureClass) throw Error(path + ": not a shapefile the data library can open");
  return featureClass;
}

DataSource DataSourceOf(RasterDataset* raster) {
  com::BStr name, directory;
  raster->get_Name(name.put());
  raster->get_WorkspacePath(directory.put());
  return {directory.utf8(), name.utf8()};
}

DataSource DataSourceOf(FeatureClass* featureClass) {
  com::BStr name, directory;
  featureClass->get_Name(name.put());
  featureClass->get_WorkspacePath(directory.put());
  return {directory.utf8(), name.utf8()};
}

DataSource SplitOutput(const std::string& path) {
  const auto at = path.find_last_of('/');
  DataSource out;
  out.directory = at == std::string::npos ? "./" : path.substr(0, at + 1);
  out.name = at == std::string::npos ? path : path.substr(at + 1);
  if (out.name.empty() || out.name == "." || out.name == "..")
    throw py::value_error(path + ": the output path names no file");
  return out;
}

void Require(const checks::Findings& findings) {
  if (const checks::Finding* error = checks::FirstError(findings)) throw Error(error->text);
}

void RequireWritableDirectory(const std::string& directory) { Require(checks::OutputDirectory(directory)); }

void RemoveRaster(const std::string& path) {
  if (GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff"); driver && fs::exists(path))
    if (driver->Delete(path.c_str()) == CE_None) return;
  std::error_code ec;
  fs::remove(path, ec);
}

void RemoveShapefile(const std::string& path) { plenth::cli::RemoveShapefile(path); }

ShapefileBackup::ShapefileBackup(const std::string& shapefile) {
  GDALDatasetUniquePtr ds(GDALDataset::Open(shapefile.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!ds) throw Error(shapefile + ": not a shapefile the data library can open");
  const CPLStringList files(ds->GetFileList());
  ds.reset();
  std::string folder = (fs::temp_directory_path() / "plenthtools-XXXXXX").string();
  if (!::mkdtemp(folder.data())) throw Error("no room to keep a copy of " + shapefile + " while it is changed");
  folder_ = folder;
  try {
    for (int i = 0; i < files.size(); ++i) {
      const fs::path file = files[i];
      fs::copy_file(file, fs::path(folder_) / file.filename());
      files_.push_back(file.string());
    }
  } catch (const fs::filesystem_error& e) {
    std::error_code ec;
    fs::remove_all(folder_, ec);
    throw Error("no room to keep a copy of " + shapefile + " while it is changed: " + e.what());
  }
}

ShapefileBackup::~ShapefileBackup() {
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

void ShapefileBackup::Restore() {
  for (const std::string& file : files_) {
    std::error_code ec;
    fs::copy_file(fs::path(folder_) / fs::path(file).filename(), file, fs::copy_options::overwrite_existing, ec);
  }
}

std::string ShapefilePath(const DataSource& output) {
  std::string path = output.directory + output.name;
  if (strcasecmp(fs::path(path).extension().c_str(), ".shp") != 0) path += ".shp";
  return path;
}

UpdatedShapefile::UpdatedShapefile(const std::string& input, const std::optional<std::string>& output) {
  if (!output) {
    path_ = input;
    backup_.emplace(input);
    return;
  }
  const DataSource out = SplitOutput(CheckedPath(*output, "output"));
  RequireWritableDirectory(out.directory);
  path_ = ShapefilePath(out);
  if (fs::exists(path_)) throw Error(path_ + " exists; the tool never writes over an output (choose another name)");
  // The files beside the .shp are copied too, each named after the new one.
  GDALDatasetUniquePtr ds(GDALDataset::Open(input.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!ds) throw Error(input + ": not a shapefile the data library can open");
  CPLStringList files(ds->GetFileList());
  ds.reset();
  const CPLStringList copies(CPLCorrespondingPaths(input.c_str(), path_.c_str(), files.List()));
  bool copied = copies.size() == files.size() && files.size() > 0;
  for (int i = 0; copied && i < files.size(); ++i) copied = CPLCopyFile(copies[i], files[i]) == 0;
  if (!copied) {
    RemoveShapefile(path_);
    throw Error(input + " cannot be copied to " + path_);
  }
}

void UpdatedShapefile::Undo() {
  if (backup_)
    backup_->Restore();
  else
    RemoveShapefile(path_);
}

}  // namespace plenth::python
