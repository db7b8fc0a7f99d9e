#include "apps/plenth/pointgridcommand.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

#include "apps/plenth/hostrun.h"
#include "com/classes.h"
#include "gis/gis.h"
#include "hostapp/objects.h"
#include "hostapp/mapdraw.h"
#include "hostapp/picture.h"
#include "resources/resource.h"
#include "ui/clock.h"
#include "ui/window.h"

namespace plenth::cli {

namespace fs = std::filesystem;
namespace ua = ui::automation;

namespace {

// The preview picture's size in pixels; the map's extent is widened to its shape.
constexpr LONG kPreviewWidth = 800;
constexpr LONG kPreviewHeight = 640;

// A number as a person would type it: digits and a point (the bounds take no exponent),
// the shortest that reads back the same.
std::string Typed(double value) {
  char text[400];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
  return std::string(text, end);
}

// A number as short as it can be written, for messages.
std::string Shortest(double value) {
  char text[64];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// The characters the dialog reads of a bound or the spacing.
constexpr std::size_t kFieldCharacters = 39;

// Shows the map's layers and the area whole, with a margin, on a picture-sized display.
void ShowLayersAndArea(hostapp::HostMap& map, const PointGridArgs& args) {
  hostapp::MapExtent extent{args.west, args.south, args.east, args.north};
  if (const auto layers = hostapp::ExtentOfLayers(map.layers())) {
    extent.xMin = std::min(extent.xMin, layers->xMin);
    extent.yMin = std::min(extent.yMin, layers->yMin);
    extent.xMax = std::max(extent.xMax, layers->xMax);
    extent.yMax = std::max(extent.yMax, layers->yMax);
  }
  const double margin = 0.03 * std::max(extent.xMax - extent.xMin, extent.yMax - extent.yMin);
  auto envelope = com::CreateInstance<Envelope>(CLSID_Envelope);
  envelope->PutCoords(extent.xMin - margin, extent.yMin - margin, extent.xMax + margin, extent.yMax + margin);
  map.put_Extent(envelope.get());
}

// Restores the calendar clock when the run ends.
class SeedClock {
 public:
  explicit SeedClock(std::optional<std::int64_t> seed) {
    if (seed) previous_ = ui::SetTimeSource([s = *seed] { return s; }), set_ = true;
  }
  ~SeedClock() {
    if (set_) ui::SetTimeSource(previous_);
  }
  SeedClock(const SeedClock&) = delete;
  SeedClock& operator=(const SeedClock&) = delete;

 private:
  ui::TimeSource previous_;
  bool set_ = false;
};

}  // namespace

PointGridResult PointGrid(const GridRun& run, const PointGridArgs& args, std::ostream& out) {
  if (!(args.west < args.east)) throw RunError("the west bound must lie west of the east bound");
  if (!(args.south < args.north)) throw RunError("the south bound must lie south of the north bound");
  if (args.spacing.has_value() == args.count.has_value()) throw RunError("give either --spacing or --random");
  if (args.spacing && !(*args.spacing > 0)) throw RunError("the spacing must be greater than 0");
  // The dialog reads a bound or the spacing through 39 characters: a number whose digits
  // do not fit would be read cut, as another number, and make another grid.
  const std::pair<const char*, std::optional<double>> numbers[] = {{"--west", args.west},
                                                                   {"--east", args.east},
                                                                   {"--north", args.north},
                                                                   {"--south", args.south},
                                                                   {"--spacing", args.spacing}};
  for (const auto& [option, value] : numbers) {
    if (!value) continue;
    const std::string typed = Typed(*value);
    if (typed.size() > kFieldCharacters)
      throw RunError(std::string(option) + " " + Shortest(*value) + " takes " + std::to_string(typed.size()) +
                     " characters when typed (the fields take digits and a point, no exponent); the dialog reads " +
                     std::to_string(kFieldCharacters) + ", so it would make another grid");
  }

  // A bare name is typed with the current directory in front, as the dialog wants a folder.
  const std::string typed = args.outPath.find('/') == std::string::npos ? "./" + args.outPath : args.outPath;
  const std::size_t nameAt = typed.find_last_of("/\\:") + 1;
  const fs::path shapefile = ShapefileToWrite(typed.substr(0, nameAt), typed.substr(nameAt));
  if (const std::string existing = ExistingPartOf(shapefile); !existing.empty())
    throw RunError(existing + " already exists; choose another output name");
  // A folder that cannot be written would make the tool fail without a word (one that does
  // not exist it reports itself).
  if (fs::is_directory(shapefile.parent_path())) RequireWritableDirectory(shapefile.parent_path().string() + "/");

  auto host = std::make_unique<HostRun>(run.modulePath, out);
  hostapp::HostMap& map = host->host().app().document()->focusMap();
  if (!args.crsOf.empty()) {
    const LayerArg layer = ParseLayerArg(args.crsOf);
    host->AddLayer(layer);
    std::string wkt;
    Require(checks::CoordinateSystemOf(layer.path, &wkt), out);
    map.SetSpatialReference(gis::SpatialReferenceFromWkt(wkt).get());
  }
  if (!run.mapFile.empty()) host->AddMap(run.mapFile);
  // The command is used with a map that shows something.
  if (map.layers().empty()) map.AddLayer(com::MakeObject<hostapp::NamedLayer>("(empty map)").get());

  std::optional<hostapp::MapPicture> picture;
  if (!args.previewPng.empty()) {
    try {
      picture.emplace(kPreviewWidth, kPreviewHeight);
    } catch (const std::runtime_error& e) {
      throw RunError(std::string("no picture can be drawn: ") + e.what());
    }
    map.SetDisplay(picture->display());
    ShowLayersAndArea(map, args);
  }

  const HWND dialog = host->Open("PlenthTools_CreatePointGridTool");
  const auto item = [&](int id) { return GetDlgItem(dialog, id); };
  // Types into a field and leaves it for the next, as a person tabbing through.
  const auto enter = [&](int id, const std::string& text, const std::string& what) {
    Must(ua::Type(item(id), text), "type the " + what);
    Must(ua::Focus(item(IDC_POINTGRID_PATH)), "leave the " + what);
  };
  Must(ua::Type(item(IDC_POINTGRID_PATH), typed), "type the output path");
  enter(IDC_POINTGRID_NORTH, Typed(args.north), "north bound");
  enter(IDC_POINTGRID_WEST, Typed(args.west), "west bound");
  enter(IDC_POINTGRID_EAST, Typed(args.east), "east bound");
  enter(IDC_POINTGRID_SOUTH, Typed(args.south), "south bound");
  if (args.spacing) {
    enter(IDC_POINTGRID_SPACING, Typed(*args.spacing), "spacing");
  } else {
    // OK opens only for the inputs of a regular grid: a person fills a spacing (here the
    // area's width, one column) and then switches to random points.
    enter(IDC_POINTGRID_SPACING, Typed(args.east - args.west), "spacing");
    Must(ua::Click(item(IDC_POINTGRID_RANDOM)), "choose random points");
    Must(ua::Type(item(IDC_POINTGRID_COUNT), std::to_string(*args.count)), "type the number of points");
  }
  if (picture) {
    // Ticking the preview redraws the map with it (random points have no preview).
    if (ua::Enabled(item(IDC_POINTGRID_PREVIEW)) && !ua::Checked(item(IDC_POINTGRID_PREVIEW)))
      Must(ua::Click(item(IDC_POINTGRID_PREVIEW)), "tick the preview");
    else
      map.Refresh();
    if (!picture->SavePng(args.previewPng)) throw RunError(args.previewPng + ": the picture cannot be written");
  }
  Must(ua::Enabled(item(IDOK)), "press OK (it is disabled)");
  {
    SeedClock clock(args.seed);
    Must(ua::Click(item(IDOK)), "press OK");
  }
  ua::PumpPending();
  if (IsWindow(dialog)) throw RunError("the dialog stayed open after OK");
  if (!host->boxes().empty()) throw RunError("the tool reported: " + host->boxes().back());
  // The shapefile is whole on disk once the host has let go of it.
  host.reset();
  const long long points = CountWrittenFeatures(shapefile.string());
  // Named as the person named it: a bare name without the directory put in front of it.
  return {points, typed == args.outPath ? shapefile.string() : shapefile.filename().string()};
}

}  // namespace plenth::cli
