#include "hostapp/symbols.h"

#include <cmath>

namespace hostapp {
namespace {
bool Size(double points) { return std::isfinite(points) && points >= 0; }
}  // namespace

HRESULT SimpleFillSymbol::put_Style(LONG style) {
  if (style < kFillSolid || style > kFillDiagonalCross) return E_INVALIDARG;
  style_ = style;
  return S_OK;
}

HRESULT SimpleFillSymbol::put_OutlineWidth(double points) {
  if (!Size(points)) return E_INVALIDARG;
  outlineWidth_ = points;
  return S_OK;
}

HRESULT SimpleMarkerSymbol::put_Style(LONG style) {
  if (style < kMarkerCircle || style > kMarkerDiamond) return E_INVALIDARG;
  style_ = style;
  return S_OK;
}

HRESULT SimpleMarkerSymbol::put_Size(double points) {
  if (!Size(points)) return E_INVALIDARG;
  size_ = points;
  return S_OK;
}

HRESULT SimpleLineSymbol::put_Width(double points) {
  if (!Size(points)) return E_INVALIDARG;
  width_ = points;
  return S_OK;
}

}  // namespace hostapp
