#include "hostapp/painter.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "com/boundary.h"

namespace hostapp {
namespace {

QColor ColorOf(HostColor color) { return QColor((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF); }

Qt::BrushStyle BrushOf(LONG style) {
  switch (style) {
    case kFillSolid: return Qt::SolidPattern;
    case kFillHollow: return Qt::NoBrush;
    case kFillHorizontal: return Qt::HorPattern;
    case kFillVertical: return Qt::VerPattern;
    case kFillForwardDiagonal: return Qt::BDiagPattern;  // rising to the right
    case kFillBackwardDiagonal: return Qt::FDiagPattern;
    case kFillCross: return Qt::CrossPattern;
    case kFillDiagonalCross: return Qt::DiagCrossPattern;
    default: return Qt::NoBrush;
  }
}

}  // namespace

PainterDisplay::PainterDisplay(LONG width, LONG height)
    : DisplayBase(width, height),
      image_(std::make_unique<QImage>(static_cast<int>(transformation().width()),
                                      static_cast<int>(transformation().height()), QImage::Format_ARGB32)) {
  Clear(0xFFFFFF);
}

PainterDisplay::~PainterDisplay() = default;

void PainterDisplay::Clear(HostColor color) { image_->fill(ColorOf(color)); }

bool PainterDisplay::SavePng(const std::string& path) const {
  return image_->save(QString::fromStdString(path), "PNG");
}

DWORD PainterDisplay::PixelAt(int x, int y) const { return static_cast<DWORD>(image_->pixel(x, y)); }

HRESULT PainterDisplay::StartDrawing() {
  return com::Guard([&] {
    if (!painter_) {
      painter_ = std::make_unique<QPainter>(image_.get());
      painter_->setRenderHint(QPainter::Antialiasing);
    }
  });
}

HRESULT PainterDisplay::FinishDrawing() {
  painter_.reset();
  return S_OK;
}

template <class Paint>
HRESULT PainterDisplay::WithPainter(Paint&& paint) {
  return com::Guard([&] {
    if (painter_) {
      paint(*painter_);
      return;
    }
    QPainter own(image_.get());
    own.setRenderHint(QPainter::Antialiasing);
    paint(own);
  });
}

HRESULT PainterDisplay::DrawPoint(Geometry* point) {
  if (!point) return E_POINTER;
  const auto paths = PathsOf(point);
  if (paths.size() != 1 || paths[0].size() != 2) return E_INVALIDARG;
  const double x = transformation().DeviceX(paths[0][0]), y = transformation().DeviceY(paths[0][1]);
  const double size = std::max(1.0, symbol_.size * transformation().PixelsPerPoint());
  return WithPainter([&](QPainter& p) {
    const QColor color = ColorOf(symbol_.color);
    const QRectF box(x - size / 2, y - size / 2, size, size);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    switch (symbol_.style) {
      case kMarkerSquare: p.drawRect(box); break;
      case kMarkerCross:
      case kMarkerX: {
        p.setPen(QPen(color, 1));
        const bool upright = symbol_.style == kMarkerCross;
        if (upright) {
          p.drawLine(QPointF(x - size / 2, y), QPointF(x + size / 2, y));
          p.drawLine(QPointF(x, y - size / 2), QPointF(x, y + size / 2));
        } else {
          p.drawLine(box.topLeft(), box.bottomRight());
          p.drawLine(box.bottomLeft(), box.topRight());
        }
        break;
      }
      case kMarkerDiamond: {
        const QPointF corners[] = {{x, y - size / 2}, {x + size / 2, y}, {x, y + size / 2}, {x - size / 2, y}};
        p.drawPolygon(corners, 4);
        break;
      }
      default: p.drawEllipse(box);
    }
  });
}

HRESULT PainterDisplay::DrawRectangle(Envelope* rectangle) {
  if (!rectangle) return E_POINTER;
  return com::Guard([&] { DrawPaths(rectangle, true); });
}

HRESULT PainterDisplay::DrawPolyline(Geometry* polyline) {
  if (!polyline) return E_POINTER;
  return com::Guard([&] { DrawPaths(polyline, false); });
}

HRESULT PainterDisplay::DrawPolygon(Geometry* polygon) {
  if (!polygon) return E_POINTER;
  return com::Guard([&] { DrawPaths(polygon, true); });
}

void PainterDisplay::DrawPaths(Geometry* geometry, bool closed) {
  QPainterPath path;
  path.setFillRule(Qt::OddEvenFill);  // a polygon's inner rings are holes
  for (const auto& part : PathsOf(geometry)) {
    for (std::size_t i = 0; i + 1 < part.size(); i += 2) {
      const QPointF at(transformation().DeviceX(part[i]), transformation().DeviceY(part[i + 1]));
      if (i == 0)
        path.moveTo(at);
      else
        path.lineTo(at);
    }
    if (closed) path.closeSubpath();
  }
  const double perPoint = transformation().PixelsPerPoint();
  WithPainter([&](QPainter& p) {
    if (closed) {
      p.setBrush(QBrush(ColorOf(symbol_.color), BrushOf(symbol_.style)));
      p.setPen(symbol_.size > 0 ? QPen(ColorOf(symbol_.outlineColor), symbol_.size * perPoint) : QPen(Qt::NoPen));
    } else {
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(ColorOf(symbol_.color), std::max(1.0, symbol_.size * perPoint)));
    }
    p.drawPath(path);
  });
}

HRESULT PainterDisplay::DrawPixels(Envelope* extent, LONG width, LONG height, const DWORD* pixels) {
  if (!extent || !pixels) return E_POINTER;
  if (width <= 0 || height <= 0) return E_INVALIDARG;
  double x0, y0, x1, y1;
  if (FAILED(extent->QueryCoords(&x0, &y0, &x1, &y1))) return E_INVALIDARG;
  const QImage picture(reinterpret_cast<const uchar*>(pixels), static_cast<int>(width), static_cast<int>(height),
                       static_cast<qsizetype>(width) * 4, QImage::Format_ARGB32);
  const QRectF target(QPointF(transformation().DeviceX(x0), transformation().DeviceY(y1)),
                      QPointF(transformation().DeviceX(x1), transformation().DeviceY(y0)));
  return WithPainter([&](QPainter& p) { p.drawImage(target, picture); });
}

}  // namespace hostapp

extern "C" HRESULT PlenthCreatePainterDisplay(LONG width, LONG height, Display** display) {
  if (!display) return E_POINTER;
  *display = nullptr;
  return com::Guard([&] { return com::Out(com::MakeObject<hostapp::PainterDisplay>(width, height), display); });
}

extern "C" int PlenthSavePainterPng(Display* display, const char* path) {
  return display && path && static_cast<hostapp::PainterDisplay*>(display)->SavePng(path) ? 1 : 0;
}
