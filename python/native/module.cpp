// plenthtools._native: the tools' own routines over files, for the Python layer beside it.
// Each function checks what it is given, opens its inputs as the map's layers would, and
// runs the tool's routine without the GIL.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "com/bstr.h"
#include "com/classes.h"
#include "data/gridfile.h"
#include "gis/gis.h"
#include "gis/hugepages.h"
#include "gis/pixeltype.h"
#include "native/calls.h"
#include "native/files.h"
#include "data/layers.h"
#include "tools/effortsurface/effortsurfaceworker.h"
#include "tools/exportgrid/exportgrid.h"
#include "tools/gridspot/gridspot.h"
#include "tools/importgrid/importgrid.h"
#include "tools/lineorientation/lineorientation.h"
#include "tools/pointgrid/pointgriddlg.h"
#include "tools/polyclip/clipkernel.h"
#include "tools/polyclip/polyclip.h"

namespace plenth::python {
namespace {

namespace fs = std::filesystem;

std::vector<LONG> FidsOf(const std::optional<std::vector<std::int64_t>>& fids) {
  std::vector<LONG> out;
  if (!fids) return out;
  for (const std::int64_t fid : *fids) {
    if (fid < 0 || fid > 0x7FFFFFFF) throw py::value_error("a feature id must be a whole number from 0 to 2147483647");
    out.push_back(static_cast<LONG>(fid));
  }
  return out;
}

py::list ExportGrid(const std::string& rasterPath, const std::string& outPath, py::object progress, py::object log) {
  const std::string input = CheckedPath(rasterPath, "raster");
  const DataSource out = SplitOutput(CheckedPath(outPath, "outpath"));
  const auto raster = OpenRaster(input);
  const DataSource source = DataSourceOf(raster.get());
  LONG count = 0;
  if (const auto bands = raster.query<RasterBandCollection>()) bands->get_Count(&count);
  RequireWritableDirectory(out.directory);
  Call call(std::move(progress), std::move(log));
  int written = 0;
  {
    py::gil_scoped_release release;
    written = ExportRasterDatasetToGridFiles(source.directory.c_str(), source.name.c_str(), out.directory.c_str(),
                                             out.name.c_str(), call.progress());
    if (written) call.Report(1.0);
  }
  call.RaiseIfStopped();
  if (!written) Fail(call, "shit");
  py::list files;
  for (LONG b = 0; b < count; ++b) files.append(GridFileName(out.directory, out.name, b, count));
  return files;
}

// The raster the data library creates for an output name: the name as it is, or with
// ".tif" when it has no extension.
std::string RasterPathOf(const DataSource& out) {
  const std::string path = out.directory + out.name;
  return fs::path(out.name).has_extension() ? path : path + ".tif";
}

std::string ImportGrid(const std::string& gridPath, const std::string& outPath, py::object progress, py::object log) {
  const std::string input = CheckedPath(gridPath, "gridfile");
  const DataSource out = SplitOutput(CheckedPath(outPath, "outpath"));
  if (!fs::is_regular_file(input)) throw Error(input + ": no such file");
  RequireWritableDirectory(out.directory);
  const std::string target = RasterPathOf(out);
  if (fs::exists(target)) throw Error(target + " already exists; choose another output name");
  Call call(std::move(progress), std::move(log));
  int written = 0;
  {
    py::gil_scoped_release release;
    written = ImportGridFileToRaster(input.c_str(), out.directory.c_str(), out.name.c_str(), call.progress());
    if (written) call.Report(1.0);
  }
  call.RaiseIfStopped();
  if (!written) Fail(call, "shit");
  return target;
}

// The coordinate system of a raster or vector file, for a new shapefile to take.
com::ComPtr<SpatialReference> ReferenceOfFile(const std::string& path) {
  std::string wkt;
  Require(checks::CoordinateSystemOf(path, &wkt));
  return gis::SpatialReferenceFromWkt(wkt);
}

com::ComPtr<FeatureWorkspace> ShapefileWorkspace(const std::string& directory) {
  const auto factory = com::CreateInstance<WorkspaceFactory>(CLSID_ShapefileWorkspaceFactory);
  com::ComPtr<Workspace> workspace;
  if (factory) factory->OpenFromFile(com::BStr(directory).get(), 0, workspace.put());
  const auto features = workspace.query<FeatureWorkspace>();
  if (!features)
    throw Error("The folder " + directory + " cannot be opened for shapefiles. No shapefile was created.");
  return features;
}

std::string PointGrid(const std::string& outPath, double west, double east, double north, double south,
                      std::optional<double> spacing, std::optional<std::int64_t> count,
                      std::optional<std::int64_t> seed, std::optional<std::string> crsOf,
                      std::optional<std::string> crs, py::object progress) {
  const DataSource out = SplitOutput(CheckedPath(outPath, "output"));
  if (!(west < east)) throw py::value_error("the west bound must lie west of the east bound");
  if (!(south < north)) throw py::value_error("the south bound must lie south of the north bound");
  if (spacing.has_value() == count.has_value()) throw py::value_error("give either spacing or count");
  PointGridPoints points{{west, south, east, north}};
  points.regular = spacing.has_value();
  if (spacing) {
    if (!GridStepAdvances(points.area, *spacing))
      throw py::value_error("The distance between points must be a number greater than 0 that is not lost against "
                            "the bounds. No shapefile was created.");
    points.spacing = *spacing;
  } else {
    if (*count < 0) throw py::value_error("the number of points must not be negative");
    points.count = *count;
    // The module's generator takes the current second as its seed, or the seed given.
    points.seed = static_cast<std::uint32_t>(seed ? *seed : static_cast<std::int64_t>(std::time(nullptr)));
  }
  if (crsOf && crs) throw py::value_error("give either crs_of or crs");
  com::ComPtr<SpatialReference> reference;
  if (crsOf) reference = ReferenceOfFile(CheckedPath(*crsOf, "crs_of"));
  if (crs) {
    reference = gis::SpatialReferenceFromWkt(*crs);
    if (!reference) throw py::value_error("crs is not a coordinate system in WKT");
  }
  RequireWritableDirectory(out.directory);
  const std::string target = ShapefilePath(out);
  if (fs::exists(target)) throw Error(target + " already exists; choose another output name");
  const auto workspace = ShapefileWorkspace(out.directory);
  Call call(std::move(progress), py::none());
  com::ComPtr<FeatureClass> written;
  {
    py::gil_scoped_release release;
    written = WritePointShapefile(workspace.get(), out.name, reference.get(), points, call.progress());
    if (written) call.Report(1.0);
    written.reset();  // the shapefile is whole on disk once it is let go
    if (call.stopped()) RemoveShapefile(target);
  }
  call.RaiseIfStopped();
  if (!fs::exists(target)) throw Error(target + " was not written");
  return target;
}

std::string LineOrientation(const std::string& linesPath, const std::string& outPath, py::object progress) {
  const std::string input = CheckedPath(linesPath, "lines");
  const DataSource out = SplitOutput(CheckedPath(outPath, "output"));
  const auto lines = OpenShapefile(input);
  LONG shapeType = 0;
  lines->get_ShapeType(&shapeType);
  if (shapeType != kGeometryPolyline && shapeType != kGeometryLine) throw Error(input + " is not a layer of lines");
  const DataSource source = DataSourceOf(lines.get());
  RequireWritableDirectory(out.directory);
  const std::string target = ShapefilePath(out);
  if (fs::exists(target))
    throw Error(target + " exists; the tool never writes over an output (choose another name)");
  Call call(std::move(progress), py::none());
  HRESULT hr = S_OK;
  {
    py::gil_scoped_release release;
    hr = BuildOrientationShapefile(source.directory.c_str(), source.name.c_str(), out.directory.c_str(),
                                   out.name.c_str(), call.progress());
    if (SUCCEEDED(hr)) call.Report(1.0);
    // What a run that did not end began to write is taken away: it would look like a result.
    if (FAILED(hr) || call.stopped()) RemoveShapefile(target);
  }
  call.RaiseIfStopped();
  if (FAILED(hr)) Fail(call, "the tool wrote no output " + target);
  return target;
}

[[noreturn]] void FailClip(ClipEnd end, RasterDataset* raster, const std::string& rasterPath,
                           const std::string& polygonsPath) {
  switch (end) {
    case ClipEnd::RealCells: {
      LONG type = 0;
      com::ComPtr<RasterBand> band;
      if (const auto bands = com::ComPtr<RasterDataset>(raster).query<RasterBandCollection>()) bands->Item(0, band.put());
      if (const auto props = band.query<RasterProps>()) props->get_PixelType(&type);
      throw Error(rasterPath + " holds cells of type " + (PixelTypeName(type) ? PixelTypeName(type) : "unknown") +
                  "; classes need an integer raster (8, 16 or 32 bits)");
    }
    case ClipEnd::TooManyClasses: throw Error(checks::TooManyClasses(rasterPath));
    case ClipEnd::NotPolygons: throw Error(polygonsPath + " is not a layer of polygons");
    case ClipEnd::RasterUnreadable: throw Error(rasterPath + ": the raster's cells cannot be read");
    case ClipEnd::OtherClasses:
      throw Error(rasterPath + " has a value that is not among the classes given for it (see raster_classes)");
    default: throw Error(polygonsPath + ": the class columns or the polygons cannot be opened");
  }
}

py::list RasterClassValues(const std::string& rasterPath) {
  const std::string rasterInput = CheckedPath(rasterPath, "raster");
  const auto raster = OpenRaster(rasterInput);
  Require(checks::ClassRaster(rasterInput));
  std::vector<std::int32_t> classes;
  ClipEnd end = ClipEnd::Done;
  {
    py::gil_scoped_release release;
    end = RasterClasses(raster.get(), &classes);
  }
  if (end != ClipEnd::Done) FailClip(end, raster.get(), rasterInput, "");
  return py::cast(classes);
}

py::tuple ClassCounts(const std::string& polygonsPath, const std::string& rasterPath, const std::string& prefix,
                      const std::optional<std::vector<std::int64_t>>& fids,
                      const std::optional<std::vector<std::int64_t>>& classes, py::object progress) {
  const std::string polygonsInput = CheckedPath(polygonsPath, "polygons");
  const std::string rasterInput = CheckedPath(rasterPath, "raster");
  const auto polygons = OpenShapefile(polygonsInput);
  const auto raster = OpenRaster(rasterInput);
  const std::vector<LONG> wanted = FidsOf(fids);
  std::vector<std::int32_t> given;
  if (classes) {
    for (const std::int64_t value : *classes) {
      if (value < INT32_MIN || value > INT32_MAX) throw py::value_error("a class value must fit in 32 bits");
      given.push_back(static_cast<std::int32_t>(value));
    }
  }
  Call call(std::move(progress), py::none());
  ClipCounts counts;
  ClipEnd end = ClipEnd::Done;
  {
    py::gil_scoped_release release;
    end = CountClipClasses(raster.get(), polygons.get(), prefix.c_str(), wanted, &counts, call.progress(),
                           classes ? &given : nullptr);
    if (end == ClipEnd::Done) call.Report(1.0);
  }
  call.RaiseIfStopped();
  if (end != ClipEnd::Done) FailClip(end, raster.get(), rasterInput, polygonsInput);
  py::list rows;
  for (const auto& [fid, values] : counts.polygons) rows.append(py::make_tuple(fid, py::cast(values)));
  return py::make_tuple(py::cast(counts.classes), py::cast(counts.columns), rows);
}

// The copy of an input that a tool is to update, opened; taken away when it cannot be.
com::ComPtr<FeatureClass> OpenCopy(UpdatedShapefile& table) {
  try {
    return OpenShapefile(table.path());
  } catch (...) {
    table.Undo();
    throw;
  }
}

// Counts given as {fid: {column: count}}, as each class's column of `classes` takes them.
std::map<LONG, std::vector<std::int64_t>> GivenCounts(const py::dict& given, const std::string& prefix,
                                                      const std::vector<std::int32_t>& classes) {
  std::map<LONG, std::vector<std::int64_t>> counts;
  for (const auto& [key, value] : given) {
    const std::vector<LONG> fid = FidsOf(std::vector<std::int64_t>{py::cast<std::int64_t>(key)});
    if (!py::isinstance<py::dict>(value)) throw py::type_error("counts must map feature ids to {column: count}");
    const auto columns = py::reinterpret_borrow<py::dict>(value);
    if (columns.size() != classes.size())
      throw py::value_error("the counts of feature " + std::to_string(fid[0]) + " are not one per class column");
    std::vector<std::int64_t>& row = counts[fid[0]];
    for (const std::int32_t c : classes) {
      const std::string column = ClipColumnName(prefix.c_str(), c);
      if (!columns.contains(column))
        throw py::value_error("the counts of feature " + std::to_string(fid[0]) + " have no column " + column);
      row.push_back(py::cast<std::int64_t>(columns[py::str(column)]));
    }
  }
  return counts;
}

std::string WriteClassCounts(const std::string& polygonsPath, const std::string& rasterPath, const std::string& prefix,
                             const std::optional<std::string>& output, const std::optional<py::dict>& givenCounts,
                             const std::optional<std::vector<std::int64_t>>& givenClasses, py::object progress) {
  const std::string polygonsInput = CheckedPath(polygonsPath, "polygons");
  const std::string rasterInput = CheckedPath(rasterPath, "raster");
  auto polygons = OpenShapefile(polygonsInput);
  const auto raster = OpenRaster(rasterInput);
  // Counts made elsewhere go in with the classes of the raster they were made on.
  std::vector<std::int32_t> classes;
  std::map<LONG, std::vector<std::int64_t>> counts;
  if (givenCounts) {
    if (givenClasses) {
      for (const std::int64_t value : *givenClasses) {
        if (value < INT32_MIN || value > INT32_MAX) throw py::value_error("a class value must fit in 32 bits");
        classes.push_back(static_cast<std::int32_t>(value));
      }
      if (classes.size() >= clip::ClassTable::kCapacity) throw Error(checks::TooManyClasses(rasterInput));
    } else {
      ClipEnd end = ClipEnd::Done;
      {
        py::gil_scoped_release release;
        end = RasterClasses(raster.get(), &classes);
      }
      if (end != ClipEnd::Done) FailClip(end, raster.get(), rasterInput, polygonsInput);
    }
    counts = GivenCounts(*givenCounts, prefix, classes);
  }
  UpdatedShapefile table(polygonsInput, output);
  if (output) polygons = OpenCopy(table);
  Call call(std::move(progress), py::none());
  ClipEnd end = ClipEnd::Done;
  {
    py::gil_scoped_release release;
    end = givenCounts ? WriteClipCounts(polygons.get(), prefix.c_str(), classes, counts, call.progress())
                      : ClipStatistics(raster.get(), polygons.get(), prefix.c_str(), call.progress());
    if (end == ClipEnd::Done) call.Report(1.0);
    polygons.reset();  // the table let go, whole on disk
    if (end != ClipEnd::Done || call.stopped()) table.Undo();
  }
  call.RaiseIfStopped();
  if (end != ClipEnd::Done) FailClip(end, raster.get(), rasterInput, polygonsInput);
  return table.path();
}

[[noreturn]] void FailSample(SampleEnd end, const std::string& rasterPath, const std::string& pointsPath) {
  switch (end) {
    case SampleEnd::NoReference:
      throw Error(rasterPath + " has no coordinate system; the tool needs one to place the points");
    case SampleEnd::NotPoints: throw Error(pointsPath + " is not a layer of points");
    default: throw Error(pointsPath + ": the field or the points cannot be opened");
  }
}

IdentifyAt IdentifyIn(RasterDataset* raster) {
  return [raster](Point* point, IdentifyResults** results) { return gis::IdentifyRaster(raster, point, results); };
}

py::list SampleRasterValues(const std::string& pointsPath, const std::string& rasterPath,
                            const std::optional<std::vector<std::int64_t>>& fids, py::object progress) {
  const std::string pointsInput = CheckedPath(pointsPath, "points");
  const std::string rasterInput = CheckedPath(rasterPath, "raster");
  const auto points = OpenShapefile(pointsInput);
  const auto raster = OpenRaster(rasterInput);
  const std::vector<LONG> wanted = FidsOf(fids);
  Call call(std::move(progress), py::none());
  std::vector<std::pair<LONG, com::Variant>> values;
  SampleEnd end = SampleEnd::Done;
  {
    py::gil_scoped_release release;
    end = SampleValues(raster.get(), IdentifyIn(raster.get()), points.get(), wanted, &values, call.progress());
    if (end == SampleEnd::Done) call.Report(1.0);
  }
  call.RaiseIfStopped();
  if (end != SampleEnd::Done) FailSample(end, rasterInput, pointsInput);
  py::list rows;
  for (const auto& [fid, value] : values) {
    py::object v = py::none();
    double real = 0;
    std::int32_t whole = 0;
    if (value.vt() == VT_R8 && SUCCEEDED(value.ToDouble(&real))) v = py::float_(real);
    else if (value.vt() == VT_I4 && SUCCEEDED(value.ToInt32(&whole))) v = py::int_(whole);
    rows.append(py::make_tuple(fid, v));
  }
  return rows;
}

// Values given as {fid: value}: a float as a double, an int as a 32-bit integer, None as
// nothing to write.
std::map<LONG, com::Variant> GivenValues(const py::dict& given) {
  std::map<LONG, com::Variant> values;
  for (const auto& [key, value] : given) {
    const LONG fid = FidsOf(std::vector<std::int64_t>{py::cast<std::int64_t>(key)})[0];
    if (value.is_none()) values.emplace(fid, com::Variant());
    else if (py::isinstance<py::float_>(value)) values.emplace(fid, com::Variant::R8(py::cast<double>(value)));
    else if (py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value)) {
      const auto whole = py::cast<std::int64_t>(value);
      if (whole < INT32_MIN || whole > INT32_MAX) throw py::value_error("a value must fit in 32 bits");
      values.emplace(fid, com::Variant::I4(static_cast<std::int32_t>(whole)));
    } else
      throw py::type_error("values must map feature ids to a float, an int or None");
  }
  return values;
}

std::string WriteSamples(const std::string& pointsPath, const std::string& rasterPath, const std::string& field,
                         const std::optional<std::string>& output, const std::optional<py::dict>& givenValues,
                         py::object progress) {
  const std::string pointsInput = CheckedPath(pointsPath, "points");
  const std::string rasterInput = CheckedPath(rasterPath, "raster");
  if (field.empty()) throw py::value_error("the field name is empty");
  if (field.find('\0') != std::string::npos) throw py::value_error("field: embedded null character");
  Require(checks::GridSpotField(pointsInput, field));
  auto points = OpenShapefile(pointsInput);
  const auto raster = OpenRaster(rasterInput);
  std::map<LONG, com::Variant> values;
  if (givenValues) values = GivenValues(*givenValues);
  UpdatedShapefile table(pointsInput, output);
  if (output) points = OpenCopy(table);
  Call call(std::move(progress), py::none());
  SampleEnd end = SampleEnd::Done;
  {
    py::gil_scoped_release release;
    end = givenValues
              ? WriteSampleValues(raster.get(), points.get(), field.c_str(), values, call.progress())
              : SampleRaster(raster.get(), IdentifyIn(raster.get()), points.get(), field.c_str(), call.progress());
    if (end == SampleEnd::Done) call.Report(1.0);
    points.reset();  // the table let go, whole on disk
    if (end != SampleEnd::Done || call.stopped()) table.Undo();
  }
  call.RaiseIfStopped();
  if (end == SampleEnd::Failed) throw Error("the tool wrote no field " + field + " to " + pointsInput);
  if (end != SampleEnd::Done) FailSample(end, rasterInput, pointsInput);
  return table.path();
}

// The run the effort surface's dialog would set up for these rasters: each input as a
// layer names its data source, the DEM's grid, and the output.
struct EffortSetup {
  EffortJob job;
  std::string written;  // the raster the run writes
};

EffortSetup SetUpEffort(const std::string& demPath, const std::string& trailsPath, const std::string& roadsPath,
                        const std::string& streamsPath, const std::string& coverPath, const DataSource& out) {
  const auto source = [](const std::string& path, const char* what) {
    const DataSource data = DataSourceOf(OpenRaster(CheckedPath(path, what)).get());
    return EffortJob::Source{data.directory, data.name};
  };
  EffortSetup setup;
  EffortJob& job = setup.job;
  job.dem = source(demPath, "dem");
  job.trails = source(trailsPath, "trails");
  source(roadsPath, "roads");  // required, as in the dialog, but not read
  job.streams = source(streamsPath, "streams");
  job.groundCover = source(coverPath, "cover");
  std::vector<char> name(job.dem.name.begin(), job.dem.name.end()), directory(job.dem.directory.begin(),
                                                                             job.dem.directory.end());
  name.push_back(0);
  directory.push_back(0);
  RasterGeometry geometry;
  if (!ReadRasterGeometry(nullptr, "", {name.data(), name.size(), directory.data(), directory.size()}, &geometry))
    throw Error(demPath + ": the DEM's grid cannot be read");
  job.columns = geometry.columns;
  job.rows = geometry.rows;
  // As the dialog stores them: the cell size the costs take in single precision, the
  // cells' width and height on the map as they are.
  job.cellSize = static_cast<float>(geometry.cellSize);
  job.cellWidth = geometry.cellSize;
  job.cellHeight = geometry.cellSizeY;
  job.spatialReference = geometry.spatialReference;
  job.lowerLeft = geometry.lowerLeft;
  job.outputDirectory = out.directory;
  job.outputName = out.name;
  setup.written = RasterPathOf(out);
  return setup;
}

// Rows [first, end) of a grid of `rows` rows, or all of them.
std::pair<std::int64_t, std::int64_t> RowsOf(const std::optional<std::pair<std::int64_t, std::int64_t>>& asked,
                                             std::int64_t rows) {
  if (!asked) return {0, rows};
  const auto [first, end] = *asked;
  if (first < 0 || end > rows || first >= end)
    throw py::value_error("rows must be (first, end) with 0 <= first < end <= " + std::to_string(rows) +
                          ", the DEM's rows");
  return {first, end};
}

std::string EffortSurfaceFile(const std::string& dem, const std::string& trails, const std::string& roads,
                              const std::string& streams, const std::string& cover, const std::string& outPath,
                              const std::optional<std::pair<std::int64_t, std::int64_t>>& rows, py::object progress,
                              py::object log) {
  const DataSource out = SplitOutput(CheckedPath(outPath, "output"));
  Call call(std::move(progress), std::move(log));
  const EffortSetup setup = SetUpEffort(dem, trails, roads, streams, cover, out);
  const auto [first, end] = RowsOf(rows, setup.job.rows);
  RequireWritableDirectory(out.directory);
  if (fs::exists(setup.written)) throw Error(setup.written + " exists already; the run will not write over it");
  EffortRunHooks hooks;
  hooks.openLog = !rows;  // the log beside a whole surface, as the tool writes it
  hooks.firstRow = first;
  hooks.endRow = end;
  hooks.removeUnfinished = true;
  hooks.mark = [&call, first, end](std::int64_t row) {
    return call.Report(static_cast<double>(row - first) / static_cast<double>(end - first));
  };
  int written = 0;
  {
    py::gil_scoped_release release;
    const std::atomic<bool> stop{false};
    written = RunEffortSurface(setup.job, stop, {}, hooks);
    if (written) call.Report(1.0);
  }
  call.RaiseIfStopped();
  if (!written) Fail(call, "the effort surface was not written");
  return setup.written;
}

py::tuple EffortBands(const std::string& dem, const std::string& trails, const std::string& roads,
                      const std::string& streams, const std::string& cover,
                      const std::optional<std::pair<std::int64_t, std::int64_t>>& rows, int threads,
                      py::object progress, py::object log) {
  if (threads < 0) throw py::value_error("threads must be 0 (as many as there are cores) or more");
  Call call(std::move(progress), std::move(log));
  const EffortSetup setup = SetUpEffort(dem, trails, roads, streams, cover, {"./", "(none)"});
  const auto [first, end] = RowsOf(rows, setup.job.rows);
  const auto columns = static_cast<std::size_t>(setup.job.columns);
  const std::size_t bandCells = static_cast<std::size_t>(end - first) * columns;
  py::object cells = py::reinterpret_steal<py::object>(
      PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(4 * bandCells * sizeof(float))));
  if (!cells) throw py::error_already_set();
  float* const bands = reinterpret_cast<float*>(PyByteArray_AS_STRING(cells.ptr()));
  gis::AdviseHugePages(bands, 4 * bandCells * sizeof(float));
  EffortRunHooks hooks;
  hooks.openLog = false;
  hooks.firstRow = first;
  hooks.endRow = end;
  hooks.mark = [&call, first, end](std::int64_t row) {
    return call.Report(static_cast<double>(row - first) / static_cast<double>(end - first));
  };
  hooks.place = [&](std::int64_t top, std::int64_t, float* strip[4]) {
    const std::size_t offset = static_cast<std::size_t>(top - first) * columns;
    for (std::size_t b = 0; b < 4; ++b) strip[b] = bands + b * bandCells + offset;
    return true;
  };
  int computed = 0;
  {
    py::gil_scoped_release release;
    const std::atomic<bool> stop{false};
    computed = RunEffortSurface(setup.job, stop, {.threads = threads}, hooks);
    if (computed) call.Report(1.0);
  }
  call.RaiseIfStopped();
  if (!computed) Fail(call, "the effort surface was not computed");
  return py::make_tuple(cells, end - first, setup.job.columns);
}

// Whether a buffer's format is single-precision reals as this machine holds them: "f",
// with or without a mark of the native order ("@", "=", or the order's own "<" or ">").
bool NativeFloats(std::string format) {
  const char own = std::endian::native == std::endian::little ? '<' : '>';
  if (!format.empty() && (format[0] == '@' || format[0] == '=' || format[0] == own)) format.erase(0, 1);
  return format == "f";
}

// Copies rows the Python side gives for a strip of the surface into the strip's four
// bands: one float32 array of shape (4, rows, columns), or a sequence of them whose rows
// follow each other. A TypeError or ValueError for anything else.
void CopyGivenBands(const py::handle given, std::int64_t rows, std::int64_t columns, float* const bands[4]) {
  std::vector<py::object> pieces;
  if (PyObject_CheckBuffer(given.ptr())) pieces.push_back(py::reinterpret_borrow<py::object>(given));
  else if (py::isinstance<py::sequence>(given) && !py::isinstance<py::str>(given))
    for (const py::handle piece : py::reinterpret_borrow<py::sequence>(given)) pieces.push_back(py::reinterpret_borrow<py::object>(piece));
  else
    throw py::type_error("bands must give a float32 array of shape (4, rows, columns) or a list of them");
  std::int64_t done = 0;
  for (const py::object& piece : pieces) {
    if (!PyObject_CheckBuffer(piece.ptr()))
      throw py::type_error("bands must give a float32 array of shape (4, rows, columns) or a list of them");
    const py::buffer_info info = py::reinterpret_borrow<py::buffer>(piece).request();
    if (info.itemsize != sizeof(float) || !NativeFloats(info.format))
      throw py::type_error("bands must give float32 cells in this machine's byte order, not " + info.format);
    if (info.ndim != 3 || info.shape[0] != 4 || info.shape[2] != columns || info.strides[2] != sizeof(float))
      throw py::value_error("bands must give arrays of shape (4, rows, " + std::to_string(columns) +
                            ") with their rows' cells side by side");
    const std::int64_t n = info.shape[1];
    if (n > rows - done)
      throw py::value_error("bands gave more than the " + std::to_string(rows) + " rows asked for");
    for (std::size_t b = 0; b < 4; ++b)
      for (std::int64_t r = 0; r < n; ++r)
        std::memcpy(bands[b] + static_cast<std::size_t>((done + r) * columns),
                    static_cast<const char*>(info.ptr) + static_cast<std::ptrdiff_t>(b) * info.strides[0] +
                        static_cast<std::ptrdiff_t>(r) * info.strides[1],
                    static_cast<std::size_t>(columns) * sizeof(float));
    done += n;
  }
  if (done != rows)
    throw py::value_error("bands gave " + std::to_string(done) + " rows where " + std::to_string(rows) +
                          " were asked for");
}

std::string WriteEffortBands(const std::string& dem, const std::string& trails, const std::string& roads,
                             const std::string& streams, const std::string& cover, const std::string& outPath,
                             py::object given, py::object progress) {
  if (!PyCallable_Check(given.ptr())) throw py::type_error("bands must be callable");
  const DataSource out = SplitOutput(CheckedPath(outPath, "output"));
  Call call(std::move(progress), py::none());
  const EffortSetup setup = SetUpEffort(dem, trails, roads, streams, cover, out);
  RequireWritableDirectory(out.directory);
  if (fs::exists(setup.written)) throw Error(setup.written + " exists already; the run will not write over it");
  const std::int64_t rows = setup.job.rows, columns = setup.job.columns;
  std::optional<py::error_already_set> failure;
  EffortRunHooks hooks;
  hooks.openLog = false;
  hooks.removeUnfinished = true;
  hooks.fill = [&](std::int64_t first, std::int64_t count, float* const bands[4]) {
    {
      py::gil_scoped_acquire gil;
      try {
        CopyGivenBands(given(first, first + count), count, columns, bands);
      } catch (py::error_already_set& e) {
        failure.emplace(std::move(e));
        return false;
      } catch (const py::builtin_exception& e) {
        e.set_error();
        failure.emplace();
        return false;
      }
    }
    return call.Report(static_cast<double>(first + count) / static_cast<double>(rows));
  };
  int written = 0;
  {
    py::gil_scoped_release release;
    const std::atomic<bool> stop{false};
    written = RunEffortSurface(setup.job, stop, {}, hooks);
  }
  if (failure) throw std::move(*failure);
  call.RaiseIfStopped();
  if (!written) Fail(call, "the effort surface was not written");
  return setup.written;
}

// The findings of plenth's checks as (kind, text) pairs, kind "error", "warning" or "note".
py::list FindingsOf(const checks::Findings& findings) {
  py::list out;
  for (const checks::Finding& f : findings) {
    const char* kind = f.kind == checks::Finding::Kind::Error     ? "error"
                       : f.kind == checks::Finding::Kind::Warning ? "warning"
                                                                  : "note";
    out.append(py::make_tuple(kind, f.text));
  }
  return out;
}

// The files a run reads, each of which must be there, as plenth says before its checks.
checks::Findings Missing(std::initializer_list<std::pair<const std::string*, const char*>> inputs) {
  for (const auto& [path, what] : inputs)
    if (!fs::exists(CheckedPath(*path, what))) return {{checks::Finding::Kind::Error, *path + ": no such file"}};
  return {};
}

py::list CheckClassCounts(const std::string& polygons, const std::string& raster, bool force) {
  if (auto missing = Missing({{&polygons, "polygons"}, {&raster, "raster"}}); !missing.empty()) return FindingsOf(missing);
  // The tool counts where the polygons' numbers fall on the raster, whatever their
  // coordinate system: another one is a warning in a forced run, else an error.
  return FindingsOf(checks::PolyClipInputs(polygons, raster, force));
}

py::list CheckSamples(const std::string& points, const std::string& raster, const std::optional<std::string>& field) {
  if (auto missing = Missing({{&points, "points"}, {&raster, "raster"}}); !missing.empty()) return FindingsOf(missing);
  checks::Findings findings = checks::GridSpotInputs(points, raster);
  if (field && !checks::FirstError(findings)) {
    const checks::Findings named = checks::GridSpotField(points, CheckedPath(*field, "field"));
    findings.insert(findings.end(), named.begin(), named.end());
  }
  return FindingsOf(findings);
}

py::list CheckLineOrientation(const std::string& lines) {
  if (auto missing = Missing({{&lines, "lines"}}); !missing.empty()) return FindingsOf(missing);
  return FindingsOf(checks::LineOrientationInputs(lines));
}

py::list CheckEffortSurface(const std::string& dem, const std::string& trails, const std::string& streams,
                            const std::string& cover) {
  if (auto missing = Missing({{&dem, "dem"}, {&trails, "trails"}, {&streams, "streams"}, {&cover, "cover"}});
      !missing.empty())
    return FindingsOf(missing);
  return FindingsOf(checks::EffortSurfaceInputs(dem, trails, streams, cover));
}

}  // namespace
}  // namespace plenth::python

PYBIND11_MODULE(_native, m) {
  using namespace plenth::python;
  m.doc() = "PlenthTools' own routines over files; use them through the plenthtools package.";
  m.attr("version") = PLENTH_VERSION;
  gis::Initialize();

  const auto error = py::register_exception<Error>(m, "Error");
  py::register_exception<Cancelled>(m, "Cancelled", error.ptr());

  using py::arg;
  m.def("export_grid", &ExportGrid, arg("raster"), arg("outpath"), arg("progress"), arg("log"));
  m.def("import_grid", &ImportGrid, arg("gridfile"), arg("outpath"), arg("progress"), arg("log"));
  m.def("point_grid", &PointGrid, arg("output"), arg("west"), arg("east"), arg("north"), arg("south"),
        arg("spacing").none(true), arg("count").none(true), arg("seed").none(true), arg("crs_of").none(true),
        arg("crs").none(true), arg("progress"));
  m.def("line_orientation", &LineOrientation, arg("lines"), arg("output"), arg("progress"));
  m.def("raster_classes", &RasterClassValues, arg("raster"));
  m.def("class_counts", &ClassCounts, arg("polygons"), arg("raster"), arg("prefix"), arg("fids").none(true),
        arg("classes").none(true), arg("progress"));
  m.def("write_class_counts", &WriteClassCounts, arg("polygons"), arg("raster"), arg("prefix"),
        arg("output").none(true), arg("counts").none(true), arg("classes").none(true), arg("progress"));
  m.def("sample_raster", &SampleRasterValues, arg("points"), arg("raster"), arg("fids").none(true), arg("progress"));
  m.def("effort_surface", &EffortSurfaceFile, arg("dem"), arg("trails"), arg("roads"), arg("streams"), arg("cover"),
        arg("output"), arg("rows").none(true), arg("progress"), arg("log"));
  m.def("effort_bands", &EffortBands, arg("dem"), arg("trails"), arg("roads"), arg("streams"), arg("cover"),
        arg("rows").none(true), arg("threads"), arg("progress"), arg("log"));
  m.def("write_effort_bands", &WriteEffortBands, arg("dem"), arg("trails"), arg("roads"), arg("streams"),
        arg("cover"), arg("output"), arg("bands"), arg("progress"));
  m.def("check_class_counts", &CheckClassCounts, arg("polygons"), arg("raster"), arg("force"));
  m.def("check_samples", &CheckSamples, arg("points"), arg("raster"), arg("field").none(true));
  m.def("check_line_orientation", &CheckLineOrientation, arg("lines"));
  m.def("check_effort_surface", &CheckEffortSurface, arg("dem"), arg("trails"), arg("streams"), arg("cover"));
  m.def("write_samples", &WriteSamples, arg("points"), arg("raster"), arg("field"), arg("output").none(true),
        arg("values").none(true), arg("progress"));
}
