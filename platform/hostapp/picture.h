// A picture of the map as the host draws it, saved as a PNG file. The painting is Qt's
// (hostapp/painter.h), in a library of its own that is loaded when the first picture is
// made: a host that draws none starts without Qt and the libraries it brings.
#pragma once

#include <string>

#include "com/ptr.h"
#include "hostapi/view.h"

namespace hostapp {

class MapPicture {
 public:
  // A white picture of width x height pixels; throws std::runtime_error, with the
  // loader's reason, when the painter library cannot be loaded.
  MapPicture(LONG width, LONG height);

  // The display to draw on (the map's display while it is drawn on the picture).
  Display* display() const { return display_.get(); }
  // Writes the picture as a PNG file; false when it cannot be written.
  bool SavePng(const std::string& path) const;

 private:
  com::ComPtr<Display> display_;
  int (*save_)(Display*, const char*) = nullptr;
};

}  // namespace hostapp
