#include "apps/plenth/sampledata.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace plenth::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kColumns = 300;
constexpr int kRows = 240;
constexpr double kCell = 30.0;
constexpr double kWest = 500000.0;   // UTM zone 33N, metres
constexpr double kNorth = 4107200.0;
constexpr int kEpsg = 32633;

// A small linear congruential generator, so that the data is the same everywhere.
class Lcg {
 public:
  explicit Lcg(std::uint32_t seed) : s_(seed) {}
  double Next() {  // in [0, 1)
    s_ = s_ * 1664525u + 1013904223u;
    return (s_ >> 8) / 16777216.0;
  }

 private:
  std::uint32_t s_;
};

struct Closer {
  void operator()(GDALDataset* d) const { GDALClose(d); }
};
using Dataset = std::unique_ptr<GDALDataset, Closer>;

double Elevation(int r, int c) {
  const double x = c / static_cast<double>(kColumns), y = r / static_cast<double>(kRows);
  return 850 + 320 * std::exp(-((x - 0.7) * (x - 0.7) + (y - 0.3) * (y - 0.3)) / 0.05) +
         140 * std::sin(6.0 * x) * std::cos(4.0 * y) - 180 * y;
}

// The stream follows the valley bottom; the trails cross the map.
bool OnStream(int r, int c) {
  const double centre = kColumns * (0.25 + 0.08 * std::sin(r / 17.0));
  return std::fabs(c - centre) < 1.0;
}
bool OnTrail(int r, int c) {
  return std::abs(r - (40 + c / 2)) < 1 || std::abs(c - (200 - r / 3)) < 1;
}
int GroundCover(int r, int c, double z) {
  if (OnStream(r, c)) return 1;  // open water: impassable
  if (z > 1000) return 7;        // rock
  if (z > 930) return 6;         // scrub
  if ((r / 20 + c / 25) % 5 == 0) return 2;
  if ((r / 30 + c / 15) % 7 == 0) return 9;
  return z > 800 ? 5 : 4;
}

Dataset CreateRaster(const fs::path& path, GDALDataType type, const OGRSpatialReference& srs) {
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
  fs::remove(path);
  Dataset ds(driver->Create(path.c_str(), kColumns, kRows, 1, type, nullptr));
  if (!ds) throw std::runtime_error("cannot create " + path.string());
  double transform[6] = {kWest, kCell, 0, kNorth, 0, -kCell};
  ds->SetGeoTransform(transform);
  ds->SetSpatialRef(&srs);
  return ds;
}

template <class T>
void WriteBand(GDALDataset& ds, std::vector<T>& cells, GDALDataType type, double nodata) {
  GDALRasterBand* band = ds.GetRasterBand(1);
  band->SetNoDataValue(nodata);
  if (band->RasterIO(GF_Write, 0, 0, kColumns, kRows, cells.data(), kColumns, kRows, type, 0, 0) != CE_None)
    throw std::runtime_error("cannot write a sample raster");
}

struct Vector {
  std::unique_ptr<GDALDataset> ds;
  OGRLayer* layer;
};

Vector CreateShapefile(const fs::path& path, OGRwkbGeometryType type, OGRSpatialReference& srs) {
  RemoveShapefile(path);
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  std::unique_ptr<GDALDataset> ds(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  if (!ds) throw std::runtime_error("cannot create " + path.string());
  OGRLayer* layer = ds->CreateLayer(path.stem().c_str(), &srs, type, nullptr);
  if (!layer) throw std::runtime_error("cannot create the layer of " + path.string());
  return {std::move(ds), layer};
}

void AddField(OGRLayer* layer, const char* name, OGRFieldType type) {
  OGRFieldDefn field(name, type);
  if (type == OFTString) field.SetWidth(32);
  layer->CreateField(&field);
}

void AddFeature(OGRLayer* layer, OGRFeature& feature) {
  if (layer->CreateFeature(&feature) != OGRERR_NONE) throw std::runtime_error("cannot write a sample feature");
}

double X(double c) { return kWest + c * kCell; }
double Y(double r) { return kNorth - r * kCell; }

}  // namespace

std::vector<SampleFile> WriteSampleData(const std::string& dirName) {
  GDALAllRegister();
  const fs::path dir(dirName);
  fs::create_directories(dir);
  OGRSpatialReference srs;
  srs.importFromEPSG(kEpsg);
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);

  std::vector<float> dem(kColumns * kRows);
  std::vector<std::uint8_t> trails(dem.size()), streams(dem.size()), cover(dem.size());
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c) {
      const std::size_t i = static_cast<std::size_t>(r) * kColumns + c;
      const double z = Elevation(r, c);
      dem[i] = (r < 6 && c < 6) ? -9999.0f : static_cast<float>(std::round(z * 10) / 10);
      trails[i] = OnTrail(r, c) ? 1 : 0;
      streams[i] = OnStream(r, c) ? 1 : 0;
      cover[i] = static_cast<std::uint8_t>(GroundCover(r, c, z));
    }
  std::vector<SampleFile> out;
  const auto raster = [&](const char* name, auto& cells, GDALDataType type, double nodata, const char* what) {
    const fs::path path = dir / name;
    auto ds = CreateRaster(path, type, srs);
    WriteBand(*ds, cells, type, nodata);
    out.push_back({path.string(), what});
  };
  raster("dem.tif", dem, GDT_Float32, -9999.0, "elevation, 300 x 240 cells of 30 m, FLOAT, UTM zone 33N");
  raster("trails.tif", trails, GDT_Byte, 0, "trail cells (1) on the DEM's grid, no-data 0");
  raster("streams.tif", streams, GDT_Byte, 0, "stream cells (1) on the DEM's grid, no-data 0");
  raster("groundcover.tif", cover, GDT_Byte, 255, "ground-cover classes 1, 2, 4, 5, 6, 7, 9 on the DEM's grid");

  {  // Polygons: study areas, one with a hole.
    const fs::path path = dir / "areas.shp";
    auto v = CreateShapefile(path, wkbPolygon, srs);
    AddField(v.layer, "ID", OFTInteger);
    AddField(v.layer, "NAME", OFTString);
    const struct {
      double c0, r0, c1, r1;
      const char* name;
      bool hole;
    } areas[] = {{20, 20, 120, 100, "north-west", false}, {150, 30, 280, 140, "summit", true},
                 {40, 140, 160, 220, "valley", false},    {190, 160, 290, 230, "south-east", false}};
    int id = 1;
    for (const auto& a : areas) {
      OGRPolygon polygon;
      OGRLinearRing outer;
      outer.addPoint(X(a.c0), Y(a.r0));
      outer.addPoint(X(a.c1), Y(a.r0 + 10));
      outer.addPoint(X(a.c1 - 5), Y(a.r1));
      outer.addPoint(X(a.c0 + 10), Y(a.r1 - 5));
      outer.closeRings();
      polygon.addRing(&outer);
      if (a.hole) {
        OGRLinearRing inner;
        const double cc = (a.c0 + a.c1) / 2, rc = (a.r0 + a.r1) / 2;
        inner.addPoint(X(cc - 15), Y(rc - 15));
        inner.addPoint(X(cc - 15), Y(rc + 15));
        inner.addPoint(X(cc + 15), Y(rc + 15));
        inner.addPoint(X(cc + 15), Y(rc - 15));
        inner.closeRings();
        polygon.addRing(&inner);
      }
      OGRFeature feature(v.layer->GetLayerDefn());
      feature.SetField("ID", id++);
      feature.SetField("NAME", a.name);
      feature.SetGeometry(&polygon);
      AddFeature(v.layer, feature);
    }
    out.push_back({path.string(), "4 polygons (one with a hole), fields ID and NAME"});
  }
  {  // Points: sample sites, a few of them off the DEM.
    const fs::path path = dir / "sites.shp";
    auto v = CreateShapefile(path, wkbPoint, srs);
    AddField(v.layer, "ID", OFTInteger);
    Lcg random(20261210);
    for (int id = 1; id <= 60; ++id) {
      const double c = random.Next() * (kColumns + 20) - 10, r = random.Next() * (kRows + 20) - 10;
      OGRPoint point(X(c), Y(r));
      OGRFeature feature(v.layer->GetLayerDefn());
      feature.SetField("ID", id);
      feature.SetGeometry(&point);
      AddFeature(v.layer, feature);
    }
    out.push_back({path.string(), "60 points, a few off the DEM, field ID"});
  }
  {  // Polylines: roads and fences, one of two parts.
    const fs::path path = dir / "roads.shp";
    auto v = CreateShapefile(path, wkbLineString, srs);
    AddField(v.layer, "ID", OFTInteger);
    AddField(v.layer, "NAME", OFTString);
    const auto line = [](std::initializer_list<std::pair<double, double>> cells) {
      auto l = std::make_unique<OGRLineString>();
      for (const auto& [c, r] : cells) l->addPoint(X(c), Y(r));
      return l;
    };
    const auto add = [&](int id, const char* name, OGRGeometry& g) {
      OGRFeature feature(v.layer->GetLayerDefn());
      feature.SetField("ID", id);
      feature.SetField("NAME", name);
      feature.SetGeometry(&g);
      AddFeature(v.layer, feature);
    };
    add(1, "ridge road", *line({{10, 200}, {80, 150}, {150, 120}, {230, 60}, {290, 40}}));
    add(2, "valley road", *line({{60, 10}, {70, 90}, {75, 180}, {90, 235}}));
    OGRMultiLineString fence;
    fence.addGeometryDirectly(line({{160, 180}, {200, 180}, {200, 220}}).release());
    fence.addGeometryDirectly(line({{220, 150}, {260, 190}}).release());
    add(3, "fence", fence);
    add(4, "north-south track", *line({{250, 0}, {250, 239}}));
    add(5, "east-west track", *line({{0, 120}, {299, 120}}));
    out.push_back({path.string(), "5 polylines (one of two parts), fields ID and NAME"});
  }
  {
    // The layers as one map, for the map application: the vectors over the DEM, the
    // rasters the effort surface reads in a group.
    const fs::path path = dir / "map.json";
    std::ofstream file(path);
    file << R"({"layers": [
  {"name": "sites", "path": "sites.shp"},
  {"name": "roads", "path": "roads.shp"},
  {"name": "areas", "path": "areas.shp"},
  {"name": "dem", "path": "dem.tif"},
  {"group": "effort inputs", "layers": [
    {"name": "trails", "path": "trails.tif"},
    {"name": "streams", "path": "streams.tif"},
    {"name": "groundcover", "path": "groundcover.tif"}]}
]}
)";
    if (!file.flush()) throw std::runtime_error("cannot write " + path.string());
    out.push_back({path.string(), "a map document of these layers, for plenth-map"});
  }
  return out;
}

void RemoveShapefile(const std::filesystem::path& shp) {
  for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".cpg"}) {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(shp).replace_extension(ext), ignored);
  }
}

}  // namespace plenth::cli
