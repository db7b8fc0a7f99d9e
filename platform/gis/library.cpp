// The library's creatable classes and its entry points for hosts.
#include <mutex>

#include "com/boundary.h"
#include "com/classes.h"
#include "com/object.h"
#include "gis/feature.h"
#include "gis/geometry.h"
#include "gis/gis.h"
#include "gis/raster.h"

namespace gis {
namespace {

// Opens a directory as a raster or a shapefile workspace; the owner window is not used.
template <bool Raster>
class WorkspaceFactoryImpl final : public com::ComClass<WorkspaceFactoryImpl<Raster>, WorkspaceFactory> {
 public:
  HRESULT OpenFromFile(BSTR path, OLE_HANDLE, Workspace** workspace) override {
    if (!workspace) return E_POINTER;
    *workspace = nullptr;
    return com::Guard([&] {
      HRESULT hr = S_OK;
      const std::string directory = detail::Utf8(path);
      *workspace =
          (Raster ? detail::OpenRasterWorkspace(directory, &hr) : detail::OpenFeatureWorkspace(directory, &hr)).detach();
      return hr;
    });
  }
};

template <class T>
HRESULT Create(IUnknown* outer, REFIID riid, void** object) {
  return com::CreateObject<T>(outer, riid, object);
}

}  // namespace

void Initialize() {
  static std::once_flag once;
  std::call_once(once, [] {
    detail::EnsureGdal();
    com::RegisterLibraryClass(CLSID_RasterWorkspaceFactory, &Create<WorkspaceFactoryImpl<true>>);
    com::RegisterLibraryClass(CLSID_ShapefileWorkspaceFactory, &Create<WorkspaceFactoryImpl<false>>);
    com::RegisterLibraryClass(CLSID_Point, &detail::CreatePoint);
    com::RegisterLibraryClass(CLSID_XYPair, &detail::CreateXYPair);
    com::RegisterLibraryClass(CLSID_Envelope, &detail::CreateEnvelope);
    com::RegisterLibraryClass(CLSID_Polyline, &detail::CreatePolyline);
    com::RegisterLibraryClass(CLSID_Segment, &detail::CreateSegment);
    com::RegisterLibraryClass(CLSID_Field, &detail::CreateField);
    com::RegisterLibraryClass(CLSID_Fields, &detail::CreateFields);
    com::RegisterLibraryClass(CLSID_GeometryDef, &detail::CreateGeometryDef);
  });
}

namespace {
// The library offers its classes as soon as it is loaded.
__attribute__((constructor)) void RegisterOnLoad() { Initialize(); }
}  // namespace

com::ComPtr<SpatialReference> SpatialReferenceFromEpsg(int code) {
  detail::EnsureGdal();
  auto ref = std::make_shared<OGRSpatialReference>();
  if (ref->importFromEPSG(code) != OGRERR_NONE) return {};
  ref->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return detail::WrapReference(ref);
}

com::ComPtr<SpatialReference> SpatialReferenceFromWkt(const std::string& wkt) {
  detail::EnsureGdal();
  auto ref = std::make_shared<OGRSpatialReference>();
  if (ref->importFromWkt(wkt.c_str()) != OGRERR_NONE) return {};
  ref->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return detail::WrapReference(ref);
}

com::ComPtr<FeatureClass> OpenFeatureFile(const std::string& path, HRESULT* result) {
  return detail::OpenFeaturePath(path, result);
}

}  // namespace gis
