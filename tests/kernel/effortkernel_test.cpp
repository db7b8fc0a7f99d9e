#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/gis/pixeltype.h"
#include "tools/effortsurface/effortkernel.h"
#include "tools/effortsurface/effortkernelref.h"
#include "tools/effortsurface/groundcover.h"

namespace {

using namespace plenth;

constexpr float N = -1.0f;
constexpr float kUntouched = 12345.0f;

// The inputs of one run: the DEM as doubles (stored in the DEM's type when run), the class
// grids with their no-data bytes, the cell size.
struct Scene {
  int rows, columns;
  float cell = 10;
  std::vector<double> dem;
  double demNoData = -99;
  std::vector<std::uint8_t> trails, streams;
  std::vector<std::int8_t> cover;
  std::uint8_t trailsNoData = 0, streamsNoData = 0;

  Scene(int r, int c)
      : rows(r), columns(c), dem(Cells(), 100), trails(Cells(), 0), streams(Cells(), 0), cover(Cells(), 4) {}
  std::size_t Cells() const { return static_cast<std::size_t>(rows) * columns; }
  std::size_t At(int r, int c) const { return static_cast<std::size_t>(r) * columns + c; }
};

enum class Kernel { Reference, OneThread, TwoThreads, ThreeThreads, Auto };

// Progress marks as seen by the callback.
struct Marks {
  std::vector<std::int32_t> rows;
  int stopAt = -1;       // answer false to the mark of this row
  int throwAt = -1;      // throw from the mark of this row
  std::thread::id caller = std::this_thread::get_id();
  bool otherThread = false;
};

bool Mark(void* context, std::int32_t row) {
  auto* m = static_cast<Marks*>(context);
  if (std::this_thread::get_id() != m->caller) m->otherThread = true;
  m->rows.push_back(row);
  if (row == m->throwAt) throw std::runtime_error("stop");
  return row != m->stopAt;
}

struct Result {
  std::vector<float> band[4];
  Marks marks;
  bool completed = false;
  float At(int k, std::size_t i) const { return band[k][i]; }
};

template <class T>
std::vector<T> Stored(const std::vector<double>& values) {
  std::vector<T> cells(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) cells[i] = static_cast<T>(values[i]);
  return cells;
}

// The DEM's cells in the type's bytes (as doubles for a code that is not a cell type).
std::vector<unsigned char> DemBytes(int type, const Scene& s) {
  const auto bytes = []<class T>(const std::vector<T>& cells) {
    const auto* p = reinterpret_cast<const unsigned char*>(cells.data());
    return std::vector<unsigned char>(p, p + cells.size() * sizeof(T));
  };
  return VisitPixelType(type, [&]<class T>() { return bytes(Stored<T>(s.dem)); }, bytes(Stored<double>(s.dem)));
}

Result Compute(int type, const Scene& s, Kernel kernel = Kernel::OneThread, Marks marks = {}) {
  const std::vector<unsigned char> dem = DemBytes(type, s);
  Result r;
  for (auto& b : r.band) b.assign(s.Cells(), kUntouched);
  r.marks = marks;
  const EffortGrids grids{s.trails.data(), s.trailsNoData, s.streams.data(), s.streamsNoData,
                          s.cover.data(),  s.rows,         s.columns,        s.cell};
  const EffortOutputs out{r.band[0].data(), r.band[1].data(), r.band[2].data(), r.band[3].data(), N};
  const int threads[] = {1, 1, 2, 3, 0};
  const EffortRun run{Mark, &r.marks, threads[static_cast<int>(kernel)]};
  r.completed = kernel == Kernel::Reference ? EffortKernelReference(type, dem.data(), s.demNoData, grids, out, run)
                                            : EffortKernel(type, dem.data(), s.demNoData, grids, out, run);
  EXPECT_FALSE(r.marks.otherThread) << "a progress mark came from another thread";
  return r;
}

bool SameBits(const Result& a, const Result& b) {
  for (int k = 0; k < 4; ++k)
    if (a.band[k].size() != b.band[k].size() ||
        std::memcmp(a.band[k].data(), b.band[k].data(), a.band[k].size() * sizeof(float)) != 0)
      return false;
  return true;
}

std::vector<std::int32_t> MarkRows(int rows) {
  std::vector<std::int32_t> expected;
  for (int r = 0; r < rows; r += 100) expected.push_back(r);
  return expected;
}

// The same run strip by strip, as a raster too large for memory is run: each call gets
// copies of only the rows it may read (its strip and the row above and below it, where
// the grid has them) and outputs of only its own rows, so that a read or write outside
// them is caught; the results are put together afterwards.
Result ComputeInStrips(int type, const Scene& s, Kernel kernel, int stripRows) {
  const std::vector<unsigned char> dem = DemBytes(type, s);
  const std::size_t demCell = dem.size() / std::max<std::size_t>(s.Cells(), 1);
  Result r;
  for (auto& b : r.band) b.assign(s.Cells(), kUntouched);
  r.completed = true;
  const int threads[] = {1, 1, 2, 3, 0};
  for (int first = 0; first < s.rows && r.completed; first += stripRows) {
    const int end = std::min(s.rows, first + stripRows), from = std::max(first - 1, 0), to = std::min(end + 1, s.rows);
    const auto rowsOf = [&](const auto& grid, std::size_t cellBytes) {
      using Cell = typename std::decay_t<decltype(grid)>::value_type;
      const auto* bytes = reinterpret_cast<const unsigned char*>(grid.data());
      std::vector<Cell> part(static_cast<std::size_t>(to - from) * s.columns * cellBytes / sizeof(Cell));
      std::memcpy(part.data(), bytes + s.At(from, 0) * cellBytes, part.size() * sizeof(Cell));
      return part;
    };
    const auto demPart = rowsOf(dem, demCell);
    const auto trails = rowsOf(s.trails, 1), streams = rowsOf(s.streams, 1);
    const auto cover = rowsOf(s.cover, 1);
    std::vector<float> band[4];
    for (auto& b : band) b.assign(static_cast<std::size_t>(end - first) * s.columns, kUntouched);
    const EffortGrids grids{trails.data(), s.trailsNoData, streams.data(), s.streamsNoData,
                            cover.data(),  s.rows,         s.columns,      s.cell};
    const EffortOutputs out{band[0].data(), band[1].data(), band[2].data(), band[3].data(), N};
    const EffortRun run{Mark, &r.marks, threads[static_cast<int>(kernel)], {first, end - first, from}};
    r.completed = kernel == Kernel::Reference ? EffortKernelReference(type, demPart.data(), s.demNoData, grids, out, run)
                                              : EffortKernel(type, demPart.data(), s.demNoData, grids, out, run);
    for (int k = 0; k < 4; ++k) std::copy(band[k].begin(), band[k].end(), r.band[k].begin() + s.At(first, 0));
  }
  EXPECT_FALSE(r.marks.otherThread) << "a progress mark came from another thread";
  return r;
}

TEST(EffortKernel, TheWorkedExampleInEveryCellType) {
  Scene s(2, 2);
  s.dem = {100, 104, 100, 110};
  s.cover = {4, 6, 4, 4};
  // north, north-east, east, south-east of the cells (0,0), (0,1), (1,0), (1,1)
  const float expect[4][4] = {
      {N, N, 10.00f, 89.56f},
      {N, N, 72.56f, N},
      {63.33f, N, 56.57f, N},
      {50.48f, N, N, N},
  };
  for (const int type : kCellTypes) {
    const Result r = Compute(type, s);
    for (int band = 0; band < 4; ++band)
      for (int cell = 0; cell < 4; ++cell) {
        SCOPED_TRACE(testing::Message() << "type " << type << " band " << band << " cell " << cell);
        if (expect[band][cell] == N)
          EXPECT_EQ(r.At(band, cell), N);
        else
          EXPECT_NEAR(r.At(band, cell), expect[band][cell], 0.005f);
      }
    EXPECT_TRUE(SameBits(r, Compute(type, s, Kernel::Reference))) << "type " << type;
    // To the bit: dz / d and the trigonometry in double; dz, theta, L and E in single.
    EXPECT_EQ(r.At(0, 3), 0x1.6640f4p+6f);
    EXPECT_EQ(r.At(1, 2), 0x1.223d0cp+6f);
    EXPECT_EQ(r.At(2, 0), 0x1.faa2e4p+5f);
    EXPECT_EQ(r.At(2, 2), 0x1.c48c62p+5f);
    EXPECT_EQ(r.At(3, 0), 0x1.93ce26p+5f);
  }
}

TEST(EffortKernel, EachBandTakesItsOwnEdges) {
  for (const auto& [rows, columns] : std::vector<std::pair<int, int>>{{1, 1}, {1, 4}, {4, 1}, {3, 3}}) {
    for (const Kernel kernel : {Kernel::Reference, Kernel::OneThread, Kernel::TwoThreads}) {
      SCOPED_TRACE(testing::Message() << rows << " x " << columns << " kernel " << static_cast<int>(kernel));
      const Scene s(rows, columns);
      const Result r = Compute(6, s, kernel);
      for (int row = 0; row < rows; ++row)
        for (int col = 0; col < columns; ++col) {
          const std::size_t i = s.At(row, col);
          const bool lastColumn = col == columns - 1, lastRow = row == rows - 1;
          // Flat ground: every move that is not at an edge costs the step length.
          EXPECT_EQ(r.At(0, i), row == 0 ? N : 10.0f);
          EXPECT_EQ(r.At(1, i), row == 0 || lastColumn ? N : 10.0f * kDiagonalFactor);
          EXPECT_EQ(r.At(2, i), lastColumn ? N : 10.0f);
          EXPECT_EQ(r.At(3, i), lastRow || lastColumn ? N : 10.0f * kDiagonalFactor);
        }
    }
  }
}

TEST(EffortKernel, FlatGroundOnAndOffTrails) {
  const float s = 7.5f, diagonal = s * kDiagonalFactor;  // the diagonal formed in single precision
  struct Case {
    const char* name;
    std::uint8_t trail, stream;
    std::int8_t cover;
    float factor;
  } cases[] = {
      {"off trails, cover 4", 0, 0, 4, 1.0f},
      {"on trails, streams, cover 1", 1, 1, 1, 0.25f},
      {"on trails, cover 6", 1, 0, 6, 0.25f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scene scene(3, 3);
    scene.cell = s;
    scene.trails.assign(9, c.trail);
    scene.streams.assign(9, c.stream);
    scene.cover.assign(9, c.cover);
    const std::size_t centre = scene.At(1, 1);
    for (const Kernel kernel : {Kernel::Reference, Kernel::OneThread}) {
      const Result r = Compute(9, scene, kernel);
      EXPECT_EQ(r.At(0, centre), s * c.factor);
      EXPECT_EQ(r.At(1, centre), diagonal * c.factor);
      EXPECT_EQ(r.At(2, centre), s * c.factor);
      EXPECT_EQ(r.At(3, centre), diagonal * c.factor);
    }
  }
  EXPECT_EQ(std::bit_cast<std::uint32_t>(kDiagonalFactor), 0x3FB504F4u);
}

// One east move on flat ground from cell 0 into cell 1, with no-data bytes that are not 0:
// a cell is on a trail or a stream when its byte differs from the no-data byte.
TEST(EffortKernel, TrailsThenStreamsThenGroundCover) {
  constexpr std::uint8_t kOff = 255, kOn = 0, kDry = 7, kWet = 3;
  struct Case {
    const char* name;
    std::uint8_t trailA, trailB, streamA, streamB;
    std::int8_t coverB;
    float cost;
  } cases[] = {
      {"no rule applies but the cover", kOff, kOff, kDry, kDry, 4, 10.0f},
      {"from a trail into a cell off it", kOn, kOff, kDry, kDry, 6, 30.0f},
      {"onto a trail from off it", kOff, kOn, kDry, kDry, 6, 30.0f},
      {"along a trail, into a stream of cover 1", kOn, kOn, kDry, kWet, 1, 2.5f},
      {"from a trail into a stream off it", kOn, kOff, kDry, kWet, 4, N},
      {"into a stream", kOff, kOff, kDry, kWet, 4, N},
      {"out of a stream", kOff, kOff, kWet, kDry, 5, 11.0f},
      {"into cover 1", kOff, kOff, kDry, kDry, 1, N},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scene s(1, 2);
    s.trailsNoData = kOff;
    s.streamsNoData = kDry;
    s.trails = {c.trailA, c.trailB};
    s.streams = {c.streamA, c.streamB};
    s.cover = {2, c.coverB};
    for (const Kernel kernel : {Kernel::Reference, Kernel::OneThread}) EXPECT_EQ(Compute(3, s, kernel).At(2, 0), c.cost);
  }
}

TEST(EffortKernel, GroundCoverFactorOfEveryCode) {
  const std::pair<int, float> table[] = {{2, 1.4f},  {4, 1.0f},   {5, 1.1f},  {6, 3.0f},  {7, 1.8f},
                                         {9, 1.2f},  {0, 1.5f},   {3, 1.5f},  {8, 1.5f},  {10, 1.5f},
                                         {127, 1.5f}, {-128, 1.5f}, {-1, 1.5f}, {-2, 1.5f}, {1, N}};
  for (const auto& [code, factor] : table) {
    SCOPED_TRACE(code);
    Scene s(1, 2);
    s.cover = {4, static_cast<std::int8_t>(code)};
    const float cost = code == 1 ? N : 10.0f * factor;
    for (const Kernel kernel : {Kernel::Reference, Kernel::OneThread}) EXPECT_EQ(Compute(9, s, kernel).At(2, 0), cost);
    if (code != 1) {
      EXPECT_EQ(GroundCoverFactor(static_cast<std::int8_t>(code)), factor);
    }
  }
}

// No-data at the centre of a 3 x 3 grid bars the eight moves that touch it, on trails too.
TEST(EffortKernel, DemNoDataInEitherCellInEveryCellType) {
  for (const int type : kCellTypes) {
    SCOPED_TRACE(type);
    Scene s(3, 3);
    s.trails.assign(9, 1);
    s.demNoData = type == PT_UCHAR || type == PT_USHORT || type == PT_ULONG ? 250 : -99;
    s.dem[s.At(1, 1)] = s.demNoData;
    const Result r = Compute(type, s);
    const std::pair<int, std::size_t> barred[] = {
        {0, s.At(1, 1)}, {1, s.At(1, 1)}, {2, s.At(1, 1)}, {3, s.At(1, 1)},  // out of the centre
        {0, s.At(2, 1)}, {1, s.At(2, 0)}, {2, s.At(1, 0)}, {3, s.At(0, 0)},  // into it
    };
    for (const auto& [band, cell] : barred) EXPECT_EQ(r.At(band, cell), N) << "band " << band << " cell " << cell;
    EXPECT_EQ(r.At(2, s.At(0, 0)), 2.5f);
    EXPECT_TRUE(SameBits(r, Compute(type, s, Kernel::Reference)));
  }
}

// A no-data value that no cell of the DEM's type can hold marks no cell; one that converts
// to the type marks the cells that hold it. For FLOAT a double that rounds to a float is
// that float, the lowest float printed to eight digits among them; a NaN cell is no-data
// whatever the value, since it is no elevation.
TEST(EffortKernel, NoDataValueTakenInTheDemsType) {
  const double nan = std::nan(""), lowest = -std::numeric_limits<float>::max();
  struct Case {
    int type;
    double noData, cell;
    bool barred;
  } cases[] = {
      {3, -9999, 0, false},      {3, 255, 255, true},           {4, 200, -56, false},
      {5, 100.5, 100, false},    {6, -32768, -32768, true},     {7, 4294967295.0, 4294967295.0, true},
      {7, -1, 4294967295.0, false}, {8, -2147483648.0, -2147483648.0, true},
      {9, nan, 100, false},      {9, 0.1, static_cast<float>(0.1), true},
      {9, 1e300, 100, false},    {10, 0.1, 0.1, true},
      {9, nan, nan, true},       {10, nan, nan, true},          {9, -9999, nan, true},
      {10, -9999, nan, true},    {9, -3.4028235e+38, lowest, true}, {9, 3.4028235e+38, -lowest, true},
      {9, 0x1.ffffffp+127, -lowest, false},  // halfway to the next power of two: an infinity
      {10, -3.4028235e+38, lowest, false},   // a double is taken as it is
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " no-data " << c.noData);
    Scene s(1, 2);
    s.demNoData = c.noData;
    s.dem = {c.cell, c.cell};
    const Result r = Compute(c.type, s);
    EXPECT_EQ(r.At(2, 0) == N, c.barred);
    EXPECT_TRUE(SameBits(r, Compute(c.type, s, Kernel::Reference)));
  }
}

// The typed entry point takes the no-data value in the DEM's type, or none at all.
TEST(EffortKernel, TypedEntryPoint) {
  const std::int16_t dem[] = {-9999, 100, 100, 103};
  const std::uint8_t trails[4] = {}, streams[4] = {};
  const std::int8_t cover[4] = {4, 4, 4, 4};
  const EffortGrids grids{trails, 0, streams, 0, cover, 1, 4, 10.0f};
  float band[4][4];
  const EffortOutputs out{band[0], band[1], band[2], band[3], N};
  EXPECT_TRUE(EffortKernel(dem, std::int16_t{-9999}, grids, out));
  EXPECT_EQ(band[2][0], N);
  EXPECT_EQ(band[2][1], 10.0f);
  EXPECT_TRUE(EffortKernel(dem, std::nullopt, grids, out));
  EXPECT_GT(band[2][0], 10000.0f);  // a step up from -9999 to 100
}

TEST(EffortKernel, OneMarkForEachHundredthRowInOrder) {
  for (const Kernel kernel : {Kernel::Reference, Kernel::OneThread, Kernel::TwoThreads}) {
    SCOPED_TRACE(static_cast<int>(kernel));
    EXPECT_EQ(Compute(9, Scene(250, 2), kernel).marks.rows, (std::vector<std::int32_t>{0, 100, 200}));
    EXPECT_EQ(Compute(9, Scene(100, 2), kernel).marks.rows, std::vector<std::int32_t>{0});
    EXPECT_TRUE(Compute(9, Scene(0, 5), kernel).marks.rows.empty());
  }
}

TEST(EffortKernel, AStopRequestIsHonoured) {
  Marks stopAt100;
  stopAt100.stopAt = 100;
  const Scene s(1000, 300);
  for (const Kernel kernel : {Kernel::Reference, Kernel::OneThread}) {
    const Result r = Compute(6, s, kernel, stopAt100);
    EXPECT_FALSE(r.completed);
    EXPECT_EQ(r.marks.rows, (std::vector<std::int32_t>{0, 100}));
    EXPECT_EQ(r.At(2, s.At(99, 0)), 10.0f);
    EXPECT_EQ(r.At(2, s.At(100, 0)), kUntouched);  // the band after the stop is not computed
  }
  const Result shared = Compute(6, s, Kernel::TwoThreads, stopAt100);
  EXPECT_FALSE(shared.completed);
  EXPECT_EQ(shared.marks.rows, (std::vector<std::int32_t>{0, 100}));
  EXPECT_TRUE(Compute(6, s, Kernel::TwoThreads).completed);
}

TEST(EffortKernel, AnExceptionFromAMarkLeavesNoThreadRunning) {
  Marks throwAt200;
  throwAt200.throwAt = 200;
  EXPECT_THROW(Compute(6, Scene(1000, 300), Kernel::TwoThreads, throwAt200), std::runtime_error);
}

TEST(EffortKernel, AnUnknownCellTypeLeavesTheOutputs) {
  for (const int type : {0, 1, 2, 11, 12}) {
    const Result r = Compute(type, Scene(150, 2));
    EXPECT_TRUE(r.completed);
    EXPECT_TRUE(r.marks.rows.empty());
    EXPECT_EQ(r.At(2, 0), kUntouched);
  }
}

// Random DEM values of the type: the whole range, a few repeated values (so that looked-up
// efforts are reused), no-data cells, and for the float types NaN and infinity.
double RandomElevation(int type, std::mt19937& random) {
  std::uniform_int_distribution<int> pick(0, 9);
  const int kind = pick(random);
  if (kind < 3) return 100 + pick(random);  // repeated values
  return VisitPixelType(
      type,
      [&]<class T>() -> double {
        if constexpr (std::is_integral_v<T>) {
          // Over the whole range of the type (bytes drawn as ints: the distribution takes no char).
          using Draw = std::conditional_t<(sizeof(T) < sizeof(int)), int, T>;
          return std::uniform_int_distribution<Draw>(std::numeric_limits<T>::min(), std::numeric_limits<T>::max())(random);
        } else {
          if (kind == 3 && pick(random) == 0)
            return pick(random) < 5 ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
          return std::uniform_real_distribution<double>(-500, 3000)(random);
        }
      },
      0.0);
}

// The fast kernel against the plain one, bit for bit, on random scenes of every type and
// of sizes that give one band, uneven shares of bands and the threaded path; the marks
// come in order, each once, on the caller's thread.
TEST(EffortKernel, MatchesTheReferenceBitForBit) {
  std::mt19937 random(20261210);
  const std::pair<int, int> sizes[] = {{1, 1}, {1, 5}, {5, 1}, {7, 13}, {101, 3}, {199, 1257}, {1001, 251}};
  std::uniform_int_distribution<int> byte(0, 255);
  for (const int type : kCellTypes) {
    for (const auto& [rows, columns] : sizes) {
      Scene s(rows, columns);
      s.cell = std::uniform_real_distribution<float>(0.5f, 40.0f)(random);
      s.demNoData = type == PT_UCHAR || type == PT_USHORT || type == PT_ULONG ? 101 : -101;
      s.trailsNoData = static_cast<std::uint8_t>(byte(random));
      s.streamsNoData = static_cast<std::uint8_t>(byte(random));
      for (std::size_t i = 0; i < s.Cells(); ++i) {
        s.dem[i] = byte(random) < 5 ? s.demNoData : RandomElevation(type, random);
        s.trails[i] = byte(random) < 80 ? s.trailsNoData ^ 1 : s.trailsNoData;
        s.streams[i] = byte(random) < 20 ? s.streamsNoData ^ 2 : s.streamsNoData;
        s.cover[i] = static_cast<std::int8_t>(byte(random) < 200 ? byte(random) % 12 : byte(random));
      }
      const Result reference = Compute(type, s, Kernel::Reference);
      EXPECT_EQ(reference.marks.rows, MarkRows(rows));
      for (const Kernel kernel : {Kernel::OneThread, Kernel::TwoThreads, Kernel::ThreeThreads, Kernel::Auto}) {
        SCOPED_TRACE(testing::Message() << "type " << type << " " << rows << " x " << columns << " kernel "
                                        << static_cast<int>(kernel));
        const Result fast = Compute(type, s, kernel);
        EXPECT_TRUE(fast.completed);
        EXPECT_TRUE(SameBits(fast, reference));
        EXPECT_EQ(fast.marks.rows, MarkRows(rows));
      }
    }
  }
}

// Strip after strip, with the row above and below each strip and nothing more, the
// kernel gives the whole-grid result bit for bit: for heights that are not multiples of
// the strip height, for strips that begin inside a hundred, on one thread and on several;
// the marks still come once for each hundredth row, in order.
TEST(EffortKernel, StripsGiveTheWholeGridBitForBit) {
  std::mt19937 random(20261211);
  std::uniform_int_distribution<int> byte(0, 255);
  const struct {
    int rows, columns;
  } sizes[] = {{1, 5}, {2, 3}, {250, 7}, {1037, 53}};
  for (const int type : {PT_UCHAR, PT_SHORT, PT_ULONG, PT_FLOAT, PT_DOUBLE}) {
    for (const auto& [rows, columns] : sizes) {
      Scene s(rows, columns);
      s.demNoData = 101;
      s.trailsNoData = 3;
      for (std::size_t i = 0; i < s.Cells(); ++i) {
        s.dem[i] = byte(random) < 5 ? s.demNoData : RandomElevation(type, random);
        s.trails[i] = byte(random) < 80 ? 9 : 3;
        s.streams[i] = byte(random) < 20 ? 1 : 0;
        s.cover[i] = static_cast<std::int8_t>(byte(random) % 12);
      }
      const Result whole = Compute(type, s, Kernel::Reference);
      for (const int stripRows : {1, 37, 100, 150, 300}) {
        for (const Kernel kernel : {Kernel::Reference, Kernel::OneThread, Kernel::TwoThreads, Kernel::ThreeThreads}) {
          SCOPED_TRACE(testing::Message() << "type " << type << " " << rows << " x " << columns << " strips of "
                                          << stripRows << " kernel " << static_cast<int>(kernel));
          const Result strips = ComputeInStrips(type, s, kernel, stripRows);
          EXPECT_TRUE(strips.completed);
          EXPECT_TRUE(SameBits(strips, whole));
          EXPECT_EQ(strips.marks.rows, MarkRows(rows));
        }
      }
    }
  }
}

// A stop asked for at a mark inside a strip ends that strip's call after the band under
// way, as it does for the whole grid.
TEST(EffortKernel, AStopInsideAStrip) {
  Marks stopAt300;
  stopAt300.stopAt = 300;
  const Scene s(1000, 40);
  const std::vector<std::int16_t> dem(s.Cells(), 100);  // the whole grid, read from row 0
  const EffortGrids grids{s.trails.data(), 0, s.streams.data(), 0, s.cover.data(), s.rows, s.columns, s.cell};
  for (const Kernel kernel : {Kernel::Reference, Kernel::OneThread}) {
    SCOPED_TRACE(static_cast<int>(kernel));
    std::vector<float> band[4];
    for (auto& b : band) b.assign(static_cast<std::size_t>(200) * s.columns, kUntouched);
    const EffortOutputs out{band[0].data(), band[1].data(), band[2].data(), band[3].data(), N};
    Marks marks = stopAt300;
    const EffortRun run{Mark, &marks, 1, {200, 200, 0}};
    const bool done = kernel == Kernel::Reference ? EffortKernelReference(PT_SHORT, dem.data(), -1, grids, out, run)
                                                  : EffortKernel(PT_SHORT, dem.data(), -1, grids, out, run);
    EXPECT_FALSE(done);
    EXPECT_EQ(marks.rows, (std::vector<std::int32_t>{200, 300}));
    EXPECT_EQ(band[2][0], 10.0f);                                               // row 200
    EXPECT_EQ(band[2][static_cast<std::size_t>(100) * s.columns], kUntouched);  // row 300 on
  }
}

}  // namespace
