// Splitting a typed path into its directory part and its file name.
#pragma once

#include <cstddef>
#include <string_view>

namespace plenth {

// Where the file name begins: just after the last '/', '\' or ':', or 0 when the path
// has none of them. The directory part is everything before, separator included.
std::size_t FileNamePart(std::string_view path);

}  // namespace plenth
