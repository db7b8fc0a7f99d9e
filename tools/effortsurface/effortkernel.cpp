// The fast kernel: the arithmetic of the plain one, organised for speed. Moves whose
// result the rules fix without E skip the trigonometry; E is looked up by |dz| (a table
// over the whole range for 8- and 16-bit integer DEMs, a small memo for the others), and
// large grids are shared among threads in bands of 100 rows. Each thread has lookups of
// its own, made before the run, so the rows allocate nothing and share nothing mutable.
#include "tools/effortsurface/effortkernel.h"

#include <algorithm>
#include <array>
#include <thread>
#include <vector>

#include "tools/effortsurface/effortcost.h"
#include "tools/effortsurface/effortkernelbands.h"
#include "tools/effortsurface/groundcover.h"

namespace plenth {
namespace {

// Grids smaller than this stay on the caller's thread.
constexpr std::int64_t kThreadedCells = 250000;
constexpr int kMaxThreads = 16;

// A NaN that is never a key or a value: E of a finite |dz| is not NaN, and a dz (an
// absolute value) never has its sign bit set.
constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

template <class T>
constexpr bool kTabulated = std::is_integral_v<T> && sizeof(T) <= 2;

// E by |dz| for every |dz| an 8- or 16-bit DEM can have, for one step length; an entry is
// computed when first needed (should E ever be the empty mark, it is merely recomputed).
class EffortTable {
 public:
  EffortTable(std::size_t span, float step) : step_(step), bits_(span, kEmpty) {}

  [[gnu::always_inline]] float operator()(std::uint32_t dz) {
    std::uint32_t& bits = bits_[dz];
    if (bits == kEmpty) [[unlikely]]
      bits = std::bit_cast<std::uint32_t>(effort::SlopeEffort(static_cast<float>(dz), step_));
    return std::bit_cast<float>(bits);
  }

 private:
  float step_;
  std::vector<std::uint32_t> bits_;
};

// E by the bits of dz for one step length: a direct-mapped memo of the values last seen.
// DEMs hold few distinct differences in practice (flat ground, whole or decimal
// elevations), so most moves skip the trigonometry.
class EffortMemo {
 public:
  explicit EffortMemo(float step) : step_(step) { keys_.fill(kEmpty); }

  [[gnu::always_inline]] float operator()(float dz) {
    const std::uint32_t key = std::bit_cast<std::uint32_t>(dz);
    const std::uint32_t slot = (key * 0x9E3779B1u) >> (32 - kBits);
    if (keys_[slot] != key) {
      keys_[slot] = key;
      values_[slot] = effort::SlopeEffort(dz, step_);
    }
    return values_[slot];
  }

 private:
  static constexpr int kBits = 11;
  float step_;
  std::array<std::uint32_t, 1u << kBits> keys_;
  std::array<float, 1u << kBits> values_{};
};

// E of the move between two DEM cells, for one step length, as one thread looks it up.
template <class T>
class EffortLookup {
 public:
  explicit EffortLookup(float step) : lookup_(Make(step)) {}

  [[gnu::always_inline]] float operator()(T a, T b) {
    if constexpr (kTabulated<T>)
      return lookup_(static_cast<std::uint32_t>(a > b ? int{a} - int{b} : int{b} - int{a}));
    else
      return lookup_(effort::Difference(a, b));
  }

 private:
  using Lookup = std::conditional_t<kTabulated<T>, EffortTable, EffortMemo>;
  static Lookup Make(float step) {
    if constexpr (kTabulated<T>)
      return EffortTable(std::size_t{1} << (8 * sizeof(T)), step);
    else
      return EffortMemo(step);
  }
  Lookup lookup_;
};

template <class T>
class FastKernel {
 public:
  FastKernel(const T* dem, std::optional<T> noData, const EffortGrids& g, const EffortOutputs& out,
             const EffortStrip& strip, int threads)
      : dem_(dem), noData_(noData), g_(g), out_(out),
        inputRow_(strip.inputRow), outputShift_((strip.firstRow - strip.inputRow) * g.columns) {
    for (int code = -128; code < 128; ++code)
      factor_[static_cast<std::uint8_t>(code)] = GroundCoverFactor(static_cast<std::int8_t>(code));
    const float straight = g.cellSize, diagonal = g.cellSize * kDiagonalFactor;  // once, in single precision
    workers_.reserve(static_cast<std::size_t>(threads));
    for (int w = 0; w < threads; ++w) workers_.push_back(Worker{EffortLookup<T>(straight), EffortLookup<T>(diagonal)});
  }

  static void Band(void* self, int worker, std::int64_t first, std::int64_t end) {
    auto* kernel = static_cast<FastKernel*>(self);
    kernel->Rows(kernel->workers_[static_cast<std::size_t>(worker)], first, end);
  }

 private:
  struct Worker {
    EffortLookup<T> straight, diagonal;
  };

  void Rows(Worker& w, std::int64_t first, std::int64_t end) const {
    const std::int64_t last = g_.rows - 1;
    for (std::int64_t r = first; r < end; ++r) {
      if (r == 0)
        r == last ? Row<true, true>(w, r) : Row<true, false>(w, r);
      else
        r == last ? Row<false, true>(w, r) : Row<false, false>(w, r);
    }
  }

  // One row of the whole grid; Top and Bottom say whether it is the first and the last.
  // Everything the loop reads is held in locals, which the stores into the bands cannot
  // touch. Cells are indexed as the inputs hold them; the outputs hold the same cell
  // `shift` elements earlier.
  template <bool Top, bool Bottom>
  void Row(Worker& w, std::int64_t r) const {
    const std::int64_t C = g_.columns;
    if (C <= 0) return;
    const T* const dem = dem_;
    const effort::NoDataTest<T> noData = noData_;
    const std::uint8_t* const trails = g_.trails;
    const std::uint8_t* const streams = g_.streams;
    const std::int8_t* const cover = g_.groundCover;
    const std::uint8_t trailsNoData = g_.trailsNoData, streamsNoData = g_.streamsNoData;
    const float N = out_.noData;
    const float* const factor = factor_.data();
    float* const north = out_.north;
    float* const northEast = out_.northEast;
    float* const east = out_.east;
    float* const southEast = out_.southEast;
    const std::int64_t shift = outputShift_;
    EffortLookup<T>& straight = w.straight;
    EffortLookup<T>& diagonal = w.diagonal;

    // The move from cell a into cell b: the rules in their order, E only when it counts.
    const auto cost = [&](std::int64_t a, std::int64_t b, EffortLookup<T>& effort) __attribute__((always_inline)) {
      const T za = dem[a], zb = dem[b];
      // Each test is one branch: both sides are read and combined without short-circuit.
      if (noData(za) | noData(zb)) return N;
      if ((trails[a] != trailsNoData) & (trails[b] != trailsNoData)) return effort(za, zb) / 4.0f;
      const std::int8_t code = cover[b];
      if ((streams[b] != streamsNoData) | (code == 1)) return N;
      return effort(za, zb) * factor[static_cast<std::uint8_t>(code)];
    };

    const std::int64_t begin = (r - inputRow_) * C, lastColumn = begin + C - 1;
    for (std::int64_t i = begin; i < lastColumn; ++i) {
      // All four moves before any store: the byte grids could alias the bands, so a store
      // between them would make the compiler read cell i's bytes again.
      const float toNorth = Top ? N : cost(i, i - C, straight);
      const float toNorthEast = Top ? N : cost(i, i - C + 1, diagonal);
      const float toEast = cost(i, i + 1, straight);
      const float toSouthEast = Bottom ? N : cost(i, i + C + 1, diagonal);
      north[i - shift] = toNorth;
      northEast[i - shift] = toNorthEast;
      east[i - shift] = toEast;
      southEast[i - shift] = toSouthEast;
    }
    const std::int64_t o = lastColumn - shift;
    north[o] = Top ? N : cost(lastColumn, lastColumn - C, straight);
    northEast[o] = N;
    east[o] = N;
    southEast[o] = N;
  }

  const T* dem_;
  effort::NoDataTest<T> noData_;
  EffortGrids g_;
  EffortOutputs out_;
  std::int64_t inputRow_;     // the row of the whole grid at the inputs' first element
  std::int64_t outputShift_;  // how many elements the outputs' lie before the inputs'
  std::array<float, 256> factor_;  // GroundCoverFactor by the cover byte
  std::vector<Worker> workers_;
};

// The rows a call computes, [first, end) of the whole grid.
struct RowRange {
  std::int64_t first, end;
};
RowRange RowsOf(const EffortGrids& g, const EffortStrip& strip) {
  const std::int64_t first = strip.firstRow;
  const std::int64_t end = strip.rows < 0 ? g.rows : std::min<std::int64_t>(g.rows, first + strip.rows);
  return {first, std::max(first, end)};
}

// The threads of a run: as asked, else every core for many cells; never more than there
// are bands, nor than kMaxThreads (each thread has lookups of its own).
int ThreadsFor(const EffortGrids& g, RowRange rows, int asked) {
  int threads = asked;
  if (threads <= 0)
    threads = (rows.end - rows.first) * g.columns < kThreadedCells
                  ? 1
                  : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const std::int64_t bands = effort::BandCount(rows.first, rows.end);
  return static_cast<int>(std::clamp<std::int64_t>(std::min<std::int64_t>(threads, bands), 1, kMaxThreads));
}

}  // namespace

template <class T>
bool EffortKernel(const T* dem, std::optional<std::type_identity_t<T>> demNoData, const EffortGrids& grids,
                  const EffortOutputs& out, const EffortRun& run) {
  const RowRange rows = RowsOf(grids, run.strip);
  const int threads = ThreadsFor(grids, rows, run.threads);
  FastKernel<T> kernel(dem, demNoData, grids, out, run.strip, threads);
  return effort::RunRowBands(rows.first, rows.end, threads, &FastKernel<T>::Band, &kernel, run.mark, run.context);
}

bool EffortKernel(int pixelType, const void* dem, double demNoData, const EffortGrids& grids,
                  const EffortOutputs& out, const EffortRun& run) {
  return effort::ByPixelType(pixelType, dem, demNoData, true,
                             [&](const auto* cells, auto noData) { return EffortKernel(cells, noData, grids, out, run); });
}

template bool EffortKernel(const std::uint8_t*, std::optional<std::uint8_t>, const EffortGrids&, const EffortOutputs&,
                           const EffortRun&);
template bool EffortKernel(const std::int8_t*, std::optional<std::int8_t>, const EffortGrids&, const EffortOutputs&,
                           const EffortRun&);
template bool EffortKernel(const std::uint16_t*, std::optional<std::uint16_t>, const EffortGrids&,
                           const EffortOutputs&, const EffortRun&);
template bool EffortKernel(const std::int16_t*, std::optional<std::int16_t>, const EffortGrids&, const EffortOutputs&,
                           const EffortRun&);
template bool EffortKernel(const std::uint32_t*, std::optional<std::uint32_t>, const EffortGrids&,
                           const EffortOutputs&, const EffortRun&);
template bool EffortKernel(const std::int32_t*, std::optional<std::int32_t>, const EffortGrids&, const EffortOutputs&,
                           const EffortRun&);
template bool EffortKernel(const float*, std::optional<float>, const EffortGrids&, const EffortOutputs&,
                           const EffortRun&);
template bool EffortKernel(const double*, std::optional<double>, const EffortGrids&, const EffortOutputs&,
                           const EffortRun&);

}  // namespace plenth
