// Turning the layer names a person sees into data on disk: finding layers of the focus
// map by name, listing them in a dialog's combo box, resolving a layer's dataset name
// and workspace directory, opening raster datasets and reading their geometry.
#pragma once

#include <string>

#include "com/ptr.h"
#include "gis/gisapi.h"
#include "hostapi/hostapi.h"
#include "ui/types.h"

namespace plenth {

// The layer kinds, named by the interface id text the host's layer filter takes.
inline constexpr const char* kRasterLayerKind = "{D02371C7-35F7-11d2-B1F2-00C04F8EDEFF}";
inline constexpr const char* kFeatureLayerKind = "{40A9E885-5533-11D0-98BE-00805F7CED21}";

// Dataset name and directory buffers of the callers, in bytes with the terminator.
struct DatasetBuffers {
  char* name;
  std::size_t nameSize;
  char* directory;
  std::size_t directorySize;
};

// The first layer of that kind and exact name in the focus map (group layers included,
// map order), or none.
com::ComPtr<Layer> FindLayerByName(HostApplication* application, const char* kind, const char* name);
void FillRasterLayerCombo(HostApplication* application, HWND combo);
// Geometry type codes accepted, e.g. {3, 13}.
void FillFeatureLayerCombo(HostApplication* application, HWND combo, std::initializer_list<LONG> geometryTypes);

// 1 for success, 0 for failure, as the module's routines answer. The modal commands pass
// the application of the last modal command clicked (CurrentApplication); without an
// application the routines fail.
int ResolveFeatureLayer(HostApplication* application, const char* layerName, DatasetBuffers buffers);
int ResolveRasterLayer(HostApplication* application, const char* layerName, DatasetBuffers buffers);
com::ComPtr<RasterDataset> OpenRasterDataset(const char* directory, const char* datasetName);

struct RasterGeometry {
  com::ComPtr<Point> lowerLeft;
  com::ComPtr<SpatialReference> spatialReference;
  std::string unitName;
  double metersPerUnit = 1.0;
  double cellSize = 0;   // x of the band's mean cell size
  double cellSizeY = 0;  // y of the band's mean cell size
  std::int32_t rows = 0;
  std::int32_t columns = 0;
};
int ReadRasterGeometry(HostApplication* application, const char* layerName, DatasetBuffers buffers,
                       RasterGeometry* geometry);

}  // namespace plenth
