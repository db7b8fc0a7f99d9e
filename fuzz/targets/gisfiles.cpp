#include <gdal_priv.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "com/bstr.h"
#include "com/ptr.h"
#include "com/variant.h"
#include "fuzz/targets/fuzzinput.h"
#include "gis/gis.h"
#include "hostapp/layers.h"

namespace plenthfuzz {

namespace {

// Blocks are read at most this many cells on a side, so that a header may claim any size.
constexpr LONG kBlockSide = 64;

void ReadBlock(RawPixels* pixels, double column, double row, LONG width, LONG height) {
  com::ComPtr<PixelBlock> block;
  if (FAILED(pixels->CreatePixelBlock(gis::MakeXYPair(width, height).get(), block.put())) || !block) return;
  if (FAILED(pixels->Read(gis::MakeXYPair(column, row).get(), block.get()))) return;
  com::ComPtr<CellArray> cells;
  if (FAILED(block->GetPlane(0, cells.put())) || !cells) return;
  LONG w = 0, h = 0, type = 0;
  void* data = nullptr;
  cells->get_Width(&w);
  cells->get_Height(&h);
  cells->get_PixelType(&type);
  if (FAILED(cells->Data(&data)) || !data || w < 0 || h < 0) return;
  // Every cell of the block is there to be read.
  const std::size_t cellBytes = type <= 4 ? 1 : type <= 6 ? 2 : type <= 9 ? 4 : 8;
  const auto* bytes = static_cast<const unsigned char*>(data);
  const std::vector<unsigned char> copy(bytes, bytes + static_cast<std::size_t>(w) * h * cellBytes);
}

// Whether GDAL would have to hold more than 256 MB to hand out one cell. It reads a whole
// block first, of every band when the file interleaves them cell by cell, at the size the
// header claims: that allocation is GDAL's own, not something this library can change.
bool BlocksTooLarge(const std::string& path) {
  GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
  if (!dataset || dataset->GetRasterCount() < 1) return false;
  GDALRasterBand* band = dataset->GetRasterBand(1);
  int width = 0, height = 0;
  band->GetBlockSize(&width, &height);
  const char* interleave = dataset->GetMetadataItem("INTERLEAVE", "IMAGE_STRUCTURE");
  const double bands = interleave && std::strcmp(interleave, "PIXEL") == 0 ? dataset->GetRasterCount() : 1;
  return static_cast<double>(width) * height * bands * GDALGetDataTypeSizeBytes(band->GetRasterDataType()) >
         256.0 * 1024 * 1024;
}

}  // namespace

void RasterFile(const std::uint8_t* data, std::size_t size) {
  gis::Initialize();
  const std::string path = ScratchDirectory() + "/raster.tif";
  WriteFile(path, data, size);
  if (BlocksTooLarge(path)) return;
  auto dataset = gis::OpenRasterFile(path);
  if (!dataset) return;
  auto bands = dataset.query<RasterBandCollection>();
  LONG count = 0;
  if (!bands || FAILED(bands->get_Count(&count))) return;
  for (LONG b = 0; b < std::min<LONG>(count, 4); ++b) {
    com::ComPtr<RasterBand> band;
    if (FAILED(bands->Item(b, band.put())) || !band) continue;
    auto props = band.query<RasterProps>();
    LONG width = 0, height = 0, type = 0;
    if (props) {
      props->get_Width(&width);
      props->get_Height(&height);
      props->get_PixelType(&type);
      com::Variant nodata;
      props->get_NoDataValue(nodata.put());
      com::ComPtr<XYPair> cell;
      props->get_MeanCellSize(cell.put());
      com::ComPtr<Envelope> extent;
      props->get_Extent(extent.put());
      com::ComPtr<SpatialReference> reference;
      props->get_SpatialReference(reference.put());
    }
    auto pixels = band.query<RawPixels>();
    if (!pixels || width <= 0 || height <= 0) continue;
    const LONG w = std::min(width, kBlockSide), h = std::min(height, kBlockSide);
    ReadBlock(pixels.get(), 0, 0, w, h);
    ReadBlock(pixels.get(), width - 1, height - 1, w, h);  // mostly past the last row and column
  }
  // Identify at the middle of the extent, as a click on the map would.
  com::ComPtr<IdentifyResults> results;
  gis::IdentifyRaster(dataset.get(), gis::MakePoint(0.5, 0.5).get(), results.put());
  dataset.reset();
  try {
    hostapp::RasterLayerFromFile(path, "fuzz");
  } catch (const std::exception&) {
  }
}

// Three parts: two little-endian 16-bit lengths, then the .shp bytes, the .shx bytes and
// the rest as the .dbf.
void ShapeFile(const std::uint8_t* data, std::size_t size) {
  gis::Initialize();
  if (size < 4) return;
  const std::size_t shp = data[0] | (data[1] << 8), shx = data[2] | (data[3] << 8);
  if (4 + shp + shx > size) return;
  const std::string base = ScratchDirectory() + "/shapes";
  WriteFile(base + ".shp", data + 4, shp);
  WriteFile(base + ".shx", data + 4 + shp, shx);
  WriteFile(base + ".dbf", data + 4 + shp + shx, size - 4 - shp - shx);

  auto features = gis::OpenFeatureFile(base + ".shp");
  if (!features) return;
  LONG shapeType = 0, count = 0;
  features->get_ShapeType(&shapeType);
  features->FeatureCount(&count);
  com::ComPtr<Fields> fields;
  LONG fieldCount = 0;
  if (SUCCEEDED(features->get_Fields(fields.put())) && fields) {
    fields->get_FieldCount(&fieldCount);
    for (LONG i = 0; i < fieldCount; ++i) {
      com::ComPtr<Field> field;
      com::BStr name;
      if (SUCCEEDED(fields->get_Field(i, field.put())) && field) field->get_Name(name.put());
    }
  }
  com::ComPtr<FeatureCursor> cursor;
  if (FAILED(features->Search(VARIANT_FALSE, cursor.put())) || !cursor) return;
  int seen = 0;
  for (com::ComPtr<Feature> feature; seen < 256 && cursor->NextFeature(feature.put()) == S_OK && feature; ++seen) {
    for (LONG i = 0; i < fieldCount; ++i) {
      com::Variant value;
      feature->get_Value(i, value.put());
    }
    com::ComPtr<Geometry> shape;
    if (FAILED(feature->get_ShapeCopy(shape.put())) || !shape) continue;
    LONG type = 0;
    shape->get_GeometryType(&type);
    com::ComPtr<Envelope> envelope;
    shape->get_Envelope(envelope.put());
    if (auto segments = shape.query<SegmentCollection>()) {
      LONG n = 0;
      segments->get_SegmentCount(&n);
      for (LONG s = 0; s < std::min<LONG>(n, 1024); ++s) {
        com::ComPtr<Segment> segment;
        com::ComPtr<Point> from;
        if (SUCCEEDED(segments->get_Segment(s, segment.put())) && segment) segment->get_FromPoint(from.put());
      }
    }
    if (auto polygon = shape.query<Polygon>()) {
      VARIANT_BOOL inside = VARIANT_FALSE;
      polygon->Contains(gis::MakePoint(0, 0).get(), &inside);
    }
  }
  cursor.reset();
  features.reset();
  try {
    hostapp::FeatureLayerFromFile(base + ".shp", "fuzz");
  } catch (const std::exception&) {
  }
}

}  // namespace plenthfuzz
