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
    f.SetField("NAME", std::string("f").append(std::to_string(n++)).c_str());
    OGRGeometry* g = nullptr;
    OGRGeometryFactory::createFromWkt(wkt.c_str(), nullptr, &g);
    f.SetGeometryDirectly(g);
    EXPECT_EQ(layer->CreateFeature(&f), OGRERR_NONE);
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

// A point shapefile of one feature whose table has these integer columns, holding 10, 20, ...
void WriteTable(const std::string& path, const std::vector<std::string>& columns) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  GDALDatasetUniquePtr ds(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  ASSERT_TRUE(ds);
  OGRLayer* layer = ds->CreateLayer("t", nullptr, wkbPoint, nullptr);
  for (const std::string& column : columns) {
    OGRFieldDefn field(column.c_str(), OFTInteger);
    ASSERT_EQ(layer->CreateField(&field), OGRERR_NONE);
  }
  OGRFeature f(layer->GetLayerDefn());
  for (std::size_t i = 0; i < columns.size(); ++i) f.SetField(static_cast<int>(i), 10 * static_cast<int>(i + 1));
  OGRPoint point(1, 2);
  f.SetGeometry(&point);
  ASSERT_EQ(layer->CreateFeature(&f), OGRERR_NONE);
}

// A table's column keeps its name, and a lookup by it finds its values, when the name is
// that of one of the library's own fields (a column FID or fid is common in converted
// files): the object id or the shape field then takes another name, so that every name
// of a class's fields finds one field.
TEST_F(FeatureTest, ATableColumnKeepsTheNameOfTheLibrarysOwnFields) {
  const struct {
    std::vector<std::string> columns;
    std::vector<std::string> fields;  // as the class lists them
  } cases[] = {
      {{"ID"}, {"FID", "Shape", "ID"}},
      {{"FID"}, {"OID", "Shape", "FID"}},
      {{"fid", "OID"}, {"FID_1", "Shape", "fid", "OID"}},
      {{"SHAPE", "Geometry"}, {"FID", "Shape_1", "SHAPE", "Geometry"}},
  };
  auto ws = OpenWorkspace<FeatureWorkspace>(CLSID_ShapefileWorkspaceFactory, dir_.string());
  char name[] = "t0";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fields[2]);
    ++name[1];  // a file of its own for each case
    WriteTable(Path(std::string(name) + ".shp"), c.columns);
    auto fc = Open(ws.get(), name);
    ASSERT_TRUE(fc);
    com::ComPtr<Fields> fields;
    ASSERT_EQ(fc->get_Fields(fields.put()), S_OK);
    std::vector<std::string> names;
    LONG count = 0;
    fields->get_FieldCount(&count);
    for (LONG i = 0; i < count; ++i) {
      com::ComPtr<Field> field;
      com::BStr text;
      fields->get_Field(i, field.put());
      field->get_Name(text.put());
      names.push_back(text.utf8());
    }
    EXPECT_EQ(names, c.fields);
    com::BStr shapeField;
    fc->get_ShapeFieldName(shapeField.put());
    EXPECT_EQ(shapeField.utf8(), c.fields[1]);
    auto first = First(fc.get());
    for (std::size_t i = 0; i < c.fields.size(); ++i) {
      LONG index = -1;
      fc->FindField(com::BStr(c.fields[i]).get(), &index);
      EXPECT_EQ(index, static_cast<LONG>(i)) << c.fields[i];
      if (i < 2) continue;
      com::Variant value;
      first->get_Value(index, value.put());
      double v = 0;
      EXPECT_TRUE(SUCCEEDED(value.ToDouble(&v)) && v == 10.0 * static_cast<double>(i - 1)) << c.fields[i];
    }
  }
}

TEST(ShapefilePathTest, AShpIsNotDoubledAndAnyOtherExtensionStaysPartOfTheName) {
  const struct {
    const char* name;
    const char* path;
  } cases[] = {{"grid", "out/grid.shp"},   {"grid.shp", "out/grid.shp"}, {"G.SHP", "out/G.SHP"},
               {"grid.tif", "out/grid.tif.shp"}, {"a.b", "out/a.b.shp"}};
  for (const auto& c : cases) EXPECT_EQ(gis::ShapefilePath("out", c.name), c.path) << c.name;
}

// A shapefile and a GeoTIFF of one coordinate system are in the same system, though GDAL
// may keep the order of their axes differently (a geographic system known by no code).
TEST_F(FeatureTest, AClassIsFoundByNameWhateverTheCaseOfItsExtension) {
  WriteShapefile(Path("ROADS.shp"), wkbLineString, {"LINESTRING (0 0,1 1)"});
  for (const char* ext : {"shp", "shx", "dbf", "prj"})  // GDAL writes lower-case extensions
    std::filesystem::rename(Path("ROADS.") + ext, Path("ROADS.") + std::string(ext == std::string("shp") ? "SHP" : ext));
  auto ws = OpenWorkspace<FeatureWorkspace>(CLSID_ShapefileWorkspaceFactory, dir_.string());
  auto fc = Open(ws.get(), "ROADS");
  ASSERT_TRUE(fc);
  com::BStr name;
  fc->get_Name(name.put());
  EXPECT_EQ(name.utf8(), "ROADS");
  EXPECT_EQ(gis::FindShapefile(dir_.string(), "ROADS"), Path("ROADS.SHP"));
  EXPECT_EQ(gis::FindShapefile(dir_.string(), "roads"), Path("roads.shp"));  // the stem's case counts
}

TEST_F(FeatureTest, TheSameSystemReadFromAShapefileAndAGeoTiffIsTheSame) {
  OGRSpatialReference grs80;
  ASSERT_EQ(grs80.SetFromUserInput("GEOGCS[\"GRS 1980(IUGG, 1980)\",DATUM[\"D_unknown\",SPHEROID[\"GRS80\",6378137,"
                                   "298.257222101]],PRIMEM[\"Greenwich\",0],UNIT[\"Degree\",0.0174532925199433]]"),
            OGRERR_NONE);
  {
    GDALDatasetUniquePtr shp(GetGDALDriverManager()->GetDriverByName("ESRI Shapefile")->Create(
        Path("areas.shp").c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    ASSERT_TRUE(shp && shp->CreateLayer("areas", &grs80, wkbPolygon, nullptr));
  }
  GDALDatasetUniquePtr shp(GDALDataset::Open(Path("areas.shp").c_str(), GDAL_OF_VECTOR));
  ASSERT_TRUE(shp);
  const OGRSpatialReference* polygons = shp->GetLayer(0)->GetSpatialRef();
  ASSERT_NE(polygons, nullptr);
  OGRSpatialReference utm33, utm34;
  utm33.importFromEPSG(32633);
  utm34.importFromEPSG(32634);
  const auto tiff = [&](const char* name, const OGRSpatialReference* srs) {
    {
      GDALDatasetUniquePtr made(
          GetGDALDriverManager()->GetDriverByName("GTiff")->Create(Path(name).c_str(), 1, 1, 1, GDT_Byte, nullptr));
      double gt[6] = {-35, 0.1, 0, -8, 0, -0.1};
      EXPECT_EQ(made->SetGeoTransform(gt), CE_None);
      if (srs) {
        EXPECT_EQ(made->SetSpatialRef(srs), CE_None);
      }
    }
    return GDALDatasetUniquePtr(GDALDataset::Open(Path(name).c_str(), GDAL_OF_RASTER));
  };
  const auto burnt = tiff("burnt.tif", polygons), north = tiff("utm33.tif", &utm33), none = tiff("none.tif", nullptr);
  const struct {
    const char* what;
    const OGRSpatialReference *a, *b;
    bool same;
  } cases[] = {
      {"shapefile and GeoTIFF", polygons, burnt->GetSpatialRef(), true},
      {"GeoTIFF and its code", north->GetSpatialRef(), &utm33, true},
      {"two zones", &utm33, &utm34, false},
      {"a system and none", polygons, none->GetSpatialRef(), false},
      {"none and none", none->GetSpatialRef(), nullptr, true},
  };
  for (const auto& c : cases) EXPECT_EQ(gis::SameCoordinateSystem(c.a, c.b), c.same) << c.what;
}

// A shapefile named by its file name alone lies in the current directory.
TEST_F(FeatureTest, ABareFileNameLiesInTheCurrentDirectory) {
  WriteShapefile(Path("sites.shp"), wkbPoint, {"POINT (1 2)"});
  const gistest::InDirectory here(dir_);
  auto fc = gis::OpenFeatureFile("sites.shp");
  ASSERT_TRUE(fc);
  com::BStr directory, name;
  ASSERT_EQ(fc->get_WorkspacePath(directory.put()), S_OK);
  ASSERT_EQ(fc->get_Name(name.put()), S_OK);
  HRESULT hr = E_FAIL;
  auto there = OpenWorkspace<FeatureWorkspace>(CLSID_ShapefileWorkspaceFactory, directory.utf8(), &hr);
  EXPECT_EQ(hr, S_OK) << "'" << directory.utf8() << "'";
  ASSERT_TRUE(there);
  EXPECT_TRUE(Open(there.get(), name.utf8().c_str()));
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

// An update cursor over more features than it writes at once: every value reaches the
// file, each in its own feature, and the shapes stay as they were.
TEST_F(FeatureTest, AnUpdateCursorWritesEveryFeatureItWasGiven) {
  std::vector<std::string> wkts;
  for (int k = 0; k < 10001; ++k) wkts.push_back("POINT (" + std::to_string(k) + " 7)");
  WriteShapefile(Path("many.shp"), wkbPoint, wkts);
  auto ws = OpenWorkspace<FeatureWorkspace>(CLSID_ShapefileWorkspaceFactory, dir_.string());
  {
    auto fc = Open(ws.get(), "many");
    com::ComPtr<FeatureCursor> cursor;
    ASSERT_EQ(fc->Update(VARIANT_FALSE, cursor.put()), S_OK);
    for (com::ComPtr<Feature> f; cursor->NextFeature(f.put()) == S_OK && f;) {
      LONG id = 0;
      f->get_OID(&id);
      if (id % 3 == 0) continue;  // left as it is
      ASSERT_EQ(f->put_Value(2, com::Variant::I4(-id).get()), S_OK);
      ASSERT_EQ(cursor->UpdateFeature(f.get()), S_OK);
    }
  }
  GDALDatasetUniquePtr ds(GDALDataset::Open(Path("many.shp").c_str(), GDAL_OF_VECTOR));
  ASSERT_TRUE(ds);
  int checked = 0;
  for (auto& f : *ds->GetLayer(0)) {
    const GIntBig id = f->GetFID();
    EXPECT_EQ(f->GetFieldAsInteger("ID"), id % 3 == 0 ? id + 1 : -id) << id;
    EXPECT_EQ(f->GetGeometryRef()->toPoint()->getX(), static_cast<double>(id)) << id;
    ++checked;
  }
  EXPECT_EQ(checked, 10001);
}

com::ComPtr<Field> NewField(const char* name, LONG type) {
  auto field = com::CreateInstance<Field>(CLSID_Field);
  field->put_Name(com::BStr(name).get());
  field->put_Type(type);
  return field;
}

TEST_F(FeatureTest, ValuesAreConvertedAsTheColumnRequires) {
  WriteShapefile(Path("pts.shp"), wkbPoint, {"POINT (1 2)"});
  auto ws = OpenWorkspace<FeatureWorkspace>(CLSID_ShapefileWorkspaceFactory, dir_.string());
  {
    auto fc = Open(ws.get(), "pts");
    for (auto [name, type] : {std::pair{"COUNT", kFieldInteger}, {"SMALL", kFieldSmallInteger}, {"REAL", kFieldDouble}})
      ASSERT_EQ(fc->AddField(NewField(name, type).get()), S_OK) << name;
  }
  // Each case writes one value into a column that holds 4, then reads the column back
  // from the reopened file. Columns: 2 ID, 3 NAME, 4 COUNT, 5 SMALL, 6 REAL.
  const struct Case {
    const char* what;
    LONG column;
    com::Variant value;
    HRESULT result;
    VARTYPE vt;
    const char* stored;
  } cases[] = {
      {"real into the library's integer column rounds", 4, com::Variant::R8(2.7), S_OK, VT_I4, "3"},
      {"half to even", 4, com::Variant::R8(2.5), S_OK, VT_I4, "2"},
      {"text of a number", 4, com::Variant::String("12"), S_OK, VT_I4, "12"},
      {"text that is no number", 4, com::Variant::String("many"), DISP_E_TYPEMISMATCH, VT_I4, "4"},
      {"too large", 4, com::Variant::R8(1e20), DISP_E_OVERFLOW, VT_I4, "4"},
      {"small integer column", 5, com::Variant::R8(-7.5), S_OK, VT_I4, "-8"},
      {"integer into a real column", 6, com::Variant::I4(7), S_OK, VT_R8, "7"},
      {"real into text", 3, com::Variant::R8(1.5), S_OK, VT_BSTR, "1.5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      auto fc = Open(ws.get(), "pts");
      com::ComPtr<FeatureCursor> cursor;
      fc->Update(VARIANT_FALSE, cursor.put());
      com::ComPtr<Feature> f;
      cursor->NextFeature(f.put());
      ASSERT_EQ(f->put_Value(c.column, com::Variant::I4(4).get()), S_OK);
      EXPECT_EQ(f->put_Value(c.column, c.value.get()), c.result);
      ASSERT_EQ(cursor->UpdateFeature(f.get()), S_OK);
    }
    com::Variant stored;
    First(Open(ws.get(), "pts").get())->get_Value(c.column, stored.put());
    EXPECT_EQ(stored.vt(), c.vt);
    com::Variant text;
    ASSERT_EQ(VariantChangeType(text.put(), &stored.get(), 0, VT_BSTR), S_OK);
    EXPECT_EQ(text.ToUtf8(), c.stored);
  }
}

TEST_F(FeatureTest, FeaturesHeldAcrossAnAddedColumnTakeItAndForeignOnesAreRefused) {
  WriteShapefile(Path("pts.shp"), wkbPoint, {"POINT (1 2)", "POINT (3 4)"});
  WriteShapefile(Path("lines.shp"), wkbLineString, {"LINESTRING (0 0,1 1)"});
  auto ws = OpenWorkspace<FeatureWorkspace>(CLSID_ShapefileWorkspaceFactory, dir_.string());
  {
    auto fc = Open(ws.get(), "pts");
    com::ComPtr<FeatureBuffer> buffer;
    fc->CreateFeatureBuffer(buffer.put());
    com::ComPtr<FeatureCursor> cursor;
    fc->Update(VARIANT_FALSE, cursor.put());
    com::ComPtr<Feature> held;
    cursor->NextFeature(held.put());
    ASSERT_EQ(fc->AddField(NewField("EXTRA", kFieldDouble).get()), S_OK);
    EXPECT_EQ(held->put_Value(4, com::Variant::R8(1.5).get()), S_OK);
    EXPECT_EQ(cursor->UpdateFeature(held.get()), S_OK);
    buffer->putref_Shape(gis::MakePoint(5, 6).get());
    EXPECT_EQ(buffer->put_Value(4, com::Variant::R8(2.5).get()), S_OK);
    com::ComPtr<InsertCursor> insert;
    fc->Insert(VARIANT_TRUE, insert.put());
    EXPECT_EQ(insert->InsertFeature(buffer.get(), nullptr), S_OK);

    // A feature or buffer of another class is not written into this one.
    auto lines = Open(ws.get(), "lines");
    com::ComPtr<FeatureBuffer> foreign;
    lines->CreateFeatureBuffer(foreign.put());
    EXPECT_EQ(insert->InsertFeature(foreign.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(cursor->UpdateFeature(First(lines.get()).get()), E_INVALIDARG);
  }
  auto fc = Open(ws.get(), "pts");
  LONG count = 0;
  fc->FeatureCount(&count);
  EXPECT_EQ(count, 3);
  com::ComPtr<FeatureCursor> cursor;
  fc->Search(VARIANT_FALSE, cursor.put());
  std::vector<std::string> rows;
  for (com::ComPtr<Feature> f; cursor->NextFeature(f.put()) == S_OK && f;) {
    com::Variant name, extra;
    f->get_Value(3, name.put());
    f->get_Value(4, extra.put());
    double v = -1;
    extra.ToDouble(&v);
    rows.push_back(name.ToUtf8() + "=" + (extra.vt() == VT_NULL ? "null" : std::to_string(v)));
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"f1=1.500000", "f2=null", "=2.500000"}));
}

TEST_F(FeatureTest, ACopyOfAClassKeepsItsColumnWidths) {
  // Columns as other programs write them: a long text and a wide real.
  {
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    std::unique_ptr<GDALDataset> ds(driver->Create(Path("wide.shp").c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRLayer* layer = ds->CreateLayer("wide", nullptr, wkbPoint, nullptr);
    OGRFieldDefn text("NOTE", OFTString);
    text.SetWidth(200);
    OGRFieldDefn real("LENGTH", OFTReal);
    real.SetWidth(24);
    real.SetPrecision(15);
    ASSERT_EQ(layer->CreateField(&text), OGRERR_NONE);
    ASSERT_EQ(layer->CreateField(&real), OGRERR_NONE);
  }
  const std::string note(180, 'n');
  auto ws = OpenWorkspace<FeatureWorkspace>(CLSID_ShapefileWorkspaceFactory, dir_.string());
  {
    com::ComPtr<Fields> fields;
    Open(ws.get(), "wide")->get_Fields(fields.put());
    com::ComPtr<FeatureClass> copy;
    ASSERT_EQ(ws->CreateFeatureClass(com::BStr("copy").get(), fields.get(), nullptr, nullptr, kFeatureTypeSimple,
                                     com::BStr("Shape").get(), com::BStr("").get(), copy.put()),
              S_OK);
    com::ComPtr<FeatureBuffer> buffer;
    copy->CreateFeatureBuffer(buffer.put());
    buffer->putref_Shape(gis::MakePoint(1, 1).get());
    ASSERT_EQ(buffer->put_Value(2, com::Variant::String(note).get()), S_OK);
    ASSERT_EQ(buffer->put_Value(3, com::Variant::R8(123456789.125).get()), S_OK);
    com::ComPtr<InsertCursor> insert;
    copy->Insert(VARIANT_TRUE, insert.put());
    ASSERT_EQ(insert->InsertFeature(buffer.get(), nullptr), S_OK);
  }
  auto f = First(Open(ws.get(), "copy").get());
  com::Variant text, length;
  f->get_Value(2, text.put());
  f->get_Value(3, length.put());
  EXPECT_EQ(text.ToUtf8(), note);
  double v = 0;
  length.ToDouble(&v);
  EXPECT_EQ(v, 123456789.125);
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
  std::ofstream(Path("corrupt.shp")) << "not a shapefile at all";
  EXPECT_EQ(ws->OpenFeatureClass(com::BStr("corrupt").get(), none.put()), GIS_E_IO);

  // A new class that cannot be made as asked leaves no files behind.
  const auto create = [&](LONG geometryType, const char* column) {
    auto fields = com::CreateInstance<Fields>(CLSID_Fields);
    auto shape = NewField("Shape", kFieldGeometry);
    auto def = com::CreateInstance<GeometryDef>(CLSID_GeometryDef);
    def->put_GeometryType(geometryType);
    shape->putref_GeometryDef(def.get());
    fields->AddField(shape.get());
    fields->AddField(NewField(column, kFieldInteger).get());
    com::ComPtr<FeatureClass> fc;
    return ws->CreateFeatureClass(com::BStr("fresh").get(), fields.get(), nullptr, nullptr, kFeatureTypeSimple,
                                  com::BStr("Shape").get(), com::BStr("").get(), fc.put());
  };
  EXPECT_EQ(create(kGeometryPoint, "ELEVENCHARS"), GIS_E_BADNAME);
  EXPECT_EQ(create(kGeometryEnvelope, "ID"), GIS_E_UNSUPPORTED);
  for (const auto& entry : std::filesystem::directory_iterator(dir_))
    EXPECT_NE(entry.path().stem(), "fresh") << entry.path();
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
