// The window layer's clock: milliseconds that never go back. Timers run on it, and
// whatever shows elapsed time reads it, so that a test can drive time by hand.
#pragma once

#include <cstdint>
#include <functional>

namespace ui {

// A source of milliseconds, for a test to put in the place of the real clock.
using Clock = std::function<std::uint64_t()>;

std::uint64_t Now();

}  // namespace ui
