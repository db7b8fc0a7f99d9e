#include "apps/plenth/vectorcommands.h"

#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <strings.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "apps/plenth/hostrun.h"
#include "com/bstr.h"
#include "com/utf8.h"
#include "gis/gis.h"
#include "resources/resource.h"
#include "tools/polyclip/clipkernel.h"
#include "ui/window.h"

namespace plenth::cli {

namespace fs = std::filesystem;
namespace ua = ui::automation;

namespace {

// A file a tool has written or changed, as OGR sees it now.
checks::VectorFile OpenVector(const LayerArg& arg) {
  checks::VectorFile v = checks::OpenVector(arg.path);
  if (!v.layer) throw RunError(arg.path + ": not a vector file");
  return v;
}

// The first band of a raster as the tools see it through the data library: its cell type
// and its cells, rows from the north whatever order the file keeps them in.
struct LibraryBand {
  com::ComPtr<RasterProps> props;
  com::ComPtr<RawPixels> pixels;
  LONG pixelType = PT_UNKNOWN;
};

LibraryBand OpenLibraryBand(const std::string& path) {
  LibraryBand out;
  com::ComPtr<RasterBand> band;
  if (const auto bands = gis::OpenRasterFile(path).query<RasterBandCollection>()) bands->Item(0, band.put());
  out.props = band.query<RasterProps>();
  out.pixels = band.query<RawPixels>();
  if (!out.props || !out.pixels || FAILED(out.props->get_PixelType(&out.pixelType)))
    throw RunError(path + ": the data library cannot read its first band");
  return out;
}

// The classes the tool finds in the raster's first band, read as the tool reads them
// (the table is full when it met a 40th distinct value).
clip::ClassTable ClassesOf(const std::string& path) {
  const LibraryBand band = OpenLibraryBand(path);
  LONG width = 0, height = 0;
  if (FAILED(band.props->get_Width(&width)) || FAILED(band.props->get_Height(&height)))
    throw RunError("cannot read the raster's cells");
  const LONG rowsPerStrip = std::max<LONG>(1, 1000000 / std::max<LONG>(width, 1));
  com::ComPtr<PixelBlock> block;
  band.pixels->CreatePixelBlock(gis::MakeXYPair(width, rowsPerStrip).get(), block.put());
  if (!block) throw RunError("cannot read the raster's cells");
  std::vector<std::int32_t> values(static_cast<std::size_t>(width) * static_cast<std::size_t>(rowsPerStrip));
  std::vector<std::uint8_t> classOf(values.size());
  clip::ClassTable table;
  for (LONG top = 0; top < height && !table.full(); top += rowsPerStrip) {
    com::ComPtr<CellArray> cells;
    void* data = nullptr;
    if (FAILED(band.pixels->Read(gis::MakeXYPair(0, top).get(), block.get())) ||
        FAILED(block->GetPlane(0, cells.put())) || FAILED(cells->Data(&data)))
      throw RunError("cannot read the raster's cells");
    // The last strip may reach past the last row; only the raster's own rows count.
    const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(std::min(rowsPerStrip, height - top));
    clip::ToClassValues(band.pixelType, data, count, values.data());
    table.Classify(values.data(), count, classOf.data());
  }
  return table;
}

// Runs a modeless command: clicks it, then `person` acts in the dialog with this caption.
void ClickModeless(HostRun& host, const std::string& command, const char* caption,
                   const std::function<void(HWND)>& person) {
  // A status text per feature would flood the terminal: only the last one is shown.
  host.host().app().statusBar().onMessage = nullptr;
  host.Click(command, [](HWND) {});
  const HWND dialog = ua::FindWindowByCaption(caption);
  if (!dialog) throw RunError(command + " opened no dialog");
  person(dialog);
  ua::PumpPending();
}

// Shows the status text the run left behind and closes the host, which closes the files
// its layers hold: what the tool wrote is then all on disk.
void CloseHost(std::unique_ptr<HostRun>& host, std::ostream& out) {
  const std::string status = host->host().app().statusBar().Text(0);
  if (!status.empty()) out << "status 0: " << status << "\n";
  host.reset();
}

// The directory part of a typed path, separator included, as the dialogs split it.
std::string DirectoryPart(const std::string& path) {
  const auto at = path.find_last_of("/\\:");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

}  // namespace

std::string PolyClip(const GridRun& run, const PolyClipArgs& args, std::ostream& out) {
  const LayerArg polygons = ParseLayerArg(args.polygons), raster = ParseLayerArg(args.raster);
  auto host = std::make_unique<HostRun>(run.modulePath, out);
  host->AddLayer(polygons);
  host->AddLayer(raster);
  if (!run.mapFile.empty()) host->AddMap(run.mapFile);

  // What would make the run change nothing, or count in the wrong place.
  Require(checks::PolyClipInputs(polygons.path, raster.path, args.force), out);

  const std::string prefix(com::CutUtf8(args.prefix, 5));
  if (prefix != args.prefix) out << "the prefix is cut to 5 characters: " << prefix << "\n";
  ClickModeless(*host, "PlenthTools_PolyClip", "Poly Clip Statistics", [&](HWND dialog) {
    Must(ua::Type(GetDlgItem(dialog, IDC_POLYCLIP_POLYGONS), polygons.name), "type the polygon layer");
    Must(ua::Type(GetDlgItem(dialog, IDC_POLYCLIP_RASTER), raster.name), "type the raster layer");
    Must(ua::Type(GetDlgItem(dialog, IDC_POLYCLIP_PREFIX), args.prefix), "type the column prefix");
    Must(ua::Click(dialog, IDOK), "press OK");
  });
  CloseHost(host, out);

  // What was written: the classes' columns as the table now has them.
  const clip::ClassTable classes = ClassesOf(raster.path);
  if (classes.full()) throw RunError(checks::TooManyClasses(raster.path));
  const checks::VectorFile after = OpenVector(polygons);
  std::vector<std::string> written, refused;
  for (int c = 0; c < classes.count(); ++c) {
    const std::string name = prefix + std::to_string(classes.value(c));
    (after.layer->GetLayerDefn()->GetFieldIndex(name.c_str()) >= 0 ? written : refused).push_back(name);
  }
  GIntBig shaped = 0;
  for (auto& feature : *after.layer) shaped += feature->GetGeometryRef() != nullptr;
  if (!refused.empty()) {
    out << "not written (a shapefile column name holds at most 10 characters):";
    for (const auto& name : refused) out << " " << name;
    out << "\n";
  }
  if (written.empty()) throw RunError("no class column was written");
  std::string list;
  for (const auto& name : written) list += (list.empty() ? "" : ", ") + name;
  return std::to_string(written.size()) + " class columns written to " + std::to_string(shaped) + " polygons (" +
         list + ")";
}

std::string GridSpot(const GridRun& run, const GridSpotArgs& args, std::ostream& out) {
  const LayerArg points = ParseLayerArg(args.points), raster = ParseLayerArg(args.raster);
  auto host = std::make_unique<HostRun>(run.modulePath, out);
  host->AddLayer(points);
  host->AddLayer(raster);
  if (!run.mapFile.empty()) host->AddMap(run.mapFile);

  checks::Records records;
  Require(checks::GridSpotInputs(points.path, raster.path, &records), out);
  const std::string field(com::CutUtf8(args.field, 5));
  if (field.empty()) throw RunError("the field name is empty");
  if (field != args.field) out << "the field name is cut to 5 characters: " << field << "\n";
  Require(checks::GridSpotField(points.path, field), out);

  ClickModeless(*host, "PlenthTools_GridSpot", "Grid Spot Emulator", [&](HWND dialog) {
    Must(ua::Type(GetDlgItem(dialog, IDC_GRIDSPOT_POINTS), points.name), "type the point layer");
    Must(ua::Type(GetDlgItem(dialog, IDC_GRIDSPOT_RASTER), raster.name), "type the raster layer");
    Must(ua::Type(GetDlgItem(dialog, IDC_GRIDSPOT_FIELD), args.field), "type the field name");
    Must(ua::Click(dialog, IDOK), "press OK");
  });
  CloseHost(host, out);

  const checks::VectorFile after = OpenVector(points);
  const int index = after.layer->GetLayerDefn()->GetFieldIndex(field.c_str());
  if (index < 0) throw RunError("the tool wrote no field " + field);
  const OGRFieldType type = after.layer->GetLayerDefn()->GetFieldDefn(index)->GetType();
  // Only the field is read back, and the shapes only where the check before the run found
  // points without one (the tool writes no shape): those are passed over, their field
  // left as it was.
  CPLStringList others;
  const bool shapeless = records.shapeless > 0;
  if (!shapeless) others.AddString("OGR_GEOMETRY");
  for (int i = 0; i < after.layer->GetLayerDefn()->GetFieldCount(); ++i)
    if (i != index) others.AddString(after.layer->GetLayerDefn()->GetFieldDefn(i)->GetNameRef());
  after.layer->SetIgnoredFields(const_cast<const char**>(others.List()));
  GIntBig sampled = 0, missing = 0, passed = 0;
  for (auto& feature : *after.layer) {
    if (shapeless && !feature->GetGeometryRef()) {
      ++passed;
      continue;
    }
    ++sampled;
    missing += feature->IsFieldSetAndNotNull(index) && feature->GetFieldAsDouble(index) == -99;
  }
  std::string summary = std::to_string(sampled) + " points sampled into field " + field + " (" +
                        (type == OFTReal ? "double" : type == OFTString ? "text" : "integer") + "); " +
                        std::to_string(missing) +
                        " got -99 (no raster value there: off the raster or a no-data cell, or a cell whose "
                        "value is -99)";
  if (passed) summary += "; " + std::to_string(passed) + " features without a point were passed over";
  return summary;
}

std::string LineOrientation(const GridRun& run, const std::string& linesArg, const std::string& outPath,
                            std::ostream& out) {
  const LayerArg lines = ParseLayerArg(linesArg);
  auto host = std::make_unique<HostRun>(run.modulePath, out);
  host->AddLayer(lines);
  if (!run.mapFile.empty()) host->AddMap(run.mapFile);

  Require(checks::LineOrientationInputs(lines.path), out);

  // The shapefile the dialog will name: the first 7 bytes of the typed name.
  const std::string directory = DirectoryPart(outPath);
  const std::string typed = outPath.substr(directory.size());
  const std::string name(com::CutUtf8(typed, 7));
  if (name.empty()) throw RunError("the output path names no file");
  const fs::path target = ShapefileToWrite(directory, name);
  if (name != typed) out << "the output name is cut to 7 characters: " << name << "\n";
  RequireWritableDirectory(directory);
  if (const std::string existing = ExistingPartOf(target); !existing.empty())
    throw RunError(existing + " exists; the tool never writes over an output (choose another name)");

  host->Click("PlenthTools_LineOrientation", [&](HWND dialog) {
    Must(ua::Type(GetDlgItem(dialog, IDC_LINES_LAYER), lines.name), "type the line layer");
    Must(ua::Type(GetDlgItem(dialog, IDC_LINES_OUTPUT), outPath), "type the output path");
    Must(ua::Click(dialog, IDOK), "press OK");
  });
  host.reset();
  if (!fs::exists(target)) throw RunError("the tool wrote no output " + target.string());
  return std::to_string(CountWrittenFeatures(target.string())) + " segments written to " +
         (directory.empty() ? target.filename().string() : target.string());
}

void AddVectorCommands(CLI::App& app, GridRun& run, const CommandRunner& runner) {
  struct Options {
    PolyClipArgs polyClip;
    GridSpotArgs gridSpot;
    std::string lines, outPath;
  };
  const auto o = std::make_shared<Options>();
  const char* layerHelp = "PATH or NAME=PATH (the layer name defaults to the file's stem)";

  auto* polyClip = app.add_subcommand("poly-clip", "Count the raster's cells of each class inside every polygon, "
                                                   "into one integer column per class");
  polyClip->add_option("POLYGONS", o->polyClip.polygons, std::string("The polygon shapefile: ") + layerHelp)->required();
  polyClip->add_option("RASTER", o->polyClip.raster,
                       std::string("The integer raster of at most 39 classes: ") + layerHelp)
      ->required();
  polyClip->add_option("--prefix", o->polyClip.prefix, "Column prefix, at most 5 characters (columns are named "
                                                       "prefix + class value)");
  polyClip->add_flag("--force", o->polyClip.force, "Run although the polygons are in another coordinate system");
  polyClip->add_option("--map", run.mapFile, "A map document (JSON) with further layers and groups");
  polyClip->footer("Example: plenth poly-clip sample/areas.shp sample/groundcover.tif --prefix gc\n");
  polyClip->callback([o, &run, runner] {
    runner("poly-clip", [&] { std::cout << PolyClip(run, o->polyClip, std::cout) << "\n"; });
  });

  auto* gridSpot = app.add_subcommand("grid-spot", "Store the raster value under each point in a field");
  gridSpot->add_option("POINTS", o->gridSpot.points, std::string("The point shapefile: ") + layerHelp)->required();
  gridSpot->add_option("RASTER", o->gridSpot.raster, std::string("The raster: ") + layerHelp)->required();
  gridSpot->add_option("--field", o->gridSpot.field, "The field, at most 5 characters (added when missing)")
      ->required();
  gridSpot->add_option("--map", run.mapFile, "A map document (JSON) with further layers and groups");
  gridSpot->footer("Example: plenth grid-spot sample/sites.shp sample/dem.tif --field elev\n");
  gridSpot->callback([o, &run, runner] {
    runner("grid-spot", [&] { std::cout << GridSpot(run, o->gridSpot, std::cout) << "\n"; });
  });

  auto* lines = app.add_subcommand("line-orientation", "Write each segment of the lines with its orientation "
                                                       "(\"Azimuth\", 0 to 180 degrees) into a new shapefile");
  lines->add_option("LINES", o->lines, std::string("The polyline shapefile: ") + layerHelp)->required();
  lines->add_option("OUTPATH", o->outPath,
                    "What a person types as the output: out/roadsegments writes out/roadseg.shp (the name is cut "
                    "to 7 characters)")
      ->required();
  lines->add_option("--map", run.mapFile, "A map document (JSON) with further layers and groups");
  lines->footer("Example: plenth line-orientation sample/roads.shp out/segs\n");
  lines->callback([o, &run, runner] {
    runner("line-orientation", [&] { std::cout << LineOrientation(run, o->lines, o->outPath, std::cout) << "\n"; });
  });
}

}  // namespace plenth::cli
