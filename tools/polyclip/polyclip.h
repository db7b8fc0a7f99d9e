// The "Polygon Clip Tool" command: per-class cell counts of a categorical raster added to
// the attribute table of a polygon shapefile.
#pragma once

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

}  // namespace plenth
