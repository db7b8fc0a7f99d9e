#include "tools/polyclip/polyclip.h"

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
  std::vector<std::uint8_t> classOf;  // row by row, one byte per cell
};

// Finds the raster layer, reads its first band strip by strip and sorts every cell into
// the class table; false ends the run (no such layer, unreadable cells, a cell type that
// holds no classes, or a 40th distinct value).
bool ClassifyRaster(HostApplication* application, const char* layerName, ClassifiedRaster& out) {
  const auto layer = FindLayerByName(application, kRasterLayerKind, layerName);
  const auto rasterLayer = layer.query<RasterLayer>();
  if (!rasterLayer) return false;
  com::ComPtr<RasterDataset> raster;
  rasterLayer->get_Raster(raster.put());
  LONG columns = 0, rows = 0;
  rasterLayer->get_ColumnCount(&columns);
  rasterLayer->get_RowCount(&rows);
  const auto bands = raster.query<RasterBandCollection>();
  if (!bands) return false;
  com::ComPtr<RasterBand> band;
  bands->Item(0, band.put());
  const auto props = band.query<RasterProps>();
  const auto pixels = band.query<RawPixels>();
  if (!props || !pixels) return false;
  props->get_SpatialReference(out.reference.put());
  com::ComPtr<XYPair> cellSize;
  com::ComPtr<Envelope> extent;
  if (FAILED(props->get_MeanCellSize(cellSize.put())) || FAILED(props->get_Extent(extent.put()))) return false;
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  cellSize->QueryCoords(&out.grid.cellX, &out.grid.cellY);
  extent->QueryCoords(&xMin, &yMin, &xMax, &yMax);
  out.grid.columns = columns;
  out.grid.rows = rows;
  out.grid.leftX = xMin + out.grid.cellX / 2;
  out.grid.topY = yMax - out.grid.cellY / 2;

  LONG type = 0;
  props->get_PixelType(&type);
  if (!clip::ToClassValues(type, nullptr, 0, nullptr)) return false;  // no classes in real cells
  if (columns <= 0 || rows <= 0) return true;
  const GridStrips strips = StripsFor(columns, rows);
  com::ComPtr<PixelBlock> block;
  pixels->CreatePixelBlock(gis::MakeXYPair(columns, static_cast<double>(strips.rowsPerStrip)).get(), block.put());
  if (!block) return false;
  const auto width = static_cast<std::size_t>(columns);
  out.classOf.assign(width * static_cast<std::size_t>(rows), 0);
  std::vector<std::int32_t> values(width * static_cast<std::size_t>(strips.rowsPerStrip));
  for (std::int64_t top = 0; top < rows; top += strips.rowsPerStrip) {
    if (FAILED(pixels->Read(gis::MakeXYPair(0, static_cast<double>(top)).get(), block.get()))) return false;
    com::ComPtr<CellArray> cells;
    void* data = nullptr;
    if (FAILED(block->GetPlane(0, cells.put())) || FAILED(cells->Data(&data))) return false;
    // The last strip may reach past the last row; only the raster's own rows count.
    const std::size_t count = width * static_cast<std::size_t>(std::min(strips.rowsPerStrip, rows - top));
    clip::ToClassValues(type, data, count, values.data());
    if (!out.classes.Classify(values.data(), count, out.classOf.data() + width * static_cast<std::size_t>(top)))
      return false;
  }
  return true;
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
  ClassifiedRaster raster;
  if (!ClassifyRaster(application, rasterLayer, raster)) return;
  const int classCount = raster.classes.count();

  const auto layer = FindLayerByName(application, kFeatureLayerKind, polygonLayer).query<FeatureLayer>();
  if (!layer) return;
  com::ComPtr<FeatureClass> featureClass;
  if (FAILED(layer->get_FeatureClass(featureClass.put())) || !featureClass) return;
  // A layer of other shapes has no polygon to count in.
  LONG shapeType = 0;
  if (FAILED(featureClass->get_ShapeType(&shapeType)) || shapeType != kGeometryPolygon) return;

  // One 32-bit integer column per class, added unless one of that name is there.
  const auto definition = com::CreateInstance<Field>(CLSID_Field);
  if (!definition) return;
  definition->put_Type(kFieldInteger);
  definition->put_DefaultValue(com::Variant::I4(0).get());
  definition->put_Precision(0);
  for (int c = 0; c < classCount; ++c) {
    definition->put_Name(com::BStr(ColumnName(prefix, raster.classes.value(c))).get());
    LONG index = -1;
    featureClass->FindField(com::BStr(ColumnName(prefix, raster.classes.value(c))).get(), &index);
    if (index < 0) featureClass->AddField(definition.get());  // a column refused is passed over
  }

  LONG total = 0;
  featureClass->FeatureCount(&total);
  com::ComPtr<FeatureCursor> cursor;
  if (FAILED(featureClass->Update(VARIANT_FALSE, cursor.put())) || !cursor) return;
  std::vector<LONG> columnOf(static_cast<std::size_t>(classCount), -1);
  for (int c = 0; c < classCount; ++c)
    cursor->FindField(com::BStr(ColumnName(prefix, raster.classes.value(c))).get(), &columnOf[static_cast<std::size_t>(c)]);

  const auto point = com::CreateInstance<Point>(CLSID_Point);
  if (!point) return;
  point->putref_SpatialReference(raster.reference.get());
  com::ComPtr<StatusBar> statusBar;
  application->get_StatusBar(statusBar.put());

  std::vector<std::int64_t> counts(static_cast<std::size_t>(classCount));
  std::vector<clip::Edge> edges;
  std::vector<clip::Ring> rings;
  com::ComPtr<Feature> feature;
  cursor->NextFeature(feature.put());
  for (LONG number = 1; feature; ++number) {
    char status[96];
    std::snprintf(status, sizeof status, "Found %d Classes. Processing Feature %d of %d", classCount,
                  static_cast<int>(number), static_cast<int>(total));
    if (statusBar) statusBar->put_Message(0, com::BStr(status).get());

    com::ComPtr<Geometry> shape;
    feature->get_Shape(shape.put());
    const auto polygon = shape.query<Polygon>();
    com::ComPtr<Envelope> envelope;
    // A feature without a polygon has nothing to count and is passed over.
    if (polygon && SUCCEEDED(shape->get_Envelope(envelope.put())) && envelope) {
      shape->putref_SpatialReference(raster.reference.get());  // a new label; the coordinates stay
      std::fill(counts.begin(), counts.end(), 0);
      double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
      envelope->QueryCoords(&xMin, &yMin, &xMax, &yMax);
      const clip::CellRange range = clip::CandidateRange(raster.grid, xMin, yMin, xMax, yMax);
      const auto contains = [&](double x, double y) {
        VARIANT_BOOL inside = VARIANT_FALSE;
        point->PutCoords(x, y);
        polygon->Contains(point.get(), &inside);
        return inside == VARIANT_TRUE;
      };
      if (!range.empty()) {
        if (OutlineOf(polygon.get(), edges, rings))
          clip::CountClassCells(raster.grid, range, edges, rings, raster.classOf.data(), counts, contains);
        else
          clip::CountClassCellsByTest(raster.grid, range, raster.classOf.data(), counts, contains);
      }
      for (int c = 0; c < classCount; ++c)
        feature->put_Value(columnOf[static_cast<std::size_t>(c)], CountValue(counts[static_cast<std::size_t>(c)]).get());
      cursor->UpdateFeature(feature.get());
    }
    feature.reset();
    cursor->NextFeature(feature.put());
  }
}

}  // namespace plenth
