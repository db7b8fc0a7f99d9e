// The arithmetic of one move, shared by the reference and the fast kernel so that both
// hold the same values in the same precision.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "tools/effortsurface/effortkernel.h"

namespace plenth::effort {

// The DEM difference of a move, formed in floating point and held in single precision.
template <class T>
inline float Difference(T a, T b) {
  if constexpr (std::is_same_v<T, float>) {
    return std::fabs(a - b);  // float subtraction
  } else {
    return static_cast<float>(std::fabs(static_cast<double>(a) - static_cast<double>(b)));
  }
}

// E: the slope-weighted length of a step of length d rising dz. atan, cos and tan run in
// double; theta, L and E are held in single precision.
inline float SlopeEffort(float dz, float d) {
  const float theta = static_cast<float>(std::atan(static_cast<double>(dz) / static_cast<double>(d)));
  const float length = static_cast<float>(static_cast<double>(d) / std::cos(static_cast<double>(theta)));
  const double t = std::tan(static_cast<double>(theta));
  return static_cast<float>((t + 1.0) * (t + 1.0) * static_cast<double>(length));
}

// The rules after E, looking at the cell moved from (a) and into (b).
inline float Rules(float e, bool trailA, bool trailB, bool streamB, std::int8_t coverB, float noData) {
  if (trailA && trailB) return e / 4.0f;
  if (streamB) return noData;
  if (coverB == 1) return noData;
  return e * GroundCoverFactor(coverB);
}

}  // namespace plenth::effort
