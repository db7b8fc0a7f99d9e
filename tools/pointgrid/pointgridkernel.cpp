#include "tools/pointgrid/pointgridkernel.h"

#include <charconv>
#include <cmath>

namespace plenth {

bool GridStepAdvances(const GridArea& area, double d) {
  if (!(d > 0)) return false;
  for (const double bound : {area.xMin, area.xMax, area.yMin, area.yMax})
    if (bound + d == bound || bound - d == bound) return false;
  return true;
}

std::string GridCountText(double min, double max, double d) {
  if (!(d > 0) || !(min <= max)) return "?";
  const double count = std::trunc((max - min) / d) + 1;
  char text[400];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, count, std::chars_format::fixed, 0);
  return ec == std::errc() ? std::string(text, end) : "?";
}

bool ClipToVisible(GridArea& area, double d, const GridArea& visible) {
  if (area.xMin > visible.xMax) return false;
  if (area.xMax > visible.xMax) area.xMax = visible.xMax;
  if (area.yMax < visible.yMin) return false;
  if (area.yMin < visible.yMin) area.yMin = visible.yMin;
  if (area.xMax < visible.xMin) return false;
  if (area.xMin < visible.xMin) area.xMin = area.xMin + d * (std::trunc((visible.xMin - area.xMin) / d) + 1);
  if (area.yMin > visible.yMax) return false;
  if (area.yMax > visible.yMax) area.yMax = area.yMax - d * (std::trunc((area.yMax - visible.yMax) / d) + 1);
  return true;
}

}  // namespace plenth
