#include "data/gridstrips.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/gridfile.h"
#include "platform/gis/pixeltype.h"

namespace {

namespace fs = std::filesystem;
using plenth::GridHeader;

class GridStripsTest : public ::testing::Test {
 public:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plenth-strips-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  static std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Cells of every bit pattern, a few hundred distinct ones (floats: NaN and infinities too).
  static std::vector<unsigned char> Cells(int type, std::int64_t count) {
    std::vector<unsigned char> cells(static_cast<std::size_t>(count) * PixelTypeBytes(type));
    std::uint64_t state = static_cast<std::uint64_t>(type);
    for (auto& b : cells) {
      state = state * 6364136223846793005u + 1442695040888963407u;
      b = static_cast<unsigned char>(state >> 56);
    }
    return cells;
  }

  // The file as the row-by-row writer makes it: the reference.
  std::string RowByRow(int type, std::int64_t ncols, std::int64_t nrows, const std::vector<unsigned char>& cells,
                       std::int64_t rows) {
    plenth::GridWriter w;
    EXPECT_TRUE(w.Open(Path("rows.dat")));
    plenth::WriteGridHeader(w, GridHeader{static_cast<std::int32_t>(ncols), static_cast<std::int32_t>(nrows), 1, 0, 0, type, 0});
    const std::size_t row = static_cast<std::size_t>(ncols) * PixelTypeBytes(type);
    for (std::int64_t r = 0; r < rows; ++r)
      plenth::WriteGridRow(w, type, cells.data() + static_cast<std::size_t>(r) * row, static_cast<std::size_t>(ncols));
    EXPECT_TRUE(w.Close());
    return Bytes(Path("rows.dat"));
  }

  // The file as the strip writer makes it from a source that hands out copies of the
  // strips, the copy before last spoiled once the next is asked for (what a source may
  // do); `failAt` is a strip the source cannot give.
  std::string ByStrips(int type, std::int64_t ncols, std::int64_t nrows, const std::vector<unsigned char>& cells,
                       bool fetchAhead, std::int64_t failAt, bool* result) {
    const plenth::GridStrips strips = plenth::StripsFor(ncols, nrows);
    const std::size_t stripBytes = static_cast<std::size_t>(strips.rowsPerStrip * ncols) * PixelTypeBytes(type);
    std::vector<unsigned char> held[2];
    std::int64_t expected = 0;
    const auto source = [&](std::int64_t s) -> const void* {
      EXPECT_EQ(s, expected++);  // in order, each once
      if (s == failAt) return nullptr;
      auto& into = held[fetchAhead ? s % 2 : 0];
      into.assign(stripBytes + 1, 0xA5);  // never empty: a type without cells still gets its strips
      const std::size_t from = static_cast<std::size_t>(s) * stripBytes;
      if (stripBytes) std::memcpy(into.data(), cells.data() + from, std::min(stripBytes, cells.size() - from));
      return into.data();
    };
    plenth::GridWriter w;
    EXPECT_TRUE(w.Open(Path("strips.dat")));
    plenth::WriteGridHeader(w, GridHeader{static_cast<std::int32_t>(ncols), static_cast<std::int32_t>(nrows), 1, 0, 0, type, 0});
    *result = plenth::WriteGridStrips(w, type, ncols, nrows, source, fetchAhead);
    EXPECT_TRUE(w.Close());
    return Bytes(Path("strips.dat"));
  }

  fs::path dir_;
};

TEST_F(GridStripsTest, TheThreadedWriterWritesTheBytesOfTheRowByRowWriter) {
  struct Shape {
    std::int64_t ncols, nrows;
  } const shapes[] = {
      {7, 5},          // one strip, one piece
      {700, 3001},     // four strips of 1000, 1000, 1000 and 1 rows; pieces end inside rows
      {600000, 3},     // a row per strip, pieces inside a row
  };
  for (int type : {PT_UCHAR, PT_CHAR, PT_USHORT, PT_SHORT, PT_ULONG, PT_LONG, PT_FLOAT, PT_DOUBLE, PT_COMPLEX}) {
    for (const Shape& shape : shapes) {
      if (shape.ncols * shape.nrows > 100 && type != PT_FLOAT && type != PT_SHORT && type != PT_DOUBLE &&
          type != PT_COMPLEX)
        continue;  // the large shapes for a real, an integer and a type without a format
      const auto cells = Cells(type, shape.ncols * shape.nrows);
      const std::string expected = RowByRow(type, shape.ncols, shape.nrows, cells, shape.nrows);
      for (bool fetchAhead : {true, false}) {
        SCOPED_TRACE(testing::Message() << "type " << type << ", " << shape.ncols << " x " << shape.nrows
                                        << (fetchAhead ? ", fetching ahead" : ""));
        bool result = false;
        EXPECT_TRUE(ByStrips(type, shape.ncols, shape.nrows, cells, fetchAhead, -1, &result) == expected);
        EXPECT_TRUE(result);
      }
    }
  }
}

TEST_F(GridStripsTest, AStripThatCannotBeHadEndsTheWritingAfterEveryRowBeforeIt) {
  const auto cells = Cells(PT_FLOAT, 700 * 3001);
  for (std::int64_t failAt : {0, 2, 3}) {
    const std::string expected = RowByRow(PT_FLOAT, 700, 3001, cells, failAt * 1000);
    for (bool fetchAhead : {true, false}) {
      SCOPED_TRACE(testing::Message() << "strip " << failAt << (fetchAhead ? ", fetching ahead" : ""));
      bool result = true;
      EXPECT_TRUE(ByStrips(PT_FLOAT, 700, 3001, cells, fetchAhead, failAt, &result) == expected);
      EXPECT_FALSE(result);
    }
  }
}

TEST_F(GridStripsTest, AWriteErrorOfTheThreadedWriterIsReportedOnClose) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const auto cells = Cells(PT_SHORT, 700 * 3001);
  plenth::GridWriter w;
  ASSERT_TRUE(w.Open("/dev/full"));
  std::int64_t asked = 0;
  const auto source = [&](std::int64_t s) -> const void* {
    ++asked;
    return cells.data() + static_cast<std::size_t>(s) * 700 * 1000 * 2;
  };
  EXPECT_TRUE(plenth::WriteGridStrips(w, PT_SHORT, 700, 3001, source, false));
  EXPECT_EQ(asked, 4);
  EXPECT_FALSE(w.Close());
}

// The values of a file read strip by strip, each next strip read ahead, against the
// same file read in one go; a file that runs out, or holds a word, partway.
TEST_F(GridStripsTest, StripsReadAheadHoldWhatOneReadHolds) {
  for (int type : {PT_SHORT, PT_FLOAT, PT_DOUBLE}) {
    const auto cells = Cells(type, 700 * 3001);
    const std::string whole = RowByRow(type, 700, 3001, cells, 3001);
    std::size_t thirdStrip = 0;  // 17 bytes into row 2000, after the seven header lines
    for (int line = 0; line < 7 + 2000; ++line) thirdStrip = whole.find('\n', thirdStrip) + 1;
    thirdStrip += 17;
    const struct {
      const char* what;
      std::string text;
      std::size_t expectedValues;
    } files[] = {
        {"whole", whole, 700 * 3001},
        {"cut in the third strip", whole.substr(0, thirdStrip), 0},
        {"a word in the third strip", whole.substr(0, thirdStrip) + " word " + whole.substr(thirdStrip), 0},
    };
    for (const auto& f : files) {
      SCOPED_TRACE(testing::Message() << "type " << type << ", " << f.what);
      std::ofstream(Path("in.dat"), std::ios::binary) << f.text;
      plenth::GridReader oneGo, byStrip;
      ASSERT_TRUE(oneGo.Open(Path("in.dat")) && byStrip.Open(Path("in.dat")));
      GridHeader h1, h2;
      ASSERT_TRUE(plenth::ReadGridHeader(oneGo, &h1) && plenth::ReadGridHeader(byStrip, &h2));
      const std::size_t bytes = PixelTypeBytes(type);
      std::vector<unsigned char> expected(cells.size()), got(cells.size());
      const std::size_t all = plenth::ReadGridValues(oneGo, type, expected.data(), 700 * 3001);
      if (f.expectedValues) {
        EXPECT_EQ(all, f.expectedValues);
      } else {
        EXPECT_GT(all, 2000u * 700);
        EXPECT_LT(all, 2001u * 700);
      }
      plenth::GridStripReader strips(byStrip, type, 700, 3001);
      std::size_t total = 0;
      for (std::int64_t s = 0; s < 4; ++s) {
        const std::size_t wanted = s < 3 ? 700'000 : 700;
        const std::size_t read = strips.Read(s, got.data() + static_cast<std::size_t>(s) * 700'000 * bytes);
        total += read;
        EXPECT_EQ(read, std::min(wanted, all - std::min(all, static_cast<std::size_t>(s) * 700'000))) << s;
      }
      EXPECT_EQ(total, all);
      EXPECT_EQ(std::memcmp(got.data(), expected.data(), all * bytes), 0);
    }
  }
}

// The same, over texts laid out in other ways the reader takes: a value a line, tokens
// longer than the look ahead, two values in one token, a token longer than the text a
// strip is read in at once; each read strip by strip as it is read in one go.
TEST_F(GridStripsTest, StripsReadAheadTakeAnyLayoutAsOneReadDoes) {
  const std::int64_t ncols = 700, nrows = 3001;
  std::vector<std::string> tokens(static_cast<std::size_t>(ncols * nrows));
  for (std::size_t i = 0; i < tokens.size(); ++i) tokens[i] = std::to_string(static_cast<int>(i * 7919 % 60001) - 30000);
  const auto body = [&](auto&& separator, auto&& token) {
    std::string text;
    for (std::size_t i = 0; i < tokens.size(); ++i) text += separator(i) + token(i);
    return text + "\r\n";
  };
  const std::string zeros(300, '0');
  const struct {
    const char* what;
    std::string text;
  } layouts[] = {
      {"a line each", body([](std::size_t) { return std::string("\r\n"); }, [&](std::size_t i) { return tokens[i]; })},
      {"long tokens", body([](std::size_t) { return std::string(" "); },
                           [&](std::size_t i) { return i % 1000 ? tokens[i] : zeros + std::to_string(i % 9); })},
      {"two in one", body([](std::size_t i) { return std::string(i == 1'234'567 ? "" : " "); },
                          [&](std::size_t i) { return i == 1'234'567 ? std::string("-5") : tokens[i]; })},
      {"a 40 MB token", body([](std::size_t) { return std::string(" "); },
                             [&](std::size_t i) { return i == 700'000 ? std::string(40 << 20, '0') + "9" : tokens[i]; })},
  };
  const std::string header = "ncols         700\r\nnrows         3001\r\ncellsize      1.0000\r\nlowerleftX  0.0000000000\r\n"
                             "lowerleftY  0.0000000000\r\ndatatype\tSHORT\r\nNODATA_value  0\r\n";
  for (const auto& layout : layouts) {
    SCOPED_TRACE(layout.what);
    std::ofstream(Path("in.dat"), std::ios::binary) << header << layout.text;
    plenth::GridReader oneGo, byStrip;
    ASSERT_TRUE(oneGo.Open(Path("in.dat")) && byStrip.Open(Path("in.dat")));
    GridHeader h;
    ASSERT_TRUE(plenth::ReadGridHeader(oneGo, &h) && plenth::ReadGridHeader(byStrip, &h));
    std::vector<std::int16_t> expected(tokens.size()), got(tokens.size());
    ASSERT_EQ(plenth::ReadGridValues(oneGo, PT_SHORT, expected.data(), expected.size()), tokens.size());
    plenth::GridStripReader strips(byStrip, PT_SHORT, ncols, nrows);
    for (std::int64_t s = 0; s < 4; ++s)
      EXPECT_EQ(strips.Read(s, got.data() + s * 700'000), s < 3 ? 700'000u : 700u) << s;
    EXPECT_TRUE(got == expected);
  }
}

}  // namespace
