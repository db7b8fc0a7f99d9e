#include <cstring>
#include <vector>

#include "data/gridfile.h"
#include "data/gridstrips.h"
#include "fuzz/targets/fuzzinput.h"

namespace plenthfuzz {

namespace {
// Values are read only for grids this small, so that a header may claim any size.
constexpr long long kMaxCells = 1 << 16;
}  // namespace

void GridFile(const std::uint8_t* data, std::size_t size) {
  const std::string path = ScratchDirectory() + "/grid.dat";
  WriteFile(path, data, size);

  plenth::GridReader file;
  if (!file.Open(path)) return;
  plenth::GridHeader header;
  if (!plenth::ReadGridHeader(file, &header)) return;
  const long long cells = static_cast<long long>(header.ncols) * header.nrows;
  if (cells > kMaxCells) return;
  std::vector<double> values(static_cast<std::size_t>(cells) + 1);
  // The first value alone, the rest in one block.
  if (plenth::ReadGridValue(file, header.datatype, values.data()))
    plenth::ReadGridValues(file, header.datatype, values.data() + 1, static_cast<std::size_t>(cells - 1));
  file.Close();

  // Again through the strip reader, as the import reads.
  plenth::GridReader again;
  if (!again.Open(path) || !plenth::ReadGridHeader(again, &header)) std::abort();  // the same file
  plenth::GridStripReader strips(again, header.datatype, header.ncols, header.nrows);
  const auto layout = plenth::StripsFor(header.ncols, header.nrows);
  std::vector<double> strip(static_cast<std::size_t>(layout.rowsPerStrip * header.ncols));
  for (std::int64_t s = 0; s < layout.count; ++s) {
    const std::size_t read = strips.Read(s, strip.data());
    if (read > strip.size()) std::abort();
  }
}

}  // namespace plenthfuzz
