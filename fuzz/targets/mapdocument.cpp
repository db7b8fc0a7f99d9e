#include <stdexcept>
#include <string>

#include "hostapp/mapdocument.h"
#include "fuzz/targets/fuzzinput.h"

namespace plenthfuzz {

void MapDocument(const std::uint8_t* data, std::size_t size) {
  try {
    hostapp::ParseMapDocument(std::string(reinterpret_cast<const char*>(data), size), "/maps/map.json");
  } catch (const std::runtime_error&) {
  }
}

}  // namespace plenthfuzz
