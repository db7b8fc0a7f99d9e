// What hosts and tests use of the data library beyond its contracts: opening datasets by
// path for layers, spatial references, identify, and the creatable geometry objects.
#pragma once

#include <string>

#include "com/ptr.h"
#include "gis/gisapi.h"

class OGRSpatialReference;

namespace gis {

// Registers GDAL's drivers and the library's creatable classes (done once, also when the
// library is loaded).
void Initialize();

com::ComPtr<SpatialReference> SpatialReferenceFromEpsg(int code);
com::ComPtr<SpatialReference> SpatialReferenceFromWkt(const std::string& wkt);

// Whether two coordinate systems are one system, whatever order each keeps its
// coordinates' axes in: a shapefile's and a GeoTIFF's copy of one system may differ only
// there. No system is the same as no system only. The library and its hosts compare two
// references by this one rule.
bool SameCoordinateSystem(const OGRSpatialReference* a, const OGRSpatialReference* b);

// A raster dataset or a shapefile's feature class by its file path (as a layer holds it).
// A raster rotated on the map is refused (GIS_E_UNSUPPORTED): the library hands out
// rows from the north of a square grid only.
com::ComPtr<RasterDataset> OpenRasterFile(const std::string& path, HRESULT* result = nullptr);
com::ComPtr<FeatureClass> OpenFeatureFile(const std::string& path, HRESULT* result = nullptr);
// The .shp file that a shapefile workspace on `directory` writes and opens for a feature
// class named `name`: the name with ".shp" after it, unless it ends in ".shp" (in any
// case) already; any other extension stays part of the name.
std::string ShapefilePath(const std::string& directory, const std::string& name);
// The .shp file of the feature class named `name` in `directory` as it lies on disk: the file
// ShapefilePath names or, when there is none, the one whose extension is that in other
// letters (ROADS.SHP); ShapefilePath's file when neither exists.
std::string FindShapefile(const std::string& directory, const std::string& name);

// Identifies a raster at a map point: one raster result whose value text starts with the
// cell value ("NoData" for a no-data cell; several bands as "v1, v2, ..."). Outside the
// raster *results is empty and the answer S_FALSE.
HRESULT IdentifyRaster(RasterDataset* dataset, Point* point, IdentifyResults** results);

com::ComPtr<Point> MakePoint(double x, double y, SpatialReference* reference = nullptr);
// A point, polyline or polygon (or their multi-part forms) from its WKT text; an empty
// reference for invalid text or another kind of geometry.
com::ComPtr<Geometry> GeometryFromWkt(const std::string& wkt, SpatialReference* reference = nullptr);
com::ComPtr<XYPair> MakeXYPair(double x, double y);

// The text of a cell value: the shortest decimal that reads back to the same value in
// the cell type.
std::string CellText(LONG pixelType, const void* cell);
// The name of the type of a band's cells as its file holds them, the way GDAL names it
// ("Byte", "Int16", "Float32", "Int64", "CFloat32", ...; "1-bit" for cells of fewer than
// 8 bits): for telling a person which cells a tool does not take. "" for a band that is
// not the library's.
std::string CellTypeName(RasterBand* band);
// A value of a cell type as a variant of that type's own variant type (VT_UI1 for UCHAR
// ... VT_R8 for DOUBLE); an empty variant when no cell of the type can hold the value or
// the code is not one of the eight.
com::Variant CellVariant(LONG pixelType, double value);

}  // namespace gis
