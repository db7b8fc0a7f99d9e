// How the map application draws a layer's data: a raster through GDAL, grey from its
// lowest to its highest value or, for a few classes, in class colours (its own colour
// table when it has one), no-data left clear; the points, lines and polygons of a
// shapefile in the layer's colour. Only what lies in view is read.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QTransform>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace plenth::map {

// The colour of the n-th layer's features.
QColor FeatureColour(int n);
// The colour of a raster's class, by its place among the classes.
QColor ClassColour(int n);

class LayerDrawing {
 public:
  LayerDrawing();
  ~LayerDrawing();
  LayerDrawing(const LayerDrawing&) = delete;
  LayerDrawing& operator=(const LayerDrawing&) = delete;

  // The extent of a raster's or a shapefile's data in map units, or nothing.
  std::optional<QRectF> ExtentOf(const std::string& file);
  // Draws what of the file lies in the visible part of the map; mapToDevice takes map
  // units to the painter's pixels. False when the file cannot be read.
  bool Draw(QPainter& painter, const std::string& file, const QTransform& mapToDevice, const QRectF& visible,
            const QColor& colour);
  // Forgets what was read of a file (it was written anew).
  void Forget(const std::string& file);

 private:
  struct Source;
  Source* Open(const std::string& file);
  bool DrawRaster(QPainter& painter, Source& source, const QTransform& mapToDevice, const QRectF& visible);
  bool DrawFeatures(QPainter& painter, Source& source, const QTransform& mapToDevice, const QRectF& visible,
                    const QColor& colour);

  std::map<std::string, std::unique_ptr<Source>> sources_;
};

}  // namespace plenth::map
