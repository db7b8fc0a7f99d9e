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

// Runs rows [firstRow, endRow) in bands that end at multiples of kBandRows, on up to
// `threads` threads, the caller's among them. A band that starts at a multiple of
// kBandRows has a mark: with one thread it comes before its band; with more, once its
// band and every band before it are done. A mark answering false stops the run after
// the bands under way; the result is then false. An exception from a mark stops the
// helpers before it leaves.
bool RunRowBands(std::int64_t firstRow, std::int64_t endRow, int threads, BandWork work, void* workContext,
                 ProgressMark mark, void* markContext);

// How many bands rows [firstRow, endRow) make.
std::int64_t BandCount(std::int64_t firstRow, std::int64_t endRow);

}  // namespace plenth::effort
