// The simulated host's layers: rasters and feature classes from files, and groups.
#pragma once

#include <string>
#include <vector>

#include "com/object.h"
#include "hostapi/hostapi.h"

namespace hostapp {

// The host's layer classes, creatable by class id and rebuilt by the object stream
// (hostapi/dropdata.h); CLSID_FeatureLayer is in the host's contracts.
inline constexpr CLSID CLSID_RasterLayer = com::Guid("{3335E3B6-17EA-4F05-9638-5C6DC0FBB8EC}");
inline constexpr CLSID CLSID_GroupLayer = com::Guid("{329FB603-B9F9-479B-9E80-B7851D6449ED}");
inline constexpr CLSID CLSID_NamedLayer = com::Guid("{8C0B5DB6-2E1B-4C44-9D0E-4B6F3A52C1E7}");
void RegisterLayerClasses();

// A layer of the raster or shapefile at path, named `name` (by default the file's stem);
// throws std::runtime_error with the data library's reason when the file does not open.
com::ComPtr<Layer> RasterLayerFromFile(const std::string& path, const std::string& name = {});
com::ComPtr<Layer> FeatureLayerFromFile(const std::string& path, const std::string& name = {});
// A raster or a shapefile layer, whichever the file is.
com::ComPtr<Layer> LayerFromFile(const std::string& path, const std::string& name = {});
// A feature layer on a feature class the host already holds.
com::ComPtr<Layer> FeatureLayerOf(FeatureClass* featureClass, const std::string& name);
com::ComPtr<Layer> MakeGroupLayer(const std::string& name);
// Takes a layer out of a group layer of the host, or out of a group inside it; false
// when the group does not hold it.
bool RemoveGroupMember(Layer* group, Layer* member);

// The layers of a group layer, in order (none for any other layer).
std::vector<com::ComPtr<Layer>> MembersOf(Layer* layer);

}  // namespace hostapp
