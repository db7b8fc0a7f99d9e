// The ground-cover factors of the effort surface.
#pragma once

#include <cstdint>

namespace plenth {

// The factor of the ground-cover class of the cell moved into. Code 1 bars the move (the
// kernel then writes its no-data value); the factor returned for it is not used.
float GroundCoverFactor(std::int8_t code);

}  // namespace plenth
