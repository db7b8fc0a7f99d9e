// The window layer's clock: milliseconds that never go back. Timers run on it, and
// whatever shows elapsed time reads it, so that a test can drive time by hand.
#pragma once

#include <cstdint>
#include <functional>

namespace ui {

// A source of milliseconds, for a test to put in the place of the real clock.
using Clock = std::function<std::uint64_t()>;

std::uint64_t Now();

// The calendar time in whole seconds since 1970, as the C library's time() gives it. A
// host may put another source in its place (a fixed second, for a run that must come
// out the same each time); SetTimeSource returns the one it replaces (null: the
// system's).
using TimeSource = std::function<std::int64_t()>;
std::int64_t TimeNow();
TimeSource SetTimeSource(TimeSource source);

}  // namespace ui
