#include "apps/checks/checks.h"

#include <strings.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>

#include "com/bstr.h"
#include "gis/gis.h"
#include "gis/pixeltype.h"
#include "tools/polyclip/clipkernel.h"

namespace plenth::checks {

namespace fs = std::filesystem;

namespace {

Finding Error(std::string text) { return {Finding::Kind::Error, std::move(text)}; }
Finding Warning(std::string text) { return {Finding::Kind::Warning, std::move(text)}; }
Finding Note(std::string text) { return {Finding::Kind::Note, std::move(text)}; }

// The kind of shapes of a layer, in words.
std::string ShapesOf(OGRLayer* layer) {
  switch (wkbFlatten(layer->GetGeomType())) {
    case wkbPoint: return "points";
    case wkbMultiPoint: return "multipoints";
    case wkbLineString:
    case wkbMultiLineString: return "lines";
    case wkbPolygon:
    case wkbMultiPolygon: return "polygons";
    default: return "shapes of type " + std::string(OGRGeometryTypeToName(layer->GetGeomType()));
  }
}

std::string SystemName(const OGRSpatialReference* srs) {
  return srs ? std::string(srs->GetName() ? srs->GetName() : "an unnamed coordinate system")
             : std::string("no coordinate system");
}

// A tool's vector input of the shapes it takes, each of whose records can be read; the
// file open when there is no error.
Findings VectorInput(const std::string& path, const std::string& shapes, VectorFile& file, Records* read = nullptr) {
  file = OpenVector(path);
  if (!file.layer) return {Error(path + ": not a vector file")};
  const Records records = ReadEveryRecord(path);
  if (!records.failure.empty()) return {Error(path + ": " + records.failure + "; the file is damaged or cut short")};
  if (read) *read = records;
  if (ShapesOf(file.layer) != shapes)
    return {Error(path + " is a layer of " + ShapesOf(file.layer) + ", not of " + shapes)};
  return {};
}

// What makes a raster's cells line up with another's, and how its coordinates read.
struct Grid {
  int columns = 0, rows = 0;
  double gt[6] = {0, 1, 0, 0, 0, 1};
  bool georeferenced = false;
  bool hasReference = false;
  bool geographic = false;
  std::string unit;  // of a projected system's coordinates
};

std::optional<Grid> GridOf(const std::string& path) {
  const GDALDatasetUniquePtr ds = OpenRaster(path);
  if (!ds) return std::nullopt;
  Grid g;
  g.columns = ds->GetRasterXSize();
  g.rows = ds->GetRasterYSize();
  g.georeferenced = ds->GetGeoTransform(g.gt) == CE_None;
  if (const OGRSpatialReference* srs = ds->GetSpatialRef()) {
    g.hasReference = true;
    g.geographic = srs->IsGeographic();
    const char* unit = nullptr;
    if (srs->IsProjected()) srs->GetLinearUnits(&unit);
    if (unit) g.unit = unit;
  }
  return g;
}

std::string Size(const Grid& g) { return std::to_string(g.columns) + " x " + std::to_string(g.rows); }

std::string Number(double v) {
  std::ostringstream s;
  s.imbue(std::locale::classic());
  s.precision(12);
  s << v;
  return s.str();
}

bool Near(double a, double b, double cell) { return std::fabs(a - b) <= 1e-6 * std::fabs(cell); }

// How a class raster's grid of the DEM's size differs from the DEM's, or "" when it does
// not.
std::string GridDifference(const Grid& dem, const Grid& other) {
  std::vector<std::string> differences;
  if (!Near(other.gt[0], dem.gt[0], dem.gt[1]) || !Near(other.gt[3], dem.gt[3], dem.gt[5]))
    differences.push_back("origin " + Number(other.gt[0]) + ", " + Number(other.gt[3]) + " against " +
                          Number(dem.gt[0]) + ", " + Number(dem.gt[3]));
  if (!Near(other.gt[1], dem.gt[1], dem.gt[1]) || !Near(other.gt[5], dem.gt[5], dem.gt[5]))
    differences.push_back("cells of " + Number(other.gt[1]) + " x " + Number(std::fabs(other.gt[5])) + " against " +
                          Number(dem.gt[1]) + " x " + Number(std::fabs(dem.gt[5])));
  std::string text;
  for (const auto& d : differences) text += (text.empty() ? "" : "; ") + d;
  return text;
}

}  // namespace

const Finding* FirstError(const Findings& findings) {
  for (const Finding& f : findings)
    if (f.kind == Finding::Kind::Error) return &f;
  return nullptr;
}

VectorFile OpenVector(const std::string& path) {
  VectorFile v;
  v.dataset.reset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (v.dataset && v.dataset->GetLayerCount() > 0) v.layer = v.dataset->GetLayer(0);
  return v;
}

GDALDatasetUniquePtr OpenRaster(const std::string& path) {
  GDALAllRegister();
  GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  if (ds && ds->GetRasterCount() < 1) ds.reset();
  return ds;
}

Findings OutputDirectory(const std::string& directory) {
  const std::string dir = directory.empty() ? "." : directory;
  if (!fs::is_directory(dir)) return {Error("the output directory " + dir + " does not exist")};
  if (::access(dir.c_str(), W_OK) != 0) return {Error("the output directory " + dir + " is not writable")};
  return {};
}

std::vector<BandCells> CellsOfBands(const std::string& path) {
  const auto bands = gis::OpenRasterFile(path).query<RasterBandCollection>();
  const GDALDatasetUniquePtr gdal = OpenRaster(path);
  LONG count = 0;
  if (!bands || !gdal || FAILED(bands->get_Count(&count)) || count != gdal->GetRasterCount()) return {};
  std::vector<BandCells> out;
  for (LONG b = 0; b < count; ++b) {
    com::ComPtr<RasterBand> band;
    LONG type = 0;
    if (FAILED(bands->Item(b, band.put())) || !band.query<RasterProps>() ||
        FAILED(band.query<RasterProps>()->get_PixelType(&type)))
      return {};
    BandCells cells{type, {}};
    switch (type) {
      case PT_U1: cells.words = "cells of 1 bit"; break;
      case PT_U2: cells.words = "cells of 2 bits"; break;
      case PT_U4: cells.words = "cells of 4 bits"; break;
      default:
        cells.words = std::string("cells of type ") + GDALGetDataTypeName(gdal->GetRasterBand(b + 1)->GetRasterDataType());
    }
    out.push_back(std::move(cells));
  }
  return out;
}

Findings ShapefileOutput(const std::string& directory, const std::string& name, std::string* shapefile) {
  const fs::path path = gis::ShapefilePath(directory.empty() ? "." : directory, name);
  *shapefile = path.string();
  // The shapefile store names the files it writes with lower-case extensions (G.shp, G.shx
  // and G.dbf for G.SHP); the tool, opening what it made under the typed name, finds no
  // G.SHP on a file system that tells letter cases apart, and removes what it began.
  if (path.extension() != ".shp") {
    const std::string stem = fs::path(path).replace_extension().string();
    return {Error(path.string() + " cannot be written: shapefiles are written with lower-case extensions (" + stem +
                  ".shp, .shx, .dbf), where the tool would not find " + path.filename().string() +
                  " again, so it would keep nothing; type " + stem + " or " + stem + ".shp")};
  }
  return {};
}

std::string ExistingPartOf(const std::string& shapefile) {
  for (const char* ext : {".shp", ".shx", ".dbf"})
    if (const fs::path part = fs::path(shapefile).replace_extension(ext); fs::exists(part)) return part.string();
  return {};
}

Records ReadEveryRecord(const std::string& path) {
  CPLErrorReset();
  GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  OGRLayer* layer = dataset && dataset->GetLayerCount() > 0 ? dataset->GetLayer(0) : nullptr;
  // A shapefile's driver reads the files' headers when the layer is first asked for.
  if (layer) layer->GetLayerDefn();
  if (CPLGetLastErrorType() >= CE_Failure) return {0, 0, CPLGetLastErrorMsg()};
  if (!layer) return {0, 0, "not a vector file"};
  long long shapeless = 0;
  for (long long n = 0;; ++n) {
    CPLErrorReset();
    const std::unique_ptr<OGRFeature> feature(layer->GetNextFeature());
    if (CPLGetLastErrorType() >= CE_Failure)
      return {n, shapeless, "record " + std::to_string(n + 1) + " cannot be read (" + CPLGetLastErrorMsg() + ")"};
    if (!feature) return {n, shapeless, {}};
    shapeless += feature->GetGeometryRef() == nullptr;
  }
}

Findings CoordinateSystemOf(const std::string& path, std::string* wkt) {
  GDALAllRegister();
  GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_VECTOR));
  if (!ds) return {Error(path + ": cannot be opened")};
  const OGRSpatialReference* srs = ds->GetSpatialRef();
  if (!srs && ds->GetLayerCount() > 0) srs = ds->GetLayer(0)->GetSpatialRef();
  char* text = nullptr;
  if (srs) srs->exportToWkt(&text);
  *wkt = text ? text : "";
  CPLFree(text);
  if (wkt->empty()) return {Error(path + " has no coordinate system")};
  return {};
}

Findings PolyClipInputs(const std::string& polygons, const std::string& raster, bool force) {
  VectorFile vector;
  if (Findings refused = VectorInput(polygons, "polygons", vector); !refused.empty()) return refused;
  if (Findings refused = ClassRaster(raster); !refused.empty()) return refused;
  const GDALDatasetUniquePtr cells = OpenRaster(raster);
  const OGRSpatialReference* polygonSystem = vector.layer->GetSpatialRef();
  const OGRSpatialReference* rasterSystem = cells->GetSpatialRef();
  if (gis::SameCoordinateSystem(polygonSystem, rasterSystem)) return {};
  const std::string why = polygons + " is in " + SystemName(polygonSystem) + " but " + raster + " is in " +
                          SystemName(rasterSystem) +
                          ": the tool takes the polygons' coordinates as the raster's without moving them";
  if (!force) return {Error(why + " (reproject the polygons, or give --force to run anyway)")};
  return {Warning(why)};
}

Findings ClassRaster(const std::string& raster) {
  if (!OpenRaster(raster)) return {Error(raster + ": not a raster")};
  const std::vector<BandCells> bands = CellsOfBands(raster);
  if (bands.empty()) return {Error(raster + ": the data library cannot read its cells")};
  if (!clip::ToClassValues(static_cast<int>(bands.front().pixelType), nullptr, 0, nullptr))
    return {Error(raster + " holds " + bands.front().words + "; classes need an integer raster (8, 16 or 32 bits)")};
  return {};
}

std::string TooManyClasses(const std::string& raster) {
  return raster + " has 40 or more distinct cell values; the tool stops at the 40th (it counts at most 39 classes), "
                  "so nothing was written";
}

Findings GridSpotInputs(const std::string& points, const std::string& raster, Records* records) {
  VectorFile vector;
  if (Findings refused = VectorInput(points, "points", vector, records); !refused.empty()) return refused;
  const GDALDatasetUniquePtr cells = OpenRaster(raster);
  if (!cells) return {Error(raster + ": not a raster")};
  if (!cells->GetSpatialRef())
    return {Error(raster + " has no coordinate system; the tool needs one to place the points")};
  if (!vector.layer->GetSpatialRef())
    return {Note(points + " has no coordinate system; the points are taken to be in the raster's")};
  return {};
}

Findings GridSpotField(const std::string& points, const std::string& field) {
  const auto table = gis::OpenFeatureFile(points);
  com::ComPtr<Fields> fields;
  com::ComPtr<Field> found;
  LONG index = -1, type = 0;
  if (!table || FAILED(table->FindField(com::BStr(field).get(), &index)) || index < 0 ||
      FAILED(table->get_Fields(fields.put())) || FAILED(fields->get_Field(index, found.put())) ||
      FAILED(found->get_Type(&type)))
    return {};
  const char* own = type == kFieldOID ? "object ids" : type == kFieldGeometry ? "shapes" : nullptr;
  if (!own) return {};
  return {Error("the field name " + field + " names the points' " + own +
                ", which the tool cannot write; choose another name")};
}

Findings LineOrientationInputs(const std::string& lines) {
  VectorFile vector;
  if (Findings refused = VectorInput(lines, "lines", vector); !refused.empty()) return refused;
  if (strcasecmp(fs::path(lines).extension().c_str(), ".shp") != 0)
    return {Error(lines + " is not a shapefile; the tool reads its lines from a shapefile's directory")};
  const int azimuth = vector.layer->GetLayerDefn()->GetFieldIndex("Azimuth");
  if (azimuth >= 0 && vector.layer->GetLayerDefn()->GetFieldDefn(azimuth)->GetType() != OFTReal)
    return {Error(lines + " has a field Azimuth that does not hold real numbers; the tool cannot replace it")};
  return {};
}

Findings EffortSurfaceInputs(const std::string& demPath, const std::string& trails, const std::string& streams,
                             const std::string& cover) {
  const auto dem = GridOf(demPath);
  if (!dem) return {Error(demPath + ": not a raster GDAL can read")};
  Findings findings;
  const std::string note = "the Z factor is recorded but not applied: the costs use elevations as stored, so ";
  if (!dem->hasReference) {
    findings.push_back(Note(note + "they must be in the unit of the cell size, which is unknown: the DEM has no "
                                   "coordinate system"));
    findings.push_back(
        Warning("the DEM has no coordinate system: its cell size is taken to be in the unit of its elevations"));
  } else if (dem->geographic) {
    findings.push_back(Note(note + "against a cell size in degrees the costs will be meaningless"));
    findings.push_back(Warning("the DEM is in geographic coordinates: its slopes would set metres of height against "
                               "degrees; project it first (gdalwarp -t_srs)"));
  } else {
    findings.push_back(Note(note + "they must be in the unit of the cell size (" +
                            (dem->unit.empty() ? "unknown" : dem->unit) + ")"));
  }
  if (!Near(std::fabs(dem->gt[1]), std::fabs(dem->gt[5]), dem->gt[1]))
    findings.push_back(Warning("the DEM's cells are " + Number(std::fabs(dem->gt[1])) + " x " +
                               Number(std::fabs(dem->gt[5])) + ", not square: every step is costed with the x size, " +
                               Number(std::fabs(dem->gt[1]))));
  const std::pair<const char*, const std::string*> others[] = {
      {"trails", &trails}, {"streams", &streams}, {"ground cover", &cover}};
  for (const auto& [what, path] : others) {
    const auto other = GridOf(*path);
    if (!other) {
      findings.push_back(Error(*path + ": not a raster GDAL can read"));
      return findings;
    }
    if (other->columns != dem->columns || other->rows != dem->rows)
      findings.push_back(Warning(std::string("the ") + what + " raster is " + Size(*other) + " cells, not the DEM's " +
                                 Size(*dem) + ": the run will refuse it"));
    else if (const std::string d = GridDifference(*dem, *other); !d.empty())
      findings.push_back(Warning(std::string("the ") + what + " raster's grid differs from the DEM's (" + d +
                                 "): its cells are paired with the DEM's by row and column, not by position"));
  }
  return findings;
}

}  // namespace plenth::checks
