// Shapefile workspaces, feature classes, fields, features and cursors over OGR.
#pragma once

#include "gis/gdalsupport.h"

namespace gis::detail {

com::ComPtr<Workspace> OpenFeatureWorkspace(const std::string& directory, HRESULT* result);
com::ComPtr<FeatureClass> OpenFeaturePath(const std::string& path, HRESULT* result);

HRESULT CreateField(IUnknown* outer, REFIID riid, void** object);
HRESULT CreateFields(IUnknown* outer, REFIID riid, void** object);
HRESULT CreateGeometryDef(IUnknown* outer, REFIID riid, void** object);

}  // namespace gis::detail
