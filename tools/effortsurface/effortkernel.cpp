// The fast kernel: the arithmetic of the plain one, organised for speed. For 8- and 16-bit
// integer DEMs E is looked up by |dz| in a table over the whole range, and moves whose
// result the rules fix without E skip it; for the other types E of every move of a run
// of cells is computed at once on vectors (effort::SlopeEfforts) before the rules are
// applied. Large grids are shared among threads in bands of 100 rows. Each thread has
// lookups of its own, made before the run, so the rows allocate nothing and share
// nothing mutable.
#include "tools/effortsurface/effortkernel.h"

#include <algorithm>
#include <array>
#include <thread>
#include <vector>

#include "tools/effortsurface/effortcost.h"
#include "tools/effortsurface/effortkernelbands.h"
#include "tools/effortsurface/groundcover.h"
#include "tools/effortsurface/slopeeffort.h"

namespace plenth {
namespace {

// Grids smaller than this stay on the caller's thread.
constexpr std::int64_t kThreadedCells = 250000;
constexpr int kMaxThreads = 16;
// Runs of cells computed without the memos before they are tried again.
constexpr unsigned kRunsWithoutMemo = 512;

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

// E of the move between two DEM cells of an 8- or 16-bit type, for one step length, as
// one thread looks it up.
template <class T>
class EffortLookup {
 public:
  explicit EffortLookup(float step) : table_(std::size_t{1} << (8 * sizeof(T)), step) {}

  [[gnu::always_inline]] float operator()(T a, T b) {
    return table_(static_cast<std::uint32_t>(a > b ? int{a} - int{b} : int{b} - int{a}));
  }

 private:
  EffortTable table_;
};

// E of a move as SlopeEfforts left it: its value, or computed here where it was marked.
[[gnu::always_inline]] inline float Resolved(float e, float dz, float step) {
  if (std::bit_cast<std::uint32_t>(e) == effort::kAskSlopeEffort) [[unlikely]]
    return effort::SlopeEffort(dz, step);
  return e;
}

// E by the bits of dz for one step length: a direct-mapped memo of the values last seen.
// Many DEMs hold few distinct differences (flat ground, elevations in whole or tenths of
// units), and then most moves skip the arithmetic.
class EffortMemo {
 public:
  EffortMemo() { keys_.fill(kEmpty); }

  // E of dz, computed and kept when the memo does not hold it (then `misses` counts one).
  [[gnu::always_inline]] float operator()(float dz, float step, unsigned& misses) {
    const std::uint32_t key = std::bit_cast<std::uint32_t>(dz);
    const std::uint32_t slot = (key * 0x9E3779B1u) >> (32 - kBits);
    if (keys_[slot] != key) [[unlikely]] {
      ++misses;
      keys_[slot] = key;
      values_[slot] = effort::SlopeEffort(dz, step);
    }
    return values_[slot];
  }

 private:
  static constexpr int kBits = 11;
  std::array<std::uint32_t, 1u << kBits> keys_;
  std::array<float, 1u << kBits> values_{};
};

// What a thread holds for the moves of one row: a table per step length for 8- and
// 16-bit DEMs; for the others a memo per step length, and whether it has been paying.
template <class T>
struct WorkerLookups {
  EffortLookup<T> straight, diagonal;
  WorkerLookups(float s, float d) : straight(s), diagonal(d) {}
};
template <class T>
  requires(!kTabulated<T>)
struct WorkerLookups<T> {
  EffortMemo straight, diagonal;
  bool useMemo = true;    // whether the last runs found enough of their moves in the memos
  bool memoWarm = false;  // whether the memos have seen the run before this one
  unsigned runsLeft = 0;  // runs to go without the memos before they are tried again
  WorkerLookups(float, float) {}
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
    workers_.reserve(static_cast<std::size_t>(threads));
    for (int w = 0; w < threads; ++w) workers_.emplace_back(straight_, diagonal_);
  }

  static void Band(void* self, int worker, std::int64_t first, std::int64_t end) {
    auto* kernel = static_cast<FastKernel*>(self);
    kernel->Rows(kernel->workers_[static_cast<std::size_t>(worker)], first, end);
  }

 private:
  using Worker = WorkerLookups<T>;

  void Rows(Worker& w, std::int64_t first, std::int64_t end) const {
    const std::int64_t last = g_.rows - 1;
    for (std::int64_t r = first; r < end; ++r) {
      if constexpr (kTabulated<T>) {
        if (r == 0)
          r == last ? Row<true, true>(w, r) : Row<true, false>(w, r);
        else
          r == last ? Row<false, true>(w, r) : Row<false, false>(w, r);
      } else {
        if (r == 0)
          r == last ? RowOfRuns<true, true>(w, r) : RowOfRuns<true, false>(w, r);
        else
          r == last ? RowOfRuns<false, true>(w, r) : RowOfRuns<false, false>(w, r);
      }
    }
  }

  // One row of the whole grid; Top and Bottom say whether it is the first and the last.
  // Everything the loop reads is held in locals, which the stores into the bands cannot
  // touch. Cells are indexed as the inputs hold them; the outputs hold the same cell
  // `shift` elements earlier.
  template <bool Top, bool Bottom>
    requires kTabulated<T>
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

  // One row of the whole grid in runs of kRun cells. While the memos hold most of the
  // differences met, a run goes cell by cell as in Row, E from the memos; otherwise the
  // four differences of every cell of a run are taken first, their efforts computed at
  // once, and the rules applied cell by cell after.
  template <bool Top, bool Bottom>
    requires(!kTabulated<T>)
  void RowOfRuns(Worker& w, std::int64_t r) const {
    constexpr std::int64_t kRun = 512;
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
    const float straight = straight_, diagonal = diagonal_;
    const std::int64_t shift = outputShift_;

    // The move from cell a into cell b, the rules in their order, E from effort() only
    // when it counts.
    const auto cost = [&](std::int64_t a, std::int64_t b, auto&& effort) __attribute__((always_inline)) {
      if (noData(dem[a]) | noData(dem[b])) return N;
      if ((trails[a] != trailsNoData) & (trails[b] != trailsNoData)) return effort() / 4.0f;
      const std::int8_t code = cover[b];
      if ((streams[b] != streamsNoData) | (code == 1)) return N;
      return effort() * factor[static_cast<std::uint8_t>(code)];
    };

    alignas(32) float dzNorth[kRun], dzNorthEast[kRun], dzEast[kRun], dzSouthEast[kRun];
    alignas(32) float eNorth[kRun], eNorthEast[kRun], eEast[kRun], eSouthEast[kRun];
    const std::int64_t begin = (r - inputRow_) * C, lastColumn = begin + C - 1;
    for (std::int64_t start = begin; start < lastColumn; start += kRun) {
      const std::int64_t n = std::min(kRun, lastColumn - start);
      float* const north = out_.north + (start - shift);
      float* const northEast = out_.northEast + (start - shift);
      float* const east = out_.east + (start - shift);
      float* const southEast = out_.southEast + (start - shift);
      if (w.useMemo) {
        unsigned misses = 0;
        const auto memo = [&](EffortMemo& m, std::int64_t a, std::int64_t b, float step) __attribute__((always_inline)) {
          return [&m, &misses, a, b, step, dem]() __attribute__((always_inline)) {
            return m(effort::Difference(dem[a], dem[b]), step, misses);
          };
        };
        for (std::int64_t k = 0; k < n; ++k) {
          const std::int64_t i = start + k;
          const float toNorth = Top ? N : cost(i, i - C, memo(w.straight, i, i - C, straight));
          const float toNorthEast = Top ? N : cost(i, i - C + 1, memo(w.diagonal, i, i - C + 1, diagonal));
          const float toEast = cost(i, i + 1, memo(w.straight, i, i + 1, straight));
          const float toSouthEast = Bottom ? N : cost(i, i + C + 1, memo(w.diagonal, i, i + C + 1, diagonal));
          north[k] = toNorth;
          northEast[k] = toNorthEast;
          east[k] = toEast;
          southEast[k] = toSouthEast;
        }
        // Past one miss in two moves computing a run's efforts together is the faster way:
        // the memos are left out for a while. The first run after a pause fills them
        // again and is not judged.
        constexpr unsigned kMovesPerCell = (Top ? 0 : 2) + 1 + (Bottom ? 0 : 1);
        if (w.memoWarm && misses * 2 > static_cast<unsigned>(n) * kMovesPerCell) {
          w.useMemo = w.memoWarm = false;
          w.runsLeft = kRunsWithoutMemo;
        } else {
          w.memoWarm = true;
        }
        continue;
      }

      const auto count = static_cast<std::size_t>(n);
      for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = start + k;
        if (!Top) {
          dzNorth[k] = effort::Difference(dem[i], dem[i - C]);
          dzNorthEast[k] = effort::Difference(dem[i], dem[i - C + 1]);
        }
        dzEast[k] = effort::Difference(dem[i], dem[i + 1]);
        if (!Bottom) dzSouthEast[k] = effort::Difference(dem[i], dem[i + C + 1]);
      }
      if (!Top) {
        effort::SlopeEfforts(dzNorth, eNorth, count, straight);
        effort::SlopeEfforts(dzNorthEast, eNorthEast, count, diagonal);
      }
      effort::SlopeEfforts(dzEast, eEast, count, straight);
      if (!Bottom) effort::SlopeEfforts(dzSouthEast, eSouthEast, count, diagonal);
      const auto computed = [](const float* e, const float* dz, std::int64_t k, float step) __attribute__((always_inline)) {
        return [e, dz, k, step]() __attribute__((always_inline)) { return Resolved(e[k], dz[k], step); };
      };
      for (std::int64_t k = 0; k < n; ++k) {
        const std::int64_t i = start + k;
        const float toNorth = Top ? N : cost(i, i - C, computed(eNorth, dzNorth, k, straight));
        const float toNorthEast = Top ? N : cost(i, i - C + 1, computed(eNorthEast, dzNorthEast, k, diagonal));
        const float toEast = cost(i, i + 1, computed(eEast, dzEast, k, straight));
        const float toSouthEast = Bottom ? N : cost(i, i + C + 1, computed(eSouthEast, dzSouthEast, k, diagonal));
        north[k] = toNorth;
        northEast[k] = toNorthEast;
        east[k] = toEast;
        southEast[k] = toSouthEast;
      }
      w.useMemo = --w.runsLeft == 0;
    }
    const std::int64_t o = lastColumn - shift;
    if (Top) {
      out_.north[o] = N;
    } else {
      const float dz = effort::Difference(dem[lastColumn], dem[lastColumn - C]);
      out_.north[o] = cost(lastColumn, lastColumn - C, [&] { return effort::SlopeEffort(dz, straight); });
    }
    out_.northEast[o] = N;
    out_.east[o] = N;
    out_.southEast[o] = N;
  }

  const T* dem_;
  effort::NoDataTest<T> noData_;
  EffortGrids g_;
  EffortOutputs out_;
  std::int64_t inputRow_;     // the row of the whole grid at the inputs' first element
  std::int64_t outputShift_;  // how many elements the outputs' lie before the inputs'
  std::array<float, 256> factor_;  // GroundCoverFactor by the cover byte
  // The step lengths, computed once in single precision.
  float straight_ = g_.cellSize, diagonal_ = g_.cellSize * kDiagonalFactor;
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
