#include "tools/effortsurface/slopeeffort.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>

// The helpers below take and give vectors by value and are always inlined, so no call
// between them passes a vector by the calling convention this warning is about.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace plenth::effort {
namespace {

// Four lanes of doubles, of their bits and of floats (a cast between two of the same size
// keeps the bits); the compiler maps them onto whatever vector registers the machine has.
using Doubles = double __attribute__((vector_size(32)));
using Bits = std::uint64_t __attribute__((vector_size(32)));
using Masks = std::int64_t __attribute__((vector_size(32)));
using Floats = float __attribute__((vector_size(16)));
using FloatBits = std::uint32_t __attribute__((vector_size(16)));
constexpr int kLanes = 4;

// pi / 2 as the sum of two doubles: the first its nearest double, the second the rest.
constexpr double kHalfPi = 0x1.921fb54442d18p0;
constexpr double kHalfPiRest = 0x1.1a62633145c07p-54;

// atan about 128 points: for x in [2^-8, 2^8), the centre b of the eighth of its binade
// (by its exponent and the first three bits of its fraction) and atan(b), from the long
// double functions. atan(x) = atan(b) + atan((x - b) / (1 + x b)), and that quotient is
// at most 1/32 in size.
struct AtanPoints {
  std::array<double, 128> centre, atanOfCentre;
  AtanPoints() {
    for (int e = -8; e < 8; ++e)
      for (int m = 0; m < 8; ++m) {
        const long double b = std::ldexp(1.0L + (m + 0.5L) / 8, e);
        const auto j = static_cast<std::size_t>((e + 8) * 8 + m);
        centre[j] = static_cast<double>(b);
        atanOfCentre[j] = static_cast<double>(std::atan(b));
      }
  }
};
const AtanPoints atanPoints;

[[gnu::always_inline]] inline Doubles Gather(const std::array<double, 128>& table, const Bits& index) {
  return Doubles{table[index[0]], table[index[1]], table[index[2]], table[index[3]]};
}

// Whether each double lies within 2^12 units in its last place (2^-40 of its size) of a
// halfway point between the two floats around it: the 29 bits a float drops are near
// 2^28. (Near a float itself every double close by rounds to that float.)
[[gnu::always_inline]] inline Masks NearHalfway(const Doubles& v) {
  const Bits dropped = (Bits)v & 0x1FFFFFFFu;
  return (Masks)(dropped - ((1u << 28) - (1u << 12)) < (1u << 13));
}

// atan(z) for |z| <= 1/32: the series to z^9, whose rest is below 2^-58.
[[gnu::always_inline]] inline Doubles AtanSeries(const Doubles& z) {
  const Doubles z2 = z * z;
  return z + z * z2 * (-1.0 / 3 + z2 * (1.0 / 5 + z2 * (-1.0 / 7 + z2 * (1.0 / 9))));
}

// sin r and cos r for 0 <= r <= 0.79: the series to r^15 and r^16, whose rests are below
// 2^-53 of the values.
[[gnu::always_inline]] inline void SinCos(const Doubles& r, Doubles& sine, Doubles& cosine) {
  const Doubles r2 = r * r;
  sine = r + r * r2 *
                 (-1.0 / 6 +
                  r2 * (1.0 / 120 +
                        r2 * (-1.0 / 5040 +
                              r2 * (1.0 / 362880 +
                                    r2 * (-1.0 / 39916800 + r2 * (1.0 / 6227020800 + r2 * (-1.0 / 1307674368000)))))));
  cosine = 1.0 + r2 * (-1.0 / 2 +
                       r2 * (1.0 / 24 +
                             r2 * (-1.0 / 720 +
                                   r2 * (1.0 / 40320 +
                                         r2 * (-1.0 / 3628800 +
                                               r2 * (1.0 / 479001600 +
                                                     r2 * (-1.0 / 87178291200 + r2 * (1.0 / 20922789888000))))))));
}

// Four efforts of steps of length d (2^-60 <= d <= 2^60) rising dz; `ask` marks the lanes
// left to SlopeEffort.
[[gnu::always_inline]] inline void Four(const float* dzIn, float* eOut, double d, double perStep) {
  Floats dzf;
  std::memcpy(&dzf, dzIn, sizeof dzf);
  const Doubles dz = __builtin_convertvector(dzf, Doubles);
  const Doubles x = dz * perStep;  // the slope dz / d, within a unit in its last place
  Masks ask = !(x == 0.0 || (x >= 0x1p-60 && x <= 0x1p60));

  // atan x: about a point of the table, or as pi/2 - atan(1/x) for x >= 2^8, or by the
  // series alone for x < 2^-8; one division whichever.
  const Masks big = x >= 0x1p8, small = x < 0x1p-8;
  Bits index = ((Bits)x >> 49) - (std::uint64_t{1023 - 8} << 3);
  index = (big | small | ask) ? Bits{} : index;
  const Doubles b = small ? Doubles{} : Gather(atanPoints.centre, index);
  const Doubles base = big ? Doubles{} + kHalfPi : small ? Doubles{} : Gather(atanPoints.atanOfCentre, index);
  const Doubles numerator = big ? Doubles{} - 1.0 : x - b;
  const Doubles denominator = big ? x : 1.0 + x * b;
  const Doubles atanX = (base + AtanSeries(numerator / denominator)) + (big ? Doubles{} + kHalfPiRest : Doubles{});
  ask |= NearHalfway(atanX);
  const Floats thetaF = __builtin_convertvector(atanX, Floats);
  ask |= __builtin_convertvector((FloatBits)thetaF >= 0x3FC90FDBu, Masks);  // at or above pi/2
  const Doubles theta = __builtin_convertvector(thetaF, Doubles);

  // cos theta and sin theta, from theta below 0.78125 and from pi/2 - theta above it
  // (taken with pi/2 to twice a double's precision; the first subtraction is exact, both
  // sides being multiples of 2^-52 below 2).
  const Masks upper = theta >= 0.78125;
  const Doubles r = upper ? (kHalfPi - theta) + kHalfPiRest : theta;
  Doubles sine, cosine;
  SinCos(r, sine, cosine);
  const Doubles cosTheta = upper ? sine : cosine;
  const Doubles sinTheta = upper ? cosine : sine;
  const Doubles secant = 1.0 / cosTheta;

  // L = d / cos theta, then E = (tan theta + 1)^2 L with L as a float.
  const Doubles length = d * secant;
  ask |= NearHalfway(length);
  const Doubles lengthF = __builtin_convertvector(__builtin_convertvector(length, Floats), Doubles);
  const Doubles t1 = sinTheta * secant + 1.0;
  const Doubles effort = t1 * t1 * lengthF;
  ask |= NearHalfway(effort) | !(effort < 0x1p127);

  const FloatBits out = (FloatBits)__builtin_convertvector(effort, Floats);
  const FloatBits asked = __builtin_convertvector(ask, FloatBits);
  const FloatBits marked = (out & ~asked) | (asked & kAskSlopeEffort);
  std::memcpy(eOut, &marked, sizeof marked);
}

[[gnu::always_inline]] inline void All(const float* dz, float* e, std::size_t n, float d) {
  const double perStep = 1.0 / static_cast<double>(d);
  std::size_t i = 0;
  for (; i + kLanes <= n; i += kLanes) Four(dz + i, e + i, d, perStep);
  if (i < n) {
    float in[kLanes] = {}, out[kLanes];
    std::memcpy(in, dz + i, (n - i) * sizeof(float));
    Four(in, out, d, perStep);
    std::memcpy(e + i, out, (n - i) * sizeof(float));
  }
}

void AllPlain(const float* dz, float* e, std::size_t n, float d) { All(dz, e, n, d); }

#if defined(__x86_64__) && defined(__GNUC__)
// The same on machines with 256-bit vectors and fused multiply-adds, which the arithmetic
// above is exact enough to take.
__attribute__((target("avx2,fma"))) void AllWide(const float* dz, float* e, std::size_t n, float d) {
  All(dz, e, n, d);
}

using AllFunction = void (*)(const float*, float*, std::size_t, float);
AllFunction Choose() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? &AllWide : &AllPlain;
}
const AllFunction chosen = Choose();
#else
constexpr auto chosen = &AllPlain;
#endif

}  // namespace

void SlopeEfforts(const float* dz, float* e, std::size_t n, float d) {
  if (!(d >= 0x1p-60f && d <= 0x1p60f)) {
    for (std::size_t i = 0; i < n; ++i) std::memcpy(e + i, &kAskSlopeEffort, sizeof(float));
    return;
  }
  chosen(dz, e, n, d);
}

}  // namespace plenth::effort
