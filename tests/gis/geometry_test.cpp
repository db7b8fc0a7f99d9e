#include "tests/gis/fixture.h"

namespace {

bool Contains(Polygon* polygon, double x, double y) {
  VARIANT_BOOL inside = 7;
  EXPECT_EQ(polygon->Contains(gis::MakePoint(x, y).get(), &inside), S_OK);
  return inside == VARIANT_TRUE;
}

std::vector<std::array<double, 4>> SegmentsOf(IUnknown* geometry) {
  auto segments = com::ComPtr<IUnknown>(geometry).query<SegmentCollection>();
  std::vector<std::array<double, 4>> out;
  LONG count = 0;
  segments->get_SegmentCount(&count);
  for (LONG i = 0; i < count; ++i) {
    com::ComPtr<Segment> s;
    segments->get_Segment(i, s.put());
    com::ComPtr<Point> from, to;
    s->get_FromPoint(from.put());
    s->get_ToPoint(to.put());
    std::array<double, 4> xy{};
    from->get_X(&xy[0]);
    from->get_Y(&xy[1]);
    to->get_X(&xy[2]);
    to->get_Y(&xy[3]);
    out.push_back(xy);
  }
  return out;
}

TEST(GeometryTest, ContainmentIsStrictOverEveryPartAndFollowsAProjection) {
  gis::Initialize();
  auto polygon = gis::GeometryFromWkt(
                     "MULTIPOLYGON (((0 0,0 10,10 10,10 0,0 0),(4 4,6 4,6 6,4 6,4 4)),((20 0,20 2,22 2,22 0,20 0)))")
                     .query<Polygon>();
  ASSERT_TRUE(polygon);
  const struct {
    double x, y;
    bool inside;
  } points[] = {{1, 1, true},  {0, 5, false},  {10, 10, false}, {5, 5, false},
                {4, 5, false}, {3.9, 5, true}, {21, 1, true},   {15, 1, false}};
  for (const auto& p : points) EXPECT_EQ(Contains(polygon.get(), p.x, p.y), p.inside) << p.x << "," << p.y;

  // Once moved into metres, the polygon answers for metres, not for its old degrees.
  auto wgs84 = gis::SpatialReferenceFromEpsg(4326);
  auto utm = gis::SpatialReferenceFromEpsg(32633);
  auto square = gis::GeometryFromWkt("POLYGON ((15 45,15 46,16 46,16 45,15 45))", wgs84.get()).query<Polygon>();
  EXPECT_TRUE(Contains(square.get(), 15.5, 45.5));
  ASSERT_EQ(square->Project(utm.get()), S_OK);
  auto centre = gis::MakePoint(15.5, 45.5, wgs84.get());
  centre->Project(utm.get());
  double x = 0, y = 0;
  centre->get_X(&x);
  centre->get_Y(&y);
  EXPECT_TRUE(Contains(square.get(), x, y));
  EXPECT_FALSE(Contains(square.get(), 15.5, 45.5));

  EXPECT_FALSE(gis::GeometryFromWkt("POLYGON ((0 0,1"));
  EXPECT_FALSE(gis::GeometryFromWkt("GEOMETRYCOLLECTION (POINT (1 2))"));
}

TEST(GeometryTest, APolylineGrowsBySegmentsAndListsThemPartByPart) {
  gis::Initialize();
  auto line = com::CreateInstance<Polyline>(CLSID_Polyline);
  auto segments = line.query<SegmentCollection>();
  ASSERT_TRUE(segments);
  const auto add = [&](double x1, double y1, double x2, double y2) {
    auto s = com::CreateInstance<Segment>(CLSID_Segment);
    s->PutCoords(gis::MakePoint(x1, y1).get(), gis::MakePoint(x2, y2).get());
    EXPECT_EQ(segments->AddSegment(s.get()), S_OK);
  };
  add(0, 0, 1, 0);
  add(1, 0, 1, 1);  // continues the part
  add(5, 5, 6, 6);  // starts a second one
  LONG parts = 0;
  line->get_PartCount(&parts);
  EXPECT_EQ(parts, 2);
  using S = std::array<double, 4>;
  EXPECT_EQ(SegmentsOf(line.get()), (std::vector<S>{{0, 0, 1, 0}, {1, 0, 1, 1}, {5, 5, 6, 6}}));
  com::ComPtr<Envelope> box;
  line->get_Envelope(box.put());
  double x0, y0, x1, y1;
  box->QueryCoords(&x0, &y0, &x1, &y1);
  EXPECT_EQ((S{x0, y0, x1, y1}), (S{0, 0, 6, 6}));

  // A polygon's segments run over its outer ring, then its holes.
  auto polygon = gis::GeometryFromWkt("POLYGON ((0 0,0 4,4 4,0 0),(1 2,2 3,1 3,1 2))");
  EXPECT_EQ(SegmentsOf(polygon.get()),
            (std::vector<S>{{0, 0, 0, 4}, {0, 4, 4, 4}, {4, 4, 0, 0}, {1, 2, 2, 3}, {2, 3, 1, 3}, {1, 3, 1, 2}}));
}

// The outline in one call agrees with the segments one by one, also after the shape grows
// or moves; a range outside the segments is refused.
TEST(GeometryTest, SegmentsComeInOneCallAsTheyStandNow) {
  gis::Initialize();
  using S = std::array<double, 4>;
  const auto all = [](IUnknown* geometry) {
    auto segments = com::ComPtr<IUnknown>(geometry).query<SegmentCollection>();
    LONG count = 0;
    segments->get_SegmentCount(&count);
    std::vector<S> out(static_cast<std::size_t>(count));
    EXPECT_EQ(segments->QuerySegments(0, count, out.empty() ? nullptr : out[0].data()), S_OK);
    return out;
  };
  auto wgs84 = gis::SpatialReferenceFromEpsg(4326);
  auto polygon = gis::GeometryFromWkt("MULTIPOLYGON (((15 45,15 46,16 46,15 45)),((17 45,17 46,18 45,17 45)))",
                                      wgs84.get());
  EXPECT_EQ(all(polygon.get()), SegmentsOf(polygon.get()));
  EXPECT_EQ(all(polygon.get()).size(), 6u);
  ASSERT_EQ(polygon->Project(gis::SpatialReferenceFromEpsg(32633).get()), S_OK);
  const auto moved = all(polygon.get());
  EXPECT_EQ(moved, SegmentsOf(polygon.get()));
  EXPECT_GT(moved[0][0], 1000);  // metres now

  auto line = gis::GeometryFromWkt("LINESTRING (0 0,1 1,2 0)");
  auto segments = line.query<SegmentCollection>();
  EXPECT_EQ(all(line.get()), (std::vector<S>{{0, 0, 1, 1}, {1, 1, 2, 0}}));
  auto s = com::CreateInstance<Segment>(CLSID_Segment);
  s->PutCoords(gis::MakePoint(2, 0).get(), gis::MakePoint(3, 3).get());
  ASSERT_EQ(segments->AddSegment(s.get()), S_OK);
  EXPECT_EQ(all(line.get()), (std::vector<S>{{0, 0, 1, 1}, {1, 1, 2, 0}, {2, 0, 3, 3}}));
  double coords[8];
  EXPECT_EQ(segments->QuerySegments(1, 2, coords), S_OK);
  EXPECT_EQ((S{coords[4], coords[5], coords[6], coords[7]}), (S{2, 0, 3, 3}));
  EXPECT_EQ(segments->QuerySegments(2, 2, coords), E_INVALIDARG);
  EXPECT_EQ(segments->QuerySegments(-1, 1, coords), E_INVALIDARG);
  EXPECT_EQ(segments->QuerySegments(0, 1, nullptr), E_POINTER);
}

}  // namespace
