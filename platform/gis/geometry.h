// Geometries over OGR: points, envelopes, polylines, polygons and segments.
#pragma once

#include <ogr_geometry.h>

#include <memory>

#include "gis/gdalsupport.h"

namespace gis::detail {

// Wraps an OGR geometry (points, lines, polygons and their multi-part forms); an empty
// reference for other kinds.
com::ComPtr<Geometry> WrapGeometry(std::unique_ptr<OGRGeometry> geometry, std::shared_ptr<OGRSpatialReference> ref);
// A copy of the OGR geometry behind one of the library's geometries (envelopes become
// polygons), or null.
std::unique_ptr<OGRGeometry> OgrCopy(Geometry* geometry);
std::shared_ptr<OGRSpatialReference> ReferenceOfGeometry(Geometry* geometry);

com::ComPtr<Envelope> MakeEnvelope(double xMin, double yMin, double xMax, double yMax,
                                   std::shared_ptr<OGRSpatialReference> ref);

HRESULT CreatePoint(IUnknown* outer, REFIID riid, void** object);
HRESULT CreateXYPair(IUnknown* outer, REFIID riid, void** object);
HRESULT CreateEnvelope(IUnknown* outer, REFIID riid, void** object);
HRESULT CreatePolyline(IUnknown* outer, REFIID riid, void** object);
HRESULT CreateSegment(IUnknown* outer, REFIID riid, void** object);

}  // namespace gis::detail
