// The "Polygon Clip Tool" command: per-class cell counts of a categorical raster added to
// the attribute table of a polygon shapefile.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "data/progress.h"
#include "host/command.h"

struct IPolyClip : IUnknown {
  static constexpr IID iid = com::Guid("{DEE9C441-3908-425C-8160-B3DDA21C4A9F}");

 protected:
  ~IPolyClip() = default;
};
inline constexpr CLSID CLSID_PolyClip = com::Guid("{CDC0D710-2ACE-4288-B043-A2ECA352A1C6}");

namespace plenth {

class PolyClip final : public Command<PolyClip, IPolyClip> {
 public:
  static const ClassInfo kClass;

  PolyClip();

 protected:
  int ModelessDialogId() const override;
  DLGPROC ModelessDialogProc() const override;
};

// For every polygon of the layer, counts the raster's cells of each class whose centre
// lies inside it, into one 32-bit integer column per class named by the prefix and the
// class value. Layers are found in the application's focus map. It reports nothing: a
// step that fails ends the run, keeping what earlier steps did.
void ComputeClipStatistics(HostApplication* application, const char* polygonLayer, const char* rasterLayer,
                           const char* prefix);

// How a run on a raster dataset and a feature class ended.
enum class ClipEnd {
  Done,
  RasterUnreadable,  // no first band, or its cells could not be read
  RealCells,         // cells of a type that holds no classes (FLOAT, DOUBLE)
  TooManyClasses,    // a 40th distinct value: nothing was written
  NotPolygons,       // a feature class of other shapes
  OtherClasses,      // the raster has a value outside the classes given for it
  Failed,            // the columns or the features could not be opened
  Stopped,           // `progress` asked to stop
};

// The run of ComputeClipStatistics on the raster dataset and the polygon feature class
// its layers hold. `progress` is given the status-bar text of each feature before it is
// counted; a stop keeps the counts written before it.
ClipEnd ClipStatistics(RasterDataset* raster, FeatureClass* polygons, const char* prefix,
                       const Progress& progress = {});

// The raster's classes alone, in order of first appearance (the whole raster read strip
// by strip, no cell's class kept): Done, RasterUnreadable, RealCells or TooManyClasses.
ClipEnd RasterClasses(RasterDataset* raster, std::vector<std::int32_t>* classes);

// The counts of that run, written nowhere: the classes in order with the names of their
// columns, and for each polygon in cursor order (a feature without a polygon passed over,
// and only the features whose id is among `fids` when it is not empty) its id and its
// count of each class. Given the raster's `classes` (from RasterClasses), only the rows
// the polygons reach are read, and the counts are those of the whole raster's run; a value
// among those rows outside the classes ends it with OtherClasses.
struct ClipCounts {
  std::vector<std::int32_t> classes;
  std::vector<std::string> columns;
  std::vector<std::pair<LONG, std::vector<std::int64_t>>> polygons;
};
ClipEnd CountClipClasses(RasterDataset* raster, FeatureClass* polygons, const char* prefix, std::span<const LONG> fids,
                         ClipCounts* out, const Progress& progress = {},
                         const std::vector<std::int32_t>* classes = nullptr);

}  // namespace plenth
