#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "tools/effortsurface/effortkernel.h"
#include "tools/effortsurface/effortkernelref.h"

namespace {

using namespace plenth;

constexpr float N = -1.0f;

// A scene: DEM (as doubles, stored in the DEM's type), class grids, and the four outputs.
struct Scene {
  int rows, columns;
  float cell = 10;
  std::vector<double> dem;
  std::vector<std::uint8_t> trails, streams;
  std::vector<std::int8_t> cover;
  double demNoData = -9999;
  std::uint8_t trailsNoData = 0, streamsNoData = 0;

  Scene(int r, int c) : rows(r), columns(c), dem(r * c, 100), trails(r * c, 0), streams(r * c, 0), cover(r * c, 4) {}
};

struct Result {
  std::vector<float> band[4];
  int marks = 0;
  bool completed = false;
};

template <class T>
std::vector<T> As(const std::vector<double>& v) {
  return std::vector<T>(v.begin(), v.end());
}

struct Marks {
  int count = 0;
  int stopAfter = -1;
  std::thread::id thread = std::this_thread::get_id();
  bool otherThread = false;
};

bool Mark(void* context) {
  auto* m = static_cast<Marks*>(context);
  if (std::this_thread::get_id() != m->thread) m->otherThread = true;
  ++m->count;
  return m->stopAfter < 0 || m->count < m->stopAfter;
}

template <class T>
Result ComputeTyped(int type, const Scene& s, bool reference, int threads, int stopAfter = -1) {
  const auto dem = As<T>(s.dem);
  Result r;
  for (auto& b : r.band) b.assign(s.dem.size(), 12345.0f);
  const EffortInputs in{dem.data(), s.demNoData, s.trails.data(), s.trailsNoData, s.streams.data(), s.streamsNoData,
                        s.cover.data(), s.rows, s.columns, s.cell};
  const EffortOutputs out{r.band[0].data(), r.band[1].data(), r.band[2].data(), r.band[3].data(), N};
  Marks marks;
  marks.stopAfter = stopAfter;
  r.completed = reference ? EffortKernelReference(type, in, out, Mark, &marks)
                          : EffortKernel(type, in, out, Mark, &marks, threads);
  r.marks = marks.count;
  EXPECT_FALSE(marks.otherThread) << "a progress mark came from another thread";
  return r;
}

Result Compute(int type, const Scene& s, bool reference = false, int threads = 1, int stopAfter = -1) {
  switch (type) {
    case 3: return ComputeTyped<std::uint8_t>(type, s, reference, threads, stopAfter);
    case 4: return ComputeTyped<std::int8_t>(type, s, reference, threads, stopAfter);
    case 5: return ComputeTyped<std::uint16_t>(type, s, reference, threads, stopAfter);
    case 6: return ComputeTyped<std::int16_t>(type, s, reference, threads, stopAfter);
    case 7: return ComputeTyped<std::uint32_t>(type, s, reference, threads, stopAfter);
    case 8: return ComputeTyped<std::int32_t>(type, s, reference, threads, stopAfter);
    case 9: return ComputeTyped<float>(type, s, reference, threads, stopAfter);
    default: return ComputeTyped<double>(type, s, reference, threads, stopAfter);
  }
}

bool SameBits(const Result& a, const Result& b) {
  for (int k = 0; k < 4; ++k)
    if (a.band[k].size() != b.band[k].size() ||
        std::memcmp(a.band[k].data(), b.band[k].data(), a.band[k].size() * sizeof(float)) != 0)
      return false;
  return true;
}

TEST(EffortKernel, TheWorkedExample) {
  Scene s(2, 2);
  s.dem = {100, 104, 100, 110};
  s.cover = {4, 6, 4, 4};
  const Result r = Compute(9, s);
  const float expect[4][4] = {
      // north, north-east, east, south-east of cells (0,0), (0,1), (1,0), (1,1)
      {N, N, 10.00f, 89.56f},
      {N, N, 72.56f, N},
      {63.33f, N, 56.57f, N},
      {50.48f, N, N, N},
  };
  for (int band = 0; band < 4; ++band)
    for (int cell = 0; cell < 4; ++cell) {
      SCOPED_TRACE(testing::Message() << "band " << band << " cell " << cell);
      if (expect[band][cell] == N)
        EXPECT_EQ(r.band[band][cell], N);
      else
        EXPECT_NEAR(r.band[band][cell], expect[band][cell], 0.005f);
    }
  EXPECT_TRUE(SameBits(r, Compute(9, s, true)));
}

TEST(EffortKernel, EdgesTakeTheNoDataValueBandByBand) {
  for (const auto& [rows, columns] : std::vector<std::pair<int, int>>{{1, 1}, {1, 4}, {3, 3}}) {
    SCOPED_TRACE(testing::Message() << rows << " x " << columns);
    Scene s(rows, columns);
    const Result r = Compute(6, s);
    for (int row = 0; row < rows; ++row)
      for (int col = 0; col < columns; ++col) {
        const int i = row * columns + col;
        const bool lastColumn = col == columns - 1, lastRow = row == rows - 1;
        EXPECT_EQ(r.band[0][i] == N, row == 0);
        EXPECT_EQ(r.band[1][i] == N, row == 0 || lastColumn);
        EXPECT_EQ(r.band[2][i] == N, lastColumn);
        EXPECT_EQ(r.band[3][i] == N, lastRow || lastColumn);
      }
  }
}

TEST(EffortKernel, FlatGroundTrailsAndStreams) {
  Scene s(3, 3);
  const int centre = 4;
  const float diagonal = 10.0f * kDiagonalFactor;
  Result r = Compute(9, s);
  EXPECT_EQ(r.band[0][centre], 10.0f);
  EXPECT_EQ(r.band[1][centre], diagonal);
  EXPECT_EQ(r.band[2][centre], 10.0f);
  EXPECT_EQ(r.band[3][centre], diagonal);

  // Both cells on a trail: a quarter, whatever the streams and the ground cover.
  s.trails.assign(9, 1);
  s.streams.assign(9, 1);
  s.cover.assign(9, 1);
  r = Compute(9, s);
  EXPECT_EQ(r.band[0][centre], 2.5f);
  EXPECT_EQ(r.band[1][centre], diagonal / 4);

  // From a trail into a cell off it: the other rules decide.
  s = Scene(3, 3);
  s.trails[centre] = 1;
  s.cover[5] = 6;  // east of the centre
  s.streams[1] = 1;  // north of the centre
  r = Compute(9, s);
  EXPECT_EQ(r.band[2][centre], 30.0f);
  EXPECT_EQ(r.band[0][centre], N);  // into a stream cell
  EXPECT_EQ(r.band[3][1], 10.0f * kDiagonalFactor * 3.0f);  // out of the stream cell (0, 1) into (1, 2)
}

TEST(EffortKernel, GroundCoverFactorsOfEveryCode) {
  const std::pair<int, float> table[] = {{1, N},   {2, 14.0f},  {4, 10.0f},  {5, 11.0f},  {6, 30.0f},  {7, 18.0f},
                                         {9, 12.0f}, {0, 15.0f}, {3, 15.0f}, {8, 15.0f}, {10, 15.0f}, {127, 15.0f},
                                         {-128, 15.0f}, {-1, 15.0f}};
  for (const auto& [code, cost] : table) {
    SCOPED_TRACE(code);
    Scene s(1, 2);
    s.cover[1] = static_cast<std::int8_t>(code);
    EXPECT_FLOAT_EQ(Compute(9, s).band[2][0], cost);
    if (code != 1) EXPECT_FLOAT_EQ(GroundCoverFactor(static_cast<std::int8_t>(code)) * 10.0f, cost);
  }
}

TEST(EffortKernel, DemNoDataInEitherCellGivesNoData) {
  for (int type = 3; type <= 10; ++type) {
    SCOPED_TRACE(type);
    Scene s(1, 3);
    s.demNoData = type == 3 || type == 5 || type == 7 ? 7 : -7;
    s.dem = {100, s.demNoData, 100};
    s.trails.assign(3, 1);
    const Result r = Compute(type, s);
    EXPECT_EQ(r.band[2][0], N);
    EXPECT_EQ(r.band[2][1], N);
    EXPECT_TRUE(SameBits(r, Compute(type, s, true)));
  }
}

TEST(EffortKernel, OneMarkPerHundredRowsAndAStopIsHonoured) {
  Scene s(250, 2);
  EXPECT_EQ(Compute(9, s).marks, 3);
  EXPECT_EQ(Compute(9, s, true).marks, 3);
  Scene big(1000, 300);
  const Result stopped = Compute(6, big, false, 2, 2);
  EXPECT_FALSE(stopped.completed);
  EXPECT_EQ(stopped.marks, 2);
  EXPECT_TRUE(Compute(6, big, false, 2).completed);
  EXPECT_EQ(Compute(6, big, false, 2).marks, 10);
}

TEST(EffortKernel, AnUnknownCellTypeLeavesTheOutputs) {
  Scene s(2, 2);
  const Result r = Compute(11, s);
  EXPECT_TRUE(r.completed);
  EXPECT_EQ(r.band[0][0], 12345.0f);
}

// The fast kernel against the plain one, bit for bit, on random scenes of every type.
TEST(EffortKernel, MatchesTheReferenceBitForBit) {
  std::mt19937 random(20261210);
  const std::pair<int, int> sizes[] = {{1, 1}, {7, 13}, {101, 3}, {257, 300}, {1001, 251}};
  for (int type = 3; type <= 10; ++type) {
    for (const auto& [rows, columns] : sizes) {
      SCOPED_TRACE(testing::Message() << "type " << type << " " << rows << " x " << columns);
      Scene s(rows, columns);
      const bool isSigned = type == 4 || type == 6 || type == 8 || type >= 9;
      const double range = type <= 4 ? 60 : type <= 6 ? 3000 : 100000;
      std::uniform_real_distribution<double> z(isSigned ? -range : 0, range);
      std::uniform_int_distribution<int> byte(0, 255);
      for (std::size_t i = 0; i < s.dem.size(); ++i) {
        s.dem[i] = type >= 9 ? z(random) : std::floor(z(random));
        if (byte(random) < 8) s.dem[i] = s.demNoData = isSigned ? -50 : 50;
        s.trails[i] = byte(random) < 60 ? 1 : 0;
        s.streams[i] = byte(random) < 20 ? 3 : 0;
        s.cover[i] = static_cast<std::int8_t>(byte(random) % 12 - (byte(random) < 10 ? 100 : 0));
      }
      s.demNoData = isSigned ? -50 : 50;
      s.cell = 12.5f;
      const Result reference = Compute(type, s, true);
      EXPECT_TRUE(SameBits(Compute(type, s, false, 1), reference));
      const Result two = Compute(type, s, false, 2);
      EXPECT_TRUE(SameBits(two, reference));
      EXPECT_EQ(two.marks, reference.marks);
    }
  }
}

}  // namespace
