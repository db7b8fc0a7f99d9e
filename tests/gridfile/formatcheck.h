// Compares the grid format's "%0.6e" writer with the C library's snprintf("%.6e") (the
// exponent widened to three digits) over families of values: single-precision bit
// patterns, random doubles, doubles near and exactly on a rounding tie.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace formatcheck {

struct Tally {
  std::uint64_t compared = 0;
  std::uint64_t differences = 0;
  std::vector<std::string> firstDifferences;  // a few, for the report
  void Add(const Tally& other);
};

// What the file must hold for a value: snprintf's "%.6e" with a three-digit exponent for
// finite values, the format's own forms for infinities and NaN.
std::string Expected(double value);

// Compares one value and counts it.
void Check(double value, Tally& tally);

// Every stride-th single-precision bit pattern from `first` on, widened to double.
void CheckFloatPatterns(std::uint64_t first, std::uint64_t stride, Tally& tally);
// `count` doubles of uniformly random bit patterns.
void CheckRandomDoubles(std::uint64_t count, std::uint64_t seed, Tally& tally);
// `count` random midpoints between two seven-digit decimals at random decimal exponents,
// each as its nearest double and the two doubles on either side of that.
void CheckNearTies(std::uint64_t count, std::uint64_t seed, Tally& tally);
// The doubles that lie exactly on a tie (an eight-digit decimal ending in 5, times a power
// of ten, that a double holds exactly), every stride-th of them, with both neighbours,
// alternately positive and negative.
void CheckExactTies(std::uint64_t stride, Tally& tally);

}  // namespace formatcheck
