#include "tools/lineorientation/segmentorientation.h"

#include <cmath>

namespace plenth {

double SegmentOrientation(double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1;
  const double dy = y2 - y1;
  const double pi = 4 * std::atan(1.0);
  const double theta = dy == 0 ? 90 : std::atan(std::fabs(dx) / std::fabs(dy)) * 180 / pi;
  if (x2 > x1) return y2 < y1 ? 180 - theta : theta;
  return y2 > y1 ? 180 - theta : theta;
}

}  // namespace plenth
