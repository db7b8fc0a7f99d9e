#include "tools/polyclip/polyclip.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "com/classes.h"
#include "data/gridstrips.h"
#include "data/layers.h"
#include "gis/gis.h"
#include "host/dialogtext.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
#include "tools/polyclip/clipkernel.h"
#include "ui/window.h"

namespace plenth {

constinit const ClassInfo PolyClip::kClass = ClassRow<PolyClip, IPolyClip>({
    .name = "PolyClip",
    .clsid = CLSID_PolyClip,
    .scriptId = IDR_POLYCLIP,
    .category = &CATID_HostCommands,
});

namespace {

const CommandInfo kInfo{
    PolyClip::kClass,
    "Polygon Clip Tool",
    "Polygon Clip Tool",
    "Adds Statistics to Polygon Shapefile based on Raster Clip",
    IDB_POLYCLIP,
    CommandInfo::Creation::None,
    CommandInfo::Click::Modeless,
    CommandInfo::Restore::Quiet,
};

// The raster side of a run: where its cells lie, its classes and every cell's class.
struct ClassifiedRaster {
  clip::CellGrid grid;
  com::ComPtr<SpatialReference> reference;
  clip::ClassTable classes;
  std::vector<std::uint8_t> classOf;  // row by row from grid.classRow, one byte per cell
  com::ComPtr<RawPixels> pixels;      // of the first band
  LONG type = 0;                      // its cell type
};

// Where the raster's first band's cells lie and its cell type; anything but Done ends the
// run (no band, or a cell type that holds no classes).
ClipEnd ReadGrid(RasterDataset* raster, ClassifiedRaster& out) {
  const auto bands = com::ComPtr<RasterDataset>(raster).query<RasterBandCollection>();
  if (!bands) return ClipEnd::RasterUnreadable;
  com::ComPtr<RasterBand> band;
  bands->Item(0, band.put());
  const auto props = band.query<RasterProps>();
  out.pixels = band.query<RawPixels>();
  if (!props || !out.pixels) return ClipEnd::RasterUnreadable;
  LONG columns = 0, rows = 0;
  props->get_Width(&columns);
  props->get_Height(&rows);
  props->get_SpatialReference(out.reference.put());
  com::ComPtr<XYPair> cellSize;
  com::ComPtr<Envelope> extent;
  if (FAILED(props->get_MeanCellSize(cellSize.put())) || FAILED(props->get_Extent(extent.put())))
    return ClipEnd::RasterUnreadable;
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  cellSize->QueryCoords(&out.grid.cellX, &out.grid.cellY);
  extent->QueryCoords(&xMin, &yMin, &xMax, &yMax);
  out.grid.columns = columns;
  out.grid.rows = rows;
  out.grid.leftX = xMin + out.grid.cellX / 2;
  out.grid.topY = yMax - out.grid.cellY / 2;
  props->get_PixelType(&out.type);
  if (!clip::ToClassValues(out.type, nullptr, 0, nullptr)) return ClipEnd::RealCells;  // no classes in real cells
  return ClipEnd::Done;
}

// Reads rows [first, end) of the band strip by strip and sorts every cell into the class
// table, keeping each cell's class in out.classOf from row `first` on when `keep`; anything
// but Done ends the run (unreadable cells, or a 40th distinct value).
ClipEnd ClassifyRows(ClassifiedRaster& out, std::int64_t first, std::int64_t end, bool keep) {
  const std::int64_t columns = out.grid.columns;
  out.grid.classRow = first;
  if (columns <= 0 || end <= first) return ClipEnd::Done;
  const GridStrips strips = StripsFor(columns, end - first);
  com::ComPtr<PixelBlock> block;
  out.pixels->CreatePixelBlock(gis::MakeXYPair(static_cast<double>(columns), static_cast<double>(strips.rowsPerStrip)).get(),
                               block.put());
  if (!block) return ClipEnd::RasterUnreadable;
  const auto width = static_cast<std::size_t>(columns);
  const auto stripCells = width * static_cast<std::size_t>(strips.rowsPerStrip);
  out.classOf.assign(keep ? width * static_cast<std::size_t>(end - first) : stripCells, 0);
  std::vector<std::int32_t> values(stripCells);
  for (std::int64_t top = first; top < end; top += strips.rowsPerStrip) {
    if (FAILED(out.pixels->Read(gis::MakeXYPair(0, static_cast<double>(top)).get(), block.get())))
      return ClipEnd::RasterUnreadable;
    com::ComPtr<CellArray> cells;
    void* data = nullptr;
    if (FAILED(block->GetPlane(0, cells.put())) || FAILED(cells->Data(&data))) return ClipEnd::RasterUnreadable;
    // The last strip may reach past the last row asked for; only those rows count.
    const std::size_t count = width * static_cast<std::size_t>(std::min(strips.rowsPerStrip, end - top));
    clip::ToClassValues(out.type, data, count, values.data());
    std::uint8_t* classOf = out.classOf.data() + (keep ? width * static_cast<std::size_t>(top - first) : 0);
    if (!out.classes.Classify(values.data(), count, classOf)) return ClipEnd::TooManyClasses;
  }
  return ClipEnd::Done;
}

// Reads the raster's first band strip by strip and sorts every cell into the class table;
// anything but Done ends the run (unreadable cells, a cell type that holds no classes, or
// a 40th distinct value).
ClipEnd ClassifyRaster(RasterDataset* raster, ClassifiedRaster& out) {
  if (const ClipEnd end = ReadGrid(raster, out); end != ClipEnd::Done) return end;
  return ClassifyRows(out, 0, out.grid.rows, true);
}

std::string ColumnName(const char* prefix, std::int32_t value) { return prefix + std::to_string(value); }

// The edges and rings of a polygon, or false when the shape cannot list them.
bool OutlineOf(Polygon* polygon, std::vector<clip::Edge>& edges, std::vector<clip::Ring>& rings) {
  const auto segments = com::ComPtr<Polygon>(polygon).query<SegmentCollection>();
  LONG count = 0, ringCount = 0;
  if (!segments || FAILED(segments->get_SegmentCount(&count)) || FAILED(polygon->get_RingCount(&ringCount)))
    return false;
  std::vector<double> coords(4 * static_cast<std::size_t>(count));
  if (FAILED(segments->QuerySegments(0, count, coords.data()))) return false;
  edges.resize(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < edges.size(); ++i)
    edges[i] = {coords[4 * i], coords[4 * i + 1], coords[4 * i + 2], coords[4 * i + 3]};
  rings.resize(static_cast<std::size_t>(ringCount));
  for (LONG r = 0; r < ringCount; ++r) {
    LONG first = 0, n = 0;
    VARIANT_BOOL exterior = VARIANT_FALSE;
    if (FAILED(polygon->QueryRing(r, &first, &n, &exterior))) return false;
    rings[static_cast<std::size_t>(r)] = {static_cast<std::size_t>(first), static_cast<std::size_t>(n),
                                          exterior == VARIANT_TRUE};
  }
  return true;
}

com::Variant CountValue(std::int64_t count) {
  // A count past the column's range goes to the store as it is, which refuses it.
  return count <= std::numeric_limits<std::int32_t>::max() ? com::Variant::I4(static_cast<std::int32_t>(count))
                                                           : com::Variant::R8(static_cast<double>(count));
}

// Counts, class by class, the raster's cells whose centre lies inside a feature's polygon.
class PolygonCounter {
 public:
  explicit PolygonCounter(const ClassifiedRaster& raster)
      : raster_(raster), point_(com::CreateInstance<Point>(CLSID_Point)) {
    if (point_) point_->putref_SpatialReference(raster.reference.get());
  }
  bool ready() const { return point_ != nullptr; }

  // The counts of the feature's polygon into `counts` (one per class); false for a
  // feature without a polygon, which has nothing to count and is passed over.
  bool Count(Feature* feature, std::vector<std::int64_t>& counts) {
    com::ComPtr<Geometry> shape;
    feature->get_Shape(shape.put());
    const auto polygon = shape.query<Polygon>();
    com::ComPtr<Envelope> envelope;
    if (!polygon || FAILED(shape->get_Envelope(envelope.put())) || !envelope) return false;
    shape->putref_SpatialReference(raster_.reference.get());  // a new label; the coordinates stay
    std::fill(counts.begin(), counts.end(), 0);
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    envelope->QueryCoords(&xMin, &yMin, &xMax, &yMax);
    const clip::CellRange range = clip::CandidateRange(raster_.grid, xMin, yMin, xMax, yMax);
    const auto contains = [&](double x, double y) {
      VARIANT_BOOL inside = VARIANT_FALSE;
      point_->PutCoords(x, y);
      polygon->Contains(point_.get(), &inside);
      return inside == VARIANT_TRUE;
    };
    if (!range.empty()) {
      if (OutlineOf(polygon.get(), edges_, rings_))
        clip::CountClassCells(raster_.grid, range, edges_, rings_, raster_.classOf.data(), counts, contains);
      else
        clip::CountClassCellsByTest(raster_.grid, range, raster_.classOf.data(), counts, contains);
    }
    return true;
  }

 private:
  const ClassifiedRaster& raster_;
  com::ComPtr<Point> point_;
  std::vector<clip::Edge> edges_;
  std::vector<clip::Ring> rings_;
};

bool HoldsPolygons(FeatureClass* featureClass) {
  LONG shapeType = 0;
  return SUCCEEDED(featureClass->get_ShapeType(&shapeType)) && shapeType == kGeometryPolygon;
}

std::string StatusText(int classCount, LONG number, LONG total) {
  char status[96];
  std::snprintf(status, sizeof status, "Found %d Classes. Processing Feature %d of %d", classCount,
                static_cast<int>(number), static_cast<int>(total));
  return status;
}

INT_PTR PolyClipDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* command = reinterpret_cast<CommandCore*>(GetWindowLongPtr(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtr(dialog, DWLP_USER, lParam);
      command = reinterpret_cast<CommandCore*>(lParam);
      FillFeatureLayerCombo(command->application.get(), GetDlgItem(dialog, IDC_POLYCLIP_POLYGONS), {kGeometryPolygon});
      FillRasterLayerCombo(command->application.get(), GetDlgItem(dialog, IDC_POLYCLIP_RASTER));
      return TRUE;
    case WM_COMMAND:
      if (!command) return FALSE;
      switch (LOWORD(wParam)) {
        case IDOK: {
          // The layer names as 49-byte texts, the prefix as 5.
          const std::string polygons(com::CutUtf8(DialogText(dialog, IDC_POLYCLIP_POLYGONS), 49));
          const std::string raster(com::CutUtf8(DialogText(dialog, IDC_POLYCLIP_RASTER), 49));
          const std::string prefix(com::CutUtf8(DialogText(dialog, IDC_POLYCLIP_PREFIX), 5));
          ComputeClipStatistics(command->application.get(), polygons.c_str(), raster.c_str(), prefix.c_str());
          SelectToolRestore(*command);
          return TRUE;
        }
        case IDCANCEL: SelectToolRestore(*command); return TRUE;
        default: return FALSE;
      }
    default: return FALSE;
  }
}

}  // namespace

PolyClip::PolyClip() : Command(kInfo) {}

int PolyClip::ModelessDialogId() const { return IDD_POLYCLIPDLG; }
DLGPROC PolyClip::ModelessDialogProc() const { return PolyClipDlgProc; }

void ComputeClipStatistics(HostApplication* application, const char* polygonLayer, const char* rasterLayer,
                           const char* prefix) {
  const auto raster = FindLayerByName(application, kRasterLayerKind, rasterLayer).query<RasterLayer>();
  if (!raster) return;
  com::ComPtr<RasterDataset> dataset;
  raster->get_Raster(dataset.put());
  const auto layer = FindLayerByName(application, kFeatureLayerKind, polygonLayer).query<FeatureLayer>();
  if (!layer) return;
  com::ComPtr<FeatureClass> featureClass;
  if (FAILED(layer->get_FeatureClass(featureClass.put())) || !featureClass) return;
  com::ComPtr<StatusBar> statusBar;
  application->get_StatusBar(statusBar.put());
  ClipStatistics(dataset.get(), featureClass.get(), prefix, [&](std::string_view status, std::int64_t, std::int64_t) {
    if (statusBar) statusBar->put_Message(0, com::BStr(status).get());
    return true;
  });
}

ClipEnd ClipStatistics(RasterDataset* raster, FeatureClass* featureClass, const char* prefix,
                       const Progress& progress) {
  ClassifiedRaster classified;
  if (const ClipEnd end = ClassifyRaster(raster, classified); end != ClipEnd::Done) return end;
  const int classCount = classified.classes.count();
  // A layer of other shapes has no polygon to count in.
  if (!HoldsPolygons(featureClass)) return ClipEnd::NotPolygons;

  // One 32-bit integer column per class, added unless one of that name is there.
  const auto definition = com::CreateInstance<Field>(CLSID_Field);
  if (!definition) return ClipEnd::Failed;
  definition->put_Type(kFieldInteger);
  definition->put_DefaultValue(com::Variant::I4(0).get());
  definition->put_Precision(0);
  for (int c = 0; c < classCount; ++c) {
    definition->put_Name(com::BStr(ColumnName(prefix, classified.classes.value(c))).get());
    LONG index = -1;
    featureClass->FindField(com::BStr(ColumnName(prefix, classified.classes.value(c))).get(), &index);
    if (index < 0) featureClass->AddField(definition.get());  // a column refused is passed over
  }

  LONG total = 0;
  featureClass->FeatureCount(&total);
  com::ComPtr<FeatureCursor> cursor;
  if (FAILED(featureClass->Update(VARIANT_FALSE, cursor.put())) || !cursor) return ClipEnd::Failed;
  std::vector<LONG> columnOf(static_cast<std::size_t>(classCount), -1);
  for (int c = 0; c < classCount; ++c)
    cursor->FindField(com::BStr(ColumnName(prefix, classified.classes.value(c))).get(),
                      &columnOf[static_cast<std::size_t>(c)]);

  PolygonCounter counter(classified);
  if (!counter.ready()) return ClipEnd::Failed;
  std::vector<std::int64_t> counts(static_cast<std::size_t>(classCount));
  com::ComPtr<Feature> feature;
  cursor->NextFeature(feature.put());
  for (LONG number = 1; feature; ++number) {
    if (!GoOn(progress, StatusText(classCount, number, total), number - 1, total)) return ClipEnd::Stopped;
    if (counter.Count(feature.get(), counts)) {
      for (int c = 0; c < classCount; ++c)
        feature->put_Value(columnOf[static_cast<std::size_t>(c)], CountValue(counts[static_cast<std::size_t>(c)]).get());
      cursor->UpdateFeature(feature.get());
    }
    feature.reset();
    cursor->NextFeature(feature.put());
  }
  return ClipEnd::Done;
}

ClipEnd RasterClasses(RasterDataset* raster, std::vector<std::int32_t>* classes) {
  ClassifiedRaster classified;
  if (ClipEnd end = ReadGrid(raster, classified); end != ClipEnd::Done) return end;
  if (ClipEnd end = ClassifyRows(classified, 0, classified.grid.rows, false); end != ClipEnd::Done) return end;
  classes->clear();
  for (int c = 0; c < classified.classes.count(); ++c) classes->push_back(classified.classes.value(c));
  return ClipEnd::Done;
}

ClipEnd CountClipClasses(RasterDataset* raster, FeatureClass* featureClass, const char* prefix,
                         std::span<const LONG> fids, ClipCounts* out, const Progress& progress,
                         const std::vector<std::int32_t>* classes) {
  ClassifiedRaster classified;
  if (!classes) {
    if (const ClipEnd end = ClassifyRaster(raster, classified); end != ClipEnd::Done) return end;
  } else {
    if (const ClipEnd end = ReadGrid(raster, classified); end != ClipEnd::Done) return end;
    // The table as the whole raster's scan makes it: the classes in their order.
    std::vector<std::uint8_t> indices(classes->size());
    if (!classified.classes.Classify(classes->data(), classes->size(), indices.data()))
      return ClipEnd::TooManyClasses;
  }
  const int classCount = classified.classes.count();
  if (!HoldsPolygons(featureClass)) return ClipEnd::NotPolygons;
  out->classes.clear();
  out->columns.clear();
  for (int c = 0; c < classCount; ++c) {
    out->classes.push_back(classified.classes.value(c));
    out->columns.push_back(ColumnName(prefix, classified.classes.value(c)));
  }
  out->polygons.clear();

  std::vector<LONG> wanted(fids.begin(), fids.end());
  std::sort(wanted.begin(), wanted.end());
  const auto isWanted = [&](LONG fid) { return wanted.empty() || std::binary_search(wanted.begin(), wanted.end(), fid); };
  LONG total = 0;
  featureClass->FeatureCount(&total);
  com::ComPtr<FeatureCursor> cursor;
  if (FAILED(featureClass->Search(VARIANT_FALSE, cursor.put())) || !cursor) return ClipEnd::Failed;
  PolygonCounter counter(classified);
  if (!counter.ready()) return ClipEnd::Failed;
  std::vector<std::int64_t> counts(static_cast<std::size_t>(classCount));
  com::ComPtr<Feature> feature;
  if (!classes) {
    cursor->NextFeature(feature.put());
    for (LONG number = 1; feature; ++number) {
      if (!GoOn(progress, StatusText(classCount, number, total), number - 1, total)) return ClipEnd::Stopped;
      LONG fid = -1;
      feature->get_OID(&fid);
      if (isWanted(fid) && counter.Count(feature.get(), counts)) out->polygons.emplace_back(fid, counts);
      feature.reset();
      cursor->NextFeature(feature.put());
    }
    return ClipEnd::Done;
  }

  // The polygons asked for, and the rows their envelopes reach.
  std::vector<std::pair<LONG, com::ComPtr<Feature>>> polygons;
  std::int64_t firstRow = classified.grid.rows, lastRow = -1;
  for (cursor->NextFeature(feature.put()); feature; cursor->NextFeature(feature.put())) {
    LONG fid = -1;
    feature->get_OID(&fid);
    if (isWanted(fid)) {
      com::ComPtr<Geometry> shape;
      com::ComPtr<Envelope> envelope;
      feature->get_Shape(shape.put());
      if (shape && SUCCEEDED(shape->get_Envelope(envelope.put())) && envelope) {
        double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
        envelope->QueryCoords(&xMin, &yMin, &xMax, &yMax);
        const clip::CellRange range = clip::CandidateRange(classified.grid, xMin, yMin, xMax, yMax);
        if (!range.empty()) {
          firstRow = std::min(firstRow, range.firstRow);
          lastRow = std::max(lastRow, range.lastRow);
        }
      }
      polygons.emplace_back(fid, std::move(feature));
    }
    feature.reset();
  }
  if (const ClipEnd end = ClassifyRows(classified, std::min(firstRow, lastRow + 1), lastRow + 1, true);
      end != ClipEnd::Done)
    return end == ClipEnd::TooManyClasses ? ClipEnd::OtherClasses : end;
  if (classified.classes.count() != classCount) return ClipEnd::OtherClasses;
  const auto number = static_cast<std::int64_t>(polygons.size());
  for (std::int64_t n = 0; n < number; ++n) {
    auto& [fid, polygon] = polygons[static_cast<std::size_t>(n)];
    if (!GoOn(progress, StatusText(classCount, static_cast<LONG>(n + 1), static_cast<LONG>(number)), n, number))
      return ClipEnd::Stopped;
    if (counter.Count(polygon.get(), counts)) out->polygons.emplace_back(fid, counts);
    polygon.reset();
  }
  return ClipEnd::Done;
}

}  // namespace plenth
