// The "Grid Spot Tool" command: the raster value under each point of a point shapefile,
// stored in a field of its attribute table.
#pragma once

#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "com/variant.h"
#include "data/progress.h"
#include "host/command.h"

struct IGridSpot : IUnknown {
  static constexpr IID iid = com::Guid("{673844B1-5D54-4A3B-833E-C72F000EC7CC}");

 protected:
  ~IGridSpot() = default;
};
inline constexpr CLSID CLSID_GridSpot = com::Guid("{0CB7451C-D843-4429-8986-1DFEC4B7AA30}");

namespace plenth {

class GridSpot final : public Command<GridSpot, IGridSpot> {
 public:
  static const ClassInfo kClass;

  GridSpot();

 protected:
  int ModelessDialogId() const override;
  DLGPROC ModelessDialogProc() const override;
};

// Writes, for every point of the layer, the value the raster layer identifies at the
// point (projected into the raster's coordinate system) into the field of that name: a
// double field for FLOAT and DOUBLE rasters, a 32-bit integer one otherwise, added unless
// one of that name is there; -99 where the raster gives nothing. Layers are found in the
// application's focus map. It reports nothing: a step that fails ends the run.
void SampleRasterAtPoints(HostApplication* application, const char* pointLayer, const char* rasterLayer,
                          const char* fieldName);

// How a run on a raster dataset and a feature class ended.
enum class SampleEnd {
  Done,
  NoReference,  // the raster has no coordinate system to place the points in
  NotPoints,    // a feature class of other shapes
  Failed,       // the raster, the field or the features could not be had
  Stopped,      // `progress` asked to stop
};

// What the raster gives at a point: a list of results, or none (the raster layer's
// Identify, or the data library's IdentifyRaster on its dataset).
using IdentifyAt = std::function<HRESULT(Point* point, IdentifyResults** results)>;

// The run of SampleRasterAtPoints on the raster dataset and the feature class its layers
// hold, each point identified by `identify`. `progress` is given the status-bar text of
// each feature before it is sampled; a stop keeps the values written before it.
SampleEnd SampleRaster(RasterDataset* raster, const IdentifyAt& identify, FeatureClass* points, const char* fieldName,
                       const Progress& progress = {});

// The values of that run, written nowhere: for each point in cursor order (a feature
// without a point passed over, and only the features whose id is among `fids` when it is
// not empty) its id and the value it would get: a double (VT_R8) for FLOAT and DOUBLE
// rasters, else a 32-bit integer (VT_I4), or an empty variant where nothing would be written.
SampleEnd SampleValues(RasterDataset* raster, const IdentifyAt& identify, FeatureClass* points,
                       std::span<const LONG> fids, std::vector<std::pair<LONG, com::Variant>>* out,
                       const Progress& progress = {});

}  // namespace plenth
