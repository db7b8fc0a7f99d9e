// The effort cost kernel: from a DEM and trails, streams and ground-cover grids, the cost
// of a step from every cell into its north, north-east, east and south-east neighbours.
#pragma once

#include <bit>
#include <cstdint>

namespace plenth {

// The diagonal factor: one unit in the last place above the single-precision root of 2.
inline constexpr float kDiagonalFactor = 1.4142137f;
static_assert(std::bit_cast<std::uint32_t>(kDiagonalFactor) == 0x3FB504F4u);

// Called once for each row that is a multiple of 100 (0, 100, 200, ...), in row order and
// always on the caller's thread; answering false asks the kernel to stop.
using ProgressMark = bool (*)(void* context);

struct EffortInputs {
  const void* dem;         // rows x columns cells of the DEM's PixelType
  double demNoData;        // converted to the DEM's type before any comparison
  const std::uint8_t* trails;
  std::uint8_t trailsNoData;
  const std::uint8_t* streams;
  std::uint8_t streamsNoData;
  const std::int8_t* groundCover;  // class codes as signed bytes
  std::int32_t rows;
  std::int32_t columns;
  float cellSize;
};

struct EffortOutputs {
  float* north;
  float* northEast;
  float* east;
  float* southEast;
  float noData;  // -1 for the effort surface
};

// The factor of the ground-cover class of the cell moved into; code 1 bars the move,
// which the kernel gives as the output no-data value.
float GroundCoverFactor(std::int8_t code);

// Fills the four outputs for a DEM of PixelType 3 to 10 (any other type leaves them
// untouched and succeeds). `threads` 0 lets the kernel choose (both cores for large
// grids). Returns false when the progress mark asked it to stop.
bool EffortKernel(int pixelType, const EffortInputs& in, const EffortOutputs& out, ProgressMark mark, void* context,
                  int threads = 0);

}  // namespace plenth
