// The arithmetic of polygon clip statistics, apart from layers, files and dialogs: the
// raster's classes in order of first appearance, the cells a polygon's envelope reaches,
// and the count per class of the cells whose centre lies strictly inside a polygon.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace plenth::clip {

// The distinct cell values of a raster in order of first appearance, scanned row by row
// from the top-left cell. The table has room for 40 values, but meeting the 40th ends the
// run, so at most 39 classes are ever used.
class ClassTable {
 public:
  static constexpr int kCapacity = 40;

  // Takes the next `count` cells in index order and writes each one's class index into
  // `classOf`. False when the 40th distinct value was met; the table then holds 40 values
  // and `classOf` is incomplete.
  bool Classify(const std::int32_t* cells, std::size_t count, std::uint8_t* classOf);

  int count() const { return count_; }
  std::int32_t value(int index) const { return values_[index]; }
  bool full() const { return count_ == kCapacity; }

 private:
  int IndexOf(std::int32_t value);

  std::int32_t values_[kCapacity] = {};
  int count_ = 0;
  // Open addressing over the values in use: slot -> class index + 1 (0 for free).
  static constexpr int kSlots = 128;
  std::uint8_t slots_[kSlots] = {};
  std::int32_t lastValue_ = 0;
  int lastIndex_ = -1;
};

// Converts cells of a raster cell type (PixelType code) to the 32-bit signed values the
// classes are made of: 8- and 16-bit types widened by their sign, ULONG taken bit for bit
// (values above 2147483647 become negative), LONG as is. False for any other type.
bool ToClassValues(int pixelType, const void* cells, std::size_t count, std::int32_t* out);

// Where a raster's cells lie: its size and the centre of its top-left cell.
struct CellGrid {
  std::int64_t columns = 0;
  std::int64_t rows = 0;
  double leftX = 0;  // x of the centre of column 0
  double topY = 0;   // y of the centre of row 0
  double cellX = 0;
  double cellY = 0;
  // The row the class cells handed to the counting start with: 0 for the whole raster, or
  // the first row of a band of rows read for some polygons only.
  std::int64_t classRow = 0;

  double CentreX(std::int64_t column) const { return leftX + static_cast<double>(column) * cellX; }
  double CentreY(std::int64_t row) const { return topY - static_cast<double>(row) * cellY; }
};

// The rows and columns tested for a polygon, both ends included; empty when a last is
// below its first.
struct CellRange {
  std::int64_t firstRow = 0, lastRow = -1;
  std::int64_t firstColumn = 0, lastColumn = -1;

  bool empty() const { return lastRow < firstRow || lastColumn < firstColumn; }
  std::int64_t cells() const { return empty() ? 0 : (lastRow - firstRow + 1) * (lastColumn - firstColumn + 1); }
};

// The candidate cells of an envelope: each end truncated toward zero from its distance
// to the top-left centre in cells, then a first below 0 becomes 0 and one past the count
// becomes the count, a last below 0 becomes -1 and one at or past the count the last index.
CellRange CandidateRange(const CellGrid& grid, double xMin, double yMin, double xMax, double yMax);

// One edge of a polygon's rings.
struct Edge {
  double x1, y1, x2, y2;
};

// One ring of a polygon: its edges among all of them, and whether it is the outer ring of
// its part (the holes of a part follow its outer ring).
struct Ring {
  std::size_t first;
  std::size_t count;
  bool exterior;
};

// Whether counting crossings answers for these rings: they list the edges in order, and
// each runs on from edge to edge, closes, and has at least three edges.
bool CrossingsCount(std::span<const Edge> edges, std::span<const Ring> rings);

// Answers for one cell centre whether the polygon contains it.
using ContainsTest = std::function<bool(double x, double y)>;

// Adds to counts[class] each cell of `range` whose centre `contains` accepts, one test per
// cell, classOf as below. Gives back the number of cells tested.
std::int64_t CountClassCellsByTest(const CellGrid& grid, const CellRange& range, const std::uint8_t* classOf,
                                   std::span<std::int64_t> counts, const ContainsTest& contains);

// Adds to counts[class] each cell of `range` whose centre lies strictly inside the
// polygon of these rings (a centre on an edge, at a vertex or inside a hole does not
// count); classOf holds the class index of every cell of the rows from grid.classRow on,
// row by row (of every row of the range at least). The test counts crossings of
// a ray running east of the centre, with the half-open rule for vertices, among the centres
// within the outer rings' bounds; a centre so close to a crossing that floating point
// cannot place it, and every centre of rings that crossings cannot answer for, is put to
// `contains` instead. Gives back the number of cells tested.
std::int64_t CountClassCells(const CellGrid& grid, const CellRange& range, std::span<const Edge> edges,
                             std::span<const Ring> rings, const std::uint8_t* classOf,
                             std::span<std::int64_t> counts, const ContainsTest& contains);

}  // namespace plenth::clip
