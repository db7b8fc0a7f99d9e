// What plenth and the Python package find wrong with a tool's files before a run, in the
// same words: what would make the run fail, change nothing or change the wrong thing (an
// error: the run does not start), what makes its result doubtful (a warning), and what is
// worth knowing (a note). Inside the map application three of the tools say nothing at
// all, so these are the only words a person gets about such files.
#pragma once

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <optional>
#include <string>
#include <vector>

namespace plenth::checks {

struct Finding {
  enum class Kind { Error, Warning, Note };
  Kind kind;
  std::string text;
};
using Findings = std::vector<Finding>;

// The first error among the findings, or nullptr.
const Finding* FirstError(const Findings& findings);

// A vector file's first layer as GDAL reads it (no layer when it is not a vector file),
// and a raster as GDAL reads it (none when it is not a raster).
struct VectorFile {
  GDALDatasetUniquePtr dataset;
  OGRLayer* layer = nullptr;
};
VectorFile OpenVector(const std::string& path);
GDALDatasetUniquePtr OpenRaster(const std::string& path);

// A folder an output goes to ("" for the current one): it must exist and be writable.
Findings OutputDirectory(const std::string& directory);

// A raster band's cell type as the data library reads it (the tools take it from there),
// and in words: "cells of type Float32", "cells of 1 bit".
struct BandCells {
  long pixelType = 0;
  std::string words;
};
// Every band's, in order; none when the data library cannot open the raster.
std::vector<BandCells> CellsOfBands(const std::string& path);

// The .shp file a tool writes for a shapefile name typed into its dialog, in the typed
// directory ("" for the current one), as the data library names it: a typed extension
// stays part of the name, and ".shp" is not doubled. A name ending in ".shp" in other
// letters than lower case is an error: no tool can write it.
Findings ShapefileOutput(const std::string& directory, const std::string& name, std::string* shapefile);
// The first file of a shapefile (its .shp, .shx or .dbf) that exists already, or "": the
// tools never write a shapefile over any of them.
std::string ExistingPartOf(const std::string& shapefile);

// The records of a vector file's first layer, and the words of the first failure to open
// or read it ("" when there is none). GDAL hands out a record it cannot read (a file cut
// short, a damaged index) as a feature without a shape, which the tools would pass over
// as if it had none.
struct Records {
  long long count = 0;
  long long shapeless = 0;  // of them, the records without a shape
  std::string failure;
};
Records ReadEveryRecord(const std::string& path);

// The coordinate system of a raster or vector file, as well-known text, for a new
// shapefile to take; an error when the file does not open or has none.
Findings CoordinateSystemOf(const std::string& path, std::string* wkt);

// Polygon clip statistics: polygons each of whose records reads, a raster of integer
// cells, and the two in one coordinate system (the tool takes the polygons' coordinates
// as the raster's without moving them: an error, or a warning when the run is forced).
Findings PolyClipInputs(const std::string& polygons, const std::string& raster, bool force);
// A raster the polygon clip can take classes from: one of integer cells of 8, 16 or 32
// bits, as the data library reads them.
Findings ClassRaster(const std::string& raster);
// What the polygon clip says of a raster with a 40th distinct value.
std::string TooManyClasses(const std::string& raster);

// Grid spot: points each of whose records reads, and a raster with a coordinate system;
// what reading the points found in `records`, when given.
Findings GridSpotInputs(const std::string& points, const std::string& raster, Records* records = nullptr);
// Grid spot's field: a name that finds the layer's object ids or shapes (the data
// library's own fields) rather than a column of its table is an error.
Findings GridSpotField(const std::string& points, const std::string& field);

// Line orientation: a shapefile of lines each of whose records reads, whose field
// "Azimuth", if it has one, holds real numbers.
Findings LineOrientationInputs(const std::string& lines);

// The effort surface: rasters GDAL reads, the DEM in projected coordinates, and the
// trails, streams and ground cover on the DEM's grid; the Z factor's note.
Findings EffortSurfaceInputs(const std::string& dem, const std::string& trails, const std::string& streams,
                             const std::string& cover);

}  // namespace plenth::checks
