#include "hostapp/mapdraw.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "com/bstr.h"
#include "com/classes.h"
#include "gis/gis.h"
#include "hostapp/display.h"
#include "hostapp/layers.h"

namespace hostapp {
namespace {

namespace fs = std::filesystem;

// The layers in drawing order: members of a group in place of the group.
void Flatten(const std::vector<com::ComPtr<Layer>>& layers, std::vector<com::ComPtr<Layer>>& out,
             const std::function<bool(Layer*)>& shown = {}) {
  for (const auto& layer : layers) {
    if (shown && !shown(layer.get())) continue;
    if (layer.query<GroupLayer>()) {
      Flatten(MembersOf(layer.get()), out, shown);
      continue;
    }
    out.push_back(layer);
  }
}

std::string RasterPath(RasterLayer* layer) {
  com::ComPtr<RasterDataset> raster;
  if (FAILED(layer->get_Raster(raster.put())) || !raster) return {};
  com::BStr name, workspace;
  raster->get_Name(name.put());
  raster->get_WorkspacePath(workspace.put());
  return (fs::path(workspace.utf8()) / name.utf8()).string();
}

std::string ShapefilePath(FeatureLayer* layer) {
  com::ComPtr<FeatureClass> featureClass;
  if (FAILED(layer->get_FeatureClass(featureClass.put())) || !featureClass) return {};
  com::BStr name, workspace;
  featureClass->get_Name(name.put());
  featureClass->get_WorkspacePath(workspace.put());
  return gis::FindShapefile(workspace.utf8(), name.utf8());
}

std::optional<MapExtent> ExtentOf(Layer* layer) {
  com::ComPtr<Layer> l(layer);
  if (auto raster = l.query<RasterLayer>()) {
    GDALDatasetUniquePtr ds(GDALDataset::Open(RasterPath(raster.get()).c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    double gt[6];
    if (!ds || ds->GetGeoTransform(gt) != CE_None) return std::nullopt;
    const double x[] = {gt[0], gt[0] + gt[1] * ds->GetRasterXSize()};
    const double y[] = {gt[3], gt[3] + gt[5] * ds->GetRasterYSize()};
    return MapExtent{std::min(x[0], x[1]), std::min(y[0], y[1]), std::max(x[0], x[1]), std::max(y[0], y[1])};
  }
  if (auto features = l.query<FeatureLayer>()) {
    GDALDatasetUniquePtr ds(
        GDALDataset::Open(ShapefilePath(features.get()).c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
    OGREnvelope e;
    if (!ds || ds->GetLayerCount() < 1 || ds->GetLayer(0)->GetExtent(&e, TRUE) != OGRERR_NONE) return std::nullopt;
    return MapExtent{e.MinX, e.MinY, e.MaxX, e.MaxY};
  }
  return std::nullopt;
}

com::ComPtr<Envelope> NewEnvelope(double xMin, double yMin, double xMax, double yMax) {
  auto envelope = com::CreateInstance<Envelope>(CLSID_Envelope);
  if (envelope) envelope->PutCoords(xMin, yMin, xMax, yMax);
  return envelope;
}

template <class T>
com::ComPtr<T> NewSymbol(const CLSID& clsid) {
  return com::CreateInstance<T>(clsid);
}

com::ComPtr<Envelope> VisibleBounds(Display* display) {
  com::ComPtr<DisplayTransformation> transformation;
  display->get_DisplayTransformation(transformation.put());
  com::ComPtr<Envelope> bounds;
  if (transformation) transformation->get_VisibleBounds(bounds.put());
  return bounds;
}

// A raster of whole numbers with fewer distinct values than this is drawn in class colours.
constexpr double kMostClasses = 40;
// Colours told apart at a glance, one a class by its place from the lowest value.
constexpr DWORD kClassColours[] = {0xE6194B, 0x3CB44B, 0xFFE119, 0x0082C8, 0xF58230, 0x911EB4, 0x46F0F0, 0xF032E6,
                                   0xD2F53C, 0xFABED4, 0x008080, 0xDCBEFF, 0xAA6E28, 0xFFFAC8, 0x800000, 0xAAFFC3};

bool IsWholeNumberType(GDALDataType type) {
  switch (type) {
    case GDT_Byte: case GDT_UInt16: case GDT_Int16: case GDT_UInt32: case GDT_Int32: return true;
    default: return false;
  }
}

// The raster's first band over the visible extent, read at about the display's
// resolution: in the band's own colour table when it has one, in class colours when it
// holds a few whole-number classes, otherwise stretched to grey between the band's lowest
// and highest value.
void DrawRaster(RasterLayer* layer, Display* display) {
  GDALDatasetUniquePtr ds(GDALDataset::Open(RasterPath(layer).c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  double gt[6];
  if (!ds || ds->GetRasterCount() < 1 || ds->GetGeoTransform(gt) != CE_None || gt[2] != 0 || gt[4] != 0) return;
  const auto bounds = VisibleBounds(display);
  com::ComPtr<DisplayTransformation> transformation;
  display->get_DisplayTransformation(transformation.put());
  LONG width = 0, height = 0;
  if (!bounds || !transformation || FAILED(transformation->get_DeviceFrame(&width, &height))) return;
  double vx0, vy0, vx1, vy1;
  bounds->QueryCoords(&vx0, &vy0, &vx1, &vy1);
  const int columns = ds->GetRasterXSize(), rows = ds->GetRasterYSize();
  // The cells the visible extent covers (the raster may run north-up or south-up).
  const auto column = [&](double x) { return (x - gt[0]) / gt[1]; };
  const auto row = [&](double y) { return (y - gt[3]) / gt[5]; };
  const int c0 = std::clamp(static_cast<int>(std::floor(std::min(column(vx0), column(vx1)))), 0, columns);
  const int c1 = std::clamp(static_cast<int>(std::ceil(std::max(column(vx0), column(vx1)))), 0, columns);
  const int r0 = std::clamp(static_cast<int>(std::floor(std::min(row(vy0), row(vy1)))), 0, rows);
  const int r1 = std::clamp(static_cast<int>(std::ceil(std::max(row(vy0), row(vy1)))), 0, rows);
  if (c1 <= c0 || r1 <= r0) return;
  const double pixelsPerCell = std::abs(gt[1]) * width / (vx1 - vx0);
  const int outColumns = std::clamp(static_cast<int>(std::ceil((c1 - c0) * pixelsPerCell)), 1, c1 - c0);
  const int outRows = std::clamp(static_cast<int>(std::ceil((r1 - r0) * pixelsPerCell)), 1, r1 - r0);
  GDALRasterBand* band = ds->GetRasterBand(1);
  std::vector<double> cells(static_cast<std::size_t>(outColumns) * outRows);
  GDALRasterIOExtraArg extra;
  INIT_RASTERIO_EXTRA_ARG(extra);
  extra.eResampleAlg = GRIORA_NearestNeighbour;
  if (band->RasterIO(GF_Read, c0, r0, c1 - c0, r1 - r0, cells.data(), outColumns, outRows, GDT_Float64, 0, 0,
                     &extra) != CE_None)
    return;
  int hasNoData = FALSE;
  const double noData = band->GetNoDataValue(&hasNoData);
  // The stretch's ends from overviews or a sample of the blocks: the map is drawn at each
  // pan and zoom, and exact ends would read the whole raster every time.
  double range[2];
  if (band->ComputeRasterMinMax(TRUE, range) != CE_None) return;
  std::vector<DWORD> table;
  if (const GDALColorTable* colours = band->GetColorTable())
    for (int i = 0; i < colours->GetColorEntryCount(); ++i) {
      const GDALColorEntry* e = colours->GetColorEntry(i);
      table.push_back(static_cast<DWORD>(e->c4) << 24 | static_cast<DWORD>(e->c1) << 16 |
                      static_cast<DWORD>(e->c2) << 8 | static_cast<DWORD>(e->c3));
    }
  const bool classes = IsWholeNumberType(band->GetRasterDataType()) && range[1] - range[0] < kMostClasses;
  std::vector<DWORD> pixels(cells.size());
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const double v = cells[i];
    if ((hasNoData && v == noData) || std::isnan(v)) continue;  // clear
    if (!table.empty()) {
      const auto entry = static_cast<std::size_t>(std::max(0.0, v));
      if (entry < table.size()) pixels[i] = table[entry];
      continue;
    }
    if (classes) {
      pixels[i] = 0xFF000000u | kClassColours[static_cast<std::size_t>(std::lround(v - range[0])) % std::size(kClassColours)];
      continue;
    }
    const double t = range[1] > range[0] ? (v - range[0]) / (range[1] - range[0]) : 0.5;
    const auto grey = static_cast<DWORD>(std::lround(40 + 200 * std::clamp(t, 0.0, 1.0)));
    pixels[i] = 0xFF000000u | (grey << 16) | (grey << 8) | grey;
  }
  // The image's rows run as the raster's do; a south-up raster is turned over.
  if (gt[5] > 0)
    for (int r = 0; r < outRows / 2; ++r)
      std::swap_ranges(pixels.begin() + static_cast<long>(r) * outColumns,
                       pixels.begin() + static_cast<long>(r + 1) * outColumns,
                       pixels.begin() + static_cast<long>(outRows - 1 - r) * outColumns);
  const double x[] = {gt[0] + c0 * gt[1], gt[0] + c1 * gt[1]};
  const double y[] = {gt[3] + r0 * gt[5], gt[3] + r1 * gt[5]};
  const auto extent = NewEnvelope(std::min(x[0], x[1]), std::min(y[0], y[1]), std::max(x[0], x[1]), std::max(y[0], y[1]));
  display->DrawPixels(extent.get(), outColumns, outRows, pixels.data());
}

void DrawFeatures(FeatureLayer* layer, Display* display) {
  com::ComPtr<FeatureClass> featureClass;
  com::ComPtr<FeatureCursor> cursor;
  if (FAILED(layer->get_FeatureClass(featureClass.put())) || !featureClass ||
      FAILED(featureClass->Search(VARIANT_TRUE, cursor.put())) || !cursor)
    return;
  auto marker = NewSymbol<MarkerSymbol>(CLSID_SimpleMarkerSymbol);
  auto line = NewSymbol<LineSymbol>(CLSID_SimpleLineSymbol);
  auto fill = NewSymbol<FillSymbol>(CLSID_SimpleFillSymbol);
  if (!marker || !line || !fill) return;
  marker->put_Size(5);
  marker->put_Color(0xB22222);  // brick red
  line->put_Color(0x1F5FBF);    // blue
  line->put_Width(1.2);
  fill->put_Style(kFillHollow);
  fill->put_OutlineColor(0x2E8B57);  // green
  fill->put_OutlineWidth(1.2);
  LONG current = -1;
  com::ComPtr<Feature> feature;
  while (SUCCEEDED(cursor->NextFeature(feature.put())) && feature) {
    com::ComPtr<Geometry> shape;
    LONG type = kGeometryNull;
    if (FAILED(feature->get_Shape(shape.put())) || !shape || FAILED(shape->get_GeometryType(&type))) continue;
    if (type != current) {
      current = type;
      display->SetSymbol(type == kGeometryPoint      ? static_cast<Symbol*>(marker.get())
                         : type == kGeometryPolygon ? static_cast<Symbol*>(fill.get())
                                                    : static_cast<Symbol*>(line.get()));
    }
    if (type == kGeometryPoint)
      display->DrawPoint(shape.get());
    else if (type == kGeometryPolygon)
      display->DrawPolygon(shape.get());
    else
      display->DrawPolyline(shape.get());
  }
}

void DrawElements(const std::vector<com::ComPtr<GraphicElement>>& elements, Display* display, HostColor outline) {
  if (elements.empty()) return;
  auto fill = NewSymbol<FillSymbol>(CLSID_SimpleFillSymbol);
  if (!fill) return;
  fill->put_Style(kFillHollow);
  fill->put_OutlineColor(outline);
  display->SetSymbol(fill.get());
  for (const auto& element : elements) {
    com::ComPtr<Geometry> geometry;
    if (FAILED(element->get_Geometry(geometry.put())) || !geometry) continue;
    if (auto rectangle = geometry.query<Envelope>())
      display->DrawRectangle(rectangle.get());
    else
      display->DrawPolygon(geometry.get());
  }
}

}  // namespace

std::optional<MapExtent> ExtentOfLayers(const std::vector<com::ComPtr<Layer>>& layers) {
  std::vector<com::ComPtr<Layer>> flat;
  Flatten(layers, flat);
  std::optional<MapExtent> all;
  for (const auto& layer : flat) {
    const auto e = ExtentOf(layer.get());
    if (!e || !(e->xMax >= e->xMin) || !(e->yMax >= e->yMin)) continue;
    if (!all) {
      all = e;
      continue;
    }
    all = MapExtent{std::min(all->xMin, e->xMin), std::min(all->yMin, e->yMin), std::max(all->xMax, e->xMax),
                    std::max(all->yMax, e->yMax)};
  }
  return all;
}

void DrawPhase(LONG phase, Display* display, const std::vector<com::ComPtr<Layer>>& layers,
               const std::vector<com::ComPtr<GraphicElement>>& elements,
               const std::vector<com::ComPtr<GraphicElement>>& selected, const std::function<bool(Layer*)>& shown) {
  if (!display) return;
  switch (phase) {
    case kViewBackground: {
      auto paper = NewSymbol<FillSymbol>(CLSID_SimpleFillSymbol);
      const auto bounds = VisibleBounds(display);
      if (!paper || !bounds) return;
      paper->put_Color(0xFFFFFF);
      paper->put_OutlineWidth(0);
      display->SetSymbol(paper.get());
      display->DrawRectangle(bounds.get());
      return;
    }
    case kViewGeography: {
      std::vector<com::ComPtr<Layer>> flat;
      Flatten(layers, flat, shown);
      for (auto it = flat.rbegin(); it != flat.rend(); ++it) {
        if (auto raster = it->query<RasterLayer>())
          DrawRaster(raster.get(), display);
        else if (auto features = it->query<FeatureLayer>())
          DrawFeatures(features.get(), display);
      }
      return;
    }
    case kViewGraphics: DrawElements(elements, display, 0x000000); return;
    case kViewGraphicSelection: DrawElements(selected, display, 0x00B7EB); return;  // cyan
    default: return;
  }
}

}  // namespace hostapp
