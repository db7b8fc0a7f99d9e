#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <tuple>

#include "data/gridfile.h"

namespace {

namespace fs = std::filesystem;
using plenth::GridHeader;

class GridFileTest : public ::testing::Test {
 public:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plenth-grid-" + std::to_string(::getpid()));
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
  static void Put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

  // Writes a header and rows of cells, and gives back the file's bytes.
  template <class T>
  std::string Write(const GridHeader& h, const std::vector<T>& cells) {
    plenth::GridWriter w;
    EXPECT_TRUE(w.Open(Path("t.dat")));
    plenth::WriteGridHeader(w, h);
    for (int r = 0; r < h.nrows; ++r) plenth::WriteGridRow(w, h.datatype, cells.data() + r * h.ncols, h.ncols);
    EXPECT_TRUE(w.Close());
    return Bytes(Path("t.dat"));
  }
  fs::path dir_;
};

const char kCorner[] = "cellsize      30.0000\r\nlowerleftX  500000.1234567891\r\nlowerleftY  -12.0000000000\r\n";

TEST_F(GridFileTest, HeaderBytesForEveryType) {
  struct Case {
    int type;
    double nodata;
    const char* tail;
  } cases[] = {
      {3, 255, "datatype\tUCHAR\r\nNODATA_value  255\r\n"},
      {4, -128, "datatype\tCHAR\r\nNODATA_value  -128\r\n"},
      {5, 65535, "datatype\tUSHORT\r\nNODATA_value  65535\r\n"},
      {6, -32768, "datatype\tSHORT\r\nNODATA_value  -32768\r\n"},
      {7, 4294967295.0, "datatype\tULONG\r\nNODATA_value  4294967295\r\n"},
      {8, -2147483648.0, "datatype\tLONG\r\nNODATA_value  -2147483648\r\n"},
      {9, -9999, "datatype\tFLOAT\r\nNODATA_value  -9.999000e+003\r\n"},
      {10, 0.1, "datatype\tDOUBLE\r\nNODATA_value  1.000000e-001\r\n"},
      {11, 0, ""},  // no name for the type: five lines only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const GridHeader h{3, 2, 30.0, 500000.12345678912, -12.0, c.type, c.nodata};
    plenth::GridWriter w;
    ASSERT_TRUE(w.Open(Path("h.dat")));
    plenth::WriteGridHeader(w, h);
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(Bytes(Path("h.dat")), std::string("ncols         3\r\nnrows         2\r\n") + kCorner + c.tail);
  }
}

TEST_F(GridFileTest, ValuesAreWrittenInTheirTypesFormat) {
  EXPECT_EQ(plenth::FormatScientific(12.5), "1.250000e+001");
  EXPECT_EQ(plenth::FormatScientific(-0.0025), "-2.500000e-003");
  EXPECT_EQ(plenth::FormatScientific(1e-300), "1.000000e-300");
  EXPECT_EQ(plenth::FormatScientific(0), "0.000000e+000");
  const GridHeader h{2, 1, 0.000833, 0, 0, 9, -1};
  const std::string bytes = Write(h, std::vector<float>{12.5f, -0.0025f});
  EXPECT_NE(bytes.find("cellsize      0.0008\r\n"), std::string::npos);
  EXPECT_EQ(bytes.substr(bytes.size() - 31), " 1.250000e+001 -2.500000e-003\r\n");
}

template <class T>
void RoundTrip(GridFileTest* t, int type, std::vector<T> cells, double nodata) {
  const GridHeader h{static_cast<std::int32_t>(cells.size()), 1, 30, 1, 2, type, nodata};
  t->template Write<T>(h, cells);
  plenth::GridReader r;
  ASSERT_TRUE(r.Open((fs::temp_directory_path() / ("plenth-grid-" + std::to_string(::getpid())) / "t.dat").string()));
  GridHeader back;
  ASSERT_TRUE(plenth::ReadGridHeader(r, &back));
  EXPECT_EQ(back.datatype, type);
  EXPECT_EQ(back.nodata, nodata);
  std::vector<T> read(cells.size());
  EXPECT_EQ(plenth::ReadGridValues(r, type, read.data(), read.size()), cells.size());
  EXPECT_EQ(read, cells);
}

TEST_F(GridFileTest, ExtremeIntegersRoundTrip) {
  RoundTrip<std::uint8_t>(this, 3, {0, 255, 7}, 255);
  RoundTrip<std::int8_t>(this, 4, {-128, 127, 0}, -128);
  RoundTrip<std::uint16_t>(this, 5, {0, 65535}, 65535);
  RoundTrip<std::int16_t>(this, 6, {-32768, 32767}, -32768);
  RoundTrip<std::uint32_t>(this, 7, {0, 4294967295u}, 4294967295.0);
  RoundTrip<std::int32_t>(this, 8, {-2147483647 - 1, 2147483647}, -2147483648.0);
}

TEST_F(GridFileTest, RealsKeepSevenSignificantDigits) {
  const GridHeader h{2, 1, 30.0, 500000.12345678912, 4100000.987654321, 10, -1};
  EXPECT_NE(Write(h, std::vector<double>{0.1, 123456789.0}).find(" 1.000000e-001 1.234568e+008\r\n"), std::string::npos);
  plenth::GridReader r;
  ASSERT_TRUE(r.Open(Path("t.dat")));
  GridHeader back;
  ASSERT_TRUE(plenth::ReadGridHeader(r, &back));
  EXPECT_EQ(back.cellsize, 30.0);
  EXPECT_EQ(back.lowerleftX, static_cast<double>(500000.12345678912f));  // single precision
  EXPECT_EQ(back.lowerleftY, static_cast<double>(4100000.987654321f));
  double cells[2];
  ASSERT_EQ(plenth::ReadGridValues(r, 10, cells, 2), 2u);
  EXPECT_EQ(cells[0], 0.1);
  EXPECT_EQ(cells[1], 123456800.0);
}

TEST_F(GridFileTest, ValuesReadTheSameInAnyLineLayout) {
  const std::string header = "ncols         3\r\nnrows         2\r\n" + std::string(kCorner) +
                             "datatype\tSHORT\r\nNODATA_value  -1\r\n";
  for (const char* body : {" 1 2 3\r\n 4 5 6\r\n", "1\n2\n3\n4\n5\n6\n", "1 2 3 4 5 6", "\t1\t2\r\n3  4\n\n5 6 garbage"}) {
    SCOPED_TRACE(body);
    Put(Path("l.dat"), header + body);
    plenth::GridReader r;
    ASSERT_TRUE(r.Open(Path("l.dat")));
    GridHeader h;
    ASSERT_TRUE(plenth::ReadGridHeader(r, &h));
    std::int16_t cells[6];
    ASSERT_EQ(plenth::ReadGridValues(r, 6, cells, 6), 6u);
    EXPECT_EQ(std::vector<std::int16_t>(cells, cells + 6), (std::vector<std::int16_t>{1, 2, 3, 4, 5, 6}));
  }
}

TEST_F(GridFileTest, ARunOutOrANonNumberStopsTheValues) {
  const std::string header = "ncols         4\nnrows         1\n" + std::string(kCorner) + "datatype\tUCHAR\nNODATA_value  0\n";
  for (const auto& [body, read] : std::vector<std::pair<std::string, std::size_t>>{
           {" 1 2", 2}, {" 1 x 3 4", 1}, {" 1 2.5 3", 2}, {" 300 -1 1", 3},
           {" 1 99999999999999999999 3 4", 1}}) {  // beyond 64 bits: not a number
    SCOPED_TRACE(body);
    Put(Path("s.dat"), header + body);
    plenth::GridReader r;
    ASSERT_TRUE(r.Open(Path("s.dat")));
    GridHeader h;
    ASSERT_TRUE(plenth::ReadGridHeader(r, &h));
    std::uint8_t cells[4] = {9, 9, 9, 9};
    EXPECT_EQ(plenth::ReadGridValues(r, 3, cells, 4), read);
    if (body == " 300 -1 1") {  // integers keep their low-order bits
      EXPECT_EQ(cells[0], 44);
      EXPECT_EQ(cells[1], 255);
    }
  }
}

TEST_F(GridFileTest, MalformedHeadersAreRefused) {
  const auto header = [](std::string ncols, std::string type, std::string nodata = "NODATA_value  0") {
    return "ncols " + ncols + "\nnrows         2\n" + std::string(kCorner) + "datatype\t" + type + "\n" + nodata + "\n 1 2\n";
  };
  const std::pair<const char*, std::string> bad[] = {
      {"lower-case type", header("        2", "float")},
      {"unknown type", header("        2", "INT")},
      {"no columns", header("        0", "FLOAT")},
      {"negative columns", header("       -3", "FLOAT")},
      {"missing value", header("", "FLOAT")},
      {"not a number", header("     many", "FLOAT")},
      {"no no-data", header("        2", "FLOAT", "NODATA_value")},
      {"no-data not a number", header("        2", "FLOAT", "NODATA_value  none")},
      {"long line", header("        2" + std::string(100, ' '), "FLOAT")},
      {"too many cells", "ncols         2147483647\nnrows         2147483647\n" + std::string(kCorner) +
                             "datatype\tDOUBLE\nNODATA_value  0\n"},
      {"short file", "ncols         2\nnrows         2\n"},
  };
  for (const auto& [what, text] : bad) {
    SCOPED_TRACE(what);
    Put(Path("b.dat"), text);
    plenth::GridReader r;
    ASSERT_TRUE(r.Open(Path("b.dat")));
    GridHeader h;
    EXPECT_FALSE(plenth::ReadGridHeader(r, &h));
  }
  plenth::GridReader none;
  EXPECT_FALSE(none.Open(Path("absent.dat")));
}

TEST_F(GridFileTest, HeaderLinesHoldAtMostNinetySevenCharacters) {
  for (const char* end : {"\r\n", "\n"}) {
    for (std::size_t length : {97u, 98u}) {
      SCOPED_TRACE(testing::Message() << length << (end[0] == '\r' ? " CR LF" : " LF"));
      std::string ncols = "ncols         2";
      ncols.resize(length, ' ');
      Put(Path("w.dat"), ncols + end + "nrows         1" + end + kCorner + "datatype\tLONG" + end + "NODATA_value  -1" + end);
      plenth::GridReader r;
      ASSERT_TRUE(r.Open(Path("w.dat")));
      GridHeader h;
      EXPECT_EQ(plenth::ReadGridHeader(r, &h), length == 97);
    }
  }
}

TEST_F(GridFileTest, FileNamesPerBand) {
  EXPECT_EQ(plenth::GridFileName("C:\\out\\", "elev", 0, 1), "C:\\out\\elev.dat");
  EXPECT_EQ(plenth::GridFileName("out/", "elev", 2, 3), "out/elev2.dat");
  EXPECT_EQ(plenth::GridFileName("out/", "elev.dat", 0, 1), "out/elev.dat.dat");
  EXPECT_EQ(plenth::GridFileName("out/", "", 0, 1), "out/.dat");
}

TEST_F(GridFileTest, OutputDoesNotFollowTheProcessLocale) {
  const GridHeader h{1, 1, 2.5, 0.5, 0.25, 10, -1.5};
  const std::string plain = Write(h, std::vector<double>{1.5});
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale here";
  const std::string german = Write(h, std::vector<double>{1.5});
  plenth::GridReader r;
  GridHeader back;
  double cell = 0;
  const bool read = r.Open(Path("t.dat")) && plenth::ReadGridHeader(r, &back) && plenth::ReadGridValue(r, 10, &cell);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(german, plain);
  ASSERT_TRUE(read);  // and it reads back in that locale as well
  EXPECT_EQ(back.cellsize, 2.5);
  EXPECT_EQ(back.nodata, -1.5);
  EXPECT_EQ(cell, 1.5);
}

TEST_F(GridFileTest, PerValueAndRowWritingAndReadingAgree) {
  const std::uint8_t bytes[16] = {0x00, 0x80, 0xff, 0x7f, 0x01, 0x00, 0x00, 0x80, 0xcd, 0xcc, 0xcc, 0x3d, 0x9a, 0x99, 0x99, 0xc1};
  for (int type = 3; type <= 10; ++type) {
    SCOPED_TRACE(type);
    const GridHeader h{2, 1, 1, 0, 0, type, 0};
    const std::size_t cell = type <= 4 ? 1 : type <= 6 ? 2 : type <= 9 ? 4 : 8;
    const std::size_t count = sizeof bytes / cell;
    for (const char* name : {"row.dat", "value.dat"}) {
      plenth::GridWriter w;
      ASSERT_TRUE(w.Open(Path(name)));
      plenth::WriteGridHeader(w, h);
      if (name[0] == 'r') {
        plenth::WriteGridRow(w, type, bytes, count);
      } else {
        for (std::size_t i = 0; i < count; ++i) plenth::WriteGridValue(w, type, bytes + i * cell);
        plenth::EndGridRow(w);
      }
      ASSERT_TRUE(w.Close());
    }
    ASSERT_EQ(Bytes(Path("row.dat")), Bytes(Path("value.dat")));

    unsigned char bulk[16] = {}, single[16] = {};
    plenth::GridReader r1, r2;
    ASSERT_TRUE(r1.Open(Path("row.dat")) && r2.Open(Path("row.dat")));
    GridHeader h1, h2;
    ASSERT_TRUE(plenth::ReadGridHeader(r1, &h1) && plenth::ReadGridHeader(r2, &h2));
    EXPECT_EQ(plenth::ReadGridValues(r1, type, bulk, count), count);
    for (std::size_t i = 0; i < count; ++i) EXPECT_TRUE(plenth::ReadGridValue(r2, type, single + i * cell));
    EXPECT_FALSE(plenth::ReadGridValue(r2, type, single));  // nothing after the last row
    EXPECT_EQ(std::memcmp(bulk, single, sizeof bulk), 0);
    if (type < 9) {
      EXPECT_EQ(std::memcmp(bulk, bytes, sizeof bytes), 0);  // integers come back whole
    }
  }
}

TEST_F(GridFileTest, RealsBeyondTheirTypeAndNonFiniteOnesRead) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    int type;
    const char* token;
    double expected;
  } cases[] = {
      {9, "1e50", inf},          {9, "-1e50", -inf},        {9, "0.0001e+45", inf}, {9, "1e-50", 0.0},
      {9, "-1e-50", -0.0},       {9, "1000e-50", 0.0},      {9, "0.00001e-41", 0.0}, {10, "1e400", inf},
      {10, "-2e-400", -0.0},     {9, "1.#INF00e+000", inf}, {10, "-1.#INF00e+000", -inf},
      {9, "1.#QNAN0e+000", nan}, {10, "-1.#IND00e+000", -nan},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token);
    Put(Path("r.dat"), "ncols         2\nnrows         1\n" + std::string(kCorner) + "datatype\t" +
                           (c.type == 9 ? "FLOAT" : "DOUBLE") + "\nNODATA_value  " + c.token + "\n" + c.token + " 7\n");
    plenth::GridReader r;
    ASSERT_TRUE(r.Open(Path("r.dat")));
    GridHeader h;
    ASSERT_TRUE(plenth::ReadGridHeader(r, &h));
    double cells[2];
    if (c.type == 9) {
      float f[2];
      ASSERT_EQ(plenth::ReadGridValues(r, 9, f, 2), 2u);
      cells[0] = f[0], cells[1] = f[1];
    } else {
      ASSERT_EQ(plenth::ReadGridValues(r, 10, cells, 2), 2u);
    }
    EXPECT_EQ(cells[1], 7.0);  // the reader got past the token
    for (double v : {h.nodata, cells[0]}) {
      EXPECT_EQ(std::isnan(v), std::isnan(c.expected));
      EXPECT_EQ(std::signbit(v), std::signbit(c.expected));
      if (!std::isnan(c.expected)) {
        EXPECT_EQ(v, c.expected);
      }
    }
  }
}

TEST_F(GridFileTest, NonFiniteCellsRoundTrip) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  const GridHeader h{4, 1, 1, 0, 0, 9, static_cast<double>(nan)};
  const std::string bytes = Write(h, std::vector<float>{nan, inf, -inf, 1.5f});
  EXPECT_NE(bytes.find("NODATA_value  1.#QNAN0e+000\r\n 1.#QNAN0e+000 1.#INF00e+000 -1.#INF00e+000 1.500000e+000\r\n"),
            std::string::npos);
  plenth::GridReader r;
  ASSERT_TRUE(r.Open(Path("t.dat")));
  GridHeader back;
  ASSERT_TRUE(plenth::ReadGridHeader(r, &back));
  EXPECT_TRUE(std::isnan(back.nodata));
  float cells[4];
  ASSERT_EQ(plenth::ReadGridValues(r, 9, cells, 4), 4u);
  EXPECT_TRUE(std::isnan(cells[0]));
  EXPECT_EQ(cells[1], inf);
  EXPECT_EQ(cells[2], -inf);
  EXPECT_EQ(cells[3], 1.5f);
}

TEST_F(GridFileTest, NoDataOutsideItsTypeIsWrittenByTheReadersRule) {
  const struct {
    int type;
    double nodata;
    const char* line;
  } cases[] = {
      {3, -1, "NODATA_value  255\r\n"},        // low-order bits
      {6, 70000, "NODATA_value  4464\r\n"},
      {5, -9999.7, "NODATA_value  55537\r\n"},  // truncated toward zero first
      {8, std::nan(""), "NODATA_value  0\r\n"},
      {4, 1e300, "NODATA_value  -1\r\n"},       // beyond 64 bits: the largest 64-bit value's bits
      {9, 1e300, "NODATA_value  1.#INF00e+000\r\n"},
      {9, -1e39, "NODATA_value  -1.#INF00e+000\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string bytes = Write(GridHeader{1, 1, 1, 0, 0, c.type, c.nodata}, std::vector<double>{0});
    EXPECT_NE(bytes.find(c.line), std::string::npos) << bytes;
  }
}

TEST_F(GridFileTest, LongTokensAreNotCutWhereTheBufferIsRefilled) {
  // Tokens of 2000 digits across more than one buffer load: whichever of the two offsets
  // lands a token on a refill with more than a short token's room left cuts it in two.
  const std::string token = " " + std::string(1999, '0') + "5";
  for (std::size_t offset : {0, 1000}) {
    SCOPED_TRACE(offset);
    std::string body(offset, ' ');
    for (int i = 0; i < 1200; ++i) body += token;
    Put(Path("long.dat"), "ncols         1200\nnrows         1\n" + std::string(kCorner) + "datatype\tSHORT\nNODATA_value  0\n" + body);
    plenth::GridReader r;
    ASSERT_TRUE(r.Open(Path("long.dat")));
    GridHeader h;
    ASSERT_TRUE(plenth::ReadGridHeader(r, &h));
    std::vector<std::int16_t> cells(1201, 0);
    ASSERT_EQ(plenth::ReadGridValues(r, 6, cells.data(), cells.size()), 1200u);
    EXPECT_EQ(std::count(cells.begin(), cells.begin() + 1200, 5), 1200);
  }
}

TEST_F(GridFileTest, APlusBeforeAMinusIsNoNumber) {
  // As the C library reads it: "+5" is 5, "+-5" no number at all, so reading stops there.
  for (const char* type : {"SHORT", "LONG", "FLOAT", "DOUBLE"}) {
    SCOPED_TRACE(type);
    const std::string header = "ncols         3\nnrows         1\n" + std::string(kCorner) + "datatype\t" + type + "\n";
    Put(Path("p.dat"), header + "NODATA_value  +2\n 1 +-5 3\n");
    plenth::GridReader r;
    ASSERT_TRUE(r.Open(Path("p.dat")));
    GridHeader h;
    ASSERT_TRUE(plenth::ReadGridHeader(r, &h));
    EXPECT_EQ(h.nodata, 2);
    double cells[3];
    EXPECT_EQ(plenth::ReadGridValues(r, h.datatype, cells, 3), 1u);
    Put(Path("n.dat"), header + "NODATA_value  +-5\n 1 2 3\n");
    plenth::GridReader n;
    ASSERT_TRUE(n.Open(Path("n.dat")));
    EXPECT_FALSE(plenth::ReadGridHeader(n, &h));
  }
}

TEST_F(GridFileTest, ATokenOfManyMegabytesIsReadWhole) {
  // A token sixteen times the reader's buffer. The reader once took 40 more bytes at a time
  // and parsed the token again each time: hours for this file (the test's timeout ends it).
  const std::string zeros(16 << 20, '0');
  for (const auto& [type, token, value] : {std::tuple{"SHORT", zeros + "7", 7.0}, std::tuple{"DOUBLE", zeros + "2.5", 2.5}}) {
    SCOPED_TRACE(type);
    Put(Path("huge.dat"), "ncols         2\nnrows         1\n" + std::string(kCorner) + "datatype\t" + type +
                              "\nNODATA_value  0\n " + token + " 8\r\n");
    plenth::GridReader r;
    ASSERT_TRUE(r.Open(Path("huge.dat")));
    GridHeader h;
    ASSERT_TRUE(plenth::ReadGridHeader(r, &h));
    double cells[2] = {};
    ASSERT_EQ(plenth::ReadGridValues(r, h.datatype, cells, 2), 2u);
    if (h.datatype == 6) {
      std::int16_t shorts[2];
      std::memcpy(shorts, cells, sizeof shorts);
      EXPECT_EQ(shorts[0], value);
      EXPECT_EQ(shorts[1], 8);
    } else {
      EXPECT_EQ(cells[0], value);
      EXPECT_EQ(cells[1], 8);
    }
  }
}

TEST_F(GridFileTest, AWriteErrorIsReportedOnClose) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  plenth::GridWriter w;
  ASSERT_TRUE(w.Open("/dev/full"));
  plenth::WriteGridHeader(w, GridHeader{1, 1, 1, 0, 0, 6, 0});
  EXPECT_FALSE(w.Close());
  EXPECT_FALSE(w.Open(Path("no-such-dir/x.dat")));
}

}  // namespace
