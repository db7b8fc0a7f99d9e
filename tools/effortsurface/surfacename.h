// The name an effort surface is created under, from the output a person typed: the one
// rule the dialog's OK follows and the command-line host tells before it presses OK.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plenth {

// The most characters of a surface's name, a typed ".tif" aside.
inline constexpr std::size_t kSurfaceNameBytes = 7;
// Room for the name, a ".tif" and the terminating zero.
inline constexpr std::size_t kSurfaceNameBuffer = kSurfaceNameBytes + 4 + 1;

// From the file name part of a typed output path: its first 7 bytes (never half a
// character), with no dot at their end. A ".tif" that ends the typed name, in any case,
// is set aside before the cut and put back after it, so "effort.tif" and "effort" both
// name effort.tif and "cost.tif" stays cost.tif; any other extension is part of the name
// ("a.img" stays a.img, "surface.img" becomes surface). An empty cut gives an empty name.
std::string SurfaceName(std::string_view fileName);

}  // namespace plenth
