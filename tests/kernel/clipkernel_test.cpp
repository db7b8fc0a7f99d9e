#include "tools/polyclip/clipkernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "gis/gis.h"
#include "gis/pixeltype.h"

namespace {

using namespace plenth::clip;

TEST(ClassTableTest, ClassesComeInOrderOfFirstAppearanceAndTheFortiethEndsTheRun) {
  ClassTable table;
  const std::vector<std::int32_t> cells = {3, 3, 12, -1, 3, 12, -1, -1};
  std::vector<std::uint8_t> classOf(cells.size());
  ASSERT_TRUE(table.Classify(cells.data(), cells.size(), classOf.data()));
  ASSERT_EQ(table.count(), 3);
  EXPECT_EQ(table.value(0), 3);
  EXPECT_EQ(table.value(1), 12);
  EXPECT_EQ(table.value(2), -1);
  EXPECT_EQ(classOf, (std::vector<std::uint8_t>{0, 0, 1, 2, 0, 1, 2, 2}));

  // Values that share hash slots and come back after others, split over calls.
  for (const int distinct : {39, 40}) {
    SCOPED_TRACE(distinct);
    ClassTable t;
    std::vector<std::int32_t> values;
    for (int i = 0; i < distinct; ++i) values.push_back(i * 128 - 2000);  // one slot step apart
    for (int i = distinct - 1; i >= 0; i -= 3) values.push_back(i * 128 - 2000);
    std::vector<std::uint8_t> out(values.size());
    const std::size_t half = values.size() / 2;
    const bool ok = t.Classify(values.data(), half, out.data()) &&
                    t.Classify(values.data() + half, values.size() - half, out.data() + half);
    EXPECT_EQ(ok, distinct == 39);
    if (ok) {
      for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(t.value(out[i]), values[i]);
    }
  }
}

TEST(ClassTableTest, CellsOfEachIntegerTypeBecomeSigned32BitValues) {
  const struct {
    PixelType type;
    std::vector<unsigned char> bytes;
    std::int32_t expected;
  } cases[] = {
      {PT_UCHAR, {0xFF}, 255},
      {PT_CHAR, {0xFF}, -1},
      {PT_USHORT, {0xFF, 0xFF}, 65535},
      {PT_SHORT, {0xFE, 0xFF}, -2},
      {PT_ULONG, {0xFF, 0xFF, 0xFF, 0xFF}, -1},  // bit for bit
      {PT_ULONG, {0x00, 0x00, 0x00, 0x80}, std::numeric_limits<std::int32_t>::min()},
      {PT_LONG, {0x39, 0x30, 0x00, 0x00}, 12345},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(PixelTypeName(c.type));
    std::int32_t out = 0;
    ASSERT_TRUE(ToClassValues(c.type, c.bytes.data(), 1, &out));
    EXPECT_EQ(out, c.expected);
  }
  const double real = 1;
  std::int32_t out = 0;
  EXPECT_FALSE(ToClassValues(PT_FLOAT, &real, 1, &out));
  EXPECT_FALSE(ToClassValues(PT_DOUBLE, &real, 1, &out));
  EXPECT_FALSE(ToClassValues(PT_U4, &real, 1, &out));
}

// Ten columns and eight rows of 2 x 3 cells from (100, 200) to (120, 224).
const CellGrid kGrid{10, 8, 101, 222.5, 2, 3};

TEST(CandidateRangeTest, EnvelopeEndsAreTruncatedTowardZeroThenClamped) {
  const struct {
    const char* what;
    double xMin, yMin, xMax, yMax;
    CellRange expected;
  } cases[] = {
      {"inside", 104.2, 210, 109.9, 219.1, {1, 4, 1, 4}},
      {"a centre's own line", 103, 213.5, 103, 213.5, {3, 3, 1, 1}},
      {"reaching past every edge", 50, 100, 500, 400, {0, 7, 0, 9}},
      // -0.5 cells truncates to 0: the first row and column stay in.
      {"a little over the top-left", 100, 223, 101.5, 224, {0, 0, 0, 0}},
      {"wholly west", 10, 210, 98.9, 215, {2, 4, 0, -1}},
      {"west, less than a cell short of the first centre", 10, 210, 99.9, 215, {2, 4, 0, 0}},
      {"wholly east", 121, 210, 130, 215, {2, 4, 10, 9}},
      {"wholly north", 104, 226, 106, 300, {0, -1, 1, 2}},
      {"wholly south", 104, 100, 106, 150, {8, 7, 1, 2}},
      {"far beyond any integer", -1e300, -1e300, 1e300, 1e300, {0, 7, 0, 9}},
      {"an empty envelope", NAN, NAN, NAN, NAN, {0, -1, 0, -1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const CellRange r = CandidateRange(kGrid, c.xMin, c.yMin, c.xMax, c.yMax);
    EXPECT_EQ(r.firstRow, c.expected.firstRow);
    EXPECT_EQ(r.lastRow, c.expected.lastRow);
    EXPECT_EQ(r.firstColumn, c.expected.firstColumn);
    EXPECT_EQ(r.lastColumn, c.expected.lastColumn);
  }
}

// One polygon of the data library with its edges, as the tool hands them to the kernel.
struct Shape {
  com::ComPtr<Polygon> polygon;
  std::vector<Edge> edges;
  std::vector<Ring> rings;
};

Shape ShapeOf(const std::string& wkt) {
  Shape s;
  auto geometry = gis::GeometryFromWkt(wkt);
  s.polygon = geometry.query<Polygon>();
  auto segments = geometry.query<SegmentCollection>();
  LONG count = 0;
  segments->get_SegmentCount(&count);
  std::vector<double> xy(4 * static_cast<std::size_t>(count));
  segments->QuerySegments(0, count, xy.data());
  for (std::size_t i = 0; i < xy.size(); i += 4) s.edges.push_back({xy[i], xy[i + 1], xy[i + 2], xy[i + 3]});
  LONG rings = 0;
  s.polygon->get_RingCount(&rings);
  for (LONG r = 0; r < rings; ++r) {
    LONG first = 0, n = 0;
    VARIANT_BOOL exterior = VARIANT_FALSE;
    s.polygon->QueryRing(r, &first, &n, &exterior);
    s.rings.push_back({static_cast<std::size_t>(first), static_cast<std::size_t>(n), exterior == VARIANT_TRUE});
  }
  return s;
}

bool PlatformContains(Polygon* polygon, double x, double y) {
  VARIANT_BOOL inside = VARIANT_FALSE;
  polygon->Contains(gis::MakePoint(x, y).get(), &inside);
  return inside == VARIANT_TRUE;
}

// For each cell of the grid, whether the kernel counts it, row by row, and how often it
// asked the platform.
struct Verdicts {
  std::vector<std::vector<std::int64_t>> rows;
  int asked = 0;
};

Verdicts KernelVerdicts(const CellGrid& grid, const Shape& shape, bool byTest) {
  // Each cell's class is its column: the counts of a one-row range are the cells themselves.
  std::vector<std::uint8_t> classOf(static_cast<std::size_t>(grid.columns * grid.rows));
  for (std::size_t i = 0; i < classOf.size(); ++i) classOf[i] = static_cast<std::uint8_t>(i % grid.columns);
  Verdicts v;
  const ContainsTest test = [&](double x, double y) {
    ++v.asked;
    return PlatformContains(shape.polygon.get(), x, y);
  };
  for (std::int64_t row = 0; row < grid.rows; ++row) {
    std::vector<std::int64_t> counts(256);
    const CellRange range{row, row, 0, grid.columns - 1};
    if (byTest)
      CountClassCellsByTest(grid, range, classOf.data(), counts, test);
    else
      CountClassCells(grid, range, shape.edges, shape.rings, classOf.data(), counts, test);
    v.rows.push_back(counts);
  }
  return v;
}

using Rings = std::vector<std::vector<std::pair<double, double>>>;

// A polygon of one part, or a multipolygon of several.
std::string Wkt(const std::vector<Rings>& parts) {
  std::ostringstream s;
  s.precision(17);
  s << (parts.size() > 1 ? "MULTIPOLYGON (" : "POLYGON ");
  for (std::size_t p = 0; p < parts.size(); ++p) {
    s << (p ? ",(" : "(");
    for (std::size_t r = 0; r < parts[p].size(); ++r) {
      s << (r ? ",(" : "(");
      const auto& ring = parts[p][r];
      for (std::size_t i = 0; i <= ring.size(); ++i)
        s << (i ? "," : "") << ring[i % ring.size()].first << " " << ring[i % ring.size()].second;
      s << ")";
    }
    s << ")";
  }
  if (parts.size() > 1) s << ")";
  return s.str();
}

// A star-shaped ring around (cx, cy) with radii up to r; each vertex passed through snap.
template <class Snap>
std::vector<std::pair<double, double>> Star(std::mt19937& random, double cx, double cy, double r, bool clockwise,
                                            Snap snap) {
  std::uniform_int_distribution<int> count(3, 12);
  std::uniform_real_distribution<double> unit(0, 1);
  const int n = count(random);
  std::vector<double> angles;
  for (int i = 0; i < n; ++i) angles.push_back(unit(random) * 2 * std::numbers::pi);
  std::sort(angles.begin(), angles.end());
  if (clockwise) std::reverse(angles.begin(), angles.end());
  std::vector<std::pair<double, double>> ring;
  for (double a : angles) {
    const double radius = r * (0.3 + 0.7 * unit(random));
    ring.push_back(snap(cx + radius * std::cos(a), cy + radius * std::sin(a)));
  }
  return ring;
}

// The crossing count agrees with the data library's own containment, cell by cell, on
// polygons whose vertices sit on centres and corners (edges and vertices through centres,
// horizontal edges on rows, holes) and on polygons anywhere, valid or not (rings that cross,
// holes outside their outer ring, parts that overlap); only centres that lie on a slanted
// edge are put to the platform.
TEST(CountClassCellsTest, AgreesWithThePlatformsContainmentCellByCell) {
  gis::Initialize();
  const CellGrid grids[] = {{24, 20, 1000.5, 2019.5, 1, 1}, {24, 20, 500000.15, 4100000.95, 0.3, 0.3}};
  std::mt19937 random(12);
  for (const CellGrid& grid : grids) {
    for (const bool onLattice : {true, false}) {
      SCOPED_TRACE(onLattice ? "on the lattice of centres and corners" : "anywhere");
      const auto snap = [&](double x, double y) {
        if (!onLattice) return std::make_pair(x, y);
        // The centre expression itself, at half-cell steps.
        const double c = std::round((x - grid.leftX) / grid.cellX * 2) / 2;
        const double r = std::round((grid.topY - y) / grid.cellY * 2) / 2;
        return std::make_pair(grid.leftX + c * grid.cellX, grid.topY - r * grid.cellY);
      };
      int asked = 0;
      for (int n = 0; n < 120; ++n) {
        const double cx = grid.leftX + grid.cellX * grid.columns / 2, cy = grid.topY - grid.cellY * grid.rows / 2;
        const double r = grid.cellX * grid.columns * 0.45;
        std::vector<Rings> parts{{Star(random, cx, cy, r, true, snap)}};
        if (n % 3 == 0) parts[0].push_back(Star(random, cx, cy, r * 0.25, false, snap));
        if (n % 5 == 0) parts.push_back({Star(random, cx + r / 2, cy, r / 2, true, snap)});  // may overlap
        const std::string wkt = Wkt(parts);
        SCOPED_TRACE(wkt);
        const Shape shape = ShapeOf(wkt);
        ASSERT_TRUE(shape.polygon);
        const Verdicts fast = KernelVerdicts(grid, shape, false);
        const Verdicts reference = KernelVerdicts(grid, shape, true);
        ASSERT_EQ(fast.rows, reference.rows);
        asked += fast.asked;
      }
      if (!onLattice) {
        EXPECT_EQ(asked, 0);  // nothing lies on an edge by chance
      }
    }
  }
}

TEST(CountClassCellsTest, CentresOnTheBoundaryOrInAHoleDoNotCount) {
  gis::Initialize();
  // Cells of 1 x 1 with centres at (0.5 + c, 9.5 - r): the square's edges run through the
  // centres of column 1 and 7 and of rows 1 and 7; the hole's through columns and rows 3, 5.
  const CellGrid grid{10, 10, 0.5, 9.5, 1, 1};
  const Shape shape =
      ShapeOf("POLYGON ((1.5 8.5,7.5 8.5,7.5 2.5,1.5 2.5,1.5 8.5),(3.5 6.5,3.5 4.5,5.5 4.5,5.5 6.5,3.5 6.5))");
  std::vector<std::uint8_t> classOf(100, 0);
  std::int64_t count = 0;
  int asked = 0;
  const ContainsTest test = [&](double, double) {
    ++asked;
    return true;
  };
  EXPECT_EQ(CountClassCells(grid, CandidateRange(grid, 1.5, 2.5, 7.5, 8.5), shape.edges, shape.rings,
                            classOf.data(), std::span(&count, 1), test),
            49);
  EXPECT_EQ(count, 5 * 5 - 3 * 3);  // the 5 x 5 inner centres less the hole's 3 x 3
  EXPECT_EQ(asked, 0);

  // Rings that crossings cannot answer for leave every centre to the platform.
  const std::vector<Edge> open = {{1.5, 8.5, 7.5, 8.5}, {7.5, 8.5, 7.5, 2.5}, {7.5, 2.5, 1.5, 2.5}};
  const struct {
    const char* what;
    std::vector<Ring> rings;
  } unanswered[] = {
      {"a ring that does not close", {{0, 3, true}}},
      {"a ring of two edges", {{0, 2, true}, {2, 1, false}}},
      {"edges left out", {{0, 1, true}}},
  };
  for (const auto& u : unanswered) {
    SCOPED_TRACE(u.what);
    count = 0;
    asked = 0;
    EXPECT_EQ(CountClassCells(grid, {0, 1, 0, 2}, open, u.rings, classOf.data(), std::span(&count, 1), test), 6);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(asked, 6);
  }
}

// Polygons counted from a band of rows only (grid.classRow its first) get what they get
// from the whole raster's cells, by both tests.
TEST(CountClassCellsTest, ABandOfRowsCountsAsTheWholeRaster) {
  gis::Initialize();
  const CellGrid whole{12, 30, 0.5, 29.5, 1, 1};
  std::vector<std::uint8_t> classOf(12 * 30);
  for (std::size_t i = 0; i < classOf.size(); ++i) classOf[i] = static_cast<std::uint8_t>((i * 7 + i / 12) % 5);
  const Shape shape = ShapeOf("POLYGON ((2.2 22.3,9.7 25.1,10.4 12.6,3.1 10.2,2.2 22.3),(5 15,7 15,7 18,5 15))");
  const CellRange range = CandidateRange(whole, 2.2, 10.2, 10.4, 25.1);
  const ContainsTest test = [&](double x, double y) { return PlatformContains(shape.polygon.get(), x, y); };
  for (const std::int64_t first : {range.firstRow, std::int64_t{2}}) {
    SCOPED_TRACE(first);
    CellGrid band = whole;
    band.classRow = first;
    const std::vector<std::uint8_t> cells(classOf.begin() + first * 12, classOf.begin() + (range.lastRow + 1) * 12);
    for (const bool byTest : {false, true}) {
      std::vector<std::int64_t> expected(5), counts(5);
      if (byTest) {
        CountClassCellsByTest(whole, range, classOf.data(), expected, test);
        CountClassCellsByTest(band, range, cells.data(), counts, test);
      } else {
        CountClassCells(whole, range, shape.edges, shape.rings, classOf.data(), expected, test);
        CountClassCells(band, range, shape.edges, shape.rings, cells.data(), counts, test);
      }
      EXPECT_EQ(counts, expected);
      EXPECT_GT(std::accumulate(counts.begin(), counts.end(), std::int64_t{0}), 40);
    }
  }
}

}  // namespace
