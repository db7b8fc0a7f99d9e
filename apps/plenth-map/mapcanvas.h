// The map canvas: draws the layers of the focus map, the last layer first so that the
// first lies on top; pans (the pan tool, or the middle button with any tool) and zooms
// (the wheel, about the cursor); draws rectangles as graphic elements and selects them.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QTransform>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "apps/plenth-map/layerdrawing.h"

namespace plenth::map {

// One layer's data as the canvas draws it.
struct DrawnLayer {
  std::string file;
  QColor colour;
};

class MapCanvas final : public QWidget {
  Q_OBJECT

 public:
  enum class Tool { Select, Pan, Rectangle };

  explicit MapCanvas(QWidget* parent = nullptr);

  // What to draw, topmost first; asked on every redraw.
  void SetLayerSource(std::function<std::vector<DrawnLayer>()> source) { layers_ = std::move(source); }
  // Called after the layers and the graphic elements are drawn, with the painter still
  // open: what others draw on the map follows every redraw.
  void SetAfterDraw(std::function<void(QPainter&)> afterDraw) { afterDraw_ = std::move(afterDraw); }

  void SetTool(Tool tool);
  Tool tool() const { return tool_; }

  // Shows the whole of every layer; nothing changes when no layer has an extent.
  void ZoomToLayers();
  // Shows this part of the map, whole, centred.
  void ZoomTo(const QRectF& extent);
  // Zooms in (factor above 1) or out about a point of the widget.
  void ZoomBy(double factor, QPointF about);
  void PanBy(QPointF pixels);

  // The visible part of the map, and the transformation from map units to pixels.
  QRectF VisibleExtent() const;
  QTransform MapToDevice() const;
  double UnitsPerPixel() const { return unitsPerPixel_; }
  LayerDrawing& drawing() { return drawing_; }

  // The rectangles drawn, in map units, and which are selected: the dominant one first.
  const std::vector<QRectF>& elements() const { return elements_; }
  const std::vector<int>& selection() const { return selection_; }
  std::optional<int> Dominant() const;
  void AddElement(const QRectF& rectangle);
  void Select(std::vector<int> selection);
  void DeleteSelected();

 signals:
  void ViewChanged();
  void SelectionChanged();
  // The map position under the cursor.
  void CursorAt(QPointF map);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QPointF ToMap(QPointF device) const;
  int ElementAt(QPointF device) const;

  std::function<std::vector<DrawnLayer>()> layers_;
  std::function<void(QPainter&)> afterDraw_;
  LayerDrawing drawing_;
  Tool tool_ = Tool::Select;
  QPointF centre_{0, 0};
  double unitsPerPixel_ = 1;
  std::vector<QRectF> elements_;
  std::vector<int> selection_;
  // A drag in progress: where it began and where it is now, in pixels.
  std::optional<QPointF> dragFrom_;
  QPointF dragTo_;
  bool panning_ = false;
};

}  // namespace plenth::map
