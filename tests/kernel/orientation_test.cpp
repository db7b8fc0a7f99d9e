#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tools/gridspot/identifyvalue.h"
#include "tools/lineorientation/segmentorientation.h"

namespace {

using plenth::SegmentOrientation;

TEST(SegmentOrientationTest, DegreesClockwiseFromNorthWhicheverWayTheSegmentRuns) {
  const struct {
    const char* what;
    double x1, y1, x2, y2, expected;
  } cases[] = {
      {"north-east", 0, 0, 1, 1, 45},
      {"south-east", 0, 0, 1, -1, 135},
      {"south-west", 0, 0, -1, -1, 45},
      {"north-west", 0, 0, -1, 1, 135},
      {"due north", 0, 0, 0, 1, 180},
      {"due south", 0, 1, 0, 0, 0},
      {"east", 2, 5, 7, 5, 90},
      {"west", 7, 5, 2, 5, 90},
      {"no length", 3, 3, 3, 3, 90},
      {"steep north-east", 500000, 4100000, 500001, 4100010, std::atan(0.1) * 180 / (4 * std::atan(1.0))},
      {"flat south-east", 0, 0, 10, -1, 180 - std::atan(10.0) * 180 / (4 * std::atan(1.0))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_DOUBLE_EQ(SegmentOrientation(c.x1, c.y1, c.x2, c.y2), c.expected);
    // Reversed, the same but for due north and due south, which trade places.
    if (c.x1 != c.x2 || c.y1 == c.y2) {
      EXPECT_DOUBLE_EQ(SegmentOrientation(c.x2, c.y2, c.x1, c.y1), c.expected);
    }
  }
}

TEST(IdentifyValueTest, TheLeadingNumberOfTheTextOrThePreset) {
  const struct {
    const char* text;
    std::int32_t integer;
    double real;
  } cases[] = {
      {"12", 12, 12},
      {"-3.75", -3, -3.75},
      {"  +7, 8", 7, 7},  // several bands: the first
      {"250, NoData", 250, 250},
      {"NoData", -99, -99},
      {"", -99, -99},
      {"-", -99, -99},
      {"1e3", 1, 1000},
      {"4294967295", -1, 4294967295.0},  // integers keep their low 32 bits
      {"2147483648", std::numeric_limits<std::int32_t>::min(), 2147483648.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(plenth::LeadingInteger(c.text, -99), c.integer);
    EXPECT_EQ(plenth::LeadingReal(c.text, -99.0), c.real);
  }
  EXPECT_TRUE(std::isnan(plenth::LeadingReal("nan", -99)));
  EXPECT_EQ(plenth::LeadingReal("-inf", -99), -HUGE_VAL);
}

}  // namespace
