// The simulated host's displays: the transformation between map and device coordinates,
// and what the painting display puts on its image.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "com/classes.h"
#include "gis/gis.h"
#include "hostapp/objects.h"
#include "hostapp/painter.h"
#include "hostapp/symbols.h"

namespace {

class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gis::Initialize();
    hostapp::RegisterHostClasses();
  }
  static com::ComPtr<Envelope> Extent(double x0, double y0, double x1, double y1) {
    auto e = com::CreateInstance<Envelope>(CLSID_Envelope);
    e->PutCoords(x0, y0, x1, y1);
    return e;
  }
};

TEST_F(DisplayTest, AnExtentIsShownWholeAndCentredInTheFrame) {
  auto t = com::MakeObject<hostapp::HostDisplayTransformation>(200, 100);
  // A square extent in a wide frame: widened east and west, 1 map unit a pixel.
  ASSERT_EQ(t->put_VisibleBounds(Extent(0, 0, 100, 100).get()), S_OK);
  com::ComPtr<Envelope> shown;
  ASSERT_EQ(t->get_VisibleBounds(shown.put()), S_OK);
  double x0, y0, x1, y1;
  shown->QueryCoords(&x0, &y0, &x1, &y1);
  EXPECT_EQ(std::vector<double>({x0, y0, x1, y1}), std::vector<double>({-50, 0, 150, 100}));

  const struct {
    double x, y;
    LONG px, py;
  } points[] = {{-50, 100, 0, 0}, {150, 0, 200, 100}, {0, 50, 50, 50}, {10.4, 89.6, 60, 10}};
  for (const auto& p : points) {
    SCOPED_TRACE(std::to_string(p.x) + " " + std::to_string(p.y));
    LONG px = -1, py = -1;
    ASSERT_EQ(t->FromMapPoint(gis::MakePoint(p.x, p.y).get(), &px, &py), S_OK);
    EXPECT_EQ(px, p.px);
    EXPECT_EQ(py, p.py);
  }
  com::ComPtr<Point> centre;
  ASSERT_EQ(t->ToMapPoint(60, 10, centre.put()), S_OK);
  double cx = 0, cy = 0;
  centre->get_X(&cx);
  centre->get_Y(&cy);
  EXPECT_EQ(cx, 10.5);  // the pixel's centre
  EXPECT_EQ(cy, 89.5);
  EXPECT_EQ(t->put_VisibleBounds(Extent(5, 5, 5, 5).get()), E_INVALIDARG);
  LONG px = 0, py = 0;
  EXPECT_EQ(t->FromMapPoint(gis::MakePoint(std::nan(""), 0).get(), &px, &py), E_INVALIDARG);
}

TEST_F(DisplayTest, ThePainterDrawsSymbolsWhereTheTransformationPutsThem) {
  auto display = com::MakeObject<hostapp::PainterDisplay>(100, 100);
  ASSERT_EQ(display->transformation().put_VisibleBounds(Extent(0, 0, 100, 100).get()), S_OK);
  auto fill = com::MakeObject<hostapp::SimpleFillSymbol>();
  fill->put_Color(0xFF0000);
  fill->put_Style(kFillSolid);
  ASSERT_EQ(display->SetSymbol(fill.get()), S_OK);
  display->StartDrawing();
  ASSERT_EQ(display->DrawRectangle(Extent(10, 60, 40, 90).get()), S_OK);  // device 10..40 x 10..40
  auto marker = com::MakeObject<hostapp::SimpleMarkerSymbol>();
  marker->put_Color(0x0000FF);
  marker->put_Size(6);  // 8 pixels across
  ASSERT_EQ(display->SetSymbol(marker.get()), S_OK);
  ASSERT_EQ(display->DrawPoint(gis::MakePoint(70.5, 29.5).get()), S_OK);  // device 70.5, 70.5
  display->FinishDrawing();

  EXPECT_EQ(display->PixelAt(25, 25), 0xFFFF0000u);
  EXPECT_EQ(display->PixelAt(5, 25), 0xFFFFFFFFu);
  EXPECT_EQ(display->PixelAt(45, 25), 0xFFFFFFFFu);
  EXPECT_EQ(display->PixelAt(70, 70), 0xFF0000FFu);
  EXPECT_EQ(display->PixelAt(80, 70), 0xFFFFFFFFu);

  // A hollow rectangle leaves its inside as it was.
  fill->put_Style(kFillHollow);
  fill->put_Color(0x00FF00);
  display->SetSymbol(fill.get());
  ASSERT_EQ(display->DrawRectangle(Extent(0, 0, 100, 100).get()), S_OK);
  EXPECT_EQ(display->PixelAt(25, 25), 0xFFFF0000u);
}

}  // namespace
