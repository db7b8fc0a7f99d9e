// How the grid export and import walk a raster: in strips of whole rows of at most a
// million cells, all of the same height but the last; and the text of those strips
// written or read with a second thread doing the formatting or the reading ahead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "data/gridfile.h"

namespace plenth {

struct GridStrips {
  std::int64_t rowsPerStrip;
  std::int64_t count;
};

// Computed in 64 bits so that large rasters do not overflow, and never fewer than one
// row per strip (a raster of few, very long rows would otherwise get strips of none).
constexpr GridStrips StripsFor(std::int64_t columns, std::int64_t rows) {
  const std::int64_t cells = columns * rows;
  const std::int64_t firstEstimate = cells / (1000000 + 1) + 1;
  std::int64_t perStrip = rows / firstEstimate;
  if (perStrip < 1) perStrip = 1;
  return {perStrip, (rows + perStrip - 1) / perStrip};
}

// Hands out the cells of strip s (its rows of ncols cells, top row first), or null when
// they cannot be had (the source says why). Strips are asked for in order.
using GridStripSource = std::function<const void*(std::int64_t strip)>;

// Writes the value rows of a raster of nrows rows of ncols cells of the datatype, strip
// by strip from `source`: the same bytes as WriteGridRow row after row. A second thread
// formats the cells while this one writes the text before them and, when `fetchAhead`,
// fetches the next strip, and then helps with the formatting; a source that may fetch
// ahead keeps the cells of strip s unchanged until it is asked for strip s + 2. False at
// the first strip the source cannot give, after every row before it has been written.
bool WriteGridStrips(GridWriter& file, int datatype, std::int64_t ncols, std::int64_t nrows,
                     const GridStripSource& source, bool fetchAhead);

// Reads the values of a raster's strips in order, the next strip's begun on a second
// thread while the caller stores the last one.
class GridStripReader {
 public:
  GridStripReader(GridReader& file, int datatype, std::int64_t ncols, std::int64_t nrows);
  ~GridStripReader();
  GridStripReader(const GridStripReader&) = delete;
  GridStripReader& operator=(const GridStripReader&) = delete;

  // The values of strip s (asked for in order from 0) into its cells, as ReadGridValues
  // reads them: how many the file had, fewer than the strip's cells once it runs out.
  // The caller's thread reads part of the strip, the second thread the rest.
  std::size_t Read(std::int64_t strip, void* cells);

 private:
  struct Ahead;
  void StartAhead(std::int64_t strip);
  std::size_t Gather(void* cells);
  GridReader& file_;
  int datatype_;
  std::int64_t ncols_, nrows_;
  GridStrips strips_;
  std::unique_ptr<Ahead> ahead_;  // none when there is no memory for a strip read ahead
};

}  // namespace plenth
