// The point grid's own arithmetic, apart from dialogs and the host: the regular grid's
// loops, the random collection with the module's linear congruential generator, the
// rows and columns a spacing gives, and the clipping of the preview to the visible map.
#pragma once

#include <cstdint>
#include <string>

namespace plenth {

struct GridArea {
  double xMin, yMin, xMax, yMax;
};

// Columns from west to east, and in each column points from north to south, the
// coordinates accumulated by repeated addition and subtraction of d: the west and north
// edges are included, the east and south edges are not. The caller makes sure that d
// moves the coordinates (GridStepAdvances).
template <class Emit>
void EmitRegularGrid(const GridArea& area, double d, Emit&& emit) {
  for (double x = area.xMin; x < area.xMax; x = x + d)
    for (double y = area.yMax; y > area.yMin; y = y - d) emit(x, y);
}

// Whether stepping by d from any bound of the area changes the coordinate, so that the
// regular grid's loops end: d greater than 0 and not lost against the bounds' size.
bool GridStepAdvances(const GridArea& area, double d);

// The C library's linear congruential generator: a 32-bit state; each draw sets
// state = state * 214013 + 2531011 (modulo 2^32) and gives bits 16 to 30, 0 to 32767.
class RandomGenerator {
 public:
  static constexpr int kMax = 32767;
  explicit RandomGenerator(std::uint32_t seed) : state_(seed) {}
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFFu);
  }

 private:
  std::uint32_t state_;
};

// n points spread over the area: for each, x is drawn before y, and a draw r places the
// coordinate at min + (max - min) * r / 32767, so both bounds can be reached.
template <class Emit>
void EmitRandomPoints(const GridArea& area, std::int64_t n, RandomGenerator& generator, Emit&& emit) {
  for (std::int64_t i = 0; i < n; ++i) {
    const double rx = generator.Next();
    const double x = area.xMin + (area.xMax - area.xMin) * rx / RandomGenerator::kMax;
    const double ry = generator.Next();
    const double y = area.yMin + (area.yMax - area.yMin) * ry / RandomGenerator::kMax;
    emit(x, y);
  }
}

// The count of columns (from west and east) or rows (from south and north) a spacing
// gives, trunc((max - min) / d) + 1, as the dialog shows it; "?" when d is not greater
// than 0 or min lies past max.
std::string GridCountText(double min, double max, double d);

// Clips the preview's grid to the visible extent, in this order: east, south, west,
// north. The west and north edges move to the first column and row of the grid strictly
// inside the visible extent. False when the area lies outside it.
bool ClipToVisible(GridArea& area, double d, const GridArea& visible);

}  // namespace plenth
