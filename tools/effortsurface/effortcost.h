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

// The DEM's no-data value as a value of the DEM's cell type: a real converted to the
// type's precision (a double that rounds to a float is that float). A value that no cell
// of the type can hold (for an integer type a fraction or a value out of range) makes no
// cell no-data; NaN is no value to compare with, and NaN cells are no-data anyway.
template <class T>
std::optional<T> NoDataAs(double value) {
  if (std::isnan(value) || !CellHolds<T>(value)) return std::nullopt;
  return static_cast<T>(value);
}

// Whether a DEM cell is no-data: it equals the no-data value, exactly in the DEM's type,
// or it is NaN, which is no elevation (FLOAT and DOUBLE DEMs written with NaN as their
// no-data hold their holes so). Both sides are evaluated without a branch.
template <class T>
class NoDataTest {
 public:
  explicit NoDataTest(std::optional<T> value) : value_(value.value_or(T{})), has_(value.has_value()) {}

  [[gnu::always_inline]] bool operator()(T cell) const {
    if constexpr (std::is_floating_point_v<T>)
      return (has_ & (cell == value_)) | (cell != cell);
    else
      return has_ & (cell == value_);
  }

 private:
  T value_;
  bool has_;
};

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
