#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "tests/gis/fixture.h"

namespace {

using FeatureTest = gistest::TempDir;

// Writes a small shapefile with OGR itself.
void WriteShapefile(const std::string& path, OGRwkbGeometryType type, const std::vector<std::string>& wkts) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  std::unique_ptr<GDALDataset> ds(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  OGRSpatialReference srs;
  srs.importFromEPSG(32633);
  OGRLayer* layer = ds->CreateLayer("x", &srs, type, nullptr);
  OGRFieldDefn id("ID", OFTInteger);
  layer->CreateField(&id);
  OGRFieldDefn name("NAME", OFTString);
  layer->CreateField(&name);
  int n = 1;
  for (const std::string& wkt : wkts) {
    OGRFeature f(layer->GetLayerDefn());
    f.SetField("ID", n);
    f.SetField("NAME", ("f" + std::to_string(n++)).c_str());
    OGRGeometry* g = nullptr;
    OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &g);
    f.SetGeometryDirectly(g);
    layer->CreateFeature(&f);
  }
}

com::ComPtr<FeatureClass> Open(FeatureWorkspace* ws, const char* name) {
  com::ComPtr<FeatureClass> fc;
  EXPECT_EQ(ws->OpenFeatureClass(com::BStr(name).get(), fc.put()), S_OK) << name;
  return fc;
}

com::ComPtr<Feature> First(FeatureClass* fc, bool update = false) {
  com::ComPtr<FeatureCursor> cursor;
  update ? fc->Update(VARIANT_FALSE, cursor.put()) : fc->Search(VARIANT_TRUE, cursor.put());
  com::ComPtr<Feature> f;
  cursor->NextFeature(f.put());
  return f;
}

TEST_F(FeatureTest, ReadsShapesFieldsAndValues) {
  WriteShapefile(Path("points.shp"), wkbPoint, {"POINT (1 2)", "POINT (3 4)"});
  WriteShapefile(Path("lines.shp"), wkbLineString,
                 {"MULTILINESTRING ((0 0,1 1,2 0),(10 10,11 10))", "LINESTRING (5 5,6 6)"});
  WriteShapefile(Path("polys.shp"), wkbPolygon, {"POLYGON ((0 0,0 10,10 10,10 0,0 0),(4 4,6 4,6 6,4 6,4 4))"});
  auto ws = OpenWorkspace<FeatureWorkspace>(CLSID_ShapefileWorkspaceFactory, dir_.string());
  ASSERT_TRUE(ws);
  struct Expect {
    const char* name;
    LONG type;
    LONG count;
  } expects[] = {{"points", kGeometryPoint, 2}, {"lines.shp", kGeometryPolyline, 2}, {"polys", kGeometryPolygon, 1}};
  for (const Expect& e : expects) {
    SCOPED_TRACE(e.name);
    auto fc = Open(ws.get(), e.name);
    ASSERT_TRUE(fc);
    LONG type = 0, count = 0;
    fc->get_ShapeType(&type);
    fc->FeatureCount(&count);
    EXPECT_EQ(type, e.type);
    EXPECT_EQ(count, e.count);
    com::ComPtr<Fields> fields;
    fc->get_Fields(fields.put());
    LONG n = 0;
    fields->get_FieldCount(&n);
    ASSERT_EQ(n, 4);
    const std::pair<const char*, LONG> columns[] = {{"FID", kFieldOID}, {"Shape", kFieldGeometry}, {"ID", kFieldInteger}, {"NAME", kFieldString}};
    for (LONG i = 0; i < 4; ++i) {
      com::ComPtr<Field> f;
      fields->get_Field(i, f.put());
      com::BStr name;
      LONG code = 0;
      f->get_Name(name.put());
      f->get_Type(&code);
      EXPECT_EQ(name.utf8(), columns[i].first);
      EXPECT_EQ(code, columns[i].second);
    }
    LONG index = 0;
    fc->FindField(com::BStr("name").get(), &index);
    EXPECT_EQ(index, 3);
    auto first = First(fc.get());
    com::Variant id, text;
    first->get_Value(2, id.put());
    first->get_Value(3, text.put());
    EXPECT_EQ(id.vt(), VT_I4);
    EXPECT_EQ(text.ToUtf8(), "f1");
  }

  // The segments of a two-part polyline, part by part.
  com::ComPtr<Geometry> shape;
  First(Open(ws.get(), "lines").get())->get_ShapeCopy(shape.put());
  auto segments = shape.query<SegmentCollection>();
  ASSERT_TRUE(segments);
  LONG count = 0;
  segments->get_SegmentCount(&count);
  ASSERT_EQ(count, 3);
  com::ComPtr<Segment> third;
  segments->get_Segment(2, third.put());
  com::ComPtr<Point> from;
  third->get_FromPoint(from.put());
  double x = 0;
  from->get_X(&x);
  EXPECT_EQ(x, 10);

  // Containment is strict: boundary and hole are outside.
  com::ComPtr<Geometry> polygonShape;
  First(Open(ws.get(), "polys").get())->get_Shape(polygonShape.put());
  auto polygon = polygonShape.query<Polygon>();
  ASSERT_TRUE(polygon);
  const struct {
    double x, y;
    bool inside;
  } points[] = {{1, 1, true}, {0, 5, false}, {10, 10, false}, {5, 5, false}, {4, 5, false}, {11, 5, false}, {3, 9, true}};
  for (const auto& p : points) {
    VARIANT_BOOL inside = 7;
    polygon->Contains(gis::MakePoint(p.x, p.y).get(), &inside);
    EXPECT_EQ(inside == VARIANT_TRUE, p.inside) << p.x << "," << p.y;
  }
}

TEST_F(FeatureTest, CursorsUpdateAndInsert) {
  WriteShapefile(Path("pts.shp"), wkbPoint, {"POINT (1 2)", "POINT (3 4)"});
  auto ws = OpenWorkspace<FeatureWorkspace>(CLSID_ShapefileWorkspaceFactory, dir_.string());
  {
    auto fc = Open(ws.get(), "pts");
    auto field = com::CreateInstance<Field>(CLSID_Field);
    field->put_Name(com::BStr("VALUE").get());
    field->put_Type(kFieldDouble);
    ASSERT_EQ(fc->AddField(field.get()), S_OK);
    LONG index = -1;
    fc->FindField(com::BStr("VALUE").get(), &index);
    ASSERT_EQ(index, 4);
    com::ComPtr<FeatureCursor> cursor;
    fc->Update(VARIANT_FALSE, cursor.put());
    double v = 0.5;
    for (com::ComPtr<Feature> f; cursor->NextFeature(f.put()) == S_OK && f; v += 1) {
      EXPECT_EQ(f->put_Value(index, com::Variant::R8(v).get()), S_OK);
      // An integer column takes a real rounded half to even; text is refused unchanged.
      EXPECT_EQ(f->put_Value(2, com::Variant::R8(2.5).get()), S_OK);
      EXPECT_EQ(f->put_Value(2, com::Variant::String("many").get()), DISP_E_TYPEMISMATCH);
      EXPECT_EQ(cursor->UpdateFeature(f.get()), S_OK);
    }
  }
  auto fc = Open(ws.get(), "pts");
  com::Variant value, id;
  auto f = First(fc.get());
  f->get_Value(4, value.put());
  f->get_Value(2, id.put());
  double d = 0;
  value.ToDouble(&d);
  EXPECT_EQ(d, 0.5);
  std::int32_t i = 0;
  id.ToInt32(&i);
  EXPECT_EQ(i, 2);

  // A new class of the same fields, filled through an insert cursor.
  com::ComPtr<Fields> fields;
  fc->get_Fields(fields.put());
  com::ComPtr<FeatureClass> copy;
  ASSERT_EQ(ws->CreateFeatureClass(com::BStr("copy").get(), fields.get(), nullptr, nullptr, kFeatureTypeSimple,
                                   com::BStr("Shape").get(), com::BStr("").get(), copy.put()),
            S_OK);
  com::ComPtr<InsertCursor> insert;
  copy->Insert(VARIANT_TRUE, insert.put());
  com::ComPtr<FeatureBuffer> buffer;
  copy->CreateFeatureBuffer(buffer.put());
  for (int k = 0; k < 3; ++k) {
    buffer->putref_Shape(gis::MakePoint(k, k).get());
    buffer->put_Value(4, com::Variant::R8(k * 1.5).get());
    EXPECT_EQ(insert->InsertFeature(buffer.get(), nullptr), S_OK);
  }
  EXPECT_EQ(insert->Flush(), S_OK);
  insert.reset();
  copy.reset();
  LONG count = 0;
  Open(ws.get(), "copy")->FeatureCount(&count);
  EXPECT_EQ(count, 3);
}

TEST_F(FeatureTest, RefusalsLeaveTheFilesAsTheyWere) {
  WriteShapefile(Path("keep.shp"), wkbPoint, {"POINT (1 2)"});
  const std::string dbf = Bytes(Path("keep.dbf")), shp = Bytes(Path("keep.shp"));
  auto ws = OpenWorkspace<FeatureWorkspace>(CLSID_ShapefileWorkspaceFactory, dir_.string());
  {
    auto fc = Open(ws.get(), "keep");
    for (const char* name : {"ELEVENCHARS", "ID", ""}) {
      auto field = com::CreateInstance<Field>(CLSID_Field);
      field->put_Name(com::BStr(name).get());
      field->put_Type(kFieldInteger);
      EXPECT_TRUE(FAILED(fc->AddField(field.get()))) << name;
    }
    com::ComPtr<Fields> fields;
    fc->get_Fields(fields.put());
    com::ComPtr<FeatureClass> again;
    EXPECT_EQ(ws->CreateFeatureClass(com::BStr("keep").get(), fields.get(), nullptr, nullptr, kFeatureTypeSimple,
                                     com::BStr("Shape").get(), com::BStr("").get(), again.put()),
              GIS_E_EXISTS);
  }
  EXPECT_EQ(Bytes(Path("keep.dbf")), dbf);
  EXPECT_EQ(Bytes(Path("keep.shp")), shp);
  HRESULT hr = S_OK;
  EXPECT_FALSE(OpenWorkspace<FeatureWorkspace>(CLSID_ShapefileWorkspaceFactory, Path("nowhere"), &hr));
  EXPECT_EQ(hr, GIS_E_NOTFOUND);
  com::ComPtr<FeatureClass> none;
  EXPECT_EQ(ws->OpenFeatureClass(com::BStr("absent").get(), none.put()), GIS_E_NOTFOUND);
}

TEST_F(FeatureTest, AProjectedPointLandsWherePROJSaysAndRelabelingMovesNothing) {
  auto wgs84 = gis::SpatialReferenceFromEpsg(4326);
  auto utm = gis::SpatialReferenceFromEpsg(32633);
  auto point = gis::MakePoint(16.25, 45.5, wgs84.get());
  ASSERT_EQ(point->Project(utm.get()), S_OK);
  OGRSpatialReference from, to;
  from.importFromEPSG(4326);
  to.importFromEPSG(32633);
  from.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  to.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  std::unique_ptr<OGRCoordinateTransformation> ct(OGRCreateCoordinateTransformation(&from, &to));
  double ex = 16.25, ey = 45.5;
  ct->Transform(1, &ex, &ey);
  double x = 0, y = 0;
  point->get_X(&x);
  point->get_Y(&y);
  EXPECT_NEAR(x, ex, 1e-6);
  EXPECT_NEAR(y, ey, 1e-6);
  EXPECT_GT(x, 500000);  // east of the zone's central meridian
  point->putref_SpatialReference(wgs84.get());
  double x2 = 0;
  point->get_X(&x2);
  EXPECT_EQ(x2, x);
  VARIANT_BOOL projected = VARIANT_FALSE;
  utm->IsProjected(&projected);
  EXPECT_EQ(projected, VARIANT_TRUE);
  com::BStr unit;
  double meters = 0;
  EXPECT_EQ(utm->LinearUnit(unit.put(), &meters), S_OK);
  EXPECT_EQ(unit.utf8(), "metre");
  EXPECT_EQ(meters, 1.0);
  EXPECT_TRUE(FAILED(wgs84->LinearUnit(unit.put(), &meters)));
}

}  // namespace
