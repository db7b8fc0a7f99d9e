// Shared pieces of the GDAL-backed implementation.
#pragma once

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "com/ptr.h"
#include "gis/gisapi.h"

namespace gis::detail {

// The most GDAL's block cache holds, unless GDAL_CACHEMAX is set.
constexpr GIntBig kBlockCacheBytes = GIntBig{256} << 20;

// Registers GDAL's drivers and bounds its block cache, once.
void EnsureGdal();
// The PixelType of a GDAL band (CHAR for a Byte band flagged as signed, U1, U2 or U4
// for one of 1, 2 or 4 bits).
LONG PixelTypeOf(GDALRasterBand& band);
// The cell type a band's cells are read in by identify and its no-data value is held
// in: UCHAR for the 1-, 2- and 4-bit types (one cell per byte), the type itself otherwise.
LONG ReadTypeOf(LONG pixelType);
// The GDAL type of a PixelType's cells (Byte for CHAR, which GDAL stores as flagged
// bytes), or GDT_Unknown.
GDALDataType GdalTypeOf(LONG pixelType);

// The variant type that holds cells of type T.
template <class T>
constexpr VARTYPE kCellVariantType = std::is_same_v<T, std::uint8_t>    ? VT_UI1
                                     : std::is_same_v<T, std::int8_t>   ? VT_I1
                                     : std::is_same_v<T, std::uint16_t> ? VT_UI2
                                     : std::is_same_v<T, std::int16_t>  ? VT_I2
                                     : std::is_same_v<T, std::uint32_t> ? VT_UI4
                                     : std::is_same_v<T, std::int32_t>  ? VT_I4
                                     : std::is_same_v<T, float>         ? VT_R4
                                                                        : VT_R8;

// A spatial reference whose axes are in the traditional GIS order (x east, y north).
std::shared_ptr<OGRSpatialReference> SharedReference(const OGRSpatialReference* source);
com::ComPtr<SpatialReference> WrapReference(std::shared_ptr<OGRSpatialReference> reference);
// Hands the reference out through an out argument (E_POINTER when it is missing).
HRESULT OutReference(std::shared_ptr<OGRSpatialReference> reference, SpatialReference** out);
// The OGR spatial reference behind one of the library's references, or null.
std::shared_ptr<OGRSpatialReference> ReferenceOf(SpatialReference* reference);

// Moves a geometry's coordinates from one reference into another; false when they cannot
// be moved. The transformation between two references is made once per thread and kept
// (making one costs far more than using it); equal references leave the coordinates as
// they are.
bool TransformGeometry(OGRGeometry& geometry, const std::shared_ptr<OGRSpatialReference>& from,
                       const std::shared_ptr<OGRSpatialReference>& to);

std::string Utf8(BSTR s);
bool IsDirectory(const std::string& path);
// The directory a dataset's file lies in, as a workspace path: "." for a bare file name.
std::string DirectoryOf(const std::string& path);
bool Exists(const std::string& path);

}  // namespace gis::detail
