// The fast kernel: the same arithmetic as the plain one, organised for speed. Moves
// whose result the rules fix without E skip the trigonometry; DEMs of 8- and 16-bit
// integers take E from a table built once per run (E depends only on |dz| and the step);
// large grids are shared between two threads in bands of 100 rows, while the caller's
// thread alone reports one progress mark per band, in order.
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "tools/effortsurface/effortcost.h"

namespace plenth {
namespace {

constexpr std::int64_t kBandRows = 100;
constexpr std::int64_t kThreadedCells = 250000;

template <class T>
constexpr bool kTabulated = std::is_integral_v<T> && sizeof(T) <= 2;

template <class T>
struct Grid {
  const T* dem;
  T noData;
  const std::uint8_t* trails;
  std::uint8_t trailsNoData;
  const std::uint8_t* streams;
  std::uint8_t streamsNoData;
  const std::int8_t* cover;
  std::int64_t rows, columns;
  float straight, diagonal, outNoData;
  const float* tableStraight;  // E by |dz|, for tabulated types
  const float* tableDiagonal;
  EffortOutputs out;

  template <bool Diagonal>
  float Cost(std::int64_t a, std::int64_t b) const {
    if (dem[a] == noData || dem[b] == noData) return outNoData;
    const bool bothTrails = trails[a] != trailsNoData && trails[b] != trailsNoData;
    if (!bothTrails && (streams[b] != streamsNoData || cover[b] == 1)) return outNoData;  // E does not matter
    float e;
    if constexpr (kTabulated<T>) {
      const int dz = dem[a] > dem[b] ? int(dem[a]) - int(dem[b]) : int(dem[b]) - int(dem[a]);
      e = Diagonal ? tableDiagonal[dz] : tableStraight[dz];
    } else {
      e = effort::SlopeEffort(effort::Difference(dem[a], dem[b]), Diagonal ? diagonal : straight);
    }
    return effort::Rules(e, true, bothTrails, false, cover[b], outNoData);
  }

  void Rows(std::int64_t first, std::int64_t last) const {
    const std::int64_t C = columns;
    for (std::int64_t r = first; r < last; ++r) {
      const std::int64_t row = r * C;
      const bool top = r == 0, bottom = r == rows - 1;
      for (std::int64_t c = 0; c < C; ++c) {
        const std::int64_t i = row + c;
        const bool lastColumn = c == C - 1;
        out.north[i] = top ? outNoData : Cost<false>(i, i - C);
        out.northEast[i] = top || lastColumn ? outNoData : Cost<true>(i, i - C + 1);
        out.east[i] = lastColumn ? outNoData : Cost<false>(i, i + 1);
        out.southEast[i] = bottom || lastColumn ? outNoData : Cost<true>(i, i + C + 1);
      }
    }
  }
};

// Runs the bands on the caller's thread and, for large grids, one more.
template <class T>
bool RunBands(const Grid<T>& grid, ProgressMark mark, void* context, int threads) {
  const std::int64_t bands = (grid.rows + kBandRows - 1) / kBandRows;
  const auto rowsOf = [&](std::int64_t band) {
    grid.Rows(band * kBandRows, std::min(grid.rows, (band + 1) * kBandRows));
  };
  if (threads <= 1 || bands < 2) {
    for (std::int64_t b = 0; b < bands; ++b) {
      if (mark && !mark(context)) return false;
      rowsOf(b);
    }
    return true;
  }
  std::atomic<std::int64_t> next{0};
  std::atomic<bool> stop{false};
  auto done = std::make_unique<std::atomic<bool>[]>(static_cast<std::size_t>(bands));
  const auto work = [&] {
    for (std::int64_t b; !stop.load(std::memory_order_relaxed) && (b = next.fetch_add(1)) < bands;) {
      rowsOf(b);
      done[b].store(true, std::memory_order_release);
    }
  };
  std::thread helper(work);
  std::int64_t marked = 0;
  bool stopped = false;
  // The caller's thread works too, and reports each band once it and all before it are done.
  const auto report = [&] {
    while (!stopped && marked < bands && done[marked].load(std::memory_order_acquire)) {
      if (mark && !mark(context)) {
        stopped = true;
        stop = true;
      }
      ++marked;
    }
  };
  for (std::int64_t b; !stop.load(std::memory_order_relaxed) && (b = next.fetch_add(1)) < bands;) {
    rowsOf(b);
    done[b].store(true, std::memory_order_release);
    report();
  }
  helper.join();
  report();
  return !stopped;
}

template <class T>
bool Run(const EffortInputs& in, const EffortOutputs& out, ProgressMark mark, void* context, int threads) {
  Grid<T> g{static_cast<const T*>(in.dem), static_cast<T>(in.demNoData), in.trails, in.trailsNoData,
            in.streams, in.streamsNoData, in.groundCover, in.rows, in.columns,
            in.cellSize, in.cellSize * kDiagonalFactor, out.noData, nullptr, nullptr, out};
  std::vector<float> tables;
  if constexpr (kTabulated<T>) {
    const std::size_t span = std::size_t{1} << (8 * sizeof(T));
    tables.resize(2 * span);
    for (std::size_t dz = 0; dz < span; ++dz) {
      tables[dz] = effort::SlopeEffort(static_cast<float>(dz), g.straight);
      tables[span + dz] = effort::SlopeEffort(static_cast<float>(dz), g.diagonal);
    }
    g.tableStraight = tables.data();
    g.tableDiagonal = tables.data() + span;
  }
  if (threads == 0)
    threads = static_cast<std::int64_t>(in.rows) * in.columns >= kThreadedCells && std::thread::hardware_concurrency() > 1 ? 2 : 1;
  return RunBands(g, mark, context, threads);
}

}  // namespace

bool EffortKernel(int pixelType, const EffortInputs& in, const EffortOutputs& out, ProgressMark mark, void* context,
                  int threads) {
  switch (pixelType) {
    case 3: return Run<std::uint8_t>(in, out, mark, context, threads);
    case 4: return Run<std::int8_t>(in, out, mark, context, threads);
    case 5: return Run<std::uint16_t>(in, out, mark, context, threads);
    case 6: return Run<std::int16_t>(in, out, mark, context, threads);
    case 7: return Run<std::uint32_t>(in, out, mark, context, threads);
    case 8: return Run<std::int32_t>(in, out, mark, context, threads);
    case 9: return Run<float>(in, out, mark, context, threads);
    case 10: return Run<double>(in, out, mark, context, threads);
    default: return true;
  }
}

}  // namespace plenth
