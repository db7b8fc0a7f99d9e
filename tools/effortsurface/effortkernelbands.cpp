#include "tools/effortsurface/effortkernelbands.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace plenth::effort {
namespace {

// The bands of rows [firstRow, endRow): the k-th covers the part of the k-th hundred
// that the rows reach.
struct Bands {
  std::int64_t firstRow, endRow, firstBand, count;

  Bands(std::int64_t first, std::int64_t end)
      : firstRow(first), endRow(end), firstBand(first / kBandRows), count(BandCount(first, end)) {}
  std::int64_t Begin(std::int64_t k) const { return std::max(firstRow, (firstBand + k) * kBandRows); }
  std::int64_t End(std::int64_t k) const { return std::min(endRow, (firstBand + k + 1) * kBandRows); }
  // The band's mark, when it starts a hundred; true to go on.
  bool Mark(std::int64_t k, ProgressMark mark, void* context) const {
    const std::int64_t begin = Begin(k);
    return !mark || begin % kBandRows != 0 || mark(context, static_cast<std::int32_t>(begin));
  }
};

bool RunSerial(const Bands& bands, BandWork work, void* workContext, ProgressMark mark, void* markContext) {
  for (std::int64_t k = 0; k < bands.count; ++k) {
    if (!bands.Mark(k, mark, markContext)) return false;
    work(workContext, 0, bands.Begin(k), bands.End(k));
  }
  return true;
}

// Bands handed out one at a time to whichever thread asks next.
struct SharedBands {
  const Bands& bands;
  BandWork work;
  void* workContext;
  std::atomic<std::int64_t> next{0};
  std::atomic<bool> stop{false};
  std::unique_ptr<std::atomic<bool>[]> done;  // value-initialised: all false

  // Does one band; false when none is left or the run was stopped.
  bool WorkOne(int worker) {
    if (stop.load(std::memory_order_relaxed)) return false;
    const std::int64_t k = next.fetch_add(1, std::memory_order_relaxed);
    if (k >= bands.count) return false;
    work(workContext, worker, bands.Begin(k), bands.End(k));
    done[k].store(true, std::memory_order_release);
    return true;
  }
};

}  // namespace

std::int64_t BandCount(std::int64_t firstRow, std::int64_t endRow) {
  return endRow > firstRow ? (endRow - 1) / kBandRows - firstRow / kBandRows + 1 : 0;
}

bool RunRowBands(std::int64_t firstRow, std::int64_t endRow, int threads, BandWork work, void* workContext,
                 ProgressMark mark, void* markContext) {
  const Bands bands(firstRow, endRow);
  const std::int64_t helperCount = std::min<std::int64_t>(threads, bands.count) - 1;
  if (helperCount < 1) return RunSerial(bands, work, workContext, mark, markContext);

  SharedBands shared{bands, work, workContext, {0}, {false},
                     std::make_unique<std::atomic<bool>[]>(static_cast<std::size_t>(bands.count))};
  std::vector<std::thread> helpers;
  helpers.reserve(static_cast<std::size_t>(helperCount));
  try {
    for (int worker = 1; worker <= helperCount; ++worker)
      helpers.emplace_back([&shared, worker] {
        while (shared.WorkOne(worker)) {
        }
      });
  } catch (const std::system_error&) {
    // Fewer threads than asked for: the ones started and the caller share the bands.
  }
  const auto joinAll = [&] {
    for (auto& h : helpers) h.join();
  };

  std::int64_t marked = 0;
  bool stopped = false;
  const auto report = [&] {
    while (!stopped && marked < bands.count && shared.done[marked].load(std::memory_order_acquire)) {
      if (!bands.Mark(marked, mark, markContext)) {
        stopped = true;
        shared.stop.store(true, std::memory_order_relaxed);
      }
      ++marked;
    }
  };
  try {
    while (shared.WorkOne(0)) report();
  } catch (...) {
    shared.stop.store(true, std::memory_order_relaxed);
    joinAll();
    throw;
  }
  joinAll();
  report();
  return !stopped;
}

}  // namespace plenth::effort
