#include "tools/effortsurface/surfacename.h"

#include "com/utf8.h"

namespace plenth {

std::string SurfaceName(std::string_view fileName) {
  constexpr std::string_view kTif = ".tif";
  std::string_view typedTif;
  if (fileName.size() > kTif.size()) {
    const std::string_view end = fileName.substr(fileName.size() - kTif.size());
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    bool same = true;
    for (std::size_t i = 0; i < kTif.size(); ++i) same = same && lower(end[i]) == kTif[i];
    if (same) {
      typedTif = end;
      fileName.remove_suffix(kTif.size());
    }
  }
  std::string name(com::CutUtf8(fileName, kSurfaceNameBytes));
  while (!name.empty() && name.back() == '.') name.pop_back();
  if (name.empty()) return name;
  return name + std::string(typedTif);
}

}  // namespace plenth
