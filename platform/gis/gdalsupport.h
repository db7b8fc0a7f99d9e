// Shared pieces of the GDAL-backed implementation.
#pragma once

#include <gdal.h>
#include <ogr_spatialref.h>

#include <memory>
#include <string>

#include "com/ptr.h"
#include "gis/gisapi.h"

namespace gis::detail {

void EnsureGdal();
// The PixelType of a GDAL band (CHAR for a Byte band flagged as signed).
LONG PixelTypeOf(GDALRasterBandH band);
// The GDAL type of a PixelType, or GDT_Unknown.
GDALDataType GdalTypeOf(LONG pixelType);
// The variant type that holds a PixelType's cells.
VARTYPE VariantTypeOf(LONG pixelType);

// A spatial reference whose axes are in the traditional GIS order (x east, y north).
std::shared_ptr<OGRSpatialReference> SharedReference(const OGRSpatialReference* source);
com::ComPtr<SpatialReference> WrapReference(std::shared_ptr<OGRSpatialReference> reference);
// Hands the reference out through an out argument (E_POINTER when it is missing).
HRESULT OutReference(std::shared_ptr<OGRSpatialReference> reference, SpatialReference** out);
// The OGR spatial reference behind one of the library's references, or null.
std::shared_ptr<OGRSpatialReference> ReferenceOf(SpatialReference* reference);

using com::OutString;
std::string Utf8(BSTR s);
bool IsDirectory(const std::string& path);
bool Exists(const std::string& path);

}  // namespace gis::detail
