// Every kept input of the fuzzers, seeds and the inputs that once failed, through the
// reader it was found for: none may crash, hang or trip a sanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/targets/fuzzinput.h"

namespace {

namespace fs = std::filesystem;

struct Reader {
  const char* name;  // the fuzzer's name, and its input directories'
  void (*entry)(const std::uint8_t*, std::size_t);
};

const Reader kReaders[] = {
    {"gridfile", plenthfuzz::GridFile},       {"regtext", plenthfuzz::RegText},
    {"rgs", plenthfuzz::RegistryScript},      {"rc", plenthfuzz::ResourceScript},
    {"mapdoc", plenthfuzz::MapDocument},      {"raster", plenthfuzz::RasterFile},
    {"shapefile", plenthfuzz::ShapeFile},
};

std::vector<fs::path> Inputs(const std::string& kind, const std::string& reader) {
  const fs::path dir = fs::path(std::getenv("PLENTH_SOURCE_DIR")) / "fuzz" / kind / reader;
  std::vector<fs::path> files;
  if (fs::is_directory(dir))
    for (const auto& e : fs::directory_iterator(dir))
      if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

void Replay(const Reader& reader, const fs::path& file) {
  SCOPED_TRACE(file.string());
  std::ifstream in(file, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  reader.entry(bytes.data(), bytes.size());
}

TEST(FuzzInputs, SeedsOfEveryReaderAreThereAndRead) {
  for (const auto& reader : kReaders) {
    SCOPED_TRACE(reader.name);
    const auto seeds = Inputs("seeds", reader.name);
    EXPECT_FALSE(seeds.empty());
    for (const auto& file : seeds) Replay(reader, file);
  }
}

TEST(FuzzInputs, InputsThatOnceFailedReadCleanly) {
  for (const auto& reader : kReaders) {
    SCOPED_TRACE(reader.name);
    for (const auto& file : Inputs("regressions", reader.name)) Replay(reader, file);
  }
}

}  // namespace
