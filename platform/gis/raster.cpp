#include "gis/raster.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>

#include "com/object.h"
#include "gis/geometry.h"
#include "gis/gis.h"

namespace gis::detail {
namespace {

namespace fs = std::filesystem;

// One open GDAL dataset, shared by the dataset object and its bands.
struct OpenDataset {
  GDALDatasetH handle = nullptr;
  std::string path;
  ~OpenDataset() {
    if (handle) GDALClose(handle);
  }
};
using DatasetRef = std::shared_ptr<OpenDataset>;

class CellArrayImpl final : public com::ComClass<CellArrayImpl, CellArray> {
 public:
  CellArrayImpl(LONG type, LONG width, LONG height)
      : type_(type), width_(width), height_(height),
        cells_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * CellBytes(type)) {}
  HRESULT get_PixelType(LONG* type) override {
    if (!type) return E_POINTER;
    *type = type_;
    return S_OK;
  }
  HRESULT get_Width(LONG* width) override {
    if (!width) return E_POINTER;
    *width = width_;
    return S_OK;
  }
  HRESULT get_Height(LONG* height) override {
    if (!height) return E_POINTER;
    *height = height_;
    return S_OK;
  }
  HRESULT Data(void** cells) override {
    if (!cells) return E_POINTER;
    *cells = cells_.data();
    return S_OK;
  }
  unsigned char* bytes() { return cells_.data(); }
  std::size_t size() const { return cells_.size(); }
  LONG type() const { return type_; }
  LONG width() const { return width_; }
  LONG height() const { return height_; }

 private:
  LONG type_, width_, height_;
  std::vector<unsigned char> cells_;
};

// A private view that lets the library reach the cells behind its own pixel blocks.
struct BlockCells : IUnknown {
  static constexpr IID iid = com::Guid("{91A2B3C4-D5E6-47F8-091A-2B3C4D5E6F70}");
  virtual CellArrayImpl* Cells() = 0;
};

class PixelBlockImpl final : public com::ComClass<PixelBlockImpl, PixelBlock, BlockCells> {
 public:
  PixelBlockImpl(LONG type, LONG width, LONG height) : cells_(com::MakeObject<CellArrayImpl>(type, width, height)) {}
  HRESULT get_Width(LONG* width) override { return cells_->get_Width(width); }
  HRESULT get_Height(LONG* height) override { return cells_->get_Height(height); }
  HRESULT get_PixelType(LONG plane, LONG* type) override {
    if (plane != 0) return E_INVALIDARG;
    return cells_->get_PixelType(type);
  }
  HRESULT GetPlane(LONG plane, CellArray** cells) override {
    if (!cells) return E_POINTER;
    *cells = nullptr;
    if (plane != 0) return E_INVALIDARG;
    *cells = cells_.get();
    (*cells)->AddRef();
    return S_OK;
  }
  HRESULT PutPlane(LONG plane, CellArray* cells) override {
    if (plane != 0) return E_INVALIDARG;
    if (!cells) return E_POINTER;
    if (static_cast<CellArray*>(cells_.get()) == cells) return S_OK;
    LONG type = 0, width = 0, height = 0;
    cells->get_PixelType(&type);
    cells->get_Width(&width);
    cells->get_Height(&height);
    if (type != cells_->type() || width != cells_->width() || height != cells_->height()) return E_INVALIDARG;
    void* data = nullptr;
    cells->Data(&data);
    std::memcpy(cells_->bytes(), data, cells_->size());
    return S_OK;
  }
  CellArrayImpl* Cells() override { return cells_.get(); }

 private:
  com::ComPtr<CellArrayImpl> cells_;
};

class PixelCache final : public com::ComClass<PixelCache, IUnknown> {};

double ReadNoData(GDALRasterBandH band, bool* has) {
  int hasValue = 0;
  const double v = GDALGetRasterNoDataValue(band, &hasValue);
  *has = hasValue != 0;
  return v;
}

// Whether a cell of the type can hold the value (another program may have flagged a
// no-data value that none of the cells can have).
bool Holds(LONG type, double v) {
  if (type == PT_CHAR) return v >= -128 && v <= 127 && v == std::trunc(v);
  int clamped = 0, rounded = 0;
  GDALAdjustValueToDataType(GdalTypeOf(type), v, &clamped, &rounded);
  return !clamped && !rounded;
}

// Writes a double into one cell of a type (the value is one the type holds).
void StoreCell(LONG type, double v, unsigned char* cell) {
  switch (type) {
    case PT_UCHAR: *cell = static_cast<std::uint8_t>(v); break;
    case PT_CHAR: *reinterpret_cast<std::int8_t*>(cell) = static_cast<std::int8_t>(v); break;
    case PT_USHORT: { const auto x = static_cast<std::uint16_t>(v); std::memcpy(cell, &x, 2); break; }
    case PT_SHORT: { const auto x = static_cast<std::int16_t>(v); std::memcpy(cell, &x, 2); break; }
    case PT_ULONG: { const auto x = static_cast<std::uint32_t>(v); std::memcpy(cell, &x, 4); break; }
    case PT_LONG: { const auto x = static_cast<std::int32_t>(v); std::memcpy(cell, &x, 4); break; }
    case PT_FLOAT: { const auto x = static_cast<float>(v); std::memcpy(cell, &x, 4); break; }
    case PT_DOUBLE: std::memcpy(cell, &v, 8); break;
    default: break;
  }
}

class RasterBandImpl final : public com::ComClass<RasterBandImpl, RasterBand, RasterProps, RawPixels> {
 public:
  RasterBandImpl(DatasetRef dataset, int index)
      : dataset_(std::move(dataset)), index_(index), band_(GDALGetRasterBand(dataset_->handle, index + 1)) {}

  // What a band answers once its dataset has been deleted.
  static constexpr HRESULT kDeleted = E_UNEXPECTED;

  HRESULT get_Index(LONG* index) override {
    if (!index) return E_POINTER;
    *index = index_;
    return S_OK;
  }
  HRESULT get_Width(LONG* width) override {
    if (!dataset_->handle) return kDeleted;
    if (!width) return E_POINTER;
    *width = GDALGetRasterBandXSize(band_);
    return S_OK;
  }
  HRESULT get_Height(LONG* height) override {
    if (!dataset_->handle) return kDeleted;
    if (!height) return E_POINTER;
    *height = GDALGetRasterBandYSize(band_);
    return S_OK;
  }
  HRESULT get_PixelType(LONG* type) override {
    if (!dataset_->handle) return kDeleted;
    if (!type) return E_POINTER;
    *type = PixelTypeOf(band_);
    return S_OK;
  }
  HRESULT get_NoDataValue(VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    if (!dataset_->handle) return kDeleted;
    bool has = false;
    const double v = ReadNoData(band_, &has);
    const LONG type = PixelTypeOf(band_);
    const VARTYPE vt = VariantTypeOf(type);
    if (!has || vt == VT_EMPTY) return S_FALSE;
    if (!Holds(type, v)) return DISP_E_OVERFLOW;  // no cell can have it
    VARIANT d;
    VariantInit(&d);
    d.vt = VT_R8;
    d.dblVal = v;
    return VariantChangeType(value, &d, 0, vt);
  }
  HRESULT put_NoDataValue(VARIANT value) override {
    if (!dataset_->handle) return kDeleted;
    const LONG type = PixelTypeOf(band_);
    const VARTYPE vt = VariantTypeOf(type);
    if (vt == VT_EMPTY) return GIS_E_UNSUPPORTED;
    VARIANT cell;
    VariantInit(&cell);
    if (const HRESULT hr = VariantChangeType(&cell, &value, 0, vt); FAILED(hr)) return hr;
    VARIANT d;
    VariantInit(&d);
    VariantChangeType(&d, &cell, 0, VT_R8);
    return GDALSetRasterNoDataValue(band_, d.dblVal) == CE_None ? S_OK : GIS_E_IO;
  }
  HRESULT get_MeanCellSize(XYPair** size) override {
    if (!size) return E_POINTER;
    if (!dataset_->handle) return kDeleted;
    double gt[6];
    GDALGetGeoTransform(dataset_->handle, gt);
    *size = MakeXYPair(std::fabs(gt[1]), std::fabs(gt[5])).detach();
    return S_OK;
  }
  HRESULT get_SpatialReference(SpatialReference** reference) override {
    if (!reference) return E_POINTER;
    if (!dataset_->handle) return kDeleted;
    const auto* srs = OGRSpatialReference::FromHandle(GDALGetSpatialRef(dataset_->handle));
    *reference = WrapReference(SharedReference(srs)).detach();
    return S_OK;
  }
  HRESULT get_Extent(Envelope** extent) override {
    if (!extent) return E_POINTER;
    if (!dataset_->handle) return kDeleted;
    double gt[6];
    GDALGetGeoTransform(dataset_->handle, gt);
    const double w = GDALGetRasterXSize(dataset_->handle), h = GDALGetRasterYSize(dataset_->handle);
    const double x0 = gt[0], x1 = gt[0] + w * gt[1], y0 = gt[3] + h * gt[5], y1 = gt[3];
    const auto* srs = OGRSpatialReference::FromHandle(GDALGetSpatialRef(dataset_->handle));
    *extent = MakeEnvelope(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1),
                           SharedReference(srs))
                  .detach();
    return S_OK;
  }

  HRESULT CreatePixelBlock(XYPair* size, PixelBlock** block) override {
    if (!size || !block) return E_POINTER;
    *block = nullptr;
    if (!dataset_->handle) return kDeleted;
    double cols = 0, rows = 0;
    size->QueryCoords(&cols, &rows);
    const LONG type = PixelTypeOf(band_);
    if (CellBytes(type) == 0) return GIS_E_UNSUPPORTED;
    if (!(cols >= 0 && rows >= 0 && cols * rows * CellBytes(type) < 4e9)) return E_INVALIDARG;
    try {
      *block = com::MakeObject<PixelBlockImpl>(type, static_cast<LONG>(cols), static_cast<LONG>(rows)).detach();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }

  HRESULT Read(XYPair* topLeft, PixelBlock* block) override { return Transfer(topLeft, block, GF_Read); }
  HRESULT Write(XYPair* topLeft, PixelBlock* block) override { return Transfer(topLeft, block, GF_Write); }

  HRESULT AcquireCache(IUnknown** cache) override {
    if (!cache) return E_POINTER;
    auto token = com::MakeObject<PixelCache>();
    *cache = token->Identity();
    (*cache)->AddRef();
    return S_OK;
  }
  HRESULT ReturnCache(IUnknown* cache) override {
    if (!cache) return E_POINTER;
    if (!dataset_->handle) return kDeleted;
    return GDALFlushRasterCache(band_) == CE_None ? S_OK : GIS_E_IO;
  }

 private:
  HRESULT Transfer(XYPair* topLeft, PixelBlock* block, GDALRWFlag direction) {
    if (!topLeft || !block) return E_POINTER;
    if (!dataset_->handle) return kDeleted;
    com::ComPtr<BlockCells> own;
    if (FAILED(block->QueryInterface(own.put()))) return E_INVALIDARG;
    CellArrayImpl* cells = own->Cells();
    if (cells->type() != PixelTypeOf(band_)) return E_INVALIDARG;
    double left = 0, top = 0;
    topLeft->QueryCoords(&left, &top);
    if (!std::isfinite(left) || !std::isfinite(top)) return E_INVALIDARG;
    // Far beyond any raster a block is all overhang; the limit keeps the cell sums exact.
    constexpr double kFar = 1e15;
    const auto c0 = static_cast<long long>(std::clamp(left, -kFar, kFar));
    const auto r0 = static_cast<long long>(std::clamp(top, -kFar, kFar));
    const long long width = GDALGetRasterBandXSize(band_), height = GDALGetRasterBandYSize(band_);
    const int bytes = CellBytes(cells->type());
    const long long bw = cells->width(), bh = cells->height();
    if (direction == GF_Read) {
      // The overhang past the raster's edges holds the no-data value (0 without one).
      bool has = false;
      const double fill = ReadNoData(band_, &has);
      std::vector<unsigned char> one(static_cast<std::size_t>(bytes));
      StoreCell(cells->type(), has && Holds(cells->type(), fill) ? fill : 0.0, one.data());
      for (std::size_t i = 0; i < cells->size(); i += static_cast<std::size_t>(bytes))
        std::memcpy(cells->bytes() + i, one.data(), static_cast<std::size_t>(bytes));
    }
    const long long x0 = std::max(c0, 0LL), y0 = std::max(r0, 0LL);
    const long long x1 = std::min(c0 + bw, width), y1 = std::min(r0 + bh, height);
    if (x1 <= x0 || y1 <= y0) return S_OK;
    unsigned char* first = cells->bytes() + ((y0 - r0) * bw + (x0 - c0)) * bytes;
    const CPLErr err = GDALRasterIO(band_, direction, static_cast<int>(x0), static_cast<int>(y0),
                                    static_cast<int>(x1 - x0), static_cast<int>(y1 - y0), first,
                                    static_cast<int>(x1 - x0), static_cast<int>(y1 - y0),
                                    GdalTypeOf(cells->type()), bytes, static_cast<GSpacing>(bw * bytes));
    return err == CE_None ? S_OK : GIS_E_IO;
  }

  DatasetRef dataset_;
  int index_;
  GDALRasterBandH band_;
};

class RasterDatasetImpl final : public com::ComClass<RasterDatasetImpl, RasterDataset, RasterBandCollection> {
 public:
  explicit RasterDatasetImpl(DatasetRef dataset) : dataset_(std::move(dataset)) {}

  HRESULT get_Name(BSTR* name) override { return OutString(fs::path(dataset_->path).filename().string(), name); }
  HRESULT get_WorkspacePath(BSTR* path) override {
    return OutString(fs::path(dataset_->path).parent_path().string(), path);
  }
  HRESULT Delete() override {
    if (!dataset_->handle) return E_UNEXPECTED;  // deleted before
    GDALDriverH driver = GDALGetDatasetDriver(dataset_->handle);
    GDALClose(dataset_->handle);
    dataset_->handle = nullptr;
    return GDALDeleteDataset(driver, dataset_->path.c_str()) == CE_None ? S_OK : GIS_E_IO;
  }
  HRESULT get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = dataset_->handle ? GDALGetRasterCount(dataset_->handle) : 0;
    return S_OK;
  }
  HRESULT Item(LONG index, RasterBand** band) override {
    if (!band) return E_POINTER;
    *band = nullptr;
    if (!dataset_->handle || index < 0 || index >= GDALGetRasterCount(dataset_->handle)) return E_INVALIDARG;
    *band = static_cast<RasterBand*>(com::MakeObject<RasterBandImpl>(dataset_, index).detach());
    return S_OK;
  }
  const DatasetRef& dataset() const { return dataset_; }

 private:
  DatasetRef dataset_;
};

class RasterWorkspaceImpl final : public com::ComClass<RasterWorkspaceImpl, Workspace, RasterWorkspace> {
 public:
  explicit RasterWorkspaceImpl(std::string directory) : directory_(std::move(directory)) {}

  HRESULT get_PathName(BSTR* path) override { return OutString(directory_, path); }

  HRESULT OpenRasterDataset(BSTR name, RasterDataset** dataset) override {
    if (!dataset) return E_POINTER;
    *dataset = nullptr;
    const std::string n = Utf8(name);
    if (n.empty()) return E_INVALIDARG;
    HRESULT hr = GIS_E_NOTFOUND;
    for (const std::string& candidate : {n, n + ".tif"}) {
      const std::string path = (fs::path(directory_) / candidate).string();
      if (!Exists(path) || IsDirectory(path)) continue;
      *dataset = OpenRasterPath(path, &hr).detach();
      if (*dataset) return S_OK;
    }
    return hr;
  }

  HRESULT CreateRasterDataset(BSTR name, BSTR format, Point* origin, LONG columns, LONG rows, double cellX,
                              double cellY, LONG bands, LONG pixelType, SpatialReference* reference,
                              VARIANT_BOOL, RasterDataset** dataset) override {
    if (!dataset) return E_POINTER;
    *dataset = nullptr;
    if (!origin) return E_POINTER;
    std::string n = Utf8(name);
    if (n.empty() || n.find('/') != std::string::npos) return E_INVALIDARG;
    if (Utf8(format) != "GRID") return GIS_E_UNSUPPORTED;
    const GDALDataType type = GdalTypeOf(pixelType);
    if (type == GDT_Unknown) return GIS_E_UNSUPPORTED;
    if (columns <= 0 || rows <= 0 || bands <= 0 || !(cellX > 0) || !(cellY > 0)) return E_INVALIDARG;
    if (!fs::path(n).has_extension()) n += ".tif";
    const std::string path = (fs::path(directory_) / n).string();
    if (Exists(path)) return GIS_E_EXISTS;  // never over an existing dataset
    char** options = nullptr;
    // Tiles suit wide rasters; a narrow one would be mostly tile padding.
    if (columns >= 256 && rows >= 256) options = CSLSetNameValue(options, "TILED", "YES");
    options = CSLSetNameValue(options, "BIGTIFF", "IF_SAFER");
    // Cells never written read as empty instead of being filled in when the file closes.
    options = CSLSetNameValue(options, "SPARSE_OK", "TRUE");
    if (pixelType == PT_CHAR) options = CSLSetNameValue(options, "PIXELTYPE", "SIGNEDBYTE");
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    GDALDatasetH handle = GDALCreate(driver, path.c_str(), columns, rows, bands, type, options);
    CSLDestroy(options);
    if (!handle) return GIS_E_IO;
    double x = 0, y = 0;
    origin->get_X(&x);
    origin->get_Y(&y);
    double gt[6] = {x, cellX, 0, y + rows * cellY, 0, -cellY};
    GDALSetGeoTransform(handle, gt);
    if (auto ref = ReferenceOf(reference)) GDALSetSpatialRef(handle, OGRSpatialReference::ToHandle(ref.get()));
    auto open = std::make_shared<OpenDataset>();
    open->handle = handle;
    open->path = path;
    *dataset = static_cast<RasterDataset*>(com::MakeObject<RasterDatasetImpl>(open).detach());
    return S_OK;
  }

 private:
  std::string directory_;
};

class RasterIdentifyResultImpl final : public com::ComClass<RasterIdentifyResultImpl, RasterIdentifyResult> {
 public:
  explicit RasterIdentifyResultImpl(std::string value) : value_(std::move(value)) {}
  HRESULT get_Name(BSTR* name) override { return OutString("Pixel value", name); }
  HRESULT get_Value(BSTR* text) override { return OutString(value_, text); }

 protected:
  HRESULT QueryOther(REFIID riid, void** object) override {
    if (riid == IdentifyResult::iid) {
      *object = static_cast<IdentifyResult*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  std::string value_;
};

class IdentifyResultsImpl final : public com::ComClass<IdentifyResultsImpl, IdentifyResults> {
 public:
  HRESULT get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(items.size());
    return S_OK;
  }
  HRESULT get_Element(LONG index, IUnknown** element) override {
    if (!element) return E_POINTER;
    *element = nullptr;
    if (index < 0 || index >= static_cast<LONG>(items.size())) return E_INVALIDARG;
    *element = items[static_cast<std::size_t>(index)].get();
    (*element)->AddRef();
    return S_OK;
  }
  std::vector<com::ComPtr<IUnknown>> items;
};

}  // namespace

com::ComPtr<RasterDataset> OpenRasterPath(const std::string& path, HRESULT* result) {
  EnsureGdal();
  HRESULT hr = S_OK;
  com::ComPtr<RasterDataset> out;
  GDALDatasetH handle = nullptr;
  if (!Exists(path)) {
    hr = GIS_E_NOTFOUND;
  } else {
    handle = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE, nullptr, nullptr, nullptr);
    if (!handle) handle = GDALOpenEx(path.c_str(), GDAL_OF_RASTER, nullptr, nullptr, nullptr);
    if (!handle) hr = GIS_E_IO;
  }
  if (handle) {
    auto open = std::make_shared<OpenDataset>();
    open->handle = handle;
    open->path = path;
    out = static_cast<RasterDataset*>(com::MakeObject<RasterDatasetImpl>(open).get());
  }
  if (result) *result = hr;
  return out;
}

com::ComPtr<Workspace> OpenRasterWorkspace(const std::string& directory, HRESULT* result) {
  EnsureGdal();
  if (!IsDirectory(directory)) {
    if (result) *result = GIS_E_NOTFOUND;
    return {};
  }
  if (result) *result = S_OK;
  return com::ComPtr<Workspace>(static_cast<Workspace*>(com::MakeObject<RasterWorkspaceImpl>(directory).get()));
}

}  // namespace gis::detail

namespace gis {

int CellBytes(LONG pixelType) {
  switch (pixelType) {
    case PT_UCHAR:
    case PT_CHAR: return 1;
    case PT_USHORT:
    case PT_SHORT: return 2;
    case PT_ULONG:
    case PT_LONG:
    case PT_FLOAT: return 4;
    case PT_DOUBLE: return 8;
    default: return 0;
  }
}

namespace {

// The value of a cell (NaN for the types the library cannot hold).
double CellValue(LONG pixelType, const void* cell) {
  const auto* p = static_cast<const unsigned char*>(cell);
  const auto read = [p]<class T>(T) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return static_cast<double>(v);
  };
  switch (pixelType) {
    case PT_UCHAR: return read(std::uint8_t{});
    case PT_CHAR: return read(std::int8_t{});
    case PT_USHORT: return read(std::uint16_t{});
    case PT_SHORT: return read(std::int16_t{});
    case PT_ULONG: return read(std::uint32_t{});
    case PT_LONG: return read(std::int32_t{});
    case PT_FLOAT: return read(float{});
    case PT_DOUBLE: return read(double{});
    default: return std::nan("");
  }
}

}  // namespace

std::string CellText(LONG pixelType, const void* cell) {
  char buf[64];
  std::to_chars_result r{buf, std::errc()};
  const auto* p = static_cast<const unsigned char*>(cell);
  switch (pixelType) {
    case PT_UCHAR: r = std::to_chars(buf, buf + sizeof buf, static_cast<unsigned>(*p)); break;
    case PT_CHAR: r = std::to_chars(buf, buf + sizeof buf, static_cast<int>(static_cast<std::int8_t>(*p))); break;
    case PT_USHORT: { std::uint16_t v; std::memcpy(&v, p, 2); r = std::to_chars(buf, buf + sizeof buf, v); break; }
    case PT_SHORT: { std::int16_t v; std::memcpy(&v, p, 2); r = std::to_chars(buf, buf + sizeof buf, v); break; }
    case PT_ULONG: { std::uint32_t v; std::memcpy(&v, p, 4); r = std::to_chars(buf, buf + sizeof buf, v); break; }
    case PT_LONG: { std::int32_t v; std::memcpy(&v, p, 4); r = std::to_chars(buf, buf + sizeof buf, v); break; }
    case PT_FLOAT: { float v; std::memcpy(&v, p, 4); r = std::to_chars(buf, buf + sizeof buf, v); break; }
    case PT_DOUBLE: { double v; std::memcpy(&v, p, 8); r = std::to_chars(buf, buf + sizeof buf, v); break; }
    default: return {};
  }
  return std::string(buf, r.ptr);
}

HRESULT IdentifyRaster(RasterDataset* dataset, Point* point, IdentifyResults** results) {
  using namespace detail;
  if (!dataset || !point || !results) return E_POINTER;
  *results = nullptr;
  com::ComPtr<RasterBandCollection> bands;
  if (FAILED(dataset->QueryInterface(bands.put()))) return E_INVALIDARG;
  LONG count = 0;
  bands->get_Count(&count);
  double x = 0, y = 0;
  point->get_X(&x);
  point->get_Y(&y);
  std::string text;
  for (LONG b = 0; b < count; ++b) {
    com::ComPtr<RasterBand> band;
    bands->Item(b, band.put());
    auto props = band.query<RasterProps>();
    auto raw = band.query<RawPixels>();
    com::ComPtr<Envelope> extent;
    props->get_Extent(extent.put());
    LONG width = 0, height = 0, type = 0;
    props->get_Width(&width);
    props->get_Height(&height);
    props->get_PixelType(&type);
    double x0, y0, x1, y1;
    extent->QueryCoords(&x0, &y0, &x1, &y1);
    if (!(x >= x0 && x < x1 && y > y0 && y <= y1) || width <= 0 || height <= 0) return S_FALSE;
    // Inside the extent, but the division may round a point of the last cell up to the edge.
    const double column = std::min(std::floor((x - x0) / ((x1 - x0) / width)), width - 1.0);
    const double row = std::min(std::floor((y1 - y) / ((y1 - y0) / height)), height - 1.0);
    com::ComPtr<PixelBlock> block;
    if (FAILED(raw->CreatePixelBlock(MakeXYPair(1, 1).get(), block.put()))) return E_FAIL;
    if (FAILED(raw->Read(MakeXYPair(column, row).get(), block.get()))) return GIS_E_IO;
    com::ComPtr<CellArray> cells;
    block->GetPlane(0, cells.put());
    void* cell = nullptr;
    cells->Data(&cell);
    com::Variant nodata;
    std::string value = CellText(type, cell);
    double flag = 0;
    if (props->get_NoDataValue(nodata.put()) == S_OK && SUCCEEDED(nodata.ToDouble(&flag))) {
      // Every cell type's values are exact as doubles; a NaN flag stands for every NaN.
      const double v = CellValue(type, cell);
      if (v == flag || (std::isnan(v) && std::isnan(flag))) value = "NoData";
    }
    text += (b ? ", " : "") + value;
  }
  auto list = com::MakeObject<IdentifyResultsImpl>();
  list->items.emplace_back(com::MakeObject<RasterIdentifyResultImpl>(text)->Identity());
  *results = list.detach();
  return S_OK;
}

com::ComPtr<RasterDataset> OpenRasterFile(const std::string& path, HRESULT* result) {
  return detail::OpenRasterPath(path, result);
}

}  // namespace gis
