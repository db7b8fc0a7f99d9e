#include "apps/plenth-map/layerdrawing.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <QImage>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <vector>

namespace plenth::map {

namespace {

// A raster with at most this many whole-number values is drawn in class colours.
constexpr double kMostClasses = 40;

const QColor kFeatureColours[] = {{200, 30, 30}, {30, 90, 200}, {20, 140, 60}, {160, 60, 170},
                                  {220, 120, 0},  {0, 150, 150}, {120, 80, 40}, {90, 90, 90}};
const QColor kClassColours[] = {{230, 25, 75},  {60, 180, 75},  {255, 225, 25}, {0, 130, 200},
                                {245, 130, 48}, {145, 30, 180}, {70, 240, 240}, {240, 50, 230},
                                {210, 245, 60}, {250, 190, 212}, {0, 128, 128}, {220, 190, 255},
                                {170, 110, 40}, {255, 250, 200}, {128, 0, 0},   {170, 255, 195}};

bool IsWholeNumberType(GDALDataType type) {
  switch (type) {
    case GDT_Byte: case GDT_UInt16: case GDT_Int16: case GDT_UInt32: case GDT_Int32: return true;
    default: return false;
  }
}

}  // namespace

QColor FeatureColour(int n) { return kFeatureColours[static_cast<std::size_t>(n) % std::size(kFeatureColours)]; }
QColor ClassColour(int n) { return kClassColours[static_cast<std::size_t>(n) % std::size(kClassColours)]; }

struct LayerDrawing::Source {
  GDALDatasetUniquePtr dataset;
  bool raster = false;
  QRectF extent;  // map units, top smaller than bottom
  double transform[6] = {};
  std::optional<double> noData;
  double low = 0, high = 0;
  bool classes = false;
  std::vector<QRgb> colourTable;  // a raster's own colour table, by value
};

LayerDrawing::LayerDrawing() = default;
LayerDrawing::~LayerDrawing() = default;

LayerDrawing::Source* LayerDrawing::Open(const std::string& file) {
  if (auto found = sources_.find(file); found != sources_.end()) return found->second.get();
  auto source = std::make_unique<Source>();
  source->dataset.reset(GDALDataset::Open(file.c_str(), GDAL_OF_RASTER | GDAL_OF_VECTOR | GDAL_OF_READONLY));
  if (!source->dataset) return nullptr;
  GDALDataset& ds = *source->dataset;
  if (ds.GetRasterCount() > 0) {
    source->raster = true;
    if (ds.GetGeoTransform(source->transform) != CE_None) {
      const double identity[6] = {0, 1, 0, 0, 0, -1};
      std::copy(std::begin(identity), std::end(identity), source->transform);
    }
    const double* t = source->transform;
    const double x0 = t[0], y0 = t[3], x1 = t[0] + t[1] * ds.GetRasterXSize(), y1 = t[3] + t[5] * ds.GetRasterYSize();
    source->extent = QRectF(QPointF(std::min(x0, x1), std::min(y0, y1)), QPointF(std::max(x0, x1), std::max(y0, y1)));
    GDALRasterBand* band = ds.GetRasterBand(1);
    int hasNoData = 0;
    const double noData = band->GetNoDataValue(&hasNoData);
    if (hasNoData) source->noData = noData;
    double stats[2] = {0, 0};
    if (band->ComputeRasterMinMax(FALSE, stats) == CE_None) {
      source->low = stats[0];
      source->high = stats[1];
    }
    if (const GDALColorTable* table = band->GetColorTable()) {
      for (int i = 0; i < table->GetColorEntryCount(); ++i) {
        const GDALColorEntry* e = table->GetColorEntry(i);
        source->colourTable.push_back(qRgba(e->c1, e->c2, e->c3, e->c4));
      }
    }
    source->classes = !source->colourTable.empty() ||
                      (IsWholeNumberType(band->GetRasterDataType()) && source->high - source->low < kMostClasses);
  } else {
    OGREnvelope whole;
    bool any = false;
    for (OGRLayer* layer : ds.GetLayers()) {
      OGREnvelope e;
      if (layer->GetExtent(&e, TRUE) != OGRERR_NONE) continue;
      if (any) whole.Merge(e); else whole = e;
      any = true;
    }
    if (!any) return nullptr;
    source->extent = QRectF(QPointF(whole.MinX, whole.MinY), QPointF(whole.MaxX, whole.MaxY));
  }
  return sources_.emplace(file, std::move(source)).first->second.get();
}

std::optional<QRectF> LayerDrawing::ExtentOf(const std::string& file) {
  const Source* source = Open(file);
  if (!source) return std::nullopt;
  return source->extent;
}

void LayerDrawing::Forget(const std::string& file) { sources_.erase(file); }

bool LayerDrawing::Draw(QPainter& painter, const std::string& file, const QTransform& mapToDevice, const QRectF& visible,
                        const QColor& colour) {
  Source* source = Open(file);
  if (!source) return false;
  return source->raster ? DrawRaster(painter, *source, mapToDevice, visible)
                        : DrawFeatures(painter, *source, mapToDevice, visible, colour);
}

bool LayerDrawing::DrawRaster(QPainter& painter, Source& source, const QTransform& mapToDevice, const QRectF& visible) {
  const QRectF shown = source.extent.intersected(visible);
  if (shown.isEmpty()) return true;
  GDALDataset& ds = *source.dataset;
  const double* t = source.transform;
  // The cells under the visible part of the map, whole cells only.
  const auto column = [&](double x) { return (x - t[0]) / t[1]; };
  const auto row = [&](double y) { return (y - t[3]) / t[5]; };
  int c0 = static_cast<int>(std::floor(std::min(column(shown.left()), column(shown.right()))));
  int c1 = static_cast<int>(std::ceil(std::max(column(shown.left()), column(shown.right()))));
  int r0 = static_cast<int>(std::floor(std::min(row(shown.top()), row(shown.bottom()))));
  int r1 = static_cast<int>(std::ceil(std::max(row(shown.top()), row(shown.bottom()))));
  c0 = std::clamp(c0, 0, ds.GetRasterXSize());
  c1 = std::clamp(c1, 0, ds.GetRasterXSize());
  r0 = std::clamp(r0, 0, ds.GetRasterYSize());
  r1 = std::clamp(r1, 0, ds.GetRasterYSize());
  if (c1 <= c0 || r1 <= r0) return true;
  const QRectF cellsInMap(QPointF(t[0] + c0 * t[1], t[3] + r0 * t[5]), QPointF(t[0] + c1 * t[1], t[3] + r1 * t[5]));
  const QRectF target = mapToDevice.mapRect(cellsInMap.normalized());
  // Never more values than cells, nor than pixels on the screen.
  const int width = std::clamp(static_cast<int>(std::ceil(target.width())), 1, c1 - c0);
  const int height = std::clamp(static_cast<int>(std::ceil(target.height())), 1, r1 - r0);
  std::vector<double> values(static_cast<std::size_t>(width) * height);
  if (ds.GetRasterBand(1)->RasterIO(GF_Read, c0, r0, c1 - c0, r1 - r0, values.data(), width, height, GDT_Float64, 0, 0) !=
      CE_None)
    return false;
  QImage image(width, height, QImage::Format_ARGB32);
  const double span = source.high > source.low ? source.high - source.low : 1;
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const double v = values[static_cast<std::size_t>(y) * width + x];
      if (std::isnan(v) || (source.noData && v == *source.noData)) {
        line[x] = qRgba(0, 0, 0, 0);
      } else if (!source.colourTable.empty()) {
        const auto i = static_cast<std::size_t>(std::max(0.0, v));
        line[x] = i < source.colourTable.size() ? source.colourTable[i] : qRgba(0, 0, 0, 0);
      } else if (source.classes) {
        line[x] = ClassColour(static_cast<int>(std::lround(v - source.low))).rgb();
      } else {
        const int grey = std::clamp(static_cast<int>(std::lround((v - source.low) / span * 255)), 0, 255);
        line[x] = qRgb(grey, grey, grey);
      }
    }
  }
  painter.drawImage(target, image);
  return true;
}

namespace {

QPolygonF Ring(const OGRSimpleCurve& curve, const QTransform& mapToDevice) {
  QPolygonF ring;
  ring.reserve(curve.getNumPoints());
  for (int i = 0; i < curve.getNumPoints(); ++i) ring << mapToDevice.map(QPointF(curve.getX(i), curve.getY(i)));
  return ring;
}

void DrawGeometry(QPainter& painter, const OGRGeometry& geometry, const QTransform& mapToDevice) {
  switch (wkbFlatten(geometry.getGeometryType())) {
    case wkbPoint: {
      const auto* p = geometry.toPoint();
      painter.save();
      painter.setBrush(painter.pen().color());
      painter.drawEllipse(mapToDevice.map(QPointF(p->getX(), p->getY())), 3.0, 3.0);
      painter.restore();
      break;
    }
    case wkbLineString: painter.drawPolyline(Ring(*geometry.toLineString(), mapToDevice)); break;
    case wkbPolygon: {
      QPainterPath path;
      path.setFillRule(Qt::OddEvenFill);
      for (const OGRLinearRing* ring : *geometry.toPolygon()) path.addPolygon(Ring(*ring, mapToDevice));
      painter.drawPath(path);
      break;
    }
    case wkbMultiPoint: case wkbMultiLineString: case wkbMultiPolygon: case wkbGeometryCollection:
      for (const OGRGeometry* part : *geometry.toGeometryCollection()) DrawGeometry(painter, *part, mapToDevice);
      break;
    default: break;
  }
}

}  // namespace

bool LayerDrawing::DrawFeatures(QPainter& painter, Source& source, const QTransform& mapToDevice, const QRectF& visible,
                                const QColor& colour) {
  painter.save();
  QColor fill = colour;
  fill.setAlpha(70);
  painter.setPen(QPen(colour, 1.5));
  painter.setBrush(fill);
  for (OGRLayer* layer : source.dataset->GetLayers()) {
    layer->SetSpatialFilterRect(visible.left(), visible.top(), visible.right(), visible.bottom());
    layer->ResetReading();
    for (const auto& feature : *layer)
      if (const OGRGeometry* geometry = feature->GetGeometryRef()) DrawGeometry(painter, *geometry, mapToDevice);
    layer->SetSpatialFilter(nullptr);
  }
  painter.restore();
  return true;
}

}  // namespace plenth::map
