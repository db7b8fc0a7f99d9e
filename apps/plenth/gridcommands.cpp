#include "apps/plenth/gridcommands.h"

#include <filesystem>

#include "apps/plenth/hostrun.h"
#include "gis/gis.h"
#include "resources/resource.h"
#include "ui/window.h"

namespace plenth::cli {

namespace fs = std::filesystem;
namespace ua = ui::automation;

namespace {

// The directory part of a typed path with its separator, as the dialogs split it; ""
// for a bare name, which the dialogs put in the current directory.
std::string DirectoryOf(const std::string& path) {
  const auto at = path.find_last_of('/');
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

void Succeeded(const HostRun& run) {
  for (const auto& box : run.boxes())
    if (box == "cool: cool") return;
  throw RunError("the command reported a failure (" + (run.boxes().empty() ? std::string("no message") : run.boxes().back()) + ")");
}

}  // namespace

std::vector<std::string> ExportGrid(const GridRun& run, const std::string& rasterArg, const std::string& outPath,
                                    std::ostream& out) {
  HostRun host(run.modulePath, out);
  const LayerArg layer = ParseLayerArg(rasterArg);
  host.AddLayer(layer);
  if (!run.mapFile.empty()) host.AddMap(run.mapFile);
  RequireWritableDirectory(DirectoryOf(outPath));
  // The grid text format holds the eight cell types only; the tool would stop at another
  // band with a file begun.
  {
    const std::vector<BandCells> bands = CellsOfBands(layer.path);
    for (std::size_t b = 0; b < bands.size(); ++b)
      if (!IsCellType(bands[b].pixelType))
        throw RunError(layer.path + (bands.size() > 1 ? " band " + std::to_string(b + 1) : std::string()) +
                       " holds " + bands[b].words +
                       "; the grid text format holds 8-, 16- and 32-bit integers and 32- and 64-bit reals");
  }
  host.Click("PlenthTools_ExportGrid", [&](HWND dialog) {
    Must(ua::Pick(GetDlgItem(dialog, IDC_EXPORT_LAYER), layer.name), "pick the layer " + layer.name);
    Must(ua::Type(GetDlgItem(dialog, IDC_OUTPUT_PATH), outPath), "type the output path");
    Must(ua::Click(dialog, IDOK), "press OK");
  });
  Succeeded(host);
  LONG bands = 1;
  if (auto raster = gis::OpenRasterFile(layer.path))
    raster.query<RasterBandCollection>()->get_Count(&bands);
  const std::string base = outPath.substr(outPath.find_last_of('/') == std::string::npos ? 0 : outPath.find_last_of('/') + 1);
  std::vector<std::string> files;
  for (LONG b = 0; b < bands; ++b)
    files.push_back(DirectoryOf(outPath) + base.substr(0, 24) + (bands > 1 ? std::to_string(b) : "") + ".dat");
  return files;
}

std::string ImportGrid(const GridRun& run, const std::string& gridFile, const std::string& outPath, std::ostream& out) {
  if (!fs::is_regular_file(gridFile)) throw RunError(gridFile + ": no such file");
  HostRun host(run.modulePath, out);
  if (!run.mapFile.empty()) host.AddMap(run.mapFile);
  // The command is used with a map that shows something; the grid's directory will do.
  if (host.host().app().document()->focusMap().layers().empty())
    host.host().app().document()->focusMap().AddLayer(com::MakeObject<hostapp::NamedLayer>("(empty map)").get());
  RequireWritableDirectory(DirectoryOf(outPath));
  fs::path target = outPath;
  if (!target.has_extension()) target += ".tif";
  if (fs::exists(target)) throw RunError(target.string() + " already exists; choose another output name");
  host.Click("PlenthTools_ImportGrid", [&](HWND dialog) {
    Must(ua::Type(GetDlgItem(dialog, IDC_IMPORT_INPUT), gridFile), "type the input path");
    Must(ua::Type(GetDlgItem(dialog, IDC_OUTPUT_PATH), outPath), "type the output path");
    Must(ua::Click(dialog, IDOK), "press OK");
  });
  Succeeded(host);
  return target.string();
}

}  // namespace plenth::cli
