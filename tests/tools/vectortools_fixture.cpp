#include "tests/tools/vectortools_fixture.h"

#include "data/processlog.h"
#include "host/command.h"

namespace vectortest {

void WriteShapefile(const fs::path& path, OGRwkbGeometryType type, const std::vector<Column>& columns,
                    const std::vector<Row>& rows, int epsg) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  GDALDatasetUniquePtr ds(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  ASSERT_TRUE(ds);
  OGRSpatialReference srs;
  srs.importFromEPSG(epsg);
  OGRLayer* layer = ds->CreateLayer(path.stem().c_str(), &srs, type, nullptr);
  ASSERT_NE(layer, nullptr);
  for (const Column& c : columns) {
    OGRFieldDefn field(c.name.c_str(), c.type);
    if (c.type == OFTString) field.SetWidth(20);
    ASSERT_EQ(layer->CreateField(&field), OGRERR_NONE);
  }
  for (const Row& row : rows) {
    OGRFeature feature(layer->GetLayerDefn());
    if (!row.wkt.empty()) {
      OGRGeometry* g = nullptr;
      ASSERT_EQ(OGRGeometryFactory::createFromWkt(row.wkt.c_str(), nullptr, &g), OGRERR_NONE) << row.wkt;
      feature.SetGeometryDirectly(g);
    }
    for (std::size_t i = 0; i < row.values.size(); ++i) {
      const int f = static_cast<int>(i);
      if (const auto* n = std::get_if<long long>(&row.values[i])) feature.SetField(f, static_cast<GIntBig>(*n));
      if (const auto* d = std::get_if<double>(&row.values[i])) feature.SetField(f, *d);
      if (const auto* s = std::get_if<std::string>(&row.values[i])) feature.SetField(f, s->c_str());
    }
    ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
  }
}

std::vector<Value> Table::Of(const std::string& column) const {
  std::vector<Value> out;
  std::size_t i = 0;
  while (i < columns.size() && columns[i] != column) ++i;
  EXPECT_LT(i, columns.size()) << "no column " << column;
  if (i == columns.size()) return out;
  for (const Row& row : rows) out.push_back(row.values[i]);
  return out;
}

Table ReadShapefile(const fs::path& path) {
  Table table;
  GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR));
  EXPECT_TRUE(ds) << path;
  if (!ds) return table;
  OGRLayer* layer = ds->GetLayer(0);
  OGRFeatureDefn* defn = layer->GetLayerDefn();
  for (int i = 0; i < defn->GetFieldCount(); ++i) {
    table.columns.push_back(defn->GetFieldDefn(i)->GetNameRef());
    table.types.push_back(defn->GetFieldDefn(i)->GetType());
  }
  for (auto& feature : *layer) {
    Row row;
    if (const OGRGeometry* g = feature->GetGeometryRef()) row.wkt = g->exportToWkt();
    for (int i = 0; i < defn->GetFieldCount(); ++i) {
      if (!feature->IsFieldSetAndNotNull(i)) {
        row.values.emplace_back();
        continue;
      }
      switch (defn->GetFieldDefn(i)->GetType()) {
        case OFTInteger:
        case OFTInteger64: row.values.emplace_back(static_cast<long long>(feature->GetFieldAsInteger64(i))); break;
        case OFTReal: row.values.emplace_back(feature->GetFieldAsDouble(i)); break;
        default: row.values.emplace_back(std::string(feature->GetFieldAsString(i)));
      }
    }
    table.rows.push_back(row);
  }
  return table;
}

Host::Host() {
  app = com::MakeObject<hostapp::HostApplicationImpl>();
  ext_ = com::MakeObject<plenth::PlenthExt>();
  ext_->SetState(kExtensionEnabled);
  app->AddExtension(CLSID_PlenthExt, ext_->Identity());
}

Host::~Host() {
  commands_.clear();
  plenth::CurrentApplication.reset();
  app->ClearExtensions();
}

void Host::AddLayer(const fs::path& file, const std::string& name) {
  app->document()->focusMap().AddLayer(hostapp::LayerFromFile(file.string(), name).get());
}

void Host::AddLayer(Layer* layer) { app->document()->focusMap().AddLayer(layer); }

void VectorToolsTest::SetUp() {
  gis::Initialize();
  hostapp::RegisterHostClasses();
  dir_ = fs::temp_directory_path() /
         ("plenth-vector-" + std::to_string(::getpid()) + "-" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(dir_);
  fs::create_directories(dir_);
  ua::TakeMessageBoxes();
}

void VectorToolsTest::TearDown() {
  EXPECT_TRUE(ua::TakeMessageBoxes().empty()) << "the tools show no message box";
  fs::remove_all(dir_);
}

}  // namespace vectortest
