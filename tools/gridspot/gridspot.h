// The "Grid Spot Tool" command: the raster value under each point of a point shapefile,
// stored in a field of its attribute table.
#pragma once

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

}  // namespace plenth
