// How the grid export and import walk a raster: in strips of whole rows of at most a
// million cells, all of the same height but the last.
#pragma once

#include <cstdint>

namespace plenth {

struct GridStrips {
  std::int64_t rowsPerStrip;
  std::int64_t count;
};

// Computed in 64 bits so that large rasters do not overflow, and never fewer than one
// row per strip (a raster of few, very long rows would otherwise get strips of none).
constexpr GridStrips StripsFor(std::int64_t columns, std::int64_t rows) {
  const std::int64_t cells = columns * rows;
  const std::int64_t firstEstimate = cells / (1000000 + 1) + 1;
  std::int64_t perStrip = rows / firstEstimate;
  if (perStrip < 1) perStrip = 1;
  return {perStrip, (rows + perStrip - 1) / perStrip};
}

}  // namespace plenth
