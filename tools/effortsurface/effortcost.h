// The arithmetic of one move and the choice of cell type, shared by the plain and the fast
// kernel so that both hold the same values in the same precision.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <type_traits>

#include "platform/gis/pixeltype.h"

namespace plenth::effort {

// The DEM's no-data value as a value of the DEM's cell type. Every value of the eight
// types is exact as a double; a value that no cell of an integer type can hold (a
// fraction, or out of range) makes no cell no-data, and so does NaN, which no cell equals.
template <class T>
std::optional<T> NoDataAs(double value) {
  if (std::isnan(value) || !CellHolds<T>(value)) return std::nullopt;
  return static_cast<T>(value);
}

// Calls fn(const T* dem, std::optional<T> noData) for the DEM's PixelType code; returns
// `otherwise` for a code that is not one of the eight cell types.
template <class Fn>
bool ByPixelType(int pixelType, const void* dem, double noData, bool otherwise, Fn&& fn) {
  return VisitPixelType(
      pixelType, [&]<class T>() { return fn(static_cast<const T*>(dem), NoDataAs<T>(noData)); }, otherwise);
}

// dz: the DEM difference of a move, held in single precision. FLOAT cells subtract as
// floats; every other type is converted to double (exact for all of them) and subtracted.
template <class T>
inline float Difference(T a, T b) {
  if constexpr (std::is_same_v<T, float>) {
    return std::fabs(a - b);
  } else {
    return static_cast<float>(std::fabs(static_cast<double>(a) - static_cast<double>(b)));
  }
}

// E: the effort of a step of length d rising dz. atan, cos and tan run in double;
// theta, L and E are held in single precision.
inline float SlopeEffort(float dz, float d) {
  const float theta = static_cast<float>(std::atan(static_cast<double>(dz) / static_cast<double>(d)));
  const float length = static_cast<float>(static_cast<double>(d) / std::cos(static_cast<double>(theta)));
  const double t = std::tan(static_cast<double>(theta));
  return static_cast<float>((t + 1.0) * (t + 1.0) * static_cast<double>(length));
}

}  // namespace plenth::effort
