#include "gis/gdalsupport.h"

#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "com/boundary.h"
#include "com/object.h"
#include "gis/gis.h"

namespace gis::detail {

void EnsureGdal() {
  static std::once_flag once;
  std::call_once(once, [] {
    GDALAllRegister();
    CPLSetErrorHandler(CPLQuietErrorHandler);  // failures reach callers as status codes
    // Cells pass through GDAL's block cache, which would otherwise grow to a twentieth of
    // the machine's memory whatever the tools hold: a walk through a large raster then
    // costs that much memory. Kept to kBlockCacheBytes unless GDAL_CACHEMAX says otherwise.
    if (!CPLGetConfigOption("GDAL_CACHEMAX", nullptr) && GDALGetCacheMax64() > kBlockCacheBytes)
      GDALSetCacheMax64(kBlockCacheBytes);
  });
}

LONG PixelTypeOf(GDALRasterBand& band) {
  const GDALDataType type = band.GetRasterDataType();
  if (type == GDT_Byte) {
    // Cells of 1, 2 or 4 bits, which GDAL hands out one per byte, keep their own codes:
    // only a reader that takes them reads them.
    if (const char* bits = band.GetMetadataItem("NBITS", "IMAGE_STRUCTURE")) {
      if (std::strcmp(bits, "1") == 0) return PT_U1;
      if (std::strcmp(bits, "2") == 0) return PT_U2;
      if (std::strcmp(bits, "4") == 0) return PT_U4;
    }
    const char* signedness = band.GetMetadataItem("PIXELTYPE", "IMAGE_STRUCTURE");
    return signedness && std::strcmp(signedness, "SIGNEDBYTE") == 0 ? PT_CHAR : PT_UCHAR;
  }
  for (const PixelType code : kCellTypes)
    if (GdalTypeOf(code) == type) return code;
  if (GDALDataTypeIsComplex(type)) return type == GDT_CFloat64 ? PT_DCOMPLEX : PT_COMPLEX;
  return PT_UNKNOWN;
}

LONG ReadTypeOf(LONG pixelType) {
  return pixelType == PT_U1 || pixelType == PT_U2 || pixelType == PT_U4 ? PT_UCHAR : pixelType;
}

GDALDataType GdalTypeOf(LONG pixelType) {
  return VisitPixelType(
      pixelType,
      []<class T>() {
        // GDAL has no signed byte type: such cells are bytes flagged as signed.
        if constexpr (std::is_same_v<T, std::int8_t>) return GDT_Byte;
        else
          return GDALFindDataType(static_cast<int>(sizeof(T) * 8), std::is_signed_v<T>, std::is_floating_point_v<T>,
                                  FALSE);
      },
      GDT_Unknown);
}

namespace {

class SpatialReferenceImpl final : public com::ComClass<SpatialReferenceImpl, SpatialReference> {
 public:
  explicit SpatialReferenceImpl(std::shared_ptr<OGRSpatialReference> r) : ref(std::move(r)) {}

  HRESULT IsProjected(VARIANT_BOOL* projected) override {
    return com::Out(ref->IsProjected() ? VARIANT_TRUE : VARIANT_FALSE, projected);
  }
  HRESULT LinearUnit(BSTR* name, double* metersPerUnit) override {
    if (!name || !metersPerUnit) return E_POINTER;
    if (!ref->IsProjected()) return E_FAIL;
    return com::Guard([&] {
      const char* unit = nullptr;
      *metersPerUnit = ref->GetLinearUnits(&unit);
      return com::Out(unit ? unit : "", name);
    });
  }
  HRESULT ExportToWkt(BSTR* wkt) override {
    if (!wkt) return E_POINTER;
    return com::Guard([&] {
      char* raw = nullptr;
      const OGRErr err = ref->exportToWkt(&raw);
      const std::unique_ptr<char, void (*)(void*)> text(raw, &VSIFree);  // the text is GDAL's to free
      if (err != OGRERR_NONE || !text) return E_FAIL;
      return com::Out(text.get(), wkt);
    });
  }

  std::shared_ptr<OGRSpatialReference> ref;

 protected:
  HRESULT QueryOther(REFIID riid, void** object) override {
    // Lets the library find the OGR reference behind one of its own objects.
    if (riid == kSelf) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

 public:
  static constexpr IID kSelf = com::Guid("{7A8B9CAD-BECF-40D1-E2F3-6E7F8091A2B3}");
};

}  // namespace

std::shared_ptr<OGRSpatialReference> SharedReference(const OGRSpatialReference* source) {
  if (!source) return nullptr;
  auto out = std::make_shared<OGRSpatialReference>(*source);
  out->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return out;
}

com::ComPtr<SpatialReference> WrapReference(std::shared_ptr<OGRSpatialReference> reference) {
  if (!reference) return {};
  return com::ComPtr<SpatialReference>(com::MakeObject<SpatialReferenceImpl>(std::move(reference)).get());
}

HRESULT OutReference(std::shared_ptr<OGRSpatialReference> reference, SpatialReference** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return com::Guard([&] { return com::Out(WrapReference(std::move(reference)), out); });
}

std::shared_ptr<OGRSpatialReference> ReferenceOf(SpatialReference* reference) {
  if (!reference) return nullptr;
  SpatialReferenceImpl* impl = nullptr;
  if (FAILED(reference->QueryInterface(SpatialReferenceImpl::kSelf, reinterpret_cast<void**>(&impl))) || !impl) {
    // A reference from elsewhere: rebuild it from its text.
    com::BStr wkt;
    if (FAILED(reference->ExportToWkt(wkt.put()))) return nullptr;
    auto out = std::make_shared<OGRSpatialReference>();
    if (out->importFromWkt(wkt.utf8().c_str()) != OGRERR_NONE) return nullptr;
    out->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return out;
  }
  auto out = impl->ref;
  impl->Release();
  return out;
}

bool TransformGeometry(OGRGeometry& geometry, const std::shared_ptr<OGRSpatialReference>& from,
                       const std::shared_ptr<OGRSpatialReference>& to) {
  if (!from || !to) return false;
  // The pairs met lately, the references held so that their addresses name them.
  struct Pair {
    std::shared_ptr<OGRSpatialReference> from, to;
    bool same;
    std::unique_ptr<OGRCoordinateTransformation> transformation;
  };
  constexpr std::size_t kKept = 8;
  thread_local std::vector<Pair> pairs;
  auto found = std::find_if(pairs.begin(), pairs.end(),
                            [&](const Pair& p) { return p.from.get() == from.get() && p.to.get() == to.get(); });
  if (found == pairs.end()) {
    if (pairs.size() == kKept) pairs.erase(pairs.begin());
    Pair pair{from, to, from.get() == to.get() || SameCoordinateSystem(from.get(), to.get()), nullptr};
    if (!pair.same) pair.transformation.reset(OGRCreateCoordinateTransformation(from.get(), to.get()));
    if (!pair.same && !pair.transformation) return false;  // not kept: a later try may succeed
    pairs.push_back(std::move(pair));
    found = pairs.end() - 1;
  }
  if (found->same) return true;
  const OGRErr err = geometry.transform(found->transformation.get());
  geometry.assignSpatialReference(nullptr);
  return err == OGRERR_NONE;
}

std::string Utf8(BSTR s) { return com::ToUtf8(s); }

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string DirectoryOf(const std::string& path) {
  const std::string directory = std::filesystem::path(path).parent_path().string();
  return directory.empty() ? "." : directory;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace gis::detail

namespace gis {

bool SameCoordinateSystem(const OGRSpatialReference* a, const OGRSpatialReference* b) {
  if (!a || !b) return !a && !b;
  // Which axis a file's first coordinate is on belongs to how the file keeps them (a
  // shapefile and a GeoTIFF may say it differently for one geographic system), not to the
  // system; the library hands every coordinate out east first anyway.
  const char* const options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
  return a == b || a->IsSame(b, options);
}

}  // namespace gis
