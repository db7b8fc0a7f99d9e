#include "hostapp/display.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "com/boundary.h"
#include "com/classes.h"
#include "gis/gis.h"

namespace hostapp {
namespace {

// A device coordinate as a pixel number, kept inside the range a LONG holds.
LONG Pixel(double device) {
  const double rounded = std::round(device);
  constexpr double lo = std::numeric_limits<LONG>::min(), hi = std::numeric_limits<LONG>::max();
  return static_cast<LONG>(std::clamp(rounded, lo, hi));
}

com::ComPtr<Envelope> NewEnvelope(double xMin, double yMin, double xMax, double yMax) {
  auto envelope = com::CreateInstance<Envelope>(CLSID_Envelope);
  if (envelope) envelope->PutCoords(xMin, yMin, xMax, yMax);
  return envelope;
}

}  // namespace

HostDisplayTransformation::HostDisplayTransformation(LONG width, LONG height)
    : width_(std::max<LONG>(width, 1)), height_(std::max<LONG>(height, 1)), top_(static_cast<double>(height_)) {}

HRESULT HostDisplayTransformation::FromMapPoint(Point* point, LONG* x, LONG* y) {
  if (!point || !x || !y) return E_POINTER;
  double mx = 0, my = 0;
  if (FAILED(point->get_X(&mx)) || FAILED(point->get_Y(&my))) return E_INVALIDARG;
  const double dx = DeviceX(mx), dy = DeviceY(my);
  if (!std::isfinite(dx) || !std::isfinite(dy)) return E_INVALIDARG;
  *x = Pixel(dx);
  *y = Pixel(dy);
  return S_OK;
}

HRESULT HostDisplayTransformation::ToMapPoint(LONG x, LONG y, Point** point) {
  if (!point) return E_POINTER;
  return com::Guard([&] {
    return com::Out(gis::MakePoint(left_ + (x + 0.5) * scale_, top_ - (y + 0.5) * scale_), point);
  });
}

HRESULT HostDisplayTransformation::get_VisibleBounds(Envelope** bounds) {
  if (!bounds) return E_POINTER;
  return com::Guard([&] { return com::Out(NewEnvelope(left(), bottom(), right(), top()), bounds); });
}

HRESULT HostDisplayTransformation::put_VisibleBounds(Envelope* bounds) {
  if (!bounds) return E_POINTER;
  double x0, y0, x1, y1;
  if (FAILED(bounds->QueryCoords(&x0, &y0, &x1, &y1))) return E_INVALIDARG;
  if (!(x1 > x0 || y1 > y0) || !std::isfinite(x1 - x0) || !std::isfinite(y1 - y0)) return E_INVALIDARG;
  ShowExtent(x0, y0, x1, y1);
  return S_OK;
}

void HostDisplayTransformation::ShowExtent(double xMin, double yMin, double xMax, double yMax) {
  scale_ = std::max((xMax - xMin) / width_, (yMax - yMin) / height_);
  const double cx = (xMin + xMax) / 2, cy = (yMin + yMax) / 2;
  left_ = cx - scale_ * width_ / 2;
  top_ = cy + scale_ * height_ / 2;
}

HRESULT HostDisplayTransformation::get_DeviceFrame(LONG* width, LONG* height) {
  if (!width || !height) return E_POINTER;
  *width = width_;
  *height = height_;
  return S_OK;
}

HRESULT HostDisplayTransformation::put_DeviceFrame(LONG width, LONG height) {
  if (width <= 0 || height <= 0) return E_INVALIDARG;
  const double cx = (left() + right()) / 2, cy = (top() + bottom()) / 2;
  width_ = width;
  height_ = height;
  left_ = cx - scale_ * width_ / 2;
  top_ = cy + scale_ * height_ / 2;
  return S_OK;
}

HRESULT HostDisplayTransformation::get_Resolution(double* dpi) { return com::Out(kDpi, dpi); }

SymbolState ReadSymbol(Symbol* symbol) {
  SymbolState state;
  if (!symbol) return state;
  symbol->get_Color(&state.color);
  com::ComPtr<Symbol> s(symbol);
  if (auto fill = s.query<FillSymbol>()) {
    state.kind = SymbolState::Kind::kFill;
    fill->get_Style(&state.style);
    fill->get_OutlineColor(&state.outlineColor);
    fill->get_OutlineWidth(&state.size);
  } else if (auto marker = s.query<MarkerSymbol>()) {
    state.kind = SymbolState::Kind::kMarker;
    marker->get_Style(&state.style);
    marker->get_Size(&state.size);
  } else if (auto line = s.query<LineSymbol>()) {
    state.kind = SymbolState::Kind::kLine;
    line->get_Width(&state.size);
  }
  return state;
}

std::vector<std::vector<double>> PathsOf(Geometry* geometry) {
  std::vector<std::vector<double>> paths;
  com::ComPtr<Geometry> g(geometry);
  if (auto point = g.query<Point>()) {
    double x = 0, y = 0;
    point->get_X(&x);
    point->get_Y(&y);
    paths.push_back({x, y});
    return paths;
  }
  if (auto envelope = g.query<Envelope>()) {
    double x0, y0, x1, y1;
    if (SUCCEEDED(envelope->QueryCoords(&x0, &y0, &x1, &y1))) paths.push_back({x0, y0, x0, y1, x1, y1, x1, y0, x0, y0});
    return paths;
  }
  auto segments = g.query<SegmentCollection>();
  if (!segments) return paths;
  LONG count = 0;
  segments->get_SegmentCount(&count);
  for (LONG i = 0; i < count; ++i) {
    com::ComPtr<Segment> segment;
    com::ComPtr<Point> from, to;
    if (FAILED(segments->get_Segment(i, segment.put())) || !segment) continue;
    segment->get_FromPoint(from.put());
    segment->get_ToPoint(to.put());
    if (!from || !to) continue;
    double fx, fy, tx, ty;
    from->get_X(&fx), from->get_Y(&fy), to->get_X(&tx), to->get_Y(&ty);
    // A segment that does not start where the last one ended begins a new part.
    if (paths.empty() || paths.back()[paths.back().size() - 2] != fx || paths.back().back() != fy)
      paths.push_back({fx, fy});
    paths.back().push_back(tx);
    paths.back().push_back(ty);
  }
  return paths;
}

std::string Describe(const DisplayCall& call) {
  static const char* const kinds[] = {"none", "fill", "marker", "line"};
  std::string text;
  switch (call.what) {
    case DisplayCall::What::kStart: return "start";
    case DisplayCall::What::kFinish: return "finish";
    case DisplayCall::What::kSymbol: {
      char buffer[96];
      std::snprintf(buffer, sizeof buffer, "symbol %s style %d size %g", kinds[static_cast<int>(call.symbol.kind)],
                    static_cast<int>(call.symbol.style), call.symbol.size);
      return buffer;
    }
    case DisplayCall::What::kPoint: text = "point"; break;
    case DisplayCall::What::kRectangle: text = "rectangle"; break;
    case DisplayCall::What::kPolyline: text = "polyline"; break;
    case DisplayCall::What::kPolygon: text = "polygon"; break;
    case DisplayCall::What::kPixels: text = "pixels"; break;
  }
  for (double v : call.coords) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, " %.15g", v);
    text += buffer;
  }
  return text;
}

void RecordingDisplay::Record(DisplayCall::What what, std::vector<double> coords) {
  calls_.push_back({what, symbol_, std::move(coords)});
}

HRESULT RecordingDisplay::StartDrawing() {
  return com::Guard([&] { Record(DisplayCall::What::kStart, {}); });
}
HRESULT RecordingDisplay::FinishDrawing() {
  return com::Guard([&] { Record(DisplayCall::What::kFinish, {}); });
}

HRESULT RecordingDisplay::SetSymbol(Symbol* symbol) {
  const HRESULT hr = DisplayBase::SetSymbol(symbol);
  if (SUCCEEDED(hr)) return com::Guard([&] { Record(DisplayCall::What::kSymbol, {}); });
  return hr;
}

HRESULT RecordingDisplay::DrawPoint(Geometry* point) {
  if (!point) return E_POINTER;
  return com::Guard([&] {
    auto paths = PathsOf(point);
    if (paths.size() != 1 || paths[0].size() != 2) return E_INVALIDARG;
    Record(DisplayCall::What::kPoint, std::move(paths[0]));
    return S_OK;
  });
}

HRESULT RecordingDisplay::DrawRectangle(Envelope* rectangle) {
  if (!rectangle) return E_POINTER;
  double x0, y0, x1, y1;
  if (FAILED(rectangle->QueryCoords(&x0, &y0, &x1, &y1))) return E_INVALIDARG;
  return com::Guard([&] { Record(DisplayCall::What::kRectangle, {x0, y0, x1, y1}); });
}

HRESULT RecordingDisplay::DrawPolyline(Geometry* polyline) {
  if (!polyline) return E_POINTER;
  return com::Guard([&] {
    std::vector<double> all;
    for (const auto& path : PathsOf(polyline)) all.insert(all.end(), path.begin(), path.end());
    Record(DisplayCall::What::kPolyline, std::move(all));
  });
}

HRESULT RecordingDisplay::DrawPolygon(Geometry* polygon) {
  if (!polygon) return E_POINTER;
  return com::Guard([&] {
    std::vector<double> all;
    for (const auto& path : PathsOf(polygon)) all.insert(all.end(), path.begin(), path.end());
    Record(DisplayCall::What::kPolygon, std::move(all));
  });
}

HRESULT RecordingDisplay::DrawPixels(Envelope* extent, LONG width, LONG height, const DWORD* pixels) {
  if (!extent || !pixels) return E_POINTER;
  double x0, y0, x1, y1;
  if (FAILED(extent->QueryCoords(&x0, &y0, &x1, &y1))) return E_INVALIDARG;
  return com::Guard([&] {
    Record(DisplayCall::What::kPixels, {x0, y0, x1, y1, static_cast<double>(width), static_cast<double>(height)});
  });
}

}  // namespace hostapp
