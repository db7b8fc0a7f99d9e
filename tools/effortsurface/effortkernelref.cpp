#include "tools/effortsurface/effortkernelref.h"

#include <algorithm>

#include "tools/effortsurface/effortcost.h"
#include "tools/effortsurface/groundcover.h"

namespace plenth {
namespace {

template <class T>
bool Reference(const T* dem, std::optional<T> demNoData, const EffortGrids& g, const EffortOutputs& out,
               const EffortRun& run) {
  const std::int64_t R = g.rows, C = g.columns;
  const float N = out.noData;
  const float s = g.cellSize;
  const float diagonal = g.cellSize * kDiagonalFactor;  // once, in single precision

  const effort::NoDataTest<T> noData(demNoData);
  const auto isNoData = [&](std::int64_t i) { return noData(dem[i]); };
  const auto onTrail = [&](std::int64_t i) { return g.trails[i] != g.trailsNoData; };
  const auto isStream = [&](std::int64_t i) { return g.streams[i] != g.streamsNoData; };

  // The cost of the move from cell a into cell b over the step length d.
  const auto cost = [&](std::int64_t a, std::int64_t b, float d) -> float {
    if (isNoData(a) || isNoData(b)) return N;
    const float dz = effort::Difference(dem[a], dem[b]);
    const float e = effort::SlopeEffort(dz, d);
    if (onTrail(a) && onTrail(b)) return e / 4.0f;
    if (isStream(b)) return N;
    if (g.groundCover[b] == 1) return N;
    return e * GroundCoverFactor(g.groundCover[b]);
  };

  // The rows of the strip; cell i of the inputs is cell i - shift of the outputs.
  const std::int64_t first = run.strip.firstRow;
  const std::int64_t end = run.strip.rows < 0 ? R : std::min(R, first + run.strip.rows);
  const std::int64_t shift = (first - run.strip.inputRow) * C;
  for (std::int64_t r = first; r < end; ++r) {
    if (r % 100 == 0 && run.mark && !run.mark(run.context, static_cast<std::int32_t>(r))) return false;
    for (std::int64_t c = 0; c < C; ++c) {
      const std::int64_t i = (r - run.strip.inputRow) * C + c, o = i - shift;
      out.north[o] = r == 0 ? N : cost(i, i - C, s);
      out.northEast[o] = r == 0 || c == C - 1 ? N : cost(i, i - C + 1, diagonal);
      out.east[o] = c == C - 1 ? N : cost(i, i + 1, s);
      out.southEast[o] = r == R - 1 || c == C - 1 ? N : cost(i, i + C + 1, diagonal);
    }
  }
  return true;
}

}  // namespace

bool EffortKernelReference(int pixelType, const void* dem, double demNoData, const EffortGrids& grids,
                           const EffortOutputs& out, const EffortRun& run) {
  return effort::ByPixelType(pixelType, dem, demNoData, true,
                             [&](const auto* cells, auto noData) { return Reference(cells, noData, grids, out, run); });
}

}  // namespace plenth
