#include "gis/raster.h"

#include <cpl_string.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "com/boundary.h"
#include "com/object.h"
#include "gis/geometry.h"
#include "gis/gis.h"
#include "gis/hugepages.h"

namespace gis::detail {
namespace {

namespace fs = std::filesystem;

// What identify needs of a dataset at every point, found once: where its cells lie, and
// for every band the type its cells are read in and the value that marks no data.
struct IdentifyGrid {
  double x0, y0, x1, y1;  // the extent
  LONG width, height;
  bool southUp;
  LONG type;  // every band's cells are read in this type, all in one read
  std::vector<std::optional<double>> noData;
  // Whether every band stores its cells in that type, in blocks of this size: a cell is
  // then taken from the band's block as it is cached.
  bool stored;
  int blockWidth, blockHeight;
};

// One open GDAL dataset, shared by the dataset object and its bands; empty once the
// dataset has been deleted.
struct OpenDataset {
  GDALDatasetUniquePtr dataset;
  std::string path;
  // Made on the first identify; none when the bands' cells are read in different types.
  // Dropped when a band's no-data value is set.
  std::optional<std::optional<IdentifyGrid>> identify;
  // The dataset's spatial reference as the library hands it out, made on first use: the
  // library sets a raster's reference only when it creates the raster, and a reference
  // object is never changed once made, so one serves every request.
  std::shared_ptr<OGRSpatialReference> reference;
  bool referenceMade = false;

  const std::shared_ptr<OGRSpatialReference>& Reference() {
    if (!referenceMade) {
      reference = SharedReference(dataset->GetSpatialRef());
      referenceMade = true;
    }
    return reference;
  }
};
using DatasetRef = std::shared_ptr<OpenDataset>;

// Where a dataset's cells lie on the map: its geotransform, and whether its rows are
// stored from the south (a positive y cell size). The library hands rows out from the
// north whatever the file's order. A dataset without georeferencing is taken as cells of
// one map unit with its first row at the top, as a viewer shows it.
struct Layout {
  double gt[6];
  bool southUp;
};

Layout LayoutOf(GDALDataset& dataset) {
  Layout layout{{0, 1, 0, static_cast<double>(dataset.GetRasterYSize()), 0, -1}, false};
  double gt[6];
  if (dataset.GetGeoTransform(gt) == CE_None) std::copy(gt, gt + 6, layout.gt);
  layout.southUp = layout.gt[5] > 0;
  return layout;
}

// Whether a cell of the type can hold the value (another program may have flagged a
// no-data value that none of the cells can have).
bool Holds(LONG type, double value) {
  return VisitPixelType(type, [&]<class T>() { return CellHolds<T>(value); }, false);
}

// The value of a cell (NaN for the types the library cannot hold).
double CellValue(LONG pixelType, const void* cell) {
  return VisitPixelType(
      pixelType,
      [&]<class T>() {
        T v;
        std::memcpy(&v, cell, sizeof v);
        return static_cast<double>(v);
      },
      std::nan(""));
}

VARTYPE VariantTypeOf(LONG type) {
  return VisitPixelType(type, []<class T>() { return kCellVariantType<T>; }, VARTYPE{VT_EMPTY});
}

// Fills `count` cells with one value that the type holds.
void FillCells(LONG type, double value, void* cells, std::size_t count) {
  VisitPixelType(type, [&]<class T>() {
    const T one = static_cast<T>(value);
    const GDALDataType gdal = GdalTypeOf(type);
    GDALCopyWords64(&one, gdal, 0, cells, gdal, static_cast<int>(sizeof(T)), static_cast<GPtrDiff_t>(count));
  });
}

// Turns `rows` rows of `rowBytes` bytes, `stride` bytes apart, upside down.
void ReverseRows(unsigned char* first, long long rows, long long stride, std::size_t rowBytes) {
  for (long long top = 0, bottom = rows - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(first + top * stride, first + top * stride + rowBytes, first + bottom * stride);
}

// Zeroed cells; the pages of a large array not yet touched are asked to be huge. An array
// the allocator hands out again from memory freed before is zeroed in place instead.
class CellStore {
 public:
  explicit CellStore(std::size_t bytes)
      : size_(bytes), data_(static_cast<unsigned char*>(std::calloc(bytes ? bytes : 1, 1))) {
    if (!data_) throw std::bad_alloc();
    if (bytes >= kLarge) AdviseHugePages(data_, bytes);
  }
  ~CellStore() { std::free(data_); }
  CellStore(const CellStore&) = delete;
  CellStore& operator=(const CellStore&) = delete;
  unsigned char* data() { return data_; }
  std::size_t size() const { return size_; }

 private:
  static constexpr std::size_t kLarge = std::size_t{4} << 20;
  std::size_t size_;
  unsigned char* data_;
};

class CellArrayImpl final : public com::ComClass<CellArrayImpl, CellArray> {
 public:
  CellArrayImpl(LONG type, LONG width, LONG height)
      : type_(type), width_(width), height_(height),
        cells_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
               static_cast<std::size_t>(PixelTypeBytes(type))) {}
  HRESULT get_PixelType(LONG* type) override { return com::Out(type_, type); }
  HRESULT get_Width(LONG* width) override { return com::Out(width_, width); }
  HRESULT get_Height(LONG* height) override { return com::Out(height_, height); }
  HRESULT Data(void** cells) override { return com::Out(static_cast<void*>(cells_.data()), cells); }
  unsigned char* bytes() { return cells_.data(); }
  std::size_t size() const { return cells_.size(); }
  LONG type() const { return type_; }
  LONG width() const { return width_; }
  LONG height() const { return height_; }

 private:
  LONG type_, width_, height_;
  CellStore cells_;
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
    return com::Out(com::ComPtr<CellArray>(cells_.get()), cells);
  }
  HRESULT PutPlane(LONG plane, CellArray* cells) override {
    if (plane != 0) return E_INVALIDARG;
    if (!cells) return E_POINTER;
    if (static_cast<CellArray*>(cells_.get()) == cells) return S_OK;
    LONG type = 0, width = 0, height = 0;
    void* data = nullptr;
    if (FAILED(cells->get_PixelType(&type)) || FAILED(cells->get_Width(&width)) ||
        FAILED(cells->get_Height(&height)) || FAILED(cells->Data(&data)) || !data)
      return E_INVALIDARG;
    if (type != cells_->type() || width != cells_->width() || height != cells_->height()) return E_INVALIDARG;
    std::memcpy(cells_->bytes(), data, cells_->size());
    return S_OK;
  }
  CellArrayImpl* Cells() override { return cells_.get(); }

 private:
  com::ComPtr<CellArrayImpl> cells_;
};

class PixelCache final : public com::ComClass<PixelCache, IUnknown> {};

// A private view that lets the library name what a band's file holds.
struct BandCellType : IUnknown {
  static constexpr IID iid = com::Guid("{2E8D4A61-7B3C-4D95-8F1A-6C0B5E9D3A72}");
  virtual std::string CellTypeName() = 0;
};

class RasterBandImpl final
    : public com::ComClass<RasterBandImpl, RasterBand, RasterProps, RawPixels, BandCellType> {
 public:
  std::string CellTypeName() override {
    if (Deleted()) return {};
    // Cells of fewer than 8 bits are held by GDAL as bytes, flagged with their bits.
    const char* bits = band_->GetMetadataItem("NBITS", "IMAGE_STRUCTURE");
    if (bits && std::atoi(bits) > 0 && std::atoi(bits) < 8) return std::string(bits) + "-bit";
    return GDALGetDataTypeName(band_->GetRasterDataType());
  }

  RasterBandImpl(DatasetRef dataset, int index)
      : dataset_(std::move(dataset)), index_(index), band_(dataset_->dataset->GetRasterBand(index + 1)) {}

  // What a band answers once its dataset has been deleted.
  static constexpr HRESULT kDeleted = E_UNEXPECTED;

  HRESULT get_Index(LONG* index) override { return com::Out(index_, index); }
  HRESULT get_Width(LONG* width) override {
    if (Deleted()) return kDeleted;
    return com::Out(band_->GetXSize(), width);
  }
  HRESULT get_Height(LONG* height) override {
    if (Deleted()) return kDeleted;
    return com::Out(band_->GetYSize(), height);
  }
  HRESULT get_PixelType(LONG* type) override {
    if (Deleted()) return kDeleted;
    return com::Out(PixelTypeOf(*band_), type);
  }
  HRESULT get_NoDataValue(VARIANT* value) override {
    if (!value) return E_POINTER;
    VariantInit(value);
    if (Deleted()) return kDeleted;
    return com::Guard([&] {
      int has = 0;
      const double v = band_->GetNoDataValue(&has);
      const LONG type = ReadTypeOf(PixelTypeOf(*band_));
      if (!has || !IsCellType(type)) return S_FALSE;
      // A value that no cell of the type can hold (GeoTIFF allows any) is handed out as it
      // is, as a double: each caller takes such a value by its own rule.
      const com::Variant out = Holds(type, v) ? CellVariant(type, v) : com::Variant::R8(v);
      return VariantCopy(value, &out.get());
    });
  }
  HRESULT put_NoDataValue(VARIANT value) override {
    if (Deleted()) return kDeleted;
    return com::Guard([&] {
      const VARTYPE vt = VariantTypeOf(ReadTypeOf(PixelTypeOf(*band_)));
      if (vt == VT_EMPTY) return GIS_E_UNSUPPORTED;
      com::Variant cell, real;
      if (const HRESULT hr = VariantChangeType(cell.put(), &value, 0, vt); FAILED(hr)) return hr;
      if (const HRESULT hr = VariantChangeType(real.put(), &cell.get(), 0, VT_R8); FAILED(hr)) return hr;
      dataset_->identify.reset();
      return band_->SetNoDataValue(real.get().dblVal) == CE_None ? S_OK : GIS_E_IO;
    });
  }
  HRESULT get_MeanCellSize(XYPair** size) override {
    if (!size) return E_POINTER;
    if (Deleted()) return kDeleted;
    return com::Guard([&] {
      const Layout layout = LayoutOf(*dataset_->dataset);
      return com::Out(MakeXYPair(std::fabs(layout.gt[1]), std::fabs(layout.gt[5])), size);
    });
  }
  HRESULT get_SpatialReference(SpatialReference** reference) override {
    if (!reference) return E_POINTER;
    if (Deleted()) return kDeleted;
    return com::Guard([&] { return OutReference(dataset_->Reference(), reference); });
  }
  HRESULT get_Extent(Envelope** extent) override {
    if (!extent) return E_POINTER;
    if (Deleted()) return kDeleted;
    return com::Guard([&] {
      GDALDataset& ds = *dataset_->dataset;
      const Layout layout = LayoutOf(ds);
      const double* gt = layout.gt;
      const double w = ds.GetRasterXSize(), h = ds.GetRasterYSize();
      const double x0 = gt[0], x1 = gt[0] + w * gt[1], y0 = gt[3] + h * gt[5], y1 = gt[3];
      return com::Out(MakeEnvelope(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1),
                                   dataset_->Reference()),
                      extent);
    });
  }

  HRESULT CreatePixelBlock(XYPair* size, PixelBlock** block) override {
    if (!size || !block) return E_POINTER;
    *block = nullptr;
    if (Deleted()) return kDeleted;
    return com::Guard([&] {
      double cols = 0, rows = 0;
      if (FAILED(size->QueryCoords(&cols, &rows))) return E_INVALIDARG;
      const LONG type = PixelTypeOf(*band_);
      const int bytes = PixelTypeBytes(type);
      if (bytes == 0) return GIS_E_UNSUPPORTED;
      if (!(cols >= 0 && rows >= 0 && cols * rows * bytes < 4e9)) return E_INVALIDARG;
      return com::Out(com::ComPtr<PixelBlock>(
                          com::MakeObject<PixelBlockImpl>(type, static_cast<LONG>(cols), static_cast<LONG>(rows)).get()),
                      block);
    });
  }

  HRESULT Read(XYPair* topLeft, PixelBlock* block) override { return Transfer(topLeft, block, GF_Read); }
  HRESULT Write(XYPair* topLeft, PixelBlock* block) override { return Transfer(topLeft, block, GF_Write); }

  HRESULT AcquireCache(IUnknown** cache) override {
    if (!cache) return E_POINTER;
    return com::Guard([&] { return com::Out(com::ComPtr<IUnknown>(com::MakeObject<PixelCache>()->Identity()), cache); });
  }
  HRESULT ReturnCache(IUnknown* cache) override {
    if (!cache) return E_POINTER;
    if (Deleted()) return kDeleted;
    return com::Guard([&] { return band_->FlushCache() == CE_None ? S_OK : GIS_E_IO; });
  }

 private:
  bool Deleted() const { return !dataset_->dataset; }

  HRESULT Transfer(XYPair* topLeft, PixelBlock* block, GDALRWFlag direction) {
    if (!topLeft || !block) return E_POINTER;
    if (Deleted()) return kDeleted;
    return com::Guard([&] {
      com::ComPtr<BlockCells> own;
      if (FAILED(block->QueryInterface(own.put()))) return E_INVALIDARG;
      CellArrayImpl* cells = own->Cells();
      if (cells->type() != PixelTypeOf(*band_)) return E_INVALIDARG;
      double left = 0, top = 0;
      if (FAILED(topLeft->QueryCoords(&left, &top))) return E_INVALIDARG;
      if (!std::isfinite(left) || !std::isfinite(top)) return E_INVALIDARG;
      // Far beyond any raster a block is all overhang; the limit keeps the cell sums exact.
      constexpr double kFar = 1e15;
      const auto c0 = static_cast<long long>(std::clamp(left, -kFar, kFar));
      const auto r0 = static_cast<long long>(std::clamp(top, -kFar, kFar));
      const long long width = band_->GetXSize(), height = band_->GetYSize();
      const int bytes = PixelTypeBytes(cells->type());
      const long long bw = cells->width(), bh = cells->height();
      // Rows and columns of the raster, counted from its northern row, that the block covers.
      const long long x0 = std::max(c0, 0LL), y0 = std::max(r0, 0LL);
      const long long x1 = std::min(c0 + bw, width), y1 = std::min(r0 + bh, height);
      const long long stride = bw * bytes;
      if (direction == GF_Read) {
        // The overhang past the raster's edges holds the no-data value (0 without one).
        int has = 0;
        const double value = band_->GetNoDataValue(&has);
        const double fill = has && Holds(cells->type(), value) ? value : 0.0;
        FillOverhang(cells, fill, std::clamp(y0 - r0, 0LL, bh), std::clamp(y1 - r0, 0LL, bh),
                     std::clamp(x0 - c0, 0LL, bw), std::clamp(x1 - c0, 0LL, bw));
      }
      if (x1 <= x0 || y1 <= y0) return S_OK;
      unsigned char* first = cells->bytes() + (y0 - r0) * stride + (x0 - c0) * bytes;
      const auto rowBytes = static_cast<std::size_t>((x1 - x0) * bytes);
      // A file stored from the south holds those rows upside down, from its row height - y1.
      const bool southUp = LayoutOf(*dataset_->dataset).southUp;
      const long long fileRow = southUp ? height - y1 : y0;
      if (southUp && direction == GF_Write) ReverseRows(first, y1 - y0, stride, rowBytes);
      const CPLErr err = band_->RasterIO(direction, static_cast<int>(x0), static_cast<int>(fileRow),
                                         static_cast<int>(x1 - x0), static_cast<int>(y1 - y0), first,
                                         static_cast<int>(x1 - x0), static_cast<int>(y1 - y0),
                                         GdalTypeOf(cells->type()), bytes, static_cast<GSpacing>(stride), nullptr);
      // Read rows come north first; written ones go back as the caller gave them.
      if (southUp) ReverseRows(first, y1 - y0, stride, rowBytes);
      if (err != CE_None) return GIS_E_IO;
      if (!southUp && x0 == 0 && x1 == width) {
        if (direction == GF_Write) return FlushWrittenBlocks(y0, y1) ? S_OK : GIS_E_IO;
        return DropBlocksReadAbove(y0) ? S_OK : GIS_E_IO;
      }
      return S_OK;
    });
  }

  // Whole rows written from the north, one run of them after another: GDAL's cache holds
  // the blocks written until it is full or the dataset closes. The blocks that these rows
  // and the rows before them complete go to the file at once, so that a band written
  // strip by strip reaches the file while the next strip is made, and the blocks of other
  // rasters read meanwhile do not push it out of the cache a block at a time.
  bool FlushWrittenBlocks(long long top, long long bottom) {
    if (top > writtenTo_) return true;  // not the rows after those written: left to the cache
    writtenTo_ = std::max(writtenTo_, bottom);
    int blockWidth = 0, blockHeight = 0;
    band_->GetBlockSize(&blockWidth, &blockHeight);
    if (blockWidth <= 0 || blockHeight <= 0) return true;
    const long long height = band_->GetYSize(), width = band_->GetXSize();
    const long long complete = writtenTo_ >= height ? (height + blockHeight - 1) / blockHeight : writtenTo_ / blockHeight;
    bool flushed = true;
    for (; flushedBlockRows_ < complete; ++flushedBlockRows_)
      for (long long x = 0; x * blockWidth < width; ++x)
        flushed = band_->FlushBlock(static_cast<int>(x), static_cast<int>(flushedBlockRows_)) == CE_None && flushed;
    return flushed;
  }

  // Whole rows read from the north, one run of them after another (a raster read strip
  // by strip, each strip with the last row of the one before): the blocks wholly above the
  // rows read now are not read again, and leave GDAL's cache at once. Their memory then
  // serves the blocks read next, where the cache would otherwise grow by fresh memory over
  // the whole raster, a page fault for every 4 KB of it.
  bool DropBlocksReadAbove(long long top) {
    int blockWidth = 0, blockHeight = 0;
    band_->GetBlockSize(&blockWidth, &blockHeight);
    if (blockWidth <= 0 || blockHeight <= 0) return true;
    const long long above = top / blockHeight, width = band_->GetXSize();
    bool dropped = true;  // a block changed through this band is written before it goes
    for (; droppedBlockRows_ < above; ++droppedBlockRows_)
      for (long long x = 0; x * blockWidth < width; ++x)
        dropped = band_->FlushBlock(static_cast<int>(x), static_cast<int>(droppedBlockRows_)) == CE_None && dropped;
    return dropped;
  }

  // Fills the block's cells outside rows [top, bottom) and columns [left, right) (block
  // rows and columns, the part the raster covers) with a value.
  static void FillOverhang(CellArrayImpl* cells, double value, long long top, long long bottom, long long left,
                           long long right) {
    const long long bw = cells->width(), bh = cells->height();
    const auto bytes = static_cast<long long>(PixelTypeBytes(cells->type()));
    unsigned char* const first = cells->bytes();
    const auto fill = [&](long long row, long long column, long long count) {
      if (count > 0) FillCells(cells->type(), value, first + (row * bw + column) * bytes, static_cast<std::size_t>(count));
    };
    if (bottom <= top || right <= left) return fill(0, 0, bw * bh);
    fill(0, 0, top * bw);
    fill(bottom, 0, (bh - bottom) * bw);
    if (left > 0 || right < bw)
      for (long long r = top; r < bottom; ++r) {
        fill(r, 0, left);
        fill(r, right, bw - right);
      }
  }

  DatasetRef dataset_;
  int index_;
  GDALRasterBand* band_;
  long long writtenTo_ = 0;        // the rows from the north written through this object
  long long flushedBlockRows_ = 0;  // the rows of blocks among them sent to the file
  long long droppedBlockRows_ = 0;  // the rows of blocks read from the north and let go
};

// A private view that reads one cell of every band in one go. A file that stores its bands
// cell by cell keeps them all in the same block, which band by band reads would fetch and
// split up once per band.
struct EveryBandCell : IUnknown {
  static constexpr IID iid = com::Guid("{5C1E0B7A-3D42-4F86-9A0B-7E2D4C6F8A13}");
  // The cell at `column`, `row` (counted from the northern row) of every band, band after
  // band, in `type`; S_FALSE when a band's cells are read in another type (ReadTypeOf).
  virtual HRESULT ReadEveryBand(long long column, long long row, LONG type, std::vector<unsigned char>* cells) = 0;
  // What identify says at a map point, as its band by band reading says it, worked out
  // from what the dataset keeps: S_OK with the value text, S_FALSE outside the raster,
  // E_NOTIMPL when the bands are read otherwise (the caller then reads them band by band).
  virtual HRESULT IdentifyText(double x, double y, std::string* text) = 0;
};

class RasterDatasetImpl final
    : public com::ComClass<RasterDatasetImpl, RasterDataset, RasterBandCollection, EveryBandCell> {
 public:
  explicit RasterDatasetImpl(DatasetRef dataset) : dataset_(std::move(dataset)) {}

 private:
  // What identify finds of the dataset, as its bands hand it out (see RasterBandImpl):
  // none when its bands are not all read in one type, each of some bytes.
  std::optional<IdentifyGrid> MakeIdentifyGrid() {
    GDALDataset& ds = *dataset_->dataset;
    const Layout layout = LayoutOf(ds);
    const double* gt = layout.gt;
    const double w = ds.GetRasterXSize(), h = ds.GetRasterYSize();
    const double ax = gt[0], bx = gt[0] + w * gt[1], ay = gt[3] + h * gt[5], by = gt[3];
    IdentifyGrid g{std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by), ds.GetRasterXSize(),
                   ds.GetRasterYSize(), layout.southUp, PT_UNKNOWN, {}, true, 0, 0};
    for (int b = 1; b <= ds.GetRasterCount(); ++b) {
      GDALRasterBand& band = *ds.GetRasterBand(b);
      const LONG type = ReadTypeOf(PixelTypeOf(band));
      if (b > 1 && type != g.type) return std::nullopt;
      g.type = type;
      int bw = 0, bh = 0;
      band.GetBlockSize(&bw, &bh);
      g.stored = g.stored && band.GetRasterDataType() == GdalTypeOf(type) && bw > 0 && bh > 0 &&
                 (b == 1 || (bw == g.blockWidth && bh == g.blockHeight));
      g.blockWidth = bw;
      g.blockHeight = bh;
      int has = 0;
      const double v = band.GetNoDataValue(&has);
      std::optional<double> flag;
      double d = 0;
      // The value as the band's no-data variant hands it out (get_NoDataValue).
      if (has && IsCellType(type) && SUCCEEDED((Holds(type, v) ? CellVariant(type, v) : com::Variant::R8(v)).ToDouble(&d)))
        flag = d;
      g.noData.push_back(flag);
    }
    if (!g.noData.empty() && PixelTypeBytes(g.type) == 0) return std::nullopt;
    return g;
  }

 public:

  HRESULT ReadEveryBand(long long column, long long row, LONG type, std::vector<unsigned char>* cells) override {
    if (!cells) return E_POINTER;
    if (!dataset_->dataset) return E_UNEXPECTED;
    return com::Guard([&] {
      GDALDataset& ds = *dataset_->dataset;
      const int count = ds.GetRasterCount(), bytes = PixelTypeBytes(type);
      if (bytes == 0) return S_FALSE;
      for (int b = 1; b <= count; ++b)
        if (ReadTypeOf(PixelTypeOf(*ds.GetRasterBand(b))) != type) return S_FALSE;
      if (column < 0 || row < 0 || column >= ds.GetRasterXSize() || row >= ds.GetRasterYSize()) return E_INVALIDARG;
      const long long fileRow = LayoutOf(ds).southUp ? ds.GetRasterYSize() - 1 - row : row;
      cells->assign(static_cast<std::size_t>(count) * bytes, 0);
      const CPLErr err = ds.RasterIO(GF_Read, static_cast<int>(column), static_cast<int>(fileRow), 1, 1, cells->data(),
                                     1, 1, GdalTypeOf(type), count, nullptr, bytes, bytes, bytes, nullptr);
      return err == CE_None ? S_OK : GIS_E_IO;
    });
  }

  HRESULT IdentifyText(double x, double y, std::string* text) override {
    if (!text) return E_POINTER;
    if (!dataset_->dataset) return E_NOTIMPL;
    return com::Guard([&] {
      if (!dataset_->identify) dataset_->identify = MakeIdentifyGrid();
      if (!*dataset_->identify) return E_NOTIMPL;
      const IdentifyGrid& g = **dataset_->identify;
      text->clear();
      if (g.noData.empty()) return S_OK;
      if (!(x >= g.x0 && x < g.x1 && y > g.y0 && y <= g.y1) || g.width <= 0 || g.height <= 0) return S_FALSE;
      // Inside the extent, but the division may round a point of the last cell up to the edge.
      const double column = std::min(std::floor((x - g.x0) / ((g.x1 - g.x0) / g.width)), g.width - 1.0);
      const double row = std::min(std::floor((g.y1 - y) / ((g.y1 - g.y0) / g.height)), g.height - 1.0);
      GDALDataset& ds = *dataset_->dataset;
      const int count = static_cast<int>(g.noData.size()), bytes = PixelTypeBytes(g.type);
      const long long fileRow = g.southUp ? g.height - 1 - static_cast<long long>(row) : static_cast<long long>(row);
      unsigned char cells[8 * 64];
      std::vector<unsigned char> many;
      unsigned char* data = count * bytes <= static_cast<int>(sizeof cells)
                                ? cells
                                : (many.resize(static_cast<std::size_t>(count) * bytes), many.data());
      const int c = static_cast<int>(column), r = static_cast<int>(fileRow);
      if (g.stored) {
        const std::size_t at = (static_cast<std::size_t>(r % g.blockHeight) * g.blockWidth + c % g.blockWidth) * bytes;
        for (int b = 0; b < count; ++b) {
          GDALRasterBlock* block = ds.GetRasterBand(b + 1)->GetLockedBlockRef(c / g.blockWidth, r / g.blockHeight);
          if (!block) return GIS_E_IO;
          std::memcpy(data + static_cast<std::size_t>(b) * bytes, static_cast<const unsigned char*>(block->GetDataRef()) + at,
                      static_cast<std::size_t>(bytes));
          block->DropLock();
        }
      } else if (ds.RasterIO(GF_Read, c, r, 1, 1, data, 1, 1, GdalTypeOf(g.type), count, nullptr, bytes, bytes, bytes,
                             nullptr) != CE_None) {
        return GIS_E_IO;
      }
      for (int b = 0; b < count; ++b) {
        const void* cell = data + static_cast<std::size_t>(b) * bytes;
        if (b) *text += ", ";
        // Every cell type's values are exact as doubles; a NaN flag stands for every NaN.
        const auto& flag = g.noData[static_cast<std::size_t>(b)];
        const double v = flag ? CellValue(g.type, cell) : 0;
        if (flag && (v == *flag || (std::isnan(v) && std::isnan(*flag))))
          *text += "NoData";
        else
          *text += CellText(g.type, cell);
      }
      return S_OK;
    });
  }

  HRESULT get_Name(BSTR* name) override {
    return com::Guard([&] { return com::Out(fs::path(dataset_->path).filename().string(), name); });
  }
  HRESULT get_WorkspacePath(BSTR* path) override {
    return com::Guard([&] { return com::Out(DirectoryOf(dataset_->path), path); });
  }
  HRESULT Delete() override {
    if (!dataset_->dataset) return E_UNEXPECTED;  // deleted before
    return com::Guard([&] {
      GDALDriver* driver = dataset_->dataset->GetDriver();
      dataset_->dataset.reset();
      if (driver && driver->Delete(dataset_->path.c_str()) == CE_None) return S_OK;
      // The driver cannot delete a file it cannot open again (one cut short by a full
      // disk); the file itself goes then.
      std::error_code ec;
      return fs::remove(dataset_->path, ec) && !ec ? S_OK : GIS_E_IO;
    });
  }
  HRESULT get_Count(LONG* count) override {
    return com::Out(dataset_->dataset ? dataset_->dataset->GetRasterCount() : 0, count);
  }
  HRESULT Item(LONG index, RasterBand** band) override {
    if (!band) return E_POINTER;
    *band = nullptr;
    if (!dataset_->dataset || index < 0 || index >= dataset_->dataset->GetRasterCount()) return E_INVALIDARG;
    return com::Guard([&] {
      return com::Out(com::ComPtr<RasterBand>(com::MakeObject<RasterBandImpl>(dataset_, index).get()), band);
    });
  }

 private:
  DatasetRef dataset_;
};

com::ComPtr<RasterDataset> WrapDataset(GDALDatasetUniquePtr dataset, const std::string& path) {
  auto open = std::make_shared<OpenDataset>();
  open->dataset = std::move(dataset);
  open->path = path;
  return com::ComPtr<RasterDataset>(com::MakeObject<RasterDatasetImpl>(std::move(open)).get());
}

// How a new GeoTIFF lays its cells out. Tiles of 256 x 256 cells suit a raster at least
// that large both ways; a narrower one, which would be mostly tile padding, gets strips of
// whole rows of about 8 KB (at least one row). Each band has blocks of its own, since bands
// are read and written one at a time (PixelBlock): writing one never reads or rewrites
// another's. The file holds the offset and the size of every block, 8 bytes each in a
// BigTIFF, and GDAL and libtiff hold those tables in at most 2 GB: a raster needing more
// blocks does not fit (for tiles GDAL refuses it itself; strips it would write as a broken
// file).
struct TiffLayout {
  bool tiled;
  long long stripRows;
  bool fits;
};

TiffLayout LayoutFor(LONG columns, LONG rows, LONG bands, LONG pixelType) {
  constexpr long long kTile = 256, kStripBytes = 8192, kMostTableBytes = 0x80000000LL;
  TiffLayout layout{columns >= kTile && rows >= kTile, 0, false};
  long long blocks;
  if (layout.tiled) {
    blocks = ((columns + kTile - 1) / kTile) * ((rows + kTile - 1) / kTile);
  } else {
    const long long rowBytes = static_cast<long long>(columns) * PixelTypeBytes(pixelType);
    layout.stripRows = std::clamp(kStripBytes / std::max(rowBytes, 1LL), 1LL, static_cast<long long>(rows));
    blocks = (rows + layout.stripRows - 1) / layout.stripRows;
  }
  layout.fits = blocks <= kMostTableBytes / 8 / bands;
  return layout;
}

class RasterWorkspaceImpl final : public com::ComClass<RasterWorkspaceImpl, Workspace, RasterWorkspace> {
 public:
  explicit RasterWorkspaceImpl(std::string directory) : directory_(std::move(directory)) {}

  HRESULT get_PathName(BSTR* path) override { return com::Guard([&] { return com::Out(directory_, path); }); }

  HRESULT OpenRasterDataset(BSTR name, RasterDataset** dataset) override {
    if (!dataset) return E_POINTER;
    *dataset = nullptr;
    return com::Guard([&] {
      const std::string n = Utf8(name);
      if (n.empty()) return E_INVALIDARG;
      HRESULT hr = GIS_E_NOTFOUND;
      for (const std::string& candidate : {n, n + ".tif"}) {
        const std::string path = (fs::path(directory_) / candidate).string();
        if (!Exists(path) || IsDirectory(path)) continue;
        if (auto opened = OpenRasterPath(path, &hr)) return com::Out(opened, dataset);
      }
      return hr;
    });
  }

  HRESULT CreateRasterDataset(BSTR name, BSTR format, Point* origin, LONG columns, LONG rows, double cellX,
                              double cellY, LONG bands, LONG pixelType, SpatialReference* reference,
                              VARIANT_BOOL, RasterDataset** dataset) override {
    if (!dataset) return E_POINTER;
    *dataset = nullptr;
    if (!origin) return E_POINTER;
    return com::Guard([&] {
      std::string n = Utf8(name);
      if (n.empty() || n.find('/') != std::string::npos) return E_INVALIDARG;
      if (Utf8(format) != "GRID") return GIS_E_UNSUPPORTED;
      const GDALDataType type = GdalTypeOf(pixelType);
      if (type == GDT_Unknown) return GIS_E_UNSUPPORTED;
      if (columns <= 0 || rows <= 0 || bands <= 0 || !(cellX > 0) || !(cellY > 0)) return E_INVALIDARG;
      double x = 0, y = 0;
      if (FAILED(origin->get_X(&x)) || FAILED(origin->get_Y(&y))) return E_INVALIDARG;
      if (!fs::path(n).has_extension()) n += ".tif";
      const std::string path = (fs::path(directory_) / n).string();
      if (Exists(path)) return GIS_E_EXISTS;  // never over an existing dataset
      const TiffLayout layout = LayoutFor(columns, rows, bands, pixelType);
      if (!layout.fits) return GIS_E_TOOLARGE;
      CPLStringList options;
      if (layout.tiled) options.SetNameValue("TILED", "YES");
      else options.SetNameValue("BLOCKYSIZE", std::to_string(layout.stripRows).c_str());
      options.SetNameValue("BIGTIFF", "IF_SAFER");
      // Cells never written read as empty instead of being filled in when the file closes.
      options.SetNameValue("SPARSE_OK", "TRUE");
      options.SetNameValue("INTERLEAVE", "BAND");
      if (pixelType == PT_CHAR) options.SetNameValue("PIXELTYPE", "SIGNEDBYTE");
      GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
      if (!driver) return GIS_E_UNSUPPORTED;
      GDALDatasetUniquePtr created(driver->Create(path.c_str(), columns, rows, bands, type, options.List()));
      if (!created) {
        // A create that failed part way (a full disk) may have left the file begun.
        std::error_code ec;
        fs::remove(path, ec);
        return GIS_E_IO;
      }
      double gt[6] = {x, cellX, 0, y + rows * cellY, 0, -cellY};
      const auto ref = ReferenceOf(reference);
      if (created->SetGeoTransform(gt) != CE_None || (ref && created->SetSpatialRef(ref.get()) != CE_None)) {
        created.reset();
        driver->Delete(path.c_str());
        return GIS_E_IO;
      }
      return com::Out(WrapDataset(std::move(created), path), dataset);
    });
  }

 private:
  std::string directory_;
};

class RasterIdentifyResultImpl final : public com::ComClass<RasterIdentifyResultImpl, RasterIdentifyResult> {
 public:
  explicit RasterIdentifyResultImpl(std::string value) : value_(std::move(value)) {}
  HRESULT get_Name(BSTR* name) override { return com::Out("Pixel value", name); }
  HRESULT get_Value(BSTR* text) override { return com::Out(value_, text); }

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
  HRESULT get_Count(LONG* count) override { return com::Out(static_cast<LONG>(items.size()), count); }
  HRESULT get_Element(LONG index, IUnknown** element) override {
    if (!element) return E_POINTER;
    *element = nullptr;
    if (index < 0 || index >= static_cast<LONG>(items.size())) return E_INVALIDARG;
    return com::Out(items[static_cast<std::size_t>(index)], element);
  }
  std::vector<com::ComPtr<IUnknown>> items;
};

}  // namespace

com::ComPtr<RasterDataset> OpenRasterPath(const std::string& path, HRESULT* result) {
  EnsureGdal();
  const auto answer = [&](HRESULT hr) {
    if (result) *result = hr;
  };
  if (!Exists(path)) {
    answer(GIS_E_NOTFOUND);
    return {};
  }
  GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE));
  if (!dataset) dataset.reset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER));
  if (!dataset) {
    answer(GIS_E_IO);
    return {};
  }
  // A raster turned on the map has no cell size along x and y, no lower-left corner and
  // no rows from the north as the library hands them out: refused rather than read as if
  // it lay square, which would drop the rotation without a word.
  const Layout layout = LayoutOf(*dataset);
  if (layout.gt[2] != 0 || layout.gt[4] != 0) {
    answer(GIS_E_UNSUPPORTED);
    return {};
  }
  answer(S_OK);
  return WrapDataset(std::move(dataset), path);
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

using detail::CellValue;

std::string CellText(LONG pixelType, const void* cell) {
  return VisitPixelType(
      pixelType,
      [&]<class T>() {
        T v;
        std::memcpy(&v, cell, sizeof v);
        char buf[64];
        return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
      },
      std::string());
}

std::string CellTypeName(RasterBand* band) {
  com::ComPtr<detail::BandCellType> own;
  if (!band || FAILED(band->QueryInterface(own.put()))) return {};
  return own->CellTypeName();
}

com::Variant CellVariant(LONG pixelType, double value) {
  return VisitPixelType(
      pixelType,
      [&]<class T>() {
        com::Variant out;
        if (!CellHolds<T>(value)) return out;
        const T cell = static_cast<T>(value);
        VARIANT* v = out.put();
        v->vt = detail::kCellVariantType<T>;
        std::memcpy(&v->llVal, &cell, sizeof cell);  // every member of the union starts there
        return out;
      },
      com::Variant());
}

HRESULT IdentifyRaster(RasterDataset* dataset, Point* point, IdentifyResults** results) {
  if (!dataset || !point || !results) return E_POINTER;
  *results = nullptr;
  return com::Guard([&] {
    com::ComPtr<RasterBandCollection> bands;
    if (FAILED(dataset->QueryInterface(bands.put()))) return E_INVALIDARG;
    LONG count = 0;
    double x = 0, y = 0;
    if (FAILED(bands->get_Count(&count)) || FAILED(point->get_X(&x)) || FAILED(point->get_Y(&y))) return E_FAIL;
    std::string text;
    const auto answer = [&] {
      auto list = com::MakeObject<detail::IdentifyResultsImpl>();
      list->items.emplace_back(com::MakeObject<detail::RasterIdentifyResultImpl>(std::move(text))->Identity());
      return com::Out(com::ComPtr<IdentifyResults>(list.get()), results);
    };
    // The library's own datasets work the answer out from what they keep.
    if (auto own = com::ComPtr<RasterDataset>(dataset).query<detail::EveryBandCell>()) {
      const HRESULT hr = own->IdentifyText(x, y, &text);
      if (hr == S_OK) return answer();
      if (hr == S_FALSE) return S_FALSE;
      if (hr != E_NOTIMPL) return hr;
    }
    std::vector<unsigned char> everyBand;  // empty when read band by band
    for (LONG b = 0; b < count; ++b) {
      com::ComPtr<RasterBand> band;
      if (FAILED(bands->Item(b, band.put()))) return E_FAIL;
      auto props = band.query<RasterProps>();
      auto raw = band.query<RawPixels>();
      if (!props || !raw) return E_FAIL;
      com::ComPtr<Envelope> extent;
      LONG width = 0, height = 0, type = 0;
      if (FAILED(props->get_Extent(extent.put())) || FAILED(props->get_Width(&width)) ||
          FAILED(props->get_Height(&height)) || FAILED(props->get_PixelType(&type)))
        return E_FAIL;
      type = detail::ReadTypeOf(type);  // cells of 1, 2 or 4 bits read as bytes
      double x0, y0, x1, y1;
      if (FAILED(extent->QueryCoords(&x0, &y0, &x1, &y1))) return E_FAIL;
      if (!(x >= x0 && x < x1 && y > y0 && y <= y1) || width <= 0 || height <= 0) return S_FALSE;
      // Inside the extent, but the division may round a point of the last cell up to the edge.
      const double column = std::min(std::floor((x - x0) / ((x1 - x0) / width)), width - 1.0);
      const double row = std::min(std::floor((y1 - y) / ((y1 - y0) / height)), height - 1.0);
      // The library's own datasets read the cell of every band at once, when they first
      // know where; any other band by band.
      const void* cell = nullptr;
      com::ComPtr<PixelBlock> block;
      if (b == 0)
        if (auto every = com::ComPtr<RasterDataset>(dataset).query<detail::EveryBandCell>()) {
          const HRESULT hr = every->ReadEveryBand(static_cast<long long>(column), static_cast<long long>(row), type,
                                                  &everyBand);
          if (FAILED(hr)) return GIS_E_IO;
          if (hr != S_OK) everyBand.clear();
        }
      if (!everyBand.empty()) {
        cell = everyBand.data() + static_cast<std::size_t>(b) * PixelTypeBytes(type);
      } else {
        if (FAILED(raw->CreatePixelBlock(MakeXYPair(1, 1).get(), block.put()))) return E_FAIL;
        if (FAILED(raw->Read(MakeXYPair(column, row).get(), block.get()))) return GIS_E_IO;
        com::ComPtr<CellArray> cells;
        void* data = nullptr;
        if (FAILED(block->GetPlane(0, cells.put())) || FAILED(cells->Data(&data))) return E_FAIL;
        cell = data;
      }
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
    return answer();
  });
}

com::ComPtr<RasterDataset> OpenRasterFile(const std::string& path, HRESULT* result) {
  return detail::OpenRasterPath(path, result);
}

}  // namespace gis
