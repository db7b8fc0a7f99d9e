// The map canvas: shows the focus map's view, drawn by the host on a painting display of
// the canvas's size, with the view's after-draw events raised on every redraw (so what
// others draw on the map follows it); pans (the pan tool, or the middle button with any
// tool) and zooms (the wheel, about the cursor); draws rectangles as the view's graphic
// elements and selects them (the first selected is the dominant element).
#pragma once

#include <QPointF>
#include <QRectF>
#include <QTransform>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "com/ptr.h"
#include "hostapp/objects.h"
#include "hostapp/painter.h"

namespace plenth::map {

class MapCanvas final : public QWidget {
  Q_OBJECT

 public:
  enum class Tool { Select, Pan, Rectangle };

  explicit MapCanvas(QWidget* parent = nullptr);

  // The view to show (the focus map); asked on every redraw.
  void SetView(std::function<hostapp::HostMap*()> view) { view_ = std::move(view); }

  void SetTool(Tool tool);
  Tool tool() const { return tool_; }

  // Draws the view anew on the next paint (the map or its layers changed). Other paints,
  // such as a rectangle being dragged out, show the view as last drawn.
  void Redraw();

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
  // The display the view was last drawn on (empty before the first redraw).
  hostapp::PainterDisplay* display() const { return display_.get(); }

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

  // Puts the rectangles and their selection into the view's graphics.
  void ShowElementsInView();

  std::function<hostapp::HostMap*()> view_;
  com::ComPtr<hostapp::PainterDisplay> display_;
  hostapp::HostMap* shownOn_ = nullptr;  // the view the elements were put into
  std::vector<com::ComPtr<GraphicElement>> viewElements_;
  Tool tool_ = Tool::Select;
  QPointF centre_{0, 0};
  double unitsPerPixel_ = 1;
  std::vector<QRectF> elements_;
  std::vector<int> selection_;
  // A drag in progress: where it began and where it is now, in pixels.
  std::optional<QPointF> dragFrom_;
  QPointF dragTo_;
  bool panning_ = false;
  // The canvas is drawing the view itself (a refresh then needs no repaint).
  bool painting_ = false;
  // The view's picture on the display is out of date.
  bool stale_ = true;
};

}  // namespace plenth::map
