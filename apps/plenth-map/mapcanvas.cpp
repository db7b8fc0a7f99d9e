#include "apps/plenth-map/mapcanvas.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "hostapp/graphics.h"
#include "hostapp/mapdraw.h"

namespace plenth::map {

namespace {

// A press and release closer than this many pixels is a click, not a drag.
constexpr double kClickDistance = 3;

}  // namespace

MapCanvas::MapCanvas(QWidget* parent) : QWidget(parent) {
  setMinimumSize(320, 240);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(false);
}

void MapCanvas::Redraw() {
  stale_ = true;
  update();
}

void MapCanvas::SetTool(Tool tool) {
  tool_ = tool;
  dragFrom_.reset();
  setCursor(tool == Tool::Pan ? Qt::OpenHandCursor : tool == Tool::Rectangle ? Qt::CrossCursor : Qt::ArrowCursor);
  update();
}

QTransform MapCanvas::MapToDevice() const {
  // Map y grows northwards, pixel y downwards.
  const double s = 1.0 / unitsPerPixel_;
  return QTransform(s, 0, 0, -s, width() / 2.0 - centre_.x() * s, height() / 2.0 + centre_.y() * s);
}

QPointF MapCanvas::ToMap(QPointF device) const { return MapToDevice().inverted().map(device); }

QRectF MapCanvas::VisibleExtent() const { return QRectF(ToMap(QPointF(0, height())), ToMap(QPointF(width(), 0))).normalized(); }

void MapCanvas::ZoomTo(const QRectF& extent) {
  if (extent.isNull() || width() <= 0 || height() <= 0) return;
  centre_ = extent.center();
  const double across = extent.width() / width(), down = extent.height() / height();
  unitsPerPixel_ = std::max({across, down, 1e-9}) * 1.05;
  Redraw();
  emit ViewChanged();
}

void MapCanvas::ZoomToLayers() {
  hostapp::HostMap* view = view_ ? view_() : nullptr;
  if (!view) return;
  if (const auto all = hostapp::ExtentOfLayers(view->layers()))
    ZoomTo(QRectF(QPointF(all->xMin, all->yMin), QPointF(all->xMax, all->yMax)));
}

void MapCanvas::ZoomBy(double factor, QPointF about) {
  if (factor <= 0) return;
  const QPointF fixed = ToMap(about);
  unitsPerPixel_ /= factor;
  // The map point under `about` stays under it.
  centre_ = fixed + (centre_ - fixed) / factor;
  Redraw();
  emit ViewChanged();
}

void MapCanvas::PanBy(QPointF pixels) {
  centre_ -= QPointF(pixels.x(), -pixels.y()) * unitsPerPixel_;
  Redraw();
  emit ViewChanged();
}

std::optional<int> MapCanvas::Dominant() const {
  if (selection_.empty()) return std::nullopt;
  return selection_.front();
}

void MapCanvas::AddElement(const QRectF& rectangle) {
  elements_.push_back(rectangle.normalized());
  Select({static_cast<int>(elements_.size()) - 1});
}

void MapCanvas::Select(std::vector<int> selection) {
  std::erase_if(selection, [&](int i) { return i < 0 || i >= static_cast<int>(elements_.size()); });
  selection_ = std::move(selection);
  ShowElementsInView();
  Redraw();
  emit SelectionChanged();
}

void MapCanvas::ShowElementsInView() {
  hostapp::HostMap* view = view_ ? view_() : nullptr;
  if (!view) return;
  if (shownOn_ == view) {
    // Elements drawn since the last time join the view's graphics; the deleted leave it.
    if (viewElements_.size() != elements_.size()) {
      view->DeleteAllElements();
      viewElements_.clear();
    }
  } else {
    viewElements_.clear();
  }
  shownOn_ = view;
  if (viewElements_.empty())
    for (const QRectF& r : elements_) {
      viewElements_.push_back(hostapp::MakeRectangleElement(r.left(), r.top(), r.right(), r.bottom()));
      view->AddElement(viewElements_.back().get());
    }
  view->UnselectAllElements();
  for (int i : selection_) view->SelectElement(viewElements_[i].get());
  if (!selection_.empty()) view->put_DominantElement(viewElements_[selection_.front()].get());
}

void MapCanvas::DeleteSelected() {
  std::vector<int> gone = selection_;
  std::sort(gone.rbegin(), gone.rend());
  for (int i : gone) elements_.erase(elements_.begin() + i);
  Select({});
}

int MapCanvas::ElementAt(QPointF device) const {
  const QTransform t = MapToDevice();
  // The last drawn lies on top.
  for (int i = static_cast<int>(elements_.size()) - 1; i >= 0; --i)
    if (t.mapRect(elements_[i]).adjusted(-kClickDistance, -kClickDistance, kClickDistance, kClickDistance).contains(device))
      return i;
  return -1;
}

void MapCanvas::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  hostapp::HostMap* view = view_ ? view_() : nullptr;
  if (!view || width() <= 0 || height() <= 0) {
    painter.fillRect(rect(), Qt::white);
    return;
  }
  if (!display_ || display_->transformation().width() != width() || display_->transformation().height() != height()) {
    display_ = com::MakeObject<hostapp::PainterDisplay>(width(), height());
    stale_ = true;
  }
  if (view->display() != display_.get()) {
    view->SetDisplay(display_.get());
    stale_ = true;
  }
  if (shownOn_ != view) {
    ShowElementsInView();
    stale_ = true;
  }
  // When anyone else refreshes the view (a tool's preview), it is drawn on this display:
  // the canvas shows it.
  view->onRefreshed = [canvas = QPointer<MapCanvas>(this)] {
    if (canvas && !canvas->painting_) canvas->update();
  };
  if (stale_) {
    const QRectF visible = VisibleExtent();
    display_->transformation().ShowExtent(visible.left(), visible.top(), visible.right(), visible.bottom());
    // The host draws the view and raises its after-draw events.
    painting_ = true;
    view->Refresh();
    painting_ = false;
    stale_ = false;
  }
  painter.drawImage(0, 0, display_->image());
  if (dragFrom_ && !panning_ && (tool_ == Tool::Rectangle || tool_ == Tool::Select)) {
    painter.setPen(QPen(QColor(0, 90, 200), 1, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(*dragFrom_, dragTo_).normalized());
  }
}

void MapCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton && event->button() != Qt::MiddleButton) return;
  dragFrom_ = dragTo_ = event->position();
  panning_ = event->button() == Qt::MiddleButton || tool_ == Tool::Pan;
  if (panning_) setCursor(Qt::ClosedHandCursor);
}

void MapCanvas::mouseMoveEvent(QMouseEvent* event) {
  emit CursorAt(ToMap(event->position()));
  if (!dragFrom_) return;
  if (panning_) {
    PanBy(event->position() - dragTo_);
    dragTo_ = event->position();
    return;
  }
  dragTo_ = event->position();
  update();
}

void MapCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragFrom_) return;
  const QPointF from = *dragFrom_, to = event->position();
  dragFrom_.reset();
  if (panning_) {
    panning_ = false;
    PanBy(to - dragTo_);
    SetTool(tool_);
    return;
  }
  const bool click = QLineF(from, to).length() < kClickDistance;
  if (tool_ == Tool::Rectangle) {
    if (!click) AddElement(QRectF(ToMap(from), ToMap(to)));
    update();
    return;
  }
  // The select tool: a click picks the element under it (Shift adds it to the selection,
  // or takes it out); a drag picks every element inside the dragged box.
  std::vector<int> picked;
  if (click) {
    if (const int i = ElementAt(to); i >= 0) picked.push_back(i);
  } else {
    const QRectF box = QRectF(ToMap(from), ToMap(to)).normalized();
    for (int i = 0; i < static_cast<int>(elements_.size()); ++i)
      if (box.contains(elements_[i])) picked.push_back(i);
  }
  if (event->modifiers() & Qt::ShiftModifier) {
    std::vector<int> selection = selection_;
    for (int i : picked) {
      const auto found = std::find(selection.begin(), selection.end(), i);
      if (found != selection.end()) selection.erase(found); else selection.push_back(i);
    }
    picked = std::move(selection);
  }
  Select(std::move(picked));
}

void MapCanvas::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps != 0) ZoomBy(std::pow(1.25, steps), event->position());
}

void MapCanvas::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && !selection_.empty()) {
    DeleteSelected();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace plenth::map
