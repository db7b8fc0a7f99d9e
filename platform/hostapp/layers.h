// The simulated host's layers: rasters and feature classes from files, and groups.
#pragma once

#include <string>

#include "com/object.h"
#include "hostapi/hostapi.h"

namespace hostapp {

// A layer of the raster or shapefile at path, named `name` (by default the file's stem);
// throws std::runtime_error with the data library's reason when the file does not open.
com::ComPtr<Layer> RasterLayerFromFile(const std::string& path, const std::string& name = {});
com::ComPtr<Layer> FeatureLayerFromFile(const std::string& path, const std::string& name = {});
// A raster or a shapefile layer, whichever the file is.
com::ComPtr<Layer> LayerFromFile(const std::string& path, const std::string& name = {});
// A feature layer on a feature class the host already holds.
com::ComPtr<Layer> FeatureLayerOf(FeatureClass* featureClass, const std::string& name);
com::ComPtr<Layer> MakeGroupLayer(const std::string& name);

}  // namespace hostapp
