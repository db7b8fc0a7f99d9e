#include "tools/effortsurface/groundcover.h"

namespace plenth {

float GroundCoverFactor(std::int8_t code) {
  switch (code) {
    case 2: return 1.4f;
    case 4: return 1.0f;
    case 5: return 1.1f;
    case 6: return 3.0f;
    case 7: return 1.8f;
    case 9: return 1.2f;
    default: return 1.5f;  // 0, 1, 3, 8, 10 to 127, and the bytes of 128 and more
  }
}

}  // namespace plenth
