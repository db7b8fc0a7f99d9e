#include "data/filenamepart.h"

namespace plenth {

std::size_t FileNamePart(std::string_view path) {
  const std::size_t last = path.find_last_of("/\\:");
  return last == std::string_view::npos ? 0 : last + 1;
}

}  // namespace plenth
