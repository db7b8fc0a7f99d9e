#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "tools/effortsurface/effortcost.h"
#include "tools/effortsurface/effortkernel.h"
#include "tools/effortsurface/slopeeffort.h"

namespace {

using namespace plenth;

// Differences of every sort a DEM gives: whole and decimal units, uniform over a few
// steps' rise, spread over the exponents, and the values at the ends of the range.
std::vector<float> Differences(float step, std::mt19937& random) {
  std::vector<float> dz;
  for (int k = 0; k < 70000; k += 7) dz.push_back(static_cast<float>(k));
  for (int k = 0; k < 20000; ++k) dz.push_back(static_cast<float>(k) / 10);
  std::uniform_real_distribution<float> rise(0, 20 * step);
  for (int k = 0; k < 200000; ++k) dz.push_back(rise(random));
  std::uniform_real_distribution<float> exponent(-50, 20);
  for (int k = 0; k < 100000; ++k) dz.push_back(std::exp2(exponent(random)) * step);
  const float specials[] = {0.0f,
                            std::numeric_limits<float>::denorm_min(),
                            std::numeric_limits<float>::min(),
                            std::numeric_limits<float>::max(),
                            std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN(),
                            std::ldexp(step, -70),
                            std::ldexp(step, -60),
                            std::ldexp(step, 30),
                            std::ldexp(step, 60),
                            std::ldexp(step, 70),
                            std::nextafter(std::ldexp(step, 8), 0.0f),
                            std::ldexp(step, 8),
                            std::nextafter(std::ldexp(step, -8), 0.0f),
                            std::ldexp(step, -8)};
  dz.insert(dz.end(), std::begin(specials), std::end(specials));
  return dz;
}

// Every effort SlopeEfforts gives is SlopeEffort's, bit for bit, for straight and
// diagonal steps of the cell sizes met (metres, feet, degrees) and for step lengths
// outside what it covers; it leaves few of them to SlopeEffort, and those only where it
// says so. Runs start off any alignment and end off a multiple of the vector width.
TEST(SlopeEfforts, TheValuesOfSlopeEffortBitForBit) {
  std::mt19937 random(20261211);
  const float cells[] = {1.0f, 30.0f, 0.3048f, 2.5e-4f, 5000.0f, 0x1p70f, 0.0f};
  for (const float cell : cells) {
    for (const float step : {cell, cell * kDiagonalFactor}) {
      SCOPED_TRACE(testing::Message() << "step " << step);
      const std::vector<float> dz = Differences(step, random);
      std::vector<float> e(dz.size() + 1);
      effort::SlopeEfforts(dz.data() + 1, e.data() + 1, dz.size() - 1, step);
      // Only slopes steeper than 2^20 (about 89.99995 degrees) or gentler than 2^-50 may be
      // left to SlopeEffort more than rarely.
      std::size_t asked = 0, askedAll = 0, ordinary = 0, wrong = 0;
      for (std::size_t i = 1; i < dz.size(); ++i) {
        const std::uint32_t got = std::bit_cast<std::uint32_t>(e[i]);
        const float expected = effort::SlopeEffort(dz[i], step);
        const double slope = static_cast<double>(dz[i]) / step;
        const bool usual = slope == 0 || (slope >= 0x1p-50 && slope <= 0x1p20);
        ordinary += usual;
        if (got == effort::kAskSlopeEffort) {
          asked += usual;
          ++askedAll;
        } else if (got != std::bit_cast<std::uint32_t>(expected)) {
          if (++wrong <= 5) ADD_FAILURE() << "dz " << dz[i] << ": " << e[i] << " instead of " << expected;
        }
      }
      EXPECT_EQ(wrong, 0u);
      if (step >= 0x1p-60f && step <= 0x1p60f)
        EXPECT_LT(asked, ordinary / 1000) << "of " << ordinary;
      else
        EXPECT_EQ(askedAll, dz.size() - 1);
    }
  }
}

}  // namespace
