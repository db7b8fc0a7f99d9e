// The effort of many steps at once: the values of effort::SlopeEffort, bit for bit, from
// polynomials on vectors of doubles instead of the C library's atan, cos and tan.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plenth::effort {

// The mark of a difference whose effort SlopeEffort must give itself. No effort computed
// here has these bits: every one is a positive finite float.
inline constexpr std::uint32_t kAskSlopeEffort = 0xFFFFFFFFu;

// E of a step of length d rising dz[i], for i < n, into e[i]: the float SlopeEffort(dz[i], d)
// gives, or kAskSlopeEffort's bits where this cannot be sure of it.
//
// SlopeEffort holds theta, L and E in single precision, each rounded from a double. Here
// each double is computed here within about 2^-49 of its value (the C library's functions
// are within a unit in the last place of theirs), and the float taken from it is kept only
// when the double lies more than 2^12 units in its last place (at least 2^-41 of its size)
// from every halfway point between two floats: then the double SlopeEffort rounds lies on
// the same side of that point and rounds to the same float. Closer to a halfway point
// (about one difference in 20000), and for what the polynomials do not cover (slopes
// below 2^-60 other than 0 or above 2^60, step lengths outside 2^-60 to 2^60, infinities
// and NaN), the difference is marked for SlopeEffort.
void SlopeEfforts(const float* dz, float* e, std::size_t n, float d);

}  // namespace plenth::effort
