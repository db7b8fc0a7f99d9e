// The "Line Orientation Tool" command.
#pragma once

#include "host/command.h"

struct ILineOrientation : IUnknown {
  static constexpr IID iid = com::Guid("{1CAB4C11-E695-4BAA-B67F-8450503AFFBC}");

 protected:
  ~ILineOrientation() = default;
};
inline constexpr CLSID CLSID_LineOrientation = com::Guid("{C4CEED55-56AB-4DF0-9688-87F99D0A7478}");

namespace plenth {

class LineOrientation final : public Command<LineOrientation, ILineOrientation> {
 public:
  static const ClassInfo kClass;

  LineOrientation();

 protected:
  INT_PTR RunModalDialog() override;
};

}  // namespace plenth
