#include "tools/polyclip/clipkernel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

#include "gis/pixeltype.h"

namespace plenth::clip {

int ClassTable::IndexOf(std::int32_t value) {
  // Categorical rasters come in runs: the last cell's class answers most cells.
  if (lastIndex_ >= 0 && value == lastValue_) return lastIndex_;
  unsigned slot = (static_cast<std::uint32_t>(value) * 0x9E3779B1u) >> 25;  // 7 bits: kSlots
  while (slots_[slot] != 0) {
    const int index = slots_[slot] - 1;
    if (values_[index] == value) {
      lastValue_ = value;
      lastIndex_ = index;
      return index;
    }
    slot = (slot + 1) % kSlots;
  }
  if (count_ == kCapacity) return -1;
  const int index = count_++;
  values_[index] = value;
  slots_[slot] = static_cast<std::uint8_t>(index + 1);
  if (count_ == kCapacity) return -1;  // the 40th distinct value ends the run
  lastValue_ = value;
  lastIndex_ = index;
  return index;
}

bool ClassTable::Classify(const std::int32_t* cells, std::size_t count, std::uint8_t* classOf) {
  if (full()) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const int index = IndexOf(cells[i]);
    if (index < 0) return false;
    classOf[i] = static_cast<std::uint8_t>(index);
  }
  return true;
}

bool ToClassValues(int pixelType, const void* cells, std::size_t count, std::int32_t* out) {
  return VisitPixelType(
      pixelType,
      [&]<class T>() {
        if constexpr (std::is_floating_point_v<T>) {
          return false;
        } else {
          const auto* bytes = static_cast<const unsigned char*>(cells);
          for (std::size_t i = 0; i < count; ++i) {
            T v;
            std::memcpy(&v, bytes + i * sizeof(T), sizeof v);
            out[i] = static_cast<std::int32_t>(v);  // ULONG wraps: taken bit for bit
          }
          return true;
        }
      },
      false);
}

namespace {

// Truncation toward zero of a cell distance, kept within [-1, limit] before it becomes an
// integer (a NaN, from an empty or broken envelope, reads as -1).
std::int64_t TruncatedCell(double distance, std::int64_t limit) {
  const double t = std::trunc(distance);
  if (!(t >= -1)) return -1;
  if (t > static_cast<double>(limit)) return limit;
  return static_cast<std::int64_t>(t);
}

}  // namespace

CellRange CandidateRange(const CellGrid& grid, double xMin, double yMin, double xMax, double yMax) {
  CellRange r;
  r.firstRow = std::max<std::int64_t>(TruncatedCell((grid.topY - yMax) / grid.cellY, grid.rows), 0);
  r.lastRow = std::min(TruncatedCell((grid.topY - yMin) / grid.cellY, grid.rows), grid.rows - 1);
  r.firstColumn = std::max<std::int64_t>(TruncatedCell((xMin - grid.leftX) / grid.cellX, grid.columns), 0);
  r.lastColumn = std::min(TruncatedCell((xMax - grid.leftX) / grid.cellX, grid.columns), grid.columns - 1);
  return r;
}

bool CrossingsCount(std::span<const Edge> edges, std::span<const Ring> rings) {
  std::size_t next = 0;
  for (const Ring& ring : rings) {
    if (ring.first != next || ring.count < 3 || ring.count > edges.size() - next) return false;
    next += ring.count;
    const std::span<const Edge> e = edges.subspan(ring.first, ring.count);
    for (std::size_t i = 1; i < e.size(); ++i)
      if (e[i].x1 != e[i - 1].x2 || e[i].y1 != e[i - 1].y2) return false;
    if (e.back().x2 != e.front().x1 || e.back().y2 != e.front().y1) return false;
  }
  return next == edges.size();
}

namespace {

// Where an edge crosses the horizontal line of a row of centres. `exact` when the
// crossing is at one of its ends; otherwise x is computed and may be off by a few units
// in the last place.
struct Crossing {
  double x;
  bool exact;
};

// An upper bound, with a wide margin, of how far a computed crossing can lie from the true
// one: the few roundings of x1 + (y - y1) * (x2 - x1) / (y2 - y1) stay within 8 units in
// the last place of |x1| + |x2|.
double CrossingTolerance(const Edge& e) { return 1e-13 * (std::fabs(e.x1) + std::fabs(e.x2)) + 1e-300; }

}  // namespace

std::int64_t CountClassCellsByTest(const CellGrid& grid, const CellRange& range, const std::uint8_t* classOf,
                                   std::span<std::int64_t> counts, const ContainsTest& contains) {
  for (std::int64_t row = range.firstRow; row <= range.lastRow; ++row) {
    const double y = grid.CentreY(row);
    const std::uint8_t* classes = classOf + (row - grid.classRow) * grid.columns;
    for (std::int64_t column = range.firstColumn; column <= range.lastColumn; ++column)
      if (contains(grid.CentreX(column), y)) ++counts[classes[column]];
  }
  return range.cells();
}

std::int64_t CountClassCells(const CellGrid& grid, const CellRange& range, std::span<const Edge> edges,
                             std::span<const Ring> rings, const std::uint8_t* classOf,
                             std::span<std::int64_t> counts, const ContainsTest& contains) {
  if (range.empty()) return 0;
  if (!CrossingsCount(edges, rings)) return CountClassCellsByTest(grid, range, classOf, counts, contains);
  // Nothing lies inside beyond the bounds of the outer rings, whatever rings there are.
  double xMin = HUGE_VAL, yMin = HUGE_VAL, xMax = -HUGE_VAL, yMax = -HUGE_VAL;
  for (const Ring& ring : rings) {
    if (!ring.exterior) continue;
    for (const Edge& e : edges.subspan(ring.first, ring.count)) {
      xMin = std::min({xMin, e.x1, e.x2}), xMax = std::max({xMax, e.x1, e.x2});
      yMin = std::min({yMin, e.y1, e.y2}), yMax = std::max({yMax, e.y1, e.y2});
    }
  }

  // Rows go south: an edge joins the active ones when the row reaches its top and leaves
  // when the row has passed below its bottom.
  std::vector<std::uint32_t> order(edges.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  const auto top = [&](std::uint32_t i) { return std::max(edges[i].y1, edges[i].y2); };
  const auto bottom = [&](std::uint32_t i) { return std::min(edges[i].y1, edges[i].y2); };
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return top(a) > top(b); });
  std::size_t next = 0;
  std::vector<std::uint32_t> active;
  std::vector<Crossing> crossings;
  std::vector<std::pair<double, double>> onEdge;  // x intervals of the row's line on the boundary

  for (std::int64_t row = range.firstRow; row <= range.lastRow; ++row) {
    const double y = grid.CentreY(row);
    if (y > yMax) continue;
    if (y < yMin) break;
    while (next < order.size() && top(order[next]) >= y) active.push_back(order[next++]);
    std::erase_if(active, [&](std::uint32_t i) { return bottom(i) > y; });

    // The crossings of the ray's line, as a crossing-number test counts them: an edge
    // counts when one end lies above the line and the other on or below it.
    crossings.clear();
    onEdge.clear();
    double tolerance = 0;
    for (const std::uint32_t i : active) {
      const Edge& e = edges[i];
      if (e.y1 == y && e.y2 == y) {
        onEdge.emplace_back(std::min(e.x1, e.x2), std::max(e.x1, e.x2));
        continue;
      }
      if (e.y2 == y) onEdge.emplace_back(e.x2, e.x2);  // a vertex on the line
      if ((e.y1 > y && e.y2 <= y) || (e.y2 > y && e.y1 <= y)) {
        if (e.y1 == y || e.x1 == e.x2) {
          crossings.push_back({e.x1, true});
        } else if (e.y2 == y) {
          crossings.push_back({e.x2, true});
        } else {
          crossings.push_back({e.x1 + (y - e.y1) * (e.x2 - e.x1) / (e.y2 - e.y1), false});
          tolerance = std::max(tolerance, CrossingTolerance(e));
        }
      }
    }
    if (crossings.empty()) continue;  // nothing of the row is inside
    std::sort(crossings.begin(), crossings.end(), [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
    std::sort(onEdge.begin(), onEdge.end());
    std::size_t merged = 0;  // overlapping intervals joined, so that both ends ascend
    for (const auto& span : onEdge) {
      if (merged > 0 && span.first <= onEdge[merged - 1].second)
        onEdge[merged - 1].second = std::max(onEdge[merged - 1].second, span.second);
      else
        onEdge[merged++] = span;
    }
    onEdge.resize(merged);

    const std::uint8_t* classes = classOf + (row - grid.classRow) * grid.columns;
    const std::size_t n = crossings.size();
    std::size_t j = 0, b = 0;
    for (std::int64_t column = range.firstColumn; column <= range.lastColumn; ++column) {
      const double x = grid.CentreX(column);
      if (x < xMin) continue;
      if (x > xMax) break;
      while (b < onEdge.size() && onEdge[b].second < x) ++b;
      if (b < onEdge.size() && onEdge[b].first <= x) continue;  // on the boundary
      // Crossings surely west of the centre do not count; the others do, but for those
      // near the centre, which are decided one by one.
      while (j < n && crossings[j].x + tolerance < x) ++j;
      std::size_t east = n - j;
      bool boundary = false, undecided = false;
      for (std::size_t k = j; k < n && crossings[k].x - tolerance <= x; ++k) {
        if (!crossings[k].exact)
          undecided = true;
        else if (crossings[k].x == x)
          boundary = true;
        else if (crossings[k].x < x)
          --east;
      }
      if (boundary) continue;
      if (undecided ? contains(x, y) : (east & 1) != 0) ++counts[classes[column]];
    }
  }
  return range.cells();
}

}  // namespace plenth::clip
