// The "Grid Spot Tool" command.
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

}  // namespace plenth
