// The simulated host's displays: the transformation between map and device coordinates
// that every display has, a display that records every call made on it (for tests), and
// a display that paints on an image with Qt (hostapp/painter.h, hostapp/picture.h).
#pragma once

#include <string>
#include <vector>

#include "com/object.h"
#include "hostapi/view.h"

namespace hostapp {

// A device frame of width x height pixels showing a map extent at one scale.
class HostDisplayTransformation final : public com::ComClass<HostDisplayTransformation, DisplayTransformation> {
 public:
  HostDisplayTransformation(LONG width, LONG height);
  HRESULT FromMapPoint(Point* point, LONG* x, LONG* y) override;
  HRESULT ToMapPoint(LONG x, LONG y, Point** point) override;
  HRESULT get_VisibleBounds(Envelope** bounds) override;
  HRESULT put_VisibleBounds(Envelope* bounds) override;
  HRESULT get_DeviceFrame(LONG* width, LONG* height) override;
  HRESULT put_DeviceFrame(LONG width, LONG height) override;
  HRESULT get_Resolution(double* dpi) override;

  // Continuous device coordinates of a map point (pixel i spans i to i + 1).
  double DeviceX(double mapX) const { return (mapX - left_) / scale_; }
  double DeviceY(double mapY) const { return (top_ - mapY) / scale_; }
  // Map units per pixel.
  double scale() const { return scale_; }
  void ShowExtent(double xMin, double yMin, double xMax, double yMax);
  // The visible extent.
  double left() const { return left_; }
  double top() const { return top_; }
  double right() const { return left_ + width_ * scale_; }
  double bottom() const { return top_ - height_ * scale_; }
  LONG width() const { return width_; }
  LONG height() const { return height_; }
  // Pixels per point of a symbol size.
  double PixelsPerPoint() const { return kDpi / 72.0; }

 private:
  static constexpr double kDpi = 96.0;
  LONG width_, height_;
  double left_ = 0, top_ = 0, scale_ = 1;
};

// A symbol's settings as a display holds them when it is set.
struct SymbolState {
  enum class Kind { kNone, kFill, kMarker, kLine } kind = Kind::kNone;
  LONG style = 0;
  HostColor color = 0;
  HostColor outlineColor = 0;
  double size = 0;  // marker size, line width or outline width, in points
  bool operator==(const SymbolState&) const = default;
};
// The settings of any of the host's symbols (or of another's, through its contracts).
SymbolState ReadSymbol(Symbol* symbol);

// What a display has in common: its transformation and the symbol set on it.
template <class Derived>
class DisplayBase : public com::ComClass<Derived, Display> {
 public:
  DisplayBase(LONG width, LONG height) : transformation_(com::MakeObject<HostDisplayTransformation>(width, height)) {}
  HRESULT get_DisplayTransformation(DisplayTransformation** transformation) override {
    return com::Out(transformation_, transformation);
  }
  HRESULT SetSymbol(Symbol* symbol) override {
    if (!symbol) return E_POINTER;
    return com::Guard([&] { symbol_ = ReadSymbol(symbol); });
  }
  HostDisplayTransformation& transformation() { return *transformation_.get(); }
  const SymbolState& symbol() const { return symbol_; }

 protected:
  com::ComPtr<HostDisplayTransformation> transformation_;
  SymbolState symbol_;
};

// One call made on a recording display.
struct DisplayCall {
  enum class What { kStart, kFinish, kSymbol, kPoint, kRectangle, kPolyline, kPolygon, kPixels } what;
  SymbolState symbol;           // the symbol set (kSymbol) or in use (the drawings)
  std::vector<double> coords;   // x, y, ... in map units; a rectangle as xMin, yMin, xMax, yMax
  bool operator==(const DisplayCall&) const = default;
};
std::string Describe(const DisplayCall& call);  // "point 3 4", "symbol fill style 7", ...

// Records every call, in order, for a test to read.
class RecordingDisplay final : public DisplayBase<RecordingDisplay> {
 public:
  RecordingDisplay(LONG width = 800, LONG height = 600) : DisplayBase(width, height) {}
  HRESULT StartDrawing() override;
  HRESULT FinishDrawing() override;
  HRESULT DrawPoint(Geometry* point) override;
  HRESULT DrawRectangle(Envelope* rectangle) override;
  HRESULT DrawPolyline(Geometry* polyline) override;
  HRESULT DrawPolygon(Geometry* polygon) override;
  HRESULT DrawPixels(Envelope* extent, LONG width, LONG height, const DWORD* pixels) override;
  HRESULT SetSymbol(Symbol* symbol) override;

  const std::vector<DisplayCall>& calls() const { return calls_; }
  std::vector<DisplayCall> TakeCalls() { return std::exchange(calls_, {}); }

 private:
  void Record(DisplayCall::What what, std::vector<double> coords);
  std::vector<DisplayCall> calls_;
};

// The vertices of a point, polyline or polygon: one path per part (a ring per polygon
// ring), as x, y pairs.
std::vector<std::vector<double>> PathsOf(Geometry* geometry);

}  // namespace hostapp
