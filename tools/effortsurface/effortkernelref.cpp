#include "tools/effortsurface/effortkernelref.h"

#include "tools/effortsurface/effortcost.h"

namespace plenth {
namespace {

template <class T>
bool Run(const EffortInputs& in, const EffortOutputs& out, ProgressMark mark, void* context) {
  const T* dem = static_cast<const T*>(in.dem);
  const T noData = static_cast<T>(in.demNoData);
  const std::int64_t C = in.columns;
  const float straight = in.cellSize;
  const float diagonal = in.cellSize * kDiagonalFactor;  // once, in single precision

  const auto cost = [&](std::int64_t a, std::int64_t b, float d) -> float {
    if (dem[a] == noData || dem[b] == noData) return out.noData;
    const float dz = effort::Difference(dem[a], dem[b]);
    const float e = effort::SlopeEffort(dz, d);
    return effort::Rules(e, in.trails[a] != in.trailsNoData, in.trails[b] != in.trailsNoData,
                         in.streams[b] != in.streamsNoData, in.groundCover[b], out.noData);
  };

  for (std::int64_t r = 0; r < in.rows; ++r) {
    if (r % 100 == 0 && mark && !mark(context)) return false;
    for (std::int64_t c = 0; c < C; ++c) {
      const std::int64_t i = r * C + c;
      const bool lastColumn = c == C - 1, lastRow = r == in.rows - 1;
      out.north[i] = r == 0 ? out.noData : cost(i, i - C, straight);
      out.northEast[i] = r == 0 || lastColumn ? out.noData : cost(i, i - C + 1, diagonal);
      out.east[i] = lastColumn ? out.noData : cost(i, i + 1, straight);
      out.southEast[i] = lastRow || lastColumn ? out.noData : cost(i, i + C + 1, diagonal);
    }
  }
  return true;
}

}  // namespace

bool EffortKernelReference(int pixelType, const EffortInputs& in, const EffortOutputs& out, ProgressMark mark,
                           void* context) {
  switch (pixelType) {
    case 3: return Run<std::uint8_t>(in, out, mark, context);
    case 4: return Run<std::int8_t>(in, out, mark, context);
    case 5: return Run<std::uint16_t>(in, out, mark, context);
    case 6: return Run<std::int16_t>(in, out, mark, context);
    case 7: return Run<std::uint32_t>(in, out, mark, context);
    case 8: return Run<std::int32_t>(in, out, mark, context);
    case 9: return Run<float>(in, out, mark, context);
    case 10: return Run<double>(in, out, mark, context);
    default: return true;
  }
}

}  // namespace plenth
