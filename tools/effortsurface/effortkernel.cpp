// The fast kernel: the arithmetic of the plain one, organised for speed. Moves whose
// result the rules fix without E skip the trigonometry; E is looked up by |dz| (a table
// over the whole range for 8- and 16-bit integer DEMs, a small memo for the others), and
// large grids are shared among threads in bands of 100 rows.
#include "tools/effortsurface/effortkernel.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <thread>

#include "tools/effortsurface/effortcost.h"
#include "tools/effortsurface/effortkernelbands.h"
#include "tools/effortsurface/groundcover.h"

namespace plenth {
namespace {

// Grids smaller than this stay on the caller's thread.
constexpr std::int64_t kThreadedCells = 250000;

template <class T>
constexpr bool kTabulated = std::is_integral_v<T> && sizeof(T) <= 2;

// E by |dz| for every |dz| an 8- or 16-bit DEM can have, for one step length. Entries are
// filled when first needed, by whichever thread needs them; all threads compute the same
// value, so a relaxed store is enough.
class EffortTable {
 public:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;  // a NaN that E never is

  EffortTable(std::size_t span, float step)
      : step_(step), bits_(std::make_unique<std::atomic<std::uint32_t>[]>(span)) {
    for (std::size_t dz = 0; dz < span; ++dz) bits_[dz].store(kEmpty, std::memory_order_relaxed);
  }

  float operator()(std::uint32_t dz) const {
    std::uint32_t bits = bits_[dz].load(std::memory_order_relaxed);
    if (bits == kEmpty) {
      bits = std::bit_cast<std::uint32_t>(effort::SlopeEffort(static_cast<float>(dz), step_));
      bits_[dz].store(bits, std::memory_order_relaxed);
    }
    return std::bit_cast<float>(bits);
  }

 private:
  float step_;
  std::unique_ptr<std::atomic<std::uint32_t>[]> bits_;
};

// E by the bits of dz for one step length: a direct-mapped memo of the last values seen,
// one per thread and band, on the stack. DEMs hold few distinct differences in practice
// (flat ground, integer or decimal elevations), so most moves skip the trigonometry.
class EffortMemo {
 public:
  explicit EffortMemo(float step) : step_(step) { keys_.fill(kEmpty); }

  float operator()(float dz) {
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
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;  // a negative NaN; dz = |...| never is
  float step_;
  std::array<std::uint32_t, 1u << kBits> keys_;
  std::array<float, 1u << kBits> values_;
};

template <class T>
class FastKernel {
 public:
  FastKernel(const T* dem, std::optional<T> noData, const EffortGrids& g, const EffortOutputs& out)
      : dem_(dem), noData_(noData.value_or(T{})), hasNoData_(noData.has_value()), g_(g), out_(out),
        straight_(g.cellSize), diagonal_(g.cellSize * kDiagonalFactor) {  // once, in single precision
    for (int code = -128; code < 128; ++code)
      factor_[static_cast<std::uint8_t>(code)] = GroundCoverFactor(static_cast<std::int8_t>(code));
    if constexpr (kTabulated<T>) {
      constexpr std::size_t span = std::size_t{1} << (8 * sizeof(T));
      straightTable_.emplace(span, straight_);
      diagonalTable_.emplace(span, diagonal_);
    }
  }

  static void Band(void* self, std::int64_t first, std::int64_t end) {
    static_cast<const FastKernel*>(self)->Rows(first, end);
  }

 private:
  void Rows(std::int64_t first, std::int64_t end) const {
    if constexpr (kTabulated<T>) {
      RowsWith(first, end, Tabulated{&*straightTable_}, Tabulated{&*diagonalTable_});
    } else {
      EffortMemo straight(straight_), diagonal(diagonal_);
      RowsWith(first, end, Memoized{&straight}, Memoized{&diagonal});
    }
  }

  struct Tabulated {
    const EffortTable* table;
    float operator()(T a, T b) const {
      return (*table)(static_cast<std::uint32_t>(a > b ? int(a) - int(b) : int(b) - int(a)));
    }
  };
  struct Memoized {
    EffortMemo* memo;
    float operator()(T a, T b) const { return (*memo)(effort::Difference(a, b)); }
  };

  template <class Effort>
  void RowsWith(std::int64_t first, std::int64_t end, Effort straight, Effort diagonal) const {
    const std::int64_t last = g_.rows - 1;
    for (std::int64_t r = first; r < end; ++r) {
      if (r == 0)
        r == last ? Row<true, true>(r, straight, diagonal) : Row<true, false>(r, straight, diagonal);
      else
        r == last ? Row<false, true>(r, straight, diagonal) : Row<false, false>(r, straight, diagonal);
    }
  }

  template <bool Top, bool Bottom, class Effort>
  void Row(std::int64_t r, Effort straight, Effort diagonal) const {
    const std::int64_t C = g_.columns;
    if (C <= 0) return;
    const float N = out_.noData;
    const std::int64_t begin = r * C, lastColumn = begin + C - 1;
    for (std::int64_t i = begin; i < lastColumn; ++i) {
      out_.north[i] = Top ? N : Cost(i, i - C, straight);
      out_.northEast[i] = Top ? N : Cost(i, i - C + 1, diagonal);
      out_.east[i] = Cost(i, i + 1, straight);
      out_.southEast[i] = Bottom ? N : Cost(i, i + C + 1, diagonal);
    }
    out_.north[lastColumn] = Top ? N : Cost(lastColumn, lastColumn - C, straight);
    out_.northEast[lastColumn] = N;
    out_.east[lastColumn] = N;
    out_.southEast[lastColumn] = N;
  }

  // The move from cell a into cell b: the rules in their order, E only when it counts.
  template <class Effort>
  float Cost(std::int64_t a, std::int64_t b, Effort effort) const {
    const T za = dem_[a], zb = dem_[b];
    if (hasNoData_ && (za == noData_ || zb == noData_)) return out_.noData;
    if (g_.trails[a] != g_.trailsNoData && g_.trails[b] != g_.trailsNoData) return effort(za, zb) / 4.0f;
    const std::int8_t cover = g_.groundCover[b];
    if (g_.streams[b] != g_.streamsNoData || cover == 1) return out_.noData;
    return effort(za, zb) * factor_[static_cast<std::uint8_t>(cover)];
  }

  const T* dem_;
  T noData_;
  bool hasNoData_;
  EffortGrids g_;
  EffortOutputs out_;
  float straight_, diagonal_;
  std::array<float, 256> factor_;  // GroundCoverFactor by the cover byte
  std::optional<EffortTable> straightTable_, diagonalTable_;
};

int ThreadsFor(const EffortGrids& g, int asked) {
  if (asked > 0) return asked;
  if (static_cast<std::int64_t>(g.rows) * g.columns < kThreadedCells) return 1;
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace

template <class T>
bool EffortKernel(const T* dem, std::optional<T> demNoData, const EffortGrids& grids, const EffortOutputs& out,
                  const EffortRun& run) {
  FastKernel<T> kernel(dem, demNoData, grids, out);
  return effort::RunRowBands(grids.rows, ThreadsFor(grids, run.threads), &FastKernel<T>::Band, &kernel, run.mark,
                             run.context);
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
