// Graphic elements a person draws on a view: a shape (a rectangle, a polygon, a line,
// a point) kept as its geometry.
#pragma once

#include "com/object.h"
#include "hostapi/view.h"

namespace hostapp {

class ShapeElement final : public com::ComClass<ShapeElement, GraphicElement> {
 public:
  HRESULT get_Geometry(Geometry** geometry) override { return geometry_.CopyTo(geometry); }
  HRESULT putref_Geometry(Geometry* geometry) override {
    geometry_ = geometry;
    return S_OK;
  }
  // The extent of the geometry; E_FAIL for an element without one.
  HRESULT QueryBounds(Display* display, Envelope* bounds) override;

 private:
  com::ComPtr<Geometry> geometry_;
};

// A rectangle element, as a person draws one with the host's rectangle tool.
com::ComPtr<GraphicElement> MakeRectangleElement(double xMin, double yMin, double xMax, double yMax);

}  // namespace hostapp
