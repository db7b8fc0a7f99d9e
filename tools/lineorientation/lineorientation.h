// The "Line Orientation Tool" command: a new polyline shapefile with one feature per
// segment of the input lines and the segment's orientation in a field "Azimuth".
#pragma once

#include "data/progress.h"
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
  void ProcessOk() override;
};

// Writes the shapefile outputName in outputDirectory: the input's columns plus a double
// "Azimuth", one feature per segment of each input polyline, over all its parts in order,
// with the polyline's values and the segment's orientation. An existing output is never
// written over. S_OK, or E_FAIL at the first step that fails or when `progress` (asked
// before each input feature) answers false.
HRESULT BuildOrientationShapefile(const char* inputDirectory, const char* inputName, const char* outputDirectory,
                                  const char* outputName, const Progress& progress = {});

}  // namespace plenth
