// The "Polygon Clip Tool" command.
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

}  // namespace plenth
