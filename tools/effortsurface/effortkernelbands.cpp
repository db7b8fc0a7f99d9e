#include "tools/effortsurface/effortkernelbands.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace plenth::effort {
namespace {

std::int64_t BandEnd(std::int64_t band, std::int64_t rows) { return std::min(rows, (band + 1) * kBandRows); }

bool Mark(ProgressMark mark, void* context, std::int64_t band) {
  return !mark || mark(context, static_cast<std::int32_t>(band * kBandRows));
}

bool RunSerial(std::int64_t rows, std::int64_t bands, BandWork work, void* workContext, ProgressMark mark,
               void* markContext) {
  for (std::int64_t b = 0; b < bands; ++b) {
    if (!Mark(mark, markContext, b)) return false;
    work(workContext, 0, b * kBandRows, BandEnd(b, rows));
  }
  return true;
}

// Bands handed out one at a time to whichever thread asks next.
struct SharedBands {
  std::int64_t rows, bands;
  BandWork work;
  void* workContext;
  std::atomic<std::int64_t> next{0};
  std::atomic<bool> stop{false};
  std::unique_ptr<std::atomic<bool>[]> done;  // value-initialised: all false

  // Does one band; false when none is left or the run was stopped.
  bool WorkOne(int worker) {
    if (stop.load(std::memory_order_relaxed)) return false;
    const std::int64_t b = next.fetch_add(1, std::memory_order_relaxed);
    if (b >= bands) return false;
    work(workContext, worker, b * kBandRows, BandEnd(b, rows));
    done[b].store(true, std::memory_order_release);
    return true;
  }
};

}  // namespace

bool RunRowBands(std::int64_t rows, int threads, BandWork work, void* workContext, ProgressMark mark,
                 void* markContext) {
  const std::int64_t bands = rows > 0 ? (rows + kBandRows - 1) / kBandRows : 0;
  const std::int64_t helperCount = std::min<std::int64_t>(threads, bands) - 1;
  if (helperCount < 1) return RunSerial(rows, bands, work, workContext, mark, markContext);

  SharedBands shared{rows, bands, work, workContext, {0}, {false},
                     std::make_unique<std::atomic<bool>[]>(static_cast<std::size_t>(bands))};
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
    while (!stopped && marked < bands && shared.done[marked].load(std::memory_order_acquire)) {
      if (!Mark(mark, markContext, marked)) {
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
