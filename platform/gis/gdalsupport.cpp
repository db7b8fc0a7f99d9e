#include "gis/gdalsupport.h"

#include <cpl_error.h>
#include <sys/stat.h>

#include <cstring>
#include <mutex>

#include "com/object.h"

namespace gis::detail {

void EnsureGdal() {
  static std::once_flag once;
  std::call_once(once, [] {
    GDALAllRegister();
    CPLSetErrorHandler(CPLQuietErrorHandler);  // failures reach callers as status codes
  });
}

LONG PixelTypeOf(GDALRasterBandH band) {
  switch (GDALGetRasterDataType(band)) {
    case GDT_Byte: {
      const char* signedness = GDALGetMetadataItem(band, "PIXELTYPE", "IMAGE_STRUCTURE");
      return signedness && std::strcmp(signedness, "SIGNEDBYTE") == 0 ? PT_CHAR : PT_UCHAR;
    }
    case GDT_UInt16: return PT_USHORT;
    case GDT_Int16: return PT_SHORT;
    case GDT_UInt32: return PT_ULONG;
    case GDT_Int32: return PT_LONG;
    case GDT_Float32: return PT_FLOAT;
    case GDT_Float64: return PT_DOUBLE;
    case GDT_CInt16:
    case GDT_CInt32:
    case GDT_CFloat32: return PT_COMPLEX;
    case GDT_CFloat64: return PT_DCOMPLEX;
    default: return PT_UNKNOWN;
  }
}

GDALDataType GdalTypeOf(LONG pixelType) {
  switch (pixelType) {
    case PT_UCHAR:
    case PT_CHAR: return GDT_Byte;
    case PT_USHORT: return GDT_UInt16;
    case PT_SHORT: return GDT_Int16;
    case PT_ULONG: return GDT_UInt32;
    case PT_LONG: return GDT_Int32;
    case PT_FLOAT: return GDT_Float32;
    case PT_DOUBLE: return GDT_Float64;
    default: return GDT_Unknown;
  }
}

VARTYPE VariantTypeOf(LONG pixelType) {
  switch (pixelType) {
    case PT_UCHAR: return VT_UI1;
    case PT_CHAR: return VT_I1;
    case PT_USHORT: return VT_UI2;
    case PT_SHORT: return VT_I2;
    case PT_ULONG: return VT_UI4;
    case PT_LONG: return VT_I4;
    case PT_FLOAT: return VT_R4;
    case PT_DOUBLE: return VT_R8;
    default: return VT_EMPTY;
  }
}

namespace {

class SpatialReferenceImpl final : public com::ComClass<SpatialReferenceImpl, SpatialReference> {
 public:
  explicit SpatialReferenceImpl(std::shared_ptr<OGRSpatialReference> r) : ref(std::move(r)) {}

  HRESULT IsProjected(VARIANT_BOOL* projected) override {
    if (!projected) return E_POINTER;
    *projected = ref->IsProjected() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT LinearUnit(BSTR* name, double* metersPerUnit) override {
    if (!name || !metersPerUnit) return E_POINTER;
    if (!ref->IsProjected()) return E_FAIL;
    const char* unit = nullptr;
    *metersPerUnit = ref->GetLinearUnits(&unit);
    *name = com::AllocBstr(unit ? unit : "");
    return S_OK;
  }
  HRESULT ExportToWkt(BSTR* wkt) override {
    if (!wkt) return E_POINTER;
    char* text = nullptr;
    if (ref->exportToWkt(&text) != OGRERR_NONE) {
      CPLFree(text);
      return E_FAIL;
    }
    *wkt = com::AllocBstr(text);
    CPLFree(text);
    return S_OK;
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
  *out = WrapReference(std::move(reference)).detach();
  return S_OK;
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

std::string Utf8(BSTR s) { return com::ToUtf8(s); }

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace gis::detail
