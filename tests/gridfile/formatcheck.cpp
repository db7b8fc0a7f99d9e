#include "tests/gridfile/formatcheck.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/gridfile.h"
#include "data/gridfilenumbers.h"

namespace formatcheck {
namespace {

// A small, well-mixed generator, so that a run can be repeated from its seed.
struct SplitMix64 {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    return z ^ (z >> 31);
  }
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }
};

void CheckWithNeighbours(double v, Tally& tally) {
  Check(v, tally);
  Check(std::nextafter(v, HUGE_VAL), tally);
  Check(std::nextafter(v, -HUGE_VAL), tally);
}

}  // namespace

void Tally::Add(const Tally& other) {
  compared += other.compared;
  differences += other.differences;
  for (const auto& d : other.firstDifferences)
    if (firstDifferences.size() < 10) firstDifferences.push_back(d);
}

std::string Expected(double value) {
  if (!std::isfinite(value)) return plenth::FormatScientific(value);
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%.6e", value);
  std::string s(text, static_cast<std::size_t>(n));
  const std::size_t digits = s.size() - (s.rfind('e') + 2);
  if (digits < 3) s.insert(s.rfind('e') + 2, 3 - digits, '0');
  return s;
}

void Check(double value, Tally& tally) {
  char text[plenth::kScientificChars + 2];
  const std::string got(text, plenth::WriteScientific(text, value));
  ++tally.compared;
  const std::string want = Expected(value);
  if (got == want) return;
  ++tally.differences;
  if (tally.firstDifferences.size() < 10) {
    char bits[32];
    std::snprintf(bits, sizeof bits, "%016llx", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(value)));
    tally.firstDifferences.push_back(std::string(bits) + ": wrote " + got + ", expected " + want);
  }
}

void CheckFloatPatterns(std::uint64_t first, std::uint64_t stride, Tally& tally) {
  for (std::uint64_t bits = first; bits <= 0xffffffffu; bits += stride)
    Check(static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits))), tally);
}

void CheckRandomDoubles(std::uint64_t count, std::uint64_t seed, Tally& tally) {
  SplitMix64 random{seed};
  for (std::uint64_t i = 0; i < count; ++i) Check(std::bit_cast<double>(random.Next()), tally);
}

void CheckNearTies(std::uint64_t count, std::uint64_t seed, Tally& tally) {
  SplitMix64 random{seed};
  for (std::uint64_t i = 0; i < count; ++i) {
    // d.dddddd5 x 10^k, k over the whole range of doubles; strtod gives the nearest double.
    const std::uint64_t digits = 1'000'000 + random.Below(9'000'000);
    const int exponent = -324 + static_cast<int>(random.Below(633));
    char text[48];
    std::snprintf(text, sizeof text, "%s%llu5e%d", i % 2 ? "-" : "", static_cast<unsigned long long>(digits), exponent - 7);
    CheckWithNeighbours(std::strtod(text, nullptr), tally);
  }
}

void CheckExactTies(std::uint64_t stride, Tally& tally) {
  // T = 10N + 5 (eight digits, odd) times 10^j: for j >= 0 exact when T·5^j < 2^53, as
  // (T·5^j)·2^j; for j < 0 when 5^-j divides T, as (T / 5^-j)·2^j. Beyond -11 and 12
  // neither can hold.
  std::uint64_t index = 0;
  for (int j = -11; j <= 12; ++j) {
    std::uint64_t power = 1;
    for (int i = 0; i < (j < 0 ? -j : j); ++i) power *= 5;
    for (std::uint64_t n = 1'000'000; n < 10'000'000; ++n) {
      const std::uint64_t t = 10 * n + 5;
      std::uint64_t odd;
      if (j >= 0) {
        if (t > (std::uint64_t{1} << 53) / power) break;
        odd = t * power;
      } else {
        if (t % power) continue;
        odd = t / power;
      }
      if (index++ % stride) continue;
      const double v = std::ldexp(static_cast<double>(odd), j);
      CheckWithNeighbours(index % 2 ? v : -v, tally);
    }
  }
}

}  // namespace formatcheck
