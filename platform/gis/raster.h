// Raster workspaces, datasets, bands and their cells over GDAL.
#pragma once

#include "gis/gdalsupport.h"

namespace gis::detail {

com::ComPtr<Workspace> OpenRasterWorkspace(const std::string& directory, HRESULT* result);
com::ComPtr<RasterDataset> OpenRasterPath(const std::string& path, HRESULT* result);

}  // namespace gis::detail
