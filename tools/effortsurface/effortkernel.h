// The effort cost kernel: from a DEM and trails, streams and ground-cover grids, the cost
// of a step from every cell into its north, north-east, east and south-east neighbours.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <type_traits>

namespace plenth {

// The diagonal factor: one unit in the last place above the single-precision root of 2.
inline constexpr float kDiagonalFactor = 1.4142137f;
static_assert(std::bit_cast<std::uint32_t>(kDiagonalFactor) == 0x3FB504F4u);

// Called for each row that is a multiple of 100 (0, 100, 200, ...), once, in row order and
// always on the caller's thread: on one thread before the kernel computes that row and the
// 99 after it, on several once those rows and all before them are done. A strip's call
// marks the multiples of 100 among its own rows. Answering false asks the kernel to stop:
// it finishes the bands of 100 rows under way, computes no other, calls no further mark
// and returns false. An exception from a mark leaves the kernel (after its other threads
// have ended) and the outputs part written.
using ProgressMark = bool (*)(void* context, std::int32_t row);

// Everything the kernel reads besides the DEM. All grids hold rows x columns cells, row by
// row from the top (or the rows of a strip, EffortStrip).
struct EffortGrids {
  const std::uint8_t* trails;      // a cell is on a trail when its byte differs from trailsNoData
  std::uint8_t trailsNoData;
  const std::uint8_t* streams;     // a stream cell when its byte differs from streamsNoData
  std::uint8_t streamsNoData;
  const std::int8_t* groundCover;  // class codes as signed bytes
  std::int32_t rows;
  std::int32_t columns;
  float cellSize;
};

// The four bands, each rows x columns floats, and the value of a barred or undefined move.
struct EffortOutputs {
  float* north;
  float* northEast;
  float* east;
  float* southEast;
  float noData;  // -1 for the effort surface
};

// Which rows a call computes: every row by default, or one strip of them, for grids held
// a strip at a time. The strip is rows [firstRow, firstRow + rows) of the whole grid of
// EffortGrids::rows rows (rows -1: to the last row). The outputs hold the strip's rows
// from their first element; the DEM and the class grids hold rows from `inputRow` on and
// must hold every row the strip's moves reach: the rows of the strip, and the row above
// it and the row below it where the grid has them. Edges and progress marks go by the
// whole grid, so that strip after strip gives what one call on the whole grid gives.
struct EffortStrip {
  std::int64_t firstRow = 0;
  std::int64_t rows = -1;
  std::int64_t inputRow = 0;
};

// How the kernel reports and may be stopped. `threads` 0 lets the kernel choose (every
// core for large strips, one for small ones); the caller's thread is always one of them.
struct EffortRun {
  ProgressMark mark = nullptr;
  void* context = nullptr;
  int threads = 0;
  EffortStrip strip = {};
};

// The kernel for a DEM of cell type T (one of the eight cell types). A DEM cell is no-data
// when it equals the no-data value or is NaN; without a no-data value only NaN cells are.
// Returns false when the progress mark asked it to stop.
template <class T>
bool EffortKernel(const T* dem, std::optional<std::type_identity_t<T>> demNoData, const EffortGrids& grids,
                  const EffortOutputs& out, const EffortRun& run = {});

// The kernel by PixelType code (3 UCHAR, 4 CHAR, 5 USHORT, 6 SHORT, 7 ULONG, 8 LONG,
// 9 FLOAT, 10 DOUBLE). The no-data value is taken as a value of the DEM's type: an
// integer type takes it only when it is a whole number within the type's range, else no
// cell is no-data; FLOAT takes a double that rounds to a float as that float. NaN cells
// are no-data whatever the value. Any other code leaves the outputs untouched and
// returns true.
bool EffortKernel(int pixelType, const void* dem, double demNoData, const EffortGrids& grids,
                  const EffortOutputs& out, const EffortRun& run = {});

extern template bool EffortKernel(const std::uint8_t*, std::optional<std::uint8_t>, const EffortGrids&,
                                  const EffortOutputs&, const EffortRun&);
extern template bool EffortKernel(const std::int8_t*, std::optional<std::int8_t>, const EffortGrids&,
                                  const EffortOutputs&, const EffortRun&);
extern template bool EffortKernel(const std::uint16_t*, std::optional<std::uint16_t>, const EffortGrids&,
                                  const EffortOutputs&, const EffortRun&);
extern template bool EffortKernel(const std::int16_t*, std::optional<std::int16_t>, const EffortGrids&,
                                  const EffortOutputs&, const EffortRun&);
extern template bool EffortKernel(const std::uint32_t*, std::optional<std::uint32_t>, const EffortGrids&,
                                  const EffortOutputs&, const EffortRun&);
extern template bool EffortKernel(const std::int32_t*, std::optional<std::int32_t>, const EffortGrids&,
                                  const EffortOutputs&, const EffortRun&);
extern template bool EffortKernel(const float*, std::optional<float>, const EffortGrids&, const EffortOutputs&,
                                  const EffortRun&);
extern template bool EffortKernel(const double*, std::optional<double>, const EffortGrids&, const EffortOutputs&,
                                  const EffortRun&);

}  // namespace plenth
