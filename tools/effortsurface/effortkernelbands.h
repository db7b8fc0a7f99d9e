// The row bands of the effort kernel: rows in bands of 100, each band's progress mark
// reported once, in order, on the caller's thread, however many threads do the work.
#pragma once

#include <cstdint>

#include "tools/effortsurface/effortkernel.h"

namespace plenth::effort {

inline constexpr std::int64_t kBandRows = 100;

// Computes rows [firstRow, endRow) on the thread numbered `worker` (0 is the caller's, the
// others count up from 1); called for whole bands.
using BandWork = void (*)(void* context, int worker, std::int64_t firstRow, std::int64_t endRow);

// Runs every band of `rows` rows on up to `threads` threads, the caller's among them.
// With one thread each mark comes before its band; with more, once its band and every band
// before it are done. A mark answering false stops the run after the bands under way;
// the result is then false. An exception from a mark stops the helpers before it leaves.
bool RunRowBands(std::int64_t rows, int threads, BandWork work, void* workContext, ProgressMark mark,
                 void* markContext);

}  // namespace plenth::effort
