// A display that paints with Qt's QPainter on an image: what the host shows, saved as a
// picture. It needs no screen (QImage painting works without a running application).
#pragma once

#include <memory>
#include <string>

#include "hostapp/display.h"

class QImage;
class QPainter;

namespace hostapp {

class PainterDisplay final : public DisplayBase<PainterDisplay> {
 public:
  PainterDisplay(LONG width, LONG height);
  ~PainterDisplay() override;

  // A pass of drawing keeps one painter open; a drawing outside a pass opens its own.
  HRESULT StartDrawing() override;
  HRESULT FinishDrawing() override;
  HRESULT DrawPoint(Geometry* point) override;
  HRESULT DrawRectangle(Envelope* rectangle) override;
  HRESULT DrawPolyline(Geometry* polyline) override;
  HRESULT DrawPolygon(Geometry* polygon) override;
  HRESULT DrawPixels(Envelope* extent, LONG width, LONG height, const DWORD* pixels) override;

  // Fills the whole image with a colour (the view's background).
  void Clear(HostColor color);
  // Writes the image as a PNG file; false when it cannot be written.
  bool SavePng(const std::string& path) const;
  // The colour of one pixel (0xAARRGGBB), for tests.
  DWORD PixelAt(int x, int y) const;
  const QImage& image() const { return *image_; }

 private:
  // Runs `paint` with the open painter, or a painter of its own.
  template <class Paint>
  HRESULT WithPainter(Paint&& paint);
  void DrawPaths(Geometry* geometry, bool closed);

  std::unique_ptr<QImage> image_;
  std::unique_ptr<QPainter> painter_;  // during a pass of drawing
};

}  // namespace hostapp

// The library's entry points for a host that loads it only when it draws a picture
// (hostapp/picture.h): a new white PainterDisplay, handed out as its Display; and the PNG
// of a display made so (nonzero when written).
extern "C" {
HRESULT PlenthCreatePainterDisplay(LONG width, LONG height, Display** display);
int PlenthSavePainterPng(Display* display, const char* path);
}
